#include "platform/posix/cups_job_watch.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/posix/cups_request.h"

namespace ploxwen::posix {
namespace {

using platform::JobPhase;
using platform::PlatformError;

using Keywords = std::vector<std::string>;

Keywords KeywordsOf(ipp_t* answer, const char* name) {
    Keywords keywords;
    ipp_attribute_t* attribute = answer ? ippFindAttribute(answer, name, IPP_TAG_KEYWORD) : nullptr;
    for (int i = 0; i < ippGetCount(attribute); ++i)
        keywords.emplace_back(ippGetString(attribute, i, nullptr));
    return keywords;
}

std::string TextOf(ipp_t* answer, const char* name) {
    ipp_attribute_t* attribute = answer ? ippFindAttribute(answer, name, IPP_TAG_TEXT) : nullptr;
    const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return text ? text : "";
}

bool Has(const Keywords& keywords, const std::string& keyword) {
    return std::find(keywords.begin(), keywords.end(), keyword) != keywords.end();
}

std::string Joined(const Keywords& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

// The printer's conditions as its reasons name them, without the severity
// suffix: media-empty-error is "media-empty". "paused" is no condition of
// the device: CUPS adds it to every stopped printer.
Keywords ConditionsOf(const Keywords& printer_reasons) {
    Keywords conditions;
    for (std::string reason : printer_reasons) {
        if (reason == "none" || reason == "paused") continue;
        for (const std::string suffix : {"-error", "-warning", "-report"}) {
            if (reason.size() > suffix.size() &&
                reason.compare(reason.size() - suffix.size(), suffix.size(), suffix) == 0) {
                reason.erase(reason.size() - suffix.size());
                break;
            }
        }
        conditions.push_back(reason);
    }
    return conditions;
}

// The job's state as lpstat words it.
std::string StateWord(ipp_jstate_t state) {
    switch (state) {
        case IPP_JSTATE_PENDING:
            return "pending";
        case IPP_JSTATE_HELD:
            return "held";
        case IPP_JSTATE_PROCESSING:
            return "processing";
        case IPP_JSTATE_STOPPED:
            return "stopped";
        case IPP_JSTATE_CANCELED:
            return "canceled";
        case IPP_JSTATE_ABORTED:
            return "aborted";
        case IPP_JSTATE_COMPLETED:
            return "completed";
    }
    return "in state " + std::to_string(static_cast<int>(state));
}

JobPhase PhaseOf(ipp_jstate_t state, const Keywords& job_reasons) {
    switch (state) {
        case IPP_JSTATE_COMPLETED:
            // The device did not take it all as it should: not printed.
            return Has(job_reasons, "job-completed-with-errors") ? JobPhase::kStopped : JobPhase::kCompleted;
        case IPP_JSTATE_STOPPED:
        case IPP_JSTATE_CANCELED:
        case IPP_JSTATE_ABORTED:
            return JobPhase::kStopped;
        default:
            // When its error policy stops the printer over a job, CUPS puts
            // the job back to pending and marks it so: it waits for an
            // administrator now, not for the printer.
            return Has(job_reasons, "printer-stopped") ? JobPhase::kStopped : JobPhase::kWaiting;
    }
}

// What the job's printer says, as the reason of a verdict.
struct PrinterView {
    Keywords reasons;
    std::string message;
    bool busy_with_another = false;
};

std::string ReasonOf(const Keywords& job_reasons, const PrinterView& printer) {
    static const std::pair<const char*, const char*> kCancels[] = {
        {"job-canceled-by-user", "canceled by a user"},
        {"job-canceled-by-operator", "canceled by an operator"},
        {"job-canceled-at-device", "canceled at the printer"},
        {"aborted-by-system", "aborted by the server"},
    };
    for (const auto& [keyword, words] : kCancels) {
        if (Has(job_reasons, keyword)) return words;
    }
    const Keywords conditions = ConditionsOf(printer.reasons);
    if (Has(printer.reasons, "paused")) {
        // Stopped by the server over a job or a condition, or by an
        // administrator; cupsd's message for a plain disable is "Paused".
        const bool disabled = conditions.empty() && !Has(job_reasons, "printer-stopped");
        std::string why = conditions.empty() ? printer.message : Joined(conditions);
        if (why == "Paused") why.clear();
        const std::string stopped = disabled ? "queue disabled" : "printer stopped";
        return why.empty() ? stopped : stopped + " (" + why + ")";
    }
    if (Has(conditions, "offline")) return "printer offline";
    if (!conditions.empty()) return "printer reports " + Joined(conditions);
    if (printer.busy_with_another) return "printer busy with another job";
    if (!printer.message.empty()) return printer.message;
    // processing-to-stop-point stays on every job cupsd stopped or cancelled: it says nothing more.
    Keywords said;
    for (const std::string& reason : job_reasons) {
        if (reason != "none" && reason != "processing-to-stop-point" && reason != "job-completed-with-errors")
            said.push_back(reason);
    }
    return Joined(said);
}

}  // namespace

void CupsJobWatch::BeginWatch(std::chrono::seconds wait) {
    connection_.ExtendDeadline(wait);
}

platform::JobReport CupsJobWatch::LookAtJob(const char* /*printer_name*/, std::uint32_t job_id) {
    const CupsSpooler::AcceptedJob* job = spooler_.Accepted(job_id);
    if (job == nullptr) throw PlatformError("the server named no job for the document");
    // The answer to one request (null: the server knows no such job or
    // printer), or a cause line naming the job. A failed request leaves no
    // connection behind: the next look connects again.
    const auto ask = [&](IppPtr request) {
        std::string cause;
        try {
            http_t* http = connection_.Get();
            IppPtr answer(cupsDoRequest(http, request.release(), "/"));
            const ipp_status_t status = cupsLastError();
            if (answer && IppSucceeded(status)) return answer;
            if (status == IPP_STATUS_ERROR_NOT_FOUND) return IppPtr();
            cause = connection_.CauseOfFailedRequest("connection lost to the server at " +
                                                     connection_.ServerAddress());
        } catch (const PlatformError& failure) {
            cause = failure.what();
        }
        connection_.Reset();
        throw PlatformError("cannot look at job " + job->name + ": " + cause);
    };
    static const char* const kPrinterAttributes[] = {"printer-state", "printer-state-reasons",
                                                     "printer-state-message"};
    const auto ask_printer = [&] {
        IppPtr request = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, job->printer_uri);
        ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      std::size(kPrinterAttributes), nullptr, kPrinterAttributes);
        return ask(std::move(request));
    };

    static const char* const kJobAttributes[] = {"job-state", "job-state-reasons",
                                                 "job-printer-state-reasons", "job-printer-state-message"};
    IppPtr request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, job->printer_uri);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job->id);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  std::size(kJobAttributes), nullptr, kJobAttributes);
    const IppPtr answer = ask(std::move(request));
    if (answer == nullptr) {
        // cupsd forgets a job with its queue, which can then never print it;
        // a job gone from a queue that is still there may have printed.
        if (ask_printer() != nullptr) return {JobPhase::kGone, job->name, {}, {}, false};
        return {JobPhase::kStopped, job->name, "canceled", "its queue was deleted", false};
    }
    ipp_attribute_t* state_attribute = ippFindAttribute(answer.get(), "job-state", IPP_TAG_ENUM);
    if (state_attribute == nullptr)
        throw PlatformError("cannot look at job " + job->name + ": the server did not say its state");
    const auto state = static_cast<ipp_jstate_t>(ippGetInteger(state_attribute, 0));
    const Keywords job_reasons = KeywordsOf(answer.get(), "job-state-reasons");

    platform::JobReport report{PhaseOf(state, job_reasons), job->name, StateWord(state), {}, false};
    if (Has(job_reasons, "job-completed-with-errors")) report.state = "completed with errors";
    if (report.phase == JobPhase::kCompleted) return report;
    // The printer as the job last met it; a job that has not reached it yet
    // waits for the printer as it is now.
    PrinterView printer{KeywordsOf(answer.get(), "job-printer-state-reasons"),
                        TextOf(answer.get(), "job-printer-state-message")};
    if (ippFindAttribute(answer.get(), "job-printer-state-reasons", IPP_TAG_ZERO) == nullptr &&
        report.phase == JobPhase::kWaiting) {
        const IppPtr printer_answer = ask_printer();
        ipp_attribute_t* printer_state =
            ippFindAttribute(printer_answer.get(), "printer-state", IPP_TAG_ENUM);
        printer = {KeywordsOf(printer_answer.get(), "printer-state-reasons"),
                   TextOf(printer_answer.get(), "printer-state-message"),
                   printer_state != nullptr && ippGetInteger(printer_state, 0) == IPP_PSTATE_PROCESSING};
    }
    report.reason = ReasonOf(job_reasons, printer);
    return report;
}

std::chrono::milliseconds CupsJobWatch::Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void CupsJobWatch::Pause(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

}  // namespace ploxwen::posix
