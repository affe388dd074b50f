// VOR-file version 5: the header, the array-element writer and reader, and
// the scan of element names, shared by load, save and the workspace
// listing of a file.
#pragma once

#include <cstdio>
#include <string>

class Mm;

// The tag types of data sub-elements and their precisions; an unknown one
// raises "loadsave5: unknown data format" and gives -1.
int v5_type_to_precision(int type);
int precision_to_v5_type(int code);

// The 128 header bytes; resets the names of unnamed values to "A".
bool write_v5_header(std::FILE* file);
// Appends one array element, recursively for cells and structs.
void write_v5_element(const char* path, std::FILE* file, const Mm& value);

// Reads the element at the current position into target (which keeps its
// own name); 0 on success, 1 on failure or at the end of the file.
int read_v5_element(const char* path, std::FILE* file, Mm& target);

// Outcome of loading one variable by name.
enum v5_load_result { v5_loaded = 0, v5_not_found = 1, v5_failed = 2 };
// Finds the element named like target and reads it; targets "ans" are
// skipped (loaded), "i_" and "j_" look for "i" and "j".
v5_load_result load5_by_name(const char* path, std::FILE* file, Mm& target);

// The name of the element at the current position; the file moves on to
// the next element. Empty at the end of the file.
std::string v5_next_name(std::FILE* file);

// Tag words of data sub-elements.
bool read_v5_tag(std::FILE* file, int swap, int* type, int* bytes);
bool write_v5_tag(std::FILE* file, int type, int bytes);
void align_read_8(std::FILE* file);
bool align_write_8(std::FILE* file);
