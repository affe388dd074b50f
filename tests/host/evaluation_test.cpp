// Calls by name through the host's feval hook: what the hook receives, the
// outputs it assigns, and the output count seen during and after a call.
#include "test_support.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace {

// What the recording host saw on its last call.
struct seen_call {
    std::string name;
    Mm args;
    double nargout = -1;
    int calls = 0;
};
seen_call seen;
// When set, the recording host raises this text instead of answering.
const char* raise_text = nullptr;
// When set, the host changes the count itself during the call.
bool host_changes_count = false;

// Assigns args + k to output k and returns 100 + the number of inputs.
Mm recording_host(Mm name, Mm args, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    seen.name = test::text_of(name);
    seen.args = args;
    seen.nargout = nargout_val;
    ++seen.calls;
    if (host_changes_count)
        nargout_val = 5;
    if (raise_text)
        error("%s", raise_text);
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6};
    double base = args.size() > 0 ? test::at(args, 0) : 0;
    for (int k = 0; k < 6; ++k)
        *outs[k] = base + (k + 1);
    return Mm(100.0 + args.size());
}

class FevalHook : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_hook = feval_func;
        saved_nargout = nargout_val;
        saved_set = nargout_set;
        seen = seen_call{};
        raise_text = nullptr;
        host_changes_count = false;
        feval_func = recording_host;
    }
    void TearDown() override
    {
        feval_func = saved_hook;
        nargout_val = saved_nargout;
        nargout_set = saved_set;
    }
    feval_func_t saved_hook = nullptr;
    double saved_nargout = 0;
    int saved_set = 0;
};

TEST(FevalNotLinked, TheLoadTimeHookRaises)
{
    Mm a, b, c, d, e, f;
    EXPECT_ERROR(feval_call_1("sin", Mm(1.0), a, b, c, d, e, f), "feval was not linked with the program.");
    EXPECT_ERROR(feval_call_nargout1("sin", Mm(1.0)), "feval was not linked with the program.");
}

TEST_F(FevalHook, CallOneHandsNameArgumentsAndAllSixOutputs)
{
    Mm args = test::row({2, 3});
    Mm o1, o2, o3, o4, o5, o6;
    Mm result = feval_call_1("myfun", args, o1, o2, o3, o4, o5, o6);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.name, "myfun");
    EXPECT_EQ(test::values(seen.args), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::at(result, 0), 102) << "the hook's own result comes back";
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(test::values(*outs[k]), std::vector<double>{2.0 + k + 1});
    }
    EXPECT_EQ(test::values(args), (std::vector<double>{2, 3})) << "the caller's arguments are untouched";
}

TEST_F(FevalHook, NargoutOneReturnsTheFirstOutputWithTheCountAtOne)
{
    nargout_val = 3;
    nargout_set = 0;
    Mm y = feval_call_nargout1("f", Mm(10.0));
    EXPECT_EQ(seen.name, "f");
    EXPECT_EQ(seen.nargout, 1) << "the callee is asked for one output";
    EXPECT_EQ(test::values(y), std::vector<double>{11});
    EXPECT_EQ(nargout_val, 3) << "the caller's count is restored";
    EXPECT_EQ(nargout_set, 1);
}

TEST_F(FevalHook, NargoutOneRestoresTheCountAfterEveryWayOut)
{
    struct Case {
        const char* what;
        bool changes;
        const char* raises;
    };
    const std::vector<Case> cases = {
        {"a callee that changes the count", true, nullptr},
        {"a callee that raises", false, "callee failed"},
        {"a callee that changes the count and raises", true, "callee failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nargout_val = 2;
        host_changes_count = c.changes;
        raise_text = c.raises;
        if (c.raises)
            EXPECT_ERROR(feval_call_nargout1("g", Mm(1.0)), c.raises);
        else
            feval_call_nargout1("g", Mm(1.0));
        EXPECT_EQ(seen.nargout, 1);
        EXPECT_EQ(nargout_val, 2);
    }
}

TEST_F(FevalHook, NargoutOneWithKeptSlots)
{
    // The form for callers that call often: the result moves out of the
    // first slot, the others keep what the callee assigned, and the count
    // comes back on every way out.
    const Mm name = TM("f");
    Mm outs[6];
    for (double x : {10.0, 20.0}) {
        SCOPED_TRACE(x);
        nargout_val = 3;
        const Mm y = feval_call_nargout1(name, Mm(x), outs);
        EXPECT_EQ(seen.name, "f");
        EXPECT_EQ(seen.nargout, 1);
        EXPECT_EQ(test::values(y), std::vector<double>{x + 1});
        EXPECT_EQ(nargout_val, 3);
        EXPECT_FALSE(outs[0].hasstorage()) << "the result moved out";
        EXPECT_EQ(test::values(outs[1]), std::vector<double>{x + 2});
    }
    raise_text = "callee failed";
    EXPECT_ERROR(feval_call_nargout1(name, Mm(1.0), outs), "callee failed");
    EXPECT_EQ(nargout_val, 3);
}

// ---- eval ----

std::vector<std::string> evaluated;
int eval_answer = 0;
// Evaluates "name=expression" by assigning 10 * the number of characters of
// the expression to the capture variable it finds in the workspace.
int recording_eval(const char* text)
{
    evaluated.emplace_back(text);
    const char* eq = std::strchr(text, '=');
    if (eq && std::strncmp(text, "eval_result_", 12) == 0) {
        const std::string name(text, static_cast<std::size_t>(eq - text));
        if (Mm* v = variables_scope.scope_lookup(name.c_str(), variables_scope.depth()))
            *v = Mm(10.0 * static_cast<double>(std::strlen(eq + 1)));
    }
    return eval_answer;
}

class Eval : public ::testing::Test {
protected:
    void SetUp() override
    {
        evaluated.clear();
        eval_answer = 0;
        saved = eval_func;
        eval_func = recording_eval;
        scope_tracking = 1;
        test::clear_printed();
    }
    void TearDown() override
    {
        eval_func = saved;
        scope_tracking = 0;
    }
    eval_func_t saved = nullptr;
};

TEST(EvalWithoutHost, TheTextIsReadAsNumbers)
{
    ASSERT_EQ(eval_func, nullptr);
    EXPECT_EQ(test::values(eval(test::text("1 2 3"))), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(test::values(eval(test::text("4"), test::text("catch"))), std::vector<double>{4});
}

TEST_F(Eval, AnExpressionComesBackThroughACaptureVariable)
{
    const int before = eval_result_counter;
    Mm r = eval(test::text("1+1"));
    const std::string sent = "eval_result_" + std::to_string(before + 1) + "=1+1";
    EXPECT_EQ(evaluated, std::vector<std::string>{sent});
    EXPECT_EQ(test::printed(), "Calling eval('" + sent + "')\nDone eval\n");
    EXPECT_EQ(test::values(r), std::vector<double>{30});
    EXPECT_EQ(variables_scope.scope_lookup(("eval_result_" + std::to_string(before + 1)).c_str(), 1), nullptr)
        << "the capture variable leaves the workspace";
    eval(test::text("x*2"));
    EXPECT_EQ(evaluated.back(), "eval_result_" + std::to_string(before + 2) + "=x*2") << "every capture is new";
}

TEST_F(Eval, StatementsAreSentUnchangedAndGiveTheEmptyValue)
{
    for (const char* text : {"a=1", "global g", "load data", "!ls", "x % note"}) {
        SCOPED_TRACE(text);
        evaluated.clear();
        Mm r = eval(test::text(text));
        EXPECT_EQ(evaluated, std::vector<std::string>{text});
        EXPECT_EQ(r.size(), 0);
    }
    EXPECT_EQ(eval(test::text("")).size(), 0);
}

// A text longer than the statement buffer is cut by Mstr (with its
// warning) and then sent nowhere: the host never sees a broken statement.
TEST_F(Eval, ATextLongerThanTheBufferGivesTheEmptyValueWithoutTheHost)
{
    struct Case {
        std::size_t length;
        bool sent;
    };
    for (const Case& c : std::vector<Case>{{16383, true}, {16384, false}, {20000, false}}) {
        SCOPED_TRACE(c.length);
        evaluated.clear();
        test::clear_printed();
        const std::string text = "a=" + std::string(c.length - 2, '1');
        Mm r = eval(test::text(text.c_str()));
        EXPECT_EQ(r.size(), 0);
        if (c.sent) {
            EXPECT_EQ(evaluated, std::vector<std::string>{text});
        } else {
            EXPECT_TRUE(evaluated.empty()) << evaluated.front().substr(0, 40);
            EXPECT_NE(test::printed().find("Mstr: buffer too small - chopped"), std::string::npos);
        }
    }
}

TEST_F(Eval, ATopFrameVariableComesBackWithoutTheHost)
{
    Mm x(i_o, "x", 0);
    x = 7.0;
    Mm r = eval(test::text("x"));
    EXPECT_TRUE(evaluated.empty());
    EXPECT_EQ(test::values(r), std::vector<double>{7});
}

TEST_F(Eval, AFailingHostIsReported)
{
    eval_answer = 1;
    EXPECT_ERROR(eval(test::text("a=1")), "error evaluating.");
    EXPECT_EQ(test::printed(), "Calling eval('a=1')\nDone eval\neval 'a=1'\n");
}

TEST_F(Eval, EvalinAndTheDefaultCallbackEvaluate)
{
    evalin(test::text("base"), test::text("b=2"));
    evalin(test::text("caller"), test::text("c=3"), test::text("catch"));
    callback_func(test::text("d=4"));
    Mm a, b;
    eval(test::text("e=5"), i_o, a, b);
    EXPECT_EQ(evaluated, (std::vector<std::string>{"b=2", "c=3", "d=4", "e=5"}));
    EXPECT_ERROR(evalin(test::text("base")), "evalin does not accept 1 input");
}

} // namespace
