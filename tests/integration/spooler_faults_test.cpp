// The built ploxwen against a private cupsd that misbehaves: the server
// going away or a queue vanishing in the middle of a run, queues that hold
// or abort jobs, and a long series of runs. Each case pins the exit status
// and checks that no job is left pending or held on the server.
//
// Faults in the middle of a run come from tests/integration/ipp_hook.c, an
// LD_PRELOAD shim that runs a command at one IPP request of the program.
// (A queue that rejects jobs is covered in cups_print_test.cpp.)
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "private_cupsd_fixture.h"

namespace {

using namespace ploxwen::test;

class SpoolerFaultsTest : public PrivateCupsdTest {
protected:
    static void SetUpTestSuite() {
        StartServer({"Virtual", "Gone", "Paused"});
        if (!started_) return;
        ASSERT_EQ(Shell("cupsdisable Paused"), 0);
        ASSERT_EQ(Shell(Harness() + " add-queue " + dir_ + " Broken testfail:/"), 0);
    }

    static void TearDownTestSuite() { StopServer(); }

    void SetUp() override {
        PrivateCupsdTest::SetUp();
        hook_fired_ = dir_ + "/hook-fired";
        unlink(hook_fired_.c_str());
    }

    // Whatever a case did, it leaves no job pending, held or in progress:
    // IPP Get-Jobs for the not-completed jobs of every queue is empty.
    void TearDown() override {
        if (!started_ || !ServerAnswers()) return;
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
        for (int i = 0; i < count; ++i) {
            ADD_FAILURE() << "job " << jobs[i].id << " on " << jobs[i].dest << " left in state "
                          << ippEnumString("job-state", jobs[i].state);
        }
        cupsFreeJobs(count, jobs);
    }

    static bool ServerAnswers() {
        http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                                    1, 5000, nullptr);
        if (http == nullptr) return false;
        httpClose(http);
        return true;
    }

    // Runs ploxwen with `command` run once at the IPP request `operation`,
    // `when` being "before" it is sent or "after" its response.
    Result PloxwenWithHook(const std::vector<std::string>& args, const std::string& operation,
                           const std::string& when, const std::string& command) const {
        return Ploxwen(args, {{"LD_PRELOAD", PLOXWEN_IPP_HOOK},
                              {"PLOXWEN_HOOK_OPERATION", operation},
                              {"PLOXWEN_HOOK_WHEN", when},
                              {"PLOXWEN_HOOK_COMMAND", command + " && touch " + hook_fired_},
                              // Sanitizer builds: the shim is preloaded ahead of the runtime.
                              {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
    }

    bool HookFired() const { return FileExists(hook_fired_); }

    static std::string StopCommand() { return Harness() + " stop " + dir_; }
    static std::string StartCommand() { return Harness() + " start " + dir_ + " >/dev/null"; }

    // Brings the server back after a case stopped it, so the jobs it kept
    // can be read; its queues and jobs survive in dir_.
    static void Restart() {
        if (!ServerAnswers()) ASSERT_EQ(Shell(StartCommand()), 0) << "private cupsd did not restart";
    }

    // Whether any device of the server has received anything of a job
    // created since the test began.
    bool DeviceGotAnything() const {
        DIR* out = opendir((dir_ + "/out").c_str());
        if (out == nullptr) return false;
        bool any = false;
        while (const dirent* queue = readdir(out)) {
            if (queue->d_name[0] == '.') continue;
            DIR* files = opendir((dir_ + "/out/" + queue->d_name).c_str());
            while (files != nullptr && !any) {
                const dirent* file = readdir(files);
                if (file == nullptr) break;
                any = std::atoi(file->d_name) >= first_new_job_;  // <job-id>[.meta][.part]
            }
            if (files != nullptr) closedir(files);
        }
        closedir(out);
        return any;
    }

    std::string hook_fired_;
};

// The program's list is read once per run, and opening a printer looks the
// name up in that list, so the open succeeds; Create-Job then finds no
// server: status 3 ("opened, a later spooler call failed"). No job exists.
TEST_F(SpoolerFaultsTest, ServerStoppedBetweenListingAndOpeningGivesStatus3) {
    const Result result =
        PloxwenWithHook({"Virtual" + kBrokenBar + "HELLO"}, "CUPS-Get-Printers", "after", StopCommand());
    Restart();
    EXPECT_TRUE(HookFired());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(NewJobs().empty());
    EXPECT_FALSE(DeviceGotAnything());
}

// The job exists but has no document, and the server is gone, so the
// program cannot cancel it: status 3. cupsd keeps such a job pending-held
// across its restart. It can never print: released, it is aborted for
// having no document. (Only one request carrying job and document, e.g.
// Print-Job, would leave nothing behind here.)
TEST_F(SpoolerFaultsTest, ServerStoppedBetweenCreateJobAndSendDocumentGivesStatus3) {
    const Result result =
        PloxwenWithHook({"Virtual" + kBrokenBar + "HELLO"}, "Send-Document", "before", StopCommand());
    Restart();
    EXPECT_TRUE(HookFired());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");

    std::vector<Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].dest, "Virtual");
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_HELD);
    ASSERT_EQ(Shell("lp -i " + std::to_string(jobs[0].id) + " -H resume >/dev/null"), 0);
    jobs = NewJobsWhenSettled();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_ABORTED);
    EXPECT_FALSE(DeviceGotAnything());
}

// libcups reconnects for Send-Document, so a server back in time takes
// the document: status 0 and the job completes with every byte.
TEST_F(SpoolerFaultsTest, ServerRestartedBetweenCreateJobAndSendDocumentStillPrints) {
    const Result result = PloxwenWithHook({"Virtual" + kBrokenBar + "HELLO"}, "Send-Document", "before",
                                          StopCommand() + " && " + StartCommand());
    EXPECT_TRUE(HookFired());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::vector<Job> jobs = NewJobsWhenSettled();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
    EXPECT_EQ(Received(jobs[0]), "HELLO");
}

// As with the server gone: the open is a lookup in the run's list, and
// Create-Job is refused (not found): status 3, no job on any queue.
TEST_F(SpoolerFaultsTest, QueueDeletedBetweenListingAndOpeningGivesStatus3) {
    const Result result =
        PloxwenWithHook({"Gone" + kBrokenBar + "HELLO"}, "CUPS-Get-Printers", "after", "lpadmin -x Gone");
    EXPECT_TRUE(HookFired());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(NewJobs().empty());
    EXPECT_FALSE(DeviceGotAnything());
    const std::vector<std::string> requests = RequestsSinceSetUp();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "Create-Job"), 1);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "Send-Document"), 0);
}

// A disabled queue still accepts jobs: the spooler took the document, so
// status 0, and the job waits, visible, until the queue is enabled. The
// test cancels it.
TEST_F(SpoolerFaultsTest, DisabledQueueKeepsTheJobPendingAfterStatus0) {
    const Result result = Ploxwen({"Paused" + kBrokenBar + "HELLO"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<Job> jobs = NewJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].dest, "Paused");
    EXPECT_EQ(jobs[0].title, "Command Print");
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_PENDING);
    EXPECT_FALSE(DeviceGotAnything());

    ASSERT_EQ(Shell("cancel " + std::to_string(jobs[0].id)), 0);
    jobs = NewJobsWhenSettled();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
}

// The spooler accepted the job; the device failing afterwards is not seen
// by the program: status 0. With ErrorPolicy abort-job the job ends
// aborted and the queue stays ready for the next job.
TEST_F(SpoolerFaultsTest, FailingBackendAbortsTheJobAfterStatus0) {
    const Result result = Ploxwen({"Broken" + kBrokenBar + "HELLO"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::vector<Job> jobs = NewJobsWhenSettled();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].dest, "Broken");
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_ABORTED);

    cups_dest_t* broken = cupsGetNamedDest(CUPS_HTTP_DEFAULT, "Broken", nullptr);
    ASSERT_NE(broken, nullptr);
    const char* state = cupsGetOption("printer-state", broken->num_options, broken->options);
    EXPECT_STREQ(state, "3");  // idle, not stopped
    cupsFreeDests(1, broken);
}

// Runs in a row on one queue: every run exits 0 and every job completes
// with its own bytes, none left held or pending.
TEST_F(SpoolerFaultsTest, TwoHundredRunsInARowAllComplete) {
    constexpr int kRuns = 200;
    for (int run = 0; run < kRuns; ++run) {
        const Result result = Ploxwen({"Virtual" + kBrokenBar + "RUN " + std::to_string(run) + "\n"});
        ASSERT_EQ(result.status, 0) << "run " << run << ": " << result.err;
        ASSERT_EQ(result.err, "") << "run " << run;
    }
    const std::vector<Job> jobs = NewJobsWhenSettled(1200);
    ASSERT_EQ(jobs.size(), static_cast<std::size_t>(kRuns));
    for (int run = 0; run < kRuns; ++run) {
        const Job& job = jobs[static_cast<std::size_t>(run)];
        EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << "job " << job.id;
        EXPECT_EQ(Received(job), "RUN " + std::to_string(run) + "\n") << "job " << job.id;
    }
}

}  // namespace
