// A broken invariant prints what broke and aborts, which libFuzzer reports
// as a crash and saves the input.
#pragma once
#include <cstdio>
#include <cstdlib>

namespace ploxwen::fuzz {
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}
}  // namespace ploxwen::fuzz
#define FUZZ_CHECK(condition) \
    if (!(condition)) ::ploxwen::fuzz::Fail(#condition, __FILE__, __LINE__)
