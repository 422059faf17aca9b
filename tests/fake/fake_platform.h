// An in-memory platform for unit tests: printers, a current printer, a
// spooler that keeps the documents it receives, and two text fields. Every
// call is recorded, and any single call can be made to fail.
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
    ClosePrinter,
};
const char* OpName(Op op);

// What arrived at one printer through one open handle.
struct Document {
    std::string printer;
    std::optional<std::string> doc_name;  // nullopt: null pointer
    std::optional<std::string> output_file;
    std::optional<std::string> data_type;
    std::uint32_t level = 0;
    int pages_started = 0;
    int pages_ended = 0;
    std::vector<std::string> writes;  // one entry per WritePrinter call
    bool started = false;
    bool ended = false;
};

class FakePlatform final : public platform::Windowing,
                           public platform::PrintingServices,
                           public platform::PrinterList,
                           public platform::Spooler,
                           public platform::NarrowCodePage {
public:
    // --- state the test arranges --------------------------------------------
    std::u16string argument_text;
    std::vector<std::u16string> printers;        // device names in list order
    std::optional<std::int16_t> current;         // index into printers
    std::vector<std::u16string> unopenable;      // listed, but the spooler refuses them
    std::optional<std::int32_t> count_override;  // pretend the list is this long

    // --- faults ---------------------------------------------------------------
    // The `occurrence`-th call (1-based) of `op` throws.
    void FailOn(Op op, int occurrence = 1) { throws_[{op, occurrence}] = true; }
    // The `occurrence`-th call of a spooler function returns zero.
    void ReturnZeroOn(Op op, int occurrence = 1) { zeroes_[{op, occurrence}] = true; }
    // WritePrinter accepts at most this many bytes.
    std::optional<std::uint32_t> write_limit;

    // --- what happened ----------------------------------------------------------
    std::vector<Op> calls;
    std::u16string text1;
    std::u16string text2;
    std::vector<std::u16string> messages;
    std::optional<int> ended_with;
    std::vector<Document> documents;  // one per successful open
    int open_handles = 0;
    int form_shown = 0;

    // Spooler calls only, in order.
    std::vector<Op> SpoolerCalls() const;
    int CallCount(Op op) const;
    std::u16string CurrentName() const { return current ? printers.at(*current) : u"<none>"; }

    platform::Platform AsPlatform() { return {*this, *this, *this, *this}; }

    // Windowing
    std::u16string ArgumentText() override;
    void SetFieldText(platform::Field field, std::u16string_view text) override;
    std::u16string FieldText(platform::Field field) override;
    void ShowMessage(std::u16string_view prompt) override;
    void EndProgram(int exit_status) override;
    void ShowFormUntilClosed() override;
    // PrintingServices and the list it hands out
    std::unique_ptr<platform::PrinterList> ObtainPrinterList() override;
    std::u16string CurrentDeviceName() override;
    std::int32_t Count() override;
    std::u16string DeviceName(std::int16_t index) override;
    void MakeCurrent(std::int16_t index) override;
    // NarrowCodePage: Latin-1, '?' for the rest.
    std::string ToNarrow(std::u16string_view text) override;
    // Counted as ToNarrow; fails where Latin-1 has no code.
    std::string ToNarrowExactly(std::u16string_view text) override;
    // Spooler
    std::int32_t OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
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
    // Records the call; throws if a fault is set for it; tells whether it
    // should return zero.
    bool Enter(Op op);
    Document* DocumentFor(platform::PrinterHandle handle);

    std::map<std::pair<Op, int>, bool> throws_;
    std::map<std::pair<Op, int>, bool> zeroes_;
    std::map<Op, int> seen_;
    std::map<platform::PrinterHandle, std::size_t> handles_;  // open handle -> documents index
    platform::PrinterHandle next_handle_ = 0x1000;
};

}  // namespace ploxwen::fake
