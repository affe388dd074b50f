// Call information and version: the argument counts, nargchk, the file and
// line of the current call, the version texts and the extreme doubles.
#include "test_support.hpp"

#include <atomic>
#include <cfloat>
#include <string>
#include <thread>
#include <vector>

namespace {

// Puts a frame on the language call stack for the length of a test.
class call_frame {
public:
    call_frame(const char* function, int line)
    {
        saved_ = qv_error_stack.depth;
        const int d = saved_ + 1;
        qv_error_stack.functions[d] = function;
        qv_error_stack.lines[d] = line;
        qv_error_stack.depth = d;
    }
    ~call_frame() { qv_error_stack.depth = saved_; }

private:
    int saved_;
};

TEST(CallInfo, ArgumentCountsComeFromTheExportedVariables)
{
    const double in = nargin_val, out = nargout_val;
    nargin_val = 3;
    nargout_val = 2;
    EXPECT_EQ(test::at(nargin(), 0), 3);
    EXPECT_EQ(test::at(nargout(), 0), 2);
    Mm a, b;
    argn(i_o, a, b);
    EXPECT_EQ(test::at(a, 0), 2) << "the output count comes first";
    EXPECT_EQ(test::at(b, 0), 3);
    nargin_val = in;
    nargout_val = out;
}

TEST(CallInfo, NargchkNamesTheSideThatFails)
{
    struct Case {
        double low, high, n;
        const char* text;
    };
    const std::vector<Case> cases = {
        {1, 3, 2, ""}, {1, 3, 1, ""}, {1, 3, 3, ""}, {1, 3, 0, "too few input arguments"},
        {1, 3, 4, "too many input arguments"}, {3, 1, 2, "too many input arguments"},
        {0, INFINITY, 1e9, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + " " + std::to_string(c.high) + " " + std::to_string(c.n));
        Mm r = nargchk(Mm(c.low), Mm(c.high), Mm(c.n));
        EXPECT_TRUE(r.isstr());
        EXPECT_EQ(test::text_of(r), c.text);
    }
    EXPECT_ERROR(nargchk(Mm(1.0)), "nargchk does not accept 1 input");
    EXPECT_ERROR(nargchk(Mm(1.0), Mm(2.0)), "nargchk does not accept 2 inputs");
}

TEST(CallInfo, FileNameAndLineOfTheCurrentCall)
{
    ASSERT_EQ(qv_error_stack.depth, 0);
    EXPECT_EQ(test::text_of(vfilename()), "unknown");
    EXPECT_EQ(test::at(vfileline(), 0), 0);
    struct Case {
        const char* function;
        const char* name;
    };
    const std::vector<Case> cases = {
        {"c:\\x\\foo.v", "foo"}, {"/a/b/bar.v", "bar"}, {"caller", "caller"}, {"a.b.c", "a"}, {"dir\\", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        call_frame frame(c.function, 42);
        EXPECT_EQ(test::text_of(vfilename()), c.name);
        EXPECT_EQ(test::at(vfileline(), 0), 42);
    }
}

TEST(CallInfo, VersionTexts)
{
    EXPECT_EQ(test::text_of(version()), "4.51 VORSEN");
    Mm v, d;
    version(i_o, v, d);
    EXPECT_EQ(test::text_of(v), "4.51 VORSEN");
    EXPECT_EQ(test::text_of(d), "Sep 14 2000");
    test::clear_printed();
    ver();
    EXPECT_EQ(test::printed(), "4.51 VORSEN\n");
}

TEST(CallInfo, ExtremeDoublesAndTheCurrentDirectory)
{
    EXPECT_EQ(test::at(realmax(), 0), DBL_MAX);
    EXPECT_EQ(test::at(realmin(), 0), DBL_MIN);
    EXPECT_EQ(test::text_of(pwd()), test::text_of(cd()));
}

TEST(CallInfo, LasterrIsEmptiedWhenRead)
{
    lasterr(test::text("boom"));
    EXPECT_EQ(test::text_of(lasterr()), "boom");
    EXPECT_EQ(test::text_of(lasterr()), "");
}

// A function for the threads below: it sees nargout_val and gives it back.
std::atomic<int> calls_seeing_other_counts{0};
Mm nargout_echo(Mm, Mm, i_o_t, Mm& out1, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    if (nargout_val != 1)
        ++calls_seeing_other_counts;
    out1 = Mm(nargout_val);
    return out1;
}

} // namespace

// Calls for one output from several threads, each with its own count set
// around them: during each call the count is 1, afterwards each thread has
// its own back, and the main thread's is untouched. Also run under
// ThreadSanitizer (make test-tsan).
TEST(Threads, EachThreadKeepsItsOwnArgumentCounts)
{
    const feval_func_t previous = feval_func;
    feval_func = nargout_echo;
    qv_set_MT(1);
    nargout_val = 5;
    calls_seeing_other_counts = 0;
    constexpr int threads = 4, rounds = 2000;
    std::vector<int> left_wrong(threads, 0);
    std::vector<std::thread> pool;
    for (int th = 0; th < threads; ++th)
        pool.emplace_back([th, &left_wrong] {
            if (nargout_val != 0)
                ++left_wrong[static_cast<std::size_t>(th)];  // a new thread starts at 0
            const Mm args = test::cell_row({Mm(1.0)});
            for (int k = 0; k < rounds; ++k) {
                nargout_val = th + 2;
                const Mm r = feval_call_nargout1("f", args);
                if (nargout_val != th + 2 || test::at(r, 0) != 1)
                    ++left_wrong[static_cast<std::size_t>(th)];
            }
        });
    for (auto& t : pool)
        t.join();
    qv_set_MT(0);
    feval_func = previous;
    EXPECT_EQ(left_wrong, std::vector<int>(threads, 0));
    EXPECT_EQ(calls_seeing_other_counts.load(), 0);
    EXPECT_EQ(nargout_val, 5.0);
    nargout_val = 0;
}

namespace {

} // namespace
