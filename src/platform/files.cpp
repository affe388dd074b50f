// The file-system layer: name translation between the language's backslash
// form and the system's, and the handful of queries the path code needs.
#include "platform/files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
    // Judged without opening it: opening a named pipe waits for a writer,
    // and closing it again would take from a writer its only reader. A
    // directory is no file.
    const std::string path = native_path(name);
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
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

// Temporaries are named ".<stem>.<hash>.<slot>.part" beside the file they
// replace: hidden, and found again by their name alone. The stem is the
// file's name, cut where the whole would pass the folder's longest name;
// the hash (of the whole name) keeps apart files whose names differ only
// past the cut. A file has a fixed, small set of slots, so a save probes
// the names of its own file's temporaries directly, whatever the size of
// the folder, and removes those that writers killed in the middle left:
// a temporary is live exactly while its writer holds its lock, which dies
// with the writer, whatever process ids the writer's system shows.
constexpr const char* temporary_suffix = ".part";
constexpr unsigned temporary_slots = 32;
constexpr std::size_t hash_digits = 16;
// "." hash "." two digits ".part", after the stem and its leading ".".
constexpr std::size_t temporary_tail = 1 + hash_digits + 1 + 2 + 5;

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

// The name (in its folder) of slot `slot` of the temporaries of the file
// base, in a folder whose names hold at most name_max bytes.
std::string temporary_entry(const std::string& base, unsigned slot, std::size_t name_max)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (unsigned char c : base)
        hash = (hash ^ c) * 0x100000001b3ull;
    static constexpr char hex[] = "0123456789abcdef";
    std::string tail = ".";
    for (std::size_t k = 0; k < hash_digits; ++k)
        tail += hex[(hash >> (4 * (hash_digits - 1 - k))) & 15];
    tail += '.';
    tail += static_cast<char>('0' + slot / 10);
    tail += static_cast<char>('0' + slot % 10);
    tail += temporary_suffix;
    const std::size_t room = name_max > 1 + temporary_tail ? name_max - 1 - temporary_tail : 0;
    std::size_t stem = std::min(base.size(), room);
    // A cut falls between characters, not inside one (UTF-8).
    while (stem > 0 && stem < base.size() && (static_cast<unsigned char>(base[stem]) & 0xC0) == 0x80)
        --stem;
    return "." + base.substr(0, stem) + tail;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the name entry in the folder dir_fd is the file open as fd.
bool names(int dir_fd, const char* entry, int fd)
{
    struct stat held, named;
    return ::fstat(fd, &held) == 0 && ::fstatat(dir_fd, entry, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           same_file(held, named);
}

// Removes the temporary entry when no writer holds its lock; true when
// the name is free afterwards. The lock is taken before the name goes and
// the name is checked to still be the file locked, so a writer that has
// just made the file, and locks it next, finds its name gone and tries
// again instead of writing a file that no longer has one.
bool remove_if_abandoned(int dir_fd, const char* entry)
{
    const int fd = ::openat(dir_fd, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat st;
    const bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         names(dir_fd, entry, fd) && ::unlinkat(dir_fd, entry, 0) == 0;
    ::close(fd);
    return removed;
}

// Makes, opens and locks a temporary for target in a free slot of its
// own, and removes the abandoned temporaries of target in the other
// slots. The descriptor (path set to the temporary's name), or -1 with
// errno set: EBUSY when every slot holds a live writer's temporary.
int make_temporary(const std::string& target, mode_t mode, std::string& path)
{
    const split_name name = split(target);
    const int dir_fd = ::open(name.dir.empty() ? "." : name.dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0)
        return -1;
    const long limit = ::fpathconf(dir_fd, _PC_NAME_MAX);
    const std::size_t name_max = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    if (name.base.size() > name_max) {
        // No file can have that name: said now, not at the rename.
        ::close(dir_fd);
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = -1, err = EBUSY;
    for (unsigned slot = 0; slot < temporary_slots; ++slot) {
        const std::string entry = temporary_entry(name.base, slot, name_max);
        if (fd >= 0) {
            remove_if_abandoned(dir_fd, entry.c_str());
            continue;
        }
        for (int tries = 0; tries < 3 && fd < 0; ++tries) {
            const int made = ::openat(dir_fd, entry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (made < 0) {
                if (errno != EEXIST) {
                    err = errno;
                    slot = temporary_slots;  // the folder refuses new files: no slot will do
                    break;
                }
                if (!remove_if_abandoned(dir_fd, entry.c_str()))
                    break;  // a live writer's
                continue;
            }
            // Locked, and still named: the slot is this writer's. Else
            // another save removed it between its making and its lock.
            if (::flock(made, LOCK_EX | LOCK_NB) == 0 && names(dir_fd, entry.c_str(), made)) {
                fd = made;
                path = name.dir + entry;
            } else {
                ::close(made);
            }
        }
    }
    ::close(dir_fd);
    if (fd < 0)
        errno = err;
    return fd;
}

// Whether this process may write the file, by its effective ids, as an
// open for writing would decide (root may write any file).
bool may_write(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Gives the temporary the owner, group and mode of the file it replaces,
// as a write in place would leave them: owner and group first, since a
// change of owner clears the set-user and set-group bits, then the mode.
// False when the temporary could not be made alike (a writer cannot give
// a file to another user, or to a group it is not in): such a file must
// not be replaced by one that changes hands.
bool take_attributes(int fd, const struct stat& old)
{
    // A write by anyone but root takes the set-user bit off a file, and the
    // set-group bit where the group may run it: the new file does as well.
    mode_t mode = old.st_mode & 07777;
    if (::geteuid() != 0) {
        mode &= ~static_cast<mode_t>(S_ISUID);
        if (mode & S_IXGRP)
            mode &= ~static_cast<mode_t>(S_ISGID);
    }
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    if (::fchmod(fd, mode) != 0 || ::fstat(fd, &now) != 0)
        return false;
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid && (now.st_mode & 07777) == mode;
}

// Writes the complete temporary over the file in place, for a file that
// may be written but not replaced (another user's file, one with other
// names, one in a folder with the sticky bit): the bytes go over the old
// ones and the file is cut to their length, then synced. False with errno
// set when a step fails.
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
    release_lock();
    copy_over_ = false;
}

void file_replacement::release_lock()
{
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
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
        const int fd = make_temporary(target_, replacing ? 0600 : 0666, temporary_);
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
            // The new file keeps the owner, group, mode and other names of
            // the one it replaces: where the temporary cannot take them,
            // or the file has other names, the complete temporary is
            // written over the file at the end instead of renamed.
            copy_over_ = replacing && (st.st_nlink > 1 || !take_attributes(fd, st));
            // The lock lives with the file's open description: a second
            // descriptor keeps it held after the stream is closed, until
            // the temporary has been renamed or removed.
            lock_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            stream_ = lock_ >= 0 ? ::fdopen(fd, mode) : nullptr;
            if (!stream_) {
                const int err = errno;
                ::close(fd);
                ::unlink(temporary_.c_str());
                temporary_.clear();
                release_lock();
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
        if (!copy_over_ && std::rename(temporary_.c_str(), target_.c_str()) == 0) {
            temporary_.clear();  // it is the file now
        } else {
            err = copy_over_ ? 0 : errno;
            // A folder with the sticky bit refuses to replace another
            // user's file, which may still be written: it is written in
            // place, as a file that cannot change hands is.
            ok = copy_over_ || ((err == EPERM || err == EACCES) && may_write(target_));
            if (ok && !write_over(temporary_, target_)) {
                ok = false;
                err = errno;
            }
        }
    }
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    release_lock();
    copy_over_ = false;
    if (ok)
        return true;
    errno = err ? err : EIO;
    return false;
}

} // namespace platform
