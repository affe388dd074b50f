// The default wave player: the image goes to a temporary file that a
// detached shell feeds to the player program and then removes, so the
// caller neither waits for the sound nor keeps the image alive.
#include "platform/wave_player.hpp"

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

bool on_path(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        std::size_t next = dirs.find(':', pos);
        if (next == std::string::npos)
            next = dirs.size();
        std::string candidate = dirs.substr(pos, next - pos) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        pos = next + 1;
    }
    return false;
}

std::string player_command()
{
    const char* chosen = std::getenv("VORSENPLAYER");
    if (chosen && *chosen)
        return chosen;
    return on_path("aplay") ? "aplay -q -" : "";
}

} // namespace

bool play_wave_async(const unsigned char* image, std::size_t bytes)
{
    const std::string command = player_command();
    if (command.empty())
        return false;
    const char* tmp = std::getenv("TMPDIR");
    std::string file = std::string(tmp && *tmp ? tmp : "/tmp") + "/qvsoundXXXXXX";
    const int fd = ::mkstemp(file.data());
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(fd, image + done, bytes - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done < bytes) {
        ::unlink(file.c_str());
        return false;
    }
    // The outer shell returns at once; the inner one plays and cleans up.
    const std::string script = "( " + command + " < '" + file + "'; rm -f '" + file + "' ) >/dev/null 2>&1 &";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t pid;
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        ::unlink(file.c_str());
        return false;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return true;
}

} // namespace platform
