// The headless stand-in engine: state and the operation log.
#include "vizmo4510.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct EngineState {
    std::mutex lock;
    std::vector<std::string> log;
    std::deque<int> button_answers;
    void (*callback_hook)(miniM*) = nullptr;
    void (*error_hook)(const char*) = nullptr;
    void (*destroy_hook)(Mm*) = nullptr;
    int version = 0;
};

// Never destroyed: the library withdraws its hooks from its own static
// destructors, which may run after ours would have.
EngineState& state()
{
    static EngineState* s = new EngineState;
    return *s;
}

void record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void record(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.log.emplace_back(line);
}

// Appends the line unless it repeats the last one.
void record_unless_repeated(const std::string& line)
{
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.log.empty() || s.log.back() != line)
        s.log.push_back(line);
}

const char* set_or_null(const void* p) { return p ? "set" : "null"; }

} // namespace

extern "C" {

void vizmo_init(int runtime_version, int n)
{
    state().version = runtime_version;
    record("init %d %d", runtime_version, n);
}

void vizmo_set_callback_hook(void (*hook)(miniM*))
{
    state().callback_hook = hook;
    record("set_callback_hook %s", set_or_null(reinterpret_cast<const void*>(hook)));
}

void vizmo_set_error_hook(void (*hook)(const char*))
{
    state().error_hook = hook;
    record("set_error_hook %s", set_or_null(reinterpret_cast<const void*>(hook)));
}

void vizmo_set_destroy_hook(void (*hook)(Mm*))
{
    state().destroy_hook = hook;
    record("set_destroy_hook %s", set_or_null(reinterpret_cast<const void*>(hook)));
}

void vizmo_redraw(void) { record("redraw"); }

void vizmo_exit(int code) { record("exit %d", code); }

void vizmo_delete_object(double handle) { record("delete %.17g", handle); }

int vizmo_button_press(void)
{
    int answer = 0;
    {
        EngineState& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.button_answers.empty()) {
            answer = s.button_answers.front() != 0;
            s.button_answers.pop_front();
        }
    }
    record_unless_repeated("button_press " + std::to_string(answer));
    return answer;
}

void vizmo_script_button_press(const int* answers, int n)
{
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.button_answers.clear();
    for (int k = 0; answers && k < n; ++k)
        s.button_answers.push_back(answers[k]);
}

int vizmo_log_size(void)
{
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.log.size());
}

const char* vizmo_log_line(int k)
{
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (k < 0 || k >= static_cast<int>(s.log.size()))
        return nullptr;
    return s.log[static_cast<size_t>(k)].c_str();
}

void vizmo_log_clear(void)
{
    EngineState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.log.clear();
}

int vizmo_fire_callback(const char* text)
{
    void (*hook)(miniM*) = state().callback_hook;
    if (!hook)
        return 0;
    record("callback %s", text);
    // The text travels as a character row of doubles, as the engine holds it.
    size_t n = std::strlen(text);
    miniM m{2, {1, static_cast<int>(n), 1, 1}, 1, nullptr};
    if (n > 0) {
        m.data = static_cast<double*>(std::calloc(n, sizeof(double)));
        if (!m.data)
            return 0;
        for (size_t k = 0; k < n; ++k)
            m.data[k] = static_cast<unsigned char>(text[k]);
    }
    hook(&m);
    std::free(m.data);
    return 1;
}

} // extern "C"
