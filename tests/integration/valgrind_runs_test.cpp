// The built ploxwen under valgrind (memcheck, full leak check, definite leaks
// count as errors) against a private cupsd: each path of a run keeps its
// normal exit status and valgrind reports no error.
//
// valgrind's error exit status is 99, not 1: 1 is the program's own "no
// printer matched", and an error there would otherwise pass unnoticed.
#include <string>
#include <vector>

#include "private_cupsd_fixture.h"

namespace {

using namespace ploxwen::test;

constexpr int kValgrindError = 99;

class ValgrindRunsTest : public PrivateCupsdTest {
protected:
    static void SetUpTestSuite() {
        StartServer({"Virtual"});
        launcher_ = {PLOXWEN_VALGRIND, "--error-exitcode=" + std::to_string(kValgrindError),
                     "--leak-check=full", "--errors-for-leak-kinds=definite",
                     "--log-file=" + dir_ + "/valgrind.log"};
    }

    static void TearDownTestSuite() {
        launcher_.clear();
        StopServer();
    }

    // No desktop: the window module is never loaded, so only our code and
    // libcups run.
    static Result PloxwenWithoutDisplay(const std::vector<std::string>& args,
                                        std::map<std::string, std::string> env = {}) {
        env.emplace("DISPLAY", "");
        env.emplace("WAYLAND_DISPLAY", "");
        return Ploxwen(args, std::move(env));
    }

    // valgrind's own summary of the last run: no error, no definite leak.
    static void ExpectCleanLog() {
        const std::string log = ReadFile(dir_ + "/valgrind.log");
        EXPECT_NE(log.find("ERROR SUMMARY: 0 errors"), std::string::npos) << log;
        EXPECT_EQ(log.find("definitely lost: "), log.find("definitely lost: 0 bytes")) << log;
    }
};

TEST_F(ValgrindRunsTest, SuccessfulPrint) {
    const std::string data = "\x1b@Caf\xC3\xA9\n\x1dV\x41\x03";
    ExpectPrintedExactly({"Virtual" + kBrokenBar + data}, data, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    ExpectCleanLog();
}

TEST_F(ValgrindRunsTest, NoPrinterMatched) {
    const Result result = PloxwenWithoutDisplay({"virtual" + kBrokenBar + "HELLO"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(NewJobsWhenSettled().empty());
    ExpectCleanLog();
}

TEST_F(ValgrindRunsTest, UnreachableServerWithoutDisplay) {
    const Result result = PloxwenWithoutDisplay({"Virtual" + kBrokenBar + "HELLO"},
                                                {{"CUPS_SERVER", dir_ + "/nobody-listens.sock"}});
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(result.err, kMessage);
    EXPECT_TRUE(NewJobsWhenSettled().empty());
    ExpectCleanLog();
}

TEST_F(ValgrindRunsTest, EmptyData) {
    const Result result = PloxwenWithoutDisplay({"Virtual" + kBrokenBar});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const Job& job : NewJobsWhenSettled()) {
        EXPECT_GE(job.state, IPP_JSTATE_CANCELED) << "job " << job.id << " left waiting";
        EXPECT_FALSE(Received(job).has_value());
    }
    ExpectCleanLog();
}

}  // namespace
