#include "platform/posix/posix_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) joined.push_back(' ');
        joined += arguments[i];
    }
    return joined;
}

}  // namespace

PosixProcess::PosixProcess(int argc, char** argv, const PosixCodePage& code_page)
    : arguments_(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)), code_page_(code_page) {}

std::u16string PosixProcess::ArgumentText() {
    return code_page_.DecodeArgumentText(JoinArguments(arguments_));
}

std::optional<std::string> PosixProcess::EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
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
