// The built ploxwen against one private cupsd (scripts/private-cupsd.sh):
// what the printer receives, the jobs CUPS keeps, what the process reports,
// and real spooler faults in the middle of a run (tests/cups/ipp_hook.cpp).
// PLOXWEN_TEST_LAUNCHER runs the program under a launcher such as valgrind.
#include <cups/cups.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "fake/base64.h"

namespace {

const std::string kBar = "\xC2\xA6";   // U+00A6 in UTF-8
std::string dir;                       // the server's; jobs land in dir/out/<queue>/<job-id>
const std::string kLongest(127, 'L');  // IPP's longest name

std::string ReadFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

int Shell(const std::string& command) {
    return std::system(command.c_str());
}

std::string Cupsd(const std::string& action, const std::string& more = "") {
    return std::string(PLOXWEN_CUPSD) + " " + action + " " + dir + " " + more + " >/dev/null";
}

struct Result {
    int status = -1;
    std::string out, err;
};

// Replaces every @DIR@ with the server's directory.
std::string InDir(std::string text) {
    for (std::size_t at; (at = text.find("@DIR@")) != std::string::npos;) text.replace(at, 5, dir);
    return text;
}

// Runs ploxwen (under the launcher, if any) without a desktop, in a UTF-8
// locale unless `env` says otherwise; an empty value unsets a variable.
// Standard input is /dev/null, a terminal ("tty"), or a pipe from the shell
// command `input`, which finds the program's pid in $PEER.
// `address_space`, if not 0, limits the program's memory (RLIMIT_AS); a run still going after
// `give_up` is killed (status -1).
Result Ploxwen(const std::vector<std::string>& args, std::map<std::string, std::string> env,
               bool stderr_closed = false, const std::string& input = "", rlim_t address_space = 0,
               std::chrono::seconds give_up = std::chrono::seconds(90)) {
    std::vector<std::string> argv;
    std::istringstream launcher(getenv("PLOXWEN_TEST_LAUNCHER") ? getenv("PLOXWEN_TEST_LAUNCHER") : "");
    for (std::string word; launcher >> word;) argv.push_back(word);
    argv.push_back(PLOXWEN_BINARY);
    argv.insert(argv.end(), args.begin(), args.end());
    env.insert({{"LANG", "C.UTF-8"}, {"LC_ALL", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    int pipe_ends[2] = {-1, -1};
    if (!input.empty() && input != "tty" && pipe(pipe_ends) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        if (input == "tty") {
            const int master = posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) _exit(126);
            dup2(open(ptsname(master), O_RDONLY | O_NOCTTY), 0);
        } else {
            dup2(pipe_ends[0] >= 0 ? pipe_ends[0] : open("/dev/null", O_RDONLY), 0);
            if (pipe_ends[1] >= 0) close(pipe_ends[1]);
        }
        dup2(open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (stderr_closed) close(2);
        const rlimit limit{address_space, address_space};
        if (address_space != 0 && setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    if (pipe_ends[0] >= 0) {
        close(pipe_ends[0]);
        if (fork() == 0) {
            dup2(pipe_ends[1], 1);
            setenv("PEER", std::to_string(pid).c_str(), 1);
            execl("/bin/sh", "sh", "-c", InDir(input).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipe_ends[1]);
    }
    // A hang guard, not a timing: a run gives up 30 s after it started.
    const auto killed_at = std::chrono::steady_clock::now() + give_up;
    int wait_status = 0;
    while (waitpid(pid, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > killed_at) kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, ReadFile(dir + "/stdout"),
            ReadFile(dir + "/stderr")};
}

struct Job {
    int id;
    std::string dest, title, format;
    ipp_jstate_t state;
};

// The jobs with an id from `first` on, oldest first, finished ones included.
std::vector<Job> JobsFrom(int first) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    std::vector<Job> result;
    for (int i = count - 1; i >= 0; --i) {
        if (jobs[i].id >= first)
            result.push_back({jobs[i].id, jobs[i].dest, jobs[i].title, jobs[i].format, jobs[i].state});
    }
    cupsFreeJobs(count, jobs);
    std::sort(result.begin(), result.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
    return result;
}

bool ServerAnswers() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                5000, nullptr);
    if (http) httpClose(http);
    return http != nullptr;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::optional<std::string> printed{};  // what the one job of the run delivered
    std::optional<ipp_jstate_t> job{};     // the state that job ends in; none: the run leaves no job at all
    std::string cause{};  // the line after a failure; SERVER stands for the server's address, JOB for the job
    std::map<std::string, std::string> env{};
    // "OPERATION before|after COMMAND": a spooler fault in the middle of the run; or
    // "relay MODE [ARG]": the server in trouble, through tests/cups/ipp_relay.py.
    std::string hook{};
    std::string input{};         // standard input, as Ploxwen() takes it
    bool sends_nothing = false;  // not even a lookup reaches the server
    rlim_t address_space = 0;    // the memory the program may have; 0: no limit
    std::chrono::seconds hang_guard{90};

    Case Says(std::string line) { return cause = std::move(line), *this; }
    Case When(std::string fault) { return hook = std::move(fault), *this; }
    Case Env(const std::string& variable, std::string value) {
        return env[variable] = std::move(value), *this;
    }
    Case Leaves(ipp_jstate_t state) { return job = state, *this; }
    Case Feeds(std::string command) { return input = std::move(command), *this; }
    Case SendsNothing() { return sends_nothing = true, *this; }
    Case Within(rlim_t bytes) { return address_space = bytes, *this; }
    Case EndsWithin(std::chrono::seconds seconds) { return hang_guard = seconds, *this; }
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}
// A run whose one job delivers `printed`, and one that ends with `status`, without a job.
Case Prints(const char* name, std::vector<std::string> args, std::string printed) {
    return {name, std::move(args), 0, std::move(printed)};
}
Case Gives(const char* name, std::vector<std::string> args, int status) {
    return {name, std::move(args), status};
}

std::string AllBytes(int first = 1) {
    std::string bytes;
    for (int b = first; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}
const std::string kEvery = AllBytes(0);

// Every byte as hex, in both cases, with the blanks hex allows between pairs.
std::string Hex(const std::string& bytes) {
    std::string hex;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* digits = i < 128 ? "0123456789abcdef" : "0123456789ABCDEF";
        const auto b = static_cast<unsigned char>(bytes[i]);
        hex += std::string{digits[b >> 4], digits[b & 15], i % 16 == 15 ? '\n' : i % 2 ? '\t' : ' '};
    }
    return hex;
}
// 16 MiB of every byte value in no order a short pattern repeats.
const std::string kBigFile = [] {
    std::string bytes(16u << 20, '\0');
    std::uint32_t state = 1;
    for (char& b : bytes) b = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
    return bytes;
}();

// A third of more than 128 KiB: one argument may hold at most 128 KiB, and
// the program joins arguments with single spaces.
const std::string kChunk = [] {
    std::string chunk;
    for (int i = 0; i < 175; ++i) chunk += AllBytes();
    return chunk;
}();

// One server for the whole run, with queues for every case.
class PrivateCupsd : public testing::Environment {
    void SetUp() override {
        char dir_template[] = "/tmp/pxw-cups.XXXXXX";
        dir = mkdtemp(dir_template);
        setenv("PLOXWEN_CUPS_DIR", dir.c_str(), 1);  // for the commands of the spooler faults
        ASSERT_EQ(Shell(Cupsd("start")), 0);
        setenv("CUPS_SERVER", (dir + "/cups.sock").c_str(), 1);
        setenv("CUPS_SERVERROOT", (dir + "/etc").c_str(), 1);
        setenv("HOME", (dir + "/home").c_str(), 1);
        unsetenv("PRINTER");
        unsetenv("LPDEST");
        for (const char* queue : {"Virtual", "Second", "Closed", "Gone", "Paused", "K\u00FCche%1"}) {
            ASSERT_EQ(Shell(Cupsd("add-queue", queue)), 0);
        }
        ASSERT_EQ(Shell(Cupsd("add-queue", kLongest)), 0);
        // Devices that fail every job (Jam reports no paper first and stops its printer), or never finish.
        for (const char* queue :
             {"Broken testfail:/", "Jam testfail:/media-empty-error", "Offline testbusy:/offline-report"})
            ASSERT_EQ(Shell(Cupsd("add-queue", queue)), 0);
        ASSERT_EQ(Shell("lpadmin -p Jam -o printer-error-policy=stop-printer"), 0);
        // A driver whose filters would turn anything but raw data into PostScript.
        ASSERT_EQ(Shell("lpadmin -p Filtered -E -v testout:/ -P " PLOXWEN_TEST_PPD " 2>/dev/null"), 0);
        ASSERT_EQ(Shell(Cupsd("add-queue", "Doomed")), 0);
        ASSERT_EQ(Shell("cupsreject Closed && cupsdisable Paused Doomed && lpadmin -d Second"), 0);
        // Locales whose charsets have no U+00A6 (built from Debian's locales package).
        const std::string locales = "de_DE.ISO-8859-15 ru_RU.KOI8-R ja_JP.SHIFT_JIS zh_TW.BIG5";
        ASSERT_EQ(Shell("cd " + dir + " && mkdir locale && for l in " + locales +
                        "; do localedef --no-warnings=ascii -i ${l%.*} -f ${l#*.} locale/$l || exit; done"),
                  0);
        ASSERT_EQ(Shell("lpadmin -p Virtual -c Team && cupsenable Team && cupsaccept Team"), 0);
        std::ofstream(dir + "/every", std::ios::binary) << kEvery;  // the payloads of PLOXWEN_DATA=file
        std::ofstream(dir + "/big", std::ios::binary) << kBigFile;
        std::ofstream(dir + "/huge").close();
        ASSERT_EQ(truncate((dir + "/huge").c_str(), off_t{1} << 30), 0);  // 1 GiB, none of it on disk
        ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    }
    void TearDown() override { Shell(Cupsd("stop") + "; rm -rf " + dir); }
};
const testing::Environment* const kServer = testing::AddGlobalTestEnvironment(new PrivateCupsd);

class Cups : public testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        first_job_ = 1;
        for (const Job& job : JobsFrom(0)) first_job_ = std::max(first_job_, job.id + 1);
        log_offset_ = ReadFile(dir + "/log/access_log").size();
    }
    void TearDown() override {
        if (!ServerAnswers()) Shell(Cupsd("start"));
        Shell("cancel -a");
    }

    // tests/cups/ipp_relay.py in front of the server, listening on a socket in dir or at
    // `listen`; returns the address that reaches it.
    static std::string StartRelay(const std::string& mode_and_arg, const std::string& listen = "") {
        Shell("rm -f " + dir + "/relay.*; python3 " PLOXWEN_IPP_RELAY " " +
              (listen.empty() ? dir + "/relay.sock" : listen) + " " + dir + "/cups.sock " + mode_and_arg +
              " >" + dir + "/relay.address & echo $! >" + dir + "/relay.pid");
        std::string address;
        for (int i = 0;
             i < 250 && (address = ReadFile(dir + "/relay.address")).find('\n') == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return address.substr(0, address.find('\n'));
    }
    static void StopRelay() { Shell("kill $(cat " + dir + "/relay.pid)"); }

    // The program's IPP operations since the case began, in order (the suite's own are Get-Jobs).
    std::vector<std::string> Requests() const {
        std::istringstream log(ReadFile(dir + "/log/access_log").substr(log_offset_));
        std::vector<std::string> operations;
        for (std::string line; std::getline(log, line);) {
            std::istringstream fields(line.substr(line.rfind('"') + 1));
            std::string status, bytes, operation;
            fields >> status >> bytes >> operation;
            if (operation != "Get-Jobs") operations.push_back(operation);
        }
        return operations;
    }

    int first_job_ = 0;
    std::size_t log_offset_ = 0;
};

TEST_P(Cups, Run) {
    const Case& c = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    if (c.address_space != 0) GTEST_SKIP() << "the sanitizer's shadow memory exceeds any such limit";
#endif
    if (c.address_space != 0 && getenv("PLOXWEN_TEST_LAUNCHER") != nullptr)
        GTEST_SKIP() << "the launcher's own memory would count";
    std::map<std::string, std::string> env = c.env;
    if (env.count("LC_ALL"))
        env.insert({"LOCPATH", dir + "/locale"});  // only there: glibc leaks a copy of it
    const bool relayed = c.hook.rfind("relay ", 0) == 0;
    if (relayed) {  // where the case's CUPS_SERVER says, if it does
        env["CUPS_SERVER"] = StartRelay(c.hook.substr(6), env.count("CUPS_SERVER") ? env["CUPS_SERVER"] : "");
    } else if (!c.hook.empty()) {
        std::istringstream hook(c.hook);
        std::string operation, when, command;
        hook >> operation >> when >> std::ws;
        std::getline(hook, command);
        env.insert({{"LD_PRELOAD", PLOXWEN_IPP_HOOK},
                    {"PLOXWEN_HOOK_OPERATION", operation},
                    {"PLOXWEN_HOOK_WHEN", when},
                    {"PLOXWEN_HOOK_COMMAND", command},
                    {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
    }
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(InDir(arg));
    const Result result = Ploxwen(args, env, false, c.input, c.address_space, c.hang_guard);
    if (relayed) StopRelay();
    if (!ServerAnswers()) {
        ASSERT_EQ(Shell(Cupsd("start")), 0) << "the server did not come back";
    }
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, "");
    if (c.status == 64 || c.sends_nothing) {
        EXPECT_EQ(Requests(), std::vector<std::string>{});  // nothing looked up or sent
    }

    // Bounded wait for the jobs to reach their end state (a hang guard, not a timing).
    const std::size_t want_jobs = c.printed || c.job ? 1 : 0;
    const ipp_jstate_t want_state = c.job.value_or(IPP_JSTATE_COMPLETED);
    std::vector<Job> jobs;
    for (int attempt = 0; attempt < 200; ++attempt) {
        jobs = JobsFrom(first_job_);
        if (jobs.size() == want_jobs && (jobs.empty() || jobs[0].state == want_state)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(jobs.size(), want_jobs);
    std::string cause = InDir(c.cause);
    env.insert({"CUPS_SERVER", getenv("CUPS_SERVER")});
    if (const auto at = cause.find("SERVER"); at != std::string::npos)
        cause.replace(at, 6, env["CUPS_SERVER"]);
    // A job the run left none of is the queue's next.
    if (const auto at = cause.find("JOB"); at != std::string::npos)
        cause.replace(at, 3,
                      want_jobs
                          ? jobs[0].dest + "-" + std::to_string(jobs[0].id)
                          : c.args[0].substr(0, c.args[0].find(kBar)) + "-" + std::to_string(first_job_));
    EXPECT_EQ(result.err, (c.status == 2 ? "The Printer Name you typed wasn't recognized.\n" : "") +
                              (cause.empty() ? "" : "ploxwen: " + cause + "\n"));
    for (const Job& job : JobsFrom(first_job_)) {
        const std::string got = ReadFile(dir + "/out/" + job.dest + "/" + std::to_string(job.id));
        const std::string& want = c.printed.value_or("");
        if (want.size() <= 4096) {
            EXPECT_EQ(got, want);
        } else {  // too long to show: where it differs
            const auto differ = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
            EXPECT_TRUE(got == want) << got.size() << " bytes, the first difference at "
                                     << (differ.first - got.begin());
        }
    }
    if (want_jobs) {
        EXPECT_EQ(jobs[0].state, want_state);
        EXPECT_EQ(jobs[0].title, "Command Print");
        EXPECT_EQ(jobs[0].dest, c.args[0].substr(0, c.args[0].find(kBar)));
        if (c.printed) {
            EXPECT_EQ(jobs[0].format, CUPS_FORMAT_RAW);
        }
    }
    // The default printer stays as it was, for the server and for the user.
    const char* server_default = cupsGetDefault2(CUPS_HTTP_DEFAULT);
    EXPECT_STREQ(server_default ? server_default : "", "Second");
    EXPECT_NE(access((dir + "/home/.cups/lpoptions").c_str(), F_OK), 0);
}

const std::string kStop = PLOXWEN_CUPSD " stop \"$PLOXWEN_CUPS_DIR\"";
const std::string kBig(100000, 'x');  // six of these outlast the sockets' buffers on the way
const std::string kText = "\x1B@Caf\xC3\xA9 \xE2\x82\xAC 5 \xF0\x9F\xA7\xBE\n\x1DV\x41\x03";

const std::string kV = "Virtual" + kBar;
const std::vector<std::string> kStreamed{kV, kBig, kBig, kBig, kBig, kBig, kBig};

INSTANTIATE_TEST_SUITE_P(
    Runs, Cups,
    testing::Values(
        Prints("EveryByteArrivesUnchangedInAUtf8Locale", {kV + AllBytes()}, AllBytes()),
        Prints("EveryByteArrivesUnchangedInTheCLocaleThroughAQueueWithADriver",
               {"Filtered" + kBar + AllBytes()}, AllBytes())
            .Env("LC_ALL", "C"),
        // Where the locale's charset has no U+00A6, its UTF-8 bytes separate
        // wherever they are two characters of it; every other byte arrives.
        Prints("TheUtf8BarSeparatesInALatin9LocaleAndEveryByteArrivesUnchanged", {kV + AllBytes()},
               AllBytes())
            .Env("LC_ALL", "de_DE.ISO-8859-15"),
        Prints("TheUtf8BarSeparatesInAKoi8RLocaleBeforeAndAfterALoneC2",
               {kV + "\xF0\xD2\xC9\xD7\xC5\xD4\xC2" + kBar + "dropped"}, "\xF0\xD2\xC9\xD7\xC5\xD4\xC2")
            .Env("LC_ALL", "ru_RU.KOI8-R"),
        Prints("InShiftJisTheUtf8BarSeparatesOnlyWhereItsTwoCharactersBegin",  // 88 C2 is a kanji
               {kV + "\x88\xC2\xA6" + AllBytes()}, "\x88\xC2\xA6" + AllBytes())
            .Env("LC_ALL", "ja_JP.SHIFT_JIS"),
        Gives("InBig5TheUtf8BarIsOneCharacterAndSeparatesNothing", {kV + "X"}, 1)
            .Says("no printer named \"" + kV + "X\"\nusage: ploxwen \"PRINTER?DATA\" (see ploxwen(1))")
            .Env("LC_ALL", "zh_TW.BIG5"),
        Prints("MultibyteTextAndEscapeSequencesArriveUnchanged", {kV + kText}, kText),
        Prints("A128KiBPayloadInSeveralArgumentsArrivesJoinedBySingleSpaces", {kV + kChunk, kChunk, kChunk},
               kChunk + " " + kChunk + " " + kChunk),
        Prints("PiecesAfterTheSecondAreIgnored", {kV + "AB" + kBar + "CD"}, "AB"),
        Prints("UnsetARasterHoldingTheBarsBytesEndsThere", {kV + "\x1Dv0\x01\xFF" + kBar + "\x02"},
               "\x1Dv0\x01\xFF"),
        // PLOXWEN_DATA: every byte, 00 and C2 A6 too, and any size, exactly as decoded or read.
        Prints("HexCarriesEveryByte", {kV + Hex(kEvery)}, kEvery).Env("PLOXWEN_DATA", "hex"),
        Prints("Base64CarriesEveryByte", {kV + ploxwen::fake::Base64(kEvery, 76)}, kEvery)
            .Env("PLOXWEN_DATA", "base64"),
        Prints("AFileCarriesEveryByte", {kV + "@DIR@/every"}, kEvery).Env("PLOXWEN_DATA", "file"),
        Prints("StandardInputCarriesEveryByte", {"Virtual"}, kEvery)
            .Env("PLOXWEN_DATA", "stdin")
            .Feeds("cat @DIR@/every"),
        Prints("A16MiBFileArrivesExactly", {kV + "@DIR@/big"}, kBigFile).Env("PLOXWEN_DATA", "file"),
        Prints("A16MiBPipeArrivesExactly", {kV}, kBigFile)
            .Env("PLOXWEN_DATA", "stdin")
            .Feeds("cat @DIR@/big"),
        Prints("TextInTheCodePageAskedFor", {kV + "Gr\u00FC\u00DFe"}, "\x47\x72\x81\xE1\x65")
            .Env("PLOXWEN_CODEPAGE", "CP437"),
        // The payload is in hand whole before the first lookup: a run stopped while reading sends nothing.
        Gives("APipeCutOffPartWaySendsNothing", {"Virtual"}, -1)
            .Env("PLOXWEN_DATA", "stdin")
            .Feeds("head -c 1000000 @DIR@/big; kill -TERM $PEER; sleep 1")
            .SendsNothing(),
        Gives("AFifoCutOffPartWaySendsNothing", {kV + "@DIR@/fifo"}, -1)
            .Env("PLOXWEN_DATA", "file")
            .Feeds("head -c 1000000 @DIR@/big >@DIR@/fifo; kill -TERM $PEER")
            .SendsNothing(),
        // What cannot be honoured is refused with 64 before anything is looked up.
        Gives("AnUnknownDataModeIsRefused", {kV + "X"}, 64)
            .Says("PLOXWEN_DATA must be one of hex, base64, file, stdin")
            .Env("PLOXWEN_DATA", "binary"),
        Gives("AnUnknownCodePageIsRefused", {kV + "X"}, 64)
            .Says("PLOXWEN_CODEPAGE=CP9999: iconv has no such charset")
            .Env("PLOXWEN_CODEPAGE", "CP9999"),
        Gives("ACodePageWithABinaryModeIsRefused", {kV + "00"}, 64)
            .Says("PLOXWEN_CODEPAGE applies to text only, not to PLOXWEN_DATA=hex")
            .Env("PLOXWEN_DATA", "hex")
            .Env("PLOXWEN_CODEPAGE", "CP437"),
        Gives("HexThatIsNotHexIsRefusedWithWhere", {kV + "1b 70 00 19 fa 0g"}, 64)
            .Says("PLOXWEN_DATA=hex: not a hex digit at character 17")
            .Env("PLOXWEN_DATA", "hex"),
        Gives("Base64ThatIsNotBase64IsRefusedWithWhere", {kV + "QUJD RA=x"}, 64)
            .Says("PLOXWEN_DATA=base64: data after padding at character 9")
            .Env("PLOXWEN_DATA", "base64"),
        Gives("AMissingFileIsRefusedWithTheSystemsReason", {kV + "@DIR@/missing"}, 64)
            .Says("PLOXWEN_DATA=file: cannot open @DIR@/missing: No such file or directory")
            .Env("PLOXWEN_DATA", "file"),
        Gives("ADirectoryIsRefusedWithTheSystemsReason", {kV + "@DIR@"}, 64)
            .Says("PLOXWEN_DATA=file: cannot read @DIR@: Is a directory")
            .Env("PLOXWEN_DATA", "file"),
        // The program's own memory failing is neither a missing printer nor the spooler's fault.
        Gives("AFileLargerThanTheMemoryAllowedGives71AndSendsNothing", {kV + "@DIR@/huge"}, 71)
            .Says("PLOXWEN_DATA=file: cannot hold @DIR@/huge: Cannot allocate memory")
            .Env("PLOXWEN_DATA", "file")
            .Within(rlim_t{512} << 20)
            .SendsNothing(),
        Gives("StandardInputFromATerminalIsRefused", {"Virtual"}, 64)
            .Says("PLOXWEN_DATA=stdin: standard input is a terminal")
            .Env("PLOXWEN_DATA", "stdin")
            .Feeds("tty"),
        Gives("DataAfterTheBarWithStdinIsRefused", {kV + "X"}, 64)
            .Says("PLOXWEN_DATA=stdin takes no data after " + kBar)
            .Env("PLOXWEN_DATA", "stdin")
            .Feeds("echo Y"),
        // CUPS itself would take these for Virtual.
        // Status 1 names the name typed, and the one meant where only case or spaces differ.
        Gives("ANameInAnotherCaseMatchesNothing", {"virtual" + kBar + "X"}, 1)
            .Says("no printer named \"virtual\" (did you mean \"Virtual\"?)"),
        Gives("ANameWithATrailingSpaceMatchesNothing", {"Virtual " + kBar + "X"}, 1)
            .Says("no printer named \"Virtual \" (did you mean \"Virtual\"?)"),
        Gives("AnArgumentWithoutTheBarGivesTheUsageToo", {"--help"}, 1)
            .Says("no printer named \"--help\"\nusage: ploxwen \"PRINTER" + kBar + "DATA\" (see ploxwen(1))"),
        Gives("NoArgumentGivesTheUsage", {}, 1)
            .Says("no argument\nusage: ploxwen \"PRINTER" + kBar + "DATA\" (see ploxwen(1))"),
        Gives("AControlCharacterInTheNameCannotStartALineOfItsOwn", {"Vir\ntual" + kBar + "X"}, 1)
            .Says("no printer named \"Vir?tual\""),
        Prints("AQueueWithANameOfTheLongest127BytesIsFound", {kLongest + kBar + "X"}, "X"),
        Gives("AClassIsFoundLikeAQueue", {"Team" + kBar + "X"}, 0).Leaves(IPP_JSTATE_COMPLETED),
        Gives("EmptyDataSucceedsAndLeavesNoJobWaiting", {kV}, 0),
        Gives("AnUnreachableServerShowsTheMessageAndNamesTheServer", {kV + "X"}, 2)
            .Says("server unreachable at SERVER")
            .Env("CUPS_SERVER", "/nonexistent/cups.sock"),
        // However the server sends or reads, the run ends at its deadline with the status of its phase.
        Gives("AServerThatNeverAnswersGivesUpWith2", {kV + "X"}, 2)
            .Says("server not answering at SERVER")
            .When("relay silent"),
        // libcups connects again on its own after a "Connection: close", with a 30 s timeout of its own
        // that the socket cut cannot reach: here it would have held the run a minute.
        Gives("AServerThatClosesLateAndThenTakesNoConnectionEndsAtTheLimitWith2", {kV + "X"}, 2)
            .Says("server not answering at SERVER")
            .Env("CUPS_SERVER", "127.0.0.1")
            .When("relay close-deaf 25")
            .EndsWithin(std::chrono::seconds(45)),
        Gives("AServerTricklingItsAnswersGivesUpWith2", {kV + "X"}, 2)
            .Says("server not answering at SERVER")
            .When("relay trickle"),
        Gives("AServerReadingTheJobTooSlowlyGives3AndNoJob", kStreamed, 3)
            .Says("server not answering at SERVER")
            .When("relay slow-read 5000"),
        Case{"AServerTricklingTheJobsAnswerGives4AndTheJobPrintsOnce", {kV + "HELLO"}, 4, "HELLO"}
            .Says("server not answering at SERVER")
            .When("relay trickle-answer"),
        // A library call that never returns (a hook sleeping past the hang guard) is ended about
        // a second after the deadline, with the status of the run's phase.
        Gives("ACallThatNeverReturnsBeforeTheJobIsSentEndsAtTheLimitWith3", {kV + "X"}, 3)
            .Says("server not answering at SERVER")
            .When("Print-Job before sleep 100"),
        Case{"ACallThatNeverReturnsDuringTheWaitEndsAtTheLimitWith4", {kV + "HELLO"}, 4, "HELLO"}
            .Says("server not answering at SERVER")
            .When("Get-Job-Attributes before sleep 100")
            .Env("PLOXWEN_WAIT", "1"),
        // A connection broken before any answer is made again, while nothing of the job went.
        Prints("ALookupWhoseConnectionBrokeIsMadeAgain", {kV + "HELLO"}, "HELLO")
            .When("relay hang-up localhost/printers/Virtual"),
        Prints("AJobWhoseConnectionBrokeAtItsStartIsSentAgainAndPrintsOnce", {kV + "HELLO"}, "HELLO")
            .When("relay hang-up 'POST /printers/'"),
        // Over TCP a refusal shows only once the non-blocking connect() ends.
        Prints("AServerStillRefusingOverTcpIsWaitedFor", {kV + "HELLO"}, "HELLO")
            .Env("CUPS_SERVER", "127.0.0.1")
            .When("relay late"),
        // The server's refusal in its answer to the job: it made none, so a retry is safe.
        Gives("AQueueRejectingJobsRefusesTheJobWith3", {"Closed" + kBar + "X"}, 3)
            .Says("queue not accepting jobs"),
        // The open is a lookup made before, so the first request to meet the fault is the job.
        Gives("ServerStoppedAfterTheLookupGives3AndNoJob", {kV + "X"}, 3)
            .Says("server unreachable at SERVER")
            .When("Get-Printer-Attributes after " + kStop),
        Gives("QueueDeletedAfterTheLookupGives3AndNoJob", {"Gone" + kBar + "X"}, 3)
            .Says("queue not found")
            .When("Get-Printer-Attributes after lpadmin -x Gone"),
        Prints("ServerRestartedJustBeforeTheJobStillPrints", {kV + "HELLO"}, "HELLO")
            .When("Print-Job before " + kStop + " && " + PLOXWEN_CUPSD " start \"$PLOXWEN_CUPS_DIR\""),
        // The job is made only from a complete request.
        Gives("ProgramKilledWhileTheDataStreamsLeavesNoJob", kStreamed, -1)
            .When("relay cut 'kill -KILL $PEER'"),
        Gives("ServerStoppedWhileTheDataStreamsGives3AndNoJob", kStreamed, 3)
            .Says("connection lost while sending")
            .When("relay cut '" + kStop + "'"),
        // The server's own answer names the cause, arriving mid-upload or unreadable.
        Gives("AnHttpRefusalInTheMiddleOfTheUploadGives3AndNamesIt", kStreamed, 3)
            .Says("server refused: Request Entity Too Large")
            .When(
                R"(relay answer-job 'HTTP/1.1 413 Request Entity Too Large\r\nContent-Length: 0\r\n\r\n' 65536)"),
        Gives("AnHttpServerErrorInTheMiddleOfTheUploadGives3", kStreamed, 3)
            .Says("server error")
            .When(
                R"(relay answer-job 'HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n' 65536)"),
        Gives("AMalformedAnswerToTheJobGives4AndSaysSo", {kV + "HELLO"}, 4)
            .Says("malformed answer from the server at SERVER")
            .When(
                R"(relay answer-job 'HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: 4\r\n\r\njunk' 0)"),
        Case{"ALostAnswerGives4AndTheJobPrintsOnce", {kV + "HELLO"}, 4, "HELLO"}
            .Says("answer lost")
            .When("relay drop-answer"),
        // Status 0 means the spooler took the job; the queue and device decide the rest.
        Gives("ADisabledQueueKeepsTheJobPending", {"Paused" + kBar + "X"}, 0).Leaves(IPP_JSTATE_PENDING),
        Gives("AFailingDeviceAbortsTheJob", {"Broken" + kBar + "X"}, 0).Leaves(IPP_JSTATE_ABORTED),
        // With PLOXWEN_WAIT, the spooler's verdict on the job: 0 printed, 5 not printed, 6 not yet.
        Prints("AWaitSeesTheJobCompletedAndGives0", {kV + "HELLO"}, "HELLO").Env("PLOXWEN_WAIT", "3"),
        Gives("AWaitSeesAFailingDeviceAbortTheJobAndGives5", {"Broken" + kBar + "X"}, 5)
            .Leaves(IPP_JSTATE_ABORTED)
            .Says("job JOB aborted: the test device failed")
            .Env("PLOXWEN_WAIT", "3"),
        // The server's words are never terminal output: one line, its controls made inert.
        Gives("AServersMessageForgingACauseLineStaysOneInertLine", {"Broken" + kBar + "X"}, 5)
            .Leaves(IPP_JSTATE_ABORTED)
            .Says("job JOB aborted: ??[2Jploxwen: job OK!!")
            .When(R"(relay forge 'the test device failed' '\n\x1b[2Jploxwen: job OK!!')")
            .Env("PLOXWEN_WAIT", "3"),
        Gives("AWaitSeesThePrinterStopOverTheJobAndGives5", {"Jam" + kBar + "X"}, 5)
            .Leaves(IPP_JSTATE_PENDING)
            .Says("job JOB pending: printer stopped (media-empty)")
            .Env("PLOXWEN_WAIT", "3"),
        // A look that fails is made again until the wait ends; only the spooler's answer ends it early.
        Prints("AWaitLooksAgainAfterALookWhoseConnectionBrokeAndGives0", {kV + "HELLO"}, "HELLO")
            .When("relay hang-up job-printer-state-message")
            .Env("PLOXWEN_WAIT", "3"),
        Case{"AJobCompletedWithErrorsIsNotPrinted", {kV + "HELLO"}, 5, "HELLO"}
            .Says("job JOB completed with errors")
            .When(R"(relay forge '\x00\x18processing-to-stop-point' '\x00\x19job-completed-with-errors')")
            .Env("PLOXWEN_WAIT", "3"),
        Gives("AQueueDeletedDuringTheWaitGives5", {"Doomed" + kBar + "X"}, 5)
            .Says("job JOB canceled: its queue was deleted")
            .When("Get-Job-Attributes after lpadmin -x Doomed")
            .Env("PLOXWEN_WAIT", "3"),
        Gives("AWaitOnADisabledQueueGives6AndLeavesTheJobPending", {"Paused" + kBar + "X"}, 6)
            .Leaves(IPP_JSTATE_PENDING)
            .Says("job JOB still pending after 2 s: queue disabled")
            .Env("PLOXWEN_WAIT", "2"),
        Gives("AWaitOnAnOfflinePrinterGives6AndLeavesTheJobProcessing", {"Offline" + kBar + "X"}, 6)
            .Leaves(IPP_JSTATE_PROCESSING)
            .Says("job JOB still processing after 2 s: printer offline")
            .Env("PLOXWEN_WAIT", "2"),
        Gives("ServerStoppedDuringTheWaitGives6AndTheJobSurvives", {"Paused" + kBar + "X"}, 6)
            .Leaves(IPP_JSTATE_PENDING)
            .Says("cannot look at job JOB: server unreachable at SERVER")
            .When("Get-Job-Attributes after " + kStop)
            .Env("PLOXWEN_WAIT", "3"),
        Gives("AWaitThatIsNotWholeSecondsFrom1To3600IsAUsageErrorAndSendsNothing", {kV + "X"}, 64)
            .Says("PLOXWEN_WAIT must be a whole number of seconds from 1 to 3600")
            .Env("PLOXWEN_WAIT", "10s"),
        // PLOXWEN_DATATYPE: on CUPS every job is raw; auto and RAW change nothing, XPS_PASS cannot be.
        Prints("ADataTypeOfAutoPrintsAsWithout", {kV + "HELLO"}, "HELLO").Env("PLOXWEN_DATATYPE", "auto"),
        Gives("ADataTypeOfXpsPassIsAUsageErrorOnCupsAndSendsNothing", {kV + "X"}, 64)
            .Says("PLOXWEN_DATATYPE=XPS_PASS is not a data type this spooler takes")
            .Env("PLOXWEN_DATATYPE", "XPS_PASS")),
    [](const testing::TestParamInfo<Case>& test) { return std::string(test.param.name); });

// Found only if the lookup spells the name exactly (the table cannot check it: job listings URI-encode it).
TEST_F(Cups, AQueueNamedWithPercentAndUmlautIsFound) {
    EXPECT_EQ(Ploxwen({"K\u00FCche%1" + kBar + "K"}, {}).status, 0);
}

// The IPP request a client sent first, from the relay's `pass` record: the body after its HTTP header.
ipp_t* FirstRequest(const std::string& sent) {
    struct Bytes {
        std::string body;
        std::size_t at = 0;
    } bytes{sent.substr(std::min(sent.size(), sent.find("\r\n\r\n") + 4))};
    const auto read = [](void* context, ipp_uchar_t* buffer, std::size_t wanted) -> ssize_t {
        auto& from = *static_cast<Bytes*>(context);
        const std::size_t count = std::min(wanted, from.body.size() - from.at);
        std::copy_n(from.body.data() + from.at, count, buffer);
        from.at += count;
        return static_cast<ssize_t>(count);
    };
    ipp_t* request = ippNew();
    ippReadIO(&bytes, read, 1, nullptr, request);
    return request;
}

// Nothing is asked after the job: the default the server names exists, one from the environment is
// looked up before the job, and the default named is not looked up twice. The default here is Second.
TEST_F(Cups, TheDefaultIsKnownBeforeTheJobAndCupsGetDefaultAsksForItsNameOnly) {
    const std::string sent = dir + "/relay.sent";
    ASSERT_EQ(Ploxwen({"Virtual" + kBar + "HELLO"}, {{"CUPS_SERVER", StartRelay("pass " + sent)}}).status, 0);
    ASSERT_EQ(Ploxwen({"Second" + kBar + "HELLO"}, {}).status, 0);
    ASSERT_EQ(Ploxwen({"Virtual" + kBar + "HELLO"}, {{"PRINTER", "Virtual/copy"}}).status, 0);
    ASSERT_EQ(Ploxwen({"Virtual" + kBar + "HELLO"}, {{"LPDEST", "Second"}}).status, 0);
    const std::vector<std::string> expected{"CUPS-Get-Default",
                                            "Get-Printer-Attributes",
                                            "Print-Job",
                                            "CUPS-Get-Default",
                                            "Print-Job",
                                            "Get-Printer-Attributes",
                                            "Print-Job",
                                            "Get-Printer-Attributes",
                                            "Get-Printer-Attributes",
                                            "Print-Job"};
    std::vector<std::string> requests;
    for (int attempt = 0; attempt < 100 && (requests.size() < expected.size() || ReadFile(sent).empty());
         ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // cupsd and the relay record afterwards
        requests = Requests();
    }
    StopRelay();
    EXPECT_EQ(requests, expected);
    ipp_t* request = FirstRequest(ReadFile(sent));
    EXPECT_EQ(ippGetOperation(request), IPP_OP_CUPS_GET_DEFAULT);
    ipp_attribute_t* asked = ippFindAttribute(request, "requested-attributes", IPP_TAG_KEYWORD);
    EXPECT_EQ(ippGetCount(asked), 1);
    EXPECT_STREQ(ippGetString(asked, 0, nullptr), "printer-name");
    ippDelete(request);
}

// Started with stderr closed, the run's connection takes descriptor 2 unless the program fills it, and
// the cause line of a wait, written while that connection is open, would go to the server.
TEST_F(Cups, WithStderrClosedOnlyRequestsReachTheServer) {
    const std::string sent = dir + "/relay.sent";
    const std::string relay = StartRelay("pass " + sent);
    EXPECT_EQ(Ploxwen({"Paused" + kBar + "X"}, {{"CUPS_SERVER", relay}, {"PLOXWEN_WAIT", "1"}}, true).status,
              6);
    // The relay records a connection once the program has closed it.
    for (int i = 0; i < 250 && ReadFile(sent).find("/printers/Paused") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    StopRelay();
    EXPECT_NE(ReadFile(sent).find("/printers/Paused"), std::string::npos);
    EXPECT_EQ(ReadFile(sent).find("ploxwen:"), std::string::npos);
}

// Memory failing wherever a run happens to be, from the least the loader needs to more than the run
// needs: every limit ends in one job printed or in 71 with its cause line and no job, never in a
// missing printer, a spooler fault or a crash.
TEST_F(Cups, UnderEveryMemoryLimitARunPrintsOrGives71) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory exceeds any such limit";
#endif
    const std::string data(120000, 'x');  // copied and converted a few times on its way
    std::map<int, int> statuses;
    for (rlim_t limit = rlim_t{14} << 20; limit < rlim_t{24} << 20; limit += rlim_t{40} << 10) {
        const Result run = Ploxwen({kV + data}, {}, false, "", limit);
        ++statuses[run.status];
        if (run.status == 71) {
            EXPECT_EQ(run.err.substr(run.err.rfind("ploxwen: ")), "ploxwen: out of memory\n");
        }
        // 127: the program could not even be loaded.
        EXPECT_TRUE(run.status == 0 || run.status == 71 || run.status == 127) << limit << ": " << run.err;
    }
    EXPECT_GT(statuses[71], 0);
    EXPECT_GT(statuses[0], 0);
    EXPECT_EQ(JobsFrom(first_job_).size(), static_cast<std::size_t>(statuses[0]));
}

// A burst fills cupsd's listen queue (connect() answers EAGAIN); every run still prints.
TEST_F(Cups, TwoHundredRunsStartedAtOnceOverFiftyQueuesAllPrint) {
    ASSERT_EQ(Shell("for q in $(seq 50); do lpadmin -p Burst$q -E -v testout:/ || exit 1; done"), 0);
    ASSERT_EQ(Shell("cd " + dir +
                    " && for i in $(seq 200); do (env -u DISPLAY " PLOXWEN_BINARY " Burst$((i % 50 + 1))" +
                    kBar + "run-$i; printf $? >>statuses) & done; wait"),
              0);
    EXPECT_EQ(ReadFile(dir + "/statuses"), std::string(200, '0'));
    std::set<std::string> want, printed;
    for (int i = 1; i <= 200; ++i) want.insert("run-" + std::to_string(i));
    for (int attempt = 0; attempt < 600 && printed != want; ++attempt) {  // a hang guard, not a timing
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        printed.clear();
        for (const Job& job : JobsFrom(first_job_))
            if (job.state == IPP_JSTATE_COMPLETED)
                printed.insert(ReadFile(dir + "/out/" + job.dest + "/" + std::to_string(job.id)));
    }
    EXPECT_EQ(printed, want);
}

}  // namespace
