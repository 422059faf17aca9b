// The load sequence against the in-memory platform: the normal run, and each
// step failing in turn, checked against where the sequence must go on.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "app/form1.h"
#include "fake/fake_platform.h"
#include "rawprint/raw_print_job.h"

namespace ploxwen::app {
namespace {

using fake::FakePlatform;
using fake::Op;

const std::vector<Op> kWholeJob = {Op::OpenPrinterA, Op::StartDocPrinterA, Op::StartPagePrinter,
                                   Op::WritePrinter, Op::EndPagePrinter,   Op::EndDocPrinter,
                                   Op::ClosePrinter};

std::vector<Op> WholeJobWithout(Op missing) {
    std::vector<Op> ops;
    for (Op op : kWholeJob) {
        if (op != missing) ops.push_back(op);
    }
    return ops;
}

// Office is current at start; Virtual is the printer named on the command line.
FakePlatform Arranged() {
    FakePlatform fake;
    fake.printers = {u"Office", u"Virtual"};
    fake.current = 0;
    fake.argument_text = u"Virtual¦HELLO¦ignored";
    return fake;
}

struct Expected {
    std::vector<Op> spooler_calls;
    int exit_status;
    bool program_ended;                  // false: the failure message path, OnLoad returned
    std::u16string current_after;        // the printer current when the run is over
    std::optional<std::string> payload;  // what reached Virtual, if a write arrived
    std::u16string text1 = u"Virtual";
    std::u16string text2 = u"HELLO";
};

struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    Expected expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class LoadSequence : public ::testing::TestWithParam<Case> {};

TEST_P(LoadSequence, GoesOnWhereTheTableSays) {
    const Case& c = GetParam();
    FakePlatform fake = Arranged();
    c.arrange(fake);

    Form1 form(fake.AsPlatform());
    form.OnLoad();  // never throws: every failure is absorbed

    const Expected& want = c.expected;
    EXPECT_EQ(fake.SpoolerCalls(), want.spooler_calls);
    EXPECT_EQ(form.exit_status(), want.exit_status);
    if (want.program_ended) {
        EXPECT_EQ(fake.ended_with, want.exit_status);
        EXPECT_TRUE(fake.messages.empty());
    } else {
        EXPECT_FALSE(fake.ended_with.has_value()) << "the failure path must not end the program";
        EXPECT_EQ(fake.CallCount(Op::ShowMessage), 1);
    }
    EXPECT_EQ(fake.CurrentName(), want.current_after);
    EXPECT_EQ(fake.text1, want.text1);
    EXPECT_EQ(fake.text2, want.text2);

    // Whatever failed: an opened handle is closed, exactly once, and nothing
    // reaches any printer but the one named.
    EXPECT_EQ(fake.open_handles, 0);
    EXPECT_LE(fake.CallCount(Op::ClosePrinter), 1);
    for (const fake::Document& document : fake.documents) EXPECT_EQ(document.printer, "Virtual");
    if (want.payload) {
        ASSERT_EQ(fake.documents.size(), 1u);
        EXPECT_EQ(fake.documents[0].writes, std::vector<std::string>{*want.payload});
    } else {
        for (const fake::Document& document : fake.documents) EXPECT_TRUE(document.writes.empty());
    }
}

const Expected kWholeJobPrinted{kWholeJob, kPrinted, true, u"Office", "HELLO"};
const Expected kMessageBeforeOpen{{}, kNotRecognized, false, u"Office", std::nullopt};
const Expected kMessageAfterSelection{{}, kNotRecognized, false, u"Virtual", std::nullopt};
const Expected kMessageAtOpen{{Op::OpenPrinterA}, kNotRecognized, false, u"Virtual", std::nullopt};

Expected Printed(std::function<void(Expected&)> change) {
    Expected e = kWholeJobPrinted;
    change(e);
    return e;
}
Expected SpoolerFailed(std::function<void(Expected&)> change = [](Expected&) {}) {
    return Printed([&](Expected& e) {
        e.exit_status = kSpoolerCallFailed;
        change(e);
    });
}

INSTANTIATE_TEST_SUITE_P(
    EachStepFailing, LoadSequence,
    ::testing::Values(
        Case{"NothingFails", [](FakePlatform&) {}, kWholeJobPrinted},
        // Intake: a missing piece leaves its field empty.
        Case{"ArgumentTextFails",
             [](FakePlatform& f) { f.FailOn(Op::ArgumentText); },
             {{}, kNoPrinterMatched, true, u"Office", std::nullopt, u"", u""}},
        Case{"Text1CannotBeSet",
             [](FakePlatform& f) { f.FailOn(Op::SetFieldText, 1); },
             {{}, kNoPrinterMatched, true, u"Office", std::nullopt, u"", u"HELLO"}},
        Case{"Text2CannotBeSet", [](FakePlatform& f) { f.FailOn(Op::SetFieldText, 2); },
             Printed([](Expected& e) {
                 e.payload = "";
                 e.text2 = u"";
             })},
        // No printer current at start: nothing to put back, the print still goes.
        Case{"CurrentPrinterUnreadableAtStart", [](FakePlatform& f) { f.FailOn(Op::CurrentDeviceName, 1); },
             Printed([](Expected& e) { e.current_after = u"Virtual"; })},
        // A selection that fails part-way never prints on whatever is current.
        Case{"ListCannotBeObtained", [](FakePlatform& f) { f.FailOn(Op::ObtainPrinterList, 1); },
             kMessageBeforeOpen},
        Case{"CountUnreadable", [](FakePlatform& f) { f.FailOn(Op::Count, 2); }, kMessageBeforeOpen},
        Case{"EntryUnreadable", [](FakePlatform& f) { f.FailOn(Op::DeviceName, 2); }, kMessageBeforeOpen},
        Case{"ReplacementFails", [](FakePlatform& f) { f.FailOn(Op::MakeCurrent); }, kMessageBeforeOpen},
        Case{"Text1UnreadableForSelection", [](FakePlatform& f) { f.FailOn(Op::FieldText, 1); },
             kMessageBeforeOpen},
        // The open step: the message, and the selected printer stays current.
        Case{"CurrentPrinterUnreadableAtOpen", [](FakePlatform& f) { f.FailOn(Op::CurrentDeviceName, 2); },
             kMessageAfterSelection},
        Case{"PrinterNameNotConvertible", [](FakePlatform& f) { f.FailOn(Op::ToNarrow, 1); },
             kMessageAfterSelection},
        Case{"OpenCannotBeBound", [](FakePlatform& f) { f.FailOn(Op::OpenPrinterA); }, kMessageAtOpen},
        Case{"OpenRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::OpenPrinterA); }, kMessageAtOpen},
        Case{"ListedButUnopenable", [](FakePlatform& f) { f.unopenable = {u"Virtual"}; }, kMessageAtOpen},
        Case{"MessageCannotBeShown",
             [](FakePlatform& f) {
                 f.ReturnZeroOn(Op::OpenPrinterA);
                 f.FailOn(Op::ShowMessage);
             },
             kMessageAtOpen},
        // After the open every step is attempted, down to the close.
        Case{"DocumentRecordNotConvertible", [](FakePlatform& f) { f.FailOn(Op::ToNarrow, 2); },
             SpoolerFailed([](Expected& e) { e.spooler_calls = WholeJobWithout(Op::StartDocPrinterA); })},
        Case{"StartDocRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::StartDocPrinterA); },
             SpoolerFailed()},
        Case{"StartDocCannotBeBound", [](FakePlatform& f) { f.FailOn(Op::StartDocPrinterA); },
             SpoolerFailed()},
        Case{"StartPageRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::StartPagePrinter); },
             SpoolerFailed()},
        Case{"DataFieldUnreadable", [](FakePlatform& f) { f.FailOn(Op::FieldText, 2); },
             SpoolerFailed([](Expected& e) { e.payload = ""; })},
        Case{"PayloadNotConvertible", [](FakePlatform& f) { f.FailOn(Op::ToNarrow, 3); },
             SpoolerFailed([](Expected& e) {
                 e.spooler_calls = WholeJobWithout(Op::WritePrinter);
                 e.payload.reset();
             })},
        Case{"WriteCannotBeBound", [](FakePlatform& f) { f.FailOn(Op::WritePrinter); },
             SpoolerFailed([](Expected& e) { e.payload.reset(); })},
        Case{"WriteRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::WritePrinter); },
             SpoolerFailed([](Expected& e) { e.payload.reset(); })},
        Case{"WriteShort", [](FakePlatform& f) { f.write_limit = 2; },
             SpoolerFailed([](Expected& e) { e.payload = "HE"; })},
        Case{"EndPageRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::EndPagePrinter); }, SpoolerFailed()},
        Case{"EndDocCannotBeBound", [](FakePlatform& f) { f.FailOn(Op::EndDocPrinter); }, SpoolerFailed()},
        Case{"CloseRefused", [](FakePlatform& f) { f.ReturnZeroOn(Op::ClosePrinter); }, SpoolerFailed()},
        // Putting the previous printer back is not looked at.
        Case{"RestoreFails", [](FakePlatform& f) { f.FailOn(Op::ObtainPrinterList, 6); },
             Printed([](Expected& e) { e.current_after = u"Virtual"; })}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(LoadSequence, NameMatchingNothingEndsSilentlyWithoutOpening) {
    for (const std::u16string argument :
         {u"virtual¦HELLO", u"Virtual ¦HELLO", u"Nowhere¦HELLO", u"", u"¦x"}) {
        FakePlatform fake = Arranged();
        fake.argument_text = argument;
        Form1 form(fake.AsPlatform());
        form.OnLoad();
        EXPECT_TRUE(fake.SpoolerCalls().empty());
        EXPECT_TRUE(fake.messages.empty());
        EXPECT_EQ(fake.ended_with, kNoPrinterMatched);
        EXPECT_EQ(fake.CurrentName(), u"Office");
    }
}

TEST(LoadSequence, DocumentIsOneRawPageNamedCommandPrint) {
    FakePlatform fake = Arranged();
    fake.argument_text = u"Virtual¦\x1B@Ä€\x1Bi";
    Form1 form(fake.AsPlatform());
    form.OnLoad();

    ASSERT_EQ(fake.documents.size(), 1u);
    const fake::Document& document = fake.documents[0];
    EXPECT_EQ(document.level, 1u);
    EXPECT_EQ(document.doc_name, "Command Print");
    EXPECT_FALSE(document.output_file.has_value()) << "output file must be a null pointer";
    EXPECT_FALSE(document.data_type.has_value()) << "data type must be a null pointer";
    EXPECT_EQ(document.pages_started, 1);
    EXPECT_EQ(document.pages_ended, 1);
    EXPECT_TRUE(document.ended);
    // one write of the narrow payload; the fake's code page lacks the euro sign
    EXPECT_EQ(document.writes, std::vector<std::string>{"\x1B@\xC4?\x1Bi"});
}

TEST(LoadSequence, PrinterNameOutsideTheCodePageNeverOpensALookAlike) {
    // "Drucker€" narrowed with a replacement would be "Drucker?", another
    // printer. The name must convert exactly or the printer is not opened.
    FakePlatform fake = Arranged();
    fake.printers = {u"Office", u"Drucker?", u"Drucker€"};
    fake.argument_text = u"Drucker€¦HELLO";
    Form1 form(fake.AsPlatform());
    form.OnLoad();
    EXPECT_TRUE(fake.SpoolerCalls().empty());
    EXPECT_TRUE(fake.documents.empty());
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(form.exit_status(), kNotRecognized);
}

TEST(LoadSequence, TextWithoutSeparatorPrintsAnEmptyDocument) {
    FakePlatform fake = Arranged();
    fake.argument_text = u"Virtual";
    Form1 form(fake.AsPlatform());
    form.OnLoad();
    EXPECT_EQ(fake.SpoolerCalls(), kWholeJob);
    EXPECT_EQ(fake.documents.at(0).writes, std::vector<std::string>{""});
    EXPECT_EQ(fake.ended_with, kPrinted);
}

TEST(LoadSequence, ReadsTheDataFieldAfterThePageStarted) {
    FakePlatform fake = Arranged();
    Form1 form(fake.AsPlatform());
    form.OnLoad();
    const auto position = [&](Op op, int nth) {
        int seen = 0;
        for (std::size_t i = 0; i < fake.calls.size(); ++i) {
            if (fake.calls[i] == op && ++seen == nth) return i;
        }
        return fake.calls.size();
    };
    EXPECT_LT(position(Op::StartPagePrinter, 1), position(Op::FieldText, 2));
    EXPECT_LT(position(Op::FieldText, 2), position(Op::WritePrinter, 1));
}

TEST(RunApplication, ShowsTheWindowOnlyWhenTheLoadHandlerReturns) {
    FakePlatform refused = Arranged();
    refused.unopenable = {u"Virtual"};
    EXPECT_EQ(RunApplication(refused.AsPlatform()), kNotRecognized);
    EXPECT_EQ(refused.messages, std::vector<std::u16string>{rawprint::kNotRecognizedMessage});
    EXPECT_EQ(refused.form_shown, 1);
    EXPECT_EQ(refused.text1, u"Virtual");
    EXPECT_EQ(refused.text2, u"HELLO");
    EXPECT_EQ(refused.calls.back(), Op::ShowForm);

    // Ending the program failed: the window is the way out, with the status
    // of what was done.
    FakePlatform stuck = Arranged();
    stuck.FailOn(Op::EndProgram);
    EXPECT_EQ(RunApplication(stuck.AsPlatform()), kPrinted);
    EXPECT_EQ(stuck.form_shown, 1);
}

}  // namespace
}  // namespace ploxwen::app
