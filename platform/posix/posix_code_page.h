// Conversion between the bytes of the POSIX world (argv, the payload) and the
// core's UTF-16 text, in the charset of the user's locale.
//
// Bytes are never lost: a byte that does not decode in the charset becomes a
// lone surrogate U+DC80..U+DCFF and turns back into the same byte on the way
// out, so raw ESC/POS or ZPL bytes pass through whatever the locale says.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/utf8_text.h"

namespace ploxwen::posix {

class PosixCodePage final : public platform::NarrowCodePage {
public:
    // `charset` as nl_langinfo(CODESET) names it; the C/POSIX locale's
    // ASCII counts as UTF-8.
    explicit PosixCodePage(std::string charset);
    // The charset of the environment's locale (LC_ALL, LC_CTYPE, LANG).
    static PosixCodePage FromEnvironment();

    std::u16string Decode(std::string_view bytes) const;
    // The command line's argument text: Decode, except that where the charset
    // has no broken bar U+00A6, its UTF-8 bytes C2 A6 read as the broken bar
    // wherever they start a character and are not one character together.
    // Every other byte comes back from ToNarrow as it was.
    std::u16string DecodeArgumentText(std::string_view bytes) const;
    std::string ToNarrow(std::u16string_view text) override;
    std::string ToNarrowExactly(std::u16string_view text) override;
    // `name` as iconv knows it, taken as it is: ASCII here is ASCII, not the
    // C locale's UTF-8.
    std::unique_ptr<platform::NarrowCodePage> ForCodePage(std::string_view name) override;

private:
    PosixCodePage(std::string charset, bool utf8);

    std::string Encode(std::u16string_view text, bool exactly) const;

    std::string charset_;
    bool utf8_;
};

}  // namespace ploxwen::posix
