#include "platform/win32/winspool_job_watch.h"

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/win32_code_page.h"
#include "platform/win32/winspool_deadline.h"

namespace ploxwen::win32 {
namespace {

// SetJob's commands since Vista, which MinGW's winspool.h lacks: keep the job
// listed after it prints, and let it go.
constexpr DWORD kJobControlRetain = 8;
constexpr DWORD kJobControlRelease = 9;
constexpr DWORD kJobStatusRetained = 0x2000;

struct Condition {
    DWORD bit;
    const char* words;
};

// A job's conditions under which it does not print until someone mends the
// device: the verdict is "not printed".
constexpr Condition kJobStops[] = {
    {JOB_STATUS_ERROR, "error"},
    {JOB_STATUS_PAPEROUT, "paper out"},
    {JOB_STATUS_USER_INTERVENTION, "user intervention required"},
    {JOB_STATUS_BLOCKED_DEVQ, "the driver cannot print it"},
};
// ... and those under which it waits for the printer to come back: no
// verdict yet ("not printed yet" when the wait ends).
constexpr Condition kJobHolds[] = {
    {JOB_STATUS_OFFLINE, "printer offline"},
};

// The same for a printer's conditions, which hold up every job on it.
constexpr Condition kPrinterStops[] = {
    {PRINTER_STATUS_ERROR, "printer error"},
    {PRINTER_STATUS_PENDING_DELETION, "printer being deleted"},
    {PRINTER_STATUS_PAPER_JAM, "paper jam"},
    {PRINTER_STATUS_PAPER_OUT, "paper out"},
    {PRINTER_STATUS_PAPER_PROBLEM, "paper problem"},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "output bin full"},
    {PRINTER_STATUS_NO_TONER, "no toner"},
    {PRINTER_STATUS_USER_INTERVENTION, "user intervention required"},
    {PRINTER_STATUS_OUT_OF_MEMORY, "printer out of memory"},
    {PRINTER_STATUS_DOOR_OPEN, "door open"},
};
constexpr Condition kPrinterHolds[] = {
    {PRINTER_STATUS_PAUSED, "printer paused"},
    {PRINTER_STATUS_OFFLINE, "printer offline"},
    {PRINTER_STATUS_NOT_AVAILABLE, "printer not available"},
};

// The words of the conditions set in `status`, joined: "paper out, door open".
template <std::size_t count>
std::string WordsOf(DWORD status, const Condition (&conditions)[count]) {
    std::string words;
    for (const Condition& condition : conditions) {
        if ((status & condition.bit) == 0) continue;
        if (!words.empty()) words += ", ";
        words += condition.words;
    }
    return words;
}

// The spooler's own text in the ANSI code page, as the cause line carries
// the printer's name.
std::string ToAnsi(const wchar_t* text) {
    const std::wstring_view view(text ? text : L"");
    return win32::ToAnsi(std::u16string(view.begin(), view.end()));
}

}  // namespace

void WinspoolJobWatch::BeginWatch(std::chrono::seconds wait) {
    ExtendLastResort(wait);
}

void WinspoolJobWatch::KeepJob(platform::PrinterHandle handle, std::uint32_t job_id) {
    const auto set_job = winspool_.Bind(set_job_, "SetJobW");
    if (!set_job(reinterpret_cast<HANDLE>(handle), job_id, 0, nullptr, kJobControlRetain)) {
        throw platform::PlatformError(CauseOf("SetJobW", GetLastError()));
    }
}

platform::JobReport WinspoolJobWatch::LookAtJob(const char* printer_name, std::uint32_t job_id) {
    platform::JobReport report;
    report.job = platform::JobName(printer_name, job_id);
    const auto get_job = winspool_.Bind(get_job_, "GetJobW");
    if (watched_ == nullptr) {
        const auto open_printer = winspool_.Bind(open_printer_, "OpenPrinterA");
        winspool_.Bind(close_printer_, "ClosePrinter");
        // Looking needs no more than the right to print; a release needs no more either.
        PRINTER_DEFAULTSA use_only{nullptr, nullptr, PRINTER_ACCESS_USE};
        HANDLE printer = nullptr;
        if (!open_printer(const_cast<LPSTR>(printer_name), &printer, &use_only)) {
            throw platform::PlatformError("cannot look at job " + report.job + ": " +
                                          CauseOf("OpenPrinterA", GetLastError()));
        }
        watched_ = printer;
        job_id_ = job_id;
    }
    const HANDLE printer = watched_;

    std::vector<BYTE> record;
    if (!ReadGrowing(record, [&](BYTE* buffer, DWORD size, DWORD* needed) {
            return get_job(printer, job_id, 1, buffer, size, needed);
        })) {
        const DWORD error = GetLastError();
        // The spooler forgets a job once it has left the queue: printed, or
        // deleted by someone. Windows says so with ERROR_INVALID_PARAMETER,
        // Wine with no error at all.
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) {
            report.phase = platform::JobPhase::kGone;
            return report;
        }
        throw platform::PlatformError("cannot look at job " + report.job + ": " + CauseOf("GetJobW", error));
    }
    const auto& job = *reinterpret_cast<const JOB_INFO_1W*>(record.data());
    const DWORD status = job.Status;
    // The port monitor's or driver's own words, which Windows shows instead of the bits.
    const std::string words = ToAnsi(job.pStatus);
    report.kept = (status & kJobStatusRetained) != 0;

    if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) {
        report.phase = platform::JobPhase::kCompleted;
        report.state = "completed";
        report.reason = words;
        return report;
    }
    if (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) {
        report.phase = platform::JobPhase::kStopped;
        report.state = "canceled";
        report.reason = words.empty() ? "deleted" : words;
        return report;
    }
    report.state = (status & JOB_STATUS_PAUSED)     ? "held"
                   : (status & JOB_STATUS_PRINTING) ? "processing"
                                                    : "pending";
    std::string stops = WordsOf(status, kJobStops);
    std::string holds = WordsOf(status, kJobHolds);
    if (stops.empty() && holds.empty() && words.empty()) {
        const DWORD printer_status = PrinterStatus(printer);
        stops = WordsOf(printer_status, kPrinterStops);
        holds = WordsOf(printer_status, kPrinterHolds);
    }
    report.phase = stops.empty() ? platform::JobPhase::kWaiting : platform::JobPhase::kStopped;
    report.reason = !words.empty() ? words : !stops.empty() ? stops : holds;
    return report;
}

void WinspoolJobWatch::EndWatch(bool release) {
    if (watched_ == nullptr) return;
    // A job that stays kept is listed after it prints; the user deletes it.
    if (release && set_job_ != nullptr) set_job_(watched_, job_id_, 0, nullptr, kJobControlRelease);
    close_printer_(watched_);
    watched_ = nullptr;
}

DWORD WinspoolJobWatch::PrinterStatus(HANDLE printer) {
    const auto get_printer = winspool_.Bind(get_printer_, "GetPrinterW");
    std::vector<BYTE> record;
    if (!ReadGrowing(record, [&](BYTE* buffer, DWORD size, DWORD* needed) {
            return get_printer(printer, 2, buffer, size, needed);
        })) {
        return 0;
    }
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(record.data());
    // A port that loses its device leaves the bits at 0 and marks the printer instead.
    return info.Status | ((info.Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) ? PRINTER_STATUS_OFFLINE : 0);
}

std::chrono::milliseconds WinspoolJobWatch::Now() {
    // GetTickCount64 came with Vista. The 32-bit tick wraps every 49.7 days;
    // its difference since the last reading does not, and the readings of a
    // wait are at most a quarter of a second apart.
    const DWORD tick = GetTickCount();
    if (ticks_read_) elapsed_ += static_cast<DWORD>(tick - last_tick_);
    ticks_read_ = true;
    last_tick_ = tick;
    return std::chrono::milliseconds(elapsed_);
}

void WinspoolJobWatch::Pause(std::chrono::milliseconds pause) {
    Sleep(static_cast<DWORD>(pause.count()));
}

}  // namespace ploxwen::win32
