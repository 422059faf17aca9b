// The hex and base64 decoders: any text either decodes, and the bytes decoded
// come back from their own encoding, or is refused at a character the text has.
#include <string>

#include "app/payload_intake.h"
#include "fake/base64.h"
#include "fuzz_check.h"

namespace {

using ploxwen::app::DecodeBase64;
using ploxwen::app::DecodeHex;

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (const char b : bytes) {
        hex += "0123456789abcdef"[static_cast<unsigned char>(b) >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

// Whether `decode` refuses `text` with a position inside it; the decoded bytes go to `out`.
template <typename Decode>
bool Decodes(Decode decode, const std::u16string& text, std::string& out) {
    try {
        out = decode(text);
        return true;
    } catch (const ploxwen::platform::PlatformError& refusal) {
        const std::string words = refusal.what();
        const std::size_t at = words.rfind("at character ");
        FUZZ_CHECK(at != std::string::npos);
        const unsigned long character = std::stoul(words.substr(at + 13));
        FUZZ_CHECK(character >= 1 && character <= text.size());
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bytes as characters: mostly the alphabets and blanks, now and then a wide one.
    std::u16string text;
    for (std::size_t i = 0; i < size; ++i) text.push_back(data[i] == 0xFF ? u'\u20AC' : char16_t{data[i]});
    std::string bytes;
    if (Decodes(DecodeHex, text, bytes)) {
        std::string again;
        FUZZ_CHECK(Decodes(DecodeHex, Ascii(Hex(bytes)), again) && again == bytes);
    }
    if (Decodes(DecodeBase64, text, bytes)) {
        std::string again;
        FUZZ_CHECK(Decodes(DecodeBase64, Ascii(ploxwen::fake::Base64(bytes)), again) && again == bytes);
    }
    return 0;
}
