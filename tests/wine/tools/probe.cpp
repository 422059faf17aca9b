// Test-only probe of what a Wine test cannot see from outside, without OCR.
//   probe window CAPTION: for the visible top-level window captioned exactly CAPTION, UTF-8
//   lines with its DPI, client size, focused control, and each child in tab (Z) order with
//   class, id, rectangle in client pixels, styles and text. Status 0 found, 1 not, 2 bad usage.
#include <windows.h>

#include <cstdio>
#include <string>

// Raw UTF-8 bytes to stdout: the test compares them as such.
static void Print(const std::wstring& line) {
    std::string out(line.size() * 3 + 1, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
    out[static_cast<std::size_t>(size)] = '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(size) + 1, &written, nullptr);
}

static std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                                      reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

static int ProbeWindow(const std::wstring& caption) {
    HWND window = GetTopWindow(nullptr);  // top-level windows in Z order
    while (window != nullptr && !(IsWindowVisible(window) && TextOf(window) == caption))
        window = GetWindow(window, GW_HWNDNEXT);
    if (window == nullptr) {
        Print(L"no visible window captioned " + caption);
        return 1;
    }
    HDC dc = GetDC(window);
    Print(L"dpi " + std::to_wstring(GetDeviceCaps(dc, LOGPIXELSX)) + L" " +
          std::to_wstring(GetDeviceCaps(dc, LOGPIXELSY)));
    ReleaseDC(window, dc);
    RECT box{};
    GetClientRect(window, &box);
    Print(L"client " + std::to_wstring(box.right) + L" " + std::to_wstring(box.bottom));
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus != nullptr) {
        Print(L"focus id=" + std::to_wstring(GetDlgCtrlID(thread.hwndFocus)));
    }
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        wchar_t kind[256] = {};
        GetClassNameW(child, kind, 256);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        std::wstring line = L"child " + std::wstring(kind) + L" id=" + std::to_wstring(GetDlgCtrlID(child)) +
                            L" x=" + std::to_wstring(box.left) + L" y=" + std::to_wstring(box.top) + L" w=" +
                            std::to_wstring(box.right - box.left) + L" h=" +
                            std::to_wstring(box.bottom - box.top);
        line += (style & WS_TABSTOP) ? L" tabstop" : L"";
        line += (style & ES_MULTILINE) && kind == std::wstring(L"Edit") ? L" multiline" : L"";
        line += (style & WS_VISIBLE) ? L" visible" : L"";
        if (kind == std::wstring(L"Static") && (style & SS_TYPEMASK) == SS_ICON) {
            line += SendMessageW(child, STM_GETICON, 0, 0) != 0 ? L" icon-shown" : L" no-icon";
        }
        Print(line + L" text=" + TextOf(child));
    }
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"window") return ProbeWindow(argv[2]);
    std::fputs("usage: probe window CAPTION\n", stderr);
    return 2;
}
