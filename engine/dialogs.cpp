// Modal dialogs, answered from the test script or, unscripted, with the
// answer a user who accepts every default would give. Every call is kept.
#include "state.hpp"

#include <algorithm>
#include <cstring>

namespace vizmo {

namespace {

std::string text_or_empty(const char* s) { return s ? s : ""; }

// Copies s into a buffer of size bytes, cut to size - 1 characters.
void copy_out(char* buffer, int size, const std::string& s)
{
    if (!buffer || size <= 0)
        return;
    const std::size_t n = std::min(s.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
}

std::vector<std::string> strings(char** list, int count)
{
    std::vector<std::string> out;
    for (int k = 0; list && k < count; ++k)
        out.push_back(text_or_empty(list[k]));
    return out;
}

template <class T> bool next(std::deque<T>& q, T& out)
{
    if (q.empty())
        return false;
    out = std::move(q.front());
    q.pop_front();
    return true;
}

void file_dialog(const char* kind, const char* filter, const char* title, char* file, int file_size, char* path,
                 int path_size)
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = kind;
    d.title = text_or_empty(title);
    d.text = text_or_empty(filter);
    std::pair<std::string, std::string> answer;
    next(e.answers.file, answer);  // unscripted: cancelled
    d.items = {answer.first, answer.second};
    d.answer = !answer.first.empty();
    e.dialogs.push_back(d);
    record("%s %s", kind, d.answer ? "chosen" : "cancelled");
    copy_out(file, file_size, answer.first);
    copy_out(path, path_size, answer.second);
}

} // namespace

} // namespace vizmo

using namespace vizmo;

extern "C" {

int vizmo_message_box(const char* text, const char* title, const char* icon) try
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "message";
    d.title = text_or_empty(title);
    d.text = text_or_empty(text);
    d.items = {text_or_empty(icon)};
    int r = 1;
    next(e.answers.message, r);
    d.answer = r;
    e.dialogs.push_back(d);
    record("message %d", r);
    return r;
} catch (const std::exception&) {
    report_failure();
    return 1;
}

int vizmo_question_dialog(const char* text, const char* title, const char* kind, char** buttons, int count,
                          int default_button) try
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "question";
    d.title = text_or_empty(title);
    d.text = text_or_empty(text);
    d.items = strings(buttons, count);
    d.number = default_button;
    int r = default_button;
    next(e.answers.question, r);
    d.answer = r;
    e.dialogs.push_back(d);
    record("question %d", r);
    return r;
} catch (const std::exception&) {
    report_failure();
    return default_button;
}

int vizmo_input_dialog(const char* title, char** prompts, int* line_counts, char** defaults, int count,
                       char** answers, int size) try
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "input";
    d.title = text_or_empty(title);
    d.items = strings(prompts, count);
    d.number = count;
    if (line_counts)
        d.line_counts.assign(line_counts, line_counts + (count > 0 ? count : 0));
    d.defaults = strings(defaults, count);
    std::pair<bool, std::vector<std::string>> scripted{true, {}};
    next(e.answers.input, scripted);
    d.answer = scripted.first;
    e.dialogs.push_back(d);
    record("input %s", scripted.first ? "confirmed" : "cancelled");
    if (!scripted.first)
        return 0;
    // Fields the script leaves out keep their defaults.
    const std::vector<std::string> fallback = strings(defaults, count);
    for (int k = 0; answers && k < count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        copy_out(answers[k], size, i < scripted.second.size() ? scripted.second[i] : fallback[i]);
    }
    return 1;
} catch (const std::exception&) {
    report_failure();
    return 0;
}

int vizmo_menu_dialog(char** list, int count) try
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "menu";
    std::vector<std::string> all = strings(list, count);
    if (!all.empty()) {
        d.title = all.front();
        all.erase(all.begin());
    }
    d.items = std::move(all);
    int r = 0;
    next(e.answers.menu, r);
    d.answer = r;
    e.dialogs.push_back(d);
    record("menu %d", r);
    return r;
} catch (const std::exception&) {
    report_failure();
    return 0;
}

void vizmo_open_file_dialog(const char* filter, const char* title, char* file, int file_size, char* path,
                            int path_size) try
{
    file_dialog("open_file", filter, title, file, file_size, path, path_size);
} catch (const std::exception&) {
    report_failure();
}

void vizmo_save_file_dialog(const char* filter, const char* title, char* file, int file_size, char* path,
                            int path_size) try
{
    file_dialog("save_file", filter, title, file, file_size, path, path_size);
} catch (const std::exception&) {
    report_failure();
}

int vizmo_color_dialog(int mode, int colour) try
{
    Engine& e = engine();
    test::Dialog d;
    d.kind = "color";
    d.number = colour;
    int r = -1;
    next(e.answers.color, r);
    d.answer = r;
    e.dialogs.push_back(d);
    record("color %d", r);
    return r;
} catch (const std::exception&) {
    report_failure();
    return -1;
}

} // extern "C"
