// The POSIX code-page conversions.
//
// Input: byte 0 picks the mode and the charset.
//  - even: the rest are command-line bytes, a NUL ending one argument. The
//    arguments go through the real argv intake (joined with spaces, decoded)
//    and back out through ToNarrow: the bytes must come back identical.
//  - odd: the rest are UTF-16 code units (native byte order) as any platform
//    text may hold them. ToNarrow must not throw for a known charset; the
//    escaped-UTF-8 codec must give back unchanged every text that has a
//    byte form of its own, and be stable on its own output.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
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

// Whether a well-formed UTF-8 character (not ASCII) starts at bytes[i], by
// the table of well-formed byte sequences.
bool StartsUtf8Character(std::string_view bytes, std::size_t i) {
    auto at = [&](std::size_t k) {
        return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0;
    };
    auto in = [](unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; };
    const unsigned lead = at(0);
    const bool trail1 = in(at(1), 0x80, 0xBF), trail2 = in(at(2), 0x80, 0xBF), trail3 = in(at(3), 0x80, 0xBF);
    if (in(lead, 0xC2, 0xDF)) return trail1;
    if (lead == 0xE0) return in(at(1), 0xA0, 0xBF) && trail2;
    if (in(lead, 0xE1, 0xEC) || in(lead, 0xEE, 0xEF)) return trail1 && trail2;
    if (lead == 0xED) return in(at(1), 0x80, 0x9F) && trail2;
    if (lead == 0xF0) return in(at(1), 0x90, 0xBF) && trail2 && trail3;
    if (in(lead, 0xF1, 0xF3)) return trail1 && trail2 && trail3;
    if (lead == 0xF4) return in(at(1), 0x80, 0x8F) && trail2 && trail3;
    return false;
}

// Whether the escaped-UTF-8 codec must give `text` back unchanged. Escaped
// bytes next to each other go out as those bytes; where they spell a UTF-8
// character they rightly come back as that character. nullopt: the text has
// a lone surrogate that is no escaped byte, which has no byte form at all.
std::optional<bool> ComesBack(std::u16string_view text) {
    bool comes_back = true;
    std::string run;  // the bytes of adjacent escaped bytes
    auto end_run = [&] {
        for (std::size_t i = 0; i < run.size(); ++i) comes_back = comes_back && !StartsUtf8Character(run, i);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHigh(unit) && i + 1 < text.size() && IsLow(text[i + 1])) {
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            run.push_back(static_cast<char>(unit - 0xDC00));
            continue;
        } else if (IsSurrogate(unit)) {
            return std::nullopt;
        }
        end_run();
    }
    end_run();
    return comes_back;
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

        // The exact form of a printer name: the same bytes, or a refusal
        // where a character would have been replaced.
        bool exact = true;
        try {
            FUZZ_CHECK(narrow.ToNarrowExactly(text) == out);
        } catch (const ploxwen::platform::PlatformError&) {
            exact = false;
        }
        if (std::strcmp(charset, "ISO-8859-1") == 0) {
            const bool spellable = std::all_of(text.begin(), text.end(), [](char16_t unit) {
                return unit < 0x100 || (unit >= 0xDC80 && unit <= 0xDCFF);
            });
            FUZZ_CHECK(exact == spellable);
        }
    }

    const std::string bytes = EncodeUtf8Escaped(text);
    const std::u16string back = DecodeUtf8Escaped(bytes);
    if (const std::optional<bool> comes_back = ComesBack(text)) FUZZ_CHECK((back == text) == *comes_back);
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
