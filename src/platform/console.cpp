// The terminal under the console hooks on POSIX systems: standard input
// through stdio, keys polled with termios and select, the screen driven by
// the usual terminal escape sequences.
#include "platform/console.hpp"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

void read_console_line(char* buffer, int size)
{
    if (!buffer || size <= 0)
        return;
    buffer[0] = 0;
    // The prompt went out through the buffered standard output.
    std::fflush(stdout);
    if (!std::fgets(buffer, size, stdin))
        buffer[0] = 0;
}

int poll_key()
{
    if (!isatty(STDIN_FILENO))
        return 0;
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return 0;
    // Only for the length of one poll: the terminal never stays raw, even
    // when the program ends between two polls.
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0)
        return 0;
    int key = 0;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(STDIN_FILENO, &ready);
    timeval none{0, 0};
    if (select(STDIN_FILENO + 1, &ready, nullptr, nullptr, &none) > 0) {
        unsigned char c = 0;
        if (read(STDIN_FILENO, &c, 1) == 1)
            key = c;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return key;
}

namespace {

void write_to_terminal(const char* sequence)
{
    if (!isatty(STDOUT_FILENO))
        return;  // escape sequences would only litter a file or a pipe
    std::fputs(sequence, stdout);
    std::fflush(stdout);
}

} // namespace

void console_clear() { write_to_terminal("\x1b[2J\x1b[H"); }

void console_home(int column, int row)
{
    char sequence[32];
    std::snprintf(sequence, sizeof sequence, "\x1b[%d;%dH", row < 1 ? 1 : row, column < 1 ? 1 : column);
    write_to_terminal(sequence);
}

void sleep_milliseconds(int ms)
{
    if (ms <= 0)
        return;
    timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace platform
