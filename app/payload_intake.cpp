#include "app/payload_intake.h"

#include <new>
#include <optional>

namespace ploxwen::app {
namespace {

using platform::PlatformError;

struct ModeName {
    const char* name;
    DataMode mode;
};
constexpr ModeName kModes[] = {{"hex", DataMode::kHex},
                               {"base64", DataMode::kBase64},
                               {"file", DataMode::kFile},
                               {"stdin", DataMode::kStdin}};

// A payload decoded in the core: the decoded string is the one copy.
class DecodedPayload final : public platform::Payload {
public:
    explicit DecodedPayload(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string_view Bytes() const override { return bytes_; }

private:
    std::string bytes_;
};

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

int Base64Value(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

// `character` counts from 1. Every character before a fault is ASCII, so
// code units count as characters do.
[[noreturn]] void Refuse(const char* mode, const std::string& fault, std::size_t character) {
    throw PlatformError(std::string(kDataVariable) + "=" + mode + ": " + fault + " at character " +
                        std::to_string(character));
}

// The failure being handled, again, its words after `what`: the program's
// own resources failing stays that kind of failure.
[[noreturn]] void RethrowAfter(const std::string& what) {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw platform::ResourceError(what + "out of memory");
    } catch (const platform::ResourceError& failure) {
        throw platform::ResourceError(what + failure.what());
    } catch (const std::exception& failure) {
        throw PlatformError(what + failure.what());
    }
}

// A variable's value as a cause line may show it: no control bytes.
std::string Shown(std::string value) {
    for (char& c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') c = '?';
    }
    return value;
}

}  // namespace

PayloadRequest RequestedPayload(platform::Process& process, platform::NarrowCodePage& system) {
    PayloadRequest request;
    if (const std::optional<std::string> mode = process.EnvironmentVariable(kDataVariable)) {
        const ModeName* found = nullptr;
        for (const ModeName& known : kModes) {
            if (*mode == known.name) found = &known;
        }
        if (found == nullptr) {
            throw PlatformError(std::string(kDataVariable) + " must be one of hex, base64, file, stdin");
        }
        request.mode = found->mode;
    }
    if (const std::optional<std::string> name = process.EnvironmentVariable(kCodePageVariable)) {
        if (request.mode != DataMode::kText) {
            throw PlatformError(std::string(kCodePageVariable) + " applies to text only, not to " +
                                kDataVariable + "=" + *process.EnvironmentVariable(kDataVariable));
        }
        try {
            request.code_page = system.ForCodePage(*name);
        } catch (...) {
            RethrowAfter(std::string(kCodePageVariable) + "=" + Shown(*name) + ": ");
        }
    }
    return request;
}

std::unique_ptr<platform::Payload> PayloadInHand(DataMode mode, std::u16string_view data_field,
                                                 platform::Process& process) {
    switch (mode) {
        case DataMode::kText:
            return nullptr;
        case DataMode::kHex:
            return std::make_unique<DecodedPayload>(DecodeHex(data_field));
        case DataMode::kBase64:
            return std::make_unique<DecodedPayload>(DecodeBase64(data_field));
        case DataMode::kFile:
            try {
                return process.ReadFile(data_field);
            } catch (...) {
                RethrowAfter(std::string(kDataVariable) + "=file: ");
            }
        case DataMode::kStdin:
            if (!data_field.empty()) {
                throw PlatformError(std::string(kDataVariable) + "=stdin takes no data after \u00A6");
            }
            try {
                return process.ReadStandardInput();
            } catch (...) {
                RethrowAfter(std::string(kDataVariable) + "=stdin: ");
            }
    }
    return nullptr;
}

std::string DecodeHex(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 2);
    int high = -1;  // the first digit of a pair, once read
    std::size_t high_at = 0;
    for (std::size_t at = 1; at <= text.size(); ++at) {
        const char16_t c = text[at - 1];
        const int value = HexValue(c);
        if (value < 0 && !IsBlank(c)) Refuse("hex", "not a hex digit", at);
        if (value < 0 && high >= 0) Refuse("hex", "a lone hex digit", high_at);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
            high_at = at;
        } else {
            bytes.push_back(static_cast<char>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0) Refuse("hex", "a lone hex digit", high_at);
    return bytes;
}

std::string DecodeBase64(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    unsigned group = 0;       // the bits of the group so far
    int in_group = 0;         // its characters, 0 to 3
    int padding = 0;          // '=' seen so far; only more may follow
    std::size_t last_at = 0;  // the group's last character
    for (std::size_t at = 1; at <= text.size(); ++at) {
        const char16_t c = text[at - 1];
        if (IsBlank(c)) continue;
        if (c == u'=') {
            // A group of two takes two, a group of three one.
            if (in_group < 2 || in_group + padding >= 4) Refuse("base64", "misplaced padding", at);
            ++padding;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0) Refuse("base64", "not a base64 character", at);
        if (padding > 0) Refuse("base64", "data after padding", at);
        group = group << 6 | static_cast<unsigned>(value);
        last_at = at;
        if (++in_group == 4) {
            bytes.push_back(static_cast<char>(group >> 16));
            bytes.push_back(static_cast<char>(group >> 8));
            bytes.push_back(static_cast<char>(group));
            group = 0;
            in_group = 0;
        }
    }
    if (in_group == 1) Refuse("base64", "a lone base64 character", last_at);
    if (in_group == 2) bytes.push_back(static_cast<char>(group >> 4));
    if (in_group == 3) {
        bytes.push_back(static_cast<char>(group >> 10));
        bytes.push_back(static_cast<char>(group >> 2));
    }
    return bytes;
}

std::u16string Printable(std::u16string_view text) {
    std::u16string shown(text);
    for (char16_t& c : shown) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = u'?';
    }
    return shown;
}

}  // namespace ploxwen::app
