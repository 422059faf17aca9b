// Process services on POSIX: the argument text from argv, the environment,
// the cause line on stderr, the exit; and standard streams as the program
// needs them before anything else runs.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_code_page.h"

namespace ploxwen::posix {

// Opens each of descriptors 0, 1 and 2 that the caller left closed on
// /dev/null. Run first thing in main(): otherwise the next descriptor opened,
// the connection to the spooler, would take the closed number, and the
// message and cause line written to stderr would go into that connection.
void OpenClosedStandardStreams();

class PosixProcess final : public platform::Process {
public:
    // The argument text is argv[1..] in the locale's charset, `code_page`.
    PosixProcess(int argc, char** argv, PosixCodePage& code_page);

    // argv[1..] joined with single spaces, as the shell left them.
    std::u16string ArgumentText() override;
    std::optional<std::string> EnvironmentVariable(const char* name) override;
    // Into memory mapped for the payload: a regular file in one mapping of
    // its size, a pipe in one that grows in place (mremap), so the payload
    // is never copied and only the pages it fills are resident.
    std::unique_ptr<platform::Payload> ReadFile(std::u16string_view path) override;
    std::unique_ptr<platform::Payload> ReadStandardInput() override;
    void WriteCause(std::string_view cause) override;
    [[noreturn]] void EndProgram(int exit_status) override;

private:
    std::vector<std::string> arguments_;
    PosixCodePage& code_page_;
};

}  // namespace ploxwen::posix
