// Error, warning and message reporting: the replaceable hooks, the flag words
// that steer the default hooks, the last-error text and the language call
// stack listed in reports.
#pragma once

using qv_text_handler = void (*)(const char*);
using qv_debug_handler_t = void (*)(int, const char*);

extern qv_text_handler qv_print_handler;
extern qv_text_handler qv_error_handler;
extern qv_text_handler qv_warning_handler;
extern qv_text_handler qv_message_handler;
extern qv_text_handler qv_logmessage_handler;
extern qv_debug_handler_t qv_debug_handler;

// 0x1 echo through the print hook, 0x2 message box, 0x8 debug notices,
// 0x10 the default error hook throws the message text as a const char*.
extern unsigned int qv_default_error_flags;    // 7 at load
extern unsigned int qv_default_warning_flags;  // 3 at load

void error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void error(int line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warning(int line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logmessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Each setter installs the given hook (null restores the default) and
// returns the one it replaced.
qv_text_handler qv_set_print_handler(qv_text_handler h);
qv_text_handler qv_set_error_handler(qv_text_handler h);
qv_text_handler qv_set_warning_handler(qv_text_handler h);
qv_text_handler qv_set_message_handler(qv_text_handler h);
qv_text_handler qv_set_logmessage_handler(qv_text_handler h);
qv_debug_handler_t qv_set_debug_handler(qv_debug_handler_t h);
int qv_was_handler_set();
void qv_set_default_error_flags(unsigned int bits, unsigned int on);
void qv_set_default_warning_flags(unsigned int bits, unsigned int on);

// Reports the last-error text (with the call stack) and clears it.
void error_lasterr();
// Appends the "called from" lines to text, which holds 2048 bytes.
void error_call_stack(char* text);

// The language call stack that compiled programs keep for error reports;
// frame 0 is the top level and is never listed.
struct qv_error_stack_t {
    enum { frames = 513 };
    const char* functions[frames];
    int lines[frames];
    int depth;
    int* current_line;
};
extern qv_error_stack_t qv_error_stack;
