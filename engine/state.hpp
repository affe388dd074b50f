// The engine's state: the object tree with its properties, the log, the
// hooks, the scripted user and the dialog answers, shared by the engine's
// source files and never seen by the library.
#pragma once

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vizmo {

enum class Kind { root, figure, axes, line, patch, surface, uicontrol, hwcontrol, uimenu, uicontextmenu };

struct Prop {
    std::string name;  // the first spelling written
    int ndims = 2;
    int dims[4] = {0, 0, 1, 1};
    bool is_string = false;
    std::vector<double> data;
    // A "CData" given or read as bytes keeps them: data is then empty.
    bool is_bytes = false;
    std::vector<std::uint8_t> bytes;
};

// Property names match without case: the map keeps the first spelling and
// finds it from any other without building a folded copy.
struct FoldedHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept;
};
struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

struct Object {
    Kind kind = Kind::root;
    std::string style;     // a control's style, lower case
    bool is_text = false;  // a line written "Type" "text"
    bool dying = false;    // its DeleteFcn has run or is running
    double parent = -1;
    std::vector<double> children;  // in attachment order
    std::vector<Prop> props;       // in first-write order
    std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> index;  // name -> props
    std::vector<std::string> writes;  // the most recent property writes
};

enum class EventKind { mouse, key, callback, close, resume };
struct Event {
    EventKind kind;
    double obj = 0;
    double x = 0, y = 0;
    int code = 0;
};

struct Answers {
    std::deque<int> message, question, menu, color;
    std::deque<std::pair<bool, std::vector<std::string>>> input;
    std::deque<std::pair<std::string, std::string>> file;  // empty pair: cancelled
    std::deque<std::pair<std::string, double>> font;
};

struct Engine {
    void (*callback_hook)(miniM*) = nullptr;
    void (*error_hook)(const char*) = nullptr;
    void (*destroy_hook)(Mm*) = nullptr;

    std::unordered_map<std::int64_t, Object> objects;  // key: twice the handle
    std::int64_t next_object = 1;                      // handle k + 0.5, never reused
    std::int64_t found_key = -1;                       // the object find() saw last
    Object* found = nullptr;                           // null whenever objects are erased
    double current_figure = -1;
    std::vector<double> figure_history;  // figures in the order they became current

    std::deque<std::string> log;
    std::size_t log_dropped = 0;  // lines dropped from the front of the log

    std::deque<Event> script;
    int wait_depth = 0;
    int resumes = 0;  // vizmo_resume calls not yet taken by a wait
    test::Policy policy = test::Policy::AutoContinue;

    Answers answers;
    std::vector<test::Dialog> dialogs;
    test::Modes modes;

    // Values handed out by vizmo_get_property, reused in turn.
    static constexpr int read_slots = 9;
    miniM slots[read_slots] = {};
    Prop slot_values[read_slots];
    int next_slot = 0;
};

// Never destroyed: the library withdraws its hooks from its own static
// destructors, which may run after ours would have.
Engine& engine();

// The byte a character code stands for. Texts reach the engine as codes
// 1..255, or as -128..-1 when the caller's characters are signed (the bytes
// 128..255 of UTF-8 or Latin-1 text); anything else is no character and
// reads as '?'. Every reader of text goes through this one conversion.
char code_byte(double c) noexcept;

// Folds A..Z to a..z (names are matched without case, ASCII only).
std::string fold(std::string_view s);
bool equal_folded(std::string_view a, std::string_view b) noexcept;

// Handles.
bool handle_key(double h, std::int64_t& key);
Object* find(double h);
double figure_of(double h);  // the figure h lies in, or -1
double axes_of(double h);    // h itself when an axes, else its ancestor axes, or -1

// Logging: an operation in printf form, and one that repeats collapse.
void record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void record_unless_repeated(const std::string& line);
std::string handle_text(double h);

// Properties of one object.
Prop* find_prop(Object& o, std::string_view name);
const Prop* find_prop(const Object& o, std::string_view name);
Prop& put_prop(Object& o, std::string_view name);
void assign(Prop& p, int ndims, const int* dims, const double* data, bool is_string);
void put_number(Object& o, std::string_view name, double v);
void put_row(Object& o, std::string_view name, std::initializer_list<double> v);
void put_text(Object& o, std::string_view name, std::string_view text);
// The two below take the elements over without copying them.
void assign(Prop& p, int ndims, const int* dims, std::vector<double>&& data);
void assign_bytes(Prop& p, int ndims, const int* dims, std::vector<std::uint8_t>&& bytes);
void put_matrix(Object& o, std::string_view name, int ndims, const int* dims, const double* data, bool is_string);
void erase_prop(Object& o, std::string_view name);
void note_write(Object& o, const char* name);
std::string prop_text(const Object& o, std::string_view name);
double prop_number(const Object& o, std::string_view name, double fallback);
void apply_defaults(Object& o, double h);
// What "name" of h reads, computed properties included; false for an
// unknown name or a dead handle.
// A stored value is lent through *lent instead of copied into out when
// lent is given.
bool read_property(double h, const char* name, Prop& out, const Prop** lent = nullptr);

// The tree.
void kill(double h);
// The children still attached to h, in order (a parent being deleted keeps
// stale entries until it is gone).
std::vector<double> live_children(double h, const Object& o);
void kill_children(double h, bool keep_texts);
void make_current_figure(double fig);

// Hooks. The engine's state is consistent before each call: a hook may
// throw through the engine.
void report_error(const std::string& message);
void report_error(const char* message);
// Every C entry point ends in a handler of std::exception that calls this:
// the engine's own failure is reported through the error hook ("Out of
// memory!" for memory refused anywhere in the call), so that no C++
// exception but what a hook throws leaves through the C interface.
void report_failure();
// What vizmo_get_property returns when the read itself failed: 0 x 0.
miniM* failed_read();
void destroy_user_data(double address);
void run_callback_text(const std::vector<double>& codes, double obj);

// Image files behind "Load" and "Store" on an object. "Load" reads the
// pixels as doubles (indices from 1, components in [0, 1]), the header
// alone, or the pixels as bytes.
enum class LoadAs { doubles, header, bytes };
void load_image_file(double h, LoadAs as);
void store_image_file(double h);
// "Capture" of a figure: rows x cols x 3, planes blue, green, red.
void capture_figure(double h, Prop& out);

// The default answer a poll gives with nothing pending.
test::Policy default_policy();

} // namespace vizmo
