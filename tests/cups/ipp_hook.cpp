// Test-only LD_PRELOAD shim: runs PLOXWEN_HOOK_COMMAND (with /bin/sh, the
// request waiting for it) once, at the IPP request PLOXWEN_HOOK_OPERATION of
// the program, "before" it is sent or "after" its response arrived
// (PLOXWEN_HOOK_WHEN), so a test can change the spooler at that point of a
// run: stop the server, delete the queue. The program itself is unchanged.
#include <cups/cups.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Matches(ipp_t* request, const char* when) {
    static bool fired = false;
    const char* operation = std::getenv("PLOXWEN_HOOK_OPERATION");
    const char* hook_when = std::getenv("PLOXWEN_HOOK_WHEN");
    if (fired || !request || !operation || !hook_when || std::strcmp(hook_when, when) != 0 ||
        std::strcmp(ippOpString(ippGetOperation(request)), operation) != 0) {
        return false;
    }
    return fired = true;
}

void RunHook() {
    const std::string command = std::string(std::getenv("PLOXWEN_HOOK_COMMAND")) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::abort();  // the case cannot mean anything now
}

}  // namespace

extern "C" ipp_t* cupsDoRequest(http_t* http, ipp_t* request, const char* resource) {
    static const auto real =
        reinterpret_cast<ipp_t* (*)(http_t*, ipp_t*, const char*)>(dlsym(RTLD_NEXT, "cupsDoRequest"));
    const bool after = Matches(request, "after");  // the call frees the request
    if (Matches(request, "before")) RunHook();
    ipp_t* response = real(http, request, resource);
    if (after) RunHook();
    return response;
}

extern "C" http_status_t cupsSendRequest(http_t* http, ipp_t* request, const char* resource, size_t length) {
    static const auto real = reinterpret_cast<http_status_t (*)(http_t*, ipp_t*, const char*, size_t)>(
        dlsym(RTLD_NEXT, "cupsSendRequest"));
    if (Matches(request, "before")) RunHook();
    return real(http, request, resource, length);
}
