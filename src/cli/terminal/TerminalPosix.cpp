#include "cli/terminal/Terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vantor::cli {

bool Terminal::isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

bool Terminal::movesCursor(std::FILE* stream)
{
    const char* term = std::getenv("TERM");
    return isTerminal(stream) && term && *term && std::string(term) != "dumb";
}

void Terminal::prepareStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0)
            ::close(opened);
    }
    std::signal(SIGPIPE, SIG_IGN);
    // A file size limit (ulimit -f) reached by the record file is a failed write, said and survived,
    // not the end of the program in the middle of the PLC's sequence.
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace vantor::cli
