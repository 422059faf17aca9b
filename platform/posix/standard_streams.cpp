#include "platform/posix/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace ploxwen::posix
