// The modal dialogs: message boxes, questions, input fields, choice lists,
// the help window and the print dialog. Values become bounded texts, the
// engine asks the user, and its answer comes back as a value.
#include "graphics/property_names.hpp"
#include "gui/dialog_text.hpp"
#include "io/files.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/index.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

// Bytes of the engine's text slots, terminator included.
constexpr int short_text = 256;
constexpr int message_text = 5000;
constexpr int help_topic = 512;
constexpr std::size_t help_text = 100000;
constexpr int max_buttons = 256;
constexpr int max_fields = 100;

void chopped() { warning("Mstr: buffer too small - chopped"); }

Mm number(double v) { return Mm(v); }

Mm element(const Mm& args, int k) { return args.safebr(k); }

// A 1 x n cell, or an empty value when its storage was refused; callers
// fill it only when it has its n elements.
Mm cell_row_of(int n) { return cell(number(1), number(n)); }

// A one-element cell holding x.
Mm boxed(const Mm& x)
{
    Mm c = cell_row_of(1);
    if (c.size() == 1)
        c.mr(1) = x;
    return c;
}

// The message or question: the rows of mchar({msg}) taken whole, joined by
// newlines. A line (a row, or a part of one between newlines, as in a help
// text) longer than its 255-character slot arrives empty; the text ends at
// the last whole line that fits in its buffer.
std::string message_of(const Mm& msg)
{
    const Mm rows = mchar(boxed(msg));
    std::string text;
    bool first = true;
    for (int r = 1, n = rows.rows(); r <= n; ++r) {
        const std::string row = matrix_row(rows, r);
        std::size_t from = 0;
        for (;;) {
            const std::size_t end = row.find('\n', from);
            std::string line = row.substr(from, end == std::string::npos ? std::string::npos : end - from);
            if (line.size() >= static_cast<std::size_t>(short_text)) {
                chopped();
                line.clear();
            }
            const std::size_t grow = line.size() + (first ? 0 : 1);
            if (text.size() + grow > static_cast<std::size_t>(message_text - 1)) {
                chopped();
                return text;
            }
            if (!first)
                text += '\n';
            text += line;
            first = false;
            if (end == std::string::npos)
                break;
            from = end + 1;
        }
    }
    return text;
}

// Writable C strings for the engine's string arrays; the storage lives as
// long as the object.
struct string_array {
    std::vector<std::string> texts;
    std::vector<char*> pointers;
    void add(std::string s) { texts.push_back(std::move(s)); }
    char** get()
    {
        pointers.clear();
        for (std::string& s : texts)
            pointers.push_back(s.data());
        return pointers.data();
    }
};

double value_at(const Mm& x, int k)
{
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr), k);
    if (x.gettype() == qv_double)
        return *x.getpr(static_cast<double*>(nullptr), k);
    return 0;
}

Mm show_message(const std::string& text, const Mm& title, const Mm& icon)
{
    const std::string t = bounded_text(title, short_text);
    const std::string i = bounded_text(icon, short_text);
    return number(vizmo_message_box(text.c_str(), t.c_str(), i.c_str()));
}

Mm fixed_icon_box(const Mm& args, const char* name, const char* icon)
{
    const int n = args.size();
    if (n == 0 || n > 3) {
        error("%s should have 1..3 parameter", name);
        return x_M;
    }
    return msgbox(Mm((CL(element(args, 1)), n >= 2 ? element(args, 2) : pv_empty_text, TM(icon))));
}

} // namespace

Mm msgbox(const Mm& args)
{
    drawnow();
    const int n = args.size();
    if (n == 0)
        error("msgbox should have at least one parameter");
    const std::string text = n >= 1 ? message_of(element(args, 1)) : std::string();
    return show_message(text, n >= 2 ? element(args, 2) : pv_empty_text, n >= 3 ? element(args, 3) : pv_empty_text);
}

Mm errordlg(const Mm& args) { return fixed_icon_box(args, "errordlg", "error"); }
Mm helpdlg(const Mm& args) { return fixed_icon_box(args, "helpdlg", "help"); }
Mm warndlg(const Mm& args) { return fixed_icon_box(args, "warndlg", "warn"); }

Mm questdlg(const Mm& args)
{
    drawnow();
    const int n = args.size();
    if (n == 0) {
        error("questdlg should have at least one parameter");
        return x_M;
    }
    const std::string text = message_of(element(args, 1));
    const std::string title = bounded_text(n >= 2 ? element(args, 2) : pv_empty_text, short_text);
    Mm buttons;
    if (n <= 3) {
        buttons = Mm((CL("Yes"), "No", "Cancel"));
    } else {
        buttons = cell_row_of(n - 3);
        for (int k = 3; k <= n - 1 && buttons.size() == n - 3; ++k)
            buttons.mr(k - 2) = element(args, k);
    }
    const int count = buttons.gettype() == qv_cell ? buttons.size() : 0;
    int dflt = 0;
    if (n >= 3)
        for (int k = 1; k <= count; ++k)
            if (istrue(strcmp(element(args, n), buttons.mr(k))))
                dflt = k - 1;
    string_array offered;
    for (int k = 1; k <= count && k <= max_buttons; ++k)
        offered.add(bounded_text(buttons.mr(k), short_text));
    if (count > max_buttons)
        chopped();
    const int shown = count > max_buttons ? max_buttons : count;
    const int r = vizmo_question_dialog(text.c_str(), title.c_str(), "quest", offered.get(), shown,
                                        dflt < shown ? dflt : 0);
    return Mm(buttons.br(number(r + 1)));
}

Mm inputdlg(const Mm& args)
{
    const int n = args.size();
    if (n == 0) {
        error("inputdlg must be called with at least one parameter");
        return x_M;
    }
    const Mm prompts = cellstr(element(args, 1));
    const Mm title = n >= 2 ? element(args, 2) : pv_empty_text;
    const Mm lines = n >= 3 ? element(args, 3) : Mm(x_M);
    const Mm defaults = n >= 4 ? cellstr(element(args, 4)) : cell(number(0));
    drawnow();
    const int prompt_count = prompts.gettype() == qv_cell ? prompts.size() : 0;
    const int default_count = defaults.gettype() == qv_cell ? defaults.size() : 0;
    const int count = prompt_count < max_fields ? prompt_count : max_fields;
    string_array prompt_texts, default_texts, answers;
    std::vector<int> line_counts;
    for (int i = 1; i <= count; ++i) {
        prompt_texts.add(bounded_text(prompts.mr(i), short_text));
        answers.add(std::string(short_text + 1, '\0'));
        default_texts.add(i <= default_count ? bounded_text(defaults.mr(i), short_text) : std::string());
        line_counts.push_back(i <= lines.size() ? static_cast<int>(std::trunc(value_at(lines, i))) : 1);
    }
    const std::string t = bounded_text(title, short_text);
    Mm result = cell(number(0));
    char** answer_slots = answers.get();
    if (vizmo_input_dialog(t.c_str(), prompt_texts.get(), line_counts.data(), default_texts.get(), count, answer_slots,
                           short_text)) {
        result = cell_row_of(count);
        for (int k = 1; k <= count && result.size() == count; ++k) {
            answer_slots[k - 1][short_text] = '\0';
            result.mr(k) = TM(answer_slots[k - 1]);
        }
    }
    return result;
}

Mm menu(const Mm& args)
{
    drawnow();
    const int n = args.size();
    if (n <= 1) {
        error("menu should have at least two items");
        return x_M;
    }
    std::vector<Mm> items{element(args, 1)};
    const Mm second = element(args, 2);
    if (second.gettype() == qv_cell) {
        for (int k = 1; k <= second.size(); ++k)
            items.push_back(second.mr(k));
    } else {
        for (int k = 2; k <= n; ++k)
            items.push_back(element(args, k));
    }
    string_array strings;
    for (const Mm& s : items)
        strings.add(bounded_text(s, s.size() + 6));
    return number(vizmo_menu_dialog(strings.get(), static_cast<int>(items.size())));
}

Mm printdlg(const Mm&)
{
    // While axes are hosted, the current axes is the hosted one.
    set(hosted_axes.size() > 0 ? hosted_axes : gcf(), pn_Print, number(1));
    return x_M;
}

Mm helpwin(const Mm& topic)
{
    const std::string name = bounded_text(topic, help_topic);
    std::vector<char> buffer(help_text, '\0');
    print_help_text(name.c_str(), 0, buffer.data(), buffer.size());
    return msgbox(Mm((CL(TM(buffer.data())), "help window")));
}

Mm helpwin(const Mm& text, const Mm& title) { return msgbox(Mm((CL(text), title))); }

Mm helpwin(const Mm& table, const Mm& topic, const Mm& title)
{
    for (int i = 1, rows = table.rows(); i <= rows && table.gettype() == qv_cell; ++i)
        if (istrue(strcmp(topic, Mm(table.br(number(i), number(1))))))
            return msgbox(Mm((CL(Mm(table.br(number(i), number(2)))), title)));
    error("helpwin: could not locate string topic in inputs");
    return x_M;
}
