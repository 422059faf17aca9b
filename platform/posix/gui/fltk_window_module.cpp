// The window module on X11 with FLTK 1.3: the failure message box and the
// start-up window Form1. Loaded with dlopen() by the program only when the
// message must be shown; see platform/posix/window_module_abi.h.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "platform/app_icon.h"
#include "platform/posix/window_module_abi.h"

#ifdef PLOXWEN_WINDOW_TEST_COPY
#include <fstream>
#endif

namespace {

// The program hands over well-formed UTF-8 only (the ABI's promise).
std::string TextOf(PloxwenText text) {
    return text.bytes ? std::string(text.bytes, text.size) : std::string();
}

#ifdef PLOXWEN_WINDOW_TEST_COPY
// The desktop tests' copy of the module only: writes what a widget holds to PLOXWEN_TEST_DUMP_DIR/name,
// so tests can compare the shown texts byte for byte.
void Dump(const char* name, const char* text) {
    const char* dir = std::getenv("PLOXWEN_TEST_DUMP_DIR");
    if (!dir || !*dir) return;
    std::ofstream(std::string(dir) + "/" + name, std::ios::binary | std::ios::trunc) << (text ? text : "");
}
#else
void Dump(const char*, const char*) {}
#endif

// Sizes are given in pixels at 96 DPI, as the window was laid out, and follow
// the screen's DPI in steps of a quarter (120, 144, 192 DPI ...): the DPI
// derived from the screen's millimetres is never exact.
double Scale() {
    float h = 0, v = 0;
    Fl::screen_dpi(h, v);
    if (!(h > 0) || !std::isfinite(h)) return 1.0;
    return std::clamp(std::round(h / 96.0 * 4.0) / 4.0, 1.0, 4.0);
}

int Px(int at96, double scale) {
    return static_cast<int>(std::lround(at96 * scale));
}

// Losing the display while a window is up leaves FLTK unusable; the program
// then ends as it would after the window was closed.
void FatalX(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::_Exit(2);
}

void Quiet(const char*, ...) {}

// Xlib would exit(1) after this, which would claim "no printer matched".
int DisplayLost(Display*) {
    static const char kNote[] = "lost the connection to the display\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    std::_Exit(2);
}

// Xlib waits for the server without limit. A display that has not answered
// a step of putting up a window in this time is taken for no display: a stale
// DISPLAY (a server that accepts and says nothing, an address that swallows
// connections) must not keep a failed run from ending.
constexpr std::chrono::seconds kDisplayPatience(5);

// Set once a step overran: its thread is still inside Xlib, so neither Xlib
// nor FLTK may be called again. Only the calling thread reads and sets it.
bool display_stalled = false;

// Runs `step` on a thread of its own and waits at most kDisplayPatience for
// its result. A step that overruns is left behind, blocked on the display, so
// it owns what it touches (captured by value); the process ends soon anyway.
template <typename Result, typename Step>
std::optional<Result> WithinPatience(Step step) {
    if (display_stalled) return std::nullopt;
    std::packaged_task<Result()> task(std::move(step));
    std::future<Result> result = task.get_future();
    try {
        std::thread(std::move(task)).detach();
    } catch (const std::system_error&) {
        display_stalled = true;  // nothing could watch the display
        return std::nullopt;
    }
    if (result.wait_for(kDisplayPatience) != std::future_status::ready) {
        display_stalled = true;
        return std::nullopt;
    }
    return result.get();
}

// The server's greeting and FLTK's set-up, with its many round trips, answer
// for the display.
int OpenDisplay() {
    const std::optional<bool> opened = WithinPatience<bool>([] {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return false;
        Fl::fatal = FatalX;
        Fl::warning = Quiet;
        fl_open_display(display);
        XSetIOErrorHandler(DisplayLost);  // after FLTK has set its own
        Fl::visual(FL_DOUBLE | FL_INDEX);
        return true;
    });
    return opened.value_or(false) ? 0 : 1;
}

// --- Message box -------------------------------------------------------------

// Builds the box and maps it; returns once the server has taken the mapping.
std::unique_ptr<Fl_Double_Window> PutUpMessage(const std::string& title, const std::string& prompt) {
    const double scale = Scale();
    const int font_size = Px(13, scale);
    const int margin = Px(16, scale);
    const int button_w = Px(75, scale), button_h = Px(25, scale);

    fl_font(FL_HELVETICA, font_size);
    int text_w = Px(420, scale), text_h = 0;
    fl_measure(prompt.c_str(), text_w, text_h, 0);
    // The box draws its label inset; a little slack keeps the line from wrapping.
    text_w = std::max(text_w + Px(8, scale), Px(120, scale));
    const int w = std::max(text_w, button_w) + 2 * margin;
    const int h = margin + text_h + margin + button_h + Px(12, scale);

    auto window = std::make_unique<Fl_Double_Window>(w, h);
    window->copy_label(title.c_str());
    auto* text = new Fl_Box(margin, margin, text_w, text_h);  // the window owns its widgets
    text->copy_label(prompt.c_str());
    text->labelfont(FL_HELVETICA);
    text->labelsize(font_size);
    text->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    auto* ok = new Fl_Button((w - button_w) / 2, h - button_h - Px(12, scale), button_w, button_h, "OK");
    ok->labelsize(font_size);
    ok->shortcut(FL_Enter);  // the default button; Escape closes the box as well
    ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    window->end();
    window->set_modal();
    // Centred on the screen, as the system places a message box.
    window->position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
    window->show();
    ok->take_focus();
    XSync(fl_display, False);
    Dump("message.title", window->label());
    Dump("message.text", text->label());
    return window;
}

// Putting the box up is bounded like opening the display; a display that
// stalls then counts as none. The user may take as long as they like.
void ShowMessage(PloxwenText title_text, PloxwenText prompt_text) {
    const auto window = WithinPatience<std::unique_ptr<Fl_Double_Window>>(
        [title = TextOf(title_text), prompt = TextOf(prompt_text)] { return PutUpMessage(title, prompt); });
    if (!window) return;
    while ((*window)->shown()) Fl::wait();
}

// --- Form1 ---------------------------------------------------------------------

// The program's icon, the one PloxWen.exe carries (platform/app_icon.h).
Fl_RGB_Image* MakeIcon() {
    using ploxwen::icon::kHeight;
    using ploxwen::icon::kWidth;
    static unsigned char pixels[kWidth * kHeight * 4];  // RGBA, transparent where no rectangle paints
    for (const ploxwen::icon::Rect& rect : ploxwen::icon::kRects) {
        for (int y = rect.y0; y <= rect.y1; ++y) {
            for (int x = rect.x0; x <= rect.x1; ++x) {
                unsigned char* p = pixels + std::ptrdiff_t{4} * (y * kWidth + x);
                p[0] = static_cast<unsigned char>(rect.rgb >> 16);
                p[1] = static_cast<unsigned char>(rect.rgb >> 8);
                p[2] = static_cast<unsigned char>(rect.rgb);
                p[3] = 0xFF;
            }
        }
    }
    return new Fl_RGB_Image(pixels, kWidth, kHeight, 4);
}

// Form1 as put up: the window owns its fields; the icon outlives the window.
struct Form {
    std::unique_ptr<Fl_RGB_Image> icon;
    std::unique_ptr<Fl_Double_Window> window;
    Fl_Input* text1;
    Fl_Input* text2;
};

// Builds Form1 and maps it; returns once the server has taken the mapping.
std::unique_ptr<Form> PutUpForm(const std::string& caption, const std::string& value1,
                                const std::string& value2) {
    const double scale = Scale();
    const int font_size = Px(14, scale);

    auto form = std::make_unique<Form>();
    form->icon.reset(MakeIcon());
    form->window = std::make_unique<Fl_Double_Window>(Px(433, scale), Px(218, scale));
    Fl_Double_Window& window = *form->window;
    window.copy_label(caption.c_str());
    // Tab order is child order: Text1, then Text2.
    form->text1 = new Fl_Input(Px(56, scale), Px(40, scale), Px(129, scale), Px(41, scale));
    form->text2 = new Fl_Input(Px(264, scale), Px(40, scale), Px(121, scale), Px(41, scale));
    for (Fl_Input* field : {form->text1, form->text2}) {
        field->textsize(font_size);
        // No length limit, as the fields have none on Windows (FLTK's default
        // stops typing at 32767 bytes).
        field->maximum_size(std::numeric_limits<int>::max() / 2);
    }
    form->text1->value(value1.data(), static_cast<int>(value1.size()));
    form->text2->value(value2.data(), static_cast<int>(value2.size()));
    window.end();
    // The fields keep their place when the window is resized.
    window.size_range(Px(120, scale), Px(40, scale));
    // Escape does not close the window; the window manager's close does.
    window.callback([](Fl_Widget* widget, void*) {
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        widget->hide();
    });
    window.icon(form->icon.get());
    window.show();
    form->text1->take_focus();
    XSync(fl_display, False);
    Dump("form.caption", window.label());
    Dump("form.text1", form->text1->value());
    Dump("form.text2", form->text2->value());
    return form;
}

void ShowForm(PloxwenText caption_text, PloxwenText text1_text, PloxwenText text2_text) {
    const auto form = WithinPatience<std::unique_ptr<Form>>(
        [caption = TextOf(caption_text), value1 = TextOf(text1_text), value2 = TextOf(text2_text)] {
            return PutUpForm(caption, value1, value2);
        });
    if (!form) return;
    while ((*form)->window->shown()) Fl::wait();
    Dump("form.text1.closed", (*form)->text1->value());
    Dump("form.text2.closed", (*form)->text2->value());
}

const PloxwenWindowModule kModule = {
    PLOXWEN_WINDOW_MODULE_ABI_VERSION,
    OpenDisplay,
    ShowMessage,
    ShowForm,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PloxwenWindowModule* ploxwen_window_module(void) {
    return &kModule;
}
