// Precisions: the binary element types of unformatted files, with the
// conversion of doubles to their bytes and back and the byte orders that
// fread, fwrite, the data files and the WAV files share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class Mm;

enum precision_code : int {
    prec_double = 0,
    prec_single = 1,
    prec_int32 = 2,
    prec_int16 = 3,
    prec_uint16 = 4,
    prec_uint8 = 5,
    prec_long_double = 6,  // stored exactly as an IEEE double
    prec_uint32 = 7,
    prec_int8 = 8,
    prec_int64 = 9,
    prec_uint64 = 10,
};

// The code of a precision name and its element size; an unknown name
// raises "fileio: unknown precision %s" and counts as double.
int fileio(const char* name, int* bytes);
// The same without a message: -1 for an unknown name (bytes untouched).
int find_precision(const char* name, int* bytes);
// Raises the message of a precision name find_precision does not know.
void unknown_precision(const char* name);
// The element size of a code (8 for codes outside 0 to 10).
int precision_size(int code);

// 1 for "b"/"ieee-be", 0 for "l"/"ieee-le", the native order for
// "n"/"native", -1 for anything else.
int machine_format_code(const Mm& name);
int machine_format_code(const char* name);
// "ieee-be" for 1, "ieee-le" for every other code.
const char* machine_format_name(int code);

void swap_bytes(std::uint16_t* p);
void swap_bytes(std::uint32_t* p);
void swap_bytes(std::uint64_t* p);

// One value converted to the precision and written; the item count of the
// write (0 on failure). Code -1 writes nothing and returns -1.
int write_as_precision(double value, std::FILE* file, int code, int swap);
// count values written in bounded chunks; the number of whole elements the
// file took.
std::size_t write_block_as_precision(const double* values, std::size_t count, std::FILE* file, int code, int swap);
// Reads up to count elements into dst as doubles (32-bit integers, bytes);
// elements the file did not supply are left untouched. Returns the number
// of whole elements read.
std::size_t read_as_precision(double* dst, std::size_t count, std::FILE* file, int code, int swap);
std::size_t read_as_precision_int(int* dst, std::size_t count, std::FILE* file, int code, int swap);
std::size_t read_as_precision_byte(unsigned char* dst, std::size_t count, std::FILE* file, int code, int swap);

// The conversions themselves, for readers of byte images in memory.
// Writes the bytes of one element of the precision to out (room for 8).
void encode_precision(double value, int code, int swap, unsigned char* out);
double decode_precision(const unsigned char* in, int code, int swap);
