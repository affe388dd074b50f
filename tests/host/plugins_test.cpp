// Plug-in modules and the plug-in API: the C test modules twice_vorsen.so
// and noentry_vorsen.so loaded by name (through LD_LIBRARY_PATH), the
// output rules of call_plu, clearing, and the API's values and reports.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include "host/plugins.hpp"

#include <plu.h>

#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <future>
#include <string>
#include <vector>

namespace {

int count_of(const std::string& text, const std::string& word)
{
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// What a language function called from a module through the host does:
// "clear" clears the twice module while its call runs.
Mm module_host(Mm name, Mm args, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    const std::string n = test::text_of(name);
    if (n == "clear")
        clear_plu("twice");
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6};
    for (int k = 0; k < 6; ++k)
        *outs[k] = Mm(static_cast<double>(k + 1) + args.size());
    return x_M;
}

class Plugins : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = feval_func;
        feval_func = module_host;
        clear_plu("twice");
        test::clear_printed();
    }
    void TearDown() override
    {
        clear_plu("twice");
        feval_func = saved;
    }

    // twice(x) with nlhs outputs; the slots it filled.
    std::vector<Mm*> call(const char* name, double nlhs, const Mm& x)
    {
        std::vector<Mm*> slots(64, reinterpret_cast<Mm*>(0x1));
        Mm* in[1];
        call_plu_prhs(in[0], x);
        call_plu(name, nlhs, slots.data(), 1, in);
        return slots;
    }
    static void release(std::vector<Mm*>& slots)
    {
        for (Mm*& p : slots) {
            if (p != reinterpret_cast<Mm*>(0x1))
                kaDestroyArray(p);
            p = nullptr;
        }
    }

    feval_func_t saved = nullptr;
};

TEST_F(Plugins, AModuleIsLoadedOnceWhateverTheCaseOfTheName)
{
    std::vector<Mm*> out = call("twice", 1, test::row({1, 2.5}));
    ASSERT_NE(out[0], nullptr);
    Mm y;
    call_plu_plhs(y, out[0]);
    out[0] = nullptr;
    EXPECT_EQ(test::values(y), (std::vector<double>{2, 5}));
    release(out);
    out = call("TWICE", 1, Mm(4.0));
    EXPECT_EQ(test::at(*out[0], 0), 8);
    release(out);
    EXPECT_EQ(count_of(test::printed(), "twice: loaded"), 1);
    EXPECT_EQ(module_bucket("TWICE"), module_bucket("twice"));
    EXPECT_EQ(module_bucket("ab"), 13);
    EXPECT_EQ(module_bucket("ba"), 6);
    EXPECT_GE(module_bucket("\xe9\xff"), 0);
    EXPECT_LT(module_bucket("\xe9\xff"), 31);
}

// Every way a module can fail to serve, each in words that say what went
// wrong, the same on the next call; meanwhile the system loader stays free
// for other threads, and a good module still loads and answers afterwards.
TEST_F(Plugins, ModulesThatCannotServeAreReportedAndTheLoaderGoesOn)
{
    struct Case {
        std::string name;
        std::string start;  // the message begins with this
        std::string cause;  // and says this somewhere after it
    };
    const std::string long_name(300, 'x');
    const std::vector<Case> cases = {
        {"nope", "Could not load nope_vorsen.so GetLastError is 2: ", "No such file or directory"},
        {"notlib", "Could not load notlib_vorsen.so GetLastError is 8: ", "invalid ELF header"},
        {"empty", "Could not load empty_vorsen.so GetLastError is 8: ", "file too short"},
        {"unresolved", "Could not load unresolved_vorsen.so GetLastError is 8: ", "vorsen_nowhere_to_be_found"},
        {"ctorfail", "Could not load ctorfail_vorsen.so GetLastError is 8: ", "ctorfail: cannot start"},
        {"noentry", "Could not find pluFunction in noentry_vorsen.so", ""},
        {long_name, "Could not load " + long_name + "_vorsen.so GetLastError is 36: ", "File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 12));
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            std::vector<Mm*> slots(64, reinterpret_cast<Mm*>(0x1));
            const std::string said = test::error_of([&] { call_plu(c.name.c_str(), 1, slots.data(), 0, nullptr); });
            EXPECT_EQ(said.rfind(c.start, 0), 0u) << said;
            EXPECT_NE(said.find(c.cause, c.start.size()), std::string::npos) << said;
            EXPECT_EQ(std::count(slots.begin(), slots.end(), nullptr), 64) << "no slot holds a value";
        }
        // The loader's lock is free: another thread loads a library.
        auto other = std::async(std::launch::async, [] {
            void* h = dlopen("libm.so.6", RTLD_NOW | RTLD_LOCAL);
            const bool opened = h != nullptr;
            if (h)
                dlclose(h);
            return opened;
        });
        if (other.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "a load in another thread is stuck behind the loader's lock";
            std::_Exit(1);
        }
        EXPECT_TRUE(other.get());
    }
    clear_plu("ctorfail");
    std::vector<Mm*> out = call("twice", 1, Mm(21.0));
    ASSERT_NE(out[0], nullptr);
    EXPECT_EQ(test::at(*out[0], 0), 42);
    release(out);
}

// A module's own error passes through unchanged and the module stays
// loaded; its warning is shown and its answer kept.
TEST_F(Plugins, AModulesOwnErrorsAndWarningsReachTheCaller)
{
    for (int round = 0; round < 2; ++round) {
        std::vector<Mm*> slots(64, nullptr);
        Mm word = test::text("fail");
        Mm* in[1];
        call_plu_prhs(in[0], word);
        EXPECT_ERROR(call_plu("twice", 1, slots.data(), 1, in), "twice: 100% failed");
    }
    test::clear_printed();
    std::vector<Mm*> out = call("twice", 1, test::text("warn"));
    ASSERT_NE(out[0], nullptr);
    EXPECT_EQ(test::text_of(*out[0]), "warn");
    EXPECT_NE(test::printed().find("warning: twice: take care"), std::string::npos) << test::printed();
    EXPECT_EQ(count_of(test::printed(), "twice: loaded"), 0) << "loaded once, by the failing calls";
    release(out);
}

// Under a hook that returns, the compiled statement goes on to read the
// slots: a failed call leaves them all empty, never as they were.
TEST_F(Plugins, AFailedCallClearsTheSlotsFirst)
{
    Mm x(1.0);
    Mm* in[1];
    call_plu_prhs(in[0], x);
    for (const char* name : {"no_such_module", "noentry"}) {
        SCOPED_TRACE(name);
        std::vector<Mm*> slots(64, reinterpret_cast<Mm*>(0x1));
        {
            test::returning_errors hook;
            call_plu(name, 1, slots.data(), 1, in);
            EXPECT_EQ(hook.reports().size(), 1u);
        }
        for (Mm* p : slots)
            EXPECT_EQ(p, nullptr);
    }
}

TEST_F(Plugins, OutputRules)
{
    Mm none = test::text("none");
    std::vector<Mm*> out = call("twice", 1, none);
    ASSERT_NE(out[0], nullptr) << "one output left empty becomes the empty value";
    EXPECT_EQ(out[0]->size(), 0);
    release(out);

    std::vector<Mm*> slots(64, reinterpret_cast<Mm*>(0x1));
    Mm* in[1];
    call_plu_prhs(in[0], none);
    call_plu("twice", 0, slots.data(), 1, in);
    for (Mm* p : slots)
        EXPECT_EQ(p, nullptr) << "nlhs 0 still clears the 64 slots";

    Mm x(3.0);
    call_plu_prhs(in[0], x);
    EXPECT_ERROR(call_plu("twice", 2, slots.data(), 1, in),
                 "call_plu: not all output arguments were assigned when calling twice.");
    release(slots);

    // Refused calls clear the 64 slots first, so that the caller reads no
    // stale pointer after a returning hook; slots past them are not ours.
    std::vector<Mm*> refused(66, reinterpret_cast<Mm*>(0x1));
    EXPECT_ERROR(call_plu("twice", 65, refused.data(), 1, in), "call_plu: too many output arguments when calling twice.");
    for (int k = 0; k < 66; ++k)
        EXPECT_EQ(refused[static_cast<std::size_t>(k)], k < 64 ? nullptr : reinterpret_cast<Mm*>(0x1)) << k;
    EXPECT_ERROR(call("twice", 1, test::text("fail")), "twice: 100% failed");
}

TEST_F(Plugins, ClearingRunsTheAtExitFunctionOnceAndLoadsAgainLater)
{
    std::vector<Mm*> out = call("twice", 0, test::text("exit"));
    clear_plu("twice");
    clear_plu("twice");
    clear_plu("never_loaded");
    EXPECT_EQ(count_of(test::printed(), "twice: at exit"), 1);
    out = call("twice", 1, Mm(1.0));
    release(out);
    EXPECT_EQ(count_of(test::printed(), "twice: loaded"), 2);
}

TEST_F(Plugins, AModuleClearedDuringItsOwnCallReturnsNormally)
{
    std::vector<Mm*> out = call("twice", 0, test::text("exit"));
    out = call("twice", 1, test::text("clear"));
    ASSERT_NE(out[0], nullptr);
    EXPECT_EQ(test::text_of(*out[0]), "clear");
    release(out);
    EXPECT_EQ(count_of(test::printed(), "twice: at exit"), 1) << "run once the call returned";
    out = call("twice", 1, Mm(2.0));
    EXPECT_EQ(test::at(*out[0], 0), 4);
    release(out);
}

TEST_F(Plugins, AtExitAfterANestedCallLandsInTheCallersRecord)
{
    std::vector<Mm*> out = call("twice", 1, test::text("nested"));
    release(out);
    EXPECT_EQ(current_module_name(), "") << "restored after the call";
    clear_plu("twice");
    EXPECT_EQ(count_of(test::printed(), "twice: at exit"), 1);
}

// ---- the API without a module ----

TEST(PluginApi, CreatingValues)
{
    const int dims[2] = {2, 3};
    Mm* c = kaCreateNumericArray(2, dims, 6, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(test::extents(*c), (std::vector<int>{2, 3}));
    EXPECT_TRUE(c->isc());
    for (int k = 1; k <= 6; ++k)
        EXPECT_TRUE(*c->addr(k) == 0 && *c->addi(k) == 0);
    Mm* u = kaCreateNumericArray(2, dims, 4, 0);
    EXPECT_EQ(u->gettype(), qv_uint8);
    EXPECT_EQ(kaGetClassID(u), 9);
    EXPECT_ERROR(kaCreateNumericArray(2, dims, 7, 0), "kaCreateNumericArray: can't create type = 7");
    Mm* full_value = kaCreateFull(2, 2, 0);
    EXPECT_EQ(test::values(*full_value), (std::vector<double>{0, 0, 0, 0})) << "zero-filled";
    const char* names[] = {"a", "b"};
    Mm* s = kaCreateStructMatrix(1, 2, 2, names);
    EXPECT_TRUE(s->isstruct());
    EXPECT_EQ(kaGetNumberOfFields(s), 2);
    EXPECT_STREQ(kaGetFieldNameByNumber(s, 1), "b");
    EXPECT_EQ(kaGetFieldNameByNumber(s, 2), nullptr);
    Mm* d = kaDuplicateArray(c);
    *d->addr(1) = 5;
    EXPECT_EQ(*c->addr(1), 0) << "a duplicate is a deep copy";
    for (Mm* v : {c, u, full_value, s, d})
        kaDestroyArray(v);
}

TEST(PluginApi, ReadingValues)
{
    Mm three_d = test::counting({2, 3, 4});
    EXPECT_EQ(kaGetN(&three_d), 12);
    Mm empty_rows(0, 0, 0, 0, 5, qv_double);
    EXPECT_EQ(kaGetN(&empty_rows), 0);
    Mm m34 = test::counting({3, 4});
    const int subs[2] = {2, 1};
    EXPECT_EQ(kaCalcSingleSubscript(&m34, 2, subs), 5);
    Mm cells = test::cell_row({Mm(1.0), Mm(2.0)});
    EXPECT_EQ(kaGetCell(&cells, -1), nullptr);
    EXPECT_EQ(kaGetCell(&cells, 2), nullptr);
    EXPECT_EQ(test::at(*kaGetCell(&cells, 1), 0), 2);
    EXPECT_EQ(kaGetFieldByNumber(&m34, 0, 0), nullptr);
    EXPECT_EQ(kaGetScalar(&empty_rows), 0.0);
    struct Case {
        const char* what;
        Mm value;
        int id;
        int size;
    };
    const std::vector<Case> cases = {
        {"sparse", sparse(test::row({1, 0})), 5, 8}, {"text", test::text("ab"), 6, 8},
        {"cell", cells, 1, static_cast<int>(sizeof(Mm))}, {"uint8", test::bytes(1, 1, {3}), 9, 1},
        {"struct", mstruct((CL("f"), 1.0)), 2, static_cast<int>(sizeof(Mm))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kaGetClassID(&c.value), c.id);
        EXPECT_EQ(kaGetElementSize(&c.value), c.size);
    }
    Mm t = test::text("a long text");
    char small[5];
    EXPECT_EQ(kaGetString(&t, small, sizeof small), 1) << "cut";
    char big[32];
    EXPECT_EQ(kaGetString(&t, big, sizeof big), 0);
    EXPECT_STREQ(big, "a long text");
    EXPECT_EQ(kaIsInt32(&t), 0);
    EXPECT_EQ(kaIsNaN(kaGetNaN()), 1);
}

TEST(PluginApi, ReportsAndRefusals)
{
    EXPECT_ERROR(pluErrMsgTxt("50% done"), "50% done");
    EXPECT_ERROR(pluGetArray("base", "x"), "pluGetArray is not available");
    EXPECT_ERROR(kaSetPr(nullptr, nullptr), "kaSetPr is not available");
    EXPECT_ERROR(pluAtExit(nullptr), "pluAtExit called outside of PLU file");
    EXPECT_ERROR(kaAssert(0, "bad 100%"), "bad 100%");
    EXPECT_EQ(kaAssert(3, "fine"), 3);
    test::clear_printed();
    pluPrintAssertion("x>0", "f.c", 3, "m");
    EXPECT_EQ(test::printed(), "f.c:3 - test 'x>0' failed - m\n");
    test::clear_printed();
    const std::string long_text(100000, 'z');
    EXPECT_EQ(pluPrintf("%s!", long_text.c_str()), 100001);
    EXPECT_EQ(test::printed(), long_text + "!");
}

TEST(PluginApi, CallingLanguageFunctions)
{
    feval_func_t saved = feval_func;
    feval_func = module_host;
    std::vector<Mm*> out(8, reinterpret_cast<Mm*>(0x1));
    Mm a(1.0), b(2.0);
    Mm* in[2] = {&a, &b};
    pluCallVORLAN(8, out.data(), 2, in, "anything");
    for (int k = 0; k < 6; ++k) {
        ASSERT_NE(out[k], nullptr);
        EXPECT_EQ(test::at(*out[k], 0), k + 1 + 2);
        kaDestroyArray(out[k]);
    }
    EXPECT_EQ(out[6], reinterpret_cast<Mm*>(0x1));
    EXPECT_EQ(out[7], reinterpret_cast<Mm*>(0x1));
    feval_func = saved;
    Mm* one[1] = {nullptr};
    pluCallVORLAN(1, one, 1, in, "version");
    EXPECT_EQ(test::text_of(*one[0]), "4.51 VORSEN");
    kaDestroyArray(one[0]);
    Mm bytes = test::bytes(1, 2, {7, 8});
    Mm* byte_in[1] = {&bytes};
    pluCallVORLAN(1, one, 1, byte_in, "double");
    EXPECT_EQ(one[0]->gettype(), qv_double);
    kaDestroyArray(one[0]);
    one[0] = nullptr;
    EXPECT_ERROR(pluCallVORLAN(1, one, 0, nullptr, "double"), "double does not accept 0 inputs");
    EXPECT_EQ(one[0], nullptr);
}

} // namespace
