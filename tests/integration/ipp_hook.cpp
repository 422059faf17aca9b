// Test-only LD_PRELOAD shim: runs a shell command once, at one IPP request
// of the program under test, so a test can change the spooler at that exact
// point of a run (stop the server, delete the queue, ...).
//
//   PLOXWEN_HOOK_OPERATION  IPP operation name, e.g. Create-Job
//   PLOXWEN_HOOK_WHEN       "before" the request is sent, or "after" its
//                           response arrived (cupsDoRequest only)
//   PLOXWEN_HOOK_COMMAND    run with /bin/sh -c; the request waits for it
//
// The program is unchanged: the shim sits between it and libcups, and is
// built only with the tests.
#include <cups/cups.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool fired = false;

bool Matches(ipp_t* request, const char* when) {
    const char* operation = std::getenv("PLOXWEN_HOOK_OPERATION");
    const char* hook_when = std::getenv("PLOXWEN_HOOK_WHEN");
    if (fired || request == nullptr || operation == nullptr || hook_when == nullptr) return false;
    return std::strcmp(hook_when, when) == 0 &&
           std::strcmp(ippOpString(ippGetOperation(request)), operation) == 0;
}

void RunHook() {
    fired = true;
    const char* command = std::getenv("PLOXWEN_HOOK_COMMAND");
    if (command == nullptr) return;
    const pid_t pid = fork();
    if (pid == 0) {
        // The hook's output must not mix with the program's own.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "ipp_hook: command failed: %s\n", command);
    }
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ipp_t* cupsDoRequest(http_t* http, ipp_t* request, const char* resource) {
    static const auto real = Next<ipp_t* (*)(http_t*, ipp_t*, const char*)>("cupsDoRequest");
    const bool after = Matches(request, "after");  // the request is freed by the call
    if (Matches(request, "before")) RunHook();
    ipp_t* response = real(http, request, resource);
    if (after) RunHook();
    return response;
}

extern "C" http_status_t cupsSendRequest(http_t* http, ipp_t* request, const char* resource, size_t length) {
    static const auto real = Next<http_status_t (*)(http_t*, ipp_t*, const char*, size_t)>("cupsSendRequest");
    if (Matches(request, "before")) RunHook();
    return real(http, request, resource, length);
}
