#include "platform/posix/cups_spooler.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/cups_request.h"

namespace ploxwen::posix {
namespace {

using platform::PlatformError;

constexpr std::uint32_t kWritePiece = 1u << 20;

// The printer's URI and the HTTP resource to post its jobs to.
struct Target {
    std::string uri;
    std::string resource;
};

// Classes are reached under /printers/ too: cupsd looks the name up among
// all its destinations, which spares the lookup their types.
Target TargetOf(const std::string& queue) {
    char uri[HTTP_MAX_URI];
    if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                         "/printers/%s", queue.c_str()) != HTTP_URI_STATUS_OK) {
        throw PlatformError("printer name does not fit in a URI");
    }
    const std::string text(uri);
    return {text, text.substr(text.find('/', std::strlen("ipp://")))};
}

bool IsRawDataType(const char* data_type) {
    // Windows compares data type names without regard to case.
    return strcasecmp(data_type, "RAW") == 0;
}

}  // namespace

bool CupsSpooler::TakesDataType(std::string_view data_type) {
    return IsRawDataType(std::string(data_type).c_str());
}

CupsSpooler::OpenPrinter* CupsSpooler::Find(platform::PrinterHandle handle) {
    const auto found = printers_.find(handle);
    return found == printers_.end() ? nullptr : &found->second;
}

std::int32_t CupsSpooler::OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                                       const void* /*defaults*/) {
    if (printer_name == nullptr || handle == nullptr) return 0;
    // Exactly that name: CUPS would also accept it in another case. A queue
    // deleted since the search is found by the job's first request.
    std::u16string device;
    try {
        device = code_page_.Decode(printer_name);
        if (!printers_list_.Exists(device)) return 0;
    } catch (...) {
        cause_.NoteCaught();
        return 0;
    }
    const platform::PrinterHandle opened = next_handle_++;
    printers_.emplace(opened, OpenPrinter{EncodeUtf8Escaped(device)});
    *handle = opened;
    return 1;
}

std::uint32_t CupsSpooler::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                            const platform::DocInfo1A* doc_info) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr || printer->state != JobState::kNone || level != 1 || doc_info == nullptr)
        return 0;
    // Only raw data, and only to the printer: there is no file output here.
    if (doc_info->pOutputFile != nullptr) return 0;
    if (doc_info->pDatatype != nullptr && !IsRawDataType(doc_info->pDatatype)) return 0;

    try {
        printer->resource = TargetOf(printer->queue).resource;
        if (doc_info->pDocName != nullptr && *doc_info->pDocName != '\0') {
            printer->job_name = EncodeUtf8Escaped(code_page_.Decode(doc_info->pDocName));
        }
    } catch (...) {
        cause_.NoteCaught();
        return 0;
    }
    // Nothing goes to the server yet: the job is sent with its first byte.
    // The server numbers it only when it is complete, so the document is
    // numbered by its handle, one document each, until Accepted() tells.
    printer->state = JobState::kStarted;
    return static_cast<std::uint32_t>(handle);
}

std::int32_t CupsSpooler::StartPagePrinter(platform::PrinterHandle handle) {
    const OpenPrinter* printer = Find(handle);
    return printer != nullptr &&
           (printer->state == JobState::kStarted || printer->state == JobState::kStreaming);
}

bool CupsSpooler::StartPrintJob(OpenPrinter& printer) {
    const IppPtr request = NewRequest(IPP_OP_PRINT_JOB, TargetOf(printer.queue).uri);
    if (!printer.job_name.empty()) {
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                     printer.job_name.c_str());
    }
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_RAW);
    printer.state = JobState::kStreaming;
    SetLastResortStatus(3);  // the job's request under way: cut off, it leaves no job
    // No byte of the document has gone yet: a request cut short here leaves
    // no job, so it may go again. libcups reports a header it could not send
    // only in the connection's error.
    return connection_.Retried([&](http_t* http) {
        return cupsSendRequest(http, request.get(), printer.resource.c_str(), CUPS_LENGTH_VARIABLE) ==
                   HTTP_STATUS_CONTINUE &&
               httpError(http) == 0;
    });
}

std::int32_t CupsSpooler::WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                                       std::uint32_t* written) {
    OpenPrinter* printer = Find(handle);
    if (written == nullptr) return 0;
    *written = 0;
    if (printer == nullptr ||
        (printer->state != JobState::kStarted && printer->state != JobState::kStreaming)) {
        return 0;
    }
    if (count == 0) return 1;
    if (bytes == nullptr) return Fail(*printer, "no data to send");

    // Cut off before the end, the request leaves no job behind.
    const std::string cut_off = "connection lost while sending";
    try {
        if (printer->state == JobState::kStarted && !StartPrintJob(*printer))
            return Fail(*printer, connection_.CauseOfFailedRequest(cut_off));
        http_t* http = connection_.Current();
        // In pieces of a sensible size: one HTTP chunk each, however large the payload.
        http_status_t status = HTTP_STATUS_CONTINUE;
        const char* const data = static_cast<const char*>(bytes);
        for (std::uint32_t sent = 0; sent < count && status == HTTP_STATUS_CONTINUE;) {
            const std::uint32_t piece = std::min(count - sent, kWritePiece);
            status = cupsWriteRequestData(http, data + sent, piece);
            sent += piece;
        }
        // Out of libcups's buffer: a write that succeeds has reached the
        // connection, so a server gone by now fails it here, before the end.
        if (status == HTTP_STATUS_CONTINUE && httpFlushWrite(http) < 0) status = HTTP_STATUS_ERROR;
        if (status != HTTP_STATUS_CONTINUE)
            return Fail(*printer, connection_.CauseOfCutRequest(cut_off), connection_.Refused());
    } catch (...) {
        cause_.NoteCaught();  // as what it is: memory failing is no lost connection
        return Fail(*printer, {});
    }
    *written = count;
    return 1;
}

std::int32_t CupsSpooler::EndPagePrinter(platform::PrinterHandle handle) {
    // Pages mean nothing to a raw job.
    return StartPagePrinter(handle);
}

std::int32_t CupsSpooler::EndDocPrinter(platform::PrinterHandle handle) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr) return 0;
    switch (printer->state) {
        case JobState::kStarted:
            // No byte was written, so no request was made: an empty document
            // leaves nothing on the server (CUPS would refuse it anyway).
            printer->state = JobState::kDone;
            return 1;
        case JobState::kStreaming: {
            // Ends the request and waits for the server's answer to it.
            SetLastResortStatus(4);  // whole now: the server may make the job
            http_t* http = connection_.Current();
            const IppPtr response(cupsGetResponse(http, printer->resource.c_str()));
            if (!response) {
                // An HTTP refusal is an answer, and the server made no job;
                // anything else leaves the job's fate unknown: the server may
                // have made it.
                if (httpGetStatus(http) >= HTTP_STATUS_BAD_REQUEST)
                    return Fail(*printer, connection_.CauseOfFailedRequest("the job was refused"), true);
                return Fail(*printer, connection_.CauseOfFailedRequest("answer lost"));
            }
            // An IPP error answer: the server refused the job and holds none.
            if (!IppSucceeded(cupsLastError()))
                return Fail(*printer, connection_.CauseOfFailedRequest("the job was refused"), true);
            printer->state = JobState::kDone;
            if (ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER)) {
                const int job_id = ippGetInteger(id, 0);
                accepted_[static_cast<std::uint32_t>(handle)] = {
                    job_id, platform::JobName(printer->queue, static_cast<std::uint32_t>(job_id)),
                    TargetOf(printer->queue).uri};
            }
            return 1;
        }
        case JobState::kNone:
        case JobState::kDone:
            break;
    }
    return 0;
}

std::int32_t CupsSpooler::ClosePrinter(platform::PrinterHandle handle) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr) return 0;
    // A document that never ended: dropping its unfinished request is what
    // keeps the server from making the job.
    if (printer->state == JobState::kStreaming) connection_.Drop();
    printers_.erase(handle);
    return 1;
}

const CupsSpooler::AcceptedJob* CupsSpooler::Accepted(std::uint32_t document) const {
    const auto found = accepted_.find(document);
    return found == accepted_.end() ? nullptr : &found->second;
}

std::int32_t CupsSpooler::Fail(OpenPrinter& printer, const std::string& cause, bool refused) {
    if (refused) SetLastResortStatus(3);  // the server's answer: no job
    if (refused)
        cause_.NoteRefusal(cause);
    else
        cause_.Note(cause);
    // The connection is mid-request or in doubt: close it, which also makes
    // the server drop a request it has not got whole.
    if (printer.state == JobState::kStreaming) connection_.Drop();
    printer.state = JobState::kDone;
    return 0;
}

}  // namespace ploxwen::posix
