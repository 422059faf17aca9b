#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "steps/exit_status.h"

namespace ploxwen::rawprint {

inline constexpr char16_t kDocumentName[] = u"Command Print";
inline constexpr char kDataTypeVariable[] = "PLOXWEN_DATATYPE";

// What the run asked of the printing block beyond the one raw document.
struct Asked {
    bool keep_job = false;                 // a wait follows: keep the job listed once printed
    std::optional<std::string> data_type;  // PLOXWEN_DATATYPE: "RAW", "XPS_PASS" or "auto"; none: null
};

// The data type asked for in the environment: nullopt when PLOXWEN_DATATYPE
// is unset or empty. Throws PlatformError naming the variable for any text
// but RAW, XPS_PASS or auto, and for a type `spooler` does not take.
std::optional<std::string> RequestedDataType(platform::Process& process, platform::Spooler& spooler);

struct PrintResult {
    // kNotReached: the printer would not open, nothing sent. kPrinted: every
    // spooler call after the open succeeded. kNoJob or kJobMayExist: a call
    // failed, and the spooler certainly holds no job of it, or may.
    steps::ExitStatus status = steps::ExitStatus::kNotReached;
    std::uint32_t job_id = 0;  // what StartDocPrinterA returned
    std::string printer_name;  // the narrow device name the printer was opened by
    bool kept = false;         // the spooler keeps the job listed once printed (asked for with a wait)
    std::string not_kept;      // why it would not, when asked
};

// The printing block: opens the current printer by its device name and sends
// the data field to it as one document of one page, written raw through the
// spooler. When the printer cannot be opened it returns kNotReached at once;
// the caller shows the message. Every step runs under the load sequence's
// continue-on-error policy, noting the first failure in the run's cause; an
// opened handle is always closed. `data_text` reads the data field when the
// page has been started. `asked.keep_job`: the started job is to be kept
// listed once printed, the one call added to the block; `asked.data_type`
// is the document's data type ("auto": the printer's, the one lookup added).
PrintResult RunPrintingBlock(const platform::Platform& platform,
                             const std::function<std::u16string()>& data_text, const Asked& asked = {});

}  // namespace ploxwen::rawprint
