// The printer list and the current printer on CUPS: the queue or class a
// search names, looked up by that name once per run; the whole list, asked
// for only to suggest a name on the failure path; and the default
// destination as libcups's cupsGetDefault2 resolves it, asking the server
// for the default's name only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/cups_connection.h"
#include "platform/posix/cups_request.h"

namespace ploxwen::posix {

class CupsPrinterList final : public platform::PrintingServices {
public:
    explicit CupsPrinterList(CupsConnection& connection) : connection_(connection) {}

    // Every queue and class: one CUPS-Get-Printers request, whose cost to the
    // server grows with the number of queues. Not on the printing path.
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    // The queue or class the server finds under `name`, as the server spells
    // it, or none: one Get-Printer-Attributes request, of the same cost
    // however many queues there are. CUPS finds and keeps names without
    // regard to case, so no queue of exactly that name can be missed, and the
    // core's exact comparison still tells "virtual" from "Virtual".
    std::unique_ptr<platform::PrinterList> ObtainPrinterListFor(std::u16string_view name) override;
    // At start the default: LPDEST or PRINTER as libcups reads them, looked
    // up at once; else the server's, which needs no lookup. Either way the
    // search that puts it back at the end makes no request.
    std::u16string CurrentDeviceName() override;

    // Whether a queue or class of exactly that device name exists: as a search
    // of this run found it, or else looked up on its own.
    bool Exists(const std::u16string& device);

private:
    // The cause of a request that broke off without an answer.
    std::string LostAnswer() const;
    // The answer to a request of `operation` for printer names only, or null.
    IppPtr AskForNames(ipp_op_t operation, const std::string& printer_uri);
    const std::vector<std::u16string>& Destinations();
    const std::vector<std::u16string>& DestinationsNamed(std::u16string_view device);
    // The server's default destination (one CUPS-Get-Default for its name),
    // recorded as found under that name.
    std::u16string ServerDefault();

    CupsConnection& connection_;
    std::optional<std::vector<std::u16string>> destinations_;
    bool list_failed_ = false;
    // The server's answer for each name searched in this run, and the
    // default's name as CUPS-Get-Default spelled it.
    std::map<std::u16string, std::vector<std::u16string>, std::less<>> named_;
    std::optional<std::u16string> current_;
};

}  // namespace ploxwen::posix
