// Internal side of reporting: the last-error text, display names of values
// in messages and the message-box layer.
#pragma once

#include <cstddef>

class Mm;

constexpr std::size_t report_buffer_size = 2048;

// The last-error text ("error: %s\n" after an error), 2048 bytes.
char* last_error_text();
void clear_last_error();
void set_last_error(const char* text);

// Appends the "called from" lines to text, a buffer of size bytes.
void error_call_stack(char* text, std::size_t size);

// A value's name in messages: its variable name; for a nameless one-element
// double "=%d" with the value; else "(temporary)". The "=%d" text lives in a
// small ring of buffers, so one message can name several values.
const char* matrix_display_name(const Mm& x);

// The message box of the host platform: the caption and text go to standard
// error unless a test or host replaces the layer.
using message_box_layer = void (*)(const char* caption, const char* text);
extern message_box_layer qv_message_box;

// The error line number set by the numbered forms of error and warning.
int error_line_number();

// While one of these is open on a thread, error() keeps the first text it is
// given and returns, as it does under a host hook that returns, instead of
// reporting or throwing. It serves code that no error may unwind through:
// the dynamic loader, while it runs a module's constructors, holds its own
// lock. Holds nest; each keeps the first text raised while it is the inner
// one.
class held_errors {
public:
    held_errors();
    ~held_errors();
    held_errors(const held_errors&) = delete;
    held_errors& operator=(const held_errors&) = delete;

    bool any() const { return raised_; }
    const char* text() const { return text_; }
    // Keeps text when this hold has none yet.
    void keep(const char* text);

private:
    held_errors* outer_;
    bool raised_ = false;
    char text_[report_buffer_size];
};

// The innermost hold of this thread, or null.
held_errors* current_error_hold();
