#include "platform/posix/cups_print_system.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
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

// A run that cannot get its answers gives up this long after it started.
constexpr std::chrono::seconds kRunTime(30);
// The longest single wait on the connection; see WaitUntilDeadline.
constexpr double kLongestWaitSeconds = 10;
// Connecting again after a refusal: a server being started or reloaded has
// its socket a moment after, or before, it listens. A full listen queue is
// retried until the deadline.
constexpr std::chrono::seconds kRefusalPatience(1);
constexpr std::chrono::milliseconds kFirstRetryDelay(5);
constexpr std::chrono::milliseconds kLongestRetryDelay(200);

enum class ConnectFailure { kBusy, kRefused, kAccepted, kUnreachable };

// httpConnect2 reports every failure alike. One bare connect() tells a full
// listen queue (EAGAIN on a local socket) from a refusal or no server at all.
ConnectFailure ProbeServer() {
    const std::string port = std::to_string(ippPort());
    http_addrlist_t* addresses = httpAddrGetList(cupsServer(), AF_UNSPEC, port.c_str());
    ConnectFailure failure = ConnectFailure::kUnreachable;
    for (http_addrlist_t* address = addresses; address != nullptr; address = address->next) {
        const int fd = socket(httpAddrFamily(&address->addr), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        const bool connected =
            connect(fd, &address->addr.addr, static_cast<socklen_t>(httpAddrLength(&address->addr))) == 0;
        const int error = errno;
        close(fd);
        if (connected) failure = ConnectFailure::kAccepted;
        if (!connected && error == EAGAIN) failure = ConnectFailure::kBusy;
        // A local socket is missing for a moment while cupsd reloads or restarts.
        if (!connected && (error == ECONNREFUSED || error == ENOENT)) failure = ConnectFailure::kRefused;
        if (failure != ConnectFailure::kUnreachable) break;
    }
    httpAddrFreeList(addresses);
    return failure;
}

// The cause a failed request names; empty for a success or an error that
// says nothing a user could act on.
std::string CauseOfStatus(ipp_status_t status, const std::string& server_address) {
    switch (status) {
        case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:  // also libcups's word for a failed reconnect
            return "server unreachable at " + server_address;
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
            return "authentication required";
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_FORBIDDEN:
            return "not allowed by the server";
        case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
            return "queue not accepting jobs";
        case IPP_STATUS_ERROR_NOT_FOUND:
            return "queue not found";
        default:
            break;
    }
    if (IppSucceeded(status) || status == IPP_STATUS_ERROR_INTERNAL) return {};
    return std::string("server refused: ") + cupsLastErrorString();
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

CupsPrintSystem::CupsPrintSystem(NarrowText& narrow_text)
    : narrow_text_(narrow_text), deadline_(Clock::now() + kRunTime) {
    // A server that goes away mid-request must fail the write, not end the
    // process: libcups sends without MSG_NOSIGNAL.
    std::signal(SIGPIPE, SIG_IGN);
    cupsSetPasswordCB2(&CupsPrintSystem::AskPassword, this);
}

CupsPrintSystem::~CupsPrintSystem() {
    // An unfinished Print-Job dies with its connection; the server keeps nothing.
    DropConnection();
    cupsSetPasswordCB2(nullptr, nullptr);
}

http_t* CupsPrintSystem::Connection() {
    if (http_ == nullptr && !connect_failed_) {
        http_ = ConnectBeforeDeadline();
        connect_failed_ = http_ == nullptr;
    }
    if (http_ == nullptr) throw PlatformError("the CUPS server does not answer");
    if (Clock::now() >= deadline_) {
        deadline_passed_ = true;
        throw PlatformError("no time left for another request");
    }
    WaitUntilDeadline(http_);
    return http_;
}

void CupsPrintSystem::WaitUntilDeadline(http_t* http) {
    // libcups waits this long at a time before it asks KeepWaiting, and
    // allows no longer a pause inside an answer: a short slice would cut a
    // busy server's answer, a long one would outlast the deadline after
    // libcups's own fixed waits.
    const std::chrono::duration<double> left = deadline_ - Clock::now();
    httpSetTimeout(http, std::clamp(left.count(), 0.001, kLongestWaitSeconds), &CupsPrintSystem::KeepWaiting,
                   this);
}

http_t* CupsPrintSystem::ConnectBeforeDeadline() {
    std::chrono::milliseconds delay = kFirstRetryDelay;
    Clock::time_point retrying_since = Clock::now();
    bool was_busy = true;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() > 0) {
            http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                        static_cast<int>(left.count()), nullptr);
            if (http != nullptr) return http;
        }
        if (Clock::now() >= deadline_) {
            deadline_passed_ = true;
            NoteCause("server not answering at " + ServerAddress());
            return nullptr;
        }
        // A busy server is waited for; a refusing one only briefly.
        const ConnectFailure failure = ProbeServer();
        const bool busy = failure == ConnectFailure::kBusy;
        if (was_busy && !busy) retrying_since = Clock::now();
        was_busy = busy;
        if (failure == ConnectFailure::kUnreachable ||
            (!busy && Clock::now() - retrying_since >= kRefusalPatience)) {
            NoteCause("server unreachable at " + ServerAddress());
            return nullptr;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(delay, deadline_ - Clock::now()));
        delay = std::min(delay * 2, kLongestRetryDelay);
    }
}

int CupsPrintSystem::KeepWaiting(http_t* http, void* self) {
    auto* system = static_cast<CupsPrintSystem*>(self);
    if (Clock::now() >= system->deadline_) {
        system->deadline_passed_ = true;
        return 0;
    }
    system->WaitUntilDeadline(http);
    return 1;
}

const char* CupsPrintSystem::AskPassword(const char* prompt, http_t* http, const char* method,
                                         const char* resource, void* self) {
    auto* system = static_cast<CupsPrintSystem*>(self);
    const char* password = nullptr;
    // Without a terminal nobody can answer: fail at once instead of waiting.
    if (isatty(STDIN_FILENO)) {
        // libcups's own prompt; the time spent typing is not the server's.
        const Clock::time_point asked = Clock::now();
        cupsSetPasswordCB2(nullptr, nullptr);
        password = cupsGetPassword2(prompt, http, method, resource);
        cupsSetPasswordCB2(&CupsPrintSystem::AskPassword, self);
        system->deadline_ += Clock::now() - asked;
    }
    if (password == nullptr) system->NoteCause("authentication required");
    return password;
}

std::string CupsPrintSystem::ServerAddress() const {
    const char* server = cupsServer();
    if (server[0] == '/') return server;  // a local socket
    return std::string(server) + ":" + std::to_string(ippPort());
}

void CupsPrintSystem::NoteCause(std::string cause) {
    // The first failure explains the run; later ones follow from it.
    if (cause_.empty()) cause_ = std::move(cause);
}

std::string CupsPrintSystem::FailureCause() const {
    if (!cause_.empty()) return cause_;
    if (deadline_passed_) return "server not answering at " + ServerAddress();
    // libcups's word for a request that broke off without an answer.
    if (cupsLastError() == IPP_STATUS_ERROR_INTERNAL)
        return "connection lost to the server at " + ServerAddress();
    return CauseOfStatus(cupsLastError(), ServerAddress());
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
            // libcups still resolves a locally set default without a server,
            // but would wait for one on its own once the run's time is up.
            if (deadline_passed_) throw;
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

std::uint32_t CupsPrintSystem::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                                const platform::DocInfo1A* doc_info) {
    OpenPrinter* printer = Find(handle);
    if (printer == nullptr || printer->state != JobState::kNone || level != 1 || doc_info == nullptr)
        return 0;
    // Only raw data, and only to the printer: there is no file output here.
    if (doc_info->pOutputFile != nullptr) return 0;
    if (doc_info->pDatatype != nullptr && !IsRawDataType(doc_info->pDatatype)) return 0;

    try {
        printer->resource = TargetOf(*printer->destination).resource;
        if (doc_info->pDocName != nullptr && *doc_info->pDocName != '\0') {
            printer->job_name = EncodeUtf8Escaped(narrow_text_.Decode(doc_info->pDocName));
        }
    } catch (...) {
        return 0;
    }
    // Nothing goes to the server yet: the job is sent with its first byte.
    // The server numbers it only when it is complete, so the document
    // number returned here is just non-zero.
    printer->state = JobState::kStarted;
    return 1;
}

std::int32_t CupsPrintSystem::StartPagePrinter(platform::PrinterHandle handle) {
    const OpenPrinter* printer = Find(handle);
    return printer != nullptr &&
           (printer->state == JobState::kStarted || printer->state == JobState::kStreaming);
}

bool CupsPrintSystem::StartPrintJob(OpenPrinter& printer) {
    http_t* http = Connection();
    const std::string uri = TargetOf(*printer.destination).uri;
    const IppPtr request(ippNewRequest(IPP_OP_PRINT_JOB));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    if (!printer.job_name.empty()) {
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                     printer.job_name.c_str());
    }
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_RAW);
    printer.state = JobState::kStreaming;
    return cupsSendRequest(http, request.get(), printer.resource.c_str(), CUPS_LENGTH_VARIABLE) ==
           HTTP_STATUS_CONTINUE;
}

std::int32_t CupsPrintSystem::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                           std::uint32_t count, std::uint32_t* written) {
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
    const std::string cut_off =
        deadline_passed_ ? "server not answering at " + ServerAddress() : "connection lost while sending";
    try {
        if (printer->state == JobState::kStarted && !StartPrintJob(*printer)) return Fail(*printer, cut_off);
        WaitUntilDeadline(http_);
        http_status_t status = cupsWriteRequestData(http_, static_cast<const char*>(bytes), count);
        // Out of libcups's buffer: a write that succeeds has reached the
        // connection, so a server gone by now fails it here, before the end.
        if (status == HTTP_STATUS_CONTINUE && httpFlushWrite(http_) < 0) status = HTTP_STATUS_ERROR;
        if (status != HTTP_STATUS_CONTINUE) return Fail(*printer, cut_off);
    } catch (...) {
        return Fail(*printer, cut_off);
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
        case JobState::kStarted:
            // No byte was written, so no request was made: an empty document
            // leaves nothing on the server (CUPS would refuse it anyway).
            printer->state = JobState::kDone;
            return 1;
        case JobState::kStreaming: {
            // Ends the request and waits for the server's answer to it.
            WaitUntilDeadline(http_);
            const IppPtr response(cupsGetResponse(http_, printer->resource.c_str()));
            if (!response) {
                // An HTTP refusal is an answer; anything else leaves the job's
                // fate unknown: the server may have made it.
                if (httpGetStatus(http_) < HTTP_STATUS_BAD_REQUEST) NoteCause("answer lost");
                return Fail(*printer, "answer lost");
            }
            if (!IppSucceeded(cupsLastError())) return Fail(*printer, "the job was refused");
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
    // A document that never ended: dropping its unfinished request is what
    // keeps the server from making the job.
    if (printer->state == JobState::kStreaming) DropConnection();
    printers_.erase(handle);
    return 1;
}

std::int32_t CupsPrintSystem::Fail(OpenPrinter& printer, const std::string& fallback_cause) {
    // The server's own reason if it gave one, else what this side saw.
    const std::string cause = CauseOfStatus(cupsLastError(), ServerAddress());
    NoteCause(cause.empty() ? fallback_cause : cause);
    // The connection is mid-request or in doubt: close it, which also makes
    // the server drop a request it has not got whole.
    if (printer.state == JobState::kStreaming) DropConnection();
    printer.state = JobState::kDone;
    return 0;
}

}  // namespace ploxwen::posix
