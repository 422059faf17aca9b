#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

// What the one write sends.
struct PayloadSource {
    // Reads the data field; called once the page has been started.
    std::function<std::u16string()> data_text;
    // A binary mode's bytes in hand, sent as they are; nullopt for text,
    // which goes out as the data text's narrow form.
    std::optional<std::string_view> bytes{};
    // Text: the charset asked for; null for the system's narrow code page.
    platform::NarrowCodePage* code_page = nullptr;
};

// The printing block: opens the current printer by its device name and sends
// the payload to it as one document of one page, written raw through the
// spooler. When the printer cannot be opened it returns kNotReached at once;
// the caller shows the message. Every step runs under the load sequence's
// continue-on-error policy, noting the first failure in the run's cause; an
// opened handle is always closed. `asked.keep_job`: the started job is to be
// kept listed once printed, the one call added to the block; `asked.data_type`
// is the document's data type ("auto": the printer's, the one lookup added).
PrintResult RunPrintingBlock(const platform::Platform& platform, const PayloadSource& source,
                             const Asked& asked = {});

}  // namespace ploxwen::rawprint
