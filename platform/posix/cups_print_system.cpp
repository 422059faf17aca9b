// Placeholder until the CUPS calls are written: every operation fails.
#include "platform/posix/cups_print_system.h"

namespace ploxwen::posix {
namespace {
[[noreturn]] void NotYet() {
    throw platform::PlatformError("CUPS backend not written yet");
}
}  // namespace

CupsPrintSystem::CupsPrintSystem(NarrowText& narrow_text) : narrow_text_(narrow_text) {}
CupsPrintSystem::~CupsPrintSystem() = default;
std::unique_ptr<platform::PrinterList> CupsPrintSystem::ObtainPrinterList() {
    NotYet();
}
std::u16string CupsPrintSystem::CurrentDeviceName() {
    NotYet();
}
std::int32_t CupsPrintSystem::OpenPrinterA(const char*, platform::PrinterHandle*, const void*) {
    NotYet();
}
std::uint32_t CupsPrintSystem::StartDocPrinterA(platform::PrinterHandle, std::uint32_t,
                                                const platform::DocInfo1A*) {
    NotYet();
}
std::int32_t CupsPrintSystem::StartPagePrinter(platform::PrinterHandle) {
    NotYet();
}
std::int32_t CupsPrintSystem::WritePrinter(platform::PrinterHandle, const void*, std::uint32_t,
                                           std::uint32_t*) {
    NotYet();
}
std::int32_t CupsPrintSystem::EndPagePrinter(platform::PrinterHandle) {
    NotYet();
}
std::int32_t CupsPrintSystem::EndDocPrinter(platform::PrinterHandle) {
    NotYet();
}
std::int32_t CupsPrintSystem::ClosePrinter(platform::PrinterHandle) {
    NotYet();
}

}  // namespace ploxwen::posix
