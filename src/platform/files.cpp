// The file-system layer: name translation between the language's backslash
// form and the system's, and the handful of queries the path code needs.
#include "platform/files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
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
    // A cut falls between characters, not inside one (UTF-8): a character
    // takes at most four bytes, so a name of other bytes is cut at most
    // three bytes short.
    for (int back = 0; back < 3 && stem > 0 && stem < base.size() &&
                       (static_cast<unsigned char>(base[stem]) & 0xC0) == 0x80;
         ++back)
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

// Makes, opens (for reading and writing) and locks a temporary for the
// file base of the folder folder_fd in a free slot of its own, and
// removes the abandoned temporaries of that file in the other slots. The
// descriptor (entry set to the temporary's name in the folder), or -1
// with errno set: EBUSY when every slot holds a live writer's temporary.
int make_temporary(int folder_fd, const std::string& base, mode_t mode, std::string& entry)
{
    const long limit = ::fpathconf(folder_fd, _PC_NAME_MAX);
    const std::size_t name_max = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    if (base.size() > name_max) {
        // No file can have that name: said now, not at the rename.
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = -1, err = EBUSY;
    for (unsigned slot = 0; slot < temporary_slots; ++slot) {
        const std::string name = temporary_entry(base, slot, name_max);
        if (fd >= 0) {
            remove_if_abandoned(folder_fd, name.c_str());
            continue;
        }
        for (int tries = 0; tries < 3 && fd < 0; ++tries) {
            const int made = ::openat(folder_fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (made < 0) {
                if (errno != EEXIST) {
                    err = errno;
                    slot = temporary_slots;  // the folder refuses new files: no slot will do
                    break;
                }
                if (!remove_if_abandoned(folder_fd, name.c_str()))
                    break;  // a live writer's
                continue;
            }
            // Locked, and still named: the slot is this writer's. Else
            // another save removed it between its making and its lock.
            if (::flock(made, LOCK_EX | LOCK_NB) == 0 && names(folder_fd, name.c_str(), made)) {
                fd = made;
                entry = name;
            } else {
                ::close(made);
            }
        }
    }
    if (fd < 0)
        errno = err;
    return fd;
}

// A temporary without a name in the folder given, made and unnamed at
// once where the file system has no unnamed files; -1 with errno set.
int unnamed_temporary_in(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    std::string pattern = folder + (folder.empty() || folder.back() != '/' ? "/" : "") + ".numrun-XXXXXX";
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(pattern.c_str());
    return named;
}

// A temporary without a name, for a file whose own folder takes no new
// files: nothing is left of it whenever and however its writer ends. It
// lies in the system's folder for temporaries; where that folder takes
// none (TMPDIR names no folder, or one this process may not write or
// that is read-only), in /tmp, and else in memory, so that the file is
// never written in place, where a failure on the way would cut it. -1
// with errno set when none can be made at all.
int make_unnamed_temporary()
{
    const std::string folder = native_path(temp_dir());
    int fd = unnamed_temporary_in(folder);
    if (fd < 0 && folder != "/tmp/")
        fd = unnamed_temporary_in("/tmp");
    if (fd < 0)
        fd = ::memfd_create("numrun-temporary", MFD_CLOEXEC);
    return fd;
}

// Whether this process may write the file base of the folder, by its
// effective ids, as an open for writing would decide (root may write any
// file).
bool may_write(int folder_fd, const std::string& base)
{
    return ::faccessat(folder_fd, base.c_str(), W_OK, AT_EACCESS) == 0;
}

// The mode a write leaves a file of mode old: a write by anyone but root
// takes the set-user bit off a file, and the set-group bit where the group
// may run it.
mode_t written_mode(const struct stat& old)
{
    mode_t mode = old.st_mode & 07777;
    if (::geteuid() != 0) {
        mode &= ~static_cast<mode_t>(S_ISUID);
        if (mode & S_IXGRP)
            mode &= ~static_cast<mode_t>(S_ISGID);
    }
    return mode;
}

// Gives the temporary the owner, group and mode of the file it replaces,
// as a write in place would leave them: owner and group first, since a
// change of owner clears the set-user and set-group bits, then the mode.
// False when the temporary could not be made alike (a writer cannot give
// a file to another user, or to a group it is not in): such a file must
// not be replaced by one that changes hands.
bool take_attributes(int fd, const struct stat& old)
{
    const mode_t mode = written_mode(old);
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    if (::fchmod(fd, mode) != 0 || ::fstat(fd, &now) != 0)
        return false;
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid && (now.st_mode & 07777) == mode;
}

// Whether the temporary still has the mode take_attributes gave it (an
// access list given after it sets the mode bits it holds as well).
bool same_mode(int fd, const struct stat& old)
{
    struct stat now;
    return ::fstat(fd, &now) == 0 && (now.st_mode & 07777) == written_mode(old);
}

// The names in a list of extended attributes (each ends with a zero).
std::vector<std::string> attribute_names(const std::vector<char>& list)
{
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size();) {
        const std::string name(list.data() + at);
        at += name.size() + 1;
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

// The list of extended attribute names of the file at path (of the
// temporary fd when path is null); false when it cannot be read.
bool list_attributes(const char* path, int fd, std::vector<char>& list)
{
    for (int tries = 0; tries < 3; ++tries) {
        const ssize_t size = path ? ::llistxattr(path, nullptr, 0) : ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return false;
        list.resize(static_cast<std::size_t>(size));
        const ssize_t got = size == 0 ? 0
                            : path    ? ::llistxattr(path, list.data(), list.size())
                                      : ::flistxattr(fd, list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;  // else the list grew meanwhile: read it again
    }
    return false;
}

// The value of one extended attribute of the file at path (of the
// temporary fd when path is null); false when it cannot be read.
bool attribute_value(const char* path, int fd, const std::string& name, std::string& value)
{
    const ssize_t size = path ? ::lgetxattr(path, name.c_str(), nullptr, 0) : ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0)
        return false;
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = size == 0 ? 0
                        : path    ? ::lgetxattr(path, name.c_str(), value.data(), value.size())
                                  : ::fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (got < 0)
        return false;
    value.resize(static_cast<std::size_t>(got));
    return true;
}

// Gives the temporary the extended attributes of the file at path, its
// access control list among them, as a write in place would leave them:
// each of the file's attributes is given, and the temporary's own (the
// folder's default access list gave it one) that the file lacks go. The
// capabilities of a program are not given: a write takes them away, as it
// takes the set-user bit. False when the temporary could not be made
// alike; true at once on a file system without extended attributes.
bool take_extended_attributes(int fd, const std::string& path)
{
    std::vector<char> theirs, ours;
    if (!list_attributes(path.c_str(), -1, theirs))
        return errno == ENOTSUP || errno == ENOSYS;
    if (!list_attributes(nullptr, fd, ours))
        return false;
    const std::vector<std::string> wanted = attribute_names(theirs);
    for (const std::string& name : attribute_names(ours)) {
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() && name != "security.capability" &&
            ::fremovexattr(fd, name.c_str()) != 0)
            return false;
    }
    for (const std::string& name : wanted) {
        if (name == "security.capability")
            continue;
        std::string value, held;
        if (!attribute_value(path.c_str(), -1, name, value))
            return false;
        // A label the temporary has already (a security label its folder
        // gave it) is left as it is rather than set again.
        if (attribute_value(nullptr, fd, name, held) && held == value)
            continue;
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// Writes the complete temporary (open as in) over the file base of the
// folder in place, for a file that may be written but not replaced
// (another user's file, one with other names, one in a folder with the
// sticky bit or in a folder the process may not write): the bytes go over
// the old ones and the file is cut to their length, then synced. What
// would fail for want of room (a size limit, a full file system) is
// refused before a byte of the old file changes. False with errno set
// when a step fails.
bool write_over(int in, int folder_fd, const std::string& base, bool through_link)
{
    struct stat held;
    if (::fstat(in, &held) != 0)
        return false;
    const off_t length = held.st_size;
    struct rlimit size_limit;
    if (::getrlimit(RLIMIT_FSIZE, &size_limit) == 0 && size_limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(length) > size_limit.rlim_cur) {
        errno = EFBIG;
        return false;
    }
    // The name was followed to a file when the write began: a link put in
    // its place since is not followed now.
    const int out = ::openat(folder_fd, base.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (through_link ? 0 : O_NOFOLLOW));
    if (out < 0)
        return false;
    // The room is taken first; a file system that cannot say so ahead
    // (no preallocation) is written as it comes.
    bool ok = length == 0 || ::fallocate(out, FALLOC_FL_KEEP_SIZE, 0, length) == 0 ||
              (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
    std::vector<char> block(1 << 16);
    for (off_t at = 0; ok && at < length;) {
        const ssize_t got = ::pread(in, block.data(), block.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;  // the temporary is shorter than it was
            ok = false;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::pwrite(out, block.data() + done, static_cast<std::size_t>(got - done), at + done);
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            if (put == 0)
                errno = ENOSPC;
            done += put > 0 ? put : 0;
        }
        at += got;
    }
    ok = ok && ::ftruncate(out, length) == 0 && ::fsync(out) == 0;
    int err = ok ? 0 : errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    errno = err;
    return ok;
}

// Whether what path reaches lies on one of the kernel's own file systems
// (/proc, /sys and their kin), whose files are interfaces to the running
// system rather than stored bytes, and whose links (a process's open
// files, where /dev/stdout leads) carry text that names no path.
bool on_kernel_file_system(const std::string& path)
{
    struct statfs fs;
    if (::statfs(path.empty() ? "." : path.c_str(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// Follows path, when it is a link or a chain of links, to the name of the
// file they lead to, which may not exist yet (exists false, errno
// ENOENT). A link's text is read from the folder of the link, as the
// system reads it. A link of the kernel's own file systems (a process's
// open file, such as /dev/stdout leads to) is not followed by its text:
// path stays that link and kernel_link is set; st then describes what the
// system reaches through it. False with errno set for a loop of links,
// and for a name that cannot be looked up (a folder on the way that does
// not exist or may not be entered).
bool follow_links(std::string& path, struct stat& st, bool& exists, bool& kernel_link)
{
    kernel_link = false;
    // The system is asked first whether it would follow the chain at all:
    // a loop, or a link it protects (another user's link in a shared
    // folder with the sticky bit, where the system is set to refuse those),
    // is refused as an open would refuse it. A chain that ends at no file
    // passes, to be followed here to the name of the file it makes.
    struct stat through;
    if (::stat(path.c_str(), &through) != 0 && errno != ENOENT)
        return false;
    constexpr int most_links = 40;  // the system's own bound on a chain
    for (int hops = 0;; ++hops) {
        if (::lstat(path.c_str(), &st) != 0) {
            exists = false;
            return errno == ENOENT;
        }
        exists = true;
        if (!S_ISLNK(st.st_mode))
            return true;
        if (hops == most_links) {
            errno = ELOOP;
            return false;
        }
        if (on_kernel_file_system(split(path).dir)) {
            kernel_link = true;
            return ::stat(path.c_str(), &st) == 0;
        }
        std::vector<char> text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n < 0)
            return false;
        if (n == 0 || static_cast<std::size_t>(n) == text.size()) {
            errno = n == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        const std::string to(text.data(), static_cast<std::size_t>(n));
        path = to[0] == '/' ? to : split(path).dir + to;
    }
}

// Opens what is no regular file (a device, a named pipe) for writing
// where it is. A named pipe that no process reads refuses at once
// (ENXIO) instead of waiting for a reader; once open, writes wait as
// they would.
std::FILE* open_in_place(const std::string& path, bool regular, const char* mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (regular ? O_TRUNC : 0));
    if (fd < 0)
        return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* f = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? ::fdopen(fd, mode) : nullptr;
    if (!f) {
        const int err = errno;
        ::close(fd);
        errno = err;
    }
    return f;
}

} // namespace

file_replacement::~file_replacement() { abandon(); }

void file_replacement::abandon()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty())
        ::unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
    release_lock();
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
    base_.clear();
    copy_over_ = false;
    through_link_ = false;
}

void file_replacement::release_lock()
{
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

bool file_replacement::fail(int err)
{
    abandon();
    errno = err;
    return false;
}

bool file_replacement::open(std::string_view name, const char* mode)
{
    abandon();
    std::string path = native_path(name);
    if (path.empty())
        return fail(ENOENT);
    // A link, or a chain of links, is followed to the file it names, which
    // is replaced (or made) in its own folder; the links stay as they are.
    struct stat st;
    bool exists = false, kernel_link = false;
    if (!follow_links(path, st, exists, kernel_link))
        return fail(errno);
    // What is no regular file is written where it is, and so is a file of
    // the kernel's own file systems (a setting under /proc or /sys): it
    // holds no bytes to keep, and takes no temporary beside it.
    if (exists && (!S_ISREG(st.st_mode) || on_kernel_file_system(path))) {
        stream_ = open_in_place(path, S_ISREG(st.st_mode), mode);
        return stream_ != nullptr;
    }
    const split_name parts = split(path);
    if (parts.base.empty() || parts.base == "." || parts.base == "..")
        return fail(EISDIR);
    // The folder is held open and every name is taken relative to it, so
    // that a temporary whose path passes the longest path the system
    // takes is still made, renamed and removed.
    folder_ = ::open(parts.dir.empty() ? "." : parts.dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        return fail(errno);
    base_ = parts.base;
    const bool replacing = exists;
    // A file the user has protected is not replaced, as an open for
    // writing would not write it.
    if (replacing && !may_write(folder_, base_))
        return fail(errno);
    // A file reached through a link of the kernel's (a process's open file,
    // one whose name is gone among them) is that very file: it takes the
    // complete temporary written over it through the link.
    through_link_ = kernel_link;
    int fd = kernel_link ? -1 : make_temporary(folder_, base_, replacing ? 0600 : 0666, temporary_);
    if (fd >= 0) {
        // The new file keeps the owner, group, mode and other names of the
        // one it replaces: where the temporary cannot take them, or the
        // file has other names, the complete temporary is written over the
        // file at the end instead of renamed.
        copy_over_ = replacing && (st.st_nlink > 1 || !take_attributes(fd, st) ||
                                   !take_extended_attributes(fd, path) || !same_mode(fd, st));
    } else {
        const int err = errno;
        temporary_.clear();
        // A folder the process may not write, holding a file it may: the
        // temporary is made where temporaries go and written over the file
        // at the end, so a write that fails on the way leaves it whole.
        if (!kernel_link && !(replacing && (err == EACCES || err == EPERM) && may_write(folder_, base_)))
            return fail(err);
        fd = make_unnamed_temporary();
        if (fd < 0)
            return fail(errno);
        copy_over_ = true;
    }
    // The lock lives with the file's open description: a second
    // descriptor keeps it held after the stream is closed, until the
    // temporary has been renamed or removed, and reads the temporary back
    // where it is written over the file.
    lock_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    stream_ = lock_ >= 0 ? ::fdopen(fd, mode) : nullptr;
    if (!stream_) {
        const int err = errno;
        ::close(fd);
        return fail(err);
    }
    return true;
}

bool file_replacement::commit()
{
    if (!stream_) {
        errno = EBADF;
        return false;
    }
    const bool renamed = lock_ >= 0 && !copy_over_;
    errno = 0;
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    int err = errno;
    if (ok && renamed && ::fsync(fileno(stream_)) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(stream_) != 0 && ok) {
        ok = false;
        err = errno;
    }
    stream_ = nullptr;
    if (ok && lock_ >= 0) {
        if (renamed && ::renameat(folder_, temporary_.c_str(), folder_, base_.c_str()) == 0) {
            temporary_.clear();  // it is the file now
        } else {
            err = renamed ? errno : 0;
            // A folder with the sticky bit refuses to replace another
            // user's file, which may still be written: it is written in
            // place, as a file that cannot change hands is.
            ok = !renamed || ((err == EPERM || err == EACCES) && may_write(folder_, base_));
            if (ok && !write_over(lock_, folder_, base_, through_link_)) {
                ok = false;
                err = errno;
            }
        }
    }
    abandon();
    if (ok)
        return true;
    errno = err ? err : EIO;
    return false;
}

} // namespace platform
