# What a contributor or packager expects of a plain `cmake -S . -B build`: an optimised build
# with debug information when no build type is given, and compile_commands.json for editors
# and clang tools.
if(PROJECT_IS_TOP_LEVEL AND NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    message(STATUS "No build type given; building RelWithDebInfo")
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "The type of build" FORCE)
    set_property(CACHE CMAKE_BUILD_TYPE PROPERTY STRINGS Debug Release RelWithDebInfo MinSizeRel)
endif()
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
# `cmake --install` and cpack install what is built; `make package` builds just that
# (norvane_installed below), not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
