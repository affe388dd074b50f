// The functions and operators a user applies to the largest sparse values,
// swept in process (the address-space limit probe runs the same table
// under a 3 GB limit): each answers from the stored entries as a plain
// model of them says, or refuses with the message its size calls for.
#include "sparse_limit_sweep.hpp"
#include "test_support.hpp"

#include <string>

namespace {

// A row and a column of 2^31 - 1 elements and a 46340 x 46340 square with
// six entries, the last position among them. Before this sweep the index
// of max(S, [], 1) of the row (2^31 - 1 places, full) and cumsum along the
// row (2^31 - 1 running values) said "Out of memory!" where a full form of
// that size is refused as such, and norm(S, Inf) of the row and column
// was refused as a full form where it is their largest magnitude.
TEST(SparseLimit, EveryFunctionOnTheLargestSparseValuesFollowsItsStoredEntries)
{
    for (const sparse_sweep::shape& sh : sparse_sweep::shapes()) {
        const Mm s = sparse_sweep::value_of(sh);
        const sparse_sweep::model m = sparse_sweep::model_of(s);
        for (const sparse_sweep::step& st : sparse_sweep::steps()) {
            SCOPED_TRACE(std::string(sh.what) + ": " + st.what);
            Mm got;
            const std::string got_error = test::error_of([&] { got = st.call(s); });
            EXPECT_EQ(sparse_sweep::judge(got, got_error, st.expect(m)), "");
            EXPECT_TRUE(sparse_sweep::model_of(s).at == m.at && s.rows() == sh.rows && s.cols() == sh.cols)
                << "the operand changed";
        }
    }
}

} // namespace
