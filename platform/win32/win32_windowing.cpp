#include "platform/win32/win32_windowing.h"

#include "platform/win32/resource.h"
#include "platform/win32/winspool_deadline.h"

namespace ploxwen::win32 {
namespace {

constexpr wchar_t kApplicationTitle[] = L"PloxWen";
constexpr wchar_t kFormClass[] = L"PloxWenForm1";
constexpr wchar_t kFormCaption[] = L"Ploxwen";

// Form1's layout in twips (1/1440 inch).
constexpr int kClientWidth = 6495;
constexpr int kClientHeight = 3270;
struct FieldPlacement {
    int left, top, width, height;
};
constexpr FieldPlacement kText1{840, 600, 1935, 615};
constexpr FieldPlacement kText2{3960, 600, 1815, 615};

int TwipsToPixels(int twips, int dots_per_inch) {
    return MulDiv(twips, dots_per_inch, 1440);
}

std::size_t Slot(platform::Field field) {
    return field == platform::Field::Text1 ? 0 : 1;
}

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

Win32Windowing::Win32Windowing(HINSTANCE instance, int show_command)
    // A window the user cannot see could never be closed.
    : instance_(instance), show_command_(show_command == SW_HIDE ? SW_SHOWNORMAL : show_command) {}

Win32Windowing::~Win32Windowing() {
    if (font_ != nullptr) DeleteObject(font_);
}

void Win32Windowing::SetFieldText(platform::Field field, std::u16string_view text) {
    texts_[Slot(field)] = ToWide(text);
}

std::u16string Win32Windowing::FieldText(platform::Field field) {
    const std::wstring& text = texts_[Slot(field)];
    return std::u16string(text.begin(), text.end());
}

void Win32Windowing::ShowMessage(std::u16string_view prompt) {
    StandDownLastResort();  // the user's time from here on
    const std::wstring text = ToWide(prompt);
    if (MessageBoxW(nullptr, text.c_str(), kApplicationTitle, MB_OK | MB_TASKMODAL) == 0) {
        throw platform::PlatformError("cannot show the message");
    }
}

void Win32Windowing::CreateForm() {
    WNDCLASSEXW form_class{};
    form_class.cbSize = sizeof form_class;
    form_class.lpfnWndProc = FormProcedure;
    form_class.hInstance = instance_;
    form_class.hIcon =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    form_class.hIconSm =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    form_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form_class.lpszClassName = kFormClass;
    if (RegisterClassExW(&form_class) == 0) throw platform::PlatformError("cannot register Form1's class");

    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
    form_ = CreateWindowExW(0, kFormClass, kFormCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, nullptr, nullptr, instance_, nullptr);
    if (form_ == nullptr) throw platform::PlatformError("cannot create Form1");

    // Twips become pixels at the resolution the window is drawn with.
    HDC dc = GetDC(form_);
    const int dpi_x = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    const int dpi_y = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(form_, dc);

    RECT frame{0, 0, TwipsToPixels(kClientWidth, dpi_x), TwipsToPixels(kClientHeight, dpi_y)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    SetWindowPos(form_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }

    // Created in tab order: Text1, then Text2.
    const FieldPlacement placements[] = {kText1, kText2};
    for (std::size_t slot = 0; slot < edits_.size(); ++slot) {
        const FieldPlacement& at = placements[slot];
        edits_[slot] = CreateWindowExW(
            WS_EX_CLIENTEDGE, L"EDIT", texts_[slot].c_str(),
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, TwipsToPixels(at.left, dpi_x),
            TwipsToPixels(at.top, dpi_y), TwipsToPixels(at.width, dpi_x), TwipsToPixels(at.height, dpi_y),
            form_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kText1Id + slot)), instance_, nullptr);
        if (edits_[slot] == nullptr) throw platform::PlatformError("cannot create a field");
        if (font_ != nullptr) SendMessageW(edits_[slot], WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
}

void Win32Windowing::ShowFormUntilClosed() {
    StandDownLastResort();
    if (form_ == nullptr) CreateForm();
    ShowWindow(form_, show_command_);
    SetFocus(edits_[0]);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and Shift+Tab move between the fields.
        if (!IsDialogMessageW(form_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace ploxwen::win32
