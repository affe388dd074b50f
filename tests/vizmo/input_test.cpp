// The scripted user: presses, keys, closes and control actions taken by the
// engine's waits and polls, and the policy a poll follows with nothing
// pending.
#include "vizmo_support.hpp"

namespace {

using namespace vizmo_testing;
namespace vt = vizmo::test;

class Input : public Engine {
protected:
    void SetUp() override
    {
        Engine::SetUp();
        fig = vizmo_create_object("Figure", -1);
        ax = vizmo_create_object("Axes", -1);
        set(ax, "Parent", num(fig));
        line = vizmo_create_object("line", -1);
        set(line, "Parent", num(ax));
    }
    double fig = 0, ax = 0, line = 0;
};

TEST_F(Input, WaitingForAPress)
{
    struct Case {
        const char* what;
        void (*script)(double fig, double ax, double line);
        int answer;
        std::vector<double> point;
        double character;
    };
    const std::vector<Case> cases = {
        {"a press on the axes", [](double, double ax, double) { vt::push_mouse(ax, 0.5, 2, 1); }, 0, {0.5, 2}, 1},
        {"a press on a line sets its axes' point",
         [](double, double, double line) { vt::push_mouse(line, 3, 4, 3); }, 0, {3, 4}, 3},
        {"a key", [](double, double, double) { vt::push_key(13); }, 1, {}, 13},
        {"a close", [](double fig, double, double) { vt::push_close(fig); }, 2, {}, -1},
        {"nothing more will come", [](double, double, double) {}, -1, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.script(fig, ax, line);
        EXPECT_EQ(vizmo_button_press(0), c.answer);
        if (c.answer == 0) {
            const double target = std::string(c.what).find("line") != std::string::npos ? line : ax;
            EXPECT_EQ(get(fig, "CurrentObject"), (std::vector<double>{target}));
            EXPECT_EQ(get(ax, "CurrentPoint"), c.point);
        }
        if (c.character >= 0) {
            EXPECT_EQ(get(fig, "CurrentCharacter"), (std::vector<double>{c.character}));
        }
        if (c.answer == 2) {
            EXPECT_FALSE(vt::exists(fig));
            EXPECT_EQ(vizmo_current_figure(), -1);
        }
    }
}

TEST_F(Input, CallbacksRunAndArePassedOver)
{
    const double box = vizmo_create_object("checkbox", -1);
    set(box, "Parent", num(fig));
    set(box, "Callback", text("clicked"));
    const double dead = box + 1000;
    vt::push_callback(box);
    vt::push_callback(dead);
    vt::push_callback(box);
    vt::push_key('x');
    EXPECT_EQ(vizmo_button_press(0), 1);
    EXPECT_EQ(seen().callbacks, (std::vector<std::string>{"clicked", "clicked"}));
    EXPECT_EQ(get(box, "Value"), (std::vector<double>{0})) << "toggled twice";
    vt::push_callback(box);
    EXPECT_EQ(vizmo_button_press(0), -1);
    EXPECT_EQ(get(box, "Value"), (std::vector<double>{1}));
}

std::vector<double> seen_current;
void note_current(const std::string&)
{
    seen_current.push_back(get(0, "CallbackObject").at(0));
    seen_current.push_back(get(1, "CurrentObject").at(0));
}

TEST_F(Input, ACallbackSeesItsObjectAsCurrent)
{
    ASSERT_EQ(fig, 1);
    const double button = vizmo_create_object("pushbutton", -1);
    set(button, "Parent", num(fig));
    set(button, "Callback", text("go"));
    set(fig, "CurrentObject", num(ax));
    seen_current.clear();
    seen().on_callback = note_current;
    vt::push_callback(button);
    vizmo_wait();
    EXPECT_EQ(seen_current, (std::vector<double>{button, button}));
    EXPECT_TRUE(get(0, "CallbackObject").empty());
    EXPECT_EQ(get(fig, "CurrentObject"), (std::vector<double>{ax})) << "restored";
}

void resume_from_callback(const std::string& text)
{
    if (text == "resume")
        vizmo_resume();
}

TEST_F(Input, WaitEndsOnResumeCloseOrAnExhaustedScript)
{
    const double button = vizmo_create_object("pushbutton", -1);
    set(button, "Parent", num(fig));
    set(button, "Callback", text("resume"));
    seen().on_callback = resume_from_callback;

    struct Case {
        const char* what;
        void (*script)(double fig, double button);
        const char* end;
        std::size_t left;
    };
    const std::vector<Case> cases = {
        {"a callback resumes", [](double, double b) { vt::push_callback(b); vt::push_key(1); }, "wait-end resume", 1},
        {"a scripted resume", [](double, double) { vt::push_resume(); vt::push_key(1); }, "wait-end resume", 1},
        {"the figure closes", [](double f, double) { vt::push_close(f); vt::push_key(1); }, "wait-end close", 1},
        {"the script runs out", [](double, double) { vt::push_key(1); }, "wait-end exhausted", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!vt::exists(fig)) {
            fig = vizmo_create_object("Figure", -1);
            set(button, "Parent", num(fig));
        }
        vizmo_create_object("Figure", static_cast<int>(fig));
        c.script(fig, button);
        const std::size_t mark = vt::mark();
        vizmo_wait();
        const std::vector<std::string> log = vt::since(mark);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), c.end);
        EXPECT_EQ(vt::pending_events(), c.left);
        while (vt::pending_events())
            vizmo_button_press(0);
    }

    vizmo_resume();
    vt::push_key(1);
    vizmo_wait();
    EXPECT_EQ(vt::log().back(), "wait-end exhausted") << "a resume with no wait running is not kept";
}

void nested_wait(const std::string& text)
{
    if (text == "inner")
        vizmo_wait();
}

TEST_F(Input, NestedWaitsResumeInnermostFirst)
{
    const double button = vizmo_create_object("pushbutton", -1);
    set(button, "Parent", num(fig));
    set(button, "Callback", text("inner"));
    seen().on_callback = nested_wait;
    vt::push_callback(button);  // the outer wait runs it; it waits again
    vt::push_resume();          // ends the inner wait
    vt::push_key(1);            // taken by the outer wait
    vt::push_resume();          // ends the outer wait
    vt::push_key(2);
    vizmo_wait();
    EXPECT_EQ(vt::pending_events(), 1u);
    EXPECT_EQ(get(fig, "CurrentCharacter"), (std::vector<double>{1}));
}

TEST_F(Input, WaitForObjectEndsWhenItDies)
{
    const double button = vizmo_create_object("pushbutton", -1);
    set(button, "Parent", num(fig));
    vt::push_key(1);
    vt::push_close(fig);
    vt::push_key(2);
    vizmo_wait_for_object(button);
    EXPECT_FALSE(vt::exists(button));
    EXPECT_EQ(vt::pending_events(), 1u);
    EXPECT_EQ(vt::log().back(), "wait-end deleted");

    const double other = vizmo_create_object("line", -1);
    vizmo_wait_for_object(other);
    EXPECT_EQ(vt::log().back(), "wait-end exhausted");
    vizmo_wait_for_object(12345.5);
    EXPECT_EQ(vt::log().back(), "wait-end deleted") << "a dead handle ends at once";
}

TEST_F(Input, PollsFollowThePolicyWhenNothingIsPending)
{
    struct Case {
        vt::Policy policy;
        int idle_answer;
    };
    for (const Case& c : {Case{vt::Policy::Strict, -1}, Case{vt::Policy::AutoContinue, 1}}) {
        SCOPED_TRACE(c.idle_answer);
        vt::set_policy(c.policy);
        EXPECT_EQ(vizmo_button_press(1), c.idle_answer);
        vt::push_mouse(ax, 1, 1, 1);
        EXPECT_EQ(vizmo_button_press(1), 0);
        vt::push_key(32);
        EXPECT_EQ(vizmo_button_press(1), 1);
        vt::push_close(fig);
        EXPECT_EQ(vizmo_button_press(1), c.idle_answer) << "a poll takes only presses and keys";
        EXPECT_EQ(vt::pending_events(), 1u);
        vt::reset();
        SetUp();
        vt::set_policy(c.policy);
    }

    const std::size_t mark = vt::mark();
    for (int k = 0; k < 1000; ++k)
        vizmo_button_press(1);
    EXPECT_EQ(vt::since(mark).size(), 1u) << "a long poll shares one log line";
}

TEST(InputPolicy, TheEnvironmentChoosesTheDefault)
{
    struct Case {
        const char* value;
        vt::Policy policy;
    };
    for (const Case& c : {Case{"strict", vt::Policy::Strict}, Case{"AUTO", vt::Policy::AutoContinue}}) {
        SCOPED_TRACE(c.value);
        setenv("VIZMO_POLICY", c.value, 1);
        vt::reset();
        EXPECT_EQ(vt::policy(), c.policy);
    }
    unsetenv("VIZMO_POLICY");
    vt::reset();
}

} // namespace
