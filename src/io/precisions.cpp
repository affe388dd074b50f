// Precisions: names, sizes and the element conversions of unformatted I/O.
// Blocks convert through a bounded scratch chunk, one switch per call and a
// typed loop per chunk, so that writing or reading many values costs one
// system write or read per chunk.
#include "io/precisions.hpp"

#include "io/files.hpp"
#include "platform/byte_order.hpp"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cmath>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace {

struct precision_name {
    const char* name;
    int code;
};

// Tested in this order; the first equal name wins.
constexpr precision_name precision_names[] = {
    {"integer*8", 9}, {"int64", 9}, {"uint64", 10},
    {"long", 2}, {"int", 2}, {"integer*4", 2}, {"int32", 2},
    {"unsigned long", 7}, {"unsigned int", 7}, {"ulong", 7}, {"uint", 7}, {"uint32", 7},
    {"short", 3}, {"int16", 3}, {"integer*2", 3},
    {"ushort", 4}, {"unsigned short", 4}, {"uint16", 4},
    {"char", 8}, {"char*1", 8}, {"int8", 8}, {"schar", 8}, {"signed char", 8}, {"integer*1", 8},
    {"uchar", 5}, {"unsigned char", 5}, {"uint8", 5},
    {"double", 0}, {"float64", 0}, {"real*8", 0},
    {"adouble", 6}, {"long double", 6}, {"float80", 6}, {"real*10", 6},
    {"float", 1}, {"float32", 1}, {"real*4", 1},
};

constexpr int sizes[] = {8, 4, 4, 2, 2, 1, 8, 4, 1, 8, 8};

constexpr double two63 = 9223372036854775808.0;
constexpr double two64 = 18446744073709551616.0;

// Truncation toward zero into 64 bits; NaN, infinities and magnitudes of
// 2^63 or more have no such integer and give 0.
inline std::int64_t truncate64(double x)
{
    return x > -two63 && x < two63 ? static_cast<std::int64_t>(x) : 0;
}

inline std::uint64_t bits64(double x, int code)
{
    if (code == prec_uint64 && x >= 0 && x < two64)
        return static_cast<std::uint64_t>(x);
    return static_cast<std::uint64_t>(truncate64(x));
}

constexpr std::size_t chunk_elements = 8192;

// Bytes from the position to the end of a regular file; 0 when unknown.
// A read straight into a destination is safe only when no partial element
// can land in it.
std::size_t bytes_left(std::FILE* file)
{
    struct stat st;
    const long long pos = ftello(file);
    if (pos < 0 || ::fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < pos)
        return 0;
    return static_cast<std::size_t>(st.st_size - pos);
}

} // namespace

int precision_size(int code) { return code >= 0 && code <= 10 ? sizes[code] : 8; }

int find_precision(const char* name, int* bytes)
{
    const std::string_view n = name ? name : "";
    for (const precision_name& p : precision_names) {
        if (n == p.name) {
            if (bytes)
                *bytes = sizes[p.code];
            return p.code;
        }
    }
    return -1;
}

void unknown_precision(const char* name) { error("fileio: unknown precision %s", name ? name : ""); }

int fileio(const char* name, int* bytes)
{
    const int code = find_precision(name, bytes);
    if (code >= 0)
        return code;
    unknown_precision(name);
    if (bytes)
        *bytes = 8;
    return prec_double;
}

int machine_format_code(const char* name)
{
    const std::string_view n = name ? name : "";
    if (n == "b" || n == "ieee-be")
        return 1;
    if (n == "l" || n == "ieee-le")
        return 0;
    if (n == "n" || n == "native")
        return native_format;
    return -1;
}

int machine_format_code(const Mm& name) { return machine_format_code(value_text(name).c_str()); }

const char* machine_format_name(int code) { return code == 1 ? "ieee-be" : "ieee-le"; }

void swap_bytes(std::uint16_t* p) { *p = __builtin_bswap16(*p); }
void swap_bytes(std::uint32_t* p) { *p = __builtin_bswap32(*p); }
void swap_bytes(std::uint64_t* p) { *p = __builtin_bswap64(*p); }

// ---- one element ----

void encode_precision(double x, int code, int swap, unsigned char* out)
{
    switch (code) {
    case prec_single: {
        float f = static_cast<float>(x);
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        if (swap)
            swap_bytes(&u);
        std::memcpy(out, &u, 4);
        return;
    }
    case prec_int32:
    case prec_uint32: {
        std::uint32_t u = static_cast<std::uint32_t>(truncate64(x));
        if (swap)
            swap_bytes(&u);
        std::memcpy(out, &u, 4);
        return;
    }
    case prec_int16:
    case prec_uint16: {
        std::uint16_t u = static_cast<std::uint16_t>(truncate64(x));
        if (swap)
            swap_bytes(&u);
        std::memcpy(out, &u, 2);
        return;
    }
    case prec_uint8:
    case prec_int8:
        out[0] = static_cast<unsigned char>(truncate64(x));
        return;
    case prec_int64:
    case prec_uint64: {
        // Two 32-bit words, low word first: on this little-endian machine
        // the 64-bit integer's own bytes.
        std::uint64_t u = bits64(x, code);
        if (swap)
            swap_bytes(&u);
        std::memcpy(out, &u, 8);
        return;
    }
    default: {
        std::uint64_t u;
        std::memcpy(&u, &x, 8);
        if (swap)
            swap_bytes(&u);
        std::memcpy(out, &u, 8);
        return;
    }
    }
}

double decode_precision(const unsigned char* in, int code, int swap)
{
    switch (code) {
    case prec_single: {
        std::uint32_t u;
        std::memcpy(&u, in, 4);
        if (swap)
            swap_bytes(&u);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case prec_int32:
    case prec_uint32: {
        std::uint32_t u;
        std::memcpy(&u, in, 4);
        if (swap)
            swap_bytes(&u);
        return code == prec_int32 ? static_cast<double>(static_cast<std::int32_t>(u)) : static_cast<double>(u);
    }
    case prec_int16:
    case prec_uint16: {
        std::uint16_t u;
        std::memcpy(&u, in, 2);
        if (swap)
            swap_bytes(&u);
        return code == prec_int16 ? static_cast<double>(static_cast<std::int16_t>(u)) : static_cast<double>(u);
    }
    case prec_uint8:
        return in[0];
    case prec_int8:
        return static_cast<signed char>(in[0]);
    case prec_int64:
    case prec_uint64: {
        std::uint64_t u;
        std::memcpy(&u, in, 8);
        if (swap)
            swap_bytes(&u);
        const double low = static_cast<double>(static_cast<std::uint32_t>(u));
        const std::uint32_t high = static_cast<std::uint32_t>(u >> 32);
        const double h = code == prec_int64 ? static_cast<double>(static_cast<std::int32_t>(high)) : high;
        return h * 4294967296.0 + low;
    }
    default: {
        std::uint64_t u;
        std::memcpy(&u, in, 8);
        if (swap)
            swap_bytes(&u);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    }
}

int write_as_precision(double value, std::FILE* file, int code, int swap)
{
    if (code == -1)
        return -1;
    unsigned char bytes[8];
    encode_precision(value, code, swap, bytes);
    return static_cast<int>(std::fwrite(bytes, static_cast<std::size_t>(precision_size(code)), 1, file));
}

// ---- blocks ----

namespace {

// Converts n values into out, one typed loop per precision.
void encode_block(const double* v, std::size_t n, int code, int swap, unsigned char* out)
{
    const std::size_t s = static_cast<std::size_t>(precision_size(code));
    if ((code == prec_double || code == prec_long_double || code < 0 || code > 10) && !swap) {
        std::memcpy(out, v, n * 8);
        return;
    }
    if ((code == prec_uint8 || code == prec_int8)) {
        for (std::size_t k = 0; k < n; ++k)
            out[k] = static_cast<unsigned char>(truncate64(v[k]));
        return;
    }
    if ((code == prec_int16 || code == prec_uint16) && !swap) {
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint16_t u = static_cast<std::uint16_t>(truncate64(v[k]));
            std::memcpy(out + 2 * k, &u, 2);
        }
        return;
    }
    for (std::size_t k = 0; k < n; ++k)
        encode_precision(v[k], code, swap, out + s * k);
}

// One typed loop over raw elements of type Raw in the file's own order.
template <class Raw>
void decode_native(const unsigned char* in, std::size_t n, double* out)
{
    for (std::size_t k = 0; k < n; ++k) {
        Raw r;
        std::memcpy(&r, in + sizeof(Raw) * k, sizeof(Raw));
        out[k] = static_cast<double>(r);
    }
}

// Converts n elements to doubles: the switch runs once per block.
void decode_block(const unsigned char* in, std::size_t n, int code, int swap, double* out)
{
    if (!swap) {
        switch (code) {
        case prec_single:
            return decode_native<float>(in, n, out);
        case prec_int32:
            return decode_native<std::int32_t>(in, n, out);
        case prec_uint32:
            return decode_native<std::uint32_t>(in, n, out);
        case prec_int16:
            return decode_native<std::int16_t>(in, n, out);
        case prec_uint16:
            return decode_native<std::uint16_t>(in, n, out);
        case prec_uint8:
            return decode_native<std::uint8_t>(in, n, out);
        case prec_int8:
            return decode_native<std::int8_t>(in, n, out);
        default:
            break;
        }
    }
    const std::size_t s = static_cast<std::size_t>(precision_size(code));
    for (std::size_t k = 0; k < n; ++k)
        out[k] = decode_precision(in + s * k, code, swap);
}

// Reads count elements in bounded chunks; store(chunk, n, at) converts the
// n whole elements of a chunk into the destination from position at.
template <class Store>
std::size_t read_block(std::size_t count, std::FILE* file, int code, Store store)
{
    if (count == 0)
        return 0;
    const std::size_t s = static_cast<std::size_t>(precision_size(code));
    std::vector<unsigned char> chunk(std::min(count, chunk_elements) * s);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t want = std::min(count - done, chunk_elements);
        const std::size_t got = std::fread(chunk.data(), s, want, file);
        store(chunk.data(), got, done);
        done += got;
        if (got < want)
            break;
    }
    return done;
}

template <class T>
std::size_t read_converted(T* dst, std::size_t count, std::FILE* file, int code, int swap)
{
    std::vector<double> values(std::min(count, chunk_elements));
    return read_block(count, file, code, [&](const unsigned char* in, std::size_t n, std::size_t at) {
        decode_block(in, n, code, swap, values.data());
        for (std::size_t k = 0; k < n; ++k)
            dst[at + k] = static_cast<T>(truncate64(values[k]));
    });
}

} // namespace

std::size_t write_block_as_precision(const double* values, std::size_t count, std::FILE* file, int code, int swap)
{
    if (count == 0 || code == -1)
        return 0;
    if ((code == prec_double || code == prec_long_double || code > 10) && !swap)
        return std::fwrite(values, 8, count, file);  // the doubles are the file's bytes
    const std::size_t s = static_cast<std::size_t>(precision_size(code));
    std::vector<unsigned char> chunk(std::min(count, chunk_elements) * s);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = std::min(count - done, chunk_elements);
        encode_block(values + done, n, code, swap, chunk.data());
        const std::size_t put = std::fwrite(chunk.data(), s, n, file);
        done += put;
        if (put < n)
            break;
    }
    return done;
}

std::size_t read_as_precision(double* dst, std::size_t count, std::FILE* file, int code, int swap)
{
    if ((code == prec_double || code == prec_long_double || code > 10) && !swap &&
        bytes_left(file) >= count * 8)
        return std::fread(dst, 8, count, file);  // the file's bytes are the doubles
    return read_block(count, file, code, [&](const unsigned char* in, std::size_t n, std::size_t at) {
        decode_block(in, n, code, swap, dst + at);
    });
}

std::size_t read_as_precision_int(int* dst, std::size_t count, std::FILE* file, int code, int swap)
{
    return read_converted(dst, count, file, code, swap);
}

std::size_t read_as_precision_byte(unsigned char* dst, std::size_t count, std::FILE* file, int code, int swap)
{
    return read_converted(dst, count, file, code, swap);
}
