// How the data field becomes the payload (PLOXWEN_DATA) and which charset
// text goes out in (PLOXWEN_CODEPAGE): both read and checked before anything
// is looked up, and a binary payload in hand whole before the first lookup.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ploxwen::app {

inline constexpr char kDataVariable[] = "PLOXWEN_DATA";
inline constexpr char kCodePageVariable[] = "PLOXWEN_CODEPAGE";

enum class DataMode { kText, kHex, kBase64, kFile, kStdin };

struct PayloadRequest {
    DataMode mode = DataMode::kText;
    // Text only: the charset PLOXWEN_CODEPAGE names; null for the system's.
    std::unique_ptr<platform::NarrowCodePage> code_page{};
};

// The modes and charset the environment asks for; unset or empty variables
// ask for today's text. Throws PlatformError naming the variable for an
// unknown mode, a charset the platform lacks, or a charset with a binary mode.
PayloadRequest RequestedPayload(platform::Process& process, platform::NarrowCodePage& system);

// The bytes of a binary mode: `data_field` decoded (hex, base64), the file
// it names, or standard input (which takes no data field). Null for text.
// Throws PlatformError whose message names the variable, the mode and the
// fault.
std::unique_ptr<platform::Payload> PayloadInHand(DataMode mode, std::u16string_view data_field,
                                                 platform::Process& process);

// Pairs of hex digits in either case, blanks (space, tab, CR, LF) between
// pairs. Throws PlatformError saying at which character (1-based) it fails.
std::string DecodeHex(std::u16string_view text);
// RFC 4648 base64, standard alphabet, padding optional, blanks anywhere.
// Throws as DecodeHex does.
std::string DecodeBase64(std::u16string_view text);

// `text` with every control character as '?': nothing typed can start a
// second line of its own in a cause line.
std::u16string Printable(std::u16string_view text);

}  // namespace ploxwen::app
