// Data files: opening with the kind sniffed from the first bytes, version-4
// records, ASCII matrices and the scan of variable names that the
// workspace listing of a file uses.
#pragma once

#include <cstdio>
#include <string>

class Mm;
struct search_path;

enum data_file_kind : int { data_v4 = 0, data_v5 = 1, data_ascii = 2 };

// name with ".vor" when it has no '.' (one that ends in a separator names
// a folder and is left as it is).
std::string default_data_extension(const std::string& name);
// Opens name (name.vor first) through the path or the current directory,
// positioned after the header of its kind; null when not found (a folder
// is not found). opened, when given, receives the name that was opened.
std::FILE* open_data_file(const search_path* path, const std::string& name, int* kind,
                          std::string* opened = nullptr);

int read_v4_record(const char* path, std::FILE* file, Mm& target);
bool save_v4_record(std::FILE* file, const Mm& value);
std::string v4_next_name(std::FILE* file);
// Reads the whole file as one matrix; 0 on success.
int load_ascii(const char* path, std::FILE* file, Mm& target);
// The rows of the first page of value, each element "%23.13g".
bool saveascii_row(std::FILE* file, const Mm& value);
// The next variable name of an open data file; empty when there is none.
// For ASCII files the one name is the path cut at its first '.'.
std::string data_file_next_name(std::FILE* file, const std::string& path, int kind, const std::string& previous);
