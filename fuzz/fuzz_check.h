#pragma once

#include <cstdio>
#include <cstdlib>

/// Stops the fuzzer with a finding when a property every input must keep is broken.
inline void fuzzCheck(bool holds, const char *property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}
