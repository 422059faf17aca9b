// The POSIX code-page conversions of any UTF-16 text: ToNarrow never throws
// for a known charset, ToNarrowExactly gives the same bytes or refuses, and
// the escaped-UTF-8 codec gives back every text that has a byte form of its own.
#include <algorithm>
#include <cstring>

#include "fuzz_check.h"
#include "platform/posix/narrow_text.h"

using namespace ploxwen::posix;

namespace {

const char* const kCharsets[] = {"UTF-8",  "ANSI_X3.4-1968", "ISO-8859-1", "ISO-8859-15",
                                 "CP1252", "KOI8-R",         "EUC-JP"};

bool In(unsigned value, unsigned low, unsigned high) {
    return value >= low && value <= high;
}

// Whether a well-formed UTF-8 character (not ASCII) starts at bytes[i], by
// the table of well-formed byte sequences.
bool StartsUtf8Character(const std::string& bytes, std::size_t i) {
    auto at = [&](std::size_t k) {
        return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0u;
    };
    const unsigned lead = at(0);
    const bool t1 = In(at(1), 0x80, 0xBF), t2 = In(at(2), 0x80, 0xBF), t3 = In(at(3), 0x80, 0xBF);
    if (In(lead, 0xC2, 0xDF)) return t1;
    if (lead == 0xE0) return In(at(1), 0xA0, 0xBF) && t2;
    if (In(lead, 0xE1, 0xEC) || In(lead, 0xEE, 0xEF)) return t1 && t2;
    if (lead == 0xED) return In(at(1), 0x80, 0x9F) && t2;
    if (lead == 0xF0) return In(at(1), 0x90, 0xBF) && t2 && t3;
    if (In(lead, 0xF1, 0xF3)) return t1 && t2 && t3;
    return lead == 0xF4 && In(at(1), 0x80, 0x8F) && t2 && t3;
}

// Whether the codec must give `text` back: adjacent escaped bytes that spell
// a UTF-8 character rightly come back as that character. -1: a lone
// surrogate that is no escaped byte, which has no byte form at all.
int ComesBack(std::u16string_view text) {
    bool back = true;
    std::string run;  // the bytes of adjacent escaped bytes
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char16_t unit = i < text.size() ? text[i] : 0;
        if (In(unit, 0xDC80, 0xDCFF)) {
            run.push_back(static_cast<char>(unit - 0xDC00));
            continue;
        }
        for (std::size_t k = 0; k < run.size(); ++k) back = back && !StartsUtf8Character(run, k);
        run.clear();
        if (In(unit, 0xD800, 0xDBFF) && i + 1 < text.size() && In(text[i + 1], 0xDC00, 0xDFFF)) {
            ++i;
        } else if (In(unit, 0xD800, 0xDFFF)) {
            return -1;
        }
    }
    return back;
}

void CheckText(std::u16string_view text) {
    for (const char* charset : kCharsets) {
        NarrowText narrow(charset);
        const std::string out = narrow.ToNarrow(text);  // a throw is a crash here
        if (narrow.is_utf8()) FUZZ_CHECK(out == EncodeUtf8Escaped(text));
        bool exact = true;
        try {
            FUZZ_CHECK(narrow.ToNarrowExactly(text) == out);
        } catch (const ploxwen::platform::PlatformError&) {
            exact = false;
        }
        if (std::strcmp(charset, "ISO-8859-1") != 0) continue;
        // Latin-1: one byte per unit, escaped bytes as themselves, '?' for each other character.
        std::string latin1;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool pair =
                In(text[i], 0xD800, 0xDBFF) && i + 1 < text.size() && In(text[i + 1], 0xDC00, 0xDFFF);
            latin1.push_back(
                text[i] < 0x100 || In(text[i], 0xDC80, 0xDCFF) ? static_cast<char>(text[i] & 0xFF) : '?');
            i += pair;
        }
        FUZZ_CHECK(out == latin1);
        FUZZ_CHECK(exact == (std::all_of(text.begin(), text.end(),
                                         [](char16_t u) { return u < 0x100 || In(u, 0xDC80, 0xDCFF); })));
    }
    const std::string bytes = EncodeUtf8Escaped(text);
    const std::u16string back = DecodeUtf8Escaped(bytes);
    if (ComesBack(text) >= 0) FUZZ_CHECK((back == text) == (ComesBack(text) == 1));
    FUZZ_CHECK(EncodeUtf8Escaped(back) == bytes);  // stable on its own output
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    CheckText(text);
    return 0;
}
