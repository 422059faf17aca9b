#include "platform/posix/posix_windowing.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/posix/cups_deadline.h"
#include "platform/posix/utf8_text.h"

#if PLOXWEN_WINDOW_MODULE
#include <dlfcn.h>
#endif

namespace ploxwen::posix {
namespace {

#if PLOXWEN_WINDOW_MODULE
constexpr char kApplicationTitle[] = "PloxWen";
constexpr char kFormCaption[] = "Ploxwen";

bool DisplayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The module is installed beside the program: PLOXWEN_WINDOW_MODULE_PATH is
// relative to the directory of the executable.
std::string WindowModulePath() {
    std::string exe(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", exe.data(), exe.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= exe.size()) return {};
    exe.resize(static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1) + PLOXWEN_WINDOW_MODULE_PATH;
}

// Loads the window module and opens the display, or returns null: no display,
// no module, a module of another version, or a display that will not open.
const PloxwenWindowModule* OpenWindowModule() {
    if (!DisplayNamed()) return nullptr;
    const std::string path = WindowModulePath();
    if (path.empty()) return nullptr;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    const auto entry =
        reinterpret_cast<PloxwenWindowModuleEntry>(dlsym(library, PLOXWEN_WINDOW_MODULE_ENTRY));
    const PloxwenWindowModule* module = entry ? entry() : nullptr;
    if (!module || module->abi_version != PLOXWEN_WINDOW_MODULE_ABI_VERSION || !module->open_display ||
        !module->show_message || !module->show_form) {
        dlclose(library);
        return nullptr;
    }
    // A module whose display failed stays mapped: the toolkit may have left
    // handlers behind, and the process ends soon anyway.
    return module->open_display() == 0 ? module : nullptr;
}

PloxwenText Text(std::string_view bytes) {
    return PloxwenText{bytes.data(), bytes.size()};
}
#endif

}  // namespace

void PosixWindowing::SetFieldText(platform::Field field, std::u16string_view text) {
    (field == platform::Field::Text1 ? text1_ : text2_) = text;
}

std::u16string PosixWindowing::FieldText(platform::Field field) {
    return field == platform::Field::Text1 ? text1_ : text2_;
}

void PosixWindowing::ShowMessage(std::u16string_view prompt) {
    // Scripts read the message from stderr whether or not a window shows it.
    std::string line = EncodeUtf8Escaped(prompt);
    line.push_back('\n');
    const bool written = std::fwrite(line.data(), 1, line.size(), stderr) == line.size();
    std::fflush(stderr);
#if PLOXWEN_WINDOW_MODULE
    if (!window_module_) window_module_ = OpenWindowModule();
    if (window_module_) {
        StandDownLastResort();  // the user's time from here on, not the server's
        const std::string text = EncodeValidUtf8(prompt);
        window_module_->show_message(Text(kApplicationTitle), Text(text));
        return;
    }
#endif
    if (!written) throw platform::PlatformError("cannot write the message");
}

void PosixWindowing::ShowFormUntilClosed() {
#if PLOXWEN_WINDOW_MODULE
    if (!window_module_) return;
    StandDownLastResort();
    const std::string text1 = EncodeValidUtf8(text1_);
    const std::string text2 = EncodeValidUtf8(text2_);
    window_module_->show_form(Text(kFormCaption), Text(text1), Text(text2));
#endif
}

}  // namespace ploxwen::posix
