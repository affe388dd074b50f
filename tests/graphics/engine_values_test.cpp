// Values in the engine's layout and GUI callbacks coming back from it.
#include "graphics/engine_values.hpp"
#include "test_support.hpp"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace {

TEST(EngineValues, BuildZeroFillsAndDestroyReleases)
{
    miniM m;
    minim_build(m, 2, 3, 0, 0);
    EXPECT_EQ(m.ndims, 2);
    EXPECT_EQ(m.dims[0], 2);
    EXPECT_EQ(m.dims[1], 3);
    EXPECT_EQ(m.dims[2], 1);
    EXPECT_EQ(m.dims[3], 1);
    EXPECT_EQ(minim_numel(m), 6);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m.data[k], 0.0);
    minim_destroy(m);
    EXPECT_EQ(m.ndims, -1);
    EXPECT_EQ(m.data, nullptr);
}

TEST(EngineValues, AddressAndElementAccessAreBoundsChecked)
{
    miniM empty;
    minim_build(empty, 0, 0, 0, 0);
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_NO_THROW(minim_addr(empty, 0));
    EXPECT_ERROR(minim_r(empty, 1), "miniM.r: r out of range");
    minim_destroy(empty);

    miniM m;
    minim_build(m, 1, 4, 0, 0);
    EXPECT_EQ(minim_addr(m, 4), m.data + 4) << "one past the end is accepted";
    EXPECT_ERROR(minim_addr(m, 5), "miniM addr: offset out of range.");
    EXPECT_ERROR(minim_addr(m, -1), "miniM addr: offset out of range.");
    minim_r(m, 4) = 7;
    EXPECT_EQ(m.data[3], 7);
    minim_destroy(m);
}

TEST(EngineValues, ValuesCrossBothWays)
{
    Mm x = test::real(2, 2, {1, 2, 3, 4});
    owned_minim out(x);
    EXPECT_EQ(out.get()->data[3], 4);
    Mm back = value_from_minim(*out.get());
    EXPECT_EQ(back.rows(), 2);
    EXPECT_EQ(test::at(back, 2), 3);
    Mm t = TM("go");
    owned_minim text(t);
    EXPECT_TRUE(minim_is_string(*text.get()));
    EXPECT_FALSE(minim_is_string(*out.get()));
    EXPECT_EQ(minim_ndims(*out.get()), 2);
    EXPECT_EQ(std::vector<int>(minim_dims(*text.get()), minim_dims(*text.get()) + 4), (std::vector<int>{1, 2, 1, 1}));
    EXPECT_EQ(value_from_minim(*text.get()).isstr(), 1);
}

std::vector<std::string> callbacks;
Mm record_callback(Mm text)
{
    char buf[64];
    Mstr(text, buf, sizeof buf);
    callbacks.push_back(std::string(buf) + (text.isstr() ? " (text)" : ""));
    if (callbacks.back().rfind("fail", 0) == 0) {
        qv_error_stack.depth = 5;  // frames the failed callback left behind
        error("callback failed");
    }
    return x_M;
}

TEST(GuiCallbacks, TextFromTheEngineRunsThroughTheHook)
{
    callbacks.clear();
    callback_func_t old = callback_func;
    callback_func = record_callback;
    EXPECT_EQ(vizmo::test::fire_callback("disp(1)"), true);
    EXPECT_EQ(vizmo::test::fire_callback(""), true);
    callback_func = old;
    ASSERT_EQ(callbacks.size(), 1u) << "an empty callback text runs nothing";
    EXPECT_EQ(callbacks[0], "disp(1) (text)");
}

TEST(GuiCallbacks, AnErrorInsideIsReportedAndTheDepthRestored)
{
    callbacks.clear();
    test::clear_printed();
    callback_func_t old = callback_func;
    callback_func = record_callback;
    qv_error_stack.depth = 1;
    EXPECT_NO_THROW(vizmo::test::fire_callback("fail now"));
    callback_func = old;
    EXPECT_EQ(qv_error_stack.depth, 1);
    EXPECT_EQ(test::printed().rfind("error: callback failed\n", 0), 0u) << test::printed();
    qv_error_stack.depth = 0;
    test::clear_printed();
}

} // namespace
