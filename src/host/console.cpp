// Console text and input: formatted printing through the print hook, the
// hooks that read a line, poll a key and clear the screen with their
// console defaults, and the language functions that talk to the user.
#include "host/console.hpp"
#include "engine/scalar_real.hpp"
#include "platform/console.hpp"
#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

// ---- hooks ----

void default_input_handler(char* buffer, int size) { platform::read_console_line(buffer, size); }

int default_kbhit_handler() { return platform::poll_key(); }

int default_clc_handler()
{
    platform::console_clear();
    return 0;
}

qv_input_handler_t qv_input_handler = default_input_handler;
qv_kbhit_handler_t qv_kbhit_handler = default_kbhit_handler;
qv_clc_handler_t qv_clc_handler = default_clc_handler;
int pause_enabled = 1;
int warnings_enabled = 1;

void qv_set_input_handler(qv_input_handler_t h) { qv_input_handler = h ? h : default_input_handler; }
void qv_set_kbhit_handler(qv_kbhit_handler_t h) { qv_kbhit_handler = h ? h : default_kbhit_handler; }
void qv_set_clc_handler(qv_clc_handler_t h) { qv_clc_handler = h ? h : default_clc_handler; }

namespace {

struct qv_deleter {
    void operator()(char* p) const noexcept { qv_free(p); }
};

// A value's text, rows joined by newlines, in a buffer of its own size.
std::string text_of(const Mm& x)
{
    std::string t(static_cast<std::size_t>(Mstr_size(x)), '\0');
    Mstr(x, t.data(), static_cast<int>(t.size()));
    t.resize(std::strlen(t.c_str()));
    return t;
}

} // namespace

int qv_printf(const char* format, ...)
{
    // The buffer is sized from the formatted length: a long argument
    // reaches the print hook whole.
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) {
        va_end(args);
        return n;
    }
    std::unique_ptr<char, qv_deleter> text(static_cast<char*>(qv_malloc(static_cast<std::size_t>(n) + 1)));
    if (!text) {
        va_end(args);
        error("Out of memory!");
        return 0;
    }
    std::vsnprintf(text.get(), static_cast<std::size_t>(n) + 1, format, args);
    va_end(args);
    qv_print_handler(text.get());
    return n;
}

// ---- text helpers ----

namespace {

inline unsigned fold(char c)
{
    unsigned u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? u + 32 : u;
}

} // namespace

int ascii_strnicmp(const char* a, const char* b, int n)
{
    if (n <= 0)
        return 0;
    for (int k = 0;; ++k) {
        unsigned fa = fold(a[k]), fb = fold(b[k]);
        if (fa != fb || fa == 0 || k + 1 == n)
            return static_cast<int>(fa) - static_cast<int>(fb);
    }
}

int ascii_stricmp(const char* a, const char* b)
{
    for (int k = 0;; ++k) {
        unsigned fa = fold(a[k]), fb = fold(b[k]);
        if (fa != fb || fa == 0)
            return static_cast<int>(fa) - static_cast<int>(fb);
    }
}

int pause_milliseconds(double seconds)
{
    const double ms = seconds * 1000;
    return ms > 0 ? saturate_to_int(ms) : 0;
}

// ---- language functions ----

namespace {

constexpr int input_line_size = 2048;

// Element k of a text or number as a double; NaN beyond its elements.
double element_or_nan(const Mm& x, int k)
{
    if (k < 0 || k >= x.size())
        return NAN;
    if (x.issparse())
        return element_or_nan(full(x), k);
    if (x.gettype() == qv_uint8)
        return x.getpr((unsigned char*)nullptr)[k];
    if (x.gettype() == qv_double)
        return x.addr()[k];
    return NAN;
}

// Shows the prompt, reads one line through the input hook and raises the
// interrupt a host reports as the line "ctrl_c_event".
std::string ask(const Mm& prompt, bool cut_at_newline)
{
    drawnow();
    qv_print_handler(text_of(prompt).c_str());
    qv_print_handler("\n");
    char line[input_line_size] = {};
    qv_input_handler(line, input_line_size);
    line[input_line_size - 1] = 0;  // a host's hook may fill the buffer
    if (cut_at_newline)
        if (char* newline = std::strchr(line, '\n'))
            *newline = 0;
    qv_print_handler("\n");
    if (std::strcmp(line, "ctrl_c_event") == 0)
        error("Ctrl-C");
    return line;
}

} // namespace

Mm pauseM()
{
    drawnow();
    const Mm pressed(1.0);
    for (;;) {
        if (isequal(checkforbuttonpress(), pressed) || qv_kbhit_handler())
            break;
        // A person takes far longer than this to press anything; without it
        // the wait would keep a processor busy.
        platform::sleep_milliseconds(1);
    }
    qv_print_handler("\n");
    return x_M;
}

Mm pauseM(const Mm& x)
{
    drawnow();
    if (x.isstr()) {
        pause_enabled = element_or_nan(x, 1) == 'n';
        return x_M;
    }
    if (pause_enabled)
        platform::sleep_milliseconds(pause_milliseconds(element_or_nan(x, 0)));
    return x_M;
}

Mm input(const Mm& prompt)
{
    const std::string line = ask(prompt, false);
    if (line.empty())
        return nop_M;
    for (char c : line)
        if (!std::strchr("0123456789dDeEfF.+-[] \t\r\n", c)) {
            warning("input: text is non-numeric, use input(...,'s')");
            break;
        }
    return str2num(TM(line.c_str()));
}

Mm input(const Mm& prompt, const Mm&) { return TM(ask(prompt, true).c_str()); }

Mm kbhitM() { return Mm(static_cast<double>(qv_kbhit_handler())); }

Mm clc()
{
    qv_clc_handler();
    return x_M;
}

Mm home()
{
    platform::console_home(1, 1);
    return x_M;
}

Mm puts(const Mm& x)
{
    disp(x);
    return x_M;
}

Mm usage(const Mm& x)
{
    qv_print_handler("Usage: ");
    disp(x);
    return x_M;
}

Mm smiley()
{
    qv_print_handler("8-)\n");
    return nop_M;
}

Mm warning() { return TM(warnings_enabled ? "on" : "off"); }

Mm warning(const Mm& text)
{
    const std::string t = text_of(text);
    if (t == "on")
        warnings_enabled = 1;
    else if (t == "off")
        warnings_enabled = 0;
    else if (warnings_enabled)
        warning("%s", t.c_str());  // the text is the message, never a format
    return x_M;
}

Mm error()
{
    error("error!");
    return x_M;
}

Mm error(const Mm& msg)
{
    if (msg.size() > 0)
        error("%s", text_of(msg).c_str());
    return x_M;
}
