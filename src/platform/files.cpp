// The file-system layer: name translation between the language's backslash
// form and the system's, and the handful of queries the path code needs.
#include "platform/files.hpp"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string native_path(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string language_path(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

std::FILE* open_file(std::string_view name, const char* mode)
{
    return std::fopen(native_path(name).c_str(), mode);
}

bool file_exists(std::string_view name)
{
    if (name.empty())
        return false;
    // A directory opens for reading here but is no file.
    std::FILE* f = open_file(name, "rb");
    if (!f)
        return false;
    struct stat st;
    const bool regular = ::fstat(fileno(f), &st) == 0 && !S_ISDIR(st.st_mode);
    std::fclose(f);
    return regular;
}

bool dir_exists(std::string_view name)
{
    std::string n = native_path(name);
    if (n.empty())
        return false;
    struct stat st;
    return ::stat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(n.c_str(), X_OK) == 0;
}

std::string current_dir()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return "";
        buf.resize(buf.size() * 2);
    }
    return language_path(buf.data());
}

std::string full_path_name(std::string_view name)
{
    std::string text = language_path(name);
    if (text.empty() || text[0] != '\\')
        text = current_dir() + "\\" + text;
    // Fold the components: "." goes, ".." takes the one before it.
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t next = text.find('\\', pos);
        if (next == std::string::npos)
            next = text.size();
        std::string part = text.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "\\" + p;
    const bool trailing = !name.empty() && (name.back() == '\\' || name.back() == '/');
    if (out.empty() || trailing)
        out += "\\";
    return out;
}

std::string temp_dir()
{
    const char* t = std::getenv("TMPDIR");
    std::string d = t && *t ? t : "/tmp";
    d = language_path(d);
    if (d.back() != '\\')
        d += '\\';
    return d;
}

// ---- replacing a whole file ----

namespace {

// A name for the temporary beside target: hidden, unlikely to meet
// another writer's, and tried afresh when it does.
std::string temporary_name(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long mix = static_cast<unsigned long long>(::getpid()) * 0x9E3779B97F4A7C15ull;
    mix ^= static_cast<unsigned long long>(ts.tv_nsec) + (static_cast<unsigned long long>(attempt) << 32);
    mix ^= static_cast<unsigned long long>(counter.fetch_add(1, std::memory_order_relaxed)) * 0xBF58476D1CE4E5B9ull;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag;
    for (int k = 0; k < 10; ++k, mix /= 36)
        tag += digits[mix % 36];
    return dir + "." + base + "." + tag + ".part";
}

} // namespace

file_replacement::~file_replacement() { abandon(); }

void file_replacement::abandon()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool file_replacement::open(std::string_view name, const char* mode)
{
    abandon();
    target_ = native_path(name);
    if (target_.empty()) {
        errno = ENOENT;
        return false;
    }
    // A link replaces the file it leads to; a link that leads nowhere, and
    // anything that is not a regular file, is written where it is.
    bool in_place = false;
    struct stat st;
    const bool exists = ::lstat(target_.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(target_.c_str(), nullptr);
        if (resolved) {
            target_ = resolved;
            std::free(resolved);
            in_place = ::stat(target_.c_str(), &st) != 0 || !S_ISREG(st.st_mode);
        } else {
            in_place = true;
        }
    } else if (exists && !S_ISREG(st.st_mode)) {
        in_place = true;
    }
    const bool replacing = exists && !in_place;
    if (!in_place) {
        int fd = -1;
        for (unsigned attempt = 0; attempt < 64 && fd < 0; ++attempt) {
            temporary_ = temporary_name(target_, attempt);
            fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0) {
            const int err = errno;
            temporary_.clear();
            // A folder the process may not write, holding a file it may:
            // the file is written in place, as nothing else can write it.
            if (!(replacing && (err == EACCES || err == EPERM) && ::access(target_.c_str(), W_OK) == 0)) {
                errno = err;
                return false;
            }
            in_place = true;
        } else {
            // The new file keeps the permissions of the one it replaces.
            if (replacing)
                ::fchmod(fd, st.st_mode & 07777);
            stream_ = ::fdopen(fd, mode);
            if (!stream_) {
                const int err = errno;
                ::close(fd);
                ::unlink(temporary_.c_str());
                temporary_.clear();
                errno = err;
                return false;
            }
            return true;
        }
    }
    stream_ = std::fopen(target_.c_str(), mode);
    return stream_ != nullptr;
}

bool file_replacement::commit()
{
    if (!stream_) {
        errno = EBADF;
        return false;
    }
    errno = 0;
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    int err = errno;
    if (ok && !temporary_.empty() && ::fsync(fileno(stream_)) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(stream_) != 0 && ok) {
        ok = false;
        err = errno;
    }
    stream_ = nullptr;
    if (ok && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (ok) {
        temporary_.clear();
        return true;
    }
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    errno = err ? err : EIO;
    return false;
}

} // namespace platform
