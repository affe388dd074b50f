// Figure utilities against the stand-in engine: drawnow, checkforbuttonpress
// and guiexit as the engine's log records them.
#include "test_support.hpp"

#include "vizmo4510.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> engine_log()
{
    std::vector<std::string> out;
    for (int k = 0; k < vizmo_log_size(); ++k)
        out.emplace_back(vizmo_log_line(k));
    return out;
}

TEST(FigureUtils, CheckForButtonPressAsksTheEngine)
{
    vizmo_log_clear();
    const int answers[] = {1, 0, 5};
    vizmo_script_button_press(answers, 3);
    std::vector<double> seen;
    for (int k = 0; k < 5; ++k)
        seen.push_back(checkforbuttonpress().r());
    EXPECT_EQ(seen, (std::vector<double>{1, 0, 1, 0, 0})) << "any non-zero answer is a press; none left is 0";
    EXPECT_EQ(engine_log(), (std::vector<std::string>{"button_press 1", "button_press 0", "button_press 1",
                                                      "button_press 0"}))
        << "a run of equal answers shares one line";

    vizmo_script_button_press(answers, 3);
    vizmo_script_button_press(nullptr, 0);
    EXPECT_EQ(checkforbuttonpress().r(), 0) << "a new script replaces the old one";
}

TEST(FigureUtils, DrawnowAndGuiexit)
{
    vizmo_log_clear();
    EXPECT_EQ(drawnow().getpr((void*)nullptr), x_M.getpr((void*)nullptr));
    guiexit(3);
    EXPECT_EQ(engine_log(), (std::vector<std::string>{"redraw", "redraw", "exit 3"}));
}

} // namespace
