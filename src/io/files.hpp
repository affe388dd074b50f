// Internal helpers of the file functions: whole texts of argument values,
// the help-text reader and the directory listing, shared with the data
// files, the workspace and the help window.
#pragma once

#include "platform/files.hpp"

#include <cerrno>
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

// name with the extension (".vor", ".wav") when it has no '.'. A name that
// ends in a separator names a folder, not a file in it, and is left as
// it is (a writer then refuses it).
inline std::string with_default_extension(const std::string& name, const char* extension)
{
    if (name.find('.') != std::string::npos || (!name.empty() && (name.back() == '/' || name.back() == '\\')))
        return name;
    return name + extension;
}

// How a whole file went: written; not created (nothing touched); a write
// that failed (the writer raised its message; the old file stays); not
// completed (flush, sync, close or rename failed; the old file stays).
enum class whole_file { written, not_created, not_written, not_completed };

// Every writer of a whole file goes through here: write(stream) fills a
// temporary beside the file and returns false after a failure; only a
// complete file replaces the old one. error_number receives the system's
// reason for a failure.
template <class F>
whole_file write_whole_file(const std::string& name, const char* mode, F&& write, int& error_number)
{
    platform::file_replacement out;
    error_number = 0;
    if (!out.open(name, mode)) {
        error_number = errno;
        return whole_file::not_created;
    }
    errno = 0;
    if (!write(out.stream())) {
        error_number = errno ? errno : EIO;
        return whole_file::not_written;
    }
    if (!out.commit()) {
        error_number = errno;
        return whole_file::not_completed;
    }
    return whole_file::written;
}
