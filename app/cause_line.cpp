#include "app/cause_line.h"

namespace ploxwen::app {
namespace {

using steps::ExitStatus;

struct StatusWords {
    ExitStatus status;
    const char* words;  // null: the status says enough, and the run stays silent
};

// Every status, and what its cause line says when nothing more was noted.
constexpr StatusWords kStatusWords[] = {
    {ExitStatus::kPrinted, nullptr},
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
        if (entry.words == nullptr) return {};
        return noted.empty() ? entry.words : noted;
    }
    return noted;
}

}  // namespace ploxwen::app
