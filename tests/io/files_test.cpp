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
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
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

// Writers killed in the middle (by a signal at a file size limit) leave
// their temporaries; the next write of the same file removes those and no
// other: not another file's, not one whose writer still runs, not one that
// a writer holds locked (a writer whose process ids this process does not
// see), and no name that is not a temporary.
TEST_F(WholeFileWriters, AKilledWritersTemporaryIsRemovedByTheNextWriteOfItsFile)
{
    for (std::size_t k = 0; k < writers().size(); ++k) {
        const writer& w = writers()[k];
        SCOPED_TRACE(w.what);
        const std::string path = old_file_in(std::string("killed_") + w.what, w);
        const fs::path d = fs::path(path).parent_path();

        test::child_setup setup;
        setup.file_size_limit = 4096;
        setup.killed_at_limit = true;
        const test::child_outcome killed = test::run_in_child(setup, [&] { w.write(path); });
        ASSERT_TRUE(killed.ran) << killed.message;
        ASSERT_EQ(killed.signal, SIGXFSZ) << "the writer dies in the middle";
        EXPECT_EQ(read_file(d / w.file), old_bytes);
        const std::string dead = std::to_string(killed.pid);
        std::set<std::string> left = entries_of(d);
        left.erase(w.file);
        ASSERT_EQ(left.size(), 1u) << "the killed writer's temporary";
        const std::string temporary = *left.begin();
        const std::string prefix = "." + std::string(w.file) + "." + dead + ".";
        EXPECT_EQ(temporary.compare(0, prefix.size(), prefix), 0) << temporary << " names its writer";
        EXPECT_EQ(temporary.size(), prefix.size() + 10 + 5) << temporary;
        EXPECT_EQ(temporary.substr(temporary.size() - 5), ".part");

        const std::string parent = std::to_string(::getppid());
        const std::string other_file = std::string(w.file) == "x.vor" ? "y.vor" : "x.vor";
        const std::vector<std::string> kept = {
            "." + other_file + "." + dead + ".aaaaaaaaaa.part",     // another file's
            "." + std::string(w.file) + "." + parent + ".bbbbbbbbbb.part",  // a writer that runs
            "." + std::string(w.file) + "." + dead + ".cccccccccc.part",    // locked
            "." + std::string(w.file) + ".part",                             // no temporary's name
            "." + std::string(w.file) + "." + dead + ".short.part",
            "." + std::string(w.file) + ".5." + dead + ".dddddddddd.part",  // of the file x.*.5
        };
        for (const std::string& name : kept)
            write_file(d / name, "kept");
        const std::string dead_too = "." + std::string(w.file) + "." + dead + ".zzzzzzzzzz.part";
        write_file(d / dead_too, "a second temporary of the killed writer");
        const int held = ::open((d / kept[2]).c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        ASSERT_EQ(::flock(held, LOCK_EX), 0);

        w.write(path);
        ::close(held);
        expect_new_bytes(k, path);
        std::set<std::string> expected(kept.begin(), kept.end());
        expected.insert(w.file);
        EXPECT_EQ(entries_of(d), expected) << "the killed writer's temporaries go, the others stay";
    }
}

} // namespace
