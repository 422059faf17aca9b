#include "rawprint/raw_print_job.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>

#include "steps/run_step.h"

namespace ploxwen::rawprint {
namespace {

using steps::RunStep;

// A string that may be null; a null one reaches the spooler as a null pointer.
using NullableText = std::optional<std::u16string>;

struct DocumentRecord {
    NullableText doc_name;
    NullableText output_file;
    NullableText data_type;
};

// The narrow copy of a document record, alive for the one spooler call.
class NarrowDocumentRecord {
public:
    NarrowDocumentRecord(platform::NarrowCodePage& code_page, const DocumentRecord& record)
        : doc_name_(Convert(code_page, record.doc_name)),
          output_file_(Convert(code_page, record.output_file)),
          data_type_(Convert(code_page, record.data_type)) {}

    platform::DocInfo1A Get() const {
        return {Pointer(doc_name_), Pointer(output_file_), Pointer(data_type_)};
    }

private:
    static std::optional<std::string> Convert(platform::NarrowCodePage& code_page, const NullableText& text) {
        if (!text) return std::nullopt;
        return code_page.ToNarrow(*text);
    }
    static const char* Pointer(const std::optional<std::string>& text) {
        return text ? text->c_str() : nullptr;
    }

    std::optional<std::string> doc_name_;
    std::optional<std::string> output_file_;
    std::optional<std::string> data_type_;
};

}  // namespace

std::optional<std::string> RequestedDataType(platform::Process& process, platform::Spooler& spooler) {
    std::optional<std::string> type = process.EnvironmentVariable(kDataTypeVariable);
    if (!type) return std::nullopt;
    if (*type != "RAW" && *type != "XPS_PASS" && *type != "auto") {
        throw platform::PlatformError(std::string(kDataTypeVariable) + " must be RAW, XPS_PASS or auto");
    }
    if (*type != "auto" && !spooler.TakesDataType(*type)) {
        throw platform::PlatformError(std::string(kDataTypeVariable) + "=" + *type +
                                      " is not a data type this spooler takes");
    }
    return type;
}

PrintResult RunPrintingBlock(const platform::Platform& platform, const PayloadSource& source,
                             const Asked& asked) {
    using steps::ExitStatus;
    platform::Spooler& spooler = platform.spooler;
    // Only the open's result steers the block: every later call is made
    // whatever the one before returned.
    std::int32_t status = 0;
    platform::PrinterHandle handle = 0;
    DocumentRecord record;
    std::uint32_t doc_start_result = 0;
    std::u16string data;
    std::uint32_t written = 0;
    bool kept = false;
    platform::Cause not_kept;  // its own record: a job not kept changes no status

    // The later results are looked at for the status only: whether a job of
    // this run may exist, which it may once the whole payload was handed
    // over, or once a started document is already a job.
    bool clean = true;         // every call after the open succeeded
    bool handed_over = false;  // WritePrinter took every byte of the payload
    bool data_read = false;    // the data field was read whole
    bool job_may_exist = false;
    auto step = [&](auto&& body) { clean = RunStep(platform.cause, body) && clean; };

    // Open the printer that is current now, by its device name.
    std::string name;
    RunStep(platform.cause, [&] {
        name = platform.code_page.ToNarrowExactly(platform.printing.CurrentDeviceName());
        status = spooler.OpenPrinterA(name.c_str(), &handle, nullptr);
    });
    if (status == 0) return {};

    // One step per field, as the sequence has it, though only the first can
    // fail (out of memory): the record goes to the spooler only whole.
    step([&] { record.doc_name = std::u16string(kDocumentName); });
    step([&] { record.output_file = std::nullopt; });
    step([&] {
        record.data_type = std::nullopt;  // the queue's default data type applies
        if (!asked.data_type) return;
        const std::string type = *asked.data_type == "auto" ? spooler.AutoDataType(handle) : *asked.data_type;
        record.data_type = std::u16string(type.begin(), type.end());  // ASCII
    });
    step([&] {
        const NarrowDocumentRecord narrow(platform.code_page, record);
        const platform::DocInfo1A doc_info = narrow.Get();
        doc_start_result = spooler.StartDocPrinterA(handle, 1, &doc_info);
        if (doc_start_result == 0)
            clean = false;
        else
            job_may_exist = spooler.StartedDocumentIsJob();
    });
    if (asked.keep_job && doc_start_result != 0) {
        kept = RunStep(not_kept, [&] { platform.job_watch.KeepJob(handle, doc_start_result); });
    }
    step([&] {
        if (spooler.StartPagePrinter(handle) == 0) clean = false;
    });
    step([&] {
        data = source.data_text();
        data_read = true;
    });
    step([&] {
        std::string narrow;
        if (!source.bytes) {
            narrow = (source.code_page != nullptr ? *source.code_page : platform.code_page).ToNarrow(data);
        }
        const std::string_view payload = source.bytes ? *source.bytes : narrow;
        if (payload.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("payload too large for one write");
        }
        const auto count = static_cast<std::uint32_t>(payload.size());
        status = spooler.WritePrinter(handle, payload.data(), count, &written);
        // An unread data field leaves an empty payload: none of it was handed over.
        handed_over = (source.bytes || data_read) && status != 0 && written == count;
        if (!handed_over) clean = false;
    });
    step([&] {
        status = spooler.EndPagePrinter(handle);
        if (status == 0) clean = false;
    });
    step([&] {
        status = spooler.EndDocPrinter(handle);
        if (status == 0) clean = false;
    });
    step([&] {
        status = spooler.ClosePrinter(handle);
        if (status == 0) clean = false;
    });

    if (clean) return {ExitStatus::kPrinted, doc_start_result, name, kept, not_kept.words()};
    // A refusal is the spooler's word that it holds no job of the document.
    const bool may_exist = (job_may_exist || handed_over) && !platform.cause.refused();
    return {may_exist ? ExitStatus::kJobMayExist : ExitStatus::kNoJob, doc_start_result, name, kept,
            not_kept.words()};
}

}  // namespace ploxwen::rawprint
