#include "platform/posix/posix_code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace ploxwen::posix {
namespace {

constexpr char kReplacement = '?';
constexpr char16_t kBrokenBar = u'\u00A6';
constexpr std::string_view kUtf8BrokenBar = "\xC2\xA6";

bool IsUtf8Name(std::string_view charset) {
    return charset == "UTF-8" || charset == "utf-8" || charset == "UTF8" || charset == "utf8" ||
           charset == "ANSI_X3.4-1968" || charset == "US-ASCII" || charset == "ASCII" || charset.empty();
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const std::string& to, const std::string& from) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        const int error = errno;
        // Loading the conversion needs memory and descriptors of the program's own.
        if (error == ENOMEM || error == EMFILE || error == ENFILE) {
            throw platform::ResourceError("cannot convert between " + from + " and " + to + ": " +
                                          std::strerror(error));
        }
        throw platform::PlatformError("no conversion between " + from + " and " + to);
    }
    return IconvHandle(cd);
}

// Converts one complete input; returns false when the input is not one whole
// character sequence that the conversion accepts.
bool ConvertExactly(iconv_t cd, const char* in, std::size_t in_size, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* in_ptr = const_cast<char*>(in);
    std::size_t in_left = in_size;
    char* out_ptr = buffer;
    std::size_t out_left = sizeof buffer;
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) return false;
    if (iconv(cd, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) return false;
    out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
    return in_left == 0;
}

// Decodes the character that starts at bytes[at] into `out` through UTF-8,
// trying ever longer sequences, and returns how many bytes it took; a byte
// that starts no character of the charset is carried escaped, alone.
std::size_t DecodeCharacter(void* cd, std::string_view bytes, std::size_t at, std::u16string& out) {
    std::string utf8;
    for (std::size_t length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
        if (ConvertExactly(static_cast<iconv_t>(cd), bytes.data() + at, length, utf8)) {
            const std::u16string decoded = DecodeUtf8Escaped(utf8);
            if (decoded.empty()) break;
            out += decoded;
            return length;
        }
        utf8.clear();
    }
    AppendEscaped(out, static_cast<unsigned char>(bytes[at]));
    return 1;
}

}  // namespace

PosixCodePage::PosixCodePage(std::string charset)
    : charset_(std::move(charset)), utf8_(IsUtf8Name(charset_)) {}

PosixCodePage::PosixCodePage(std::string charset, bool utf8) : charset_(std::move(charset)), utf8_(utf8) {}

std::unique_ptr<platform::NarrowCodePage> PosixCodePage::ForCodePage(std::string_view name) {
    const std::string charset(name);
    iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw platform::PlatformError("iconv has no such charset");
    iconv_close(cd);
    const bool utf8 = charset == "UTF-8" || charset == "utf-8" || charset == "UTF8" || charset == "utf8";
    return std::unique_ptr<PosixCodePage>(new PosixCodePage(charset, utf8));
}

PosixCodePage PosixCodePage::FromEnvironment() {
    std::setlocale(LC_CTYPE, "");
    return PosixCodePage(nl_langinfo(CODESET));
}

std::u16string PosixCodePage::Decode(std::string_view bytes) const {
    if (utf8_) return DecodeUtf8Escaped(bytes);

    // Other charsets: decode through UTF-8 one character at a time, so that
    // a byte the charset rejects can be escaped and the rest still decodes.
    const IconvHandle cd = OpenIconv("UTF-8", charset_);
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size();) i += DecodeCharacter(cd.get(), bytes, i, out);
    return out;
}

std::u16string PosixCodePage::DecodeArgumentText(std::string_view bytes) const {
    if (utf8_) return DecodeUtf8Escaped(bytes);
    const IconvHandle to_charset = OpenIconv(charset_, "UTF-8");
    std::string spelled;
    if (ConvertExactly(static_cast<iconv_t>(to_charset.get()), kUtf8BrokenBar.data(), kUtf8BrokenBar.size(),
                       spelled)) {
        return Decode(bytes);  // the separator is typed in the charset like any other character
    }

    // The charset cannot spell the broken bar, so its UTF-8 bytes, as a
    // UTF-8 terminal or a script written in UTF-8 sends them, stand for it.
    // They are taken only at a character boundary and only as two characters
    // (or undecodable bytes): where the charset reads them as one character
    // of its own, as Big5 and GBK do, they are that character.
    const IconvHandle cd = OpenIconv("UTF-8", charset_);
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t decoded_size = out.size();
        const std::size_t used = DecodeCharacter(cd.get(), bytes, i, out);
        if (used == 1 && bytes.substr(i, kUtf8BrokenBar.size()) == kUtf8BrokenBar) {
            out.resize(decoded_size);
            out.push_back(kBrokenBar);
            i += kUtf8BrokenBar.size();
        } else {
            i += used;
        }
    }
    return out;
}

std::string PosixCodePage::ToNarrow(std::u16string_view text) {
    return Encode(text, false);
}

std::string PosixCodePage::ToNarrowExactly(std::u16string_view text) {
    return Encode(text, true);
}

std::string PosixCodePage::Encode(std::u16string_view text, bool exactly) const {
    if (utf8_) {
        if (exactly) {
            for (std::size_t i = 0; i < text.size();) {
                const char32_t c = NextCodePoint(text, i);
                if (c >= 0xD800 && c <= 0xDFFF && !IsEscapedByte(c)) {
                    throw platform::PlatformError("text has no exact form in " + charset_);
                }
            }
        }
        return EncodeUtf8Escaped(text);
    }

    const IconvHandle cd = OpenIconv(charset_, "UTF-8");
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = NextCodePoint(text, i);
        if (IsEscapedByte(c)) {
            out.push_back(static_cast<char>(c - kEscapeBase));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {  // a lone surrogate names no character
            if (exactly) throw platform::PlatformError("text has no exact form in " + charset_);
            out.push_back(kReplacement);
            continue;
        }
        std::u16string units;
        AppendUtf16(units, c);
        const std::string utf8 = EncodeUtf8Escaped(units);
        if (!ConvertExactly(static_cast<iconv_t>(cd.get()), utf8.data(), utf8.size(), out)) {
            if (exactly) throw platform::PlatformError("text has no exact form in " + charset_);
            out.push_back(kReplacement);
        }
    }
    return out;
}

}  // namespace ploxwen::posix