// Printer list, current printer and spooler functions on CUPS.
//
// One connection to the CUPS server serves the whole run. The destination
// list, or a search's one queue, is asked for once and every later reading
// is served from that snapshot. A printer handle carries at most one job, sent
// as one Print-Job request: streamed from the first write and completed when
// the document ends, so the server makes the job only once it holds every
// byte, and a run that stops or fails before that leaves nothing behind.
//
// The whole run shares one deadline: connecting, every wait for the server
// and every retry give up when it passes.
#pragma once

#include <cups/cups.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/narrow_text.h"

namespace ploxwen::posix {

class CupsPrintSystem final : public platform::PrintingServices, public platform::Spooler {
public:
    explicit CupsPrintSystem(NarrowText& narrow_text);
    ~CupsPrintSystem() override;
    CupsPrintSystem(const CupsPrintSystem&) = delete;
    CupsPrintSystem& operator=(const CupsPrintSystem&) = delete;

    // Every queue and class: one CUPS-Get-Printers request, whose cost to the
    // server grows with the number of queues.
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    // The queue or class the server finds under `name`, as the server spells
    // it, or none: one Get-Printer-Attributes request, of the same cost
    // however many queues there are. CUPS finds and keeps names without
    // regard to case, so no queue of exactly that name can be missed, and the
    // core's exact comparison still tells "virtual" from "Virtual".
    std::unique_ptr<platform::PrinterList> ObtainPrinterListFor(std::u16string_view name) override;
    std::u16string CurrentDeviceName() override;

    std::int32_t OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                              const void* defaults) override;
    std::uint32_t StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                   const platform::DocInfo1A* doc_info) override;
    std::int32_t StartPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                              std::uint32_t* written) override;
    std::int32_t EndPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t EndDocPrinter(platform::PrinterHandle handle) override;
    std::int32_t ClosePrinter(platform::PrinterHandle handle) override;

    // Why the run's last failure happened, in plain words ("answer lost");
    // empty when nothing failed that the server could explain.
    std::string FailureCause() const;

    // A CUPS destination as the server lists it.
    struct Destination {
        std::string name;       // UTF-8, as CUPS stores it
        std::u16string device;  // the same name as the core compares it
    };

private:
    class SnapshotList;

    // kStarted: the document is open but no byte has gone yet, so no request
    // either; kStreaming: the Print-Job request is under way.
    enum class JobState { kNone, kStarted, kStreaming, kDone };
    struct OpenPrinter {
        const Destination* destination;
        JobState state = JobState::kNone;
        std::string job_name;  // UTF-8
        std::string resource;  // where the job is posted
    };
    using Clock = std::chrono::steady_clock;

    http_t* Connection();
    http_t* ConnectBeforeDeadline();
    void WaitUntilDeadline(http_t* http);
    void DropConnection();
    const std::vector<Destination>& Destinations();
    const std::vector<Destination>& DestinationsNamed(std::u16string_view name);
    const Destination* ExactlyNamed(const std::u16string& device);
    OpenPrinter* Find(platform::PrinterHandle handle);
    struct IppDeleter {
        void operator()(ipp_t* ipp) const { ippDelete(ipp); }
    };
    using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

    bool StartPrintJob(OpenPrinter& printer);
    std::int32_t Fail(OpenPrinter& printer, const std::string& fallback_cause);
    void NoteCause(std::string cause);
    std::string ServerAddress() const;
    static int KeepWaiting(http_t* http, void* self);
    static const char* AskPassword(const char* prompt, http_t* http, const char* method, const char* resource,
                                   void* self);

    NarrowText& narrow_text_;
    Clock::time_point deadline_;
    bool deadline_passed_ = false;
    std::string cause_;
    http_t* http_ = nullptr;
    bool connect_failed_ = false;
    std::optional<std::vector<Destination>> destinations_;
    bool list_failed_ = false;
    // The server's answer for each name searched in this run.
    std::map<std::u16string, std::vector<Destination>, std::less<>> named_;
    std::optional<std::u16string> current_;
    std::map<platform::PrinterHandle, OpenPrinter> printers_;
    platform::PrinterHandle next_handle_ = 1;
};

}  // namespace ploxwen::posix
