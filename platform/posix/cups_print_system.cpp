#include "platform/posix/cups_print_system.h"

#include <strings.h>

#include <cstring>
#include <utility>

namespace ploxwen::posix {
namespace {

using platform::PlatformError;

// Success or "successful with something ignored/conflicting" in IPP terms.
bool IppSucceeded(ipp_status_t status) {
    return status <= IPP_STATUS_OK_CONFLICTING;
}

// The printer's URI and the HTTP resource to post its jobs to.
struct Target {
    std::string uri;
    std::string resource;
};

// Classes are reached under /printers/ too: cupsd looks the name up among
// all its destinations, which spares the list request their types.
Target TargetOf(const CupsPrintSystem::Destination& destination) {
    char uri[HTTP_MAX_URI];
    if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                         "/printers/%s", destination.name.c_str()) != HTTP_URI_STATUS_OK) {
        throw PlatformError("printer name does not fit in a URI");
    }
    const std::string text(uri);
    return {text, text.substr(text.find('/', std::strlen("ipp://")))};
}

// The URI that names the destination `name` (UTF-8) to the server, every
// byte but the unreserved ones percent-encoded, so that the server decodes
// exactly that name whatever it holds ('/', '?', '#', '%', spaces).
std::string LookupUri(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "ipp://localhost/printers/";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        if (unreserved) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[byte >> 4]);
            uri.push_back(kHex[byte & 0xF]);
        }
    }
    return uri;
}

// IPP's name(127): no printer or class is called by a longer name.
constexpr std::size_t kMaxPrinterNameBytes = 127;

// The device name the default destination resolves to: "queue/instance"
// names the queue.
std::u16string QueueOfDestination(const char* destination) {
    const char* slash = std::strchr(destination, '/');
    const std::size_t length =
        slash ? static_cast<std::size_t>(slash - destination) : std::strlen(destination);
    return DecodeUtf8Escaped(std::string_view(destination, length));
}

bool IsRawDataType(const char* data_type) {
    // Windows compares data type names without regard to case.
    return strcasecmp(data_type, "RAW") == 0;
}

}  // namespace

// Every reading of a list is served from the one answer of the run.
class CupsPrintSystem::SnapshotList final : public platform::PrinterList {
public:
    SnapshotList(const std::vector<Destination>& destinations, std::optional<std::u16string>& current)
        : destinations_(destinations), current_(current) {}

    std::int32_t Count() override { return static_cast<std::int32_t>(destinations_.size()); }
    std::u16string DeviceName(std::int16_t index) override { return At(index).device; }
    void MakeCurrent(std::int16_t index) override { current_ = At(index).device; }

private:
    const Destination& At(std::int16_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= destinations_.size()) {
            throw PlatformError("no printer at that index");
        }
        return destinations_[static_cast<std::size_t>(index)];
    }

    const std::vector<Destination>& destinations_;
    std::optional<std::u16string>& current_;
};

CupsPrintSystem::CupsPrintSystem(NarrowText& narrow_text) : narrow_text_(narrow_text) {}

CupsPrintSystem::~CupsPrintSystem() {
    for (auto& entry : printers_) {
        if (entry.second.state == JobState::kCreated || entry.second.state == JobState::kSending) {
            Cancel(entry.second);
        }
    }
    DropConnection();
}

http_t* CupsPrintSystem::Connection() {
    if (http_ == nullptr && !connect_failed_) {
        http_ =
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
        connect_failed_ = http_ == nullptr;
    }
    if (http_ == nullptr) throw PlatformError("the CUPS server does not answer");
    return http_;
}

void CupsPrintSystem::DropConnection() {
    if (http_ != nullptr) httpClose(http_);
    http_ = nullptr;
}

const std::vector<CupsPrintSystem::Destination>& CupsPrintSystem::Destinations() {
    if (destinations_) return *destinations_;
    if (list_failed_) throw PlatformError("the printer list could not be read");
    list_failed_ = true;  // until the one request of the run has succeeded

    http_t* http = Connection();
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    const IppPtr response(cupsDoRequest(http, request, "/"));  // frees the request
    const ipp_status_t status = cupsLastError();
    // A server without queues answers "not found"; that is an empty list.
    if (!response || (!IppSucceeded(status) && status != IPP_STATUS_ERROR_NOT_FOUND)) {
        throw PlatformError(std::string("cannot list printers: ") + cupsLastErrorString());
    }

    // Names only: cupsd's cost of this request grows with every attribute
    // asked for, times the number of queues.
    std::vector<Destination> destinations;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.get()); attribute != nullptr;
         attribute = ippNextAttribute(response.get())) {
        const char* attribute_name = ippGetName(attribute);
        if (attribute_name != nullptr && ippGetGroupTag(attribute) == IPP_TAG_PRINTER &&
            ippGetValueTag(attribute) == IPP_TAG_NAME && std::strcmp(attribute_name, "printer-name") == 0) {
            const char* name = ippGetString(attribute, 0, nullptr);
            if (name != nullptr) destinations.push_back({name, DecodeUtf8Escaped(name)});
        }
    }
    destinations_ = std::move(destinations);
    list_failed_ = false;
    return *destinations_;
}

std::unique_ptr<platform::PrinterList> CupsPrintSystem::ObtainPrinterList() {
    return std::make_unique<SnapshotList>(Destinations(), current_);
}

const std::vector<CupsPrintSystem::Destination>& CupsPrintSystem::DestinationsNamed(
    std::u16string_view device) {
    const auto known = named_.find(device);
    if (known != named_.end()) return known->second;

    std::vector<Destination> found;
    const std::string name = EncodeUtf8Escaped(device);
    if (!name.empty() && name.size() <= kMaxPrinterNameBytes) {
        http_t* http = Connection();
        ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     LookupUri(name).c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "printer-name");
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        const IppPtr response(cupsDoRequest(http, request, "/"));  // frees the request
        const ipp_status_t status = cupsLastError();
        if (status != IPP_STATUS_ERROR_NOT_FOUND) {
            if (!response || !IppSucceeded(status)) {
                throw PlatformError(std::string("cannot look up the printer: ") + cupsLastErrorString());
            }
            ipp_attribute_t* attribute = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME);
            const char* spelled = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
            if (spelled == nullptr) throw PlatformError("the server answered without the printer's name");
            found.push_back({spelled, DecodeUtf8Escaped(spelled)});
        }
    }
    return named_.emplace(device, std::move(found)).first->second;
}

std::unique_ptr<platform::PrinterList> CupsPrintSystem::ObtainPrinterListFor(std::u16string_view name) {
    return std::make_unique<SnapshotList>(DestinationsNamed(name), current_);
}

// The destination of exactly that name: as the search found it, or else
// looked up on its own.
const CupsPrintSystem::Destination* CupsPrintSystem::ExactlyNamed(const std::u16string& device) {
    for (const auto& searched : named_) {
        for (const Destination& destination : searched.second) {
            if (destination.device == device) return &destination;
        }
    }
    for (const Destination& destination : DestinationsNamed(device)) {
        if (destination.device == device) return &destination;
    }
    return nullptr;
}

std::u16string CupsPrintSystem::CurrentDeviceName() {
    if (!current_) {
        // lpoptions, LPDEST and PRINTER are read locally; only when none of
        // them names a destination is the server asked for its default.
        http_t* http = nullptr;
        try {
            http = Connection();
        } catch (const PlatformError&) {
            // libcups still resolves a locally set default without a server.
        }
        const char* destination = cupsGetDefault2(http);
        if (destination == nullptr || *destination == '\0')
            throw PlatformError("there is no default printer");
        current_ = QueueOfDestination(destination);
    }
    return *current_;
}

CupsPrintSystem::OpenPrinter* CupsPrintSystem::Find(platform::PrinterHandle handle) {
    const auto found = printers_.find(handle);
    return found == printers_.end() ? nullptr : &found->second;
}

std::int32_t CupsPrintSystem::OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                                           const void* /*defaults*/) {
    if (printer_name == nullptr || handle == nullptr) return 0;
    // Exactly that name: CUPS would also accept it in another case. A queue
    // deleted since the search is found by the job's first request.
    const Destination* destination = nullptr;
    try {
        destination = ExactlyNamed(narrow_text_.Decode(printer_name));
    } catch (const PlatformError&) {
        return 0;
    }
    if (destination == nullptr) return 0;
    const platform::PrinterHandle opened = next_handle_++;
    printers_.emplace(opened, OpenPrinter{destination});
    *handle = opened;
    return 1;
}

CupsPrintSystem::IppPtr CupsPrintSystem::NewJobRequest(ipp_op_t operation, const OpenPrinter& printer) const {
    const std::string uri = TargetOf(*printer.destination).uri;
    IppPtr request(ippNewRequest(operation));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    if (printer.job_id != 0) {
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", printer.job_id);
    }
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

std::uint32_t CupsPrintSystem::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                                const platform::DocInfo1A* doc_info) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr || printer->state != JobState::kNone || level != 1 || doc_info == nullptr)
        return 0;
    // Only raw data, and only to the printer: there is no file output here.
    if (doc_info->pOutputFile != nullptr) return 0;
    if (doc_info->pDatatype != nullptr && !IsRawDataType(doc_info->pDatatype)) return 0;

    try {
        // Create-Job as one request; cupsCreateDestJob would first ask the
        // printer for its capabilities.
        printer->resource = TargetOf(*printer->destination).resource;
        http_t* http = Connection();
        IppPtr request = NewJobRequest(IPP_OP_CREATE_JOB, *printer);
        if (doc_info->pDocName != nullptr && *doc_info->pDocName != '\0') {
            const std::string job_name = EncodeUtf8Escaped(narrow_text_.Decode(doc_info->pDocName));
            ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                         job_name.c_str());
        }
        const IppPtr response(cupsDoRequest(http, request.release(), printer->resource.c_str()));
        if (!response || !IppSucceeded(cupsLastError())) return 0;
        ipp_attribute_t* job_id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
        if (job_id == nullptr || ippGetInteger(job_id, 0) <= 0) return 0;

        printer->job_id = ippGetInteger(job_id, 0);
        printer->state = JobState::kCreated;
        return static_cast<std::uint32_t>(printer->job_id);
    } catch (...) {
        return 0;  // no job was created
    }
}

std::int32_t CupsPrintSystem::StartPagePrinter(platform::PrinterHandle handle) {
    const OpenPrinter* printer = Find(handle);
    return printer != nullptr &&
           (printer->state == JobState::kCreated || printer->state == JobState::kSending);
}

std::int32_t CupsPrintSystem::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                           std::uint32_t count, std::uint32_t* written) {
    OpenPrinter* printer = Find(handle);
    if (written == nullptr) return 0;
    *written = 0;
    if (printer == nullptr ||
        (printer->state != JobState::kCreated && printer->state != JobState::kSending)) {
        return 0;
    }
    if (count == 0) return 1;
    if (bytes == nullptr) return Fail(*printer);

    try {
        if (printer->state == JobState::kCreated) {
            // The one document of the job, streamed across every write and
            // completed when the document ends.
            http_t* http = Connection();
            const IppPtr request = NewJobRequest(IPP_OP_SEND_DOCUMENT, *printer);
            ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                         CUPS_FORMAT_RAW);
            ippAddBoolean(request.get(), IPP_TAG_OPERATION, "last-document", 1);
            printer->state = JobState::kSending;
            if (cupsSendRequest(http, request.get(), printer->resource.c_str(), CUPS_LENGTH_VARIABLE) !=
                HTTP_STATUS_CONTINUE) {
                return Fail(*printer);
            }
        }
        if (cupsWriteRequestData(http_, static_cast<const char*>(bytes), count) != HTTP_STATUS_CONTINUE) {
            return Fail(*printer);
        }
    } catch (...) {
        return Fail(*printer);
    }
    *written = count;
    return 1;
}

std::int32_t CupsPrintSystem::EndPagePrinter(platform::PrinterHandle handle) {
    // Pages mean nothing to a raw job.
    return StartPagePrinter(handle);
}

std::int32_t CupsPrintSystem::EndDocPrinter(platform::PrinterHandle handle) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr) return 0;
    switch (printer->state) {
        case JobState::kCreated:
            // Nothing was written, and CUPS refuses an empty document: the
            // job must not stay behind waiting for one.
            if (!Cancel(*printer)) return 0;
            printer->state = JobState::kDone;
            return 1;
        case JobState::kSending: {
            const IppPtr response(cupsGetResponse(http_, printer->resource.c_str()));
            if (!response) return Fail(*printer);
            printer->state = JobState::kCreated;  // the request is over; the connection is free
            if (!IppSucceeded(cupsLastError())) return Fail(*printer);
            printer->state = JobState::kDone;
            return 1;
        }
        case JobState::kNone:
        case JobState::kDone:
            break;
    }
    return 0;
}

std::int32_t CupsPrintSystem::ClosePrinter(platform::PrinterHandle handle) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr) return 0;
    if (printer->state == JobState::kCreated || printer->state == JobState::kSending) Cancel(*printer);
    printers_.erase(handle);
    return 1;
}

bool CupsPrintSystem::Fail(OpenPrinter& printer) {
    Cancel(printer);
    printer.state = JobState::kDone;
    return false;
}

bool CupsPrintSystem::Cancel(OpenPrinter& printer) {
    if (printer.state == JobState::kSending) {
        // The connection is in the middle of a request; only a new one can
        // carry the cancellation, and dropping this one abandons the upload.
        DropConnection();
    }
    printer.state = JobState::kDone;
    try {
        http_t* http = Connection();
        const IppPtr response(
            cupsDoRequest(http, NewJobRequest(IPP_OP_CANCEL_JOB, printer).release(), "/jobs/"));
        return response && IppSucceeded(cupsLastError());
    } catch (...) {
        return false;
    }
}

}  // namespace ploxwen::posix
