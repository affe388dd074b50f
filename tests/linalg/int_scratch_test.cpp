// The integer scratch array of the solvers: a fill pointer that ran past
// the count is reported when the array is released, and a released array
// is released once.
#include "linalg/int_scratch.hpp"
#include "test_support.hpp"

namespace {

TEST(IntScratch, ReleaseWarnsOfAnOverrun)
{
    struct Case {
        const char* what;
        int filled;
        bool warns;
    };
    const Case cases[] = {{"within", 3, false}, {"to the end", 4, false}, {"past the end", 5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        {
            int_scratch s{4};
            ASSERT_NE(s.get(), nullptr);
            EXPECT_EQ(s.size(), 4u);
            s.fill_pointer() = s.get() + c.filled;
        }
        EXPECT_EQ(test::printed().find("possible memory overwrite") != std::string::npos, c.warns) << test::printed();
    }
    int_scratch s{2};
    release_int_scratch(s);
    EXPECT_EQ(s.get(), nullptr);
    release_int_scratch(s);  // and the destructor: nothing left to free
}

} // namespace
