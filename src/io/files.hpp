// Internal helpers of the file functions: whole texts of argument values,
// the help-text reader and the directory listing, shared with the data
// files, the workspace and the help window.
#pragma once

#include <cstddef>
#include <string>

class Mm;

// The characters of a text value (its elements in column-major order), of
// any length.
std::string value_text(const Mm& x);

// Writes the help block of the language file name (or the whole file) to
// the print hook, or, when buffer is given, into it: at most capacity - 1
// characters and a terminator.
void print_help_text(const char* name, int whole, char* buffer, std::size_t capacity);

// The n x 1 struct array (name, date, bytes, isdir) of the files matching
// pattern; an empty pattern or "*.*" lists everything.
Mm dir_listing(const char* pattern);

// Runs each ';'- or newline-separated command in order; -1 when one could
// not be run (the rest are not tried), else 0.
int run_command_list(const char* text);
