// A fresh headless engine for each GUI test, the callback texts the engine
// ran, and small readers of what the engine holds.
#pragma once

#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace gui_test {

// Callback texts run through the callback hook since the fixture began.
inline std::vector<std::string>& ran()
{
    static std::vector<std::string> texts;
    return texts;
}

// Records every non-empty callback text; "resume" calls uiresume().
inline Mm record_callback(Mm text)
{
    const std::string s = test::text_of(text);
    if (!s.empty())
        ran().push_back(s);
    if (s == "resume")
        uiresume();
    return x_M;
}

class Gui : public ::testing::Test {
protected:
    void SetUp() override
    {
        vizmo::test::reset();
        ran().clear();
        saved_ = callback_func;
        callback_func = record_callback;
        waitbar_figure = Mm(-1.0);
        waitbar_bar = Mm(-1.0);
    }
    void TearDown() override
    {
        callback_func = saved_;
        vizmo::test::reset();
    }

private:
    callback_func_t saved_ = nullptr;
};

inline std::string prop_text(double h, const char* name) { return vizmo::test::prop(h, name).text(); }

inline std::vector<double> prop_values(double h, const char* name) { return vizmo::test::prop(h, name).data; }

// A 1x1 engine value of a number, to write directly.
inline void write_number(double h, const char* name, double v)
{
    miniM m{2, {1, 1, 1, 1}, 0, &v};
    vizmo_set_property(h, name, &m);
}

inline void write_text(double h, const char* name, const std::string& s)
{
    std::vector<double> codes(s.begin(), s.end());
    miniM m{2, {1, static_cast<int>(codes.size()), 1, 1}, 1, codes.data()};
    vizmo_set_property(h, name, &m);
}

} // namespace gui_test
