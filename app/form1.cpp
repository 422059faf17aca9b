#include "app/form1.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "app/argument_intake.h"
#include "app/cause_line.h"
#include "app/payload_intake.h"
#include "printers/select_printer.h"
#include "rawprint/job_verdict.h"
#include "rawprint/raw_print_job.h"
#include "steps/run_step.h"

namespace ploxwen::app {
namespace {

using steps::ExitStatus;
using steps::RunStep;
using steps::RunStepMindingResources;

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
    platform::Cause& cause = platform_.cause;
    // The wait, the data type, the data's mode and its charset are checked
    // before anything is looked up or sent: a run that cannot do as asked
    // does nothing, with the cause named.
    std::optional<std::chrono::seconds> wait;
    rawprint::Asked spooling;
    PayloadRequest asked;
    if (!RunStep(cause,
                 [&] {
                     wait = rawprint::RequestedWait(platform_.process);
                     spooling = {wait.has_value(),
                                 rawprint::RequestedDataType(platform_.process, platform_.spooler)};
                 }) ||
        !RunStep(cause, [&] { asked = RequestedPayload(platform_.process, platform_.code_page); })) {
        exit_status_ = UnlessOwnFailure(ExitStatus::kCallRefused);
        End();
        return;
    }

    std::u16string argument_text;
    std::vector<std::u16string> parts;
    std::u16string saved_device_name;
    std::int16_t selection_result = printers::kFalse;

    RunStepMindingResources(cause, [&] { argument_text = platform_.process.ArgumentText(); });
    RunStepMindingResources(cause, [&] { parts = SplitArgumentText(argument_text); });
    RunStepMindingResources(cause, [&] { Text1.SetText(PieceAt(parts, 0)); });
    RunStepMindingResources(cause, [&] { Text2.SetText(PieceAt(parts, 1)); });
    // A name or data cut short for want of memory would look up or print
    // less than was typed.
    if (cause.resources_failed()) {
        exit_status_ = ExitStatus::kOwnFailure;
        End();
        return;
    }
    // A binary payload is in hand whole before the first lookup: data that
    // cannot be decoded or read sends nothing.
    std::unique_ptr<platform::Payload> in_hand;
    if (asked.mode != DataMode::kText &&
        !RunStep(cause, [&] { in_hand = PayloadInHand(asked.mode, Text2.Text(), platform_.process); })) {
        exit_status_ = UnlessOwnFailure(ExitStatus::kCallRefused);
        End();
        return;
    }
    RunStep([&] { saved_device_name = platform_.printing.CurrentDeviceName(); });
    const bool selection_ran = RunStep(
        cause, [&] { selection_result = printers::SelectPrinterByName(platform_.printing, Text1.Text()); });

    if (!selection_ran && cause.resources_failed()) {
        exit_status_ = ExitStatus::kOwnFailure;  // the printer may well exist: no message
        End();
        return;
    }
    if (!selection_ran) {
        // The selection failed part-way: whatever printer is current now may
        // not be the one named, so nothing is opened. Treated as a printer
        // that cannot be opened: the message, and the window stays.
        ShowNotRecognizedMessage(platform_.windowing);
        exit_status_ = ExitStatus::kNotReached;
        return;
    }
    if (selection_result != printers::kFalse) {
        rawprint::PayloadSource payload{[this] { return Text2.Text(); }};
        if (in_hand) payload.bytes = in_hand->Bytes();
        payload.code_page = asked.code_page.get();
        const rawprint::PrintResult printed = rawprint::RunPrintingBlock(platform_, payload, spooling);
        exit_status_ = UnlessOwnFailure(printed.status);
        if (exit_status_ == ExitStatus::kNotReached) {
            ShowNotRecognizedMessage(platform_.windowing);
            return;
        }
        if (exit_status_ == ExitStatus::kPrinted && wait) {
            exit_status_ = rawprint::WaitForVerdict(platform_.job_watch, cause, printed, *wait);
        }
    } else {
        exit_status_ = ExitStatus::kNoSuchPrinter;
        // Usage only where a separator was missing: with stdin, the name comes alone.
        NoteNoSuchPrinter(argument_text, asked.mode != DataMode::kStdin);
    }

    // Whether the saved printer came back is not looked at.
    RunStep([&] { printers::SelectPrinterByName(platform_.printing, saved_device_name); });
    End();
}

void Form1::NoteNoSuchPrinter(const std::u16string& argument_text, bool separator_expected) {
    RunStep(platform_.cause, [&] {
        const std::u16string typed = Text1.Text();
        std::optional<std::u16string> meant;
        RunStep([&] { meant = printers::NameMeant(platform_.printing, typed); });  // else no suggestion
        if (meant) meant = Printable(*meant);
        const bool usage = separator_expected && argument_text.find(kFieldSeparator) == std::u16string::npos;
        platform_.cause.Note(platform_.code_page.ToNarrow(
            NoSuchPrinterWords(Printable(typed), meant, usage, argument_text.empty())));
    });
}

ExitStatus Form1::UnlessOwnFailure(ExitStatus status) const {
    const bool no_job = status == ExitStatus::kNotReached || status == ExitStatus::kNoJob ||
                        status == ExitStatus::kCallRefused;
    return no_job && platform_.cause.resources_failed() ? ExitStatus::kOwnFailure : status;
}

void Form1::End() {
    WriteCause();
    RunStep([&] { platform_.process.EndProgram(Code(exit_status_)); });
}

void Form1::WriteCause() {
    if (cause_written_) return;
    cause_written_ = true;
    RunStep([&] {
        const std::string line = CauseLine(exit_status_, platform_.cause.words());
        if (!line.empty()) platform_.process.WriteCause(line);
    });
}

int RunApplication(const platform::Platform& platform) {
    Form1 form(platform);
    form.OnLoad();
    // Only after the failure message, or when ending the program failed.
    RunStep([&] { platform.windowing.ShowFormUntilClosed(); });
    form.WriteCause();
    return form.exit_status();
}

}  // namespace ploxwen::app
