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
#include <cstdio>
#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
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
         [](const std::string& p) { save(t(p), CL(Mm(numbers(), "x"))); }},
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
    char text[4096];
    std::snprintf(text, sizeof text, format, path.c_str());
    return text;
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

std::set<std::string> entries_of(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
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
        int folder = 0;
        for (const target_case& c : target_cases()) {
            if (!wanted(c))
                continue;
            SCOPED_TRACE(c.what);
            if (c.expected == outcome::failed && c.size_limit == RLIM_INFINITY && !fs::exists("/dev/full")) {
                std::printf("skipped (%s): this system has no /dev/full\n", c.what);
                continue;
            }
            for (std::size_t k = 0; k < writers().size(); ++k) {
                const writer& w = writers()[k];
                SCOPED_TRACE(w.what);
                const fs::path d = tmp.path() / ("case" + std::to_string(folder++));
                fs::create_directory(d);
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
            }
        }
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

    int folder = 0;
    for (const owner_case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::size_t k = 0; k < writers().size(); ++k) {
            const writer& w = writers()[k];
            SCOPED_TRACE(w.what);
            const fs::path d = tmp.path() / ("owners" + std::to_string(folder++));
            fs::create_directory(d);
            ASSERT_EQ(::chmod(d.c_str(), 0777), 0);  // every user may make its temporaries here
            const fs::path target = d / w.file, twin = d / ("twin_" + std::string(w.file));
            for (const fs::path& p : {target, twin}) {
                write_file(p, old_bytes);
                ASSERT_EQ(::chown(p.c_str(), c.owner, c.group), 0);
                ASSERT_EQ(::chmod(p.c_str(), c.mode), 0);
                if (c.second_name) {
                    ASSERT_EQ(::link(p.c_str(), (p.string() + ".link").c_str()), 0);
                }
            }
            test::child_setup setup;
            setup.switch_user = !c.as_root;
            setup.uid = other;
            setup.gid = other_group;
            setup.groups = {shared};
            const std::string& bytes = reference[k];
            const test::child_outcome got = test::run_in_child(setup, [&] {
                w.write(target.string());
                // The model: the same user writes the twin in place.
                const int fd = ::open(twin.c_str(), O_WRONLY);
                if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
                    ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::close(fd) != 0)
                    error("the twin could not be written in place");
            });
            ASSERT_TRUE(got.ran) << got.message;
            EXPECT_EQ(got.message, "");
            expect_new_bytes(k, target);
            struct stat a {}, b {};
            ASSERT_EQ(::stat(target.c_str(), &a), 0);
            ASSERT_EQ(::stat(twin.c_str(), &b), 0);
            EXPECT_EQ(a.st_uid, b.st_uid) << "owner";
            EXPECT_EQ(a.st_gid, b.st_gid) << "group";
            EXPECT_EQ(a.st_mode, b.st_mode) << std::oct << "mode " << a.st_mode << " against " << b.st_mode;
            EXPECT_EQ(a.st_nlink, b.st_nlink) << "other names";
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
        }
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

} // namespace
