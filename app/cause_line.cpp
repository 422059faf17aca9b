#include "app/cause_line.h"

#include <cstddef>

namespace ploxwen::app {
namespace {

using steps::ExitStatus;

struct StatusWords {
    ExitStatus status;
    const char* words;    // null: only what was noted, if anything
    bool silent = false;  // the status says enough, whatever was noted
};

// Every status, and what its cause line says when nothing more was noted.
constexpr StatusWords kStatusWords[] = {
    {ExitStatus::kPrinted, nullptr, true},
    {ExitStatus::kNoSuchPrinter, nullptr},
    {ExitStatus::kNotReached, "printer could not be opened"},
    {ExitStatus::kNoJob, "the spooler did not take the whole document"},
    {ExitStatus::kJobMayExist, "the spooler did not confirm the job"},
    {ExitStatus::kNotPrinted, "the spooler did not print the job"},
    {ExitStatus::kNoVerdictYet, "the spooler gave no verdict on the job"},
    {ExitStatus::kCallRefused, "the call was refused"},
    {ExitStatus::kOwnFailure, "out of memory or another system resource"},
};

// The words as one line a terminal shows as text: the server's or the
// spooler's own words may hold anything, and a newline or an escape sequence
// in them could forge a second cause line or drive the terminal. Every C0
// control, DEL and C1 control in UTF-8 (C2 80 to C2 9F) becomes a '?'.
std::string OneInertLine(const std::string& words) {
    std::string line;
    line.reserve(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto byte = static_cast<unsigned char>(words[i]);
        const bool c1 = byte == 0xC2 && i + 1 < words.size() &&
                        (static_cast<unsigned char>(words[i + 1]) & 0xE0U) == 0x80U;
        if (byte < 0x20 || byte == 0x7F || c1) {
            line.push_back('?');
            i += c1 ? 1 : 0;
        } else {
            line.push_back(words[i]);
        }
    }
    return line;
}

}  // namespace

std::string CauseLine(ExitStatus status, const std::string& noted) {
    for (const StatusWords& entry : kStatusWords) {
        if (entry.status != status) continue;
        if (entry.silent) return {};
        if (noted.empty()) return entry.words != nullptr ? entry.words : "";
        break;
    }
    // Status 1's usage line, the program's own, is the one line that may follow.
    const std::size_t usage = noted.rfind("\nusage: ploxwen ");
    if (usage == std::string::npos) return OneInertLine(noted);
    return OneInertLine(noted.substr(0, usage)) + "\n" + OneInertLine(noted.substr(usage + 1));
}

std::u16string NoSuchPrinterWords(std::u16string_view typed, const std::optional<std::u16string>& meant,
                                  bool usage, bool no_argument) {
    std::u16string words =
        no_argument ? u"no argument" : u"no printer named \"" + std::u16string(typed) + u"\"";
    if (meant && !no_argument) words += u" (did you mean \"" + *meant + u"\"?)";
    if (usage || no_argument) words += u"\n" + std::u16string(kUsage);
    return words;
}

}  // namespace ploxwen::app
