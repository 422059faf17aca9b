#include "platform/posix/posix_process.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/cups_deadline.h"

namespace ploxwen::posix {

void OpenClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened < 0) {
            // No /dev/null (a bare chroot): the read end of an empty pipe
            // holds the number just as well; writes to it fail and go nowhere.
            int ends[2];
            if (pipe(ends) != 0) continue;
            close(ends[1]);
            opened = ends[0];
        }
        // The lower numbers are open by now, so this is `fd` itself.
        if (opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

namespace {

// The first mapping of a stream: a receipt fits, and every doubling after it
// only moves page tables.
constexpr std::size_t kFirstCapacity = std::size_t{1} << 20;
// The most an unprivileged process may ask of a pipe by default (pipe-max-size).
constexpr int kPipeSize = 1 << 20;

class MappedPayload final : public platform::Payload {
public:
    MappedPayload() = default;
    MappedPayload(const MappedPayload&) = delete;
    MappedPayload& operator=(const MappedPayload&) = delete;
    ~MappedPayload() override {
        if (data_ != nullptr) munmap(data_, capacity_);
    }
    std::string_view Bytes() const override { return {static_cast<const char*>(data_), size_}; }

    // Room for `capacity` bytes in all; false (errno set) when there is no memory.
    bool Reserve(std::size_t capacity) {
        if (capacity <= capacity_) return true;
        void* grown = data_ == nullptr ? mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                       : mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
        if (grown == MAP_FAILED) return false;
        data_ = grown;
        capacity_ = capacity;
        return true;
    }
    // Reads once into the room left; what read() returns.
    ssize_t ReadFrom(int fd) {
        const ssize_t got = read(fd, static_cast<char*>(data_) + size_, capacity_ - size_);
        if (got > 0) size_ += static_cast<std::size_t>(got);
        return got;
    }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// `text` as a cause line shows it: no control byte.
std::string Shown(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') c = '?';
    }
    return text;
}

// `words` and the system's reason (errno) for the failure just met. No
// memory or no descriptor left is the program's own failure, not the file's.
[[noreturn]] void ThrowSystemFailure(const std::string& words) {
    const int error = errno;
    const std::string cause = words + ": " + std::strerror(error);
    if (error == ENOMEM || error == EMFILE || error == ENFILE) throw platform::ResourceError(cause);
    throw platform::PlatformError(cause);
}

// Everything `fd` holds from where it stands. A regular file is read as the
// size it has now and must hold that much; anything else to its end.
std::unique_ptr<platform::Payload> ReadWhole(int fd, const std::string& what) {
    auto payload = std::make_unique<MappedPayload>();
    const auto fail = [&](const char* doing) {
        ThrowSystemFailure("cannot " + std::string(doing) + " " + what);
    };
    struct stat status {};
    if (fstat(fd, &status) != 0) fail("read");
    // A file that says it is empty may not be (/proc): read to its end.
    const bool regular = S_ISREG(status.st_mode) && status.st_size > 0;
    std::size_t expected = 0;
    if (regular) {
        const off_t at = lseek(fd, 0, SEEK_CUR);
        expected = static_cast<std::size_t>(status.st_size - std::clamp<off_t>(at, 0, status.st_size));
        if (expected == 0) return payload;
    }
    // A larger pipe lets its writer run ahead in fewer, longer turns; where
    // the system refuses, the pipe keeps its size.
    if (S_ISFIFO(status.st_mode)) fcntl(fd, F_SETPIPE_SZ, kPipeSize);
    if (!payload->Reserve(regular ? expected : kFirstCapacity)) fail("hold");
    for (;;) {
        if (payload->size() == payload->capacity()) {
            if (regular) break;
            if (!payload->Reserve(payload->capacity() * 2)) fail("hold");
        }
        const ssize_t got = payload->ReadFrom(fd);
        if (got == 0) break;
        if (got < 0 && errno != EINTR) fail("read");
    }
    if (regular && payload->size() < expected) {
        throw platform::PlatformError(what + " shrank while it was read");
    }
    return payload;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) joined.push_back(' ');
        joined += arguments[i];
    }
    return joined;
}

}  // namespace

PosixProcess::PosixProcess(int argc, char** argv, PosixCodePage& code_page)
    : arguments_(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)), code_page_(code_page) {}

std::u16string PosixProcess::ArgumentText() {
    return code_page_.DecodeArgumentText(JoinArguments(arguments_));
}

std::optional<std::string> PosixProcess::EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::unique_ptr<platform::Payload> PosixProcess::ReadFile(std::u16string_view path) {
    const std::string narrow = code_page_.ToNarrow(path);
    const std::string shown = Shown(narrow);
    const int fd = open(narrow.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowSystemFailure("cannot open " + shown);
    try {
        auto payload = ReadWhole(fd, shown);
        close(fd);
        return payload;
    } catch (...) {
        close(fd);
        throw;
    }
}

std::unique_ptr<platform::Payload> PosixProcess::ReadStandardInput() {
    // Nobody would end a terminal's input: reading it would wait for ever.
    if (isatty(STDIN_FILENO)) throw platform::PlatformError("standard input is a terminal");
    return ReadWhole(STDIN_FILENO, "standard input");
}

void PosixProcess::WriteCause(std::string_view cause) {
    StandDownLastResort();  // one cause line per run: this one
    std::fprintf(stderr, "ploxwen: %.*s\n", static_cast<int>(cause.size()), cause.data());
    std::fflush(stderr);
}

void PosixProcess::EndProgram(int exit_status) {
    StandDownLastResort();
    std::fflush(nullptr);
    std::_Exit(exit_status);
}

}  // namespace ploxwen::posix
