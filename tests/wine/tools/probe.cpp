// Test-only probe: reads what a Wine test cannot see from outside, without
// OCR. Prints UTF-8 lines on stdout; exit status 0 when it found what it
// was asked for, 1 when not, 2 on bad usage.
//
//   probe window CAPTION   the visible top-level window captioned exactly
//                          CAPTION: its DPI, client size, the focused control, and each
//                          child in tab (Z) order with class, id, rectangle in
//                          client pixels, styles and text (read by WM_GETTEXT)
#include <windows.h>

#include <cstdio>
#include <string>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"window") return ProbeWindow(argv[2]);
    std::fputs("usage: probe window CAPTION\n", stderr);
    return 2;
}
