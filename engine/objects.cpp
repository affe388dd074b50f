// The object tree: handles, properties, the acting pseudo-properties
// ("Kill", "Clear", "Parent", ...), bulk coordinates and the operations that
// only record a mode.
#include "state.hpp"
#ifdef VIZMO_WITH_RENDERER
#include "render/render.hpp"
#endif

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace vizmo {

namespace {

constexpr std::size_t max_log_lines = 100000;
constexpr std::size_t max_property_names_bytes = 9998;
constexpr std::size_t max_writes_kept = 4096;

Object make_root();

Engine* build_engine()
{
    Engine* e = new Engine;
    e->objects.emplace(0, make_root());
    e->policy = default_policy();
    return e;
}

} // namespace

Engine& engine()
{
    static Engine* e = build_engine();
    return *e;
}

test::Policy default_policy()
{
    if (const char* p = std::getenv("VIZMO_POLICY")) {
        if (equal_folded(p, "strict"))
            return test::Policy::Strict;
        if (equal_folded(p, "auto"))
            return test::Policy::AutoContinue;
    }
    return isatty(STDIN_FILENO) ? test::Policy::Strict : test::Policy::AutoContinue;
}

char code_byte(double c) noexcept
{
    if (c >= 1 && c < 256 && c == std::floor(c))
        return static_cast<char>(static_cast<unsigned char>(c));
    if (c >= -128 && c <= -1 && c == std::floor(c))
        return static_cast<char>(static_cast<unsigned char>(c + 256));
    return '?';
}

std::string fold(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equal_folded(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::size_t FoldedHash::operator()(std::string_view s) const noexcept
{
    std::size_t h = 14695981039346656037ull;  // FNV-1a over the folded bytes
    for (char c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

bool FoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept { return equal_folded(a, b); }

// ---------------------------------------------------------------------------
// Handles: the root is 0, figure n is n, every other object k + 0.5. Twice
// the handle is an exact integer key for all of them.

bool handle_key(double h, std::int64_t& key)
{
    const double twice = 2 * h;
    if (!(twice >= 0 && twice < 9.0e15) || twice != std::floor(twice))
        return false;
    key = static_cast<std::int64_t>(twice);
    return true;
}

Object* find(double h)
{
    std::int64_t key;
    if (!handle_key(h, key))
        return nullptr;
    // Runs of operations on one object are the rule: the last one found is
    // kept (elements of the map stay put until erased).
    Engine& e = engine();
    if (key == e.found_key && e.found)
        return e.found;
    auto it = e.objects.find(key);
    if (it == e.objects.end())
        return nullptr;
    e.found_key = key;
    e.found = &it->second;
    return e.found;
}

double figure_of(double h)
{
    for (int guard = 0; guard < 1 << 20; ++guard) {
        const Object* o = find(h);
        if (!o)
            return -1;
        if (o->kind == Kind::figure)
            return h;
        h = o->parent;
    }
    return -1;
}

double axes_of(double h)
{
    for (int guard = 0; guard < 1 << 20; ++guard) {
        const Object* o = find(h);
        if (!o)
            return -1;
        if (o->kind == Kind::axes)
            return h;
        h = o->parent;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// The log.

std::string handle_text(double h)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", h);
    return buf;
}

static void append_log(std::string line)
{
    Engine& e = engine();
    e.log.push_back(std::move(line));
    if (e.log.size() > max_log_lines) {
        e.log.pop_front();
        ++e.log_dropped;
    }
}

void record(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    append_log(line);
}

void record_unless_repeated(const std::string& line)
{
    Engine& e = engine();
    if (e.log.empty() || e.log.back() != line)
        append_log(line);
}

// ---------------------------------------------------------------------------
// Properties.

Prop* find_prop(Object& o, std::string_view name)
{
    auto it = o.index.find(name);
    return it == o.index.end() ? nullptr : &o.props[it->second];
}

const Prop* find_prop(const Object& o, std::string_view name)
{
    auto it = o.index.find(name);
    return it == o.index.end() ? nullptr : &o.props[it->second];
}

Prop& put_prop(Object& o, std::string_view name)
{
    auto it = o.index.find(name);
    if (it != o.index.end())
        return o.props[it->second];
    // Memory refused on the way leaves the object as it was.
    Prop fresh;
    fresh.name = std::string(name);
    o.index.emplace(fresh.name, o.props.size());
    try {
        o.props.push_back(std::move(fresh));
    } catch (...) {
        o.index.erase(o.index.find(name));
        throw;
    }
    return o.props.back();
}

// Each assign changes nothing until the new content exists: memory refused
// on the way leaves the property as it was.
void assign(Prop& p, int ndims, const int* dims, const double* data, bool is_string)
{
    std::size_t n = 1;
    for (int k = 0; k < 4 && k < ndims; ++k)
        n *= static_cast<std::size_t>(dims[k]);
    assign(p, ndims, dims, std::vector<double>(data, data + n));
    p.is_string = is_string;
}

void assign(Prop& p, int ndims, const int* dims, std::vector<double>&& data)
{
    for (int k = 0; k < 4; ++k)
        p.dims[k] = k < ndims ? dims[k] : 1;
    p.ndims = ndims;
    p.is_string = false;
    p.data = std::move(data);
    p.is_bytes = false;
    std::vector<std::uint8_t>().swap(p.bytes);
}

void assign_bytes(Prop& p, int ndims, const int* dims, std::vector<std::uint8_t>&& bytes)
{
    p.ndims = ndims;
    for (int k = 0; k < 4; ++k)
        p.dims[k] = k < ndims ? dims[k] : 1;
    p.is_string = false;
    std::vector<double>().swap(p.data);
    p.is_bytes = true;
    p.bytes = std::move(bytes);
}

void put_matrix(Object& o, std::string_view name, int ndims, const int* dims, const double* data, bool is_string)
{
    assign(put_prop(o, name), ndims, dims, data, is_string);
}

void put_number(Object& o, std::string_view name, double v)
{
    const int dims[2] = {1, 1};
    put_matrix(o, name, 2, dims, &v, false);
}

void put_row(Object& o, std::string_view name, std::initializer_list<double> v)
{
    const int dims[2] = {1, static_cast<int>(v.size())};
    put_matrix(o, name, 2, dims, v.begin(), false);
}

void put_text(Object& o, std::string_view name, std::string_view text)
{
    std::vector<double> codes(text.begin(), text.end());
    for (std::size_t k = 0; k < text.size(); ++k)
        codes[k] = static_cast<unsigned char>(text[k]);
    const int dims[2] = {1, static_cast<int>(text.size())};
    put_matrix(o, name, 2, dims, codes.data(), true);
}

void erase_prop(Object& o, std::string_view name)
{
    auto it = o.index.find(name);
    if (it == o.index.end())
        return;
    const std::size_t gone = it->second;
    o.props.erase(o.props.begin() + static_cast<std::ptrdiff_t>(gone));
    o.index.erase(it);
    for (auto& [key, pos] : o.index)
        if (pos > gone)
            --pos;
}

std::string prop_text(const Object& o, std::string_view name)
{
    const Prop* p = find_prop(o, name);
    std::string out;
    if (!p)
        return out;
    out.reserve(p->data.size());
    for (double c : p->data)
        out.push_back(code_byte(c));
    return out;
}

void note_write(Object& o, const char* name)
{
    // A long-lived object keeps its recent writes only.
    if (o.writes.size() >= max_writes_kept)
        o.writes.erase(o.writes.begin(), o.writes.begin() + max_writes_kept / 2);
    o.writes.emplace_back(name);
}

double prop_number(const Object& o, std::string_view name, double fallback)
{
    const Prop* p = find_prop(o, name);
    return p && !p->data.empty() ? p->data[0] : fallback;
}

namespace {

// The 22 default callback texts of the root, all empty.
const char* const default_callbacks[] = {
    "DefaultAxesCreateFcn",        "DefaultAxesDeleteFcn",        "DefaultFigureCreateFcn",
    "DefaultFigureDeleteFcn",      "DefaultHwcontrolCreateFcn",   "DefaultHwcontrolDeleteFcn",
    "DefaultImageCreateFcn",       "DefaultImageDeleteFcn",       "DefaultLineCreateFcn",
    "DefaultLineDeleteFcn",        "DefaultPatchCreateFcn",       "DefaultPatchDeleteFcn",
    "DefaultSurfaceCreateFcn",     "DefaultSurfaceDeleteFcn",     "DefaultTextCreateFcn",
    "DefaultTextDeleteFcn",        "DefaultUicontextmenuCreateFcn", "DefaultUicontextmenuDeleteFcn",
    "DefaultUicontrolCreateFcn",   "DefaultUicontrolDeleteFcn",   "DefaultUimenuCreateFcn",
    "DefaultUimenuDeleteFcn",
};

void copy_from_root(Object& o, std::string_view name, std::string_view root_name)
{
    const Object* root = find(0);
    const Prop* p = root ? find_prop(*root, root_name) : nullptr;
    if (p)
        put_matrix(o, name, p->ndims, p->dims, p->data.data(), p->is_string);
}

Object make_root()
{
    Object o;
    o.kind = Kind::root;
    apply_defaults(o, 0);
    return o;
}

} // namespace

void apply_defaults(Object& o, double h)
{
    switch (o.kind) {
    case Kind::root:
        put_row(o, "Position", {0, 0, 1024, 768});
        put_text(o, "Units", "pixels");
        put_row(o, "DefaultFigurePosition", {100, 100, 560, 420});
        put_row(o, "DefaultFigureColor", {0.8, 0.8, 0.8});
        put_row(o, "DefaultAxesColor", {1, 1, 1});
        put_row(o, "DefaultAxesPosition", {0, 0, 1, 1});
        put_row(o, "DefaultUIcontrolBackgroundColor", {0.8, 0.8, 0.8});
        put_row(o, "DefaultUIControlForegroundColor", {0, 0, 0});
        for (const char* name : default_callbacks)
            put_text(o, name, "");
        break;
    case Kind::figure:
        copy_from_root(o, "Color", "DefaultFigureColor");
        copy_from_root(o, "Position", "DefaultFigurePosition");
        put_text(o, "Units", "pixels");
        put_number(o, "CurrentAxes", -1);
        put_text(o, "Visible", "on");
        put_number(o, "FigureIndex", h);
        break;
    case Kind::axes:
        put_text(o, "NextPlot", "replace");
        copy_from_root(o, "Color", "DefaultAxesColor");
        put_text(o, "Units", "normalized");
        put_row(o, "Position", {0, 0, 1, 1});
        put_text(o, "XLimMode", "auto");
        put_text(o, "YLimMode", "auto");
        put_text(o, "ZLimMode", "auto");
        put_text(o, "Visible", "on");
        break;
    case Kind::uicontrol:
    case Kind::hwcontrol:
        put_text(o, "Style", o.style);
        copy_from_root(o, "BackgroundColor", "DefaultUIcontrolBackgroundColor");
        copy_from_root(o, "ForegroundColor", "DefaultUIControlForegroundColor");
        put_number(o, "Value", 0);
        put_text(o, "String", "");
        // A control made without a place shows at the lower left of its
        // figure, in pixels, as a new control does on screen.
        if (o.kind == Kind::uicontrol) {
            put_text(o, "Units", "pixels");
            put_row(o, "Position", {20, 20, 60, 20});
        }
        break;
    default:
        put_text(o, "Visible", "on");
        break;
    }
}

// ---------------------------------------------------------------------------
// Hooks.

namespace {

// Set while a standard exception a hook threw is on its way out: the entry
// points' handlers, which catch standard exceptions, let it pass as it is.
thread_local bool hook_threw = false;

template <class Call>
void call_hook(Call&& call)
{
    try {
        call();
    } catch (const std::exception&) {
        hook_threw = true;
        throw;
    }
}

} // namespace

void report_error(const std::string& message) { report_error(message.c_str()); }

void report_error(const char* message)
{
    // The log is the engine's own record: a line it has no memory for is
    // dropped, the report is not.
    try {
        record("error %s", message);
    } catch (const std::bad_alloc&) {
    }
    if (void (*hook)(const char*) = engine().error_hook)
        call_hook([&] { hook(message); });
    else
        std::fprintf(stderr, "%s\n", message);
}

void report_failure()
{
    if (hook_threw) {
        hook_threw = false;
        throw;
    }
    try {
        throw;
    } catch (const std::bad_alloc&) {
        report_error("Out of memory!");
    } catch (const std::exception& e) {
        char text[256];
        std::snprintf(text, sizeof text, "vizmo: %s", e.what());
        report_error(text);
    }
}

miniM* failed_read()
{
    static miniM empty{2, {0, 0, 1, 1}, 0, nullptr};
    empty = miniM{2, {0, 0, 1, 1}, 0, nullptr};
    return &empty;
}

void destroy_user_data(double address)
{
    // Only a number that can be an address is handed over.
    if (!(address > 0 && address < 18446744073709551616.0))
        return;
    record("destroy %s", handle_text(address).c_str());
    if (void (*hook)(Mm*) = engine().destroy_hook)
        call_hook([&] { hook(reinterpret_cast<Mm*>(static_cast<std::uintptr_t>(address))); });
}

namespace {

// Puts a property back as it was before a callback, or removes it.
struct SavedProp {
    double h;
    const char* name;
    bool had = false;
    Prop value;

    SavedProp(double h_, const char* name_) : h(h_), name(name_)
    {
        if (Object* o = find(h))
            if (const Prop* p = find_prop(*o, name)) {
                had = true;
                value = *p;
            }
    }
    ~SavedProp()
    {
        Object* o = find(h);
        if (!o)
            return;
        if (had)
            put_matrix(*o, name, value.ndims, value.dims, value.data.data(), value.is_string);
        else
            erase_prop(*o, name);
    }
};

} // namespace

void run_callback_text(const std::vector<double>& codes, double obj)
{
    void (*hook)(miniM*) = engine().callback_hook;
    if (!hook)
        return;
    std::string line = "callback ";
    for (double c : codes)
        line.push_back(code_byte(c));
    append_log(line);

    // The callback may delete objects or rewrite the text: the hook gets a
    // copy, and the objects it names are found again afterwards.
    std::vector<double> copy(codes);
    miniM m{2, {1, static_cast<int>(copy.size()), 1, 1}, 1, copy.empty() ? nullptr : copy.data()};
    const double fig = obj > 0 ? figure_of(obj) : -1;
    SavedProp saved_object(0, "CallbackObject");
    SavedProp saved_current(fig, "CurrentObject");
    if (Object* root = find(0))
        put_number(*root, "CallbackObject", obj);
    if (Object* f = find(fig))
        put_number(*f, "CurrentObject", obj);
    call_hook([&] { hook(&m); });
}

// ---------------------------------------------------------------------------
// The tree.

void make_current_figure(double fig)
{
    Engine& e = engine();
    e.current_figure = fig;
    auto& hist = e.figure_history;
    hist.erase(std::remove(hist.begin(), hist.end(), fig), hist.end());
    hist.push_back(fig);
}

std::vector<double> live_children(double h, const Object& o)
{
    std::vector<double> out;
    out.reserve(o.children.size());
    for (double c : o.children) {
        const Object* child = find(c);
        if (child && child->parent == h)
            out.push_back(c);
    }
    return out;
}

namespace {

bool is_text_object(const Object& o)
{
    if (o.kind != Kind::line)
        return false;
    if (o.is_text)
        return true;
    const std::string chart = fold(prop_text(o, "ChartType"));
    return chart == "text" || chart == "text3";
}

void detach(double h, Object& o)
{
    if (Object* p = find(o.parent)) {
        // A parent being deleted drops its list of children in one go.
        if (!p->dying) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), h), c.end());
        }
    }
    o.parent = -1;
}

// Removes h, whose children are gone, from the tree and every place that
// names it; returns the user-data address it held.
double remove_object(double h)
{
    Engine& e = engine();
    Object* o = find(h);
    const Kind kind = o->kind;
    const double parent = o->parent;
    const double address = prop_number(*o, "UserData", 0);
    detach(h, *o);
    std::int64_t key;
    handle_key(h, key);
    e.objects.erase(key);
    e.found = nullptr;

    if (kind == Kind::figure) {
        auto& hist = e.figure_history;
        hist.erase(std::remove(hist.begin(), hist.end(), h), hist.end());
        if (e.current_figure == h)
            e.current_figure = hist.empty() ? -1 : hist.back();
    }
    if (kind == Kind::axes) {
        if (Object* f = find(parent))
            if (prop_number(*f, "CurrentAxes", -1) == h)
                put_number(*f, "CurrentAxes", -1);
        if (e.modes.rotate3d_axes == h)
            e.modes.rotate3d_axes = 0;
        if (e.modes.surface_axes == h)
            e.modes.surface_axes = 0;
    }
    record("kill %s", handle_text(h).c_str());
    return address;
}

} // namespace

void kill(double h)
{
    Object* o = find(h);
    if (!o)
        return;
    if (h == 0) {
        kill_children(0, false);
        return;
    }
    if (!o->dying) {
        o->dying = true;
        const Prop* fcn = find_prop(*o, "DeleteFcn");
        if (fcn && !fcn->data.empty())
            run_callback_text(std::vector<double>(fcn->data), h);
    }
    // Children go in order; a DeleteFcn may add or remove some, so the list
    // is walked as a copy until no child is left.
    for (;;) {
        o = find(h);
        if (!o)
            return;  // a DeleteFcn deleted it
        std::vector<double> batch = live_children(h, *o);
        if (batch.empty())
            break;
        for (double c : batch) {
            const Object* child = find(c);
            if (child && child->parent == h)
                kill(c);
        }
    }
    o->children.clear();
    destroy_user_data(remove_object(h));
}

void kill_children(double h, bool keep_texts)
{
    Object* o = find(h);
    if (!o)
        return;
    const std::vector<double> children = live_children(h, *o);
    for (double c : children) {
        const Object* child = find(c);
        if (child && !(keep_texts && is_text_object(*child)))
            kill(c);
    }
}

namespace {

const char* kind_name(const Object& o);

// Which objects a parent can hold: series and texts hold nothing, an axes
// holds only series and texts, and nothing holds a figure but the root.
bool holds(Kind parent, Kind child)
{
    const bool series = child == Kind::line || child == Kind::patch || child == Kind::surface;
    switch (parent) {
    case Kind::root: return true;
    case Kind::line:
    case Kind::patch:
    case Kind::surface: return false;
    case Kind::axes: return series;
    default: return child != Kind::figure;
    }
}

void reparent(double h, Object& o, const miniM* v)
{
    double p = -1;
    if (v && v->data && v->dims[0] * v->dims[1] >= 1)
        p = v->data[0];
    if (p == o.parent)
        return;
    if (p < 0 || std::isnan(p)) {
        detach(h, o);
        return;
    }
    Object* target = find(p);
    // A dead parent, or one inside h's own subtree, would cut h off.
    bool cycle = false;
    for (double a = p; a >= 0 && !cycle;) {
        if (a == h)
            cycle = true;
        const Object* up = find(a);
        a = up ? up->parent : -1;
    }
    if (!target || cycle || !holds(target->kind, o.kind)) {
        // The object stays where it was.
        record("parent refused %s %s", handle_text(h).c_str(), handle_text(p).c_str());
        auto a = [](const Object& x) { return std::string(x.kind == Kind::axes ? "an " : "a ") + kind_name(x); };
        if (!target)
            report_error("Parent: " + handle_text(p) + " is no object");
        else if (!holds(target->kind, o.kind))
            report_error("Parent: " + a(*target) + " cannot hold " + a(o));
        else
            report_error("Parent: " + handle_text(p) + " lies inside the object itself");
        return;
    }
    detach(h, o);
    o.parent = p;
    target->children.push_back(h);
}

void reset_object(double h, Object& o)
{
    std::vector<Prop> kept;
    for (const char* name : {"Units", "Position"})
        if (const Prop* p = find_prop(o, name))
            kept.push_back(*p);
    o.props.clear();
    o.index.clear();
    o.is_text = false;
    apply_defaults(o, h);
    for (const Prop& p : kept)
        put_matrix(o, p.name, p.ndims, p.dims, p.data.data(), p.is_string);
}

bool value_is_true(const miniM* v)
{
    if (!v || !v->data)
        return false;
    const long long n = 1LL * v->dims[0] * v->dims[1] * v->dims[2] * v->dims[3];
    for (long long k = 0; k < n; ++k)
        if (v->data[k] == 0)
            return false;
    return n > 0;
}

// Colour values: an RGB row, a code -100..-107 for the letters of
// "ymcrgbwk", a colour word or letter, or R + 256 G + 65536 B.
bool colour_from(const miniM* v, long long n, double rgb[3])
{
    const char* const letters = vizmo_colour_letters;
    const auto& words = vizmo_colour_words;
    const auto& table = vizmo_colour_rgb;
    int pick = -1;
    if (v->isString) {
        std::string s;
        for (long long k = 0; k < n; ++k)
            s.push_back(code_byte(v->data[k]));
        s = fold(s);
        for (int k = 0; k < 8; ++k)
            if (s == words[k] || (s.size() == 1 && s[0] == letters[k]))
                pick = k;
    } else if (n == 3) {
        for (int k = 0; k < 3; ++k)
            if (!(v->data[k] >= 0 && v->data[k] <= 1))
                return false;
        std::copy(v->data, v->data + 3, rgb);
        return true;
    } else if (n == 1) {
        const double c = v->data[0];
        if (c <= -100 && c >= -107 && c == std::floor(c))
            pick = static_cast<int>(-100 - c);
        else if (c >= 0 && c <= 0xFFFFFF && c == std::floor(c)) {
            const long packed = static_cast<long>(c);
            rgb[0] = (packed & 255) / 255.0;
            rgb[1] = ((packed >> 8) & 255) / 255.0;
            rgb[2] = ((packed >> 16) & 255) / 255.0;
            return true;
        }
    }
    if (pick < 0)
        return false;
    std::copy(table[pick], table[pick] + 3, rgb);
    return true;
}

// The words a colour property takes besides colours: no colour, and the
// colours a face or an edge takes from its data.
bool colour_word(const miniM* v, long long n)
{
    if (!v->isString)
        return false;
    std::string s;
    for (long long k = 0; k < n; ++k)
        s.push_back(code_byte(v->data[k]));
    s = fold(s);
    return s == "none" || s == "flat" || s == "interp" || s == "auto";
}

// A value as the user wrote it: a text in quotes, numbers in brackets
// (the first six).
std::string shown_value(const miniM* v, long long n)
{
    if (v->isString) {
        std::string s;
        for (long long k = 0; k < n; ++k)
            s.push_back(code_byte(v->data[k]));
        return "'" + s + "'";
    }
    std::string shown;
    for (long long k = 0; k < n && k < 6; ++k) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%.6g", k ? " " : "", v->data[k]);
        shown += buf;
    }
    if (n > 6)
        shown += " ...";
    return "[" + shown + "]";
}

// Why a value is no colour, in words the user wrote it in.
std::string colour_refusal(const char* name, const miniM* v, long long n)
{
    if (v->isString)
        return shown_value(v, n) + " is illegal color";
    return std::string(name) + ": " + shown_value(v, n) +
           " is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name";
}

// Whether name is the property known, or a root default for it
// ("DefaultLineLineWidth").
bool names_property(std::string_view name, std::string_view known)
{
    if (equal_folded(name, known))
        return true;
    return name.size() > 7 + known.size() && equal_folded(name.substr(0, 7), "default") &&
           equal_folded(name.substr(name.size() - known.size()), known);
}

// The values of the properties the drawing reads as a width, an index
// into a table or a switch. A value is taken as it is (ok), stored as the
// index its text names (index), or refused with the reason why.
enum class Check { ok, index, refused };

Check check_value(const char* name, const miniM* v, long long n, double& index, std::string& why)
{
    auto text = [&] {
        std::string s;
        for (long long k = 0; k < n; ++k)
            s.push_back(code_byte(v->data[k]));
        return s;
    };
    // A number, or the text of an entry (or "none", -1), as an index into
    // a table of count entries.
    auto table_index = [&](const auto& table) {
        const int count = static_cast<int>(std::size(table));
        if (v->isString) {
            const std::string s = text();
            if (equal_folded(s, "none")) {
                index = -1;
                return Check::index;
            }
            for (int k = 0; k < count; ++k)
                if (s == table[k]) {
                    index = k;
                    return Check::index;
                }
            return Check::refused;
        }
        const double x = v->data[0];
        return n == 1 && x >= -1 && x < count && x == std::floor(x) ? Check::ok : Check::refused;
    };
    if (names_property(name, "LineWidth") || names_property(name, "MarkerSize")) {
        // Far past any screen; cairo's fixed-point coordinates end long after.
        constexpr int widest = 1000;
        if (!v->isString && n == 1 && v->data[0] > 0 && v->data[0] <= widest)
            return Check::ok;
        why = std::string(name) + ": " + shown_value(v, n) + " is no " +
              (names_property(name, "LineWidth") ? "line width" : "marker size") +
              ": use a number above 0 and at most " + std::to_string(widest);
        return Check::refused;
    }
    if (names_property(name, "LineStyle")) {
        const Check c = table_index(vizmo_line_styles);
        if (c == Check::refused)
            why = std::string(name) + ": " + shown_value(v, n) +
                  " is no line style: use '-', ':', '-.', '--' or 'none'";
        return c;
    }
    if (names_property(name, "Marker")) {
        const Check c = table_index(vizmo_markers);
        if (c == Check::refused)
            why = std::string(name) + ": " + shown_value(v, n) +
                  " is no marker: use one of . o x + * s d ^ v > < p h, or 'none'";
        return c;
    }
    if (names_property(name, "Visible")) {
        if (v->isString && (equal_folded(text(), "on") || equal_folded(text(), "off")))
            return Check::ok;
        why = std::string(name) + ": " + shown_value(v, n) + " is neither 'on' nor 'off'";
        return Check::refused;
    }
    return Check::ok;
}

// The engine's own colour properties, and root defaults for them
// ("DefaultAxesXColor"): these are kept as RGB rows. A user's property
// whose name merely ends in "color" keeps the value it was given.
bool is_colour_property(std::string_view name)
{
    static constexpr std::string_view known[] = {
        "AmbientLightColor", "BackgroundColor", "Color",          "EdgeColor",       "FaceColor",
        "ForegroundColor",   "InverseColor",    "MarkerColor",    "MarkerEdgeColor", "MarkerFaceColor",
        "XColor",            "YColor",          "ZColor",
    };
    for (std::string_view k : known)
        if (names_property(name, k))
            return true;
    return false;
}

// What a property the engine checks stands for, in words for a refusal;
// nullptr for one it keeps as given.
const char* checked_meaning(std::string_view name)
{
    if (is_colour_property(name))
        return "colour";
    static constexpr std::pair<std::string_view, const char*> known[] = {
        {"LineWidth", "line width"}, {"MarkerSize", "marker size"}, {"LineStyle", "line style"},
        {"Marker", "marker"},        {"Visible", "switch: use 'on' or 'off'"},
    };
    for (const auto& [k, what] : known)
        if (names_property(name, k))
            return what;
    return nullptr;
}

// Colours taken from the data ("flat", "interp") belong to the faces,
// edges and markers of what has data; a figure, an axes' box or a
// control's background has none to take them from.
bool takes_colour_word(std::string_view name, const miniM* v, long long n)
{
    std::string s;
    for (long long k = 0; k < n; ++k)
        s.push_back(code_byte(v->data[k]));
    s = fold(s);
    if (s != "flat" && s != "interp")
        return true;
    for (std::string_view k : {"FaceColor", "EdgeColor", "MarkerFaceColor", "MarkerEdgeColor", "MarkerColor"})
        if (names_property(name, k))
            return true;
    return false;
}

bool valid_value(const miniM* v, long long& n)
{
    n = 0;
    if (!v)
        return true;
    if (v->ndims < 2 || v->ndims > 4)
        return false;
    n = 1;
    for (int k = 0; k < 4; ++k) {
        if (v->dims[k] < 0)
            return false;
        n *= v->dims[k];
        if (n > (1LL << 40))
            return false;
    }
    return n == 0 || (v->isBytes ? v->bytes != nullptr : v->data != nullptr);
}

void store_value(Object& o, const char* name, const miniM* v, long long n)
{
    Prop& p = put_prop(o, name);
    if (!v) {
        const int dims[2] = {0, 0};
        assign(p, 2, dims, nullptr, false);
        return;
    }
    if (v->isBytes) {
        std::vector<std::uint8_t> bytes(v->bytes, v->bytes + n);
        assign_bytes(p, v->ndims, v->dims, std::move(bytes));
        return;
    }
    assign(p, v->ndims, v->dims, n ? v->data : nullptr, v->isString != 0);
}

void apply_font(double h, Object& o)
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "font";
    d.text = handle_text(h);
    if (!e.answers.font.empty()) {
        auto [name, size] = e.answers.font.front();
        e.answers.font.pop_front();
        put_text(o, "FontName", name);
        put_number(o, "FontSize", size);
        d.items.push_back(name);
        d.answer = 1;
    }
    e.dialogs.push_back(std::move(d));
    record("font %s", handle_text(h).c_str());
}

} // namespace

// ---------------------------------------------------------------------------
// Reading the computed properties.

namespace {

// The names the engine acts on or computes. Lengths and first letters sift
// them, so an ordinary property costs next to no string comparisons.
enum class Special {
    none, type, children, parent, propertynames, capture, currentfigure, userdata, kill, killchilds,
    killserieses, clear, reset, load, store, setfont, print, show, needshow, refresh
};

Special classify(std::string_view key)
{
    struct Entry {
        std::string_view name;
        Special what;
    };
    static const Entry entries[] = {
        {"type", Special::type},
        {"children", Special::children},
        {"parent", Special::parent},
        {"propertynames", Special::propertynames},
        {"capture", Special::capture},
        {"currentfigure", Special::currentfigure},
        {"userdata", Special::userdata},
        {"kill", Special::kill},
        {"killchilds", Special::killchilds},
        {"killserieses", Special::killserieses},
        {"clear", Special::clear},
        {"reset", Special::reset},
        {"load", Special::load},
        {"store", Special::store},
        {"setfont", Special::setfont},
        {"print", Special::print},
        {"show", Special::show},
        {"needshow", Special::needshow},
        {"refresh", Special::refresh},
    };
    for (const Entry& e : entries)
        if (key.size() == e.name.size() && (key[0] | 0x20) == e.name[0] && equal_folded(key, e.name))
            return e.what;
    return Special::none;
}

} // namespace


namespace {

const char* kind_name(const Object& o)
{
    switch (o.kind) {
    case Kind::root: return "root";
    case Kind::figure: return "figure";
    case Kind::axes: return "axes";
    case Kind::line: return is_text_object(o) ? "text" : "line";
    case Kind::patch: return "patch";
    case Kind::surface: return "surface";
    case Kind::uicontrol: return "uicontrol";
    case Kind::hwcontrol: return "hwcontrol";
    case Kind::uimenu: return "uimenu";
    case Kind::uicontextmenu: return "uicontextmenu";
    }
    return "";
}

bool is_pseudo(const std::string& folded)
{
    static const char* const names[] = {"kill",  "killchilds", "killserieses", "clear",   "reset",
                                        "load",  "store",      "show",         "needshow", "refresh",
                                        "print", "setfont",    "capture"};
    for (const char* n : names)
        if (folded == n)
            return true;
    return false;
}

void text_value(Prop& out, const std::string& s)
{
    out.ndims = 2;
    out.dims[0] = 1;
    out.dims[1] = static_cast<int>(s.size());
    out.dims[2] = out.dims[3] = 1;
    out.is_string = true;
    out.data.resize(s.size());
    for (std::size_t k = 0; k < s.size(); ++k)
        out.data[k] = static_cast<unsigned char>(s[k]);
}

void row_value(Prop& out, const std::vector<double>& v)
{
    out.ndims = 2;
    out.dims[0] = v.empty() ? 0 : 1;
    out.dims[1] = static_cast<int>(v.size());
    out.dims[2] = out.dims[3] = 1;
    out.is_string = false;
    out.data = v;
}

} // namespace

// Fills out with what "name" of h reads; false for an unknown name or a
// dead handle.
bool read_property(double h, const char* name, Prop& out, const Prop** lent)
{
    const Object* o = find(h);
    if (!o || !name)
        return false;
    const Special what = classify(name);
    if (what == Special::type) {
        text_value(out, kind_name(*o));
        return true;
    }
    if (what == Special::children) {
        row_value(out, live_children(h, *o));
        return true;
    }
    if (what == Special::parent) {
        if (h == 0)
            return false;
        row_value(out, o->parent >= 0 ? std::vector<double>{o->parent} : std::vector<double>{});
        return true;
    }
    if (what == Special::propertynames) {
        std::string list;
        for (const Prop& p : o->props) {
            if (is_pseudo(fold(p.name)))
                continue;
            if (list.size() + p.name.size() + 1 > max_property_names_bytes)
                break;
            if (!list.empty())
                list.push_back(',');
            list += p.name;
        }
        text_value(out, list);
        return true;
    }
    if (what == Special::capture) {
        capture_figure(h, out);
        return true;
    }
    if (h == 0 && what == Special::currentfigure) {
        row_value(out, {engine().current_figure});
        return true;
    }
#ifdef VIZMO_WITH_RENDERER
    // Limits chosen from the data are those drawn, computed as they are read.
    if (o->kind == Kind::axes) {
        const int axis = equal_folded(name, "XLim")   ? 0
                         : equal_folded(name, "YLim") ? 1
                         : equal_folded(name, "ZLim") ? 2
                                                      : -1;
        double lo, hi;
        if (axis >= 0 && render::automatic_limits(h, axis, lo, hi)) {
            row_value(out, {lo, hi});
            return true;
        }
    }
#endif
    auto it = o->index.find(std::string_view(name));
    if (it == o->index.end())
        return false;
    const Prop& p = o->props[it->second];
    if (lent) {
        *lent = &p;
        return true;
    }
    if (p.is_bytes) {
        std::vector<std::uint8_t> copy(p.bytes);
        assign_bytes(out, p.ndims, p.dims, std::move(copy));
    } else {
        assign(out, p.ndims, p.dims, p.data.data(), p.is_string);
    }
    return true;
}

} // namespace vizmo

using namespace vizmo;

extern "C" {

void vizmo_init(int runtime_version, int n) try
{
    Engine& e = engine();
    e.modes.version = runtime_version;
    e.modes.value_size = n;
    record("init %d %d", runtime_version, n);
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_callback_hook(void (*hook)(miniM*)) try
{
    engine().callback_hook = hook;
    record("set_callback_hook %s", hook ? "set" : "null");
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_error_hook(void (*hook)(const char*)) try
{
    engine().error_hook = hook;
    record("set_error_hook %s", hook ? "set" : "null");
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_destroy_hook(void (*hook)(Mm*)) try
{
    engine().destroy_hook = hook;
    record("set_destroy_hook %s", hook ? "set" : "null");
} catch (const std::exception&) {
    report_failure();
}

void vizmo_exit(int code) try
{
    Engine& e = engine();
    e.modes.exited = true;
    e.modes.exit_code = code;
    record("exit %d", code);
#ifdef VIZMO_WITH_RENDERER
    render::at_exit();
#endif
} catch (const std::exception&) {
    report_failure();
}

double vizmo_create_object(const char* type, int n) try
{
    Engine& e = engine();
    if (!type) {
        record("create refused (no type)");
        return -1;
    }
    if (equal_folded(type, "figure")) {
        if (n == -1) {
            n = 1;
            while (find(n))
                ++n;
        } else if (n < 1) {
            record("create refused figure %d", n);
            return -1;
        }
        const double h = n;
        if (!find(h)) {
            Object o;
            o.kind = Kind::figure;
            o.parent = 0;
            apply_defaults(o, h);
            e.objects.emplace(2 * static_cast<std::int64_t>(n), std::move(o));
            find(0)->children.push_back(h);
            record("create figure %d", n);
        } else {
            record("select figure %d", n);
        }
        make_current_figure(h);
        return h;
    }

    static const char* const styles[] = {"pushbutton", "edit",     "text",    "progressbar",
                                         "checkbox",   "radiobutton", "slider", "listbox",
                                         "popupmenu",  "frame",    "togglebutton"};
    Object o;
    const std::string t = fold(type);
    if (t == "axes")
        o.kind = Kind::axes;
    else if (t == "line")
        o.kind = Kind::line;
    else if (t == "patch")
        o.kind = Kind::patch;
    else if (t == "surface")
        o.kind = Kind::surface;
    else if (t == "menuitem")
        o.kind = Kind::uimenu;
    else if (t == "contextmenu")
        o.kind = Kind::uicontextmenu;
    else if (t == "comport") {
        o.kind = Kind::hwcontrol;
        o.style = t;
    } else if (std::find(std::begin(styles), std::end(styles), t) != std::end(styles)) {
        o.kind = Kind::uicontrol;
        o.style = t;
    } else {
        record("create refused %s", type);
        return -1;
    }
    const std::int64_t k = e.next_object++;
    const double h = static_cast<double>(k) + 0.5;
    apply_defaults(o, h);
    e.objects.emplace(2 * k + 1, std::move(o));
    record("create %s %s", t.c_str(), handle_text(h).c_str());
    return h;
} catch (const std::exception&) {
    report_failure();
    return -1;
}

void vizmo_set_property(double h, const char* name, const miniM* value) try
{
    if (!name)
        return;
    long long n;
    if (!valid_value(value, n)) {
        record("set refused %s %s (bad value)", handle_text(h).c_str(), name);
        return;
    }
    // Only "CData" keeps bytes; every other property takes their numbers.
    std::vector<double> numbers;
    miniM as_numbers{};
    if (value && value->isBytes && !equal_folded(name, "CData")) {
        numbers.assign(value->bytes, value->bytes + n);
        as_numbers = miniM{value->ndims, {value->dims[0], value->dims[1], value->dims[2], value->dims[3]},
                           value->isString, numbers.empty() ? nullptr : numbers.data()};
        value = &as_numbers;
    }
    const Special what = classify(name);
    Object* o = find(h);
    if (!o) {
        record("set dead %s %s", handle_text(h).c_str(), name);
        // The library hands over a heap value with each UserData write.
        if (what == Special::userdata && n >= 1)
            destroy_user_data(value->data[0]);
        return;
    }
    note_write(*o, name);

    if (what == Special::userdata) {
        store_value(*o, "UserData", value, n);
        return;
    }
    if (what == Special::kill) {
        kill(h);
        return;
    }
    if (what == Special::killchilds) {
        record("killchilds %s", handle_text(h).c_str());
        kill_children(h, false);
        return;
    }
    if (what == Special::killserieses) {
        record("killserieses %s", handle_text(h).c_str());
        kill_children(h, true);
        return;
    }
    if (what == Special::clear) {
        record("clear %s", handle_text(h).c_str());
        if (value_is_true(value)) {
            erase_prop(*o, "CData");
            erase_prop(*o, "LegendString");
            kill_children(h, false);
        }
        return;
    }
    if (what == Special::reset) {
        record("reset %s", handle_text(h).c_str());
        if (value_is_true(value))
            reset_object(h, *o);
        return;
    }
    if (what == Special::parent) {
        reparent(h, *o, value);
        return;
    }
    if (what == Special::children) {
        record("set read-only %s %s", handle_text(h).c_str(), name);
        report_error(std::string(name) + " is read-only: set the Parent of each child instead");
        return;
    }
    // Setting the listing asks the engine to make it.
    if (what == Special::propertynames || what == Special::capture) {
        record("set read-only %s %s", handle_text(h).c_str(), name);
        return;
    }
    if (what == Special::type) {
        if (o->kind == Kind::line && value && value->isString) {
            std::string s;
            for (long long k = 0; k < n; ++k)
                s.push_back(code_byte(value->data[k]));
            o->is_text = equal_folded(s, "text");
        }
        return;
    }
    if (what == Special::load) {
        // 2 asks for bytes; any other true value for the header alone.
        const bool bytes = value && n == 1 && value->data[0] == 2;
        load_image_file(h, bytes ? LoadAs::bytes : value_is_true(value) ? LoadAs::header : LoadAs::doubles);
        return;
    }
    if (what == Special::store) {
        store_image_file(h);
        return;
    }
    if (what == Special::setfont) {
        apply_font(h, *o);
        return;
    }
    if (what == Special::print || what == Special::show || what == Special::needshow || what == Special::refresh)
        record("%s %s", fold(name).c_str(), handle_text(h).c_str());
#ifdef VIZMO_WITH_RENDERER
    if (what == Special::print)
        render::after_print(h);
#endif

    // A checked property has no empty value: the drawing would fall back
    // on something the program never asked for.
    if (!value || n == 0) {
        if (const char* what = checked_meaning(name)) {
            record("set refused %s %s (empty value)", handle_text(h).c_str(), name);
            report_error(std::string(name) + ": an empty value is no " + what);
            return;
        }
    }
    if (value && n > 0) {
        double index = 0;
        std::string why;
        const Check c = check_value(name, value, n, index, why);
        if (c == Check::refused) {
            // Nothing is stored: the object keeps the value it had.
            record("set refused %s %s (bad value)", handle_text(h).c_str(), name);
            report_error(why);
            return;
        }
        if (c == Check::index) {
            put_number(*o, name, index);
            return;
        }
    }
    if (value && n > 0 && is_colour_property(name)) {
        double rgb[3];
        if (colour_from(value, n, rgb)) {
            const int dims[2] = {1, 3};
            assign(put_prop(*o, name), 2, dims, rgb, false);
            return;
        }
        if (!colour_word(value, n) || !takes_colour_word(name, value, n)) {
            // Nothing is stored: the object keeps the colour it had.
            record("set refused %s %s (bad colour)", handle_text(h).c_str(), name);
            report_error(colour_refusal(name, value, n));
            return;
        }
    }
    store_value(*o, name, value, n);
    // Limits a program writes hold until it sets the mode back to "auto".
    if (o->kind == Kind::axes && value && n > 0 && !value->isString)
        for (const char* axis : {"X", "Y", "Z"})
            if (equal_folded(name, std::string(axis) + "Lim"))
                put_text(*o, std::string(axis) + "LimMode", "manual");
} catch (const std::exception&) {
    report_failure();
}

miniM* vizmo_get_property(double h, const char* name) try
{
    Engine& e = engine();
    const int slot = e.next_slot;
    e.next_slot = (slot + 1) % Engine::read_slots;
    miniM& m = e.slots[slot];
    Prop& computed = e.slot_values[slot];
    // A picture is lent rather than copied: it may be the largest value
    // the engine holds.
    const Prop* lent = nullptr;
    const bool lend = name && equal_folded(name, "CData");
    if (!read_property(h, name, computed, lend ? &lent : nullptr)) {
        m = miniM{2, {0, 0, 1, 1}, 0, nullptr};
        return &m;
    }
    // A copy lives in the slot; a lent value is the property itself, and
    // the slot lets go of whatever it held.
    if (lent)
        computed = Prop{};
    const Prop& value = lent ? *lent : computed;
    m.ndims = value.ndims;
    std::copy(value.dims, value.dims + 4, m.dims);
    m.isString = value.is_string;
    m.data = value.data.empty() ? nullptr : const_cast<double*>(value.data.data());
    m.isBytes = value.is_bytes;
    m.bytes = value.bytes.empty() ? nullptr : const_cast<unsigned char*>(value.bytes.data());
    return &m;
} catch (const std::exception&) {
    report_failure();
    return failed_read();
}

int vizmo_is_handle(double h) try
{
    return find(h) ? 1 : 0;
} catch (const std::exception&) {
    report_failure();
    return 0;
}

double vizmo_current_figure(void) try
{
    return engine().current_figure;
} catch (const std::exception&) {
    report_failure();
    return -1;
}

void vizmo_redraw(void) try
{
    ++engine().modes.redraws;
    record("redraw");
#ifdef VIZMO_WITH_RENDERER
    render::after_redraw();
#endif
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_data(double h, int n, const double* x, int xstep, const double* y, int ystep, const double* z,
                    int zstep) try
{
    Object* o = find(h);
    if (!o) {
        record("set_data dead %s", handle_text(h).c_str());
        return;
    }
    if (n < 0 || (n > 0 && (!x || !y))) {
        record("set_data refused %s %d", handle_text(h).c_str(), n);
        return;
    }
    const std::ptrdiff_t xs = xstep > 0 ? xstep : 1, ys = ystep > 0 ? ystep : 1, zs = zstep > 0 ? zstep : 1;
    // A surface's grid is column-major: its rows are the first run of equal x.
    int rows = n > 0 ? 1 : 0, cols = n;
    if (o->kind == Kind::surface && n > 0) {
        while (rows < n && x[rows * xs] == x[0])
            ++rows;
        if (n % rows != 0)
            rows = 1;
        cols = n / rows;
    }
    // Every copy is made before any property changes: memory refused on
    // the way leaves the object as it was.
    auto copy = [&](const double* src, std::ptrdiff_t step) {
        std::vector<double> values(static_cast<std::size_t>(n));
        if (step == 1 && n > 0)
            std::memcpy(values.data(), src, static_cast<std::size_t>(n) * sizeof(double));
        else
            for (int k = 0; k < n; ++k)
                values[static_cast<std::size_t>(k)] = src[k * step];
        return values;
    };
    std::vector<double> xv = copy(x, xs), yv = copy(y, ys), zv = z ? copy(z, zs) : std::vector<double>();
    const int dims[2] = {rows, cols};
    assign(put_prop(*o, "XData"), 2, dims, std::move(xv));
    assign(put_prop(*o, "YData"), 2, dims, std::move(yv));
    if (z)
        assign(put_prop(*o, "ZData"), 2, dims, std::move(zv));
    else
        erase_prop(*o, "ZData");
    note_write(*o, "XData");
    note_write(*o, "YData");
    if (z)
        note_write(*o, "ZData");
    record("set_data %s %d", handle_text(h).c_str(), n);
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_rotate3d_axes(double axes) try
{
    engine().modes.rotate3d_axes = axes;
    record("rotate3d_axes %s", handle_text(axes).c_str());
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_surface_axes(double axes) try
{
    engine().modes.surface_axes = axes;
    record("surface_axes %s", handle_text(axes).c_str());
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_hosted_mode(int mode) try
{
    engine().modes.hosted = mode;
    record("hosted_mode %d", mode);
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_application_handle(void* handle) try
{
    engine().modes.application = handle;
    record("application_handle %s", handle ? "set" : "null");
} catch (const std::exception&) {
    report_failure();
}

void vizmo_set_application_key_handle(void* handle) try
{
    engine().modes.application_key = handle;
    record("application_key_handle %s", handle ? "set" : "null");
} catch (const std::exception&) {
    report_failure();
}

void vizmo_console_mode(int mode) try
{
    engine().modes.console = mode;
    record("console_mode %d", mode);
} catch (const std::exception&) {
    report_failure();
}

} // extern "C"
