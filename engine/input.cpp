// The user's side: presses, keys, closes and control actions come from the
// script a test pushes, so waits and polls never block. A wait ends on its
// condition or when the script is used up.
#include "state.hpp"

namespace vizmo {

namespace {

// What one event did to the caller that took it.
enum class Outcome { mouse, key, closed, passed };

Outcome apply(const Event& ev)
{
    Engine& e = engine();
    switch (ev.kind) {
    case EventKind::mouse: {
        const double fig = figure_of(ev.obj);
        Object* f = find(fig);
        if (!f) {
            record("mouse passed %s", handle_text(ev.obj).c_str());
            return Outcome::passed;
        }
        put_number(*f, "CurrentObject", ev.obj);
        put_number(*f, "CurrentCharacter", ev.code);
        if (Object* a = find(axes_of(ev.obj)))
            put_row(*a, "CurrentPoint", {ev.x, ev.y});
        record("mouse %s %g %g %d", handle_text(ev.obj).c_str(), ev.x, ev.y, ev.code);
        return Outcome::mouse;
    }
    case EventKind::key:
        if (Object* f = find(e.current_figure))
            put_number(*f, "CurrentCharacter", ev.code);
        record("key %d", ev.code);
        return Outcome::key;
    case EventKind::close:
        record("close %s", handle_text(ev.obj).c_str());
        kill(ev.obj);
        return Outcome::closed;
    case EventKind::resume:
        vizmo_resume();
        return Outcome::passed;
    case EventKind::callback: {
        Object* o = find(ev.obj);
        if (!o) {
            record("callback passed %s", handle_text(ev.obj).c_str());
            return Outcome::passed;
        }
        if (o->style == "checkbox" || o->style == "radiobutton")
            put_number(*o, "Value", prop_number(*o, "Value", 0) != 0 ? 0 : 1);
        const Prop* text = find_prop(*o, "Callback");
        if (text && !text->data.empty())
            run_callback_text(std::vector<double>(text->data), ev.obj);
        return Outcome::passed;
    }
    }
    return Outcome::passed;
}

// Takes the next event off the script; false when it is used up.
bool take(Event& ev)
{
    auto& script = engine().script;
    if (script.empty())
        return false;
    ev = script.front();
    script.pop_front();
    return true;
}

struct WaitDepth {
    WaitDepth() { ++engine().wait_depth; }
    ~WaitDepth()
    {
        Engine& e = engine();
        if (--e.wait_depth == 0)
            e.resumes = 0;
    }
};

} // namespace

void push_event(const Event& ev) { engine().script.push_back(ev); }

} // namespace vizmo

using namespace vizmo;

extern "C" {

int vizmo_button_press(int mode) try
{
    Engine& e = engine();
    if (mode != 0) {
        // A poll takes a press or key that is waiting, and nothing else.
        if (!e.script.empty()) {
            const EventKind k = e.script.front().kind;
            if (k == EventKind::mouse || k == EventKind::key) {
                Event ev;
                take(ev);
                const Outcome r = apply(ev);
                if (r == Outcome::mouse || r == Outcome::key) {
                    const int answer = r == Outcome::mouse ? 0 : 1;
                    record_unless_repeated("button_press " + std::to_string(answer));
                    return answer;
                }
            }
        }
        const int answer = e.policy == test::Policy::AutoContinue ? 1 : -1;
        record_unless_repeated("button_press " + std::to_string(answer));
        return answer;
    }
    for (;;) {
        Event ev;
        if (!take(ev)) {
            record("wait_press exhausted");
            return -1;
        }
        switch (apply(ev)) {
        case Outcome::mouse: record("wait_press 0"); return 0;
        case Outcome::key: record("wait_press 1"); return 1;
        case Outcome::closed: record("wait_press 2"); return 2;
        case Outcome::passed: break;
        }
    }
} catch (const std::exception&) {
    report_failure();
    return -1;
}

void vizmo_wait(void) try
{
    Engine& e = engine();
    const double fig = e.current_figure;
    record("wait %s", handle_text(fig).c_str());
    WaitDepth depth;
    for (;;) {
        if (e.resumes > 0) {
            --e.resumes;
            record("wait-end resume");
            return;
        }
        if (fig > 0 && !find(fig)) {
            record("wait-end close");
            return;
        }
        Event ev;
        if (!take(ev)) {
            record("wait-end exhausted");
            return;
        }
        apply(ev);
    }
} catch (const std::exception&) {
    report_failure();
}

void vizmo_resume(void) try
{
    Engine& e = engine();
    record("resume");
    // Only a wait can be resumed; one that is not running ignores it.
    if (e.resumes < e.wait_depth)
        ++e.resumes;
} catch (const std::exception&) {
    report_failure();
}

void vizmo_wait_for_object(double h) try
{
    record("wait_for %s", handle_text(h).c_str());
    for (;;) {
        if (!find(h)) {
            record("wait-end deleted");
            return;
        }
        Event ev;
        if (!take(ev)) {
            record("wait-end exhausted");
            return;
        }
        apply(ev);
    }
} catch (const std::exception&) {
    report_failure();
}

} // extern "C"
