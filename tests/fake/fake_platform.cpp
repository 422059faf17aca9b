#include "fake/fake_platform.h"

#include <algorithm>

namespace ploxwen::fake {

const char* OpName(Op op) {
    switch (op) {
        case Op::ArgumentText:
            return "ArgumentText";
        case Op::SetFieldText:
            return "SetFieldText";
        case Op::FieldText:
            return "FieldText";
        case Op::ShowMessage:
            return "ShowMessage";
        case Op::EndProgram:
            return "EndProgram";
        case Op::ShowForm:
            return "ShowForm";
        case Op::ObtainPrinterList:
            return "ObtainPrinterList";
        case Op::Count:
            return "Count";
        case Op::DeviceName:
            return "DeviceName";
        case Op::MakeCurrent:
            return "MakeCurrent";
        case Op::CurrentDeviceName:
            return "CurrentDeviceName";
        case Op::ToNarrow:
            return "ToNarrow";
        case Op::OpenPrinterA:
            return "OpenPrinterA";
        case Op::StartDocPrinterA:
            return "StartDocPrinterA";
        case Op::StartPagePrinter:
            return "StartPagePrinter";
        case Op::WritePrinter:
            return "WritePrinter";
        case Op::EndPagePrinter:
            return "EndPagePrinter";
        case Op::EndDocPrinter:
            return "EndDocPrinter";
        case Op::ClosePrinter:
            return "ClosePrinter";
    }
    return "?";
}

namespace {

bool IsSpoolerOp(Op op) {
    return op >= Op::OpenPrinterA;
}

// A view of the fake's list that keeps the fake alive only by reference, as a
// platform list object would.
class ListView final : public platform::PrinterList {
public:
    explicit ListView(platform::PrinterList& list) : list_(list) {}
    std::int32_t Count() override { return list_.Count(); }
    std::u16string DeviceName(std::int16_t index) override { return list_.DeviceName(index); }
    void MakeCurrent(std::int16_t index) override { list_.MakeCurrent(index); }

private:
    platform::PrinterList& list_;
};

// The fake's narrow code page: Latin-1, '?' for the rest.
std::string Latin1(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text) narrow.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    return narrow;
}

std::u16string SyntheticName(std::int16_t index) {
    std::u16string name = u"Queue";
    for (char c : std::to_string(index)) name.push_back(static_cast<char16_t>(c));
    return name;
}

}  // namespace

bool FakePlatform::Enter(Op op) {
    calls.push_back(op);
    const int occurrence = ++seen_[op];
    if (throws_.count({op, occurrence}))
        throw platform::PlatformError(std::string("injected: ") + OpName(op));
    return zeroes_.count({op, occurrence}) != 0;
}

std::vector<Op> FakePlatform::SpoolerCalls() const {
    std::vector<Op> spooler;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(spooler), IsSpoolerOp);
    return spooler;
}

int FakePlatform::CallCount(Op op) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), op));
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
    return count_override ? *count_override : static_cast<std::int32_t>(printers.size());
}

std::u16string FakePlatform::DeviceName(std::int16_t index) {
    Enter(Op::DeviceName);
    if (index < 0) throw platform::PlatformError("bad index");
    if (static_cast<std::size_t>(index) < printers.size()) return printers[index];
    if (count_override && index < *count_override) return SyntheticName(index);
    throw platform::PlatformError("bad index");
}

void FakePlatform::MakeCurrent(std::int16_t index) {
    Enter(Op::MakeCurrent);
    if (index < 0 || static_cast<std::size_t>(index) >= printers.size()) {
        throw platform::PlatformError("not a printer");
    }
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

std::int32_t FakePlatform::OpenPrinterA(const char* printer_name, platform::PrinterHandle* handle,
                                        const void* defaults) {
    if (Enter(Op::OpenPrinterA)) return 0;
    if (printer_name == nullptr || handle == nullptr || defaults != nullptr) return 0;
    const std::string name(printer_name);
    const auto listed = std::find_if(printers.begin(), printers.end(),
                                     [&](const std::u16string& p) { return Latin1(p) == name; });
    if (listed == printers.end()) return 0;
    if (std::find(unopenable.begin(), unopenable.end(), *listed) != unopenable.end()) return 0;
    *handle = ++next_handle_;
    handles_[*handle] = documents.size();
    documents.push_back(Document{name});
    ++open_handles;
    return 1;
}

std::uint32_t FakePlatform::StartDocPrinterA(platform::PrinterHandle handle, std::uint32_t level,
                                             const platform::DocInfo1A* doc_info) {
    if (Enter(Op::StartDocPrinterA)) return 0;
    Document* document = DocumentFor(handle);
    if (document == nullptr || doc_info == nullptr || document->started) return 0;
    auto copy = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
    document->level = level;
    document->doc_name = copy(doc_info->pDocName);
    document->output_file = copy(doc_info->pOutputFile);
    document->data_type = copy(doc_info->pDatatype);
    document->started = true;
    return 42;
}

std::int32_t FakePlatform::StartPagePrinter(platform::PrinterHandle handle) {
    if (Enter(Op::StartPagePrinter)) return 0;
    Document* document = DocumentFor(handle);
    if (document == nullptr) return 0;
    ++document->pages_started;
    return 1;
}

std::int32_t FakePlatform::WritePrinter(platform::PrinterHandle handle, const void* bytes,
                                        std::uint32_t count, std::uint32_t* written) {
    if (Enter(Op::WritePrinter)) return 0;
    Document* document = DocumentFor(handle);
    if (document == nullptr || written == nullptr || (bytes == nullptr && count != 0)) return 0;
    const std::uint32_t taken = write_limit ? std::min(count, *write_limit) : count;
    document->writes.emplace_back(static_cast<const char*>(bytes), taken);
    *written = taken;
    return 1;
}

std::int32_t FakePlatform::EndPagePrinter(platform::PrinterHandle handle) {
    if (Enter(Op::EndPagePrinter)) return 0;
    Document* document = DocumentFor(handle);
    if (document == nullptr) return 0;
    ++document->pages_ended;
    return 1;
}

std::int32_t FakePlatform::EndDocPrinter(platform::PrinterHandle handle) {
    if (Enter(Op::EndDocPrinter)) return 0;
    Document* document = DocumentFor(handle);
    if (document == nullptr || !document->started) return 0;
    document->ended = true;
    return 1;
}

std::int32_t FakePlatform::ClosePrinter(platform::PrinterHandle handle) {
    const bool zero = Enter(Op::ClosePrinter);
    // The handle is gone after a close, whatever the result says.
    if (handles_.erase(handle) == 0) return 0;
    --open_handles;
    return zero ? 0 : 1;
}

}  // namespace ploxwen::fake
