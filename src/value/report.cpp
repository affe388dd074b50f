// Error, warning, message and log reporting through replaceable hooks, the
// flag words of the default hooks, the last-error text and the call stack.
#include "engine/scalar_real.hpp"
#include "value/file_names.hpp"
#include "value/report.hpp"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Each thread formats, reports and throws its own texts, so in multi-thread
// mode no thread reads another's message or a half-written one.
thread_local char format_buffer[report_buffer_size];
thread_local char last_error[report_buffer_size];
thread_local char warning_buffer[report_buffer_size];
thread_local int error_line = 0;
thread_local held_errors* error_hold = nullptr;
int was_set = 0;

// What the default error hook throws: each throw gets its own copy, so a
// warning or message issued while the stack unwinds cannot change it.
constexpr int throw_ring = 8;
thread_local char thrown[throw_ring][report_buffer_size];
thread_local int next_thrown = 0;

void default_print(const char* text)
{
    if (text)
        std::fputs(text, stdout);
}

void default_debug(int code, const char* text)
{
    std::fprintf(stdout, "DEBUG:%c %s\n", code, text ? text : "");
}

void stderr_message_box(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

void append(char* dst, std::size_t size, const char* src)
{
    std::size_t used = std::strlen(dst);
    if (used + 1 >= size)
        return;
    std::snprintf(dst + used, size - used, "%s", src);
}

// The numbered layout of errors and warnings after error(line, ...). The
// library keeps no source file or text, so the file is empty and the quoted
// line is "(end of file)".
void numbered_layout(char* out, std::size_t size, const char* msg)
{
    std::snprintf(out, size, "%s %s %d: '%s'\n%s\n\n", "Error", "", error_line, "(end of file)", msg);
}

void default_error(const char* text)
{
    if (error_line > 0)
        numbered_layout(last_error, sizeof last_error, text);
    else
        std::snprintf(last_error, sizeof last_error, "error: %s\n", text);
    if (qv_default_error_flags & 0x10) {
        char* copy = thrown[next_thrown];
        next_thrown = (next_thrown + 1) % throw_ring;
        std::snprintf(copy, report_buffer_size, "%s", text);
        throw static_cast<const char*>(copy);
    }
    error_lasterr();
    std::exit(1);
}

void default_warning(const char* text)
{
    if (error_line > 0)
        numbered_layout(warning_buffer, sizeof warning_buffer, text);
    else
        std::snprintf(warning_buffer, sizeof warning_buffer, "warning: %s\n\n", text);
    if (qv_default_warning_flags & 0x1)
        qv_print_handler(warning_buffer);
    if (qv_default_warning_flags & 0x2)
        qv_message_box("Problem", warning_buffer);
}

void default_message(const char* text)
{
    if (qv_default_error_flags & 0x2)
        qv_message_box("Message", text);
    if (qv_default_error_flags & 0x1) {
        qv_print_handler(text);
        qv_print_handler("\n");
    }
}

void default_logmessage(const char* text)
{
    qv_print_handler(text);
    qv_print_handler("\n");
}

template <class Hook>
Hook replace_hook(Hook& slot, Hook fallback, Hook given)
{
    was_set = 1;
    Hook old = slot;
    slot = fallback;
    if (given)
        slot = given;
    return old;
}

} // namespace

qv_text_handler qv_print_handler = default_print;
qv_text_handler qv_error_handler = default_error;
qv_text_handler qv_warning_handler = default_warning;
qv_text_handler qv_message_handler = default_message;
qv_text_handler qv_logmessage_handler = default_logmessage;
qv_debug_handler_t qv_debug_handler = default_debug;
unsigned int qv_default_error_flags = 7;
unsigned int qv_default_warning_flags = 3;
message_box_layer qv_message_box = stderr_message_box;

char* last_error_text() { return last_error; }
void clear_last_error() { last_error[0] = 0; }
void set_last_error(const char* text) { std::snprintf(last_error, sizeof last_error, "%s", text); }
int error_line_number() { return error_line; }

#define FORMAT_INTO_BUFFER(format)                                        \
    do {                                                                  \
        va_list args;                                                     \
        va_start(args, format);                                           \
        std::vsnprintf(format_buffer, sizeof format_buffer, format, args); \
        va_end(args);                                                     \
    } while (0)

held_errors::held_errors() : outer_(error_hold) { text_[0] = 0; error_hold = this; }

held_errors::~held_errors() { error_hold = outer_; }

void held_errors::keep(const char* text)
{
    if (raised_)
        return;
    raised_ = true;
    std::snprintf(text_, sizeof text_, "%s", text ? text : "");
}

held_errors* current_error_hold() { return error_hold; }

namespace {

void raise_formatted()
{
    if (error_hold) {
        error_hold->keep(format_buffer);
        return;
    }
    qv_error_handler(format_buffer);
}

} // namespace

void error(const char* format, ...)
{
    FORMAT_INTO_BUFFER(format);
    raise_formatted();
}

void error(int line, const char* format, ...)
{
    error_line = line;
    FORMAT_INTO_BUFFER(format);
    raise_formatted();
}

void warning(const char* format, ...)
{
    FORMAT_INTO_BUFFER(format);
    qv_warning_handler(format_buffer);
}

void warning(int line, const char* format, ...)
{
    error_line = line;
    FORMAT_INTO_BUFFER(format);
    qv_warning_handler(format_buffer);
}

void message(const char* format, ...)
{
    FORMAT_INTO_BUFFER(format);
    qv_message_handler(format_buffer);
}

void logmessage(const char* format, ...)
{
    FORMAT_INTO_BUFFER(format);
    qv_logmessage_handler(format_buffer);
}

qv_text_handler qv_set_print_handler(qv_text_handler h) { return replace_hook(qv_print_handler, default_print, h); }
qv_text_handler qv_set_error_handler(qv_text_handler h) { return replace_hook(qv_error_handler, default_error, h); }
qv_text_handler qv_set_warning_handler(qv_text_handler h)
{
    return replace_hook(qv_warning_handler, default_warning, h);
}
qv_text_handler qv_set_message_handler(qv_text_handler h)
{
    return replace_hook(qv_message_handler, default_message, h);
}
qv_text_handler qv_set_logmessage_handler(qv_text_handler h)
{
    return replace_hook(qv_logmessage_handler, default_logmessage, h);
}
qv_debug_handler_t qv_set_debug_handler(qv_debug_handler_t h)
{
    return replace_hook(qv_debug_handler, default_debug, h);
}

int qv_was_handler_set() { return was_set; }

void qv_set_default_error_flags(unsigned int bits, unsigned int on)
{
    qv_default_error_flags = on ? (qv_default_error_flags | bits) : (qv_default_error_flags & ~bits);
}

void qv_set_default_warning_flags(unsigned int bits, unsigned int on)
{
    qv_default_warning_flags = on ? (qv_default_warning_flags | bits) : (qv_default_warning_flags & ~bits);
}

void error_call_stack(char* text, std::size_t size)
{
    int depth = qv_error_stack.depth;
    if (depth >= qv_error_stack_t::frames)
        depth = qv_error_stack_t::frames - 1;
    for (int k = depth; k >= 1; --k) {
        if (std::strlen(text) + 1 >= size)
            return;
        const char* fn = qv_error_stack.functions[k];
        char line[256];
        if (qv_error_stack.lines[k] != 0)
            std::snprintf(line, sizeof line - 1, "%s %s %d", "called from", fn ? fn : "", qv_error_stack.lines[k]);
        else
            std::snprintf(line, sizeof line - 1, "%s %s", "called from", fn ? fn : "");
        std::strcat(line, "\n");
        append(text, size, line);
    }
}

void error_call_stack(char* text) { error_call_stack(text, report_buffer_size); }

void error_lasterr()
{
    char report[report_buffer_size];
    std::snprintf(report, sizeof report, "%s", last_error[0] ? last_error : "Aborted!\n");
    error_call_stack(report, sizeof report);
    // Wrap long lines at the first blank from column 64 on.
    int column = 0;
    for (char* c = report; *c; ++c) {
        if (*c == '\n')
            column = 0;
        else if (*c == ' ' && column >= 64) {
            *c = '\n';
            column = 0;
        } else
            ++column;
    }
    to_backslashes(report);
    if (qv_default_error_flags & 0x1) {
        qv_print_handler(report);
        qv_print_handler("\n");
    }
    if (qv_default_error_flags & 0x2)
        qv_message_box("Problem", report);
    clear_last_error();
}

const char* matrix_display_name(const Mm& x)
{
    if (x.getname())
        return x.getname();
    const int* d = x.getdims();
    long long count = 1;
    for (int k = 0; k < x.getndims(); ++k)
        count *= d[k];
    if (count == 1 && x.gettype() == qv_double && x.hasstorage()) {
        double v = 0;
        if (!x.issparse())
            v = *x.getpr((double*)nullptr);
        else if (x.getnnz() > 0)
            v = *x.getpr((double*)nullptr);
        static thread_local char ring[8][24];
        static thread_local int next = 0;
        char* out = ring[next];
        next = (next + 1) % 8;
        std::snprintf(out, sizeof ring[0], "=%d", saturate_to_int(v));
        return out;
    }
    return "(temporary)";
}
