// The start-up window and its load handler, which carries the program's whole
// task: split the argument text, select the named printer, print, put the
// previous printer back and end.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "app/exit_status.h"
#include "platform/platform.h"
#include "rawprint/raw_print_job.h"

namespace ploxwen::app {

// Shown when the named printer cannot be selected or opened.
inline constexpr char16_t kNotRecognizedMessage[] = u"The Printer Name you typed wasn't recognized.";

// A single-line text field of the window; its text lives in the platform's
// window, so reading and writing it can fail like any platform call.
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

    // The run's last words: the cause line of a failure a script can act on,
    // said once, just before the program ends (at the end of OnLoad, or after
    // the window has closed). The status itself goes with the end.
    void SayLastWords();

    TextField Text1;  // printer name
    TextField Text2;  // data

private:
    // After a clean job, when a wait was asked for: the spooler's verdict
    // decides the status (0, 5 or 6) and names the cause.
    void AwaitVerdict(const rawprint::PrintResult& printed, std::chrono::seconds wait);
    // Says the last words and ends the program with the status.
    void End();

    platform::Platform platform_;
    ExitStatus exit_status_ = ExitStatus::kNotRecognized;
    std::string own_cause_;  // the cause of a verdict; else the spooler's
    bool said_last_words_ = false;
};

// Start-up as the platform performs it: create the window, run its load
// handler, and show the window if the handler returns. Returns the status
// for a process whose window was closed.
int RunApplication(const platform::Platform& platform);

}  // namespace ploxwen::app
