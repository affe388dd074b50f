// The terminal under the console hooks: reading a line, polling a key,
// clearing the screen, placing the cursor and sleeping. Kept apart so the
// hooks above read the same on any platform.
#pragma once

namespace platform {

// One line of standard input into buffer (at most size - 1 characters and a
// terminating zero, the newline kept); the empty text at end of input.
void read_console_line(char* buffer, int size);
// The code of a key waiting at the terminal, read without echo; 0 when no
// key waits or standard input is not a terminal.
int poll_key();
// Clears the terminal of standard output and puts the cursor top left;
// nothing when standard output is not a terminal.
void console_clear();
// Puts the cursor at column and row, both counted from 1.
void console_home(int column, int row);
// Sleeps the given number of milliseconds (none for 0 or less).
void sleep_milliseconds(int ms);

} // namespace platform
