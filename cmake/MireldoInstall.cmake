# mireldo_install_gzipped(FILE DESTINATION): installs FILE compressed (FILE.gz, made at build time
# with gzip -n so that the package is reproducible), as Debian wants manual pages and changelogs.
function(mireldo_install_gzipped file destination)
    get_filename_component(name ${file} NAME)
    string(MAKE_C_IDENTIFIER ${name} id)
    set(out ${CMAKE_BINARY_DIR}/gzipped/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gzipped
        COMMAND gzip -n -9 -c ${file} > ${out}
        DEPENDS ${file}
        VERBATIM)
    add_custom_target(mireldo_gzip_${id} ALL DEPENDS ${out})
    install(FILES ${out} DESTINATION ${destination})
endfunction()

# mireldo_install_man_page(PAGE.1.in): the manual page with the release filled in, compressed,
# in share/man/man1.
function(mireldo_install_man_page source)
    get_filename_component(name ${source} NAME)
    string(REGEX REPLACE "\\.in$" "" name ${name})
    configure_file(${source} ${CMAKE_BINARY_DIR}/man/${name} @ONLY)
    mireldo_install_gzipped(${CMAKE_BINARY_DIR}/man/${name} ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
