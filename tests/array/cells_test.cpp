// The cell constructor and the size arguments it shares with the others.
#include "test_support.hpp"

#include <vector>

namespace {

TEST(Cells, SizesAndEmptyElements)
{
    struct Case {
        const char* what;
        Mm value;
        std::vector<int> dims;
    };
    const std::vector<Case> cases = {
        {"cell(2)", cell(Mm(2.0)), {2, 2}},
        {"cell([2 3])", cell(test::row({2, 3})), {2, 3}},
        {"cell(2, 3)", cell(Mm(2.0), Mm(3.0)), {2, 3}},
        {"cell(0)", cell(Mm(0.0)), {0, 0}},
        {"cell(2.7) truncates", cell(Mm(2.7)), {2, 2}},
        {"cell([2.5 1]) rounds", cell(test::row({2.5, 1})), {3, 1}},
        {"cell([1 2 3])", cell(test::row({1, 2, 3})), {1, 2, 3}},
        {"cell([])", cell(x_M), {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.value), c.dims);
        if (c.value.size() > 0) {
            EXPECT_EQ(c.value.gettype(), qv_cell);
            EXPECT_EQ(c.value.mr(1).gettype(), qv_double) << "elements are empty doubles";
            EXPECT_EQ(c.value.mr(1).size(), 0);
        }
    }
    test::clear_printed();
    Mm warned = cell(Mm(2.0), test::row({1, 2}));
    EXPECT_EQ(test::extents(warned), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::printed(), "warning: eye01: expecting scalar argument\n\n");
}

} // namespace
