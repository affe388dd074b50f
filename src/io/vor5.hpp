// VOR-file version 5: the header, the array-element writer and reader, and
// the scan of element names, shared by load, save and the workspace
// listing of a file.
#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <unordered_map>

class Mm;

// The tag types of data sub-elements and their precisions; an unknown one
// raises "loadsave5: unknown data format" and gives -1.
int v5_type_to_precision(int type);
int precision_to_v5_type(int code);

// The 128 header bytes.
bool write_v5_header(std::FILE* file);
// Whether every part of the value can be written so that it reads back the
// same, its element size included; raises the save's message when not.
bool v5_can_save(const char* path, const Mm& value);
// The bytes of the value's element as the writer lays it out, its tag
// included, counted without writing (the value keeps its own name, or
// takes a one-letter one).
unsigned long long v5_element_bytes(const Mm& value);

// The writing of one file: the header, then one array element per value
// (recursively for cells and structs). Unnamed values take the names "A"
// to "Z", "a" to "z", again from "A", in the order this file meets them,
// whatever other saves run at the same time.
class v5_file_writer {
public:
    v5_file_writer(const char* path, std::FILE* file) : path_(path ? path : ""), file_(file) {}
    // Each false after the message of the write that failed.
    bool header();
    // The value has passed v5_can_save.
    bool element(const Mm& value);

private:
    const char* path_;
    std::FILE* file_;
    int unnamed_ = 0;
};

// Reads the element at the current position into target (which keeps its
// own name); 0 on success, 1 on failure or at the end of the file.
int read_v5_element(const char* path, std::FILE* file, Mm& target);

// The names of a file's array elements and where each starts, read once so
// that loading many names costs one pass; elements of other types are
// skipped by their size.
class v5_directory {
public:
    explicit v5_directory(std::FILE* file);
    // Offset of the first element of that name; -1 when there is none.
    long long find(const std::string& name) const;
    // Whether the scan stopped at damage before the end of the file.
    bool damaged() const { return damaged_; }

private:
    std::unordered_map<std::string, off_t> offsets_;
    bool damaged_ = false;
};

// Outcome of loading one variable by name.
enum v5_load_result { v5_loaded = 0, v5_not_found = 1, v5_failed = 2 };
// Finds the element named like target in the file's directory and reads
// it; targets "ans" are skipped (loaded), "i_" and "j_" look for "i" and "j".
v5_load_result load5_by_name(const char* path, std::FILE* file, Mm& target, const v5_directory& directory);

// The name of the next array element from the current position (" " for
// one without a readable name); the file moves on past it. Elements of
// other types are skipped. Empty at the end of the file.
std::string v5_next_name(std::FILE* file);

// Tag words of data sub-elements.
// Byte counts are unsigned 32-bit.
bool read_v5_tag(std::FILE* file, int swap, int* type, long long* bytes);
bool write_v5_tag(std::FILE* file, int type, unsigned bytes);
void align_read_8(std::FILE* file);
bool align_write_8(std::FILE* file);
