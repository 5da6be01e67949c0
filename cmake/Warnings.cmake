# One interface target carries the warning flags; every target of ours links it privately.
add_library(norvane_warnings INTERFACE)
target_compile_options(norvane_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(NORVANE_WARNINGS_AS_ERRORS)
    target_compile_options(norvane_warnings INTERFACE -Werror)
endif()
