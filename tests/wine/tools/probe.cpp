// Test-only probe: reads what a Wine test cannot see from outside, without
// OCR. Prints UTF-8 lines on stdout; exit status 0 when it found what it
// was asked for, 1 when not, 2 on bad usage.
//
//   probe window CAPTION   the visible top-level window captioned exactly
//                          CAPTION: its DPI, client size, the focused control, and each
//                          child in tab (Z) order with class, id, rectangle in
//                          client pixels, styles and text (read by WM_GETTEXT)
//   probe version FILE     FILE's version resource and its icon's format
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// Raw bytes to stdout: the test compares them as UTF-8.
void Print(const std::string& line) {
    const std::string out = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

std::wstring TextOf(HWND window) {
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (IsWindowVisible(window) && TextOf(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int ProbeWindow(const std::wstring& caption) {
    Search search{caption};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        Print("no visible window captioned " + Utf8(caption));
        return 1;
    }
    HWND window = search.found;
    HDC dc = GetDC(window);
    Print("dpi " + std::to_string(GetDeviceCaps(dc, LOGPIXELSX)) + " " +
          std::to_string(GetDeviceCaps(dc, LOGPIXELSY)));
    ReleaseDC(window, dc);
    RECT client{};
    GetClientRect(window, &client);
    Print("client " + std::to_string(client.right) + " " + std::to_string(client.bottom));
    Print("class " + Utf8(ClassOf(window)));
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus != nullptr) {
        Print("focus id=" + std::to_string(GetDlgCtrlID(thread.hwndFocus)));
    }
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        std::string line = "child " + Utf8(ClassOf(child)) + " id=" + std::to_string(GetDlgCtrlID(child)) +
                           " x=" + std::to_string(box.left) + " y=" + std::to_string(box.top) +
                           " w=" + std::to_string(box.right - box.left) +
                           " h=" + std::to_string(box.bottom - box.top);
        line += (style & WS_TABSTOP) ? " tabstop" : "";
        line += (style & ES_MULTILINE) && ClassOf(child) == L"Edit" ? " multiline" : "";
        line += (style & WS_VISIBLE) ? " visible" : "";
        if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
            line += SendMessageW(child, STM_GETICON, 0, 0) != 0 ? " icon-shown" : " no-icon";
        }
        Print(line + " text=" + Utf8(TextOf(child)));
    }
    return 0;
}

int ProbeVersion(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, data.data())) {
        Print("no version resource");
        return 1;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
        auto version = [](DWORD high, DWORD low) {
            return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
                   std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
        };
        Print("FixedFileVersion=" + version(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        Print("FixedProductVersion=" + version(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    }
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName", L"InternalName",
                                L"OriginalFilename", L"FileDescription"}) {
        wchar_t* value = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
            Print(Utf8(name) + "=" + Utf8(value));
        }
    }

    // The icon group as stored: each entry's width, height, colours and bits.
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return 1;
    if (HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) {  // RT_GROUP_ICON
        const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
        const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
        for (WORD i = 0; i < count; ++i) {
            const BYTE* entry = bytes + 6 + 14 * i;  // GRPICONDIRENTRY
            const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
            Print("icon " + std::to_string(entry[0]) + "x" + std::to_string(entry[1]) + " colours=" +
                  std::to_string(entry[2] == 0 ? 256 : entry[2]) + " bits=" + std::to_string(bits));
        }
    }
    FreeLibrary(module);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"window") return ProbeWindow(argv[2]);
    if (argc == 3 && std::wstring(argv[1]) == L"version") return ProbeVersion(argv[2]);
    std::fputs("usage: probe window CAPTION | probe version FILE\n", stderr);
    return 2;
}
