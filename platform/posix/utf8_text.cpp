#include "platform/posix/utf8_text.h"

namespace ploxwen::posix {
namespace {

constexpr char kReplacement = '?';
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// UTF-16 to UTF-8. An escaped byte goes out as itself where `bytes_back`, a
// lone surrogate as '?'; else both become U+FFFD, for a reader that needs
// well-formed text.
std::string Encode(std::u16string_view text, bool bytes_back) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = NextCodePoint(text, i);
        if (c < 0xD800 || c > 0xDFFF) {
            AppendUtf8(out, c);
        } else if (!bytes_back) {
            out += kReplacementCharacter;
        } else if (IsEscapedByte(c)) {
            out.push_back(static_cast<char>(c - kEscapeBase));
        } else {
            out.push_back(kReplacement);  // a lone surrogate names no character
        }
    }
    return out;
}

}  // namespace

void AppendEscaped(std::u16string& out, unsigned char byte) {
    if (byte < 0x80) {
        out.push_back(byte);  // cannot happen for ASCII-compatible charsets; kept lossless anyway
    } else {
        out.push_back(static_cast<char16_t>(kEscapeBase + byte));
    }
}

bool IsEscapedByte(char32_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

char32_t NextCodePoint(std::u16string_view text, std::size_t& i) {
    const char32_t unit = text[i++];
    if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size()) {
        const char32_t low = text[i];
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return unit;
}

std::u16string DecodeUtf8Escaped(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned char trail = static_cast<unsigned char>(bytes[i + k]);
            valid = (trail & 0xC0) == 0x80;
            c = (c << 6) | (trail & 0x3F);
        }
        // Overlong forms, encoded surrogates and values past U+10FFFF are not
        // characters: their bytes travel escaped instead.
        valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (valid) {
            AppendUtf16(out, c);
            i += length;
        } else {
            AppendEscaped(out, lead);
            ++i;
        }
    }
    return out;
}

std::string EncodeUtf8Escaped(std::u16string_view text) {
    return Encode(text, true);
}

std::string EncodeValidUtf8(std::u16string_view text) {
    return Encode(text, false);
}

}  // namespace ploxwen::posix
