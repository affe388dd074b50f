// The headless engine's test side: inspection of its objects and log, a
// scripted user, and the answers its modal dialogs give. Test programs of
// the engine and of the library use it so that GUI paths run without a
// person or a screen.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vizmo::test {

// A property value as the engine holds it.
struct Value {
    int ndims = 2;
    int dims[4] = {0, 0, 1, 1};
    bool is_string = false;
    std::vector<double> data;
    bool is_bytes = false;  // a "CData" kept as bytes: data is empty
    std::vector<unsigned char> bytes;

    std::string text() const;  // the character codes as text
    bool empty() const { return data.empty() && bytes.empty(); }
};

// Drops every object (user data go to the destroy hook, no callback runs),
// the script, the dialog answers and records, the log and the modes, and
// restores the root's defaults and the default policy. Hooks stay.
void reset();

bool exists(double h);
std::string type(double h);  // as "Type" reads; empty for a dead handle
double parent(double h);     // -1 when none
std::vector<double> children(double h);
Value prop(double h, const char* name);
struct Bulk {
    Value x, y, z;
};
Bulk data(double h);
std::vector<std::string> writes(double h);  // property names, in write order

// The operation log: one line per operation that changes state.
std::vector<std::string> log();
std::size_t mark();  // a position in the log
std::vector<std::string> since(std::size_t mark);

// What a poll answers when no press or key is pending: AutoContinue says 1
// (a pause ends), Strict -1 (the keyboard must end it). The default is
// Strict when standard input is a terminal, else AutoContinue;
// VIZMO_POLICY=strict|auto overrides.
enum class Policy { Strict, AutoContinue };
void set_policy(Policy p);
Policy policy();

// The scripted user. Events wait in order until a wait or a poll takes them.
void push_mouse(double obj, double x, double y, int button);
void push_key(int code);
void push_callback(double obj);  // the user acts on obj: its "Callback" runs
void push_close(double fig);
void push_resume();
std::size_t pending_events();

// Runs a callback text through the callback hook as the engine does, with
// no object behind it. False when no hook is set.
bool fire_callback(const char* text);

// Answers of the modal dialogs, each used once, in order.
void answer_message(int r);
void answer_question(int choice);
void answer_input(std::vector<std::string> answers);
void cancel_input();
void answer_menu(int choice);
void answer_file(std::string file, std::string path);
void cancel_file();
void answer_color(int packed);
void answer_font(std::string name, double size);

struct Dialog {
    std::string kind;  // message, question, input, menu, open_file, save_file, color, font
    std::string title;
    std::string text;                // message text, icon word, filter, or font object
    std::vector<std::string> items;  // buttons, prompts, menu choices or defaults
    int number = 0;                  // default button, count, colour
    std::vector<int> line_counts;    // input: lines of each field
    std::vector<std::string> defaults;  // input: default of each field
    int answer = 0;
};
std::vector<Dialog> dialogs();

// Modes set by the operations that only record.
struct Modes {
    int version = 0;
    int value_size = 0;
    double rotate3d_axes = 0;
    double surface_axes = 0;
    int hosted = 0;
    void* application = nullptr;
    void* application_key = nullptr;
    int console = 0;
    int redraws = 0;
    bool exited = false;
    int exit_code = 0;
    bool callback_hook = false;
    bool error_hook = false;
    bool destroy_hook = false;
};
Modes modes();

// The renderer's pictures of a figure (or of the figure an object lies in),
// for visual checks; false when the figure is gone, the file cannot be
// written, or the engine was built without the renderer.
bool render_png(double fig, const std::string& path);
bool render_svg(double fig, const std::string& path);
bool has_renderer();

} // namespace vizmo::test
