// odeset and odeget: the 4x1 options value, its names and defaults.
#include "test_support.hpp"

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
    EXPECT_ERROR(odeset(test::row({1, 2}), TM("Refine"), Mm(2.0)), "(temporary).r(idx): idx=3 out of matrix");
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
