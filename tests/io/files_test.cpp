// Every writer of a whole file (save, saveV4, saveascii, wavwrite, copyfile
// and imwrite through the graphics engine) against a table of targets, each write run in a child process
// of an unprivileged user, since root may write any file: an error with
// the old bytes kept, or the new bytes, as each target should give. And the
// temporaries of writers killed in the middle, which the next write of
// their file removes while it leaves every other one.
#include "child_process.hpp"
#include "test_support.hpp"

#include "temp_dir.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

Mm t(const std::string& s) { return test::text(s.c_str()); }

// 1000 numbers, 4000 samples, a 10000-byte file: each writer's new file
// is larger than 4096 bytes, the size limit of the table.
Mm numbers() { return colon(1.0, 1000.0); }

Mm samples()
{
    Mm y(0, 0, 0, 4000, 1, qv_double);
    for (int k = 0; k < 4000; ++k)
        y.addr()[k] = (k % 200) / 100.0 - 1;
    return y;
}

struct writer {
    const char* what;
    const char* file;         // the name of its target in the folder
    const char* not_created;  // its message for a file it cannot create (%s: the name as given)
    std::size_t dated;        // leading bytes holding the time of writing, not compared
    std::function<void(const std::string& path)> write;
    bool seeks = false;  // it goes back over what it wrote, so it cannot write a pipe
};

// A 60 x 60 colour picture of bytes that vary enough that its PNG file is
// larger than 4096 bytes too.
Mm picture()
{
    Mm codes = colon(0.0, 60.0 * 60 * 3 - 1);
    for (int k = 0; k < codes.size(); ++k)
        codes.addr()[k] = (k * 37 + k * k / 7) % 256;
    return muint8(reshape(codes, Mm(60.0), Mm(60.0), Mm(3.0)));
}

// The file copyfile copies: made once, readable by every user.
std::string copy_source;

const std::vector<writer>& writers()
{
    static const std::vector<writer> all = {
        {"save", "x.vor", "save: %s could not be created", 124,
         [](const std::string& p) { save(t(p), CL(Mm(numbers(), "x"))); }, true},
        {"saveV4", "x.vor", "saveV4: %s could not be created", 0,
         [](const std::string& p) { saveV4(t(p), CL(Mm(numbers(), "x"))); }},
        {"saveascii", "x.txt", "could not write %s", 0,
         [](const std::string& p) { saveascii(t(p), CL(Mm(transpose(numbers()), "x"))); }},
        {"wavwrite", "x.wav", "wavwrite: could not write file", 0,
         [](const std::string& p) { wavwrite(samples(), t(p)); }},
        {"copyfile", "x.bin", "copyfile:Could not write %s", 0,
         [](const std::string& p) { copyfile(t(copy_source), t(p)); }},
        {"imwrite", "x.png", "vizmo: cannot write image file '%s'", 0,
         [](const std::string& p) { imwrite(test::cell_row({picture(), t(p)})); }},
    };
    return all;
}

// The writer's extension, the end of the names the tests give it.
std::string extension_of(const writer& w)
{
    const std::string file = w.file;
    return file.substr(file.find('.'));
}

// The file a writer writes for a name: save, saveV4 and wavwrite add
// their extension to a name that has none.
std::string file_written(const writer& w, const std::string& path)
{
    const std::string what = w.what;
    const bool adds = what == "save" || what == "saveV4" || what == "wavwrite";
    return adds && fs::path(path).filename().string().find('.') == std::string::npos ? path + extension_of(w) : path;
}

// A name of the length for the writer: "n", or n...n with its extension.
std::string name_of_length(const writer& w, std::size_t bytes)
{
    const std::string ext = extension_of(w);
    if (bytes <= ext.size())
        return std::string(bytes, 'n');
    return std::string(bytes - ext.size(), 'n') + ext;
}

// Runs the writer on path; imwrite is told its format where the name has
// no extension to tell it.
void write_named(const writer& w, const std::string& path)
{
    if (std::string(w.what) == "imwrite" && fs::path(path).filename().string().find('.') == std::string::npos)
        imwrite(test::cell_row({picture(), t(path), t("png")}));
    else
        w.write(path);
}

std::string message_for(const char* format, const std::string& path)
{
    std::vector<char> text(std::strlen(format) + path.size() + 1);
    std::snprintf(text.data(), text.size(), format, path.c_str());
    return text.data();
}

std::string read_file(const fs::path& p)
{
    std::string bytes;
    if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
        char block[4096];
        std::size_t got;
        while ((got = std::fread(block, 1, sizeof block, f)) > 0)
            bytes.append(block, got);
        std::fclose(f);
    }
    return bytes;
}

void write_file(const fs::path& p, const std::string& bytes)
{
    std::FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr) << p;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

// The model of the writers: the same bytes written over a file in place,
// as an open for writing, a write and a cut leave it.
void write_in_place(const fs::path& p, const std::string& bytes)
{
    const int fd = ::open(p.c_str(), O_WRONLY);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::close(fd) != 0)
        error("%s could not be written in place", p.c_str());
}

std::set<std::string> entries_of(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// Every extended attribute of a file, by name.
std::map<std::string, std::string> attributes_of(const fs::path& p)
{
    std::map<std::string, std::string> all;
    std::vector<char> list(65536);
    const ssize_t n = ::llistxattr(p.c_str(), list.data(), list.size());
    for (ssize_t at = 0; at < n;) {
        const std::string name(list.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        std::string value(65536, '\0');
        const ssize_t got = ::lgetxattr(p.c_str(), name.c_str(), value.data(), value.size());
        value.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        all[name] = value;
    }
    return all;
}

// A target written by a writer is alike its twin written by the model, a
// write in place: owner, group, mode, other names, extended attributes.
void expect_alike(const fs::path& target, const fs::path& twin)
{
    struct stat a {}, b {};
    ASSERT_EQ(::stat(target.c_str(), &a), 0);
    ASSERT_EQ(::stat(twin.c_str(), &b), 0);
    EXPECT_EQ(a.st_uid, b.st_uid) << "owner";
    EXPECT_EQ(a.st_gid, b.st_gid) << "group";
    EXPECT_EQ(a.st_mode, b.st_mode) << std::oct << "mode " << a.st_mode << " against " << b.st_mode;
    EXPECT_EQ(a.st_nlink, b.st_nlink) << "other names";
    EXPECT_EQ(attributes_of(target), attributes_of(twin)) << "extended attributes";
}

// The user the writes run as: an unprivileged one when the tests run as
// root, else the test's own.
struct writing_user {
    bool switch_user;
    uid_t uid;
    gid_t gid;
};

writing_user the_writing_user()
{
    if (::geteuid() == 0)
        return {true, test::unprivileged_uid, test::unprivileged_gid};
    return {false, ::geteuid(), ::getegid()};
}

// Gives a file or folder to the writing user and sets its mode.
void give(const fs::path& p, const writing_user& u, mode_t mode)
{
    if (u.switch_user) {
        ASSERT_EQ(::lchown(p.c_str(), u.uid, u.gid), 0) << p;
    }
    if (!fs::is_symlink(p)) {
        ASSERT_EQ(::chmod(p.c_str(), mode), 0) << p;
    }
}

enum class outcome { not_created, failed, written };

struct target_case {
    const char* what;
    bool another_users_file;  // needs a file of a user other than the writer's
    outcome expected;
    rlim_t size_limit;
    // Makes the folder and what it holds for a writer whose target is named
    // file; the folder exists, owned by the test.
    std::function<void(const fs::path& folder, const std::string& file, const writing_user& u)> make;
    // The file whose bytes the write replaces, or keeps (relative to the
    // folder; empty: the target itself).
    const char* real = "";
};

const std::string old_bytes = "the old bytes of the file\n";

// Makes p hold the old bytes, of the owner, group and mode given, with a
// second name (p.link) when asked.
void make_owned(const fs::path& p, uid_t owner, gid_t group, mode_t mode, bool second_name)
{
    write_file(p, old_bytes);
    ASSERT_EQ(::chown(p.c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(p.c_str(), mode), 0);
    if (second_name) {
        ASSERT_EQ(::link(p.c_str(), (p.string() + ".link").c_str()), 0);
    }
}

std::vector<target_case> target_cases()
{
    return {
        {"a new file in a folder the writer may write", false, outcome::written, RLIM_INFINITY,
         [](const fs::path& d, const std::string&, const writing_user& u) { give(d, u, 0755); }},
        {"a file its owner protected (mode 0444)", false, outcome::not_created, RLIM_INFINITY,
         [](const fs::path& d, const std::string& f, const writing_user& u) {
             give(d, u, 0755);
             write_file(d / f, old_bytes);
             give(d / f, u, 0444);
         }},
        {"another user's file of mode 0666 in a folder with the sticky bit (1777)", true, outcome::written,
         RLIM_INFINITY,
         [](const fs::path& d, const std::string& f, const writing_user&) {
             ASSERT_EQ(::chmod(d.c_str(), 01777), 0);
             write_file(d / f, old_bytes);
             ASSERT_EQ(::chmod((d / f).c_str(), 0666), 0);
         }},
        {"a link to a file", false, outcome::written, RLIM_INFINITY,
         [](const fs::path& d, const std::string& f, const writing_user& u) {
             give(d, u, 0755);
             write_file(d / "real.bin", old_bytes);
             give(d / "real.bin", u, 0644);
             fs::create_symlink("real.bin", d / f);
             give(d / f, u, 0777);
         },
         "real.bin"},
        {"a link to /dev/full", false, outcome::failed, RLIM_INFINITY,
         [](const fs::path& d, const std::string& f, const writing_user& u) {
             give(d, u, 0755);
             fs::create_symlink("/dev/full", d / f);
             give(d / f, u, 0777);
         }},
        {"a file size limit below the new file", false, outcome::failed, 4096,
         [](const fs::path& d, const std::string& f, const writing_user& u) {
             give(d, u, 0755);
             write_file(d / f, old_bytes);
             give(d / f, u, 0644);
         }},
        {"a read-only folder holding a file the writer may write", false, outcome::written, RLIM_INFINITY,
         [](const fs::path& d, const std::string& f, const writing_user& u) {
             write_file(d / f, old_bytes);
             give(d / f, u, 0644);
             give(d, u, 0555);
         }},
        {"a read-only folder without the file", false, outcome::not_created, RLIM_INFINITY,
         [](const fs::path& d, const std::string&, const writing_user& u) { give(d, u, 0555); }},
    };
}

// Gives this process a mount namespace of its own, whose mounts end with it
// and leave the system's as they are; false with errno set where it cannot.
bool own_mount_namespace()
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

class WholeFileWriters : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Every user may pass through the test's folder.
        ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
        copy_source = (tmp.path() / "source.bin").string();
        std::string bytes(10000, '\0');
        for (std::size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>(k * 7 + 3);
        write_file(copy_source, bytes);
        ASSERT_EQ(::chmod(copy_source.c_str(), 0644), 0);
        // The new bytes each writer gives, written here as they should be.
        fs::create_directory(tmp.path() / "reference");
        for (const writer& w : writers()) {
            const fs::path p = tmp.path() / "reference" / w.file;
            w.write(p.string());
            reference.push_back(read_file(p));
            fs::remove(p);
        }
    }

    // Runs every writer against the cases that pass the filter.
    void run_cases(const std::function<bool(const target_case&)>& wanted)
    {
        const writing_user u = the_writing_user();
        for (const target_case& c : target_cases()) {
            if (!wanted(c))
                continue;
            SCOPED_TRACE(c.what);
            if (c.expected == outcome::failed && c.size_limit == RLIM_INFINITY && !fs::exists("/dev/full")) {
                std::printf("skipped (%s): this system has no /dev/full\n", c.what);
                continue;
            }
            for_each_writer("case", [&](std::size_t k, const writer& w, const fs::path& d) {
                c.make(d, w.file, u);
                if (::testing::Test::HasFatalFailure())
                    return;
                const fs::path real = d / (*c.real ? c.real : w.file);
                const bool present = fs::exists(fs::symlink_status(real));
                const bool existed = present && fs::is_regular_file(real);
                const bool link = fs::is_symlink(d / w.file);
                const std::string before = existed ? read_file(real) : "";
                struct stat was {};
                ::lstat(real.c_str(), &was);
                const std::set<std::string> entries = entries_of(d);
                const std::string path = (d / w.file).string();

                test::child_setup setup;
                setup.switch_user = u.switch_user;
                setup.uid = u.uid;
                setup.gid = u.gid;
                setup.file_size_limit = c.size_limit;
                const test::child_outcome got = test::run_in_child(setup, [&] { w.write(path); });
                ASSERT_TRUE(got.ran) << got.message;
                EXPECT_EQ(got.signal, 0);

                switch (c.expected) {
                case outcome::not_created:
                    EXPECT_EQ(got.message, message_for(w.not_created, path));
                    break;
                case outcome::failed:
                    EXPECT_NE(got.message, "") << "a write that cannot be completed raises an error";
                    break;
                case outcome::written:
                    EXPECT_EQ(got.message, "");
                    break;
                }
                if (c.expected == outcome::written) {
                    expect_new_bytes(k, real);
                } else if (existed) {
                    EXPECT_EQ(read_file(real), before) << "the old bytes are kept";
                } else if (!present) {
                    EXPECT_FALSE(fs::exists(fs::symlink_status(real))) << "no file is made";
                }
                // The file keeps its owner and mode, a link stays a link,
                // and no temporary is left.
                struct stat now {};
                if (existed) {
                    ASSERT_EQ(::lstat(real.c_str(), &now), 0);
                    EXPECT_EQ(now.st_uid, was.st_uid);
                    EXPECT_EQ(now.st_mode, was.st_mode);
                }
                std::set<std::string> expected_entries = entries;
                if (c.expected == outcome::written)
                    expected_entries.insert(w.file);
                EXPECT_EQ(entries_of(d), expected_entries);
                EXPECT_EQ(fs::is_symlink(d / w.file), link) << "a link is kept, and no file becomes one";
                ::chmod(d.c_str(), 0755);  // so that the folder can be removed
            });
        }
    }

    // In a child set up as given: writer w (number k) writes the target,
    // and the model, a write in place of the same bytes, writes the twin.
    void write_target_and_twin(const test::child_setup& setup, const writer& w, std::size_t k, const fs::path& target,
                               const fs::path& twin)
    {
        const test::child_outcome got = test::run_in_child(setup, [&] {
            w.write(target.string());
            write_in_place(twin, reference[k]);
        });
        ASSERT_TRUE(got.ran) << got.message;
        EXPECT_EQ(got.message, "");
        expect_new_bytes(k, target);
    }

    // The file holds the new bytes of writer k.
    void expect_new_bytes(std::size_t k, const fs::path& p) const
    {
        const std::size_t dated = writers()[k].dated;
        const std::string after = read_file(p);
        ASSERT_EQ(after.size(), reference[k].size());
        EXPECT_TRUE(after.compare(dated, std::string::npos, reference[k], dated) == 0) << "the new bytes";
    }

    // A fresh folder of the test holding a writer's target with the old
    // bytes; the target's path.
    std::string old_file_in(const std::string& folder, const writer& w) const
    {
        const fs::path d = tmp.path() / folder;
        fs::create_directory(d);
        write_file(d / w.file, old_bytes);
        return (d / w.file).string();
    }

    // Runs f(k, writer, folder) for each writer, each in a fresh folder named
    // from stem, until a fatal failure.
    template <class F>
    void for_each_writer(const std::string& stem, F&& f)
    {
        for (std::size_t k = 0; k < writers().size() && !::testing::Test::HasFatalFailure(); ++k) {
            SCOPED_TRACE(writers()[k].what);
            f(k, writers()[k], fresh_folder(stem));
        }
    }

    // A new folder of the test, named from stem and a number of its own.
    fs::path fresh_folder(const std::string& stem)
    {
        const fs::path d = tmp.path() / (stem + std::to_string(folders_++));
        fs::create_directory(d);
        return d;
    }

    // "" where a child may mount a memory file system in a mount namespace
    // of its own, else why it may not.
    std::string why_no_mounts()
    {
        const fs::path trial = fresh_folder("mount_trial");
        const test::child_outcome tried = test::run_in_child(test::child_setup(), [&] {
            if (!own_mount_namespace() || ::mount("tmpfs", trial.c_str(), "tmpfs", 0, "size=64k") != 0)
                error("%s", std::strerror(errno));
        });
        return tried.ran ? tried.message : "the child did not run: " + tried.message;
    }

    // A new folder of the test that every user may write (the folder for
    // temporaries of a writer run as another user).
    fs::path open_folder(const std::string& name) const
    {
        const fs::path d = tmp.path() / name;
        fs::create_directory(d);
        EXPECT_EQ(::chmod(d.c_str(), 0777), 0);
        return d;
    }

    // The one temporary a writer of path, killed in the middle by a file
    // size limit, leaves beside it; "" after a failure was recorded.
    std::string killed_writers_temporary(const writer& w, const std::string& path)
    {
        const fs::path d = fs::path(path).parent_path();
        const std::set<std::string> before = entries_of(d);
        test::child_setup setup;
        setup.file_size_limit = 4096;
        setup.killed_at_limit = true;
        const test::child_outcome killed = test::run_in_child(setup, [&] { write_named(w, path); });
        EXPECT_TRUE(killed.ran) << killed.message;
        EXPECT_EQ(killed.signal, SIGXFSZ) << "the writer dies in the middle";
        EXPECT_EQ(read_file(path), old_bytes);
        std::set<std::string> left = entries_of(d);
        for (const std::string& name : before)
            left.erase(name);
        EXPECT_EQ(left.size(), 1u) << "the killed writer's temporary";
        return left.size() == 1 && killed.signal == SIGXFSZ ? *left.begin() : std::string();
    }

    test::temp_dir tmp;
    std::vector<std::string> reference;
    int folders_ = 0;
};

TEST_F(WholeFileWriters, AgainstTargetsOfTheWritersOwn)
{
    run_cases([](const target_case& c) { return !c.another_users_file; });
}

TEST_F(WholeFileWriters, AgainstAnotherUsersFileInAStickyFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the file of a second user can be made only by root: these tests run as user "
                     << ::geteuid();
    // A system may refuse the change of user (a container without the
    // right to it): that is asked first.
    test::child_setup probe;
    probe.switch_user = true;
    probe.uid = test::unprivileged_uid;
    probe.gid = test::unprivileged_gid;
    const test::child_outcome tried = test::run_in_child(probe, [] {});
    if (!tried.ran)
        GTEST_SKIP() << "no second user can be used here: " << tried.message;
    run_cases([](const target_case& c) { return c.another_users_file; });
}

// A folder the writer may write and enter but not list (mode 0333): the
// temporaries are found by their names alone, so every writer writes a
// new file there and replaces an old one.
TEST_F(WholeFileWriters, AFolderThatCannotBeListed)
{
    const writing_user u = the_writing_user();
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        for (const bool over_old : {false, true}) {
            SCOPED_TRACE(over_old ? "over an old file" : "a new file");
            const fs::path d = tmp.path() / ("unlisted_" + std::string(w.what) + (over_old ? "_old" : "_new"));
            fs::create_directory(d);
            if (over_old) {
                write_file(d / w.file, old_bytes);
                give(d / w.file, u, 0644);
            }
            give(d, u, 0333);
            test::child_setup setup;
            setup.switch_user = u.switch_user;
            setup.uid = u.uid;
            setup.gid = u.gid;
            const std::string path = (d / w.file).string();
            const test::child_outcome got = test::run_in_child(setup, [&] { w.write(path); });
            ASSERT_EQ(::chmod(d.c_str(), 0755), 0);
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.message, "");
            expect_new_bytes(k, path);
            EXPECT_EQ(entries_of(d), (std::set<std::string>{w.file})) << "no temporary is left";
        }
    }
}

// Root may write any file: a file its owner protected is replaced when
// root writes it, and keeps its mode.
TEST_F(WholeFileWriters, RootReplacesAProtectedFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "these tests run as user " << ::geteuid() << ", not as root";
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        const std::string path = old_file_in(std::string("root_") + w.what, w);
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        EXPECT_ERROR(w.write(path), "");
        expect_new_bytes(k, path);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
}

// A replaced file keeps its owner, group, mode and other names (hard
// links) exactly as a write in place leaves them: each writer writes the
// target, and a plain write in place by the same user writes its twin, a
// file made alike; then both must be alike still, and the other name of
// the target must lead to the new bytes. Root writing another user's file
// (a set-user-id one among them) must leave it that user's; a member of a
// file's group cannot give a file away, so the file stays its owner's.
TEST_F(WholeFileWriters, AReplacedFileKeepsItsOwnerGroupModeAndOtherNames)
{
    const bool root = ::geteuid() == 0;
    const uid_t other = test::unprivileged_uid, other_group = test::unprivileged_gid;
    const uid_t daemon_user = 1;
    const gid_t shared = 54321;  // a group of the writer's, none of its own
    struct owner_case {
        const char* what;
        bool as_root;        // written by root, else by the unprivileged user in the group shared
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool second_name;    // the file has a hard link
    };
    const std::vector<owner_case> cases = {
        {"root over another user's file (0644)", true, other, other_group, 0644, false},
        {"root over another user's set-user-id program (04755)", true, other, other_group, 04755, false},
        {"root over another user's set-group-id file of another group (02755)", true, other, shared, 02755, false},
        {"root over its own file with a second name", true, 0, 0, 0644, true},
        {"root over another user's file with a second name", true, other, other_group, 0640, true},
        {"a member of the group over a shared file (0664)", false, daemon_user, shared, 0664, false},
        {"a member of the group over a shared set-group-id file (02775)", false, daemon_user, shared, 02775, false},
        {"the owner over its file of a group it is in (0664)", false, other, shared, 0664, false},
        {"the owner over its set-user-id program (04755)", false, other, other_group, 04755, false},
        {"the owner over its file with a second name", false, other, other_group, 0600, true},
    };
    if (!root)
        GTEST_SKIP() << "files of other users and groups can be made only by root: these tests run as user "
                     << ::geteuid();
    test::child_setup probe;
    probe.switch_user = true;
    probe.uid = other;
    probe.gid = other_group;
    probe.groups = {shared};
    const test::child_outcome tried = test::run_in_child(probe, [] {});
    if (!tried.ran)
        GTEST_SKIP() << "no second user can be used here: " << tried.message;

    for (const owner_case& c : cases) {
        SCOPED_TRACE(c.what);
        for_each_writer("owners", [&](std::size_t k, const writer& w, const fs::path& d) {
            ASSERT_EQ(::chmod(d.c_str(), 0777), 0);  // every user may make its temporaries here
            const fs::path target = d / w.file, twin = d / ("twin_" + std::string(w.file));
            for (const fs::path& p : {target, twin})
                make_owned(p, c.owner, c.group, c.mode, c.second_name);
            if (::testing::Test::HasFatalFailure())
                return;
            test::child_setup setup;
            setup.switch_user = !c.as_root;
            setup.uid = other;
            setup.gid = other_group;
            setup.groups = {shared};
            write_target_and_twin(setup, w, k, target, twin);
            if (::testing::Test::HasFatalFailure())
                return;
            expect_alike(target, twin);
            struct stat a {};
            ASSERT_EQ(::stat(target.c_str(), &a), 0);
            EXPECT_EQ(a.st_uid, c.owner) << "the file stays its owner's";
            if ((a.st_mode & (S_ISUID | S_ISGID)) != 0) {
                EXPECT_EQ(a.st_uid, c.owner) << "no set-id bit on a file that changed hands";
            }
            if (c.second_name)
                expect_new_bytes(k, target.string() + ".link");
            std::set<std::string> expected = {target.filename().string(), twin.filename().string()};
            if (c.second_name) {
                expected.insert(target.filename().string() + ".link");
                expected.insert(twin.filename().string() + ".link");
            }
            EXPECT_EQ(entries_of(d), expected) << "no temporary is left";
        });
    }
}

// Writers killed in the middle (by a signal at a file size limit) leave
// their temporaries; the next write of the same file removes those and no
// other: not another file's, not one whose lock a writer holds (whatever
// its process: a writer in another process namespace shares no process
// ids with this one), and no name that is not a temporary of the file.
TEST_F(WholeFileWriters, AKilledWritersTemporaryIsRemovedByTheNextWriteOfItsFile)
{
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        const std::string path = old_file_in(std::string("killed_") + w.what, w);
        const fs::path d = fs::path(path).parent_path();

        const std::string temporary = killed_writers_temporary(w, path);
        if (temporary.empty())
            return;
        // ".<file>.<16 hex digits>.<two-digit slot>.part"
        const std::string prefix = "." + std::string(w.file) + ".";
        ASSERT_EQ(temporary.compare(0, prefix.size(), prefix), 0) << temporary;
        ASSERT_EQ(temporary.size(), prefix.size() + 16 + 1 + 2 + 5) << temporary;
        EXPECT_EQ(temporary.substr(temporary.size() - 5), ".part");
        const std::string hash = temporary.substr(prefix.size(), 16);
        const auto slot = [&](const std::string& stem, const std::string& number) {
            return "." + stem + "." + hash + "." + number + ".part";
        };

        const std::string other_file = std::string(w.file) == "x.vor" ? "y.vor" : "x.vor";
        const std::vector<std::string> kept = {
            slot(other_file, "03"),                               // another file's
            slot(w.file, "05"),                                   // locked: its writer runs
            "." + std::string(w.file) + ".part",                  // no temporary's name
            slot(w.file, "5"),
            slot(w.file, "5x"),
            "." + std::string(w.file) + ".12345.aaaaaaaaaa.part",  // not of this form
        };
        for (const std::string& name : kept)
            write_file(d / name, "kept");
        const std::string dead_too = slot(w.file, "31");
        write_file(d / dead_too, "a second temporary of a killed writer");
        const int held = ::open((d / kept[1]).c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);

        w.write(path);
        ::close(held);
        expect_new_bytes(k, path);
        std::set<std::string> expected(kept.begin(), kept.end());
        expected.insert(w.file);
        EXPECT_EQ(entries_of(d), expected) << "the killed writers' temporaries go, the others stay";
    }
}

// Writers of one file side by side, half of them in a process namespace
// of their own where the system allows it, so that no process id could
// tell whether a temporary's writer runs: every write succeeds (a live
// writer's temporary is never taken for an abandoned one, up to its
// rename), the file is one complete new file and no temporary is left.
TEST_F(WholeFileWriters, WritersSideBySideInOtherProcessNamespacesAllSucceed)
{
    constexpr int processes = 6, writes = 15;
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        const std::string path = old_file_in(std::string("side_") + w.what, w);
        std::vector<pid_t> children;
        std::fflush(nullptr);
        for (int p = 0; p < processes; ++p) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child > 0) {
                children.push_back(child);
                continue;
            }
            // Children of this process are born in a new namespace.
            if (p % 2 == 1)
                ::unshare(CLONE_NEWPID);
            const pid_t writer_process = ::fork();
            if (writer_process == 0) {
                for (int n = 0; n < writes; ++n)
                    if (!test::error_of([&] { w.write(path); }).empty())
                        ::_exit(1);
                ::_exit(0);
            }
            int status = 0;
            while (writer_process > 0 && ::waitpid(writer_process, &status, 0) < 0 && errno == EINTR) {
            }
            ::_exit(writer_process > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 2);
        }
        for (const pid_t child : children) {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every write succeeds";
        }
        expect_new_bytes(k, path);
        EXPECT_EQ(entries_of(fs::path(path).parent_path()), (std::set<std::string>{w.file}));
    }
}

// The temporary of a file fits the folder whatever the length of the
// file's name, up to the longest name a folder holds (255 bytes): a name
// of 1, 200, 240 and 255 bytes, new and over an old file, is written and
// leaves nothing else; one byte more is a name no file can have.
TEST_F(WholeFileWriters, TargetNamesUpToTheLongestAFolderHolds)
{
    struct length_case {
        std::size_t bytes;
        bool fits;
    };
    const std::vector<length_case> lengths = {{1, true}, {200, true}, {240, true}, {255, true}, {256, false}};
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        for (const length_case& c : lengths) {
            SCOPED_TRACE(std::to_string(c.bytes) + " bytes");
            for (const bool over_old : {false, true}) {
                SCOPED_TRACE(over_old ? "over an old file" : "a new file");
                const fs::path d = tmp.path() / ("long_" + std::string(w.what) + "_" + std::to_string(c.bytes) +
                                                 (over_old ? "_old" : "_new"));
                fs::create_directory(d);
                const std::string name = name_of_length(w, c.bytes);
                const fs::path target = d / name, written = file_written(w, target.string());
                if (over_old && c.fits)
                    write_file(written, old_bytes);
                const std::set<std::string> before = entries_of(d);
                const std::string message = test::error_of([&] { write_named(w, target.string()); });
                if (!c.fits) {
                    EXPECT_EQ(message, message_for(w.not_created, target.string()));
                    EXPECT_EQ(entries_of(d), before);
                    continue;
                }
                EXPECT_EQ(message, "");
                expect_new_bytes(k, written);
                std::set<std::string> expected = before;
                expected.insert(written.filename().string());
                EXPECT_EQ(entries_of(d), expected) << "no temporary is left";
            }
        }
    }
}

// Names of 255 bytes that differ only in their last byte: a killed
// writer's temporary of one is left by the writes of the other and
// removed by the next write of its own file.
TEST_F(WholeFileWriters, TheTemporaryOfALongNameIsFoundByItsOwnFileOnly)
{
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        const fs::path d = tmp.path() / ("twins_" + std::string(w.what));
        fs::create_directory(d);
        std::string one = name_of_length(w, 255), two = one;
        two[0] = 'm';
        one[0] = 'l';
        std::reverse(one.begin(), one.begin() + 250);
        std::reverse(two.begin(), two.begin() + 250);  // the names differ in their 250th byte
        write_file(d / one, old_bytes);
        write_file(d / two, old_bytes);
        const std::string temporary = killed_writers_temporary(w, (d / one).string());
        if (temporary.empty())
            return;
        EXPECT_LE(temporary.size(), 255u);
        write_named(w, (d / two).string());
        EXPECT_TRUE(fs::exists(d / temporary)) << "another file's temporary is kept";
        write_named(w, (d / one).string());
        EXPECT_EQ(entries_of(d), (std::set<std::string>{one, two})) << "its own file's write removes it";
        expect_new_bytes(k, d / one);
        expect_new_bytes(k, d / two);
    }
}

// ---- links, names and targets of every kind ----

// A name with the test's folders put in: "@d" the case's folder, "@shm" a
// folder on another file system, "@t" the writer's file name.
std::string expand(std::string s, const fs::path& d, const fs::path& shm, const std::string& file)
{
    for (const auto& [mark, by] : {std::pair<std::string, std::string>{"@shm", shm.string()}, {"@d", d.string()},
                                   {"@t", file}}) {
        for (std::size_t at; (at = s.find(mark)) != std::string::npos;)
            s.replace(at, mark.size(), by);
    }
    return s;
}

// A folder of the test on another file system than the test's own
// (/dev/shm, a memory file system, when the test's folder is elsewhere);
// empty when there is none.
class other_file_system {
public:
    explicit other_file_system(const fs::path& ours)
    {
        struct stat a {}, b {};
        std::string pattern = "/dev/shm/numrun-XXXXXX";
        if (::stat(ours.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev ||
            !::mkdtemp(pattern.data()))
            return;
        path_ = pattern;
    }
    ~other_file_system()
    {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    other_file_system(const other_file_system&) = delete;
    other_file_system& operator=(const other_file_system&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The child set up to write as the writing user.
test::child_setup as_user(const writing_user& u, rlim_t size_limit = RLIM_INFINITY)
{
    test::child_setup setup;
    setup.switch_user = u.switch_user;
    setup.uid = u.uid;
    setup.gid = u.gid;
    setup.file_size_limit = size_limit;
    setup.time_limit = 20;
    return setup;
}

// The entries of every folder given, by folder.
std::vector<std::set<std::string>> entries_of_all(const std::vector<fs::path>& folders)
{
    std::vector<std::set<std::string>> all;
    for (const fs::path& f : folders)
        all.push_back(f.empty() ? std::set<std::string>() : entries_of(f));
    return all;
}

// A link given as the target, or the first of a chain of links: every
// link stays the link it was and the file at the end of the chain takes
// the new bytes, whatever folder or file system it lies in; a chain that
// leads to no file yet makes the file it names, as a new file is made. A
// write that fails in the middle keeps the old bytes, or makes no file,
// and leaves no temporary in any folder on the way.
TEST_F(WholeFileWriters, LinksStayLinksAndTheFileTheyLeadToTakesTheNewBytes)
{
    struct link_case {
        const char* what;
        outcome expected;
        rlim_t size_limit;
        std::vector<std::pair<std::string, std::string>> links;  // name in the folder, text; the first is the target
        std::string real;   // the file the chain ends at; "" when none
        bool real_exists;   // it holds the old bytes before the write
        bool needs_shm = false;
        bool locked_folder = false;  // the folder "other" may not be written by the writer
    };
    const rlim_t none = RLIM_INFINITY, limit = 4096;
    const std::vector<link_case> cases = {
        {"a relative link to a file beside it", outcome::written, none, {{"@t", "real.bin"}}, "real.bin", true},
        {"a relative link into another folder", outcome::written, none, {{"@t", "other/real.bin"}}, "other/real.bin",
         true},
        {"a link in a folder below, up and into another", outcome::written, none, {{"sub/@t", "../other/real.bin"}},
         "other/real.bin", true},
        {"an absolute link", outcome::written, none, {{"@t", "@d/other/real.bin"}}, "other/real.bin", true},
        {"a chain of three links across folders", outcome::written, none,
         {{"@t", "sub/l1"}, {"sub/l1", "../other/l2"}, {"other/l2", "real.bin"}}, "other/real.bin", true},
        {"a link to a file on another file system", outcome::written, none, {{"@t", "@shm/real.bin"}},
         "@shm/real.bin", true, true},
        {"a chain to another file system and back", outcome::written, none,
         {{"@t", "@shm/l1"}, {"@shm/l1", "@d/other/real.bin"}}, "other/real.bin", true, true},
        {"a link to a file in a folder the writer may not write", outcome::written, none,
         {{"@t", "other/real.bin"}}, "other/real.bin", true, false, true},
        {"a link that leads to no file yet", outcome::written, none, {{"@t", "new.bin"}}, "new.bin", false},
        {"a chain that leads to no file yet in another folder", outcome::written, none,
         {{"@t", "sub/l1"}, {"sub/l1", "../other/new.bin"}}, "other/new.bin", false},
        {"a link to no file yet on another file system", outcome::written, none, {{"@t", "@shm/new.bin"}},
         "@shm/new.bin", false, true},
        {"a link into a folder that does not exist", outcome::not_created, none, {{"@t", "nowhere/new.bin"}}, "",
         false},
        {"a loop of links", outcome::not_created, none, {{"@t", "l1"}, {"l1", "@t"}}, "", false},
        {"a link to a folder", outcome::not_created, none, {{"@t", "other"}}, "", false},
        {"a link to a file, under a size limit", outcome::failed, limit, {{"@t", "other/real.bin"}},
         "other/real.bin", true},
        {"a chain of links, under a size limit", outcome::failed, limit,
         {{"@t", "sub/l1"}, {"sub/l1", "../other/l2"}, {"other/l2", "real.bin"}}, "other/real.bin", true},
        {"a link to another file system, under a size limit", outcome::failed, limit, {{"@t", "@shm/real.bin"}},
         "@shm/real.bin", true, true},
        {"a link to a file in a folder the writer may not write, under a size limit", outcome::failed, limit,
         {{"@t", "other/real.bin"}}, "other/real.bin", true, false, true},
        {"a link that leads to no file yet, under a size limit", outcome::failed, limit, {{"@t", "other/new.bin"}},
         "other/new.bin", false},
    };
    const writing_user u = the_writing_user();
    for (const link_case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needs_shm && other_file_system(tmp.path()).path().empty()) {
            std::printf("skipped (%s): no second file system at /dev/shm\n", c.what);
            continue;
        }
        for_each_writer("links", [&](std::size_t k, const writer& w, const fs::path& d) {
            other_file_system shm_folder(tmp.path());
            const fs::path& shm = shm_folder.path();
            const auto at = [&](const std::string& s) {
                const std::string e = expand(s, d, shm, w.file);
                return e.empty() || e[0] == '/' ? fs::path(e) : d / e;
            };
            for (const fs::path& f : {d, d / "other", d / "sub"})
                fs::create_directory(f);
            if (!shm.empty())
                give(shm, u, 0755);
            if (c.real_exists) {
                write_file(at(c.real), old_bytes);
                give(at(c.real), u, 0644);
            }
            for (const auto& [name, text] : c.links) {
                fs::create_symlink(expand(text, d, shm, w.file), at(name));
                give(at(name), u, 0777);
            }
            give(d, u, 0755);
            give(d / "sub", u, 0755);
            give(d / "other", u, c.locked_folder ? 0555 : 0755);
            const std::vector<fs::path> folders = {d, d / "other", d / "sub", shm};
            const auto before = entries_of_all(folders);
            const std::string path = at(c.links[0].first).string();

            const test::child_outcome got = test::run_in_child(as_user(u, c.size_limit), [&] { w.write(path); });
            ::chmod((d / "other").c_str(), 0755);
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.signal, 0);
            if (c.expected == outcome::written) {
                EXPECT_EQ(got.message, "");
            } else if (c.expected == outcome::not_created) {
                EXPECT_EQ(got.message, message_for(w.not_created, path));
            } else {
                EXPECT_NE(got.message, "") << "a write that cannot be completed raises an error";
            }

            for (const auto& [name, text] : c.links) {
                EXPECT_TRUE(fs::is_symlink(at(name))) << name << " stays a link";
                if (fs::is_symlink(at(name))) {
                    EXPECT_EQ(fs::read_symlink(at(name)).string(), expand(text, d, shm, w.file));
                }
            }
            auto expected = before;
            if (!c.real.empty()) {
                const fs::path real = at(c.real);
                if (c.expected == outcome::written) {
                    expect_new_bytes(k, real);
                    if (!c.real_exists)
                        expected[real.parent_path() == shm ? 3 : real.parent_path() == d ? 0 : 1].insert(
                            real.filename().string());
                } else if (c.real_exists) {
                    EXPECT_TRUE(read_file(real) == old_bytes) << "the old bytes are kept";
                } else {
                    EXPECT_FALSE(fs::exists(fs::symlink_status(real))) << "no file is made";
                }
                if (c.real_exists) {
                    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(real)));
                    EXPECT_EQ(fs::status(real).permissions(),
                              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
                }
            }
            EXPECT_EQ(entries_of_all(folders), expected) << "no temporary is left in any folder";
        });
    }
}

// Targets that are no regular file: a folder, a socket or a named pipe
// that no process reads cannot be written, and the writer says so at once rather
// than wait for a reader; a pipe that a process reads takes the bytes (a
// writer that goes back over what it wrote says it cannot), /dev/null
// takes them, and nothing is made beside any of them.
TEST_F(WholeFileWriters, TargetsThatAreNoRegularFile)
{
    struct special_case {
        const char* what;
        outcome expected;
        std::function<std::string(const fs::path& d, const std::string& file)> make;  // the path to write
        bool reader = false;  // the test reads the pipe the writer writes
    };
    const auto pipe_at = [](const fs::path& p) {
        EXPECT_EQ(::mkfifo(p.c_str(), 0666), 0) << p;
        ::chmod(p.c_str(), 0666);
    };
    const std::vector<special_case> cases = {
        {"a folder of the target's name", outcome::not_created,
         [](const fs::path& d, const std::string& f) {
             fs::create_directory(d / f);
             return (d / f).string();
         }},
        {"a named pipe no process reads", outcome::not_created,
         [&](const fs::path& d, const std::string& f) {
             pipe_at(d / f);
             return (d / f).string();
         }},
        {"a link to a named pipe no process reads", outcome::not_created,
         [&](const fs::path& d, const std::string& f) {
             pipe_at(d / "pipe");
             fs::create_symlink("pipe", d / f);
             return (d / f).string();
         }},
        {"a named pipe a process reads", outcome::written,
         [&](const fs::path& d, const std::string& f) {
             pipe_at(d / f);
             return (d / f).string();
         },
         true},
        {"a link to /dev/null", outcome::written,
         [](const fs::path& d, const std::string& f) {
             fs::create_symlink("/dev/null", d / f);
             return (d / f).string();
         }},
        {"/dev/null", outcome::written, [](const fs::path&, const std::string&) { return std::string("/dev/null"); }},
        {"a socket", outcome::not_created,
         [](const fs::path& d, const std::string& f) {
             const std::string path = (d / f).string();
             sockaddr_un address {};
             address.sun_family = AF_UNIX;
             EXPECT_LT(path.size(), sizeof address.sun_path);
             std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path));
             const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
             EXPECT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
             ::close(s);
             return path;
         }},
    };
    const writing_user u = the_writing_user();
    const auto nulls = [] {
        std::set<std::string> names;
        for (const std::string& n : entries_of("/dev"))
            if (n.rfind(".null", 0) == 0)
                names.insert(n);
        return names;
    };
    for (const special_case& c : cases) {
        SCOPED_TRACE(c.what);
        for_each_writer("special", [&](std::size_t k, const writer& w, const fs::path& d) {
            const std::string path = c.make(d, w.file);
            if (file_written(w, path) != path)
                return;  // the writer would add its extension to the name
            give(d, u, 0755);
            const auto before = entries_of(d);
            const auto nulls_before = nulls();
            int reader = -1;
            if (c.reader) {
                reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
                ASSERT_GE(reader, 0);
            }
            const test::child_outcome got = test::run_in_child(as_user(u), [&] { write_named(w, path); });
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.signal, 0) << "the writer ends (SIGALRM: it waited for a reader)";
            if (c.reader && w.seeks) {
                EXPECT_NE(got.message, "") << "a writer that must go back cannot write a pipe, and says so";
            } else if (c.expected == outcome::written) {
                EXPECT_EQ(got.message, "");
            } else {
                EXPECT_EQ(got.message, message_for(w.not_created, path));
            }
            if (reader >= 0 && w.seeks) {
                ::close(reader);
            } else if (reader >= 0) {
                std::string bytes;
                char block[4096];
                ssize_t n;
                while ((n = ::read(reader, block, sizeof block)) > 0)
                    bytes.append(block, static_cast<std::size_t>(n));
                ::close(reader);
                const std::size_t dated = w.dated;
                ASSERT_EQ(bytes.size(), reference[k].size()) << "the reader has every byte";
                EXPECT_TRUE(bytes.compare(dated, std::string::npos, reference[k], dated) == 0);
            }
            EXPECT_EQ(entries_of(d), before) << "nothing is made beside the target";
            EXPECT_EQ(nulls(), nulls_before) << "nothing is made beside /dev/null";
            const fs::file_status s = fs::symlink_status(path);
            EXPECT_NE(s.type(), fs::file_type::regular) << "the target keeps its kind";
        });
    }
}

// Targets the kernel names: a process's open files, reached through the
// kernel's links (/dev/fd/N, where /dev/stdout leads), whose text names no
// path, and a setting of the kernel's own file systems (/proc/self/comm).
// An open pipe takes the bytes where it is (a writer that goes back over
// what it wrote says it cannot); an open file takes them in place, whole,
// or keeps its old bytes when the write fails, whether it has a name or
// not; the setting takes them as a write to it does. Nothing is made
// beside any of them. ("/./" in a name keeps the writers from adding their
// extension.)
TEST_F(WholeFileWriters, TargetsTheKernelNames)
{
    enum class kind { pipe, file, nameless_file, setting };
    struct kernel_case {
        const char* what;
        kind target;
        rlim_t size_limit = RLIM_INFINITY;
    };
    const std::vector<kernel_case> cases = {
        {"a pipe a process reads, through /dev/fd", kind::pipe},
        {"an open file, through /dev/fd", kind::file},
        {"an open file, through /dev/fd, under a size limit", kind::file, 4096},
        {"an open file whose name is gone, through /dev/fd", kind::nameless_file},
        {"an open file whose name is gone, under a size limit", kind::nameless_file, 4096},
        {"the process's name, /proc/self/comm", kind::setting},
    };
    const writing_user u = the_writing_user();
    for (const kernel_case& c : cases) {
        SCOPED_TRACE(c.what);
        for_each_writer("kernel", [&](std::size_t k, const writer& w, const fs::path& d) {
            give(d, u, 0755);
            int ends[2] = {-1, -1};
            int held = -1;
            const fs::path file = d / "open.bin";
            if (c.target == kind::pipe) {
                ASSERT_EQ(::pipe(ends), 0);
                held = ends[1];
                // The writing user's pipe, as one its shell made would be.
                if (u.switch_user) {
                    ASSERT_EQ(::fchown(held, u.uid, u.gid), 0) << std::strerror(errno);
                }
            } else if (c.target != kind::setting) {
                write_file(file, old_bytes);
                give(file, u, 0666);
                held = ::open(file.c_str(), O_RDWR);
                ASSERT_GE(held, 0);
                if (c.target == kind::nameless_file)
                    fs::remove(file);
            }
            const std::string path =
                c.target == kind::setting ? "/proc/self/./comm" : "/dev/./fd/" + std::to_string(held);
            const auto before = entries_of(d);
            const test::child_outcome got = test::run_in_child(as_user(u, c.size_limit), [&] {
                // A process that was root before it became the writing user
                // may not look at its own /proc entries until it says so;
                // one started as that user may.
                ::prctl(PR_SET_DUMPABLE, 1);
                const std::string was = read_file("/proc/self/comm");
                write_named(w, path);
                if (c.target == kind::setting) {
                    // What the process is called now: bytes written (each
                    // write names it by its first bytes, up to a zero).
                    std::string name = read_file("/proc/self/comm");
                    name.pop_back();  // the kernel's newline
                    if (name + "\n" == was || (w.dated == 0 && reference[k].find(name) == std::string::npos))
                        error("the process's name is not bytes written");
                }
            });
            if (held >= 0)
                ::close(held);
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.signal, 0) << "the writer ends (SIGALRM: it waited)";
            if (c.target == kind::pipe) {
                std::string bytes;
                char block[4096];
                ssize_t n;
                while ((n = ::read(ends[0], block, sizeof block)) > 0)
                    bytes.append(block, static_cast<std::size_t>(n));
                ::close(ends[0]);
                if (w.seeks) {
                    EXPECT_NE(got.message, "") << "a writer that must go back cannot write a pipe, and says so";
                } else {
                    EXPECT_EQ(got.message, "");
                    ASSERT_EQ(bytes.size(), reference[k].size()) << "the reader has every byte";
                    EXPECT_TRUE(bytes == reference[k]);
                }
            } else if (c.target == kind::setting) {
                EXPECT_EQ(got.message, "");
            } else if (c.size_limit != RLIM_INFINITY) {
                EXPECT_NE(got.message, "") << "the failure is reported";
            } else {
                EXPECT_EQ(got.message, "");
            }
            if (c.target == kind::file) {
                if (c.size_limit == RLIM_INFINITY)
                    expect_new_bytes(k, file);
                else
                    EXPECT_TRUE(read_file(file) == old_bytes) << "the old bytes are kept";
            }
            EXPECT_EQ(entries_of(d), before) << "nothing is made beside the target";
        });
    }
}

// copyfile onto the file it copies, named another way: the file is left as
// it is (the copy reads it whole before anything could cut it), whatever
// the route its write would take, and nothing is made beside it.
TEST_F(WholeFileWriters, CopyingAFileOntoItselfKeepsIt)
{
    struct self_case {
        const char* what;
        std::string to;       // the target, relative to the case's folder
        bool locked = false;  // the folder may not be written by the writer
        bool bound = false;   // "mnt" is "sub" mounted again (needs a mount namespace)
    };
    const std::vector<self_case> cases = {
        {"the same name", "sub/a.bin"},
        {"through ./", "./sub/./a.bin"},
        {"through a folder and ..", "other/../sub/a.bin"},
        {"through a link", "link.bin"},
        {"through a hard link", "sub/hard.bin"},
        {"through a link, in a folder the writer may not write", "link.bin", true},
        {"through /dev/fd", "@fd"},
        {"through a second mount of its folder", "mnt/a.bin", false, true},
    };
    const writing_user u = the_writing_user();
    std::string bytes(20000, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<char>((k * 131 + k / 256) & 0xff);
    for (const self_case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.bound && !u.switch_user) {
            std::printf("skipped (%s): a mount namespace needs root\n", c.what);
            continue;
        }
        const fs::path d = fresh_folder("self");
        for (const fs::path& f : {d / "sub", d / "other", d / "mnt"})
            fs::create_directory(f);
        const fs::path file = d / "sub" / "a.bin";
        write_file(file, bytes);
        give(file, u, 0644);
        fs::create_hard_link(file, d / "sub" / "hard.bin");
        fs::create_symlink("sub/a.bin", d / "link.bin");
        give(d, u, 0755);
        give(d / "sub", u, c.locked ? 0555 : 0755);
        struct stat was {};
        ASSERT_EQ(::stat(file.c_str(), &was), 0);
        const auto before = entries_of_all({d, d / "sub", d / "mnt"});
        const int held = c.to == "@fd" ? ::open(file.c_str(), O_RDWR) : -1;
        const std::string to = c.to == "@fd" ? "/dev/fd/" + std::to_string(held) : (d / c.to).string();
        test::child_setup setup = as_user(u);
        setup.switch_user = u.switch_user && !c.bound;
        const test::child_outcome got = test::run_in_child(setup, [&] {
            if (c.bound &&
                (!own_mount_namespace() || ::mount((d / "sub").c_str(), (d / "mnt").c_str(), nullptr, MS_BIND, nullptr) != 0))
                error("mount: %s", std::strerror(errno));
            ::prctl(PR_SET_DUMPABLE, 1);
            if (test::at(copyfile(t(file.string()), t(to)), 0) != 1)
                error("copyfile did not report success");
        });
        if (held >= 0)
            ::close(held);
        ::chmod((d / "sub").c_str(), 0755);
        ASSERT_TRUE(got.ran) << got.message;
        EXPECT_EQ(got.message, "");
        EXPECT_TRUE(read_file(file) == bytes) << "the file is as it was";
        struct stat now {};
        ASSERT_EQ(::stat(file.c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, was.st_ino);
        EXPECT_EQ(now.st_nlink, 2u);
        EXPECT_EQ(entries_of_all({d, d / "sub", d / "mnt"}), before) << "nothing is made beside it";
    }
}

// Names as users give them: spaces, a newline, a leading '-' or '.',
// quotes, and names of multi-byte characters of exactly the longest
// length a folder holds, whose temporaries are cut between characters,
// or of bytes that are no UTF-8, whose temporaries still keep the name;
// the temporary of a killed write of each is removed by its next write.
TEST_F(WholeFileWriters, NamesOfEveryShapeUpToTheLongest)
{
    // Characters of 1 to 4 bytes, repeated and filled up with 'n' to
    // exactly `bytes` bytes before the extension.
    const auto of = [](const std::string& ch, std::size_t bytes) {
        std::string s;
        while (s.size() + ch.size() <= bytes)
            s += ch;
        return s + std::string(bytes - s.size(), 'n');
    };
    struct name_case {
        const char* what;
        std::string prefix;  // the name before its characters and the writer's extension
        std::string ch;      // repeated up to the whole length; "" for none
        std::size_t total;   // the whole name's length (0: the prefix and extension alone)
        bool utf8 = true;    // the name is UTF-8 text
    };
    const std::vector<name_case> names = {
        {"spaces", "a name with  spaces ", "", 0},
        {"a newline", "two\nlines", "", 0},
        {"a leading '-'", "-rf", "", 0},
        {"a leading '.'", ".hidden", "", 0},
        {"quotes and a tab", "'\"\t`$(x)", "", 0},
        {"2-byte characters", "", "\xc3\xa9", 255},
        {"3-byte characters", "", "\xe2\x82\xac", 255},
        {"4-byte characters", "", "\xf0\x9f\x98\x80", 255},
        {"3-byte characters after one byte", "a", "\xe2\x82\xac", 255},
        {"4-byte characters after two bytes", "ab", "\xf0\x9f\x98\x80", 255},
        {"4-byte characters after three bytes", "abc", "\xf0\x9f\x98\x80", 255},
        {"bytes of another encoding (Latin-1)", "caf", "\xe9", 255, false},
        {"bytes that are no UTF-8 (continuations alone)", "", "\x80", 255, false},
        {"a 4-byte lead followed by more continuations than a character takes", "a", "\xf0\x80\x80\x80\x80\x80\x80",
         255, false},
    };
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        for (std::size_t n = 0; n < names.size(); ++n) {
            const name_case& c = names[n];
            SCOPED_TRACE(c.what);
            const std::string ext = extension_of(w);
            const std::string name =
                c.prefix + (c.total ? of(c.ch, c.total - ext.size() - c.prefix.size()) : std::string()) + ext;
            if (c.total) {
                ASSERT_EQ(name.size(), c.total);
            }
            const fs::path d = tmp.path() / ("names_" + std::string(w.what) + std::to_string(n));
            fs::create_directory(d);
            const std::string path = (d / name).string();
            EXPECT_ERROR(write_named(w, path), "");
            expect_new_bytes(k, path);
            EXPECT_EQ(entries_of(d), (std::set<std::string>{name})) << "no temporary is left";
            // Over the old file, killed in the middle, and again.
            write_file(path, old_bytes);
            const std::string temporary = killed_writers_temporary(w, path);
            if (temporary.empty())
                return;
            EXPECT_LE(temporary.size(), 255u);
            const std::size_t stem = temporary.size() - (1 + 16 + 1 + 2 + 5) - 1;
            ASSERT_LE(stem, name.size());
            EXPECT_EQ(temporary.substr(1, stem), name.substr(0, stem)) << "the temporary starts with the name";
            if (stem < name.size() && c.utf8) {
                EXPECT_NE(static_cast<unsigned char>(name[stem]) & 0xC0, 0x80) << "cut between characters";
            }
            EXPECT_GE(stem + 3, std::min<std::size_t>(name.size(), 255 - 1 - (1 + 16 + 1 + 2 + 5)))
                << "the temporary keeps the name up to its room, less three bytes at most";
            EXPECT_ERROR(write_named(w, path), "");
            expect_new_bytes(k, path);
            EXPECT_EQ(entries_of(d), (std::set<std::string>{name})) << "the killed write's temporary is gone";
        }
        // One byte over the longest name: no file can have it.
        const std::string ext = extension_of(w);
        const std::string name = of("\xe2\x82\xac", 256 - ext.size()) + ext;
        const fs::path d = tmp.path() / ("names_" + std::string(w.what) + "_over");
        fs::create_directory(d);
        EXPECT_ERROR(write_named(w, (d / name).string()), message_for(w.not_created, (d / name).string()));
        EXPECT_TRUE(entries_of(d).empty());
    }
}

// A name that ends in a separator names a folder, whether or not it
// exists: no writer makes a file in it (the writers that add their
// extension to a name without a '.' made a hidden ".vor" or ".wav" file in
// an existing folder), and each says it cannot create the name given.
TEST_F(WholeFileWriters, ANameThatEndsInASeparatorNamesAFolder)
{
    const std::vector<std::pair<const char*, std::string>> names = {
        {"a folder that does not exist", "none/"},
        {"an existing folder", "sub/"},
        {"an existing folder, with a backslash", "sub\\"},
    };
    for (const auto& [what, name] : names) {
        SCOPED_TRACE(what);
        for_each_writer("ending", [&](std::size_t, const writer& w, const fs::path& d) {
            fs::create_directory(d / "sub");
            const std::string path = d.string() + "/" + name;
            // The graphics engine names the file as the system does.
            std::string shown = path;
            if (std::string(w.what) == "imwrite")
                std::replace(shown.begin(), shown.end(), '\\', '/');
            EXPECT_ERROR(write_named(w, path), message_for(w.not_created, shown));
            EXPECT_EQ(entries_of(d), (std::set<std::string>{"sub"}));
            EXPECT_TRUE(entries_of(d / "sub").empty()) << "no file is made in the folder";
        });
    }
}

// Paths up to the longest the system takes (4095 bytes), whose
// temporaries' paths are longer still: the writers find their temporary
// through its folder, so each is written and none is left; one byte more
// is a path no file can have.
TEST_F(WholeFileWriters, PathsUpToTheLongestTheSystemTakes)
{
    const long path_max = ::pathconf("/", _PC_PATH_MAX);
    const std::size_t longest = path_max > 0 ? static_cast<std::size_t>(path_max) - 1 : 4095;
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        // A deep folder that leaves 200 bytes for the name.
        fs::path d = tmp.path() / ("deep_" + std::string(w.what));
        fs::create_directory(d);
        while (d.string().size() + 201 < longest) {
            d /= std::string(std::min<std::size_t>(250, longest - 201 - d.string().size() - 1), 'd');
            fs::create_directory(d);
        }
        ASSERT_EQ(d.string().size() + 201, longest);
        for (const std::size_t total : {longest - 40, longest - 1, longest, longest + 1}) {
            SCOPED_TRACE(std::to_string(total) + " bytes");
            const std::size_t room = total - d.string().size() - 1;
            const std::string name = name_of_length(w, room);
            const std::string path = (d / name).string();
            ASSERT_EQ(path.size(), total);
            for (const bool over_old : {false, true}) {
                SCOPED_TRACE(over_old ? "over an old file" : "a new file");
                if (over_old && total <= longest)
                    write_file(path, old_bytes);
                const std::set<std::string> before = entries_of(d);
                const std::string message = test::error_of([&] { write_named(w, path); });
                if (total > longest) {
                    // The message names the path, cut where every message is cut.
                    const std::string expected = message_for(w.not_created, path);
                    EXPECT_FALSE(message.empty());
                    EXPECT_EQ(expected.compare(0, message.size(), message), 0) << message;
                    EXPECT_EQ(entries_of(d), before);
                    continue;
                }
                EXPECT_EQ(message, "");
                expect_new_bytes(k, path);
                std::set<std::string> expected = before;
                expected.insert(name);
                EXPECT_EQ(entries_of(d), expected) << "no temporary is left";
                fs::remove(path);
            }
        }
    }
}

// ---- failures in the middle, on every route a write can take ----

// The routes a write takes to its file: renamed over it; written over it
// from a temporary beside it (a file with a second name, another user's
// file in a folder with the sticky bit); written over it from a temporary
// without a name elsewhere (a folder the writer may not write); a new file.
struct route {
    const char* what;
    bool exists;       // an old file is there
    bool second_name;  // it has a hard link, "other.bin"
    bool locked;       // its folder may not be written by the writer
    bool sticky;       // another user's file of mode 0666 in a folder of mode 1777
};

const std::vector<route>& routes()
{
    static const std::vector<route> all = {
        {"a file in a folder the writer may write", true, false, false, false},
        {"a file with a second name", true, true, false, false},
        {"a file in a folder the writer may not write", true, false, true, false},
        {"a file with a second name in a folder the writer may not write", true, true, true, false},
        {"another user's file in a folder with the sticky bit", true, false, false, true},
        {"a new file", false, false, false, false},
    };
    return all;
}

// Whether the writing user can be given the route's file: another user's
// file is made only by root; the skip is said.
bool route_can_be_made(const route& r, const writing_user& u)
{
    if (r.sticky && !u.switch_user) {
        std::printf("skipped (%s): another user's file can be made only by root\n", r.what);
        return false;
    }
    return true;
}

// Makes the route's folder (which must exist) for a writer's file; the
// writing user is u.
void make_route(const route& r, const fs::path& d, const std::string& file, const writing_user& u)
{
    if (r.exists) {
        write_file(d / file, old_bytes);
        if (!r.sticky)
            give(d / file, u, 0644);
        else
            ::chmod((d / file).c_str(), 0666);
    }
    if (r.second_name)
        fs::create_hard_link(d / file, d / "other.bin");
    if (r.sticky)
        ASSERT_EQ(::chmod(d.c_str(), 01777), 0);
    else
        give(d, u, r.locked ? 0555 : 0755);
}

// A write that fails in the middle (a file size limit, with SIGXFSZ
// ignored, so that the write fails with EFBIG) raises an error on every
// route, keeps the old bytes under every name of the file, makes no new
// file and leaves no temporary, in the folder or in the folder for
// temporaries. A writer killed there (SIGXFSZ not ignored) keeps the old
// bytes too, and leaves at most its one temporary, beside the file, where
// the next write of the file finds it.
TEST_F(WholeFileWriters, AWriteThatFailsInTheMiddleKeepsTheOldFileOnEveryRoute)
{
    const writing_user u = the_writing_user();
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed at the limit" : "refused at the limit");
        for (const route& r : routes()) {
            SCOPED_TRACE(r.what);
            if (!route_can_be_made(r, u))
                continue;
            for_each_writer("failing", [&](std::size_t k, const writer& w, const fs::path& d) {
                const fs::path temporaries = open_folder(d.filename().string() + "_tmp");
                make_route(r, d, w.file, u);
                if (::testing::Test::HasFatalFailure())
                    return;
                const auto before = entries_of(d);
                const std::string path = (d / w.file).string();
                test::child_setup setup = as_user(u, 4096);
                setup.killed_at_limit = killed;
                const test::child_outcome got = test::run_in_child(setup, [&] {
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    w.write(path);
                });
                ::chmod(d.c_str(), 0755);
                ASSERT_TRUE(got.ran) << got.message;
                if (killed) {
                    EXPECT_EQ(got.signal, SIGXFSZ);
                } else {
                    EXPECT_EQ(got.signal, 0);
                    EXPECT_NE(got.message, "") << "the failure is reported";
                }
                if (r.exists) {
                    EXPECT_TRUE(read_file(path) == old_bytes) << "the old bytes are kept";
                }
                if (r.second_name) {
                    EXPECT_TRUE(read_file(d / "other.bin") == old_bytes) << "under its other name too";
                }
                std::set<std::string> left = entries_of(d);
                if (killed && !r.locked) {
                    for (auto it = left.begin(); it != left.end();)
                        it = before.count(*it) == 0 && it->rfind("." + std::string(w.file) + ".", 0) == 0 &&
                                     it->size() > 5 && it->substr(it->size() - 5) == ".part"
                                 ? left.erase(it)
                                 : std::next(it);
                    EXPECT_LE(entries_of(d).size(), before.size() + 1) << "one temporary at most";
                }
                EXPECT_EQ(left, before) << "no other temporary is left, and no new file is made";
                EXPECT_TRUE(entries_of(temporaries).empty()) << "nothing is left in the folder for temporaries";
            });
        }
    }
}

// Kills this process (SIGSYS) when it makes one of the system calls
// given: a writer stopped dead at one step of its write, with no chance
// to clean up after itself.
bool killed_at_system_calls(const std::vector<long>& numbers)
{
    std::vector<sock_filter> program = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (const long number : numbers) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(number), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// A writer killed at each step of its write, on every route: before it
// syncs its temporary, before the rename, before it takes the room for a
// copy over the file, before that copy's first write, before the cut and
// before the sync that ends it. Each name of the file then holds the old
// bytes whole or the new bytes whole (a step the route never takes lets
// the write end), no new file is made unless whole, at most the killer's
// one temporary lies beside the file and nothing in the folder for
// temporaries; and the next write of the file, by the same user, writes
// the new bytes under every name and leaves no temporary at all.
TEST_F(WholeFileWriters, AWriterKilledAtEachStepLeavesOneWholeFileOnEveryRoute)
{
    const writing_user u = the_writing_user();
    // Where each step lies: a renamed write syncs its temporary and renames
    // it; one written over its file takes the room, writes, cuts and syncs.
    struct step {
        const char* what;
        std::vector<long> system_calls;
        bool renamed, written_over;  // the routes that take it
    };
    const std::vector<step> steps = {
        {"the sync", {__NR_fsync}, true, true},
        {"the rename", {__NR_rename, __NR_renameat, __NR_renameat2}, true, false},
        {"the room", {__NR_fallocate}, false, true},
        {"the copy's write", {__NR_pwrite64}, false, true},
        {"the cut", {__NR_ftruncate}, false, true},
    };
    for (const step& st : steps) {
        SCOPED_TRACE("killed at " + std::string(st.what));
        for (const route& r : routes()) {
            SCOPED_TRACE(r.what);
            if (!route_can_be_made(r, u))
                continue;
            for_each_writer("killed_step", [&](std::size_t k, const writer& w, const fs::path& d) {
                const fs::path temporaries = open_folder(d.filename().string() + "_tmp");
                make_route(r, d, w.file, u);
                if (::testing::Test::HasFatalFailure())
                    return;
                const auto before = entries_of(d);
                const std::string path = (d / w.file).string();
                const test::child_outcome got = test::run_in_child(as_user(u), [&] {
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    if (!killed_at_system_calls(st.system_calls))
                        error("no filter: %s", std::strerror(errno));
                    w.write(path);
                });
                ASSERT_TRUE(got.ran) << got.message;
                const bool written_over = r.second_name || r.locked || r.sticky;
                const bool taken = written_over ? st.written_over : st.renamed;
                if (taken)
                    EXPECT_EQ(got.signal, SIGSYS) << "killed there";
                else
                    EXPECT_TRUE(got.signal == 0 && got.message.empty())
                        << "a step it never takes: signal " << got.signal << ", " << got.message;
                std::vector<fs::path> names;
                if (r.exists || fs::exists(path))
                    names.push_back(path);
                if (r.second_name)
                    names.push_back(d / "other.bin");
                for (const fs::path& name : names) {
                    SCOPED_TRACE(name.filename().string());
                    const std::string now = read_file(name);
                    const std::size_t dated = w.dated;
                    const bool old_whole = r.exists && now == old_bytes;
                    const bool new_whole = now.size() == reference[k].size() &&
                                           now.compare(dated, std::string::npos, reference[k], dated) == 0;
                    EXPECT_TRUE(old_whole || new_whole) << now.size() << " bytes";
                }
                std::set<std::string> left = entries_of(d);
                for (const std::string& name : before)
                    left.erase(name);
                left.erase(w.file);
                EXPECT_LE(left.size(), got.signal == SIGSYS ? 1u : 0u) << "the killed writer's temporary at most";
                EXPECT_TRUE(entries_of(temporaries).empty()) << "nothing is left in the folder for temporaries";

                const test::child_outcome next = test::run_in_child(as_user(u), [&] {
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    w.write(path);
                });
                ::chmod(d.c_str(), 0755);
                ASSERT_TRUE(next.ran) << next.message;
                EXPECT_EQ(next.message, "") << "the next write";
                for (const fs::path& name : names)
                    expect_new_bytes(k, name);
                std::set<std::string> expected = before;
                expected.insert(w.file);
                EXPECT_EQ(entries_of(d), expected) << "no temporary is left";
                EXPECT_TRUE(entries_of(temporaries).empty());
            });
        }
    }
}

// Root writing a user's file, in the user's folder, killed before the
// sync or the rename of its temporary (which it has given to the user
// already): the file stays whole and the user's, and what is left beside
// it is the user's too, so that the user's next write removes it and
// leaves the file the user's with the new bytes.
TEST_F(WholeFileWriters, RootKilledWritingAUsersFileLeavesTheUserWhatIsLeft)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "these tests run as user " << ::geteuid() << ", not as root";
    const writing_user user = the_writing_user();
    const writing_user root{false, 0, 0};
    for (const std::vector<long>& at :
         {std::vector<long>{__NR_fsync}, std::vector<long>{__NR_rename, __NR_renameat, __NR_renameat2}}) {
        SCOPED_TRACE(at.size() == 1 ? "killed at the sync" : "killed at the rename");
        for_each_writer("root_killed", [&](std::size_t k, const writer& w, const fs::path& d) {
            const fs::path file = d / w.file;
            write_file(file, old_bytes);
            give(file, user, 0640);
            give(d, user, 0755);
            if (::testing::Test::HasFatalFailure())
                return;
            const test::child_outcome killed = test::run_in_child(as_user(root), [&] {
                if (!killed_at_system_calls(at))
                    error("no filter: %s", std::strerror(errno));
                w.write(file.string());
            });
            ASSERT_TRUE(killed.ran) << killed.message;
            EXPECT_EQ(killed.signal, SIGSYS);
            EXPECT_TRUE(read_file(file) == old_bytes) << "the old bytes are kept";
            for (const fs::directory_entry& e : fs::directory_iterator(d)) {
                SCOPED_TRACE(e.path().filename().string());
                struct stat st {};
                ASSERT_EQ(::lstat(e.path().c_str(), &st), 0);
                EXPECT_EQ(st.st_uid, user.uid) << "the user's";
            }
            const test::child_outcome next = test::run_in_child(as_user(user), [&] { w.write(file.string()); });
            ASSERT_TRUE(next.ran) << next.message;
            EXPECT_EQ(next.message, "");
            expect_new_bytes(k, file);
            struct stat st {};
            ASSERT_EQ(::stat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, user.uid);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
            EXPECT_EQ(entries_of(d), (std::set<std::string>{w.file})) << "no temporary is left";
        });
    }
}

// The longest names on every route: a file whose path is exactly the
// longest the system takes, its name 255 bytes of three-byte characters
// (its temporary's name cut between characters), in a deep folder of
// long names; written in a folder of the writer's own, with a second
// name, in a folder the writer may not write, as another user's file in a
// folder with the sticky bit, and new, and reached through a link whose
// text is that whole path. The write gives every name the new bytes and
// leaves nothing; one killed before its sync keeps a whole file under
// every name, and the next write leaves nothing either.
TEST_F(WholeFileWriters, TheLongestNamesOnEveryRoute)
{
    const writing_user u = the_writing_user();
    const long path_max = ::pathconf("/", _PC_PATH_MAX);
    const std::size_t longest = path_max > 0 ? static_cast<std::size_t>(path_max) - 1 : 4095;
    for (const route& r : routes()) {
        SCOPED_TRACE(r.what);
        if (!route_can_be_made(r, u))
            continue;
        for (const bool through_link : {false, true}) {
            SCOPED_TRACE(through_link ? "through a link" : "by its name");
            for_each_writer("longest", [&](std::size_t k, const writer& w, const fs::path& top) {
                // Folders of 250 bytes down to where 256 bytes are left for
                // the name and its separator.
                fs::path d = top;
                while (d.string().size() + 256 < longest) {
                    d /= std::string(std::min<std::size_t>(250, longest - 256 - d.string().size() - 1), 'd');
                    fs::create_directory(d);
                }
                ASSERT_EQ(d.string().size() + 256, longest);
                const std::string ext = extension_of(w);
                std::string name;
                while (name.size() + 3 <= 255 - ext.size())
                    name += "\xe2\x82\xac";
                name += std::string(255 - ext.size() - name.size(), 'n') + ext;
                ASSERT_EQ(name.size(), 255u);
                const fs::path temporaries = open_folder(top.filename().string() + "_tmp");
                make_route(r, d, name, u);
                if (::testing::Test::HasFatalFailure())
                    return;
                const std::string path = (d / name).string();
                ASSERT_EQ(path.size(), longest);
                const fs::path link = top / ("link" + ext);
                if (through_link)
                    fs::create_symlink(path, link);
                const std::string target = through_link ? link.string() : path;
                std::vector<fs::path> names = {path};
                if (r.second_name)
                    names.push_back(d / "other.bin");
                const std::set<std::string> before = entries_of(d);
                std::set<std::string> after = before;
                after.insert(name);

                const test::child_outcome killed = test::run_in_child(as_user(u), [&] {
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    if (!killed_at_system_calls({__NR_fsync}))
                        error("no filter: %s", std::strerror(errno));
                    w.write(target);
                });
                ASSERT_TRUE(killed.ran) << killed.message;
                EXPECT_EQ(killed.signal, SIGSYS);
                if (r.exists) {
                    for (const fs::path& n : names) {
                        EXPECT_TRUE(read_file(n) == old_bytes || read_file(n).size() == reference[k].size());
                    }
                }
                EXPECT_TRUE(entries_of(temporaries).empty());

                const test::child_outcome got = test::run_in_child(as_user(u), [&] {
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    w.write(target);
                });
                ::chmod(d.c_str(), 0755);
                ASSERT_TRUE(got.ran) << got.message;
                EXPECT_EQ(got.message, "");
                for (const fs::path& n : names)
                    expect_new_bytes(k, n);
                EXPECT_EQ(entries_of(d), after) << "no temporary is left";
                EXPECT_TRUE(entries_of(temporaries).empty());
                EXPECT_EQ(fs::is_symlink(link), through_link) << "a link stays a link";
            });
        }
    }
}

// A file system that runs out of room, on each route: with room for the
// new file once, a renamed write succeeds, as does one written over a file
// from a temporary elsewhere; one written over a file from a temporary
// beside it has no room left to grow the file, and with no room at all
// every route fails. A failure keeps the old bytes under every name of the
// file and leaves no temporary: the room is taken before the old bytes
// are written over. The file system is a small memory file system mounted
// in a mount namespace of the child's own; where none can be made the
// size-limit test above stands for it.
TEST_F(WholeFileWriters, AFullFileSystemKeepsTheOldFileOnEveryRoute)
{
    if (!the_writing_user().switch_user)
        GTEST_SKIP() << "a memory file system can be mounted only by root: these tests run as user "
                     << ::geteuid();
    const std::string refused = why_no_mounts();
    if (!refused.empty())
        GTEST_SKIP() << "no memory file system can be mounted here: " << refused;
    test::child_setup probe;
    const writing_user u = the_writing_user();
    struct room_case {
        const char* what;
        bool once;  // room for the new file once, else none
    };
    for (const room_case& room : {room_case{"no room", false}, room_case{"room for the new file once", true}}) {
        SCOPED_TRACE(room.what);
        for (const route& r : routes()) {
            SCOPED_TRACE(r.what);
            if (r.sticky || !r.exists)
                continue;  // the sticky folder's route is that of a second name; a new file needs no room to fail
            const bool written = room.once && (!r.second_name || r.locked);
            for_each_writer("full", [&](std::size_t k, const writer& w, const fs::path& mount_point) {
                const fs::path temporaries = open_folder(mount_point.filename().string() + "_tmp");
                const std::size_t pages = (reference[k].size() + 4095) / 4096;
                const std::string& bytes = reference[k];
                const std::size_t dated = w.dated;
                // The child mounts, fills, writes as the writing user and
                // reports what it finds, as its message.
                const test::child_outcome got = test::run_in_child(probe, [&] {
                    // In a mount namespace of the child's own: the mount
                    // ends with it, and the system's mounts stay as they are.
                    if (!own_mount_namespace() || ::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
                        error("mount: %s", std::strerror(errno));
                    const fs::path d = mount_point / "d";
                    fs::create_directory(d);
                    ::chown(mount_point.c_str(), u.uid, u.gid);
                    make_route(r, d, w.file, u);
                    // Leave exactly the room wanted.
                    struct statvfs fsinfo {};
                    ::statvfs(mount_point.c_str(), &fsinfo);
                    const std::size_t want = room.once ? pages : 0;
                    write_file(mount_point / "filler", std::string((fsinfo.f_bavail - want) * fsinfo.f_bsize, 'f'));
                    ::statvfs(mount_point.c_str(), &fsinfo);
                    if (fsinfo.f_bavail != want)
                        error("the room is %d pages, not %d", static_cast<int>(fsinfo.f_bavail), static_cast<int>(want));
                    const auto before = entries_of(d);
                    if (::setgroups(0, nullptr) != 0 || ::setgid(u.gid) != 0 || ::setuid(u.uid) != 0)
                        error("could not become the writing user");
                    ::setenv("TMPDIR", temporaries.c_str(), 1);
                    const std::string message = test::error_of([&] { w.write((d / w.file).string()); });
                    std::string report = message.empty() ? "written" : "failed";
                    for (const fs::path& name : {d / w.file, d / fs::path("other.bin")}) {
                        if (!fs::exists(name))
                            continue;
                        const std::string now = read_file(name);
                        const bool fresh = now.size() == bytes.size() && now.compare(dated, std::string::npos, bytes, dated) == 0;
                        report += "; " + name.filename().string() + (now == old_bytes ? " old" : fresh ? " new" : " damaged");
                    }
                    if (entries_of(d) != before)
                        report += "; the folder's names changed";
                    error("%s", report.c_str());
                });
                ASSERT_TRUE(got.ran) << got.message;
                EXPECT_EQ(got.signal, 0);
                const std::string state = written ? " new" : " old";
                std::string expected = std::string(written ? "written" : "failed") + "; " + w.file + state;
                if (r.second_name)
                    expected += "; other.bin" + state;
                EXPECT_EQ(got.message, expected);
                EXPECT_TRUE(entries_of(temporaries).empty()) << "nothing is left in the folder for temporaries";
            });
        }
    }
}

// Makes this process's opens of a file without a name (and, with
// named, of any new file) fail with err, as a file system without unnamed
// files, or with no room for a file, would: a filter of system calls.
bool refuse_new_files(int err, bool named)
{
    constexpr std::uint32_t unnamed_bit = 020000000;  // what O_TMPFILE adds to O_DIRECTORY
    const std::uint32_t refused = unnamed_bit | (named ? O_CREAT : 0);
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),  // the flags' low word
        BPF_STMT(BPF_ALU | BPF_AND | BPF_K, refused),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(err) & SECCOMP_RET_DATA)),
    };
    const sock_fprog filter{static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// A file the writer may write in a folder it may not: its temporary has no
// name and lies in the folder for temporaries, whatever TMPDIR says: unset,
// empty, relative, no folder, a folder the writer may not write, a file, a
// read-only or full file system, another file system, one without unnamed
// files; or no folder takes a new file at all. Where that folder cannot
// take it, the temporary goes elsewhere (never is the file written
// in place, where a failure on the way would cut it): every write
// succeeds but into a full folder for temporaries, and a write that fails
// (a size limit, that full folder) raises an error and keeps the old
// bytes. Nothing is left in the folder for temporaries or beside the
// file.
TEST_F(WholeFileWriters, EveryFolderForTemporariesKeepsTheOldFileOnFailure)
{
    const writing_user u = the_writing_user();
    if (!u.switch_user)
        GTEST_SKIP() << "a folder this user may not write is one root can still write: these tests run as user "
                     << ::geteuid();
    const std::string no_mounts = why_no_mounts();
    other_file_system shm(tmp.path());
    enum class mounted { none, read_only, full };
    enum class refused { nothing, unnamed, every_new_file };
    struct temporaries_case {
        const char* what;
        std::string tmpdir;  // "@f": the case's folder, made by the test; "-": unset
        mounted mount = mounted::none;
        bool fails = false;  // the write fails even without a size limit
        refused filter = refused::nothing;
    };
    const std::vector<temporaries_case> cases = {
        {"TMPDIR unset", "-"},
        {"TMPDIR empty", ""},
        {"a relative TMPDIR that names no folder", "no/such/folder"},
        {"a relative TMPDIR", "@rel"},
        {"a TMPDIR that names no folder", "/no/such/folder"},
        {"a TMPDIR the writer may not write", "@locked"},
        {"a TMPDIR that is a file", "@file"},
        {"a TMPDIR on another file system", "@shm"},
        {"a read-only TMPDIR", "@f", mounted::read_only},
        {"a full TMPDIR", "@f", mounted::full, true},
        {"a TMPDIR whose file system has no unnamed files", "@f", mounted::none, false, refused::unnamed},
        {"no folder that takes a temporary", "@f", mounted::none, false, refused::every_new_file},
    };
    for (const temporaries_case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.mount != mounted::none && !no_mounts.empty()) {
            std::printf("skipped (%s): no file system can be mounted here: %s\n", c.what, no_mounts.c_str());
            continue;
        }
        if (c.tmpdir == "@shm" && shm.path().empty()) {
            std::printf("skipped (%s): no second file system at /dev/shm\n", c.what);
            continue;
        }
        for (const bool limited : {false, true}) {
            SCOPED_TRACE(limited ? "under a size limit" : "without a limit");
            for_each_writer("tmpdir", [&](std::size_t k, const writer& w, const fs::path& d) {
                const std::string stem = d.filename().string();
                const fs::path folder = c.tmpdir == "@shm" ? shm.path() / stem : tmp.path() / (stem + "_tmp");
                std::string tmpdir = c.tmpdir;
                if (c.tmpdir == "@rel") {
                    tmpdir = stem + "_tmp";  // from the test's folder, the child's current one
                } else if (c.tmpdir == "@file") {
                    tmpdir = folder.string();
                    write_file(folder, "a file");
                } else if (c.tmpdir[0] == '@') {
                    tmpdir = folder.string();
                }
                if (c.tmpdir != "@file")
                    fs::create_directories(folder);
                ASSERT_EQ(::chmod(folder.c_str(), c.tmpdir == "@locked" ? 0755 : 0777), 0);
                write_file(d / w.file, old_bytes);
                give(d / w.file, u, 0644);
                give(d, u, 0555);
                const std::string path = (d / w.file).string();
                const auto before = entries_of_all({d, fs::is_directory(folder) ? folder : fs::path()});

                // The child mounts what the case asks for, becomes the
                // writing user and writes.
                test::child_setup setup;
                setup.file_size_limit = limited ? 4096 : RLIM_INFINITY;
                setup.time_limit = 20;
                const test::child_outcome got = test::run_in_child(setup, [&] {
                    if (c.mount != mounted::none) {
                        const bool ok =
                            own_mount_namespace() &&
                            (c.mount == mounted::full
                                 ? ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4k,mode=0777") == 0
                                 : ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                                       ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                                               nullptr) == 0);
                        if (!ok)
                            error("mount: %s", std::strerror(errno));
                    }
                    if (::setgroups(0, nullptr) != 0 || ::setgid(u.gid) != 0 || ::setuid(u.uid) != 0)
                        error("could not become the writing user");
                    if (c.filter == refused::unnamed && !refuse_new_files(EOPNOTSUPP, false))
                        error("no filter of system calls: %s", std::strerror(errno));
                    if (c.filter == refused::every_new_file && !refuse_new_files(EACCES, true))
                        error("no filter of system calls: %s", std::strerror(errno));
                    if (tmpdir == "-")
                        ::unsetenv("TMPDIR");
                    else
                        ::setenv("TMPDIR", tmpdir.c_str(), 1);
                    w.write(path);
                });
                ::chmod(d.c_str(), 0755);
                ASSERT_TRUE(got.ran) << got.message;
                EXPECT_EQ(got.signal, 0);
                if (limited || c.fails) {
                    EXPECT_NE(got.message, "") << "the failure is reported";
                    EXPECT_TRUE(read_file(path) == old_bytes) << "the old bytes are kept";
                } else {
                    EXPECT_EQ(got.message, "");
                    expect_new_bytes(k, path);
                }
                EXPECT_EQ(entries_of_all({d, fs::is_directory(folder) ? folder : fs::path()}), before)
                    << "nothing is left beside the file or in the folder for temporaries";
            });
        }
    }
}

// A writer killed in the middle again and again leaves one temporary at
// most: each next write of the file removes the one before, so a folder
// does not fill with them.
TEST_F(WholeFileWriters, AWriterKilledAgainAndAgainLeavesOneTemporaryAtMost)
{
    for_each_writer("again", [&](std::size_t k, const writer& w, const fs::path& d) {
        const std::string path = (d / w.file).string();
        write_file(path, old_bytes);
        for (int round = 0; round < 20; ++round) {
            test::child_setup setup;
            setup.file_size_limit = 4096;
            setup.killed_at_limit = true;
            const test::child_outcome killed = test::run_in_child(setup, [&] { w.write(path); });
            ASSERT_TRUE(killed.ran) << killed.message;
            ASSERT_EQ(killed.signal, SIGXFSZ);
            EXPECT_TRUE(read_file(path) == old_bytes);
            EXPECT_LE(entries_of(d).size(), 2u) << "the file and one temporary at most, after " << round + 1;
        }
        w.write(path);
        expect_new_bytes(k, path);
        EXPECT_EQ(entries_of(d), (std::set<std::string>{w.file}));
    });
}

// A link the system would not follow for an open is not followed by a
// writer either: where the system protects links (fs.protected_symlinks),
// another user's link in a shared folder with the sticky bit, such as one
// planted in /tmp, leads nowhere, so root's save to it cannot replace the
// file it names; the writer's own link there is followed.
TEST_F(WholeFileWriters, ALinkTheSystemWouldNotFollowIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's link can be made only by root: these tests run as user " << ::geteuid();
    if (read_file("/proc/sys/fs/protected_symlinks") != "1\n")
        GTEST_SKIP() << "this system follows every link (fs.protected_symlinks is not 1)";
    struct planted_case {
        const char* what;
        uid_t link_owner;
        bool followed;
    };
    const std::vector<planted_case> cases = {
        {"another user's link", test::unprivileged_uid, false},
        {"the writer's own link", 0, true},
    };
    for (const planted_case& c : cases) {
        SCOPED_TRACE(c.what);
        for_each_writer("planted", [&](std::size_t k, const writer& w, const fs::path& d) {
            fs::create_directory(d / "shared");
            ASSERT_EQ(::chmod((d / "shared").c_str(), 01777), 0);
            write_file(d / "precious.bin", old_bytes);
            fs::create_symlink(d / "precious.bin", d / "shared" / w.file);
            ASSERT_EQ(::lchown((d / "shared" / w.file).c_str(), c.link_owner, c.link_owner), 0);
            const std::string path = (d / "shared" / w.file).string();
            const std::string message = test::error_of([&] { w.write(path); });
            if (c.followed) {
                EXPECT_EQ(message, "");
                expect_new_bytes(k, d / "precious.bin");
            } else {
                EXPECT_EQ(message, message_for(w.not_created, path));
                EXPECT_TRUE(read_file(d / "precious.bin") == old_bytes) << "the file the link names is untouched";
            }
            EXPECT_TRUE(fs::is_symlink(path));
            EXPECT_EQ(entries_of(d / "shared"), (std::set<std::string>{w.file}));
        });
    }
}

// ---- extended attributes ----

// An access control list in the system's form: a header, then (tag,
// permissions, id) entries; the owner's, group's, mask's and others'
// entries carry no id.
std::string access_list(std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> entries)
{
    std::string bytes;
    const auto put = [&](std::uint32_t v, int n) {
        for (int b = 0; b < n; ++b)
            bytes += static_cast<char>((v >> (8 * b)) & 0xff);
    };
    put(2, 4);  // version
    for (const auto& [tag, perm, id] : entries) {
        put(tag, 2);
        put(perm, 2);
        put(id, 4);
    }
    return bytes;
}

// A replaced file keeps its extended attributes exactly as a write in place
// leaves them: its own attributes and its access control list (which may
// let another user write it) stay, an access list its folder would give a
// new file is not added, and the capabilities of a program go, as a write
// takes them away. Each writer writes the target; the same user writes a
// twin made alike in place; then both must carry the same attributes.
TEST_F(WholeFileWriters, AReplacedFileKeepsItsExtendedAttributesAndAccessList)
{
    const fs::path probe = tmp.path() / "probe";
    write_file(probe, "x");
    if (::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes: " << std::strerror(errno);
    constexpr std::uint32_t none = 0xffffffff;
    const std::string granting =  // the owner rw, user nobody rw, the group r, others r
        access_list({{1, 6, none}, {2, 6, test::unprivileged_uid}, {4, 4, none}, {0x10, 6, none}, {0x20, 4, none}});
    const bool lists = ::setxattr(probe.c_str(), "system.posix_acl_access", granting.data(), granting.size(), 0) == 0;
    // A program's capabilities: revision 2, effective, one capability.
    std::string capabilities;
    for (const std::uint32_t word : {0x02000001u, 1u << 10, 0u, 0u, 0u})
        for (int b = 0; b < 4; ++b)
            capabilities += static_cast<char>((word >> (8 * b)) & 0xff);

    struct attribute_case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> on_file;
        std::string folder_default;  // a default access list of the folder
        bool as_root;
        bool needs_lists = false;
        bool needs_root = false;
    };
    const std::vector<attribute_case> cases = {
        {"user attributes, by root", {{"user.a", "1"}, {"user.b", std::string("\0\xff\x01", 3)}}, "", true},
        {"user attributes, by the owner", {{"user.a", "1"}}, "", false},
        {"an access list that lets another user write, by root", {{"system.posix_acl_access", granting}}, "", true,
         true},
        {"an access list, by the owner", {{"system.posix_acl_access", granting}, {"user.a", "2"}}, "", false, true},
        {"a folder's default access list the file lacks", {{"user.a", "3"}}, granting, false, true},
        {"a program's capabilities, by root", {{"security.capability", capabilities}}, "", true, false, true},
    };
    const writing_user u = the_writing_user();
    for (const attribute_case& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.needs_lists && !lists) || (c.needs_root && ::geteuid() != 0) || (c.as_root && ::geteuid() != 0)) {
            std::printf("skipped (%s): no access lists, or not root\n", c.what);
            continue;
        }
        for_each_writer("attributes", [&](std::size_t k, const writer& w, const fs::path& d) {
            const fs::path target = d / w.file, twin = d / ("twin_" + std::string(w.file));
            for (const fs::path& p : {target, twin}) {
                write_file(p, old_bytes);
                give(p, u, 0664);
                for (const auto& [name, value] : c.on_file) {
                    ASSERT_EQ(::lsetxattr(p.c_str(), name.c_str(), value.data(), value.size(), 0), 0)
                        << name << ": " << std::strerror(errno);
                }
            }
            give(d, u, 0755);
            if (!c.folder_default.empty()) {
                ASSERT_EQ(::setxattr(d.c_str(), "system.posix_acl_default", c.folder_default.data(),
                                     c.folder_default.size(), 0),
                          0);
            }
            const auto before = attributes_of(target);
            struct stat was {};
            ASSERT_EQ(::stat(target.c_str(), &was), 0);
            test::child_setup setup = as_user(u);
            setup.switch_user = u.switch_user && !c.as_root;
            write_target_and_twin(setup, w, k, target, twin);
            if (::testing::Test::HasFatalFailure())
                return;
            const auto after = attributes_of(target), model = attributes_of(twin);
            EXPECT_EQ(after, model) << "the attributes a write in place leaves";
            for (const auto& [name, value] : before) {
                if (name != "security.capability") {
                    EXPECT_EQ(after.count(name), 1u) << name << " is kept";
                }
            }
            expect_alike(target, twin);
            struct stat a {};
            ASSERT_EQ(::stat(target.c_str(), &a), 0);
            EXPECT_NE(a.st_ino, was.st_ino) << "a complete new file took the old one's place";
            EXPECT_EQ(entries_of(d), (std::set<std::string>{target.filename().string(), twin.filename().string()}));
        });
    }
}

// A file in a folder the writer may not write takes its complete temporary
// written over it in place: it stays the same file, and keeps its owner,
// group, mode, other names, extended attributes and access control list
// exactly as a write in place by the same user leaves them (a set-user bit
// goes, as does a set-group bit where the writer is not of the file's
// group or the group may run it), and its time of change moves on. Each
// writer writes the target, and the model writes the twin in place.
TEST_F(WholeFileWriters, AFileInAFolderTheWriterMayNotWriteKeepsWhatAWriteInPlaceKeeps)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "files of other users and groups can be made only by root: these tests run as user "
                     << ::geteuid();
    const uid_t writer_uid = test::unprivileged_uid, other = 1;
    const gid_t writer_gid = test::unprivileged_gid, shared = 54321;
    test::child_setup setup;
    setup.switch_user = true;
    setup.uid = writer_uid;
    setup.gid = writer_gid;
    setup.groups = {shared};
    setup.time_limit = 20;
    const test::child_outcome tried = test::run_in_child(setup, [] {});
    if (!tried.ran)
        GTEST_SKIP() << "no second user can be used here: " << tried.message;
    const fs::path probe = tmp.path() / "probe";
    write_file(probe, "x");
    const bool attributes = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    constexpr std::uint32_t none = 0xffffffff;
    const std::string granting =
        access_list({{1, 6, none}, {2, 6, other}, {4, 4, none}, {0x10, 6, none}, {0x20, 4, none}});
    const bool lists =
        attributes && ::setxattr(probe.c_str(), "system.posix_acl_access", granting.data(), granting.size(), 0) == 0;
    struct in_place_case {
        const char* what;
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool second_name = false;
        bool with_attributes = false;
        bool with_list = false;
    };
    const std::vector<in_place_case> cases = {
        {"its own file of mode 0600", writer_uid, writer_gid, 0600},
        {"its own file of a group it is in, set-group-id (02664)", writer_uid, shared, 02664},
        {"its own file of a group it is not in, set-group-id (02644)", writer_uid, 0, 02644},
        {"its own set-group-id program (02755)", writer_uid, shared, 02755},
        {"its own set-user-id program (04755)", writer_uid, writer_gid, 04755},
        {"its own file with the sticky bit (01644)", writer_uid, writer_gid, 01644},
        {"another user's file of a shared group (0664)", other, shared, 0664},
        {"its own file with a second name", writer_uid, writer_gid, 0644, true},
        {"its own file with extended attributes", writer_uid, writer_gid, 0640, false, true},
        {"its own file with an access list that lets another user write", writer_uid, writer_gid, 0664, false, true,
         true},
    };
    for (const in_place_case& c : cases) {
        SCOPED_TRACE(c.what);
        if ((c.with_attributes && !attributes) || (c.with_list && !lists)) {
            std::printf("skipped (%s): this file system keeps no extended attributes or access lists\n", c.what);
            continue;
        }
        for_each_writer("in_place", [&](std::size_t k, const writer& w, const fs::path& d) {
            const fs::path target = d / w.file, twin = d / ("twin_" + std::string(w.file));
            for (const fs::path& p : {target, twin}) {
                make_owned(p, c.owner, c.group, c.mode, c.second_name);
                if (c.with_attributes) {
                    ASSERT_EQ(::setxattr(p.c_str(), "user.a", "1", 1, 0), 0);
                }
                if (c.with_list) {
                    ASSERT_EQ(::setxattr(p.c_str(), "system.posix_acl_access", granting.data(), granting.size(), 0), 0);
                }
                // Long ago, so that a write's time of change shows.
                const struct timespec then[2] = {{1000000000, 0}, {1000000000, 0}};
                ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), then, 0), 0);
            }
            ASSERT_EQ(::chmod(d.c_str(), 0555), 0);
            const auto before = entries_of(d);
            struct stat was {};
            ASSERT_EQ(::stat(target.c_str(), &was), 0);
            write_target_and_twin(setup, w, k, target, twin);
            ::chmod(d.c_str(), 0755);
            if (::testing::Test::HasFatalFailure())
                return;
            expect_alike(target, twin);
            struct stat a {};
            ASSERT_EQ(::stat(target.c_str(), &a), 0);
            EXPECT_EQ(a.st_ino, was.st_ino) << "the same file, written in place";
            EXPECT_GT(a.st_mtim.tv_sec, 1000000000) << "the time of change moves on";
            if (c.second_name)
                expect_new_bytes(k, target.string() + ".link");
            EXPECT_EQ(entries_of(d), before) << "nothing is made beside it";
        });
    }
}

// A process that has the old file open, or mapped, while a writer replaces
// it: where the file is replaced (renamed over), that process goes on
// reading the old bytes whole, to their end, and the name gives the new
// ones; where it is written over in place (its folder may not be written),
// it is the same file, and the process reads the new bytes whole.
TEST_F(WholeFileWriters, AReaderOfTheOldFileReadsOneWholeFile)
{
    const writing_user u = the_writing_user();
    if (!u.switch_user)
        GTEST_SKIP() << "a folder this user may not write is one root can still write: these tests run as user "
                     << ::geteuid();
    const std::string old_file = old_bytes + std::string(20000, 'o');  // longer than every new file
    for (const bool locked : {false, true}) {
        SCOPED_TRACE(locked ? "written over in place" : "renamed over");
        for_each_writer("reader", [&](std::size_t k, const writer& w, const fs::path& d) {
            const fs::path target = d / w.file;
            write_file(target, old_file);
            give(target, u, 0644);
            give(d, u, locked ? 0555 : 0755);
            const int held = ::open(target.c_str(), O_RDONLY);
            ASSERT_GE(held, 0);
            void* mapped = ::mmap(nullptr, old_file.size(), PROT_READ, MAP_SHARED, held, 0);
            ASSERT_NE(mapped, MAP_FAILED);
            char first[10];
            ASSERT_EQ(::read(held, first, sizeof first), static_cast<ssize_t>(sizeof first));
            const test::child_outcome got = test::run_in_child(as_user(u), [&] { w.write(target.string()); });
            ::chmod(d.c_str(), 0755);
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.message, "");
            std::string rest;
            char block[4096];
            ssize_t n;
            while ((n = ::read(held, block, sizeof block)) > 0)
                rest.append(block, static_cast<std::size_t>(n));
            if (!locked) {
                EXPECT_TRUE(std::string(first, sizeof first) + rest == old_file) << "the old bytes, to their end";
                EXPECT_TRUE(std::memcmp(mapped, old_file.data(), old_file.size()) == 0) << "the mapping keeps them";
            } else {
                EXPECT_TRUE(rest == read_file(target).substr(sizeof first)) << "the same file, holding the new bytes";
            }
            ::munmap(mapped, old_file.size());
            ::close(held);
            expect_new_bytes(k, target);
        });
    }
}

} // namespace
