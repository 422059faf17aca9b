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

struct PrintResult {
    // kNotReached: the printer would not open, nothing sent. kPrinted: every
    // spooler call after the open succeeded. kNoJob or kJobMayExist: a call
    // failed, and the spooler certainly holds no job of it, or may.
    steps::ExitStatus status = steps::ExitStatus::kNotReached;
    std::uint32_t job_id = 0;  // what StartDocPrinterA returned
    std::string printer_name;  // the narrow device name the printer was opened by
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
// opened handle is always closed.
PrintResult RunPrintingBlock(const platform::Platform& platform, const PayloadSource& source);

}  // namespace ploxwen::rawprint
