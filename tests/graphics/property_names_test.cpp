// The property-name constants: every text exactly once, made at load.
#include "graphics/property_names.hpp"
#include "test_support.hpp"

#include <set>
#include <string>

namespace {

TEST(PropertyNames, EveryConstantHoldsItsTextOnce)
{
    EXPECT_EQ(property_name_count, 389);
    std::set<std::string> seen;
    for (int k = 0; k < property_name_count; ++k) {
        const property_name_entry& e = property_name_table[k];
        SCOPED_TRACE(e.text);
        EXPECT_TRUE(e.value->isstr());
        EXPECT_EQ(e.value->rows(), 1);
        EXPECT_EQ(test::text_of(*e.value), e.text);
        EXPECT_TRUE(seen.insert(e.text).second) << "texts are distinct";
    }
    EXPECT_EQ(test::text_of(pv_2position), "2position");
    EXPECT_EQ(test::text_of(pv_topl), "topl");
    EXPECT_EQ(test::text_of(pn_ButtonDownFnc), "ButtonDownFnc");
    EXPECT_EQ(test::text_of(pn_ColorMap), "ColorMap");
    EXPECT_EQ(test::text_of(pn_Colormap), "Colormap");
    EXPECT_EQ(test::text_of(pn_DefaultUIcontrolBackgroundColor), "DefaultUIcontrolBackgroundColor");
    EXPECT_EQ(test::text_of(pn_DefaultUIControlForegroundColor), "DefaultUIControlForegroundColor");
    EXPECT_EQ(test::text_of(pn_Reset), "Reset");
    EXPECT_EQ(test::text_of(pv_reset), "reset");
}

TEST(PropertyNames, TheEmptyTextIsAOneByZeroString)
{
    EXPECT_TRUE(pv_empty_text.isstr());
    EXPECT_EQ(pv_empty_text.rows(), 1);
    EXPECT_EQ(pv_empty_text.cols(), 0);
}

TEST(PropertyNames, HostedAxesStartEmpty) { EXPECT_EQ(hosted_axes.size(), 0); }

} // namespace
