#include "app/form1.h"

#include <cstdint>
#include <vector>

#include "app/argument_intake.h"
#include "app/last_words.h"
#include "printers/select_printer.h"
#include "rawprint/job_verdict.h"
#include "rawprint/raw_print_job.h"
#include "steps/run_step.h"

namespace ploxwen::app {
namespace {

using steps::RunStep;

// A failure to show the message is absorbed like any step's.
void ShowNotRecognizedMessage(platform::Windowing& windowing) {
    RunStep([&] { windowing.ShowMessage(kNotRecognizedMessage); });
}

}  // namespace

Form1::Form1(const platform::Platform& platform)
    : Text1(platform.windowing, platform::Field::Text1),
      Text2(platform.windowing, platform::Field::Text2),
      platform_(platform) {}

void Form1::OnLoad() {
    // The wait is checked before anything is looked up or sent: a run that
    // cannot keep the wait asked for does nothing. One whose wait cannot be
    // read is refused alike, rather than print without it.
    std::optional<std::chrono::seconds> wait;
    bool wait_allowed = false;
    RunStep([&] {
        const std::optional<std::string> text = platform_.job_watch.RequestedWait();
        if (text) wait = rawprint::ParseWait(*text);
        wait_allowed = !text || wait;
    });
    if (!wait_allowed) {
        exit_status_ = ExitStatus::kUsageError;
        End();
        return;
    }

    std::u16string argument_text;
    std::vector<std::u16string> parts;
    std::u16string saved_device_name;
    std::int16_t selection_result = printers::kFalse;

    RunStep([&] { argument_text = platform_.windowing.ArgumentText(); });
    RunStep([&] { parts = SplitArgumentText(argument_text); });
    RunStep([&] { Text1.SetText(PieceAt(parts, 0)); });
    RunStep([&] { Text2.SetText(PieceAt(parts, 1)); });
    RunStep([&] { saved_device_name = platform_.printing.CurrentDeviceName(); });
    const bool selection_ran =
        RunStep([&] { selection_result = printers::SelectPrinterByName(platform_.printing, Text1.Text()); });

    if (!selection_ran) {
        // The selection failed part-way: whatever printer is current now may
        // not be the one named, so nothing is opened. Treated as a printer
        // that cannot be opened: the message, and the window stays.
        ShowNotRecognizedMessage(platform_.windowing);
        exit_status_ = ExitStatus::kNotRecognized;
        return;
    }
    if (selection_result != printers::kFalse) {
        const rawprint::PrintResult printed =
            rawprint::RunPrintingBlock(platform_, [this] { return Text2.Text(); });
        switch (printed.outcome) {
            case rawprint::PrintOutcome::kNotOpened:
                ShowNotRecognizedMessage(platform_.windowing);
                exit_status_ = ExitStatus::kNotRecognized;
                return;
            case rawprint::PrintOutcome::kPrinted:
                exit_status_ = ExitStatus::kPrinted;
                if (wait) AwaitVerdict(printed, *wait);
                break;
            case rawprint::PrintOutcome::kSpoolerFailed:
                exit_status_ = ExitStatus::kSpoolerCallFailed;
                break;
            case rawprint::PrintOutcome::kUnconfirmed:
                exit_status_ = ExitStatus::kJobUnconfirmed;
                break;
        }
    } else {
        exit_status_ = ExitStatus::kNoPrinterMatched;
    }

    // Whether the saved printer came back is not looked at.
    RunStep([&] { printers::SelectPrinterByName(platform_.printing, saved_device_name); });
    End();
}

void Form1::AwaitVerdict(const rawprint::PrintResult& printed, std::chrono::seconds wait) {
    rawprint::JobVerdict verdict;  // a watch that fails gives no verdict
    RunStep([&] {
        verdict =
            rawprint::WaitForVerdict(platform_.job_watch, printed.printer_name.c_str(), printed.job_id, wait);
    });
    switch (verdict.verdict) {
        case rawprint::Verdict::kPrinted:
            exit_status_ = ExitStatus::kPrinted;
            break;
        case rawprint::Verdict::kNotPrinted:
            exit_status_ = ExitStatus::kNotPrinted;
            break;
        case rawprint::Verdict::kNotPrintedYet:
            exit_status_ = ExitStatus::kNotPrintedYet;
            break;
    }
    own_cause_ = verdict.cause;
}

void Form1::End() {
    SayLastWords();
    RunStep([&] { platform_.windowing.EndProgram(Code(exit_status_)); });
}

void Form1::SayLastWords() {
    if (said_last_words_) return;
    said_last_words_ = true;
    RunStep([&] {
        const std::string cause =
            CauseLine(exit_status_, own_cause_.empty() ? platform_.spooler.FailureCause() : own_cause_);
        if (!cause.empty()) platform_.windowing.SayCause(cause);
    });
}

int RunApplication(const platform::Platform& platform) {
    Form1 form(platform);
    form.OnLoad();
    // Only after the failure message, or when ending the program failed.
    RunStep([&] { platform.windowing.ShowFormUntilClosed(); });
    form.SayLastWords();
    return form.exit_status();
}

}  // namespace ploxwen::app
