# One interface target carries the warning flags for our own code: libraries, programs, plug-ins,
# runtimes, tests and fuzz targets alike. Option records are filled with designated initializers
# that leave the other members at their defaults ({.user = "rec"}), which GCC's
# -Wmissing-field-initializers (part of -Wextra) would report.
option(MIRELDO_WERROR "Turn the project's warnings into errors" OFF)
add_library(mireldo_warnings INTERFACE)
target_compile_options(mireldo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wno-missing-field-initializers
    $<$<BOOL:${MIRELDO_WERROR}>:-Werror>)
