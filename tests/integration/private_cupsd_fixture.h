// What the integration tests share: a private cupsd started once per test
// suite by tests/cups/private-cupsd.sh, runs of the built ploxwen against it,
// and the jobs and device output it leaves.
#pragma once

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
#include <utility>
#include <vector>

namespace ploxwen::test {

inline const std::string kBrokenBar = "\xC2\xA6";  // U+00A6 in UTF-8
inline const std::string kMessage = "The Printer Name you typed wasn't recognized.\n";

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `argv` with the current environment changed by `env` (an empty value
// unsets the variable), capturing stdout and stderr.
inline Result RunProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
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

// Every job the server knows, finished ones included.
inline std::vector<Job> AllJobs() {
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

inline int LastJobId() {
    int last = 0;
    for (const Job& job : AllJobs()) last = std::max(last, job.id);
    return last;
}

// A test suite with its own private cupsd. A suite's SetUpTestSuite calls
// StartServer with its queues, its TearDownTestSuite calls StopServer.
class PrivateCupsdTest : public testing::Test {
protected:
    // Starts the server and adds enabled, accepting raw queues writing to
    // testout:/. Only as root; otherwise every test skips.
    static void StartServer(const std::vector<std::string>& queues) {
        if (getuid() != 0) return;
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
        for (const std::string& queue : queues) {
            ASSERT_EQ(Shell(Harness() + " add-queue " + dir_ + " " + queue), 0) << queue;
        }
    }

    static void StopServer() {
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

    // Runs ploxwen in a UTF-8 locale, under `launcher_` if one is set.
    static Result Ploxwen(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
        std::vector<std::string> argv = launcher_;
        argv.push_back(PLOXWEN_BINARY);
        argv.insert(argv.end(), args.begin(), args.end());
        env.emplace("LANG", "C.UTF-8");
        env.emplace("LC_ALL", "");
        env.emplace("LC_CTYPE", "");
        return RunProcess(argv, env, dir_);
    }

    // The jobs created since the test began, once none of them is pending or
    // in progress any more (or, as they are, after `attempts` x 50 ms).
    std::vector<Job> NewJobsWhenSettled(int attempts = 200) const {
        std::vector<Job> jobs;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            jobs = NewJobs();
            const bool settled = std::all_of(jobs.begin(), jobs.end(),
                                             [](const Job& job) { return job.state >= IPP_JSTATE_CANCELED; });
            if (settled) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return jobs;
    }

    // The jobs created since the test began, as they are now, oldest first.
    std::vector<Job> NewJobs() const {
        std::vector<Job> jobs;
        for (const Job& job : AllJobs()) {
            if (job.id >= first_new_job_) jobs.push_back(job);
        }
        std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
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

    // Prints `data` on `queue` and checks it arrived as the one raw job
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
    static inline std::vector<std::string> launcher_;
    int first_new_job_ = 0;
    std::size_t access_log_offset_ = 0;
};

}  // namespace ploxwen::test
