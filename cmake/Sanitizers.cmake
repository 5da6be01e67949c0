# With NORVANE_SANITIZE on, every target of the project is built and linked with
# AddressSanitizer and UndefinedBehaviorSanitizer; with NORVANE_SANITIZE_THREAD, with
# ThreadSanitizer (the two cannot share a build).
if(NORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(NORVANE_SANITIZE_THREAD)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
# With NORVANE_COVERAGE on, everything is built without optimisation and counts the lines it
# runs (gcov's .gcda files beside the objects), for `make coverage`. Counters are updated
# atomically: echoes and lookups run on several threads at once, and torn counts read as
# negative ones.
if(NORVANE_COVERAGE)
    add_compile_options(--coverage -O0 -fprofile-update=atomic)
    add_link_options(--coverage)
endif()
# With NORVANE_BUILD_FUZZERS on (clang only), everything is instrumented for libFuzzer and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets link libFuzzer.
if(NORVANE_BUILD_FUZZERS)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
