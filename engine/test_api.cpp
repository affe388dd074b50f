// The test side of the engine: inspection, the scripted user and the dialog
// answers declared in vizmo_test.h.
#include "state.hpp"
#ifdef VIZMO_WITH_RENDERER
#include "render/render.hpp"
#endif

namespace vizmo {
void push_event(const Event& ev);
}

namespace vizmo::test {

std::string Value::text() const
{
    std::string s;
    for (double c : data)
        s.push_back(code_byte(c));
    return s;
}

void reset()
{
#ifdef VIZMO_WITH_RENDERER
    render::forget();
#endif
    Engine& e = engine();
    // Collect the user data first: the hook runs once the engine is clean.
    std::vector<double> addresses;
    for (const auto& [key, o] : e.objects)
        if (key != 0)
            if (double a = prop_number(o, "UserData", 0); a != 0)
                addresses.push_back(a);
    e.objects.clear();
    e.found = nullptr;
    Object root;
    root.kind = Kind::root;
    apply_defaults(root, 0);
    e.objects.emplace(0, std::move(root));
    e.current_figure = -1;
    e.figure_history.clear();
    e.script.clear();
    e.resumes = 0;
    e.policy = default_policy();
    e.answers = Answers{};
    e.dialogs.clear();
    const Modes kept = e.modes;
    e.modes = Modes{};
    e.modes.version = kept.version;
    e.modes.value_size = kept.value_size;
    e.log.clear();
    e.log_dropped = 0;
    for (double a : addresses)
        destroy_user_data(a);
}

bool exists(double h) { return find(h) != nullptr; }

std::string type(double h)
{
    Prop p;
    if (!read_property(h, "Type", p))
        return "";
    Value v;
    v.data = p.data;
    return v.text();
}

double parent(double h)
{
    const Object* o = find(h);
    return o ? o->parent : -1;
}

std::vector<double> children(double h)
{
    const Object* o = find(h);
    return o ? live_children(h, *o) : std::vector<double>{};
}

Value prop(double h, const char* name)
{
    Value v;
    Prop p;
    if (!read_property(h, name, p))
        return v;
    v.ndims = p.ndims;
    std::copy(p.dims, p.dims + 4, v.dims);
    v.is_string = p.is_string;
    v.data = std::move(p.data);
    v.is_bytes = p.is_bytes;
    v.bytes = std::move(p.bytes);
    return v;
}

Bulk data(double h) { return Bulk{prop(h, "XData"), prop(h, "YData"), prop(h, "ZData")}; }

std::vector<std::string> writes(double h)
{
    const Object* o = find(h);
    return o ? o->writes : std::vector<std::string>{};
}

std::vector<std::string> log()
{
    const auto& l = engine().log;
    return std::vector<std::string>(l.begin(), l.end());
}

std::size_t mark()
{
    const Engine& e = engine();
    return e.log_dropped + e.log.size();
}

std::vector<std::string> since(std::size_t m)
{
    const Engine& e = engine();
    const std::size_t skip = m > e.log_dropped ? m - e.log_dropped : 0;
    if (skip >= e.log.size())
        return {};
    return std::vector<std::string>(e.log.begin() + static_cast<std::ptrdiff_t>(skip), e.log.end());
}

void set_policy(Policy p) { engine().policy = p; }
Policy policy() { return engine().policy; }

void push_mouse(double obj, double x, double y, int button) { push_event({EventKind::mouse, obj, x, y, button}); }
void push_key(int code) { push_event({EventKind::key, 0, 0, 0, code}); }
void push_callback(double obj) { push_event({EventKind::callback, obj, 0, 0, 0}); }
void push_close(double fig) { push_event({EventKind::close, fig, 0, 0, 0}); }
void push_resume() { push_event({EventKind::resume, 0, 0, 0, 0}); }
std::size_t pending_events() { return engine().script.size(); }

bool fire_callback(const char* text)
{
    if (!engine().callback_hook)
        return false;
    std::vector<double> codes;
    for (const char* c = text; c && *c; ++c)
        codes.push_back(static_cast<unsigned char>(*c));
    run_callback_text(codes, -1);
    return true;
}

void answer_message(int r) { engine().answers.message.push_back(r); }
void answer_question(int choice) { engine().answers.question.push_back(choice); }
void answer_input(std::vector<std::string> answers) { engine().answers.input.emplace_back(true, std::move(answers)); }
void cancel_input() { engine().answers.input.emplace_back(false, std::vector<std::string>{}); }
void answer_menu(int choice) { engine().answers.menu.push_back(choice); }
void answer_file(std::string file, std::string path)
{
    engine().answers.file.emplace_back(std::move(file), std::move(path));
}
void cancel_file() { engine().answers.file.emplace_back(); }
void answer_color(int packed) { engine().answers.color.push_back(packed); }
void answer_font(std::string name, double size) { engine().answers.font.emplace_back(std::move(name), size); }

std::vector<Dialog> dialogs() { return engine().dialogs; }

Modes modes()
{
    const Engine& e = engine();
    Modes m = e.modes;
    m.callback_hook = e.callback_hook != nullptr;
    m.error_hook = e.error_hook != nullptr;
    m.destroy_hook = e.destroy_hook != nullptr;
    return m;
}

#ifdef VIZMO_WITH_RENDERER
bool render_png(double fig, const std::string& path) { return render::write_png(fig, path); }
bool render_svg(double fig, const std::string& path) { return render::write_svg(fig, path); }
bool has_renderer() { return true; }
#else
bool render_png(double, const std::string&) { return false; }
bool render_svg(double, const std::string&) { return false; }
bool has_renderer() { return false; }
#endif

} // namespace vizmo::test
