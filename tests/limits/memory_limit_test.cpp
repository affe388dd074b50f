// Calls under a real address-space limit, as `ulimit -v` sets one: each run
// starts the probe program (limit_probe.cpp) in a child whose RLIMIT_AS the
// test sets before the library loads, and reads what became of each
// statement. A statement answers or raises "Out of memory!", the library
// works afterwards, and nothing aborts or hangs (a run that outlasts its
// time is killed and reported). The allocation-failure sweeps of each
// subsystem refuse the runtime allocator alone; these limits refuse every
// allocation, the standard library's, OpenBLAS's and the graphics engine's
// included.
#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The child exits with this when the limit cannot be set.
constexpr int limit_refused = 77;
// Long enough for the slowest statement on a slow machine; a hang is
// endless.
constexpr int seconds_per_run = 120;

struct probe_result {
    std::map<std::string, std::vector<std::string>> lines;  // statement -> what became of it
    std::string output;
    int status = 0;       // the exit status, or 128 + the signal that ended it
    bool hung = false;    // killed after seconds_per_run
    bool skipped = false; // the limit could not be set
};

// Runs the probe with args under limit_mb megabytes of address space
// (0: no limit), on one BLAS thread unless told otherwise, so that the
// result does not depend on the machine's cores.
probe_result run_probe(long limit_mb, const std::vector<std::string>& args, int blas_threads = 1)
{
    probe_result r;
    int out[2];
    if (pipe(out) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return r;
    }
    std::vector<std::string> all = {NUMRUN_LIMIT_PROBE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        if (limit_mb > 0) {
            const rlim_t bytes = static_cast<rlim_t>(limit_mb) << 20;
            rlimit limit{bytes, bytes};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(limit_refused);
        }
        setenv("OPENBLAS_NUM_THREADS", std::to_string(blas_threads).c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_per_run);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.hung = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        if (p.revents == 0)
            continue;
        const ssize_t got = read(out[0], buf, sizeof buf);
        if (got <= 0)
            break;
        r.output.append(buf, static_cast<std::size_t>(got));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.skipped = WIFEXITED(status) && WEXITSTATUS(status) == limit_refused;
    std::size_t at = 0;
    for (std::size_t end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = r.output.substr(at, end - at);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            r.lines[line.substr(0, colon)].push_back(line.substr(colon + 2));
    }
    return r;
}

// How many times the statement's lines say what.
long times_seen(const probe_result& r, const std::string& statement, const std::string& what)
{
    const auto it = r.lines.find(statement);
    return it == r.lines.end() ? 0 : std::count(it->second.begin(), it->second.end(), what);
}

bool saw(const probe_result& r, const std::string& statement, const std::string& what)
{
    const auto it = r.lines.find(statement);
    if (it == r.lines.end())
        return false;
    for (const std::string& line : it->second)
        if (line == what)
            return true;
    return false;
}

// What the limit test can vouch for on this build: a sanitizer reserves
// terabytes of address space for its shadow and cannot run under a limit.
bool limits_can_be_tested(std::string& why)
{
#if defined(NUMRUN_SANITIZE) || defined(NUMRUN_TSAN)
    why = "a sanitizer build cannot run under an address-space limit";
    return false;
#else
    rlimit hard{};
    if (getrlimit(RLIMIT_AS, &hard) == 0 && hard.rlim_max != RLIM_INFINITY && hard.rlim_max < (rlim_t{6} << 30)) {
        why = "the hard address-space limit is below the 5 GB the ladder needs";
        return false;
    }
    return true;
#endif
}

#define SKIP_WITHOUT_LIMITS()                                      \
    do {                                                           \
        std::string why;                                           \
        if (!limits_can_be_tested(why))                            \
            GTEST_SKIP() << "address-space limits not tested: " << why; \
    } while (0)

// Checks the run as a whole: it was not killed, did not abort, and set its
// limit (a run whose limit was refused skips the test).
#define EXPECT_RAN_THROUGH(r, limit_mb)                                                                        \
    do {                                                                                                       \
        if ((r).skipped)                                                                                       \
            GTEST_SKIP() << "a limit of " << (limit_mb) << " MB could not be set";                            \
        EXPECT_FALSE((r).hung) << "no answer within " << seconds_per_run << " s under " << (limit_mb)         \
                               << " MB; output:\n"                                                             \
                               << (r).output;                                                                  \
        EXPECT_EQ((r).status, 0) << "under " << (limit_mb) << " MB; output:\n" << (r).output;                 \
    } while (0)

struct limited_statements {
    long limit_mb;
    std::vector<std::string> statements;
};

// Each statement makes its operands under the limit, and then what became
// of it is the outcome given ("answered", "Out of memory!" or "error
// <text>"), and the library works afterwards.
void expect_outcome(const std::vector<limited_statements>& runs, const std::string& outcome)
{
    for (const limited_statements& run : runs) {
        SCOPED_TRACE(std::to_string(run.limit_mb) + " MB");
        const probe_result r = run_probe(run.limit_mb, run.statements);
        EXPECT_RAN_THROUGH(r, run.limit_mb);
        for (const std::string& s : run.statements) {
            SCOPED_TRACE(s);
            EXPECT_TRUE(saw(r, s, "operands made")) << r.output;
            EXPECT_TRUE(saw(r, s, outcome)) << r.output;
            EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
        }
    }
}

// Each statement needs more than the limit leaves: it must raise "Out of
// memory!" (from the call, after its operands were made).
void expect_refused(const std::vector<limited_statements>& runs) { expect_outcome(runs, "Out of memory!"); }

// The functions of the report ended the process with an uncaught
// std::bad_alloc (status 134): their working storage was the standard
// library's. sprintf and strcat, whose storage is the runtime allocator's,
// raised the error before, and still do.
TEST(MemoryLimit, TextFunctionsRaiseOutOfMemory)
{
    SKIP_WITHOUT_LIMITS();
    expect_refused({
        {400, {"num2str", "int2str", "mat2str"}},
        {700, {"findstr", "strrep", "strrep of blanks", "sprintf", "strcat"}},
        {800, {"strjust"}},
    });
}

TEST(MemoryLimit, LargeResultsOfEverySubsystemRaiseOutOfMemory)
{
    SKIP_WITHOUT_LIMITS();
    expect_refused({{1100,
                     {"zeros", "repmat", "cellstr", "sort with indices", "kron", "inv of a large matrix", "svd",
                      "large left division", "fft of a large vector", "conv", "besselj"}}});
}

// Functions whose result is a sparse value's full form, on the largest
// square and the longest row a sparse value holds (17 GB full): refused
// with the full form's own limit, as full(S) is, where they tried the
// 17 GB and said "Out of memory!" (or, without a limit, took it).
TEST(MemoryLimit, FullFormsOfTheLargestSparseValuesAreRefusedAsSuch)
{
    SKIP_WITHOUT_LIMITS();
    expect_outcome({{1100,
                     {"sort of the largest sparse square", "sort of the largest sparse square with indices",
                      "sort of the longest sparse row", "double of the largest sparse square",
                      "unique of the longest sparse row"}}},
                   "error full: matrix too large");
}

// Assignments by two indices into the longest sparse row and column, a
// colon along the line: they marked each of its 2^31 - 1 subscripts (2 GB)
// and said "Out of memory!" under a limit that holds the value many times.
TEST(MemoryLimit, TwoIndexAssignmentsIntoTheLongestSparseLinesAnswer)
{
    SKIP_WITHOUT_LIMITS();
    expect_outcome({{1100, {"zero into the longest sparse column by two indices",
                            "twice the longest sparse row by two indices",
                            "kron of the longest sparse row and a number"}}},
                   "answered");
}

// The sparse sweep (reductions, find, shapes, element-wise codes, products,
// kron, construction, mask and range reads and writes, norms) on a row and
// a column of 2^31 - 1 elements and a 46340 x 46340 square under 3 GB:
// each answers as its model says or refuses with the message its size
// calls for, never "Out of memory!" for a small result. S(1:2.5e8) = 0 of
// the longest row listed the range and said "Out of memory!" here.
TEST(MemoryLimit, TheSparseSweepAnswersUnder3GB)
{
    SKIP_WITHOUT_LIMITS();
    expect_outcome({{3072, {"the sparse limit sweep"}}}, "answered");
}

// Reading and writing an 8000 x 8000 RGB PNG and a 6000 x 6000 indexed PCX
// through the graphics engine: refused where the picture does not fit
// (inside the engine or in the library), read or written where it does,
// and never an exception through the engine's C interface.
TEST(MemoryLimit, PicturesThroughTheEngineAnswerOrRaiseOutOfMemory)
{
    SKIP_WITHOUT_LIMITS();
    test::temp_dir dir;
    const std::string folder = dir.path().string();
    const probe_result made = run_probe(0, {"--folder", folder, "prepare"});
    ASSERT_TRUE(saw(made, "prepare", "done")) << made.output;
    const std::vector<std::string> statements = {"imread", "imread as doubles", "imwrite"};
    std::map<std::string, std::vector<std::string>> outcomes;
    // Each in a process of its own: what one leaves in the heap does not
    // decide the next.
    for (const long limit_mb : {300L, 450L, 600L})
        for (const std::string& s : statements) {
            SCOPED_TRACE(s + " under " + std::to_string(limit_mb) + " MB");
            const probe_result r = run_probe(limit_mb, {"--folder", folder, s});
            EXPECT_RAN_THROUGH(r, limit_mb);
            const bool answered = saw(r, s, "answered"), refused = saw(r, s, "Out of memory!");
            EXPECT_TRUE(answered || refused) << r.output;
            EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
            outcomes[s].push_back(answered ? "answered" : "refused");
        }
    for (const std::string& s : statements) {
        SCOPED_TRACE(s);
        EXPECT_EQ(outcomes[s].front(), "refused") << "300 MB holds no such picture twice";
        EXPECT_EQ(outcomes[s].back(), "answered") << "600 MB holds it";
    }
}

// A 2x2 inv, a 100x100 A\b and an fft under limits from 300 MB to 5 GB: an
// allocator that took nearly all a limit left starved OpenBLAS, whose
// buffer allocation then looped for ever (at 350-450, 1150-1250 and
// 4270-4350 MB among others). From 600 MB up every call answers; below, a
// call may instead raise "Out of memory!".
TEST(MemoryLimit, SmallCallsAnswerUnderEveryLimitFrom300MBTo5GB)
{
    SKIP_WITHOUT_LIMITS();
    const std::vector<std::string> statements = {"inv 2x2", "left division 100x100", "fft"};
    for (const long limit_mb : {300L, 350L, 400L, 450L, 500L, 600L, 800L, 1000L, 1200L, 1300L, 1500L, 2000L, 3000L,
                                4300L, 5000L}) {
        SCOPED_TRACE(std::to_string(limit_mb) + " MB");
        const probe_result r = run_probe(limit_mb, statements);
        EXPECT_RAN_THROUGH(r, limit_mb);
        for (const std::string& s : statements) {
            SCOPED_TRACE(s);
            if (limit_mb >= 600)
                EXPECT_TRUE(saw(r, s, "answered")) << r.output;
            else
                EXPECT_TRUE(saw(r, s, "answered") || saw(r, s, "Out of memory!")) << r.output;
            EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
        }
    }
}

// The runtime allocator's pool under a limit takes a sixteenth of what the
// limit leaves for its first reservation and grows by further ones past
// it, from small limits to large.
TEST(MemoryLimit, ThePoolReservesAShareOfWhatIsLeftAndGrows)
{
    SKIP_WITHOUT_LIMITS();
    for (const long limit_mb : {300L, 1000L, 4000L}) {
        SCOPED_TRACE(std::to_string(limit_mb) + " MB");
        const probe_result r = run_probe(limit_mb, {"pool growth"});
        EXPECT_RAN_THROUGH(r, limit_mb);
        EXPECT_TRUE(saw(r, "pool growth", "answered")) << r.output;
    }
}

// Memory filled until "Out of memory!" and everything dropped: the
// address space comes back, so that inv, A\\b, svd, fft, sprintf and zeros
// of half the limit answer afterwards. The pool kept its free units mapped
// (after 100- or 1000-double values inv, A\\b and svd said "Out of memory!"
// for good under 1 GB, with 931 MB mapped for a few kB live), and large
// blocks came from the standard heap's break, where a dropped one below a
// live one never gave its address space back. Each limit runs in one
// process, the fills one after another; every fill runs at 300 MB, and
// the larger limits, slow to fill, share the rest out. In multi-thread mode OpenBLAS runs four
// threads where the limit leaves room for their buffers (they map some
// 440 MB at start).
struct FillCase {
    long limit_mb;
    bool multi_thread;
    int blas_threads;
    std::vector<std::string> fills;
};

const std::vector<FillCase>& fill_cases()
{
    static const std::vector<std::string> every = {"fill with 100 doubles", "fill with 1000 doubles",
                                                   "fill with 1e6 doubles", "fill with one value", "fill with an fft"};
    static const std::vector<FillCase> cases = {
        {300, false, 1, every},
        {1000, false, 1, {"fill with 100 doubles", "fill with 1000 doubles", "fill with 1e6 doubles"}},
        {3000, false, 1, {"fill with one value"}},
        {300, true, 1, {"fill with 100 doubles"}},
        {1000, true, 4, {"fill with 1000 doubles", "fill with an fft"}},
        {3000, true, 4, {"fill with 1e6 doubles"}},
        // Every size class and kind of value: blocks just below and just
        // above the size where a block becomes a mapping of its own, rows
        // grown one element at a time to 32 MB, cells and structs that
        // hold large values, sparse values (their position lists), complex
        // values and text; four fills a process, to keep each run short.
        {1000, false, 1, {"fill with 16000 doubles", "fill with 16500 doubles", "fill with grown rows",
                          "fill with cells of large values"}},
        {1000, false, 1, {"fill with structs of large values", "fill with sparse values", "fill with complex values",
                          "fill with strings"}},
        {300, false, 1, {"fill with 16000 doubles", "fill with 16500 doubles", "fill with grown rows",
                         "fill with sparse values"}},
        {1000, true, 1, {"fill with 16500 doubles", "fill with grown rows", "fill with structs of large values"}},
    };
    return cases;
}

// One process a case, each its own test, so that the cases (minutes in
// all) run side by side and each has the whole time a test is given.
class FilledMemoryDropped : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FilledMemoryDropped, ServesTheNextCalls)
{
    SKIP_WITHOUT_LIMITS();
    const FillCase& c = fill_cases()[GetParam()];
    const std::string mode = c.multi_thread ? "multi-thread mode" : "one thread";
    SCOPED_TRACE(std::to_string(c.limit_mb) + " MB, " + mode);
    std::vector<std::string> args;
    if (c.multi_thread)
        args.push_back("--mt");
    for (const std::string& fill : c.fills) {
        args.push_back(fill);
        args.push_back("go on");
    }
    const probe_result r = run_probe(c.limit_mb, args, c.blas_threads);
    EXPECT_RAN_THROUGH(r, c.limit_mb);
    for (const std::string& fill : c.fills) {
        SCOPED_TRACE(fill);
        if (fill != "fill with an fft") {  // the fft may fit
            EXPECT_TRUE(saw(r, fill, "Out of memory!")) << r.output;
        }
        EXPECT_TRUE(saw(r, fill, "afterwards ok")) << r.output;
    }
    EXPECT_EQ(times_seen(r, "go on", "answered"), long(c.fills.size())) << r.output;
}

INSTANTIATE_TEST_SUITE_P(MemoryLimit, FilledMemoryDropped, ::testing::Range(std::size_t{0}, fill_cases().size()));

// A dropped 800 MB value below a 160 kB one that stays gave its address
// space back: a 2 GB value then fits under 3 GB. And the host's own
// malloc is as the standard heap made it: a 1 GB block freed below a live
// small one gives its address space back (the library had turned off the
// heap's mappings for the whole process).
TEST(MemoryLimit, ADroppedLargeValueAndTheHostsFreedBlockGiveTheirAddressSpaceBack)
{
    SKIP_WITHOUT_LIMITS();
    const std::vector<std::string> statements = {"large value dropped below a kept one", "host malloc"};
    const probe_result r = run_probe(3000, statements);
    EXPECT_RAN_THROUGH(r, 3000);
    for (const std::string& s : statements) {
        SCOPED_TRACE(s);
        EXPECT_TRUE(saw(r, s, "answered")) << r.output;
        EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
    }
}


// Memory filled with a mix of sizes and kinds and dropped, six rounds in
// one process: what stays mapped after a drop does not grow from round to
// round, and every round fits as many values as the first. And a call
// refused while memory is full (inv of 300x300, zeros of 32 MB) answers,
// the same call, once the values that filled it are gone.
TEST(MemoryLimit, FillAndDropRoundsDoNotCreepAndARefusedCallAnswersLater)
{
    SKIP_WITHOUT_LIMITS();
    const std::vector<std::string> statements = {"fill and drop rounds", "refused then answered"};
    for (const long limit_mb : {300L, 1000L}) {
        for (const bool multi_thread : {false, true}) {
            SCOPED_TRACE(std::to_string(limit_mb) + " MB, " + (multi_thread ? "multi-thread mode" : "one thread"));
            std::vector<std::string> args = statements;
            if (multi_thread)
                args.insert(args.begin(), "--mt");
            const probe_result r = run_probe(limit_mb, args);
            EXPECT_RAN_THROUGH(r, limit_mb);
            for (const std::string& s : statements) {
                SCOPED_TRACE(s);
                EXPECT_TRUE(saw(r, s, "answered")) << r.output;
                EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
            }
        }
    }
}

// Runs each statement in a process of its own under a 3 GB limit: each
// answers, and the library works afterwards.
void expect_each_answers_under_3GB(const std::vector<std::string>& statements)
{
    for (const std::string& s : statements) {
        SCOPED_TRACE(s);
        const probe_result r = run_probe(3000, {s});
        EXPECT_RAN_THROUGH(r, 3000);
        EXPECT_TRUE(saw(r, s, "answered")) << r.output;
        EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
    }
}

// Values of about a gigabyte under a 3 GB limit, each of another kind and
// shape (double, complex, text, logical, bytes, sparse, a cell and a
// struct array of large values, a row grown one element at a time, a
// shared value changed), made, written and dropped one after another: each
// answers, and after each drop the address space and the memory the
// process holds are back near where they started.
TEST(MemoryLimit, DroppedValuesOfEveryKindGiveBackTheirAddressSpaceAndMemory)
{
    SKIP_WITHOUT_LIMITS();
    expect_each_answers_under_3GB({"large value rounds"});
}

// Values made in one thread and dropped in another, in multi-thread mode,
// round after round, give their memory back as well (130 MB more stayed
// resident from the second round on).
TEST(MemoryLimit, ValuesDroppedOnAnotherThreadGiveBackTheirMemory)
{
    SKIP_WITHOUT_LIMITS();
    expect_each_answers_under_3GB({"dropped on another thread"});
}

// Ten million small values dropped, twice, give back what they took, so
// that the standard heap (which cannot ask the pool for what it keeps)
// and then one large value have half the limit: once a program had made
// them twice, the pool kept all 1.2 GB warm. Values of two sizes made in
// turn (mappings of their own and pool blocks, in both orders) and every
// other one dropped leave room for one as large as the dropped ones
// together.
TEST(MemoryLimit, SmallValuesAndEveryOtherValueDroppedGiveBackWhatTheyTook)
{
    SKIP_WITHOUT_LIMITS();
    expect_each_answers_under_3GB({"small burst then large", "every other dropped"});
}

// Statements that do not fit beside a value of 64 MB held in a variable,
// a cell and a struct (growing it by one element or by a
// million, joining it to itself, assigning into all of it, a second row of
// it, transposing and flipping it; a cell and a struct given elements and
// fields of its size, and grown inside), each on a shared and an unshared
// copy, with less room each pass: each answers, right, or says "Out
// of memory!" with its target and every stored value as they were.
TEST(MemoryLimit, ARefusedStatementKeepsItsTargetAndEveryStoredValue)
{
    SKIP_WITHOUT_LIMITS();
    const std::string s = "refused statements keep every value";
    const probe_result r = run_probe(1000, {s});
    EXPECT_RAN_THROUGH(r, 1000);
    EXPECT_TRUE(saw(r, s, "answered")) << r.output;
    EXPECT_TRUE(saw(r, s, "afterwards ok")) << r.output;
}

} // namespace
