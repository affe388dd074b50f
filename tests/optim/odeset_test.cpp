// odeset and odeget: the 4x1 options value, its names and defaults.
#include "test_support.hpp"

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(Odeset, SlotsByName)
{
    EXPECT_EQ(test::extents(odeset()), (std::vector<int>{4, 1}));
    EXPECT_EQ(test::values(odeset()), (std::vector<double>{0, 0, 0, 0}));
    struct Case {
        const char* what;
        Mm value;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"lower case name", odeset(TM("reltol"), Mm(1e-5)), {1e-5, 0, 0, 0}},
        {"no abbreviation", odeset(TM("Rel"), Mm(1e-5)), {0, 0, 0, 0}},
        {"first element only", odeset(TM("AbsTol"), test::row({1e-8, 1e-9})), {0, 1e-8, 0, 0}},
        {"later pair wins", odeset(odeset(TM("RelTol"), Mm(0.1)), TM("Refine"), Mm(8.0), TM("Refine"), Mm(2.0)),
         {0.1, 0, 2, 0}},
        {"empty value skipped", odeset(TM("Refine"), Mm(3.0), TM("Refine"), Mm()), {0, 0, 3, 0}},
        {"five pairs", odeset(TM("RelTol"), Mm(1.0), TM("ABSTOL"), Mm(2.0), TM("refine"), Mm(3.0),
                              TM("InitialStep"), Mm(4.0), TM("Other"), Mm(5.0)),
         {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.value), c.expected);
    }
    const Mm base = odeset(TM("RelTol"), Mm(0.5));
    odeset(base, TM("RelTol"), Mm(0.25));
    EXPECT_EQ(test::at(base, 0), 0.5) << "the given value is not changed";
    EXPECT_ERROR(odeset(Mm(1.0)), "odeset does not accept 1 input");
    // A value whose read element has an imaginary part was stored as its
    // real part, without a word.
    const std::vector<std::pair<const char*, const char*>> names = {
        {"reltol", "RelTol"}, {"AbsTol", "AbsTol"}, {"Refine", "Refine"}, {"INITIALSTEP", "InitialStep"}};
    for (const auto& [given, stored] : names) {
        SCOPED_TRACE(given);
        EXPECT_ERROR(odeset(TM(given), test::complex(1, 1, {1e-4}, {1})), std::string("odeset: ") + stored + " must be real");
        EXPECT_ERROR(odeset(odeset(), TM(given), test::complex(1, 1, {0}, {2})),
                     std::string("odeset: ") + stored + " must be real");
    }
    EXPECT_EQ(test::values(odeset(TM("RelTol"), test::complex(1, 1, {1e-4}, {0}))), (std::vector<double>{1e-4, 0, 0, 0}));
    EXPECT_EQ(test::values(odeset(TM("AbsTol"), test::complex(1, 2, {1e-8, 1e-9}, {0, 1}))),
              (std::vector<double>{0, 1e-8, 0, 0}))
        << "the first element only is read";
}

// An options value that odeget would refuse is refused when it is given to
// odeset, instead of being written (or failing inside the element access
// with a text that names no function).
TEST(Odeset, RefusesWhatOdegetRefuses)
{
    const std::string size = ": options is not correct size";
    const std::string kind = ": options must be an options vector made by odeset";
    struct Case {
        const char* what;
        Mm options;
        std::string message;  // after the function's name
    };
    const std::vector<Case> cases = {
        {"odeset([1 2 3], 'RelTol', 1e-4)", test::row({1, 2, 3}), size},
        {"two elements", test::row({1, 2}), size},
        {"five elements", test::row({1, 2, 3, 4, 5}), size},
        {"odeset(optimset(), 'RelTol', 1e-4)", optimset(), kind},
        {"a cell of four", test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), Mm(4.0)}), kind},
        {"four characters", TM("abcd"), kind},
        // An imaginary part was dropped without a word.
        {"a complex slot", test::complex(4, 1, {1e-3, 1e-6, 0, 0}, {0, 1, 0, 0}), ": options must be real"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(odeset(c.options, TM("RelTol"), Mm(1e-4)), "odeset" + c.message);
        EXPECT_ERROR(odeget(c.options, TM("RelTol"), Mm(7.0)), "odeget" + c.message);
    }
    // A value of four elements keeps its shape.
    const Mm row = odeset(test::row({1, 2, 3, 4}), TM("Refine"), Mm(8.0));
    EXPECT_EQ(test::extents(row), (std::vector<int>{1, 4}));
    EXPECT_EQ(test::values(row), (std::vector<double>{1, 2, 8, 4}));
}

TEST(Odeget, ValuesAndDefaults)
{
    EXPECT_EQ(test::at(odeget(odeset(TM("RelTol"), Mm(-1.0)), TM("RelTol"), Mm(0.5)), 0), 0.5);
    EXPECT_EQ(test::at(odeget(odeset(), TM("RelTol"), Mm(0.5)), 0), 0.5);
    EXPECT_EQ(test::at(odeget(odeset(TM("Refine"), Mm(8.0)), TM("REFINE"), Mm(4.0)), 0), 8);
    EXPECT_EQ(test::at(odeget(Mm(), TM("RelTol"), Mm(7.0)), 0), 7);
    EXPECT_EQ(test::at(odeget(odeset(TM("RelTol"), Mm(0.1)), TM("Unknown"), Mm(7.0)), 0), 7);
    const Mm empty = odeget(odeset(), TM("RelTol"));
    EXPECT_EQ(test::extents(empty), (std::vector<int>{0, 0}));
    EXPECT_ERROR(odeget(test::row({1, 2, 3}), TM("RelTol"), Mm(7.0)), "odeget: options is not correct size");
    EXPECT_ERROR(odeget(odeset()), "odeget does not accept 1 input");
}

} // namespace
