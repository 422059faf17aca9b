#include "app/cause_line.h"

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
};

}  // namespace

std::string CauseLine(ExitStatus status, const std::string& noted) {
    for (const StatusWords& entry : kStatusWords) {
        if (entry.status != status) continue;
        if (entry.silent) return {};
        return noted.empty() && entry.words != nullptr ? entry.words : noted;
    }
    return noted;
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
