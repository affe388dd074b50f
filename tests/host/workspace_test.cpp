// The workspace registry: registration of named values by frame, owned
// copies that outlive their objects, and frames opened and closed.
#include "test_support.hpp"

#include <plu.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Once armed, the n-th request of this thread to operator new is refused.
// The registry's index lives in standard containers, which take their
// memory there and not from the library's allocator, so the allocation
// sweep of the library never reaches them.
namespace {
thread_local long refuse_countdown = 0;  // 0: nothing is refused
thread_local bool refused = false;
} // namespace

void* operator new(std::size_t n)
{
    if (refuse_countdown > 0 && --refuse_countdown == 0) {
        refused = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(n);
    } catch (...) {
        return nullptr;
    }
}
// These replacements pair malloc with free themselves: the compiler, seeing
// free given what operator new returned, cannot know.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
#pragma GCC diagnostic pop
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }

namespace {

// Runs with scope tracking on and leaves the workspace as it found it.
class Workspace : public ::testing::Test {
protected:
    void SetUp() override
    {
        scope_tracking = 1;
        variables_scope.reset();
        clear_frame(1);
        clear_frame(0);
    }
    void TearDown() override
    {
        variables_scope.reset();
        clear_frame(1);
        clear_frame(0);
        scope_tracking = 0;
    }
    static void clear_frame(int f)
    {
        while (variables_scope.scope_count(f) > 0)
            variables_scope.scope_remove_entry(variables_scope.scope_count(f) - 1, f);
    }
    static double value_of(const char* name, int frame)
    {
        Mm* v = variables_scope.scope_lookup(name, frame);
        return v ? test::at(*v, 0) : -1;
    }
};

TEST_F(Workspace, ATopLevelValueLeavesAnOwnedCopyThatTheNextOneTakesBack)
{
    {
        Mm x(i_o, "x", 0);
        x = 4.0;
        EXPECT_EQ(variables_scope.scope_count(1), 1);
        EXPECT_EQ(x.getflags().persistent, 1);
    }
    ASSERT_EQ(variables_scope.scope_count(1), 1);
    EXPECT_EQ(value_of("x", 1), 4) << "the content stays in the workspace";
    Mm* kept = variables_scope.scope_entry(0, 1);
    EXPECT_NE(kept->getname(), nullptr);
    {
        Mm again(i_o, "x", 0);
        EXPECT_EQ(test::at(again, 0), 4) << "a new value of that name shows the old content";
        EXPECT_EQ(variables_scope.scope_count(1), 1);
        EXPECT_EQ(variables_scope.scope_entry(0, 1), &again);
        again = 9.0;
    }
    EXPECT_EQ(value_of("x", 1), 9);
}

TEST_F(Workspace, ValuesOfInnerFramesGoWithTheirObjects)
{
    variables_scope.begin();
    EXPECT_EQ(variables_scope.depth(), 2);
    {
        Mm y(i_o, "y", 0);
        EXPECT_EQ(y.getflags().persistent, 0);
        EXPECT_EQ(variables_scope.scope_count(2), 1);
    }
    EXPECT_EQ(variables_scope.scope_count(2), 0);
    variables_scope.end();
    EXPECT_EQ(variables_scope.depth(), 1);
}

TEST_F(Workspace, AGlobalDeclaredTwiceLinksAndHandsItsContentBack)
{
    Mm first(i_o, "g", 1);
    first = 1.0;
    variables_scope.begin();
    {
        Mm second(i_o, "g", 1);
        EXPECT_EQ(test::at(second, 0), 1) << "the second declaration takes the first's value";
        EXPECT_EQ(second.getscopelink(), &first);
        second = 2.0;
    }
    variables_scope.end();
    EXPECT_EQ(test::at(first, 0), 2) << "the first gets the latest content back";
    EXPECT_EQ(variables_scope.scope_entry(0, 0), &first);
}

TEST_F(Workspace, RemovingAMiddleEntryKeepsOwnedFlagsWithTheirEntries)
{
    variables_scope.begin();
    Mm a(i_o, "a", 0), b(i_o, "b", 0), c(i_o, "c", 0), d(i_o, "d", 0), e(i_o, "e", 0);
    EXPECT_EQ(variables_scope.scope_count(2), 5) << "the fifth entry grows the arrays from 4 to 12";
    variables_scope.scope_remove_value(&b);
    ASSERT_EQ(variables_scope.scope_count(2), 4);
    EXPECT_STREQ(variables_scope.scope_entry_name(1, 2), "c");
    EXPECT_STREQ(variables_scope.scope_entry_name(3, 2), "e");
    variables_scope.end();
    EXPECT_EQ(variables_scope.scope_count(2), 0);
}

TEST_F(Workspace, LookupFindsANameRegisteredWithATrailingUnderscore)
{
    Mm v(i_o, "z_", 0);
    v = 3.0;
    EXPECT_EQ(variables_scope.scope_lookup("z", 1), &v);
    EXPECT_EQ(variables_scope.scope_lookup("q", 1), nullptr);
}

TEST_F(Workspace, BadEntryIndexAndTooDeepCallStack)
{
    EXPECT_ERROR(variables_scope.scope_entry(5, 1), "variable_scope: index out of range");
    for (int d = variables_scope.depth(); d < 512; ++d)
        variables_scope.begin();
    EXPECT_EQ(variables_scope.depth(), 512);
    EXPECT_ERROR(variables_scope.begin(), "Call stack too deep");
    variables_scope.end();  // the refused frame
    EXPECT_EQ(variables_scope.depth(), 512);
    variables_scope.reset();
    EXPECT_EQ(variables_scope.depth(), 1);
}

TEST_F(Workspace, SetnameRegistersAndNamelessValuesAreIgnored)
{
    Mm v = 5.0;
    variables_scope.scope_register(&v, 0);
    EXPECT_EQ(variables_scope.scope_count(1), 0);
    v.setname("named");
    EXPECT_EQ(variables_scope.scope_count(1), 1);
    EXPECT_EQ(variables_scope.scope_lookup("named", 1), &v);
}

TEST(EvaluationHooks, FevalReportsWhenNotLinked)
{
    Mm a, b, c, d, e, f;
    EXPECT_ERROR(feval_func(TM("sin"), Mm(), i_o, a, b, c, d, e, f), "feval was not linked with the program.");
}

TEST(PluginApi, ErrorTextIsTheMessageItselfAndDestroyFrees)
{
    EXPECT_ERROR(pluErrMsgTxt("100% wrong"), "100% wrong");
    kaDestroyArray(nullptr);
    kaDestroyArray(new Mm(1.0));
    SUCCEED();
}

TEST_F(Workspace, ValuesAreTrackedByIdentityNotByName)
{
    // A value of an inner frame that outlives the frame must not touch the
    // top level's value of the same name.
    Mm outer(i_o, "x", 0);
    outer = 1.0;
    auto inner = std::make_unique<Mm>(i_o, "x", 0);
    variables_scope.begin();
    {
        Mm local(i_o, "y", 0);
        local = 2.0;
    }
    variables_scope.end();
    EXPECT_EQ(variables_scope.scope_count(1), 1);
    EXPECT_EQ(variables_scope.scope_entry(0, 1), inner.get()) << "the later x shadows the first";
    variables_scope.begin();
    auto stray = std::make_unique<Mm>(i_o, "x", 0);
    variables_scope.end();
    stray.reset();  // dies after its frame closed: frame 1 is left alone
    EXPECT_EQ(variables_scope.scope_entry(0, 1), inner.get());
    inner.reset();
    EXPECT_EQ(variables_scope.scope_entry(0, 1), &outer) << "the link hands the slot back";
}

TEST_F(Workspace, RegisteringTwiceAndRenamingLeaveOneSlot)
{
    Mm v(i_o, "first", 0);
    v = 3.0;
    v.setname("first");
    EXPECT_EQ(variables_scope.scope_count(1), 1);
    v.setname("second");
    ASSERT_EQ(variables_scope.scope_count(1), 1);
    EXPECT_EQ(variables_scope.scope_lookup("second", 1), &v);
    EXPECT_EQ(variables_scope.scope_lookup("first", 1), nullptr);
}

// A value renamed to a name that a later slot of its frame holds shadows
// nothing: it stays in its slot, which is now the first of that name.
TEST_F(Workspace, AValueRenamedToTheNameOfALaterSlotKeepsItsSlot)
{
    variables_scope.begin();
    Mm p(i_o, "p", 0), q(i_o, "q", 0), r(i_o, "r", 0), s(i_o, "s", 0);
    s = 4.0;
    q.setname("s");
    ASSERT_EQ(variables_scope.scope_count(2), 4);
    EXPECT_EQ(variables_scope.scope_entry(1, 2), &q);
    EXPECT_EQ(variables_scope.scope_entry(3, 2), &s);
    EXPECT_EQ(variables_scope.scope_find("s", 2), 1);
    EXPECT_EQ(variables_scope.scope_find("q", 2), -1);
    EXPECT_EQ(q.getscopelink(), nullptr);
    variables_scope.end();
}

TEST_F(Workspace, AShadowedValueThatDiesFirstLeavesTheChain)
{
    auto first = std::make_unique<Mm>(i_o, "g", 1);
    *first = 1.0;
    Mm second(i_o, "g", 1);
    EXPECT_EQ(second.getscopelink(), first.get());
    first.reset();  // the shadowed one goes before the one that shadows it
    EXPECT_EQ(second.getscopelink(), nullptr);
    EXPECT_EQ(variables_scope.scope_entry(0, 0), &second);
}

TEST_F(Workspace, GlobalsDestroyedInCreationOrderLeaveNothingDangling)
{
    {
        auto a = std::make_unique<Mm>(i_o, "g", 1);
        *a = 1.0;
        auto b = std::make_unique<Mm>(i_o, "g", 1);
        auto c = std::make_unique<Mm>(i_o, "g", 1);
        *c = 5.0;
        a.reset();
        b.reset();
        c.reset();
    }
    ASSERT_EQ(variables_scope.scope_count(0), 1);
    Mm* kept = variables_scope.scope_entry(0, 0);
    EXPECT_EQ(test::at(*kept, 0), 5) << "an owned copy keeps the last content";
    EXPECT_EQ(kept->getscopelink(), nullptr);
}

// A value renamed from the middle of a chain of shadowed values leaves the
// chain whole and takes no link along: two chains sharing a value would
// keep a pointer to it once it dies.
TEST_F(Workspace, AValueRenamedFromTheMiddleOfAChainTakesNoLinkAlong)
{
    auto a = std::make_unique<Mm>(i_o, "a", 0);
    *a = 1.0;
    auto b = std::make_unique<Mm>(i_o, "a", 0);
    auto c = std::make_unique<Mm>(i_o, "a", 0);
    ASSERT_EQ(c->getscopelink(), b.get());
    ASSERT_EQ(b->getscopelink(), a.get());
    b->setname("d");
    EXPECT_EQ(b->getscopelink(), nullptr) << "nothing of the name d to shadow";
    EXPECT_EQ(c->getscopelink(), a.get()) << "the chain of a closes over the gap";
    EXPECT_EQ(variables_scope.scope_lookup("d", 1), b.get());
    a.reset();
    EXPECT_EQ(c->getscopelink(), nullptr);
    *b = 7.0;
    b.reset();  // a stale link would be written through here
    c.reset();
    EXPECT_EQ(value_of("d", 1), 7) << "the top level keeps d's content";
}

// The first slot of frame f that holds a value of the name, as a walk of
// the frame finds it; -1 when none does.
int walked_slot(const char* name, int f)
{
    for (int k = 0; k < variables_scope.scope_count(f); ++k) {
        const char* n = variables_scope.scope_entry_name(k, f);
        if (n && std::string(n) == name)
            return k;
    }
    return -1;
}

// Long random runs of the registry's operations, so that shadowing,
// renaming, removal from the middle and frames opening and closing all
// meet: over a few names, checked after every step, and over hundreds,
// so that a frame holds hundreds of slots, its index grows many times and
// removals shift long stretches of slots. After each check a name is found
// at the first slot holding a value of that name, as a walk of the frame
// finds it, and every chain of shadowed values holds live values only (the
// sanitizers see a stale one).
TEST_F(Workspace, ARandomRunFindsEveryNameWhereAWalkFindsIt)
{
    struct run_case {
        const char* what;
        int names;
        int steps;
        int check_every;
    };
    const std::vector<run_case> runs = {
        {"eight names, checked after every step", 8, 4000, 1},
        {"six hundred names, checked every twenty steps", 600, 12000, 20},
    };
    for (const run_case& run : runs) {
        SCOPED_TRACE(run.what);
        std::vector<std::string> pool;
        static const char* const few[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
        for (int i = 0; i < run.names; ++i)
            pool.push_back(run.names <= 8 ? few[i] : "v" + std::to_string(i));
        const auto names = static_cast<std::uint32_t>(pool.size());
        std::vector<std::unique_ptr<Mm>> live;
        std::uint32_t state = 2463534242u;
        auto next = [&](std::uint32_t n) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return state % n;
        };
        auto check = [&](int step) {
            SCOPED_TRACE("step " + std::to_string(step));
            for (int f = 0; f <= variables_scope.depth(); ++f) {
                // The first slot of each name, from one walk of the frame.
                std::map<std::string, int> walked;
                for (int k = 0; k < variables_scope.scope_count(f); ++k) {
                    const char* n = variables_scope.scope_entry_name(k, f);
                    ASSERT_NE(n, nullptr);
                    walked.emplace(n, k);
                    int chain = 0;
                    for (Mm* v = variables_scope.scope_entry(k, f); v; v = v->getscopelink()) {
                        ASSERT_NE(v->getname(), nullptr);
                        ASSERT_LT(++chain, 1000) << "a chain that loops";
                    }
                }
                for (const std::string& name : pool) {
                    const auto w = walked.find(name);
                    EXPECT_EQ(variables_scope.scope_find(name.c_str(), f), w == walked.end() ? -1 : w->second)
                        << name << " in frame " << f;
                }
            }
        };
        int depth = 1;
        for (int step = 0; step < run.steps; ++step) {
            const std::uint32_t op = next(10);
            if (op < 4 || live.empty()) {
                live.push_back(std::make_unique<Mm>(i_o, pool[next(names)].c_str(), next(4) == 0 ? 1 : 0));
                *live.back() = static_cast<double>(step);
            } else if (op < 7) {
                const std::size_t k = next(static_cast<std::uint32_t>(live.size()));
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(k));
            } else if (op == 7) {
                live[next(static_cast<std::uint32_t>(live.size()))]->setname(pool[next(names)].c_str());
            } else if (op == 8 && depth < 4) {
                variables_scope.begin();
                ++depth;
            } else if (op == 9 && depth > 1) {
                variables_scope.end();
                --depth;
            }
            if (step % run.check_every == 0)
                check(step);
            if (::testing::Test::HasFailure())
                return;
        }
        live.clear();
        variables_scope.reset();
        check(-1);
        clear_frame(1);
        clear_frame(0);
    }
}

// The statements of a program that names the values of a growing vector:
// each growth moves the values into unnamed ones and drops the old ones,
// whose names stay at the top level as owned copies. The values lie side by
// side in memory, and there are enough of them for every table of the
// registry to grow several times.
TEST_F(Workspace, TheNamesOfAGrowingVectorStayInOrder)
{
    constexpr int n = 3000;
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k)
        names.push_back("w" + std::to_string(k));
    {
        std::vector<Mm> w;
        for (int k = 0; k < n; ++k) {
            w.emplace_back();
            w.back().setname(names[static_cast<std::size_t>(k)].c_str());
            w.back() = static_cast<double>(k);
        }
        ASSERT_EQ(variables_scope.scope_count(1), n);
        for (int k = 0; k < n; k += 7) {
            SCOPED_TRACE(names[static_cast<std::size_t>(k)]);
            const int at = variables_scope.scope_find(names[static_cast<std::size_t>(k)].c_str(), 1);
            ASSERT_EQ(at, k);
            EXPECT_STREQ(variables_scope.scope_entry_name(at, 1), names[static_cast<std::size_t>(k)].c_str());
        }
        EXPECT_EQ(variables_scope.scope_lookup(names.back().c_str(), 1), &w.back());
    }
    ASSERT_EQ(variables_scope.scope_count(1), n) << "every name stays as an owned copy";
    for (int k = 0; k < n; ++k)
        ASSERT_EQ(variables_scope.scope_find(names[static_cast<std::size_t>(k)].c_str(), 1), k) << names[static_cast<std::size_t>(k)];
    EXPECT_EQ(value_of(names.back().c_str(), 1), n - 1) << "the value alive at the end keeps its content";
    // Emptied from the last slot down, as a frame closes.
    for (int k = n - 1; k >= n / 2; --k)
        variables_scope.scope_remove_entry(k, 1);
    ASSERT_EQ(variables_scope.scope_count(1), n / 2);
    for (int k = 0; k < n; ++k)
        ASSERT_EQ(variables_scope.scope_find(names[static_cast<std::size_t>(k)].c_str(), 1), k < n / 2 ? k : -1)
            << names[static_cast<std::size_t>(k)];
    // Taken from the front: every later slot moves down by one.
    variables_scope.scope_remove_entry(0, 1);
    for (int k = 1; k < n / 2; ++k)
        ASSERT_EQ(variables_scope.scope_find(names[static_cast<std::size_t>(k)].c_str(), 1), k - 1)
            << names[static_cast<std::size_t>(k)];
    EXPECT_EQ(variables_scope.scope_find(names[0].c_str(), 1), -1);
}


// Values of a call's frame dying in the orders a program drops them (the
// order of their making, as a vector of them is destroyed; newest first;
// every other one; no order), with look-ups by name after every death,
// new values joining on the way and walks by position now and then. A
// plain list of the live names in order is the model: each name is found
// on its own value, and a walk shows the live names in their order.
TEST_F(Workspace, ValuesDyingInAnyOrderLeaveTheOthersFoundInTheirOrder)
{
    constexpr int n = 1500;
    std::vector<int> made_order(n), newest_first(n), every_other, shuffled(n);
    for (int k = 0; k < n; ++k) {
        made_order[static_cast<std::size_t>(k)] = k;
        newest_first[static_cast<std::size_t>(k)] = n - 1 - k;
    }
    for (int start : {0, 1})
        for (int k = start; k < n; k += 2)
            every_other.push_back(k);
    std::uint32_t bits = 2463534242u;
    for (int k = 0; k < n; ++k) {
        bits ^= bits << 13;
        bits ^= bits >> 17;
        bits ^= bits << 5;
        const int j = static_cast<int>(bits % static_cast<std::uint32_t>(k + 1));
        shuffled[static_cast<std::size_t>(k)] = shuffled[static_cast<std::size_t>(j)];
        shuffled[static_cast<std::size_t>(j)] = k;
    }
    const std::vector<std::pair<const char*, const std::vector<int>*>> orders = {
        {"in the order of their making", &made_order},
        {"newest first", &newest_first},
        {"every other one, then the rest", &every_other},
        {"in no order", &shuffled},
    };
    for (const auto& [what, order] : orders) {
        SCOPED_TRACE(what);
        variables_scope.begin();
        std::deque<std::string> names;  // a value keeps a pointer to its name
        std::vector<std::unique_ptr<Mm>> values;
        std::vector<std::string> live;  // the model: live names in the order of their slots
        auto join = [&](const std::string& name) {
            names.push_back(name);
            values.push_back(std::make_unique<Mm>(i_o, names.back().c_str(), 0));
            *values.back() = static_cast<double>(values.size());
            live.push_back(name);
        };
        for (int k = 0; k < n; ++k)
            join("v" + std::to_string(k));
        auto walk_matches = [&] {
            ASSERT_EQ(variables_scope.scope_count(2), static_cast<int>(live.size()));
            for (std::size_t k = 0; k < live.size(); ++k)
                ASSERT_STREQ(variables_scope.scope_entry_name(static_cast<int>(k), 2), live[k].c_str()) << k;
        };
        for (std::size_t step = 0; step < order->size(); ++step) {
            const int k = (*order)[step];
            const std::string name = "v" + std::to_string(k);
            values[static_cast<std::size_t>(k)].reset();
            live.erase(std::find(live.begin(), live.end(), name));
            ASSERT_EQ(variables_scope.scope_lookup(name.c_str(), 2), nullptr) << name;
            if (step + 1 < order->size()) {
                const int next = (*order)[step + 1];
                const std::string next_name = "v" + std::to_string(next);
                ASSERT_EQ(variables_scope.scope_lookup(next_name.c_str(), 2), values[static_cast<std::size_t>(next)].get())
                    << next_name;
            }
            if (step % 97 == 0) {
                join("late" + std::to_string(step));
                ASSERT_EQ(variables_scope.scope_lookup(live.back().c_str(), 2), values.back().get());
            }
            if (step % 331 == 0) {
                walk_matches();
                ASSERT_EQ(variables_scope.scope_find(live.back().c_str(), 2), static_cast<int>(live.size()) - 1);
            }
        }
        walk_matches();
        for (std::size_t k = 0; k < live.size(); ++k)
            ASSERT_EQ(variables_scope.scope_find(live[k].c_str(), 2), static_cast<int>(k)) << live[k];
        // What is left dies as the frame closes.
        for (auto& v : values) {
            if (v) {
                EXPECT_NE(variables_scope.scope_lookup(v->getname(), 2), nullptr);
            }
        }
        variables_scope.end();
        values.clear();
        EXPECT_EQ(variables_scope.scope_count(2), 0);
    }
}

// The head of a chain of shadowed values that is renamed leaves the older
// values their name, with the latest content of that name.
TEST_F(Workspace, ARenamedHeadOfAChainLeavesTheNameToWhatItShadowed)
{
    Mm first(i_o, "g", 1);
    first = 1.0;
    variables_scope.begin();
    {
        Mm second(i_o, "g", 1);
        second = 2.0;
        second.setname("h");
        EXPECT_EQ(variables_scope.scope_lookup("g", 0), &first);
        EXPECT_EQ(test::at(first, 0), 2) << "g's latest content goes back to g";
        EXPECT_EQ(variables_scope.scope_lookup("h", 0), &second);
        EXPECT_EQ(second.getscopelink(), nullptr);
        second = 3.0;
    }
    variables_scope.end();
    EXPECT_EQ(variables_scope.scope_lookup("g", 0), &first);
    EXPECT_EQ(test::at(first, 0), 2) << "h's content is not g's";
}

// A value without a name is not looked for when it dies, so one that loses
// its name leaves the registry at once; what it shadowed is found again.
TEST_F(Workspace, AValueThatLosesItsNameLeavesTheRegistry)
{
    variables_scope.begin();
    Mm first(i_o, "e", 0);
    first = 1.0;
    auto shadowed = std::make_unique<Mm>(i_o, "e", 0);
    auto head = std::make_unique<Mm>(i_o, "e", 0);
    Mm after(i_o, "f", 0);
    ASSERT_EQ(variables_scope.scope_count(2), 2);
    head->setname(nullptr);
    EXPECT_EQ(variables_scope.scope_lookup("e", 2), shadowed.get());
    EXPECT_EQ(head->getscopelink(), nullptr);
    head.reset();
    shadowed->setname(nullptr);
    EXPECT_EQ(variables_scope.scope_lookup("e", 2), &first);
    shadowed.reset();
    ASSERT_EQ(variables_scope.scope_count(2), 2);
    EXPECT_EQ(variables_scope.scope_entry(0, 2), &first);
    EXPECT_EQ(first.getscopelink(), nullptr);
    EXPECT_EQ(variables_scope.scope_lookup("f", 2), &after);
    variables_scope.end();
}

// Every registry operation run with its n-th request to operator new
// refused, for n = 1, 2, ... until one runs through. The values live in
// fixed storage, so that the address of one that died is not taken by
// another: after each run no slot and no chain may hold a dead one, and
// every name must be found at the first slot that holds it, as a walk of
// the frame finds it. The frames hold many values and chains of shadowed
// ones, so that removals shift slots and hand them down chains.
TEST_F(Workspace, ARefusedAllocationLeavesEverySlotLiveAndFindable)
{
    static const char* const pool[] = {"a", "b", "c", "d", "e", "f", "g", "h", "renamed_to_a_name_too_long_for_short_strings"};
    std::array<std::optional<Mm>, 24> held;
    auto is_held = [&](const Mm* v) {
        for (const auto& h : held)
            if (h && &*h == v)
                return true;
        return false;
    };
    // Where each value lives, also while there is none (a value whose
    // making was refused may not stay in the registry either).
    std::array<const Mm*, 24> place{};
    for (std::size_t i = 0; i < held.size(); ++i) {
        place[i] = &held[i].emplace();
        held[i].reset();
    }
    auto make = [&](std::size_t i, const char* name, int global) { held[i].emplace(i_o, name, global); };
    auto is_dead = [&](const Mm* v) {
        for (std::size_t i = 0; i < held.size(); ++i)
            if (!held[i] && place[i] == v)
                return true;
        return false;
    };
    auto check = [&] {
        std::set<const Mm*> seen;
        for (int f = 0; f <= variables_scope.depth(); ++f) {
            for (int k = 0; k < variables_scope.scope_count(f); ++k) {
                const Mm* head = variables_scope.scope_entry(k, f);
                ASSERT_FALSE(is_dead(head)) << "slot " << k << " of frame " << f << " holds a value that died";
                ASSERT_TRUE(seen.insert(head).second) << "slot " << k << " of frame " << f << " holds a value twice";
                for (const Mm* v = head->getscopelink(); v; v = v->getscopelink()) {
                    ASSERT_TRUE(is_held(v)) << "the chain of slot " << k << " of frame " << f << " holds a dead value";
                    ASSERT_TRUE(seen.insert(v).second) << "the chain of slot " << k << " of frame " << f << " holds a value twice";
                }
            }
            for (const char* name : pool)
                EXPECT_EQ(variables_scope.scope_find(name, f), walked_slot(name, f)) << name << " in frame " << f;
        }
    };
    // Top level: a, b, c, then a global g declared twice (a chain in frame
    // 0). Inner frame: d, the chain e <- e <- e, f, g again, the chain h <- h,
    // and more values behind them.
    auto build = [&] {
        static const char* const top[] = {"a", "b", "c"};
        int i = 0;
        for (const char* name : top)
            make(static_cast<std::size_t>(i++), name, 0);
        make(3, "g", 1);
        make(4, "g", 1);
        variables_scope.begin();
        static const char* const inner[] = {"d", "e", "e", "e", "f", "g", "h", "h", "a", "b", "c"};
        i = 5;
        for (const char* name : inner) {
            make(static_cast<std::size_t>(i), name, name[0] == 'g' ? 1 : 0);
            *held[static_cast<std::size_t>(i)] = static_cast<double>(i);
            ++i;
        }
    };
    auto tear_down = [&] {
        for (std::size_t i = held.size(); i-- > 0;) {
            held[i].reset();
            check();
        }
        variables_scope.reset();
        clear_frame(1);
        clear_frame(0);
    };
    // Hundreds of values join the inner frame: every table of the registry
    // grows while it fills. They die newest first on every path; none of
    // them may stay in the registry.
    std::vector<std::string> many_names;
    for (int i = 0; i < 700; ++i)
        many_names.push_back("many" + std::to_string(i));
    auto fill_the_frame = [&] {
        const int f = variables_scope.depth();
        const int before = variables_scope.scope_count(f);
        std::vector<Mm> many;
        auto drop = [&] {
            while (!many.empty())
                many.pop_back();
            EXPECT_EQ(variables_scope.scope_count(f), before) << "a value that died is still registered";
        };
        try {
            many.reserve(many_names.size());
            for (const std::string& name : many_names)
                many.emplace_back(i_o, name.c_str(), 0);
        } catch (...) {
            drop();
            throw;
        }
        drop();
    };
    // The registry still takes values after the statement: a new one in the
    // inner frame and a new global are found in the last slots.
    auto still_takes_values = [&] {
        for (const int global : {0, 1}) {
            const int f = global ? 0 : variables_scope.depth();
            Mm probe(i_o, "probe_after_the_statement", global);
            EXPECT_EQ(variables_scope.scope_find("probe_after_the_statement", f), variables_scope.scope_count(f) - 1)
                << "frame " << f;
            EXPECT_EQ(variables_scope.scope_lookup("probe_after_the_statement", f), &probe) << "frame " << f;
        }
    };
    struct registry_case {
        const char* what;
        std::function<void()> statement;
    };
    const std::vector<registry_case> cases = {
        {"a value dies from the front of a long frame", [&] { held[5].reset(); }},
        {"the head of a chain dies and hands its slot on", [&] { held[8].reset(); }},
        {"the middle of a chain dies", [&] { held[7].reset(); }},
        {"a top-level value dies and leaves an owned copy", [&] { held[1].reset(); }},
        {"a global declared twice dies", [&] { held[10].reset(); }},
        {"a new value shadows one of its name", [&] { make(16, "f", 0); }},
        {"a new value shadows the head of a chain", [&] { make(16, "e", 0); }},
        {"a value is renamed to a name new to its frame", [&] { held[5]->setname(pool[8]); }},
        {"the head of a chain is renamed", [&] { held[8]->setname(pool[8]); }},
        {"a value is renamed to a name its frame has", [&] { held[9]->setname("d"); }},
        {"a shadowed value is renamed", [&] { held[6]->setname(pool[8]); }},
        {"the head of a chain loses its name", [&] { held[8]->setname(nullptr); }},
        {"a shadowed value loses its name", [&] { held[7]->setname(nullptr); }},
        {"a frame fills past the room of every table", fill_the_frame},
        {"a value is renamed and dies", [&] {
             held[5]->setname(pool[8]);
             held[5].reset();
             held[12].reset();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (long n = 1;; ++n) {
            SCOPED_TRACE("refused request " + std::to_string(n));
            // The registry as the library loads it, holding no memory, so
            // that every run makes the same requests and each is refused
            // in turn, growths of its tables included.
            variables_scope.shutdown();
            variables_scope.begin();
            variables_scope.begin();
            build();
            refused = false;
            refuse_countdown = n;
            try {
                c.statement();
            } catch (const std::bad_alloc&) {
                // refused in the test's own code
            } catch (const char* text) {
                EXPECT_STREQ(text, "Out of memory!") << "the library reports a refusal as its error";
            }
            refuse_countdown = 0;
            check();
            still_takes_values();
            tear_down();
            check();
            if (::testing::Test::HasFailure())
                return;
            if (!refused)
                break;
        }
    }
}

} // namespace
