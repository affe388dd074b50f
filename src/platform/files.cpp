// The file-system layer: name translation between the language's backslash
// form and the system's, and the handful of queries the path code needs.
#include "platform/files.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Temporaries are named ".<file>.<writer's process id>.<tag>.part" beside
// the file they replace: hidden, unlikely to meet another writer's (and
// tried afresh when they do), and telling whose they are, so that a later
// save of the file can remove those that a killed writer left behind.
constexpr const char* temporary_suffix = ".part";
constexpr std::size_t tag_length = 10;
constexpr const char tag_digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

struct split_name {
    std::string dir;   // with its final '/', or empty
    std::string base;
};

split_name split(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string temporary_name(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const split_name name = split(target);
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const pid_t pid = ::getpid();
    unsigned long long mix = static_cast<unsigned long long>(pid) * 0x9E3779B97F4A7C15ull;
    mix ^= static_cast<unsigned long long>(ts.tv_nsec) + (static_cast<unsigned long long>(attempt) << 32);
    mix ^= static_cast<unsigned long long>(counter.fetch_add(1, std::memory_order_relaxed)) * 0xBF58476D1CE4E5B9ull;
    std::string tag;
    for (std::size_t k = 0; k < tag_length; ++k, mix /= 36)
        tag += tag_digits[mix % 36];
    return name.dir + "." + name.base + "." + std::to_string(pid) + "." + tag + temporary_suffix;
}

// The process id in the name of a temporary of the file base; 0 when the
// name is no such temporary. The tag holds no '.', so the temporaries of
// another file whose name merely begins with base never match.
pid_t temporary_owner(const char* entry, const std::string& base)
{
    const std::size_t n = std::strlen(entry), suffix = std::strlen(temporary_suffix);
    const std::size_t head = base.size() + 2;  // ".<base>."
    if (n < head + 2 + tag_length + suffix || entry[0] != '.' ||
        std::strncmp(entry + 1, base.data(), base.size()) != 0 || entry[head - 1] != '.' ||
        std::strcmp(entry + n - suffix, temporary_suffix) != 0)
        return 0;
    const std::size_t tag_at = n - suffix - tag_length;
    for (std::size_t k = tag_at; k < tag_at + tag_length; ++k)
        if (!std::strchr(tag_digits, entry[k]) || entry[k] == '\0')
            return 0;
    if (entry[tag_at - 1] != '.')
        return 0;
    long long pid = 0;
    for (std::size_t k = head; k + 1 < tag_at; ++k) {
        if (entry[k] < '0' || entry[k] > '9' || pid > 1'000'000'000)
            return 0;
        pid = pid * 10 + (entry[k] - '0');
    }
    return tag_at > head + 1 && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// Whether a temporary is still being written: its writer's process runs,
// or someone holds the lock every writer keeps on its temporary (a
// writer whose process ids this process does not see).
bool temporary_in_use(int dir_fd, const char* entry, pid_t owner)
{
    if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
        return true;
    const int fd = ::openat(dir_fd, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct stat st;
    const bool free = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

// Removes the temporaries of target that writers killed before they
// completed left behind: those whose process is gone and whose lock no
// one holds. Another file's temporaries, and live ones, are left alone.
void remove_abandoned_temporaries(const std::string& target)
{
    const split_name name = split(target);
    DIR* dir = ::opendir(name.dir.empty() ? "." : name.dir.c_str());
    if (!dir)
        return;
    const int dir_fd = ::dirfd(dir);
    while (const struct dirent* e = ::readdir(dir)) {
        const pid_t owner = temporary_owner(e->d_name, name.base);
        if (owner > 0 && !temporary_in_use(dir_fd, e->d_name, owner))
            ::unlinkat(dir_fd, e->d_name, 0);
    }
    ::closedir(dir);
}

// Whether this process may write the file, by its effective ids, as an
// open for writing would decide (root may write any file).
bool may_write(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes the complete temporary over the file in place, for a file that
// may be written but not replaced (another user's file in a folder with
// the sticky bit): the bytes go over the old ones and the file is cut to
// their length, then synced. False with errno set when a step fails.
bool write_over(const std::string& temporary, const std::string& target)
{
    const int in = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        errno = err;
        return false;
    }
    std::vector<char> block(1 << 16);
    off_t length = 0;
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, block.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            if (put == 0)
                errno = ENOSPC;
            done += put > 0 ? put : 0;
        }
        if (!ok)
            break;
        length += got;
    }
    ok = ok && ::ftruncate(out, length) == 0 && ::fsync(out) == 0;
    int err = ok ? 0 : errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    errno = err;
    return ok;
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
    // A file the user has protected is not replaced, as an open for
    // writing would not write it.
    if (replacing && !may_write(target_))
        return false;
    if (!in_place) {
        remove_abandoned_temporaries(target_);
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
            if (!(replacing && (err == EACCES || err == EPERM) && may_write(target_))) {
                errno = err;
                return false;
            }
            in_place = true;
        } else {
            // Held while the temporary is written: a later save of the file
            // sees that it is in use.
            ::flock(fd, LOCK_EX | LOCK_NB);
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
    if (ok && !temporary_.empty()) {
        if (std::rename(temporary_.c_str(), target_.c_str()) == 0) {
            temporary_.clear();  // it is the file now
        } else {
            err = errno;
            // A folder with the sticky bit refuses to replace another
            // user's file, which may still be written: it is written in
            // place, as a file in a folder the process may not write is.
            ok = (err == EPERM || err == EACCES) && may_write(target_);
            if (ok && !write_over(temporary_, target_)) {
                ok = false;
                err = errno;
            }
        }
    }
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    if (ok)
        return true;
    errno = err ? err : EIO;
    return false;
}

} // namespace platform
