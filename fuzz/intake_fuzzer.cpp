// Argument intake: command-line bytes in the locale's charset (byte 0 picks
// it), decoded and split at the broken bar. The fields are cut exactly where
// the user typed the separator, and each goes back out as the very bytes
// typed for it: no byte is lost in any charset.
#include <algorithm>
#include <string_view>

#include "app/argument_intake.h"
#include "fuzz_check.h"
#include "platform/posix/narrow_text.h"

using ploxwen::app::kFieldSeparator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The separator as each charset writes it, C2 A6 where it has none (Latin-9, KOI8-R);
    // none to count in EUC-JP, where its three bytes may also lie across characters.
    static const std::pair<const char*, std::string_view> kCharsets[] = {
        {"UTF-8", "\xC2\xA6"}, {"ANSI_X3.4-1968", "\xC2\xA6"}, {"ISO-8859-1", "\xA6"},
        {"CP1252", "\xA6"},    {"ISO-8859-15", "\xC2\xA6"},    {"KOI8-R", "\xC2\xA6"},
        {"EUC-JP", ""}};
    if (size == 0) return 0;
    const auto& [charset, separator] = kCharsets[data[0] % 7];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    ploxwen::posix::NarrowText narrow(charset);
    const std::u16string text = narrow.DecodeArgumentText(bytes);
    const std::vector<std::u16string> pieces = ploxwen::app::SplitArgumentText(text);

    std::u16string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(pieces[i].find(kFieldSeparator) == std::u16string::npos);
        joined += (i ? std::u16string(1, kFieldSeparator) : u"") + pieces[i];
    }
    FUZZ_CHECK(joined == text);
    FUZZ_CHECK(pieces.empty() == text.empty());
    if (separator.empty()) {
        if (pieces.size() < 2) FUZZ_CHECK(narrow.ToNarrow(text) == bytes);
        return 0;
    }
    if (bytes.empty()) return 0;
    std::size_t start = 0;
    for (const std::u16string& piece : pieces) {
        const std::size_t end = std::min(bytes.find(separator, start), bytes.size());
        FUZZ_CHECK(narrow.ToNarrow(piece) == bytes.substr(start, end - start));
        start = end + separator.size();
    }
    FUZZ_CHECK(start == bytes.size() + separator.size());
    return 0;
}
