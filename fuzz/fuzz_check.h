// Invariant checks for the fuzzers: a broken invariant prints what broke and
// aborts, which libFuzzer reports as a crash and saves the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace ploxwen::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

// Printable dump of UTF-16 text for a failure report.
inline std::string Dump(std::u16string_view text) {
    std::string out;
    char unit[8];
    for (char16_t c : text) {
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

}  // namespace ploxwen::fuzz

#define FUZZ_CHECK(condition)                                                    \
    do {                                                                         \
        if (!(condition)) ::ploxwen::fuzz::Fail(#condition, __FILE__, __LINE__); \
    } while (false)
