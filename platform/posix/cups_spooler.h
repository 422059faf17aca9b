// The spooler functions on CUPS: a printer handle carries at most one job,
// sent as one Print-Job request, streamed from the first write and completed
// when the document ends, so the server makes the job only once it holds
// every byte, and a run that stops or fails before that leaves nothing.
#pragma once

#include <map>
#include <string>

#include "platform/platform.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_printer_list.h"
#include "platform/posix/posix_code_page.h"

namespace ploxwen::posix {

class CupsSpooler final : public platform::Spooler {
public:
    // A call that fails notes why in `cause`.
    CupsSpooler(CupsConnection& connection, CupsPrinterList& printers, PosixCodePage& code_page,
                platform::Cause& cause)
        : connection_(connection), printers_list_(printers), code_page_(code_page), cause_(cause) {}

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

    // The server makes the job only from a complete request.
    bool StartedDocumentIsJob() override { return false; }
    // Every job goes as application/vnd.cups-raw: RAW is the one type, and the type of every driver.
    bool TakesDataType(std::string_view data_type) override;
    std::string AutoDataType(platform::PrinterHandle /*handle*/) override { return "RAW"; }

    // The job the server made of a document, from its answer to the request.
    struct AcceptedJob {
        int id = 0;
        std::string name;         // as lpstat shows it: "Virtual-17"
        std::string printer_uri;  // of its queue
    };
    // The job of the document StartDocPrinterA numbered `document`; null
    // when the server has made none (yet).
    const AcceptedJob* Accepted(std::uint32_t document) const;

private:
    // kStarted: the document is open but no byte has gone yet, so no request
    // either; kStreaming: the Print-Job request is under way.
    enum class JobState { kNone, kStarted, kStreaming, kDone };
    struct OpenPrinter {
        std::string queue;  // UTF-8, as the server spells it
        JobState state = JobState::kNone;
        std::string job_name{};  // UTF-8
        std::string resource{};  // where the job is posted
    };

    OpenPrinter* Find(platform::PrinterHandle handle);
    bool StartPrintJob(OpenPrinter& printer);
    // Ends a failed call: notes `cause` (as a refusal: the server holds no
    // job of it), drops a request in doubt, returns 0.
    std::int32_t Fail(OpenPrinter& printer, const std::string& cause, bool refused = false);

    CupsConnection& connection_;
    CupsPrinterList& printers_list_;
    PosixCodePage& code_page_;
    platform::Cause& cause_;
    std::map<platform::PrinterHandle, OpenPrinter> printers_;
    platform::PrinterHandle next_handle_ = 1;
    std::map<std::uint32_t, AcceptedJob> accepted_;  // by document number
};

}  // namespace ploxwen::posix
