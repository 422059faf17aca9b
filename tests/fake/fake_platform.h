// An in-memory platform for unit tests of the load sequence: printers, a
// current printer, a spooler that keeps what it receives, two text fields.
// Every call is recorded, and any call can be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ploxwen::fake {

enum class Op {
    ArgumentText,
    SetFieldText,
    FieldText,
    ShowMessage,
    EndProgram,
    ShowForm,
    ObtainPrinterList,
    Count,
    DeviceName,
    MakeCurrent,
    CurrentDeviceName,
    ToNarrow,
    OpenPrinterA,
    StartDocPrinterA,
    StartPagePrinter,
    WritePrinter,
    EndPagePrinter,
    EndDocPrinter,
    ClosePrinter
};
const char* OpName(Op op);
// The fake's narrow code page: Latin-1, '?' for the rest.
std::string Latin1(std::u16string_view text);
inline bool IsSpoolerCall(Op op) {
    return op >= Op::OpenPrinterA;
}

// How a call fails: it throws, a spooler function returns zero, or WritePrinter takes 2 bytes.
enum class Fails { kThrows, kReturnsZero, kWritesShort };
struct Fault {
    Op op;
    int occurrence;  // 1-based, counted per Op
    Fails how;
};

// What arrived at one printer through one open handle.
struct Document {
    std::string printer;
    std::optional<std::string> doc_name, output_file, data_type;  // nullopt: null pointer
    std::uint32_t level = 0;
    int pages_started = 0, pages_ended = 0;
    std::vector<std::string> writes;  // one per WritePrinter call
    bool ended = false;
};

class FakePlatform final : public platform::Windowing,
                           public platform::PrintingServices,
                           public platform::PrinterList,
                           public platform::Spooler,
                           public platform::NarrowCodePage {
public:
    std::u16string argument_text;
    std::vector<std::u16string> printers;    // device names in list order
    std::optional<std::int16_t> current;     // index into printers
    std::vector<std::u16string> unopenable;  // listed, but the spooler refuses them
    std::vector<Fault> faults;

    std::vector<Op> calls;
    std::vector<Fault> fired;  // the faults that took effect, in order
    std::u16string text1, text2;
    std::vector<std::u16string> messages;
    std::optional<int> ended_with;
    std::vector<Document> documents;  // one per successful open
    int open_handles = 0, form_shown = 0;

    std::vector<Op> SpoolerCalls() const;
    std::u16string CurrentName() const { return current ? printers.at(*current) : u"<none>"; }
    platform::Platform AsPlatform() { return {*this, *this, *this, *this}; }

    std::u16string ArgumentText() override;
    void SetFieldText(platform::Field field, std::u16string_view text) override;
    std::u16string FieldText(platform::Field field) override;
    void ShowMessage(std::u16string_view prompt) override;
    void EndProgram(int exit_status) override;
    void ShowFormUntilClosed() override;
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    std::u16string CurrentDeviceName() override;
    std::int32_t Count() override;
    std::u16string DeviceName(std::int16_t index) override;
    void MakeCurrent(std::int16_t index) override;
    // The fake's code page is Latin-1, '?' for the rest; both count as ToNarrow.
    std::string ToNarrow(std::u16string_view text) override;
    std::string ToNarrowExactly(std::u16string_view text) override;
    std::int32_t OpenPrinterA(const char* name, platform::PrinterHandle* handle,
                              const void* defaults) override;
    std::uint32_t StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                   const platform::DocInfo1A* doc_info) override;
    std::int32_t StartPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t WritePrinter(platform::PrinterHandle handle, const void* bytes, std::uint32_t count,
                              std::uint32_t* written) override;
    std::int32_t EndPagePrinter(platform::PrinterHandle handle) override;
    std::int32_t EndDocPrinter(platform::PrinterHandle handle) override;
    std::int32_t ClosePrinter(platform::PrinterHandle handle) override;

private:
    // Records the call; throws if a fault says so; returns how else it fails.
    std::optional<Fails> Enter(Op op);
    Document* DocumentFor(platform::PrinterHandle handle);

    std::map<Op, int> seen_;
    std::map<platform::PrinterHandle, std::size_t> handles_;  // open handle -> documents index
    platform::PrinterHandle next_handle_ = 0x1000;
};

}  // namespace ploxwen::fake
