// The POSIX code-page conversions. Any bytes survive the escaped-UTF-8 codec,
// any well-formed text comes back from it. ToNarrow never throws for a known
// charset; ToNarrowExactly gives the same bytes or refuses exactly the texts
// that do not come back: no printer name gets a '?' for what is not spelled.
#include <cstring>

#include "fuzz_check.h"
#include "platform/posix/posix_code_page.h"

using namespace ploxwen::posix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kCharsets[] = {"UTF-8",  "ANSI_X3.4-1968", "ISO-8859-1", "ISO-8859-15",
                                            "CP1252", "KOI8-R",         "EUC-JP"};
    const auto In = [](unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; };
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(EncodeUtf8Escaped(DecodeUtf8Escaped(bytes)) == bytes);
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    bool lone_surrogate = false, escaped_byte = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i], next = i + 1 < text.size() ? text[i + 1] : 0;
        const bool escaped = In(unit, 0xDC80, 0xDCFF),
                   pair = In(unit, 0xD800, 0xDBFF) && In(next, 0xDC00, 0xDFFF);
        escaped_byte = escaped_byte || escaped;
        lone_surrogate = lone_surrogate || (!pair && !escaped && In(unit, 0xD800, 0xDFFF));
        i += pair;
    }
    const bool well_formed = !lone_surrogate && !escaped_byte;
    if (well_formed) FUZZ_CHECK(DecodeUtf8Escaped(EncodeUtf8Escaped(text)) == text);
    for (const char* charset : kCharsets) {
        PosixCodePage narrow(charset);
        const std::string out = narrow.ToNarrow(text);  // a throw is a crash here
        bool exact = true;
        try {
            FUZZ_CHECK(narrow.ToNarrowExactly(text) == out);
        } catch (const ploxwen::platform::PlatformError&) {
            exact = false;
        }
        // EUC-JP alone spells a few characters one way only (U+00A5 as 0x5C).
        const bool one_way = std::strcmp(charset, "EUC-JP") == 0;
        if (well_formed) FUZZ_CHECK(exact == (narrow.Decode(out) == text) || (exact && one_way));
        if (lone_surrogate) FUZZ_CHECK(!exact);
        const bool utf8 = std::strcmp(charset, "UTF-8") == 0 || std::strcmp(charset, "ANSI_X3.4-1968") == 0;
        if (utf8) FUZZ_CHECK(out == EncodeUtf8Escaped(text) && exact == !lone_surrogate);
    }
    return 0;
}
