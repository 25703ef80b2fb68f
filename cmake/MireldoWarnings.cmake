# One interface target carries the warning flags for our own code.
add_library(mireldo_warnings INTERFACE)
target_compile_options(mireldo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
