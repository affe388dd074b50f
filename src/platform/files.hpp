// The file system under the path and file functions: names cross into the
// system here, and only here, with '\' turned into '/'. Paths inside the
// library keep the backslash form the language shows its users.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// The name as the system reads it: every '\' becomes '/'.
std::string native_path(std::string_view name);
// The name as the language shows it: every '/' becomes '\'.
std::string language_path(std::string_view name);

// Opens a file by its language name; null on failure.
std::FILE* open_file(std::string_view name, const char* mode);
// Whether the file can be opened for reading.
bool file_exists(std::string_view name);
// Whether the name is a directory the process may enter.
bool dir_exists(std::string_view name);
// The current directory in the language's form ("" when unknown).
std::string current_dir();
// The absolute form of a name: relative names are read from the current
// directory, "." and ".." are folded in the text (nothing is looked up).
std::string full_path_name(std::string_view name);
// The system's temporary directory with a final '\'.
std::string temp_dir();

// A whole file written beside the one it replaces. Every byte goes to a
// temporary file in the same folder, and only a complete, flushed, synced
// and closed file is renamed over the old one, so that a full disk, a size
// limit or a crash leaves the old file as it was. A file this process may
// not write (one the user protected) is not replaced: the open fails, as
// an open for writing would. A target that is no regular file (a device
// such as /dev/full, a named pipe) cannot be replaced and is written in
// place, as is a setting of the kernel's own file systems (/proc, /sys);
// a pipe that no process reads is refused rather than waited on. A
// process's open file reached through the kernel's links (/dev/stdout,
// /dev/fd/N), whose text names no path, is written where the system
// leads: a pipe in place, a file by its complete temporary written over
// it. A target that is a symbolic link, or a chain of them, replaces (or makes)
// the file at its end, and the links stay. A file that may be written but
// neither created nor replaced in its folder (another user's file in a
// folder with the sticky bit; a folder the process may not write, where
// the temporary has no name and lies in the folder for temporaries, or in
// /tmp or memory where that folder takes none) takes the complete
// temporary written over it in place. The new file keeps the
// owner, group, mode and extended attributes (an access control list among
// them) of the old one, as a write in place would leave them; where the
// temporary cannot be given them (another user's file that only root
// could give away) or the old file has other names (hard links), the
// complete temporary is written over the old file in place too; a size
// limit or a file system too full for it is found before the old bytes
// change. The writer checks
// ferror and every step of the commit; a replacement dropped without
// commit removes its temporary. A temporary is locked while its writer
// lives, and opening a replacement removes the temporaries of the same
// file that killed writers left.
class file_replacement {
public:
    file_replacement() = default;
    ~file_replacement();
    file_replacement(const file_replacement&) = delete;
    file_replacement& operator=(const file_replacement&) = delete;

    // Starts writing the file of that language name; false (and errno
    // set) when no stream could be made. mode is "wb" or "w".
    bool open(std::string_view name, const char* mode = "wb");
    std::FILE* stream() const { return stream_; }
    // Completes the file: true when every byte reached it and it has
    // taken the old file's place; else false with errno set, the
    // temporary removed and the old file untouched.
    bool commit();
    // Drops what was written: the temporary goes, the old file stays.
    void abandon();

private:
    void release_lock();
    bool fail(int err);  // abandons, sets errno, false

    std::FILE* stream_ = nullptr;
    int lock_ = -1;           // the temporary (readable); holds its lock until it is gone
    int folder_ = -1;         // the folder of the file replaced; names are taken in it
    bool copy_over_ = false;  // the temporary is written over the file, not renamed
    bool through_link_ = false;  // base_ is a link of the kernel's, written through
    std::string base_;        // the name of the file replaced, in its folder
    std::string temporary_;   // the temporary's name in the folder; empty when it has none
};

} // namespace platform
