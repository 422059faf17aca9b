#include "platform/posix/cups_printer_list.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/cups_request.h"
#include "platform/posix/utf8_text.h"
#include "platform/printer_snapshot.h"

namespace ploxwen::posix {
namespace {

using platform::PlatformError;

// IPP's name(127): no printer or class is called by a longer name.
constexpr std::size_t kMaxPrinterNameBytes = 127;

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

// The device name the default destination resolves to: "queue/instance"
// names the queue.
std::u16string QueueOfDestination(const char* destination) {
    const char* slash = std::strchr(destination, '/');
    const std::size_t length =
        slash ? static_cast<std::size_t>(slash - destination) : std::strlen(destination);
    return DecodeUtf8Escaped(std::string_view(destination, length));
}

// The default that libcups's cupsGetDefault2 resolves without the server:
// LPDEST, else PRINTER unless it is "lp"; set but empty, either names none.
// libcups 2.4 reads nothing else locally (lpoptions' Default is not among
// them) and has no call for this part alone.
std::optional<std::string> LocalDefault() {
    const char* named = std::getenv("LPDEST");
    if (named == nullptr) {
        named = std::getenv("PRINTER");
        if (named != nullptr && std::strcmp(named, "lp") == 0) named = nullptr;
    }
    if (named == nullptr) return std::nullopt;
    return std::string(named);
}

}  // namespace

std::string CupsPrinterList::LostAnswer() const {
    return "connection lost to the server at " + connection_.ServerAddress();
}

IppPtr CupsPrinterList::AskForNames(ipp_op_t operation, const std::string& printer_uri) {
    return connection_.Retried([&](http_t* http) {
        IppPtr request = NewRequest(operation, printer_uri);
        // Names only: cupsd's cost of a list grows with every attribute
        // asked for, times the number of queues.
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "printer-name");
        return IppPtr(cupsDoRequest(http, request.release(), "/"));  // frees the request
    });
}

const std::vector<std::u16string>& CupsPrinterList::Destinations() {
    if (destinations_) return *destinations_;
    if (list_failed_) throw PlatformError("the printer list could not be read");
    list_failed_ = true;  // until the one request of the run has succeeded

    const IppPtr response = AskForNames(IPP_OP_CUPS_GET_PRINTERS, "");
    const ipp_status_t status = cupsLastError();
    // A server without queues answers "not found"; that is an empty list.
    if (!response || (!IppSucceeded(status) && status != IPP_STATUS_ERROR_NOT_FOUND)) {
        throw PlatformError(connection_.CauseOfFailedRequest(LostAnswer()));
    }

    std::vector<std::u16string> destinations;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.get()); attribute != nullptr;
         attribute = ippNextAttribute(response.get())) {
        const char* attribute_name = ippGetName(attribute);
        if (attribute_name != nullptr && ippGetGroupTag(attribute) == IPP_TAG_PRINTER &&
            ippGetValueTag(attribute) == IPP_TAG_NAME && std::strcmp(attribute_name, "printer-name") == 0) {
            const char* name = ippGetString(attribute, 0, nullptr);
            if (name != nullptr) destinations.push_back(DecodeUtf8Escaped(name));
        }
    }
    destinations_ = std::move(destinations);
    list_failed_ = false;
    return *destinations_;
}

std::unique_ptr<platform::PrinterList> CupsPrinterList::ObtainPrinterList() {
    return std::make_unique<platform::PrinterSnapshot>(Destinations(), current_);
}

const std::vector<std::u16string>& CupsPrinterList::DestinationsNamed(std::u16string_view device) {
    const auto known = named_.find(device);
    if (known != named_.end()) return known->second;

    std::vector<std::u16string> found;
    const std::string name = EncodeUtf8Escaped(device);
    if (!name.empty() && name.size() <= kMaxPrinterNameBytes) {
        const IppPtr response = AskForNames(IPP_OP_GET_PRINTER_ATTRIBUTES, LookupUri(name));
        const ipp_status_t status = cupsLastError();
        if (status != IPP_STATUS_ERROR_NOT_FOUND) {
            if (!response || !IppSucceeded(status))
                throw PlatformError(connection_.CauseOfFailedRequest(LostAnswer()));
            ipp_attribute_t* attribute = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME);
            const char* spelled = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
            if (spelled == nullptr) throw PlatformError("the server answered without the printer's name");
            found.push_back(DecodeUtf8Escaped(spelled));
        }
    }
    return named_.emplace(device, std::move(found)).first->second;
}

std::unique_ptr<platform::PrinterList> CupsPrinterList::ObtainPrinterListFor(std::u16string_view name) {
    return std::make_unique<platform::PrinterSnapshot>(DestinationsNamed(name), current_);
}

bool CupsPrinterList::Exists(const std::u16string& device) {
    for (const auto& searched : named_) {
        for (const std::u16string& destination : searched.second) {
            if (destination == device) return true;
        }
    }
    for (const std::u16string& destination : DestinationsNamed(device)) {
        if (destination == device) return true;
    }
    return false;
}

std::u16string CupsPrinterList::ServerDefault() {
    const IppPtr response = AskForNames(IPP_OP_CUPS_GET_DEFAULT, "");
    ipp_attribute_t* attribute =
        response ? ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME) : nullptr;
    const char* spelled = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
    if (spelled == nullptr || *spelled == '\0') throw PlatformError("there is no default printer");
    std::u16string name = DecodeUtf8Escaped(spelled);
    // The server spelled a destination that exists: the answer a lookup of
    // that name would give, so searching for it later asks nothing.
    named_.emplace(name, std::vector<std::u16string>{name});
    return name;
}

std::u16string CupsPrinterList::CurrentDeviceName() {
    if (!current_) {
        if (const std::optional<std::string> local = LocalDefault()) {
            if (local->empty()) throw PlatformError("there is no default printer");
            // A name the server did not spell may name nothing, or another
            // case of a queue: looked up now, before any job, so that putting
            // it back at the end asks nothing and still finds only it.
            std::u16string queue = QueueOfDestination(local->c_str());
            DestinationsNamed(queue);
            current_ = std::move(queue);
        } else {
            current_ = ServerDefault();
        }
    }
    return *current_;
}

}  // namespace ploxwen::posix
