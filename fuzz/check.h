#pragma once
// The fuzz targets' one way to fail: a property that does not hold ends the run, named, and
// libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

#define CHECK(property)                                                                 \
    do {                                                                                \
        if (!(property)) {                                                              \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #property); \
            std::abort();                                                               \
        }                                                                               \
    } while (false)
