// UTF-8 as the POSIX backend meets it: what CUPS names things in, what the
// cause lines and the window module take, and the way every other charset is
// decoded. Bytes that are not UTF-8 are never lost: each one becomes a lone
// surrogate U+DC80..U+DCFF and turns back into the same byte on the way out.
#pragma once

#include <string>
#include <string_view>

namespace ploxwen::posix {

inline constexpr char32_t kEscapeBase = 0xDC00;  // byte b (>= 0x80) <-> U+DC00 + b

// Strict UTF-8 with escaped bytes, both ways: any bytes survive the round
// trip, and any well-formed text. A lone surrogate goes out as '?'.
std::u16string DecodeUtf8Escaped(std::string_view bytes);
std::string EncodeUtf8Escaped(std::u16string_view text);
// Well-formed UTF-8 for a toolkit that needs it: an escaped byte or a lone
// surrogate becomes U+FFFD.
std::string EncodeValidUtf8(std::u16string_view text);

// The pieces the charset conversions share.
bool IsEscapedByte(char32_t c);
// `byte` as Decode carries one that starts no character: escaped from 0x80 on.
void AppendEscaped(std::u16string& out, unsigned char byte);
void AppendUtf16(std::u16string& out, char32_t c);
// Reads one code point from UTF-16 at `i`, pairing surrogates; a lone
// surrogate is returned as itself.
char32_t NextCodePoint(std::u16string_view text, std::size_t& i);

}  // namespace ploxwen::posix
