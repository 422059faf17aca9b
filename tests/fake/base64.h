// RFC 4648 base64 with its padding, for the tests and fuzzers that check the
// decoder against an encoder of their own; `line` > 0 breaks it into lines.
#pragma once

#include <string>

namespace ploxwen::fake {

inline std::string Base64(const std::string& bytes, std::size_t line = 0) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto at = [&](std::size_t k) {
            return k < bytes.size() ? unsigned{static_cast<unsigned char>(bytes[k])} : 0u;
        };
        const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (std::size_t k = 0; k < 4; ++k)
            text += i + k <= bytes.size() ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
        if (line > 0 && (i / 3 + 1) % (line / 4) == 0) text += '\n';
    }
    return text;
}

}  // namespace ploxwen::fake
