// What every IPP request of the backend shares: ownership of the request and
// answer, the attributes each request carries, and the reading of a status.
#pragma once

#include <cups/cups.h>

#include <memory>
#include <string>

namespace ploxwen::posix {

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// A request of `operation` from this user, on the printer at `printer_uri`
// (none when empty: a request to the server as a whole).
IppPtr NewRequest(ipp_op_t operation, const std::string& printer_uri);

// Success, or "successful with something ignored or conflicting".
bool IppSucceeded(ipp_status_t status);

// The cause a failed request names; empty for a success or an error that
// says nothing a user could act on.
std::string CauseOfStatus(ipp_status_t status, const std::string& server_address);

}  // namespace ploxwen::posix
