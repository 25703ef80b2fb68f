# A Debian package of the installed tree: `cmake --preset deb && cmake --build --preset deb &&
# cpack --preset deb`. Dependencies come from dpkg-shlibdeps; binaries are stripped; libsondrel's
# soname is registered with ldconfig through a trigger.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mireldo)
set(CPACK_PACKAGE_VENDOR Tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnwick Mireldo maintainers <mireldo@tarnwick.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop audio recorder with silence detection")
set(CPACK_PACKAGE_DESCRIPTION
    "Mireldo records from a sound card (ALSA or a PulseAudio server) with
silence detection, saves records as MP3, WMA, Ogg Vorbis or WAV through
encoder plug-ins and keeps a playlist of records and other audio files.
The package also holds mireldo-cli, which runs the recorder, player,
converter and tag editor from a shell, and Sondrel, the decoder library
(WAV, MPEG audio layers I-III, Ogg Vorbis, WMA, KLX) with its tools
sondrel-info and sondrel-decode.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://mireldo.tarnwick.example/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Pictures are SVG: the window's buttons need Qt's SVG image plug-in at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The library is registered through the ldconfig trigger; the maintainer scripts given here take
# the place of the ones CPack would write, which call ldconfig themselves.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian's changelog, compressed as policy wants it, beside the package's other documents.
# (CPack makes the package's version the same way: the release after the project's version.)
set(MIRELDO_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
    ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
mireldo_install_gzipped(${CMAKE_BINARY_DIR}/debian/changelog.Debian
    ${CMAKE_INSTALL_DATAROOTDIR}/doc/mireldo)

include(CPack)
