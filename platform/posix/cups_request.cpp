#include "platform/posix/cups_request.h"

namespace ploxwen::posix {

IppPtr NewRequest(ipp_op_t operation, const std::string& printer_uri) {
    IppPtr request(ippNewRequest(operation));
    if (!printer_uri.empty()) {
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     printer_uri.c_str());
    }
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

bool IppSucceeded(ipp_status_t status) {
    return status <= IPP_STATUS_OK_CONFLICTING;
}

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

}  // namespace ploxwen::posix
