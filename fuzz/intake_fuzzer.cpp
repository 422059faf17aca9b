// Argument intake: command-line bytes in the locale's charset, decoded, split
// at the broken bar into the printer name and the data.
//
// Input: byte 0 picks the charset, the rest are the argument bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/argument_intake.h"
#include "fuzz_check.h"
#include "platform/posix/narrow_text.h"

namespace {

using ploxwen::app::kFieldSeparator;

struct Charset {
    const char* name;
    // How the broken bar is written in this charset; empty where it has no
    // one-to-one byte form to count.
    std::string_view separator_bytes;
};

const Charset kCharsets[] = {
    {"UTF-8", "\xC2\xA6"},  {"ANSI_X3.4-1968", "\xC2\xA6"},  // the C locale is read as UTF-8
    {"ISO-8859-1", "\xA6"}, {"CP1252", "\xA6"},
    {"EUC-JP", ""},
};
constexpr std::size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];

std::vector<std::string_view> SplitBytes(std::string_view bytes, std::string_view separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = bytes.find(separator, start);
        parts.push_back(bytes.substr(start, at - start));
        if (at == std::string_view::npos) return parts;
        start = at + separator.size();
    }
}

// PieceAt must hand out pieces[index] or throw the subscript error.
void CheckPieceAt(const std::vector<std::u16string>& pieces, std::size_t index) {
    try {
        const std::u16string& piece = ploxwen::app::PieceAt(pieces, index);
        FUZZ_CHECK(index < pieces.size());
        FUZZ_CHECK(&piece == &pieces[index]);
    } catch (const std::out_of_range&) {
        FUZZ_CHECK(index >= pieces.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Charset& charset = kCharsets[data[0] % kCharsetCount];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    ploxwen::posix::NarrowText narrow(charset.name);

    const std::u16string text = narrow.Decode(bytes);
    const std::vector<std::u16string> pieces = ploxwen::app::SplitArgumentText(text);

    const std::size_t separators =
        static_cast<std::size_t>(std::count(text.begin(), text.end(), kFieldSeparator));
    FUZZ_CHECK(pieces.size() == (text.empty() ? 0 : separators + 1));
    std::u16string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(pieces[i].find(kFieldSeparator) == std::u16string::npos);
        if (i > 0) joined.push_back(kFieldSeparator);
        joined += pieces[i];
    }
    FUZZ_CHECK(joined == text);
    CheckPieceAt(pieces, 0);
    CheckPieceAt(pieces, 1);

    // The fields are cut exactly where the user typed the separator, and each
    // field goes back out as the very bytes typed for it: the printer name
    // reaches the spooler and the data reaches the printer unaltered.
    if (!charset.separator_bytes.empty() && !bytes.empty()) {
        const std::vector<std::string_view> typed = SplitBytes(bytes, charset.separator_bytes);
        FUZZ_CHECK(typed.size() == pieces.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            FUZZ_CHECK(narrow.ToNarrow(pieces[i]) == typed[i]);
        }
    }
    return 0;
}
