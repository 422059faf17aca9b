// End-to-end runs of the built ploxwen against a private cupsd started by
// tests/cups/private-cupsd.sh: what the printer receives, which jobs CUPS
// keeps, and what the process reports.
#include <cstdint>
#include <cstdio>

#include "private_cupsd_fixture.h"

namespace {

using namespace ploxwen::test;

class CupsPrintTest : public PrivateCupsdTest {
protected:
    static void SetUpTestSuite() {
        StartServer({"Virtual", "Second", "Closed"});
        if (!started_) return;
        ASSERT_EQ(Shell("cupsreject Closed"), 0);
        // A queue with a driver, whose filters would turn anything but raw
        // data into PostScript.
        ASSERT_EQ(
            Shell("lpadmin -p Filtered -E -v testout:/ -P " + std::string(PLOXWEN_TEST_PPD) + " 2>/dev/null"),
            0);
        ASSERT_EQ(Shell("lpadmin -p Virtual -c Team && cupsenable Team && cupsaccept Team"), 0);
        ASSERT_EQ(Shell("lpadmin -d Second"), 0);
    }

    static void TearDownTestSuite() { StopServer(); }
};

TEST_F(CupsPrintTest, EveryByteFromOneTo255ArrivesUnchangedInUtf8AndCLocales) {
    std::string data;
    for (int byte = 1; byte <= 0xFF; ++byte) data.push_back(static_cast<char>(byte));
    ExpectPrintedExactly({"Virtual" + kBrokenBar + data}, data);
    SetUp();
    ExpectPrintedExactly({"Virtual" + kBrokenBar + data}, data, {{"LANG", "C"}, {"LC_ALL", "C"}});
}

TEST_F(CupsPrintTest, MultiByteUtf8AndEscapeSequencesArriveUnchanged) {
    const std::string data = "\x1b@Caf\xC3\xA9 \xE2\x82\xAC 5 \xF0\x9F\xA7\xBE\n\x1dV\x41\x03";
    ExpectPrintedExactly({"Virtual" + kBrokenBar + data}, data);
    SetUp();
    ExpectPrintedExactly({"Virtual" + kBrokenBar + data}, data, {{"LC_ALL", "C"}});
}

TEST_F(CupsPrintTest, RawDataPassesAQueueWithADriverUnfiltered) {
    std::string data = "\x1b@Caf\xC3\xA9\n%!PS\n";
    for (int byte = 1; byte <= 0xFF; ++byte) data.push_back(static_cast<char>(byte));
    ExpectPrintedExactly({"Filtered" + kBrokenBar + data}, data, {}, "Filtered");
}

TEST_F(CupsPrintTest, AClassIsADestinationLikeAPrinter) {
    const Result result = Ploxwen({"Team" + kBrokenBar + "TEAM"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::vector<Job> jobs = NewJobsWhenSettled();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].dest, "Team");
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
    EXPECT_EQ(ReadFile(dir_ + "/out/Virtual/" + std::to_string(jobs[0].id)), "TEAM");  // its one member
}

TEST_F(CupsPrintTest, ArgumentsAreJoinedWithSingleSpaces) {
    ExpectPrintedExactly({"Virtual" + kBrokenBar + "^XA", "^FO50,50^FDHi^FS", "", "^XZ"},
                         "^XA ^FO50,50^FDHi^FS  ^XZ");
}

TEST_F(CupsPrintTest, A128KiBPayloadArrivesUnchanged) {
    // One argument may hold at most 128 KiB, so the payload travels in
    // several, split where it has a space.
    std::string data;
    std::uint32_t state = 12345;
    while (data.size() < 128 * 1024) {
        state = state * 1103515245u + 12345u;
        char byte = static_cast<char>(1 + (state >> 16) % 255);
        if (byte == '\xA6' && !data.empty() && data.back() == '\xC2') byte = 'A';  // no separator inside
        data.push_back(data.size() % 4096 == 4095 ? ' ' : byte);
    }
    std::vector<std::string> args{"Virtual" + kBrokenBar};
    for (char byte : data) {
        if (byte == ' ' && args.back().size() > 60000) {
            args.emplace_back();
        } else {
            args.back().push_back(byte);
        }
    }
    ASSERT_GT(args.size(), 2u);
    ExpectPrintedExactly(args, data);
}

TEST_F(CupsPrintTest, PiecesAfterTheSecondAreIgnored) {
    ExpectPrintedExactly({"Virtual" + kBrokenBar + "AB" + kBrokenBar + "CD" + kBrokenBar}, "AB");
}

TEST_F(CupsPrintTest, ListIsReadWithOneRequestAndAJobTakesTwo) {
    ExpectPrintedExactly({"Virtual" + kBrokenBar + "HELLO"}, "HELLO");
    std::map<std::string, int> count;
    for (const std::string& operation : RequestsSinceSetUp()) ++count[operation];
    EXPECT_EQ(count["CUPS-Get-Printers"], 1);
    EXPECT_EQ(count["Create-Job"], 1);
    EXPECT_EQ(count["Send-Document"], 1);
    EXPECT_EQ(count["Get-Printer-Attributes"], 0);
}

TEST_F(CupsPrintTest, NamesCupsWouldMatchLooselyQueueNothing) {
    // CUPS itself takes these as Virtual.
    cups_dest_t* loose = cupsGetNamedDest(CUPS_HTTP_DEFAULT, "VIRTUAL", nullptr);
    ASSERT_NE(loose, nullptr);
    cupsFreeDests(1, loose);

    for (const std::string& name :
         {"virtual", "VIRTUAL", "Virtual ", " Virtual", "Virt", "Virtual2", "Nobody", ""}) {
        SCOPED_TRACE("name \"" + name + "\"");
        ExpectNothingQueued({name + kBrokenBar + "HELLO"}, 1);
    }
    // No separator at all: the whole text is a name that matches nothing.
    ExpectNothingQueued({"VirtualHELLO"}, 1);
    const std::vector<std::string> requests = RequestsSinceSetUp();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "Create-Job"), 0);
}

TEST_F(CupsPrintTest, EmptyDataLeavesNoJobWaitingAndSucceeds) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"Virtual" + kBrokenBar}, std::vector<std::string>{"Virtual"}}) {
        SCOPED_TRACE(args[0]);
        SetUp();
        const Result result = Ploxwen(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        for (const Job& job : NewJobsWhenSettled()) {
            EXPECT_GE(job.state, IPP_JSTATE_CANCELED) << "job " << job.id << " left waiting";
            EXPECT_FALSE(Received(job).has_value());
        }
    }
}

TEST_F(CupsPrintTest, UnreachableServerShowsTheMessageAndSendsNothing) {
    const Result result =
        Ploxwen({"Virtual" + kBrokenBar + "HELLO"}, {{"CUPS_SERVER", dir_ + "/nobody-listens.sock"}});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, kMessage);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(NewJobsWhenSettled().empty());
}

TEST_F(CupsPrintTest, QueueRejectingJobsGivesStatus3AndLeavesNoJob) {
    const Result result = Ploxwen({"Closed" + kBrokenBar + "HELLO"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(NewJobsWhenSettled().empty());
    EXPECT_FALSE(FileExists(dir_ + "/out/Closed"));
}

TEST_F(CupsPrintTest, DefaultPrinterStaysAsItWas) {
    auto server_default = [] {
        FILE* pipe = popen("lpstat -d", "r");
        std::string text;
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        if (pipe) pclose(pipe);
        return text;
    };
    const std::string before = server_default();
    ASSERT_NE(before.find("Second"), std::string::npos) << before;
    ExpectPrintedExactly({"Virtual" + kBrokenBar + "A"}, "A");
    SetUp();
    ExpectPrintedExactly({"Virtual" + kBrokenBar + "B"}, "B", {{"PRINTER", "Second"}});
    EXPECT_EQ(server_default(), before);
    EXPECT_FALSE(FileExists(dir_ + "/home/.cups/lpoptions"));
    EXPECT_FALSE(FileExists(dir_ + "/etc/lpoptions"));
}

}  // namespace
