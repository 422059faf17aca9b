// The POSIX code-page conversions.
//
// Input: byte 0 picks the mode and the charset.
//  - even: the rest are command-line bytes, a NUL ending one argument. The
//    arguments go through the real argv intake (joined with spaces, decoded)
//    and back out through ToNarrow: the bytes must come back identical.
//  - odd: the rest are UTF-16 code units (native byte order) as any platform
//    text may hold them. ToNarrow must not throw for a known charset; the
//    escaped-UTF-8 codec must give back valid text unchanged and be stable
//    on its own output.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/posix/narrow_text.h"
#include "platform/posix/posix_windowing.h"

namespace {

using ploxwen::posix::DecodeUtf8Escaped;
using ploxwen::posix::EncodeUtf8Escaped;
using ploxwen::posix::NarrowText;

// Charsets whose round trip of argument bytes must be lossless.
const char* const kCharsets[] = {
    "UTF-8", "ANSI_X3.4-1968", "ISO-8859-1", "ISO-8859-15", "CP1252", "KOI8-R", "EUC-JP",
};
constexpr std::size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];

void CheckArgvRoundTrip(const char* charset, std::string_view input) {
    std::vector<std::string> arguments(1);
    for (char c : input) {
        if (c == '\0') {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(c);
        }
    }
    std::vector<char*> argv{const_cast<char*>("ploxwen")};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    NarrowText narrow(charset);
    ploxwen::posix::PosixWindowing windowing(static_cast<int>(argv.size() - 1), argv.data(), narrow);
    const std::u16string text = windowing.ArgumentText();
    const std::string typed = ploxwen::posix::JoinArguments(arguments);
    if (narrow.ToNarrow(text) != typed) {
        std::fprintf(stderr, "charset %s, text %s\n", charset, ploxwen::fuzz::Dump(text).c_str());
        FUZZ_CHECK(narrow.ToNarrow(text) == typed);
    }
}

bool IsSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Every surrogate is part of a pair.
bool IsWellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsSurrogate(text[i])) continue;
        if (!IsHigh(text[i]) || i + 1 == text.size() || !IsLow(text[i + 1])) return false;
        ++i;
    }
    return true;
}

// Latin-1 as ToNarrow must produce it: one byte per character, escaped bytes
// as themselves, '?' for the rest.
std::string ExpectedLatin1(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x100) {
            out.push_back(static_cast<char>(unit));
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out.push_back(static_cast<char>(unit - 0xDC00));
        } else {
            if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) ++i;  // one character
            out.push_back('?');
        }
    }
    return out;
}

void CheckUtf16(std::u16string_view text) {
    for (const char* charset : kCharsets) {
        NarrowText narrow(charset);
        std::string out;
        try {
            out = narrow.ToNarrow(text);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "ToNarrow threw for %s: %s\n", charset, e.what());
            FUZZ_CHECK(!"ToNarrow throws for a known charset");
        }
        if (std::strcmp(charset, "ISO-8859-1") == 0) FUZZ_CHECK(out == ExpectedLatin1(text));
        if (narrow.is_utf8()) FUZZ_CHECK(out == EncodeUtf8Escaped(text));
    }

    const std::string bytes = EncodeUtf8Escaped(text);
    const std::u16string back = DecodeUtf8Escaped(bytes);
    if (IsWellFormed(text)) FUZZ_CHECK(back == text);
    // What was encoded once encodes to the same bytes again.
    FUZZ_CHECK(EncodeUtf8Escaped(back) == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        CheckArgvRoundTrip(kCharsets[(data[0] / 2) % kCharsetCount], rest);
    } else {
        std::u16string text(rest.size() / 2, u'\0');
        std::memcpy(text.data(), rest.data(), text.size() * sizeof(char16_t));
        CheckUtf16(text);
    }
    return 0;
}
