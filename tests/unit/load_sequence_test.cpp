// The load sequence on the in-memory platform: every step of a run failing
// where a backend can fail, alone and in pairs, and the situations a user
// meets, each checked against the oracle of what must follow.
#include <gtest/gtest.h>

#include "app/argument_intake.h"
#include "app/form1.h"
#include "fake/load_oracle.h"

namespace ploxwen::app {
namespace {

using fake::Fails;
using fake::FakePlatform;
using fake::Fault;
using fake::Op;
using fake::Step;
using oracle::Outcome;
using steps::Code;
using steps::ExitStatus;

FakePlatform Arranged(std::u16string argument = u"Virtual¦HELLO¦ignored") {
    FakePlatform fake;
    fake.printers = {u"Office", u"Virtual"};
    fake.current = 0;
    fake.argument_text = std::move(argument);
    return fake;
}

// Runs the load sequence; says why it did not end as `want` (by default:
// as the oracle says for the faults that took effect).
std::string Check(FakePlatform& fake, std::optional<Outcome> want = std::nullopt,
                  const std::optional<std::string>& bytes = std::nullopt) {
    const std::u16string saved = fake.CurrentName();
    const std::vector<std::u16string> pieces = SplitArgumentText(fake.argument_text);
    Form1 form(fake.AsPlatform());
    form.OnLoad();  // absorbs every failure
    if (!want) want = oracle::Combine(oracle::Effects(fake.fired));
    return oracle::Mismatch(fake, form.exit_status(), *want, pieces.empty() ? u"" : pieces[0],
                            pieces.size() < 2 ? u"" : pieces[1], saved, bytes);
}

bool IsSpoolerStep(Step step) {
    return step == Step::kOpen || (step >= Step::kStartDoc && step <= Step::kClose &&
                                   step != Step::kPayloadConversion && step != Step::kDataField);
}

// Every step an undisturbed run takes, failing each way it can: the message
// comes only after a failure, the look only with a wait.
std::vector<Fault> EachFault() {
    std::vector<Fault> faults;
    for (int s = 0; s <= static_cast<int>(Step::kEnd); ++s) {
        const auto step = static_cast<Step>(s);
        if (step == Step::kLook || step == Step::kKeep || step == Step::kMessage) continue;
        faults.push_back({step, Fails::kThrows});
        if (IsSpoolerStep(step)) faults.push_back({step, Fails::kReturnsZero});
        if (step == Step::kWrite) faults.push_back({step, Fails::kWritesShort});
    }
    return faults;
}

const char* const kHow[] = {"throws", "returns zero", "writes short", "runs out of memory"};
std::string Describe(const std::vector<Fault>& faults) {
    std::string text;
    for (const Fault& f : faults) text += fake::NameOf(f.step) + " " + kHow[static_cast<int>(f.how)] + "; ";
    return text;
}

TEST(LoadSequence, EachFailingStepIsAbsorbedAndTheRunGoesOnAsTheOracleSays) {
    for (const Fault& fault : EachFault()) {
        FakePlatform fake = Arranged();
        fake.faults = {fault};
        ASSERT_NE(oracle::After(fault), nullptr) << "no row for " << Describe({fault});
        EXPECT_EQ(Check(fake, *oracle::After(fault)), "") << Describe({fault});
        EXPECT_EQ(fake.fired.size(), 1u) << Describe({fault}) << "never reached";
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), Op::KeepJob), 0) << "kept without a wait";
    }
}

bool NoMatch(const Fault& fault) {
    return oracle::After(fault) && oracle::After(fault)->status == Code(ExitStatus::kNoSuchPrinter);
}

TEST(LoadSequence, TwoFailingStepsEndAsTheirOutcomesCombined) {
    std::vector<Fault> faults = EachFault();
    faults.push_back({Step::kMessage, Fails::kThrows});
    int pairs = 0;
    for (const Fault& a : faults) {
        for (const Fault& b : faults) {
            // After a name that matches nothing only the search and the restore run:
            // the single faults cover it.
            if (a.step == b.step || NoMatch(a) || NoMatch(b)) continue;
            FakePlatform fake = Arranged();
            fake.faults = {a, b};
            ++pairs;
            EXPECT_EQ(Check(fake), "") << Describe({a, b});
        }
    }
    std::cout << pairs << " pairs of failing steps\n";
}

TEST(LoadSequence, NamesMatchExactlyAndPrintOnlyWhatTheCodePageSpells) {
    const struct {
        std::u16string argument;
        Outcome want;
    } cases[] = {
        {u"virtual¦HELLO", oracle::kNoMatch},    // case counts
        {u"Virtual ¦HELLO", oracle::kNoMatch},   // so does a trailing space
        {u"¦HELLO", oracle::kNoMatch},           // no name at all
        {u"Virtual", oracle::kPrinted},          // no separator: an empty document
        {u"Virtual¦\x1B@Ä€", oracle::kPrinted},  // € has no Latin-1 code: '?'
        // Narrowed with a replacement, "Drucker€" would open "Drucker?".
        {u"Drucker€¦HELLO", oracle::kOpenFailed},
    };
    for (const auto& c : cases) {
        FakePlatform fake = Arranged(c.argument);
        fake.printers = {u"Office", u"Virtual", u"virtual ", u"Drucker?", u"Drucker€"};
        EXPECT_EQ(Check(fake, c.want), "") << std::string(c.argument.begin(), c.argument.end());
    }
    FakePlatform refusing = Arranged();
    refusing.unopenable = {u"Virtual"};
    EXPECT_EQ(Check(refusing, oracle::kOpenRefused), "");
}

// Where a started document is already a job (winspool), a failure after the
// start can no longer mean "no job"; the spooler's refusal of the document can.
TEST(LoadSequence, NoJobIsReportedOnlyWhereTheSpoolerCertainlyHoldsNone) {
    for (const Fault& fault : EachFault()) {
        const oracle::Outcome* after = oracle::After(fault);
        if (after->status < 3 || after->status > 4) continue;
        for (const bool job_at_start : {false, true}) {
            for (const bool refusal : {false, true}) {
                FakePlatform fake = Arranged();
                fake.faults = {fault};
                fake.started_document_is_job = job_at_start;
                fake.zero_is_refusal = refusal;
                const bool started = fault.step != Step::kStartDoc && fault.step != Step::kRecordConversion;
                oracle::Outcome want = *after;
                if (job_at_start && started) want.status = 4;
                if (refusal && fault.how == Fails::kReturnsZero) want.status = 3;
                EXPECT_EQ(Check(fake, want), "") << Describe({fault}) << job_at_start << refusal;
            }
        }
    }
}

// The program's own memory failing is never a missing printer or a spooler
// fault: where no job of the run can exist it ends the run with 71 and its
// cause line, with no message (the printer may well exist); where one may,
// as the step's own failure does.
TEST(LoadSequence, RunningOutOfMemoryEndsWith71WhereNoJobExists) {
    for (const Fault& each : EachFault()) {
        if (each.how != Fails::kThrows) continue;
        const Fault fault{each.step, Fails::kRunsOutOfMemory};
        for (const bool job_at_start : {false, true}) {
            FakePlatform fake = Arranged();
            fake.faults = {fault};
            fake.started_document_is_job = job_at_start;
            Outcome want = *oracle::After(fault);
            if (job_at_start && want.status == 71 && fault.step >= Step::kDataField) want.status = 4;
            EXPECT_EQ(Check(fake, want), "") << Describe({fault}) << job_at_start;
            if (want.status == 71 || want.status == 4) {
                EXPECT_EQ(fake.causes, std::vector<std::string>{"out of memory"}) << Describe({fault});
            }
        }
    }
}

// PLOXWEN_WAIT on the fake's clock: what the looks at the job find, and the
// status and cause line the run must end with. The job itself is sent as
// without a wait, watched only once it is closed cleanly, and left alone.
TEST(LoadSequence, AWaitEndsWithTheSpoolersVerdict) {
    using platform::JobPhase;
    const auto report = [](JobPhase phase, const char* state, const char* reason = "") {
        return platform::JobReport{phase, "Virtual-42", state, reason};
    };
    const platform::JobReport failing = report(JobPhase::kWaiting, FakePlatform::kLookFails, "server gone"),
                              gone = report(JobPhase::kGone, ""),
                              kept_pending{JobPhase::kWaiting, "Virtual-42", "pending", "", true};
    const platform::JobReport pending = report(JobPhase::kWaiting, "pending"),
                              processing = report(JobPhase::kWaiting, "processing"),
                              completed = report(JobPhase::kCompleted, "completed");
    const struct {
        std::string wait;
        std::vector<platform::JobReport> looks;  // the last one repeats
        std::vector<Fault> faults;
        int status;
        std::string cause;
    } cases[] = {
        {"1", {completed}, {}, 0, ""},
        {"3600", {pending, processing, pending, completed}, {}, 0, ""},
        {"5",
         {processing, report(JobPhase::kStopped, "aborted", "device failed")},
         {},
         5,
         "job Virtual-42 aborted: device failed"},
        {"5",
         {report(JobPhase::kStopped, "pending", "printer stopped (media-empty)")},
         {},
         5,
         "job Virtual-42 pending: printer stopped (media-empty)"},
        // A reason forging a second cause line and clearing the terminal stays one inert line.
        {"5",
         {report(JobPhase::kStopped, "aborted",
                 "failed\r\n\x1B[2Jploxwen: job Virtual-1 printed OK\xC2\x9B\x7F")},
         {},
         5,
         "job Virtual-42 aborted: failed???[2Jploxwen: job Virtual-1 printed OK??"},
        {"2",
         {report(JobPhase::kWaiting, "pending", "queue disabled")},
         {},
         6,
         "job Virtual-42 still pending after 2 s: queue disabled"},
        {"3", {pending, processing, pending, processing}, {}, 6, "job Virtual-42 still processing after 3 s"},
        // A failed look is made again until the wait ends; the last one's words if it failed too.
        {"5", {pending, completed}, {{Step::kLook, Fails::kThrows}}, 0, ""},
        {"2", {pending, failing}, {}, 6, "server gone"},
        {"2", {failing, failing, pending}, {}, 6, "job Virtual-42 still pending after 2 s"},
        {"5", {completed}, {{Step::kEndDoc, Fails::kReturnsZero}}, 4, "EndDocPrinter returned zero"},
        // Seen kept, a job that leaves the queue was deleted; else it may have printed and been forgotten.
        {"5", {kept_pending, gone}, {}, 5, "job Virtual-42 was deleted from the queue"},
        {"5",
         {pending, gone},
         {},
         6,
         "job Virtual-42 left the queue without a verdict (the spooler did not keep it)"},
        {"5",
         {pending, gone},
         {{Step::kKeep, Fails::kThrows}},
         6,
         "job Virtual-42 left the queue without a verdict (not kept: keep the job failed)"},
        {"1",
         {pending},
         {{Step::kKeep, Fails::kThrows}},
         6,
         "job Virtual-42 still pending after 1 s (not kept: keep the job failed)"},
        {"1", {completed}, {{Step::kKeep, Fails::kThrows}}, 0, ""},
    };
    for (const auto& c : cases) {
        FakePlatform fake = Arranged();
        fake.environment["PLOXWEN_WAIT"] = c.wait;
        fake.looks = c.looks;
        fake.faults = c.faults;
        Outcome want = c.status == 4 ? oracle::JobMayExist() : oracle::kPrinted;
        want.status = c.status;
        EXPECT_EQ(Check(fake, want), "") << c.cause;
        EXPECT_EQ(fake.causes, c.cause.empty() ? std::vector<std::string>{} : std::vector{c.cause});
        const std::chrono::seconds wait(std::stoi(c.wait));
        EXPECT_LE(fake.clock, wait) << c.cause;
        // Kept right after the start; let go only once seen printed, so one without a verdict stays listed.
        const bool kept = c.faults.empty() || c.faults[0].step != Step::kKeep;
        const auto start = std::find(fake.calls.begin(), fake.calls.end(), Op::StartDocPrinterA);
        EXPECT_EQ(std::vector<Op>(start + 1, start + 3),
                  (std::vector<Op>{Op::KeepJob, Op::StartPagePrinter}));
        EXPECT_EQ(fake.kept, kept ? std::optional(FakePlatform::kFirstHandle) : std::nullopt) << c.cause;
        EXPECT_EQ(fake.released, c.status == 4 ? std::nullopt : std::optional(kept && c.status == 0))
            << c.cause;
        if (c.status == 6 && c.looks.back().phase == JobPhase::kWaiting && (c.faults.empty() || !kept)) {
            EXPECT_EQ(fake.clock, wait) << "the last look ends the wait";
        }
        if (c.status == 4) {
            EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), Op::LookAtJob), 0);
            continue;
        }
        // Right after the close, before the saved printer is restored.
        std::vector<Op> watch(fake.looked_at.size() + 2, Op::LookAtJob);
        watch.front() = Op::BeginWatch, watch.back() = Op::EndWatch;
        const auto close = std::find(fake.calls.begin(), fake.calls.end(), Op::ClosePrinter);
        EXPECT_EQ(std::vector<Op>(close + 1, close + 1 + std::ptrdiff_t(watch.size())), watch) << c.cause;
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), Op::LookAtJob), long(watch.size() - 2));
        EXPECT_EQ(fake.watch_began, wait);
        for (const auto& look : fake.looked_at) EXPECT_EQ(look, std::make_pair(std::string("Virtual"), 42u));
    }
    // Nothing is looked up or sent for a wait that is not allowed.
    for (const char* text : {"abc", "0", "-5", "99999", "10s", "3601", " 5", "+5", "1.5"}) {
        FakePlatform fake = Arranged();
        fake.environment["PLOXWEN_WAIT"] = text;
        EXPECT_EQ(Check(fake, oracle::kRefused), "") << text;
        EXPECT_EQ(fake.calls, (std::vector<Op>{Op::EnvironmentVariable, Op::EndProgram})) << text;
        EXPECT_EQ(fake.causes,
                  std::vector<std::string>{"PLOXWEN_WAIT must be a whole number of seconds from 1 to 3600"});
    }
}

// PLOXWEN_DATA and PLOXWEN_CODEPAGE: the payload the one write carries, or
// a refusal with its cause line, nothing looked up or sent.
TEST(LoadSequence, TheDataModesSendExactlyWhatTheyDecodeOrRead) {
    const std::string every = [] {
        std::string bytes;
        for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
        return bytes;
    }();
    const struct {
        std::u16string argument;
        std::string mode, code_page;
        std::string want;  // the payload, or the cause line of a refusal
        Outcome outcome = oracle::kPrinted;
    } cases[] = {
        {u"Virtual¦1b 70 00\t19\r\nFA", "hex", "", std::string("\x1bp\0\x19\xfa", 5)},
        {u"Virtual¦", "hex", "", ""},
        {u"Virtual¦G1", "hex", "", "PLOXWEN_DATA=hex: not a hex digit at character 1", oracle::kDataRefused},
        {u"Virtual¦1b 7 00", "hex", "", "PLOXWEN_DATA=hex: a lone hex digit at character 4",
         oracle::kDataRefused},
        {u"Virtual¦€1b", "hex", "", "PLOXWEN_DATA=hex: not a hex digit at character 1", oracle::kDataRefused},
        {u"Virtual¦G3AA GfoA", "base64", "", std::string("\x1bp\0\x19\xfa\0", 6)},
        {u"Virtual¦QQ==", "base64", "", "A"},
        {u"Virtual¦QUI", "base64", "", "AB"},
        {u"Virtual¦QUJDRA", "base64", "", "ABCD"},
        {u"Virtual¦QUJDR", "base64", "", "PLOXWEN_DATA=base64: a lone base64 character at character 5",
         oracle::kDataRefused},
        {u"Virtual¦QQ===", "base64", "", "PLOXWEN_DATA=base64: misplaced padding at character 5",
         oracle::kDataRefused},
        {u"Virtual¦=QQ", "base64", "", "PLOXWEN_DATA=base64: misplaced padding at character 1",
         oracle::kDataRefused},
        {u"Virtual¦QQ-", "base64", "", "PLOXWEN_DATA=base64: not a base64 character at character 3",
         oracle::kDataRefused},
        {u"Virtual¦/every", "file", "", every},
        {u"Virtual¦/gone", "file", "", "PLOXWEN_DATA=file: cannot open /gone: no such file",
         oracle::kDataRefused},
        {u"Virtual", "stdin", "", every},
        {u"Virtual¦", "stdin", "", every},
        {u"Virtual¦X", "stdin", "", "PLOXWEN_DATA=stdin takes no data after \u00A6", oracle::kDataRefused},
        {u"Virtual¦Ä€x", "", "ASCII", "??x"},
        // Unknown values, or a charset for bytes, are refused before anything is read.
        {u"Virtual¦X", "Hex", "", "PLOXWEN_DATA must be one of hex, base64, file, stdin", oracle::kRefused},
        {u"Virtual¦X", "", "EBCDIC\n", "PLOXWEN_CODEPAGE=EBCDIC?: no such charset", oracle::kRefused},
        {u"Virtual¦X", "file", "ASCII", "PLOXWEN_CODEPAGE applies to text only, not to PLOXWEN_DATA=file",
         oracle::kRefused},
    };
    for (const auto& c : cases) {
        FakePlatform fake = Arranged(c.argument);
        fake.environment = {{"PLOXWEN_DATA", c.mode}, {"PLOXWEN_CODEPAGE", c.code_page}};
        fake.files[u"/every"] = every;
        fake.standard_input = every;
        const bool refused = c.outcome.status == 64;
        EXPECT_EQ(Check(fake, c.outcome, refused ? std::nullopt : std::optional(c.want)), "") << c.want;
        EXPECT_EQ(fake.causes, refused ? std::vector{c.want} : std::vector<std::string>{});
    }
    // Without a pipe or file, standard input is a terminal nobody would end.
    FakePlatform terminal = Arranged(u"Virtual");
    terminal.environment = {{"PLOXWEN_DATA", "stdin"}};
    EXPECT_EQ(Check(terminal, oracle::kDataRefused), "");
    EXPECT_EQ(terminal.causes, std::vector<std::string>{"PLOXWEN_DATA=stdin: standard input is a terminal"});
}

// Status 1 says which name matched nothing, the name meant, and the usage where the bar is missing.
TEST(LoadSequence, NoMatchNamesTheNameAndSuggestsTheOneMeant) {
    const std::string usage =
        "\nusage: ploxwen \"PRINTER\xA6"
        "DATA\" (see ploxwen(1))";
    const struct {
        std::u16string argument;
        std::string mode, cause;
    } cases[] = {
        {u"virtual¦X", "", "no printer named \"virtual\" (did you mean \"Virtual\"?)"},
        {u" VIRTUAL ¦X", "", "no printer named \" VIRTUAL \" (did you mean \"Virtual\"?)"},
        {u"Virtu¦X", "", "no printer named \"Virtu\""},
        {u"office", "", "no printer named \"office\" (did you mean \"Office\"?)" + usage},
        {u"office", "stdin", "no printer named \"office\" (did you mean \"Office\"?)"},
        {u"Off\x1b[2Kice\nX¦X", "", "no printer named \"Off?[2Kice?X\""},
        {u"", "", "no argument" + usage},
    };
    for (const auto& c : cases) {
        FakePlatform fake = Arranged(c.argument);
        fake.environment = {{"PLOXWEN_DATA", c.mode}};
        fake.standard_input = "";
        EXPECT_EQ(Check(fake, oracle::kNoMatch), "") << c.cause;
        EXPECT_EQ(fake.causes, std::vector{c.cause});
    }
}

// PLOXWEN_DATATYPE: the document's data type, or a refusal before anything is looked up.
TEST(LoadSequence, ADataTypeAskedForIsTheDocumentsOrRefusedBeforeAnything) {
    const struct {
        const char* asked;
        bool takes_xps_pass;                   // false: the spooler takes RAW only, as CUPS
        const char* driver;                    // what "auto" finds
        std::optional<std::string> data_type;  // nullopt: refused
        std::string cause;
    } cases[] = {
        {"RAW", false, "RAW", "RAW", ""},
        {"XPS_PASS", true, "RAW", "XPS_PASS", ""},
        {"auto", true, "XPS_PASS", "XPS_PASS", ""},
        {"auto", false, "RAW", "RAW", ""},
        {"XPS_PASS", false, "RAW", {}, "PLOXWEN_DATATYPE=XPS_PASS is not a data type this spooler takes"},
        {"raw", true, "RAW", {}, "PLOXWEN_DATATYPE must be RAW, XPS_PASS or auto"},
        {"EMF", true, "RAW", {}, "PLOXWEN_DATATYPE must be RAW, XPS_PASS or auto"},
    };
    for (const auto& c : cases) {
        FakePlatform fake = Arranged();
        fake.environment["PLOXWEN_DATATYPE"] = c.asked;
        fake.takes_xps_pass = c.takes_xps_pass;
        fake.driver_data_type = c.driver;
        Form1 form(fake.AsPlatform());
        form.OnLoad();
        EXPECT_EQ(fake.causes, c.cause.empty() ? std::vector<std::string>{} : std::vector{c.cause})
            << c.asked;
        if (!c.data_type) {
            EXPECT_EQ(form.exit_status(), Code(ExitStatus::kCallRefused)) << c.asked;
            EXPECT_EQ(fake.calls,
                      (std::vector<Op>{Op::EnvironmentVariable, Op::EnvironmentVariable, Op::EndProgram}));
            continue;
        }
        EXPECT_EQ(form.exit_status(), Code(ExitStatus::kPrinted)) << c.asked;
        EXPECT_EQ(fake.SpoolerCalls(), oracle::kWholeJob) << c.asked;
        ASSERT_EQ(fake.documents.size(), 1u);
        EXPECT_EQ(fake.documents[0].data_type, c.data_type) << c.asked;
        // The driver is asked only for "auto", on the opened printer, before the document starts.
        const auto start = std::find(fake.calls.begin(), fake.calls.end(), Op::StartDocPrinterA);
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), Op::AutoDataType),
                  std::string(c.asked) == "auto" ? 1 : 0);
        EXPECT_EQ(std::count(std::find(fake.calls.begin(), fake.calls.end(), Op::OpenPrinterA), start,
                             Op::AutoDataType),
                  std::string(c.asked) == "auto" ? 1 : 0);
    }
}

TEST(RunApplication, ShowsForm1OnlyWhenTheLoadHandlerReturns) {
    FakePlatform refusing = Arranged();
    refusing.unopenable = {u"Virtual"};
    EXPECT_EQ(RunApplication(refusing.AsPlatform()), Code(ExitStatus::kNotReached));
    EXPECT_EQ(refusing.causes, std::vector<std::string>{"printer could not be opened"});  // after the window
    EXPECT_EQ(refusing.calls.back(), Op::ShowForm);
    // Ending the program failed: the window is the way out, with the status of what was done.
    FakePlatform stuck = Arranged();
    stuck.faults = {{Step::kEnd, Fails::kThrows}};
    EXPECT_EQ(RunApplication(stuck.AsPlatform()), Code(ExitStatus::kPrinted));
    EXPECT_EQ(stuck.form_shown, 1);
}

}  // namespace
}  // namespace ploxwen::app
