// The load sequence on the in-memory platform: every call of a run failing,
// alone and in pairs, and the situations a user meets, each checked against
// the oracle of what must follow.
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
using oracle::Outcome;

FakePlatform Arranged(std::u16string argument = u"Virtual¦HELLO¦ignored") {
    FakePlatform fake;
    fake.printers = {u"Office", u"Virtual"};
    fake.current = 0;
    fake.argument_text = std::move(argument);
    return fake;
}

// Runs the load sequence; says why it did not end as `want` (by default:
// as the oracle says for the faults that took effect).
std::string Check(FakePlatform fake, std::optional<Outcome> want = std::nullopt) {
    const std::u16string saved = fake.CurrentName();
    const std::vector<std::u16string> pieces = SplitArgumentText(fake.argument_text);
    Form1 form(fake.AsPlatform());
    form.OnLoad();  // absorbs every failure
    if (!want) want = oracle::Combine(oracle::Effects(fake.fired));
    return oracle::Mismatch(fake, form.exit_status(), *want, pieces.empty() ? u"" : pieces[0],
                            pieces.size() < 2 ? u"" : pieces[1], saved);
}

// Every call of an undisturbed run, failing each way it can.
std::vector<Fault> EachFailingCall() {
    FakePlatform fake = Arranged();
    Form1(fake.AsPlatform()).OnLoad();
    std::vector<Fault> faults;
    std::map<Op, int> seen;
    for (Op op : fake.calls) {
        const int occurrence = ++seen[op];
        faults.push_back({op, occurrence, Fails::kThrows});
        if (fake::IsSpoolerCall(op)) faults.push_back({op, occurrence, Fails::kReturnsZero});
        if (op == Op::WritePrinter) faults.push_back({op, occurrence, Fails::kWritesShort});
    }
    return faults;
}

std::string Describe(const std::vector<Fault>& faults) {
    std::string text;
    for (const Fault& f : faults)
        text += "call " + std::to_string(int(f.op)) + "#" + std::to_string(f.occurrence) + " ";
    return text;
}

TEST(LoadSequence, EachFailingCallIsAbsorbedAndTheRunGoesOnAsTheOracleSays) {
    const std::vector<Fault> faults = EachFailingCall();
    EXPECT_GT(faults.size(), 40u);
    std::cout << faults.size() << " failing calls\n";
    for (const Fault& fault : faults) {
        FakePlatform fake = Arranged();
        fake.faults = {fault};
        ASSERT_NE(oracle::After(fault), nullptr) << "no row for " << Describe({fault});
        EXPECT_EQ(Check(fake, *oracle::After(fault)), "") << Describe({fault}) << int(fault.how);
    }
}

bool NoMatch(const Fault& fault) {
    return oracle::After(fault) && oracle::After(fault)->status == Code(ExitStatus::kNoPrinterMatched);
}

TEST(LoadSequence, TwoFailingCallsEndAsTheirOutcomesCombined) {
    std::vector<Fault> faults = EachFailingCall();
    faults.push_back({Op::ShowMessage, 1, Fails::kThrows});
    int pairs = 0;
    for (const Fault& a : faults) {
        for (const Fault& b : faults) {
            // After a name that matches nothing only the search and the restore run,
            // with other calls than the table's rows: the single faults cover it.
            if ((a.op == b.op && a.occurrence == b.occurrence) || NoMatch(a) || NoMatch(b)) continue;
            FakePlatform fake = Arranged();
            fake.faults = {a, b};
            ++pairs;
            EXPECT_EQ(Check(fake), "") << Describe({a, b}) << int(a.how) << int(b.how);
        }
    }
    std::cout << pairs << " pairs of failing calls\n";
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
// start can no longer mean "no job"; a refusal of the whole document can.
TEST(LoadSequence, NoJobIsReportedOnlyWhereTheSpoolerCertainlyHoldsNone) {
    for (const Fault& fault : EachFailingCall()) {
        const oracle::Outcome* after = oracle::After(fault);
        if (after->status < 3 || fault.op == Op::EndProgram) continue;
        for (const bool job_at_start : {false, true}) {
            for (const bool refusal : {false, true}) {
                FakePlatform fake = Arranged();
                fake.faults = {fault};
                fake.started_document_is_job = job_at_start;
                fake.zero_is_refusal = refusal;
                // The document record's conversion (ToNarrow #2) comes before the start.
                const bool started = fault.op != Op::StartDocPrinterA && fault.op != Op::ToNarrow;
                oracle::Outcome want = *after;
                if (job_at_start && (started || fault.occurrence == 3)) want.status = 4;
                if (refusal) want.status = 3;
                EXPECT_EQ(Check(fake, want), "") << Describe({fault}) << job_at_start << refusal;
            }
        }
    }
}

TEST(RunApplication, ShowsForm1OnlyWhenTheLoadHandlerReturns) {
    FakePlatform refusing = Arranged();
    refusing.unopenable = {u"Virtual"};
    EXPECT_EQ(RunApplication(refusing.AsPlatform()), Code(ExitStatus::kNotRecognized));
    EXPECT_EQ(refusing.causes, std::vector<std::string>{"printer could not be opened"});  // after the window
    EXPECT_EQ(refusing.calls.back(), Op::ShowForm);
    // Ending the program failed: the window is the way out, with the status of what was done.
    FakePlatform stuck = Arranged();
    stuck.faults = {{Op::EndProgram, 1, Fails::kThrows}};
    EXPECT_EQ(RunApplication(stuck.AsPlatform()), Code(ExitStatus::kPrinted));
    EXPECT_EQ(stuck.form_shown, 1);
}

}  // namespace
}  // namespace ploxwen::app
