// Argument intake: command-line bytes in the locale's charset (byte 0 picks
// it), decoded and split at the broken bar, typed as the charset spells it or,
// where it cannot, as its UTF-8 bytes C2 A6. Each piece goes back out as the
// very bytes typed for it, and every separator typed is a cut.
#include "app/argument_intake.h"
#include "fuzz_check.h"
#include "platform/posix/posix_code_page.h"

using ploxwen::app::kFieldSeparator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const kCharsets[] = {"UTF-8",       "ANSI_X3.4-1968", "ISO-8859-1", "CP1252",
                                            "ISO-8859-15", "KOI8-R",         "EUC-JP"};
    if (size == 0) return 0;
    const std::string charset = kCharsets[data[0] % 7];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    ploxwen::posix::PosixCodePage narrow(charset);
    const std::u16string text = narrow.DecodeArgumentText(bytes);
    const std::vector<std::u16string> pieces = ploxwen::app::SplitArgumentText(text);
    // Where the charset cannot spell the separator, ToNarrow writes '?' and it is typed as C2 A6.
    const std::string spelled = narrow.ToNarrow(std::u16string(1, kFieldSeparator));
    const std::string separator = spelled == "?" ? "\xC2\xA6" : spelled;
    std::u16string joined;
    std::string typed;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece = narrow.ToNarrow(pieces[i]);
        FUZZ_CHECK(pieces[i].find(kFieldSeparator) == std::u16string::npos);
        // In UTF-8 and the one-byte charsets a typed separator always starts a character: a cut.
        FUZZ_CHECK(charset == "EUC-JP" || piece.find(separator) == std::string::npos);
        joined += (i ? std::u16string(1, kFieldSeparator) : u"") + pieces[i];
        typed += (i ? separator : "") + piece;
    }
    FUZZ_CHECK(joined == text);
    FUZZ_CHECK(typed == bytes);
    return 0;
}
