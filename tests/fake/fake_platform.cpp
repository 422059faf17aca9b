#include "fake/fake_platform.h"

#include <algorithm>

namespace ploxwen::fake {
namespace {

// A list object as the platform hands one out: a view of the fake.
class ListView final : public platform::PrinterList {
public:
    explicit ListView(platform::PrinterList& list) : list_(list) {}
    std::int32_t Count() override { return list_.Count(); }
    std::u16string DeviceName(std::int16_t index) override { return list_.DeviceName(index); }
    void MakeCurrent(std::int16_t index) override { list_.MakeCurrent(index); }

private:
    platform::PrinterList& list_;
};

}  // namespace

std::string Latin1(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text) narrow.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    return narrow;
}

const char* OpName(Op op) {
    static const char* const kNames[] = {
        "ArgumentText",      "SetFieldText",      "FieldText",     "ShowMessage",      "EndProgram",
        "ShowForm",          "ObtainPrinterList", "Count",         "DeviceName",       "MakeCurrent",
        "CurrentDeviceName", "ToNarrow",          "OpenPrinterA",  "StartDocPrinterA", "StartPagePrinter",
        "WritePrinter",      "EndPagePrinter",    "EndDocPrinter", "ClosePrinter"};
    return kNames[static_cast<int>(op)];
}

std::optional<Fails> FakePlatform::Enter(Op op) {
    calls.push_back(op);
    const int occurrence = ++seen_[op];
    for (const Fault& fault : faults) {
        if (fault.op != op || fault.occurrence != occurrence) continue;
        fired.push_back(fault);
        if (fault.how == Fails::kThrows)
            throw platform::PlatformError(std::string("injected: ") + OpName(op));
        return fault.how;
    }
    return std::nullopt;
}

std::vector<Op> FakePlatform::SpoolerCalls() const {
    std::vector<Op> spooler;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(spooler), IsSpoolerCall);
    return spooler;
}

std::u16string FakePlatform::ArgumentText() {
    Enter(Op::ArgumentText);
    return argument_text;
}

void FakePlatform::SetFieldText(platform::Field field, std::u16string_view text) {
    Enter(Op::SetFieldText);
    (field == platform::Field::Text1 ? text1 : text2) = text;
}

std::u16string FakePlatform::FieldText(platform::Field field) {
    Enter(Op::FieldText);
    return field == platform::Field::Text1 ? text1 : text2;
}

void FakePlatform::ShowMessage(std::u16string_view prompt) {
    Enter(Op::ShowMessage);
    messages.emplace_back(prompt);
}

void FakePlatform::EndProgram(int exit_status) {
    Enter(Op::EndProgram);
    ended_with = exit_status;
}

void FakePlatform::ShowFormUntilClosed() {
    Enter(Op::ShowForm);
    ++form_shown;
}

std::unique_ptr<platform::PrinterList> FakePlatform::ObtainPrinterList() {
    Enter(Op::ObtainPrinterList);
    return std::make_unique<ListView>(*this);
}

std::u16string FakePlatform::CurrentDeviceName() {
    Enter(Op::CurrentDeviceName);
    if (!current) throw platform::PlatformError("no current printer");
    return printers.at(*current);
}

std::int32_t FakePlatform::Count() {
    Enter(Op::Count);
    return static_cast<std::int32_t>(printers.size());
}

std::u16string FakePlatform::DeviceName(std::int16_t index) {
    Enter(Op::DeviceName);
    return printers.at(static_cast<std::size_t>(index));  // throws outside the list
}

void FakePlatform::MakeCurrent(std::int16_t index) {
    Enter(Op::MakeCurrent);
    printers.at(static_cast<std::size_t>(index));  // throws outside the list
    current = index;
}

std::string FakePlatform::ToNarrow(std::u16string_view text) {
    Enter(Op::ToNarrow);
    return Latin1(text);
}

std::string FakePlatform::ToNarrowExactly(std::u16string_view text) {
    Enter(Op::ToNarrow);
    for (char16_t unit : text) {
        if (unit >= 0x100) throw platform::PlatformError("not in Latin-1");
    }
    return Latin1(text);
}

Document* FakePlatform::DocumentFor(platform::PrinterHandle handle) {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &documents[it->second];
}

std::int32_t FakePlatform::OpenPrinterA(const char* name, platform::PrinterHandle* handle,
                                        const void* defaults) {
    if (Enter(Op::OpenPrinterA) || name == nullptr || handle == nullptr || defaults != nullptr) return 0;
    std::u16string wide;  // the name back in UTF-16, from Latin-1
    for (const char* c = name; *c; ++c) wide.push_back(static_cast<unsigned char>(*c));
    const auto listed = std::find(printers.begin(), printers.end(), wide);
    if (listed == printers.end() || std::count(unopenable.begin(), unopenable.end(), wide)) return 0;
    *handle = ++next_handle_;
    handles_[*handle] = documents.size();
    documents.push_back(Document{name});
    ++open_handles;
    return 1;
}

std::uint32_t FakePlatform::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                             const platform::DocInfo1A* doc_info) {
    Document* document = Enter(Op::StartDocPrinterA) ? nullptr : DocumentFor(handle);
    if (document == nullptr || doc_info == nullptr || document->level != 0) return 0;
    auto copy = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
    document->level = level;
    document->doc_name = copy(doc_info->pDocName);
    document->output_file = copy(doc_info->pOutputFile);
    document->data_type = copy(doc_info->pDatatype);
    return 42;
}

std::int32_t FakePlatform::StartPagePrinter(platform::PrinterHandle handle) {
    Document* document = Enter(Op::StartPagePrinter) ? nullptr : DocumentFor(handle);
    return document != nullptr && ++document->pages_started;
}

std::int32_t FakePlatform::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                        std::uint32_t count, std::uint32_t* written) {
    const std::optional<Fails> fails = Enter(Op::WritePrinter);
    Document* document = fails == Fails::kReturnsZero ? nullptr : DocumentFor(handle);
    if (document == nullptr || written == nullptr || (bytes == nullptr && count != 0)) return 0;
    *written = fails == Fails::kWritesShort ? std::min(count, 2u) : count;
    document->writes.emplace_back(static_cast<const char*>(bytes), *written);
    return 1;
}

std::int32_t FakePlatform::EndPagePrinter(platform::PrinterHandle handle) {
    Document* document = Enter(Op::EndPagePrinter) ? nullptr : DocumentFor(handle);
    return document != nullptr && ++document->pages_ended;
}

std::int32_t FakePlatform::EndDocPrinter(platform::PrinterHandle handle) {
    Document* document = Enter(Op::EndDocPrinter) ? nullptr : DocumentFor(handle);
    if (document == nullptr || document->level == 0) return 0;
    return document->ended = true;
}

std::int32_t FakePlatform::ClosePrinter(platform::PrinterHandle handle) {
    const bool zero = Enter(Op::ClosePrinter).has_value();
    // The handle is gone after a close, whatever the result says.
    if (handles_.erase(handle) == 0) return 0;
    --open_handles;
    return zero ? 0 : 1;
}

}  // namespace ploxwen::fake
