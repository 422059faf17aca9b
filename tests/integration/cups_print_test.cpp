// End-to-end runs of the built ploxwen against a private cupsd started by
// tests/cups/private-cupsd.sh: what the printer receives, which jobs CUPS
// keeps, and what the process reports.
#include <cups/cups.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kBrokenBar = "\xC2\xA6";  // U+00A6 in UTF-8
const std::string kMessage = "The Printer Name you typed wasn't recognized.\n";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `argv` with the current environment changed by `env` (an empty value
// unsets the variable), capturing stdout and stderr.
Result RunProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                  const std::string& scratch) {
    const std::string out_path = scratch + "/stdout";
    const std::string err_path = scratch + "/stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    Result result;
    int wait_status = 0;
    if (pid > 0 && waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    }
    result.out = ReadFile(out_path);
    result.err = ReadFile(err_path);
    return result;
}

struct Job {
    int id;
    std::string dest;
    std::string title;
    std::string format;
    ipp_jstate_t state;
};

std::vector<Job> AllJobs() {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    std::vector<Job> result;
    for (int i = 0; i < count; ++i) {
        result.push_back({jobs[i].id, jobs[i].dest ? jobs[i].dest : "", jobs[i].title ? jobs[i].title : "",
                          jobs[i].format ? jobs[i].format : "", jobs[i].state});
    }
    cupsFreeJobs(count, jobs);
    return result;
}

int LastJobId() {
    int last = 0;
    for (const Job& job : AllJobs()) last = std::max(last, job.id);
    return last;
}

class CupsPrintTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (getuid() != 0) return;  // cupsd needs root; every test skips
        char dir_template[] = "/tmp/pxw-it.XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir_ = dir_template;
        ASSERT_EQ(Shell(Harness() + " start " + dir_ + " >/dev/null"), 0) << "private cupsd did not start";
        started_ = true;
        setenv("CUPS_SERVER", (dir_ + "/cups.sock").c_str(), 1);
        setenv("CUPS_SERVERROOT", (dir_ + "/etc").c_str(), 1);
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        unsetenv("PRINTER");
        unsetenv("LPDEST");
        for (const char* queue : {"Virtual", "Second", "Closed"}) {
            ASSERT_EQ(Shell(Harness() + " add-queue " + dir_ + " " + queue), 0) << queue;
        }
        ASSERT_EQ(Shell("cupsreject Closed"), 0);
        // A queue with a driver, whose filters would turn anything but raw
        // data into PostScript.
        ASSERT_EQ(
            Shell("lpadmin -p Filtered -E -v testout:/ -P " + std::string(PLOXWEN_TEST_PPD) + " 2>/dev/null"),
            0);
        ASSERT_EQ(Shell("lpadmin -p Virtual -c Team && cupsenable Team && cupsaccept Team"), 0);
        ASSERT_EQ(Shell("lpadmin -d Second"), 0);
    }

    static void TearDownTestSuite() {
        if (started_) Shell(Harness() + " stop " + dir_);
        if (!dir_.empty()) Shell("rm -rf " + dir_);
        started_ = false;
        dir_.clear();
    }

    void SetUp() override {
        if (getuid() != 0) GTEST_SKIP() << "the private cupsd must run as root";
        ASSERT_TRUE(started_);
        first_new_job_ = LastJobId() + 1;
        access_log_offset_ = ReadFile(dir_ + "/log/access_log").size();
    }

    static std::string Harness() { return PLOXWEN_CUPS_HARNESS; }
    static int Shell(const std::string& command) { return std::system(command.c_str()); }

    static Result Ploxwen(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
        std::vector<std::string> argv{PLOXWEN_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        env.emplace("LANG", "C.UTF-8");
        env.emplace("LC_ALL", "");
        env.emplace("LC_CTYPE", "");
        return RunProcess(argv, env, dir_);
    }

    // The jobs created since the test began, once none of them is pending or
    // in progress any more.
    std::vector<Job> NewJobsWhenSettled() const {
        std::vector<Job> jobs;
        for (int attempt = 0; attempt < 200; ++attempt) {
            jobs.clear();
            bool settled = true;
            for (const Job& job : AllJobs()) {
                if (job.id < first_new_job_) continue;
                jobs.push_back(job);
                settled = settled && job.state >= IPP_JSTATE_CANCELED;
            }
            if (settled) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return jobs;
    }

    // What the printer's device received for `job`.
    static std::optional<std::string> Received(const Job& job) {
        const std::string path = dir_ + "/out/" + job.dest + "/" + std::to_string(job.id);
        if (!FileExists(path)) return std::nullopt;
        return ReadFile(path);
    }

    std::vector<std::string> RequestsSinceSetUp() const {
        std::istringstream log(ReadFile(dir_ + "/log/access_log").substr(access_log_offset_));
        std::vector<std::string> operations;
        for (std::string line; std::getline(log, line);) {
            std::istringstream fields(line.substr(line.rfind('"') + 1));
            std::string status_code, bytes, operation;
            fields >> status_code >> bytes >> operation;
            operations.push_back(operation);
        }
        return operations;
    }

    // Prints `data` on Virtual and checks it arrived as the one raw job
    // "Command Print", with nothing said on success.
    void ExpectPrintedExactly(const std::vector<std::string>& args, const std::string& data,
                              std::map<std::string, std::string> env = {},
                              const std::string& queue = "Virtual") {
        const Result result = Ploxwen(args, std::move(env));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        const std::vector<Job> jobs = NewJobsWhenSettled();
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].dest, queue);
        EXPECT_EQ(jobs[0].title, "Command Print");
        EXPECT_EQ(jobs[0].format, CUPS_FORMAT_RAW);
        EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
        const std::optional<std::string> received = Received(jobs[0]);
        ASSERT_TRUE(received.has_value()) << "the backend got no data";
        EXPECT_EQ(*received, data);
        const std::string meta =
            ReadFile(dir_ + "/out/" + queue + "/" + std::to_string(jobs[0].id) + ".meta");
        EXPECT_NE(meta.find("content_type=application/vnd.cups-raw\n"), std::string::npos) << meta;
    }

    void ExpectNothingQueued(const std::vector<std::string>& args, int status) {
        const Result result = Ploxwen(args);
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(NewJobsWhenSettled().empty());
    }

    static inline std::string dir_;
    static inline bool started_ = false;
    int first_new_job_ = 0;
    std::size_t access_log_offset_ = 0;
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
