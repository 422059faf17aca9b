// The start-up window and its load handler, which carries the program's whole
// task: split the argument text, select the named printer, print, put the
// previous printer back and end.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "rawprint/raw_print_job.h"
#include "steps/exit_status.h"

namespace ploxwen::app {

// Shown when the named printer cannot be selected or opened.
inline constexpr char16_t kNotRecognizedMessage[] = u"The Printer Name you typed wasn't recognized.";

// A single-line text field of the window, read and written through the
// platform's windowing (which keeps the text until the window is shown).
class TextField {
public:
    TextField(platform::Windowing& windowing, platform::Field field) : windowing_(windowing), field_(field) {}

    std::u16string Text() const { return windowing_.FieldText(field_); }
    void SetText(std::u16string_view text) { windowing_.SetFieldText(field_, text); }

private:
    platform::Windowing& windowing_;
    platform::Field field_;
};

class Form1 {
public:
    explicit Form1(const platform::Platform& platform);

    // Runs the load sequence once, before the window is shown. Ends the
    // program on every normal path; returns only after the failure message
    // (or when ending the program failed), and the window is shown then.
    void OnLoad();

    // The status the process reports; meaningful once OnLoad has run.
    int exit_status() const { return Code(exit_status_); }

    // Writes the run's cause line, if its status has one, at most once: just
    // before the program ends (at the end of OnLoad, or after the window has
    // closed). The status itself goes with the end.
    void WriteCause();

    TextField Text1;  // printer name
    TextField Text2;  // data

private:
    // `status`, unless the run's first failure was the program's own (out of
    // memory) and no job of the run exists: that failure is then the outcome.
    steps::ExitStatus UnlessOwnFailure(steps::ExitStatus status) const;
    // Writes the cause line and ends the program with the status.
    void End();
    // Notes status 1's words: the name typed, the one meant, the usage.
    void NoteNoSuchPrinter(const std::u16string& argument_text, bool separator_expected);

    platform::Platform platform_;
    steps::ExitStatus exit_status_ = steps::ExitStatus::kNotReached;
    bool cause_written_ = false;
};

// Start-up as the platform performs it: create the window, run its load
// handler, and show the window if the handler returns. Returns the status
// for a process whose window was closed.
int RunApplication(const platform::Platform& platform);

}  // namespace ploxwen::app
