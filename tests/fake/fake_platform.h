// An in-memory platform for unit tests of the load sequence: printers, a
// current printer, a spooler that keeps what it receives, two text fields.
// Every call is recorded, and a step of the sequence can be made to fail
// where a real backend can fail.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace ploxwen::fake {

enum class Op {
    ArgumentText,
    EnvironmentVariable,
    SetFieldText,
    FieldText,
    ShowMessage,
    EndProgram,
    ShowForm,
    ObtainPrinterList,
    CurrentDeviceName,
    ToNarrow,
    ReadPayload,  // a file or standard input
    BeginWatch,
    KeepJob,
    LookAtJob,
    EndWatch,
    AutoDataType,
    // The spooler's calls, in the order of a job.
    OpenPrinterA,
    StartDocPrinterA,
    StartPagePrinter,
    WritePrinter,
    EndPagePrinter,
    EndDocPrinter,
    ClosePrinter
};
inline bool IsSpoolerCall(Op op) {
    return op >= Op::OpenPrinterA;
}

// The places of a run where a backend can fail, in the order a run meets them.
enum class Step {
    kArgumentText,       // the command line cannot be decoded
    kSavedPrinter,       // the current printer at start cannot be read (none, server gone)
    kSearch,             // the printers cannot be looked up for the name typed
    kNameConversion,     // the printer's name has no exact narrow form
    kOpen,               // OpenPrinterA
    kRecordConversion,   // the document record's narrow form
    kStartDoc,           // StartDocPrinterA
    kStartPage,          // StartPagePrinter
    kDataField,          // the data field read for the payload
    kPayloadConversion,  // the payload's narrow form
    kWrite,              // WritePrinter
    kEndPage,            // EndPagePrinter
    kEndDoc,             // EndDocPrinter
    kClose,              // ClosePrinter
    kKeep,               // keeping the job listed once printed, with a wait
    kLook,               // the first look at the job, with a wait
    kRestore,            // the printers cannot be looked up for the saved name
    kMessage,            // the message cannot be shown
    kEnd,                // ending the program fails
};
inline const char* const kStepNames[] = {"argument text",
                                         "saved printer",
                                         "search",
                                         "name conversion",
                                         "OpenPrinterA",
                                         "record conversion",
                                         "StartDocPrinterA",
                                         "StartPagePrinter",
                                         "data field",
                                         "payload conversion",
                                         "WritePrinter",
                                         "EndPagePrinter",
                                         "EndDocPrinter",
                                         "ClosePrinter",
                                         "keep the job",
                                         "look at the job",
                                         "restore",
                                         "message",
                                         "end"};
inline std::string NameOf(Step step) {
    return kStepNames[static_cast<int>(step)];
}

// How a step fails: it throws, a spooler function returns zero, or WritePrinter takes 2 bytes.
enum class Fails { kThrows, kReturnsZero, kWritesShort, kRunsOutOfMemory };
struct Fault {
    Step step;
    Fails how;
};

// The fake's narrow code page: Latin-1, '?' for the rest.
inline std::string Latin1(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text) narrow.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    return narrow;
}

// What arrived at one printer through one handle.
struct Document {
    std::string printer;
    std::optional<std::string> doc_name{}, output_file{}, data_type{};  // nullopt: null pointer
    std::uint32_t level = 0;
    int pages_started = 0, pages_ended = 0;
    std::vector<std::string> writes{};  // one per WritePrinter call
    bool ended = false, open = true;
};

class FakePlatform final : public platform::Process,
                           public platform::Windowing,
                           public platform::PrintingServices,
                           public platform::PrinterList,
                           public platform::Spooler,
                           public platform::NarrowCodePage,
                           public platform::JobWatch {
public:
    std::u16string argument_text;
    std::vector<std::u16string> printers;    // device names in list order
    std::optional<std::int16_t> current;     // index into printers
    std::vector<std::u16string> unopenable;  // listed, but the spooler refuses them
    std::vector<Fault> faults;
    bool started_document_is_job = false;  // winspool's way; CUPS makes the job from the whole document
    bool zero_is_refusal = false;          // a spooler call returning zero says "no job of it"
    std::map<std::string, std::string> environment;
    std::map<std::u16string, std::string> files;  // path -> bytes; any other path cannot be read
    std::optional<std::string> standard_input;    // nullopt: a terminal
    bool takes_xps_pass = true;                   // winspool's way; CUPS takes RAW only
    std::string driver_data_type = "RAW";         // what "auto" finds for the printer's driver
    std::vector<platform::JobReport> looks;

    std::vector<Op> calls;
    std::vector<Fault> fired;  // the faults that took effect, in order
    std::u16string text1, text2;
    std::vector<std::u16string> messages;
    std::vector<std::string> causes;  // cause lines written
    std::optional<int> ended_with;
    std::vector<Document> documents;  // one per successful open; handle = kFirstHandle + index
    int form_shown = 0;
    std::optional<std::chrono::seconds> watch_began;
    std::optional<platform::PrinterHandle> kept;                   // the handle the job was kept through
    std::optional<bool> released;                                  // what EndWatch was told
    std::vector<std::pair<std::string, std::uint32_t>> looked_at;  // printer and job id of each look
    std::chrono::milliseconds clock{0};
    platform::Cause cause;

    static constexpr platform::PrinterHandle kFirstHandle = 0x1000;
    static constexpr char kLookFails[] = "(look fails)";

    std::vector<Op> SpoolerCalls() const {
        std::vector<Op> spooler;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(spooler), IsSpoolerCall);
        return spooler;
    }
    std::u16string CurrentName() const {
        return current ? printers.at(static_cast<std::size_t>(*current)) : u"<none>";
    }
    platform::Platform AsPlatform() { return {*this, *this, *this, *this, *this, *this, cause}; }

    std::u16string ArgumentText() override {
        Enter(Op::ArgumentText, Step::kArgumentText);
        return argument_text;
    }
    std::optional<std::string> EnvironmentVariable(const char* name) override {
        Enter(Op::EnvironmentVariable);
        const auto found = environment.find(name);
        if (found == environment.end() || found->second.empty()) return std::nullopt;
        return found->second;
    }
    void WriteCause(std::string_view line) override { causes.emplace_back(line); }
    std::unique_ptr<platform::Payload> ReadFile(std::u16string_view path) override {
        Enter(Op::ReadPayload);
        const auto found = files.find(std::u16string(path));
        if (found == files.end())
            throw platform::PlatformError("cannot open " + Latin1(path) + ": no such file");
        return Bytes(found->second);
    }
    std::unique_ptr<platform::Payload> ReadStandardInput() override {
        Enter(Op::ReadPayload);
        if (!standard_input) throw platform::PlatformError("standard input is a terminal");
        return Bytes(*standard_input);
    }
    void EndProgram(int exit_status) override { Enter(Op::EndProgram, Step::kEnd), ended_with = exit_status; }

    void SetFieldText(platform::Field field, std::u16string_view text) override {
        Enter(Op::SetFieldText);
        (field == platform::Field::Text1 ? text1 : text2) = text;
    }
    std::u16string FieldText(platform::Field field) override {
        const bool data = field == platform::Field::Text2 && !documents.empty();
        Enter(Op::FieldText, data ? std::optional(Step::kDataField) : std::nullopt);
        return field == platform::Field::Text1 ? text1 : text2;
    }
    void ShowMessage(std::u16string_view prompt) override {
        Enter(Op::ShowMessage, Step::kMessage);
        messages.emplace_back(prompt);
    }
    void ShowFormUntilClosed() override { Enter(Op::ShowForm), ++form_shown; }

    // Each list handed out is a view of the fake's printers. Like the real
    // backends, the fake reads the printers once for each name searched:
    // only that first reading can fail, the search's or the restore's.
    std::unique_ptr<platform::PrinterList> ObtainPrinterListFor(std::u16string_view name) override {
        const bool first = std::find(searched_.begin(), searched_.end(), name) == searched_.end();
        if (first) searched_.emplace_back(name);
        Enter(Op::ObtainPrinterList, !first                  ? std::nullopt
                                     : searched_.size() == 1 ? std::optional(Step::kSearch)
                                                             : std::optional(Step::kRestore));
        return View();
    }
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override {
        Enter(Op::ObtainPrinterList);
        return View();
    }
    std::u16string CurrentDeviceName() override {
        Enter(Op::CurrentDeviceName, searched_.empty() ? std::optional(Step::kSavedPrinter) : std::nullopt);
        if (!current) throw platform::PlatformError("no current printer");
        return printers.at(static_cast<std::size_t>(*current));
    }
    std::int32_t Count() override { return static_cast<std::int32_t>(printers.size()); }
    // Both throw outside the list.
    std::u16string DeviceName(std::int16_t index) override {
        return printers.at(static_cast<std::size_t>(index));
    }
    void MakeCurrent(std::int16_t index) override {
        printers.at(static_cast<std::size_t>(index));
        current = index;
    }

    // The payload is converted only inside the printing block, once a printer is open.
    std::string ToNarrow(std::u16string_view text) override {
        Enter(Op::ToNarrow, text == u"Command Print" ? std::optional(Step::kRecordConversion)
                            : documents.empty()      ? std::nullopt
                                                     : std::optional(Step::kPayloadConversion));
        return Latin1(text);
    }
    // The fake knows one charset besides its own: ASCII, '?' for the rest.
    std::unique_ptr<platform::NarrowCodePage> ForCodePage(std::string_view name) override {
        if (name != "ASCII") throw platform::PlatformError("no such charset");
        struct Ascii final : platform::NarrowCodePage {
            FakePlatform& fake;
            explicit Ascii(FakePlatform& of) : fake(of) {}
            std::string ToNarrow(std::u16string_view text) override {
                std::string narrow = fake.ToNarrow(text);
                for (char& c : narrow) c = static_cast<unsigned char>(c) < 0x80 ? c : '?';
                return narrow;
            }
            std::string ToNarrowExactly(std::u16string_view text) override {
                return fake.ToNarrowExactly(text);
            }
            std::unique_ptr<NarrowCodePage> ForCodePage(std::string_view other) override {
                return fake.ForCodePage(other);
            }
        };
        return std::make_unique<Ascii>(*this);
    }
    std::string ToNarrowExactly(std::u16string_view text) override {
        Enter(Op::ToNarrow, Step::kNameConversion);
        if (std::any_of(text.begin(), text.end(), [](char16_t unit) { return unit >= 0x100; }))
            throw platform::PlatformError("not in Latin-1");
        return Latin1(text);
    }

    std::int32_t OpenPrinterA(const char* name, platform::PrinterHandle* handle,
                              const void* defaults) override {
        if (Enter(Op::OpenPrinterA, Step::kOpen) || name == nullptr || handle == nullptr ||
            defaults != nullptr)
            return 0;
        std::u16string wide(name, name + std::char_traits<char>::length(name));  // Latin-1 back to UTF-16
        for (char16_t& unit : wide) unit = static_cast<unsigned char>(unit);
        if (std::count(printers.begin(), printers.end(), wide) == 0 ||
            std::count(unopenable.begin(), unopenable.end(), wide) != 0)
            return 0;
        *handle = kFirstHandle + documents.size();
        documents.push_back(Document{name});
        return 1;
    }
    std::uint32_t StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                   const platform::DocInfo1A* doc_info) override {
        Document* document = Enter(Op::StartDocPrinterA, Step::kStartDoc) ? nullptr : Opened(handle);
        if (document == nullptr || doc_info == nullptr || document->level != 0) return 0;
        auto copy = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
        document->level = level;
        document->doc_name = copy(doc_info->pDocName);
        document->output_file = copy(doc_info->pOutputFile);
        document->data_type = copy(doc_info->pDatatype);
        return 42;
    }
    std::int32_t StartPagePrinter(platform::PrinterHandle handle) override {
        Document* document = Enter(Op::StartPagePrinter, Step::kStartPage) ? nullptr : Opened(handle);
        return document != nullptr && ++document->pages_started;
    }
    std::int32_t WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                              std::uint32_t* written) override {
        const std::optional<Fails> fails = Enter(Op::WritePrinter, Step::kWrite);
        Document* document = fails == Fails::kReturnsZero ? nullptr : Opened(handle);
        if (document == nullptr || written == nullptr || (bytes == nullptr && count != 0)) return 0;
        *written = fails == Fails::kWritesShort ? std::min(count, 2u) : count;
        document->writes.emplace_back(static_cast<const char*>(bytes), *written);
        return 1;
    }
    std::int32_t EndPagePrinter(platform::PrinterHandle handle) override {
        Document* document = Enter(Op::EndPagePrinter, Step::kEndPage) ? nullptr : Opened(handle);
        return document != nullptr && ++document->pages_ended;
    }
    std::int32_t EndDocPrinter(platform::PrinterHandle handle) override {
        Document* document = Enter(Op::EndDocPrinter, Step::kEndDoc) ? nullptr : Opened(handle);
        return document != nullptr && document->level != 0 && (document->ended = true);
    }
    // The handle is gone after a close, whatever the result says.
    std::int32_t ClosePrinter(platform::PrinterHandle handle) override {
        const bool zero = Enter(Op::ClosePrinter, Step::kClose).has_value();
        Document* document = Opened(handle);
        if (document == nullptr) return 0;
        document->open = false;
        return zero ? 0 : 1;
    }

    bool StartedDocumentIsJob() override { return started_document_is_job; }
    bool TakesDataType(std::string_view type) override { return type == "RAW" || takes_xps_pass; }
    std::string AutoDataType(platform::PrinterHandle handle) override {
        Enter(Op::AutoDataType);
        if (Opened(handle) == nullptr) throw platform::PlatformError("no such handle");
        return driver_data_type;
    }

    // The job watch runs on a clock that only Pause moves, so no test waits
    // in real time. Each look finds the next report of `looks`, the last one
    // again once they run out; one in the state kLookFails throws its reason.
    void BeginWatch(std::chrono::seconds wait) override { Enter(Op::BeginWatch), watch_began = wait; }
    void KeepJob(platform::PrinterHandle handle, std::uint32_t /*job_id*/) override {
        Enter(Op::KeepJob, Step::kKeep), kept = handle;
    }
    void EndWatch(bool release) override { Enter(Op::EndWatch), released = release; }
    platform::JobReport LookAtJob(const char* printer, std::uint32_t job_id) override {
        looked_at.emplace_back(printer, job_id);
        Enter(Op::LookAtJob, looked_at.size() == 1 ? std::optional(Step::kLook) : std::nullopt);
        const platform::JobReport& found = looks.at(std::min(looked_at.size(), looks.size()) - 1);
        if (found.state == kLookFails) throw platform::PlatformError(found.reason);
        return found;
    }
    std::chrono::milliseconds Now() override { return clock; }
    void Pause(std::chrono::milliseconds pause) override { clock += pause; }

private:
    // Records the call; if it is `step` and a fault names that step, fails
    // as the fault says: throws, or returns how else it fails. A spooler
    // function's zero result notes its cause, as a backend's does.
    std::optional<Fails> Enter(Op op, std::optional<Step> step = std::nullopt) {
        calls.push_back(op);
        for (const Fault& fault : faults) {
            if (!step || fault.step != *step) continue;
            fired.push_back(fault);
            if (fault.how == Fails::kThrows) throw platform::PlatformError(NameOf(fault.step) + " failed");
            if (fault.how == Fails::kRunsOutOfMemory) throw std::bad_alloc();
            if (fault.how == Fails::kReturnsZero && zero_is_refusal)
                cause.NoteRefusal(NameOf(fault.step) + " refused");
            else if (fault.how == Fails::kReturnsZero)
                cause.Note(NameOf(fault.step) + " returned zero");
            return fault.how;
        }
        return std::nullopt;
    }
    Document* Opened(platform::PrinterHandle handle) {
        const std::size_t index = handle - kFirstHandle;
        return handle >= kFirstHandle && index < documents.size() && documents[index].open ? &documents[index]
                                                                                           : nullptr;
    }
    std::unique_ptr<platform::PrinterList> View() {
        struct Of final : platform::PrinterList {
            PrinterList& list;
            explicit Of(PrinterList& of) : list(of) {}
            std::int32_t Count() override { return list.Count(); }
            std::u16string DeviceName(std::int16_t index) override { return list.DeviceName(index); }
            void MakeCurrent(std::int16_t index) override { list.MakeCurrent(index); }
        };
        return std::make_unique<Of>(*this);
    }

    static std::unique_ptr<platform::Payload> Bytes(std::string bytes) {
        struct Held final : platform::Payload {
            std::string bytes;
            std::string_view Bytes() const override { return bytes; }
        };
        auto held = std::make_unique<Held>();
        held->bytes = std::move(bytes);
        return held;
    }

    std::vector<std::u16string> searched_;  // the names searched so far, in order
};

}  // namespace ploxwen::fake
