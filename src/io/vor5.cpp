// VOR-file version 5. The writer emits elements in the machine's order and
// back-patches each size; the reader decides the byte order per element and
// checks every count against the file before it allocates or reads, so that
// a damaged file ends with a message instead of a hang or an overrun.
#include "io/vor5.hpp"

#include "array/classes.hpp"
#include "io/precisions.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int array_type = 14;
constexpr int header_bytes = 128;
constexpr int deepest_nesting = 256;
constexpr int longest_name = 255;
constexpr int field_name_bytes = 32;
// An element's size word is an unsigned 32-bit count.
constexpr unsigned long long largest_element = 0xFFFFFFFFull;
// Elements of a struct without fields cost the file nothing, so the file
// cannot bound their count; each is still a value of its own in memory.
// A load takes at most a million such elements, refusing more as damage
// before allocating instead of making billions of handles; save refuses
// them too, so that every file it writes reads back.
constexpr long long most_fieldless_elements = 1LL << 20;

enum v5_class : int {
    class_cell = 1,
    class_struct = 2,
    class_object = 3,
    class_char = 4,
    class_sparse = 5,
    class_double = 6,
    class_uint8 = 9,
};
constexpr int flag_logical = 0x0200;
constexpr int flag_complex = 0x0800;

// The names of unnamed values: "A" to "Z", "a" to "z", again from "A",
// counted by the save that writes them.
std::string unnamed_name(int& counter)
{
    const int k = counter++ % 52;
    if (counter >= 52)
        counter = 0;
    return std::string(1, static_cast<char>(k < 26 ? 'A' + k : 'a' + k - 26));
}

// ---- writing ----

// The longest field name the reader takes back (with its closing zero).
constexpr int widest_field_name = 4096;

// The bytes each field name of a struct takes in the file: 32 while every
// name fits, else the longest name and its zero, rounded up to 8.
int field_name_width(const Mm& value)
{
    std::size_t longest = 0;
    const int nfields = value.isstruct() ? value.getnfields() : 0;
    for (int f = 0; f < nfields; ++f)
        longest = std::max(longest, std::strlen(value.getfield(f)));
    // Each name is closed by a zero within its slot.
    if (longest < static_cast<std::size_t>(field_name_bytes))
        return field_name_bytes;
    if (longest >= static_cast<std::size_t>(widest_field_name))
        return widest_field_name + 1;  // refused before writing
    return static_cast<int>((longest + 1 + 7) / 8 * 8);
}

// What in the value, or in a value inside it, would not read back: a field
// name no file can hold (given in field), or a struct without fields of
// more elements than a load accepts.
enum class unsaveable { nothing, long_field, many_fieldless };

unsaveable unsaveable_part(const Mm& value, int depth, const char*& field)
{
    if (value.gettype() != qv_cell || depth > deepest_nesting)
        return unsaveable::nothing;
    if (value.isstruct()) {
        if (value.getnfields() == 0 && value.size() > most_fieldless_elements)
            return unsaveable::many_fieldless;
        for (int f = 0; f < value.getnfields(); ++f)
            if (std::strlen(value.getfield(f)) >= static_cast<std::size_t>(widest_field_name)) {
                field = value.getfield(f);
                return unsaveable::long_field;
            }
    }
    const Mm* elements = value.getpr(static_cast<Mm*>(nullptr));
    const int n = value.size();
    for (int k = 0; k < n; ++k) {
        const Mm& e = elements[k];
        if (value.isstruct()) {
            const Mm* values = e.getpr(static_cast<Mm*>(nullptr));
            for (int f = 0; f < e.size() && e.gettype() == qv_cell; ++f)
                if (const unsaveable bad = unsaveable_part(values[f], depth + 1, field); bad != unsaveable::nothing)
                    return bad;
        } else if (const unsaveable bad = unsaveable_part(e, depth + 1, field); bad != unsaveable::nothing) {
            return bad;
        }
    }
    return unsaveable::nothing;
}

// The tag type of a text value's codes: unsigned 16-bit while every code
// fits one, else the narrowest of signed 16-bit, signed 32-bit and double
// that holds every code exactly (a code beyond ASCII made from a signed
// byte is negative), so that each comes back as it was.
int text_code_type(const Mm& value)
{
    if (value.gettype() == qv_uint8)
        return 4;
    const double* p = value.addr();
    double lo = 0, hi = 0;
    for (int k = 0, n = value.size(); k < n; ++k) {
        const double c = p[k];
        if (c != std::trunc(c) || (c == 0 && std::signbit(c)))
            return 9;  // no integer type holds it (NaN too)
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    if (hi <= 65535 && lo >= 0)
        return 4;
    if (lo >= -32768 && hi <= 32767)
        return 3;
    if (lo >= -2147483648.0 && hi <= 2147483647.0)
        return 5;
    return 9;
}

// The bytes the writer gives an element, its 8-byte tag included, counted
// without writing: a save refuses a value whose element size word (an
// unsigned 32-bit count) could not hold it before the file is touched.
using byte_count = unsigned long long;

byte_count padded_8(byte_count n) { return (n + 7) / 8 * 8; }
// A sub-element of so many data bytes: a small tag and its 4 bytes, or a
// long tag, the data and the padding.
byte_count part_bytes(byte_count data) { return data <= 4 ? 8 : padded_8(8 + data); }

byte_count element_bytes(const Mm& value, std::size_t name_length, int depth)
{
    const bool sparse = value.issparse();
    const bool object = value.gettype() == qv_cell && value.getclassid() != 0;
    const byte_count n = value.size() > 0 ? static_cast<byte_count>(value.size()) : 0;
    byte_count total = 32 + padded_8(4 * static_cast<byte_count>(value.getndims())) + part_bytes(name_length);
    if (sparse) {
        const byte_count nnz = value.getnnz() > 0 ? static_cast<byte_count>(value.getnnz()) : 0;
        const byte_count nzmax = nnz > 0 ? nnz : 1;
        total += part_bytes(4 * nzmax) + part_bytes(4 * (static_cast<byte_count>(value.cols()) + 1)) +
                 part_bytes(8 * nnz) * (value.isc() ? 2 : 1);
    } else if (value.isstr()) {
        total += part_bytes(static_cast<byte_count>(precision_size(v5_type_to_precision(text_code_type(value)))) * n);
    } else if (value.gettype() == qv_uint8) {
        total += part_bytes(n) * (value.isc() ? 2 : 1);
    } else if (value.gettype() == qv_cell) {
        if (depth > deepest_nesting)
            return total;
        if (object) {
            const class_record* record = class_record_of_id(value.getclassid());
            total += part_bytes(record ? std::strlen(record->name) : 0);
        }
        const Mm* elements = value.getpr(static_cast<Mm*>(nullptr));
        if (value.isstruct()) {
            const int nfields = value.getnfields();
            total += 16 + static_cast<byte_count>(field_name_width(value)) * static_cast<byte_count>(nfields);
            const Mm none;
            for (byte_count k = 0; k < n; ++k) {
                const Mm& fields = elements[k];
                const Mm* values = fields.getpr(static_cast<Mm*>(nullptr));
                for (int f = 0; f < nfields; ++f)
                    total += element_bytes(f < fields.size() ? values[f] : none, 1, depth + 1);
            }
        } else {
            for (byte_count k = 0; k < n; ++k)
                total += element_bytes(elements[k], 1, depth + 1);
        }
    } else {
        total += part_bytes(8 * n) * (value.isc() ? 2 : 1);
    }
    return total;
}

class v5_writer {
public:
    v5_writer(const char* path, std::FILE* file, int& unnamed)
        : path_(path ? path : ""), file_(file), unnamed_(unnamed)
    {
    }

    // False after the message of the first write that failed.
    bool element(const Mm& value, const char* name);

private:
    bool word(std::int32_t w) { return std::fwrite(&w, 4, 1, file_) == 1; }
    // An empty part has no storage behind it (its pointer may be null):
    // nothing is handed to the C library then.
    bool bytes_out(const void* p, std::size_t size, std::size_t n)
    {
        return n == 0 || std::fwrite(p, size, n, file_) == n;
    }
    bool name_part(const std::string& name);
    bool data_part(int type, int code, const double* values, std::size_t n);
    bool text_part(const Mm& value);
    bool byte_part(const unsigned char* bytes, std::size_t n);
    bool index_part(const int* values, std::size_t n);
    bool tag(int type, std::size_t bytes);

    const char* path_;
    std::FILE* file_;
    int& unnamed_;
};

bool v5_writer::tag(int type, std::size_t bytes)
{
    if (bytes <= 4) {
        const std::int16_t small[2] = {static_cast<std::int16_t>(type), static_cast<std::int16_t>(bytes)};
        return std::fwrite(small, 2, 2, file_) == 2;
    }
    return word(type) && word(static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes)));
}

bool v5_writer::name_part(const std::string& name)
{
    if (!tag(1, name.size()) || !bytes_out(name.data(), 1, name.size()))
        return false;
    return align_write_8(file_);
}

bool v5_writer::data_part(int type, int code, const double* values, std::size_t n)
{
    const std::size_t size = static_cast<std::size_t>(precision_size(code));
    if (!tag(type, n * size) || write_block_as_precision(values, n, file_, code, 0) != n || !align_write_8(file_)) {
        error("load: '%s' could not write data set", path_);
        return false;
    }
    return true;
}

bool v5_writer::text_part(const Mm& value)
{
    const std::size_t n = static_cast<std::size_t>(value.size());
    if (value.gettype() != qv_uint8) {
        const int type = text_code_type(value);
        return data_part(type, v5_type_to_precision(type), value.addr(), n);
    }
    std::vector<std::uint16_t> codes(n);
    const unsigned char* p = value.getpr(static_cast<unsigned char*>(nullptr));
    for (std::size_t k = 0; k < n; ++k)
        codes[k] = p[k];
    if (!tag(4, 2 * n) || !bytes_out(codes.data(), 2, n) || !align_write_8(file_)) {
        error("load: '%s' could not write data set", path_);
        return false;
    }
    return true;
}

bool v5_writer::byte_part(const unsigned char* bytes, std::size_t n)
{
    if (!tag(2, n) || !bytes_out(bytes, 1, n) || !align_write_8(file_)) {
        error("load: '%s' could not write data set", path_);
        return false;
    }
    return true;
}

bool v5_writer::index_part(const int* values, std::size_t n)
{
    if (!tag(5, 4 * n) || !bytes_out(values, 4, n) || !align_write_8(file_)) {
        error("load: '%s' could not write data set", path_);
        return false;
    }
    return true;
}

bool v5_writer::element(const Mm& value, const char* given_name)
{
    const bool sparse = value.issparse();
    const bool object = value.gettype() == qv_cell && value.getclassid() != 0;
    int cls = class_double;
    if (sparse)
        cls = class_sparse;
    else if (value.isstr())
        cls = class_char;
    else if (value.gettype() == qv_uint8)
        cls = class_uint8;
    else if (value.gettype() == qv_cell)
        cls = object ? class_object : (value.isstruct() ? class_struct : class_cell);
    int flags = cls;
    if (value.islogical())
        flags |= flag_logical;
    if (value.isc() && cls != class_char)
        flags |= flag_complex;
    const int nzmax = sparse ? (value.getnnz() > 0 ? value.getnnz() : 1) : 0;
    const int ndims = value.getndims();

    const off_t start = ftello(file_);
    const std::int32_t head[8] = {array_type, 0, 6, 8, flags, nzmax, 5, 4 * ndims};
    if (std::fwrite(head, 4, 8, file_) != 8) {
        error("save5: '%s' could not write header", path_);
        return false;
    }
    for (int d = 0; d < ndims; ++d) {
        if (!word(value.getdims()[d])) {
            error("savev5: could not write file '%s'.", path_);
            return false;
        }
    }
    const std::string name = given_name && *given_name ? given_name : unnamed_name(unnamed_);
    if (!align_write_8(file_) || !name_part(name)) {
        error("save5: could not save name to file '%s'", path_);
        return false;
    }
    if (object) {
        const class_record* record = class_record_of_id(value.getclassid());
        if (!name_part(record ? record->name : "")) {
            error("save5: could not save name to file '%s'", path_);
            return false;
        }
    }
    const int nfields = value.isstruct() ? value.getnfields() : 0;
    if (cls == class_struct || cls == class_object) {
        // Every name whole: a cut name could read back as another field's.
        const int width = field_name_width(value);
        std::vector<char> field(static_cast<std::size_t>(width));
        bool ok = word(0x00040005) && word(width) && word(1) && word(width * nfields);
        for (int f = 0; ok && f < nfields; ++f) {
            std::fill(field.begin(), field.end(), '\0');
            const char* text = value.getfield(f);
            std::memcpy(field.data(), text, std::min<std::size_t>(std::strlen(text), field.size()));
            ok = std::fwrite(field.data(), 1, field.size(), file_) == field.size();
        }
        if (!ok) {
            error("save5: could not save field name in file '%s'", path_);
            return false;
        }
    }

    const std::size_t n = value.size() > 0 ? static_cast<std::size_t>(value.size()) : 0;
    bool ok = true;
    switch (cls) {
    case class_double:
        ok = data_part(9, prec_double, value.addr(), n) && (!value.isc() || data_part(9, prec_double, value.addi(), n));
        break;
    case class_char:
        ok = text_part(value);
        break;
    case class_uint8:
        ok = byte_part(value.getpr(static_cast<unsigned char*>(nullptr)), n) &&
             (!value.isc() || byte_part(value.getpi(static_cast<unsigned char*>(nullptr)), n));
        break;
    case class_sparse: {
        const int nnz = value.getnnz();
        const int rows = value.rows(), cols = value.cols();
        std::vector<int> ir(static_cast<std::size_t>(nzmax), 0), jc(static_cast<std::size_t>(cols) + 1, 0);
        const int* index = value.getindex();
        for (int k = 0; k < nnz; ++k) {
            ir[static_cast<std::size_t>(k)] = index[k] % rows;
            ++jc[static_cast<std::size_t>(index[k] / rows) + 1];
        }
        for (int c = 0; c < cols; ++c)
            jc[static_cast<std::size_t>(c) + 1] += jc[static_cast<std::size_t>(c)];
        ok = index_part(ir.data(), ir.size()) && index_part(jc.data(), jc.size()) &&
             data_part(9, prec_double, value.addr(), static_cast<std::size_t>(nnz)) &&
             (!value.isc() || data_part(9, prec_double, value.addi(), static_cast<std::size_t>(nnz)));
        break;
    }
    case class_cell: {
        const Mm* cells = value.getpr(static_cast<Mm*>(nullptr));
        for (std::size_t k = 0; ok && k < n; ++k)
            ok = element(cells[k], nullptr);
        break;
    }
    default: {  // struct and object: the fields of each element in turn
        const Mm* elements = value.getpr(static_cast<Mm*>(nullptr));
        for (std::size_t k = 0; ok && k < n; ++k) {
            const Mm& fields = elements[k];
            const Mm* values = fields.getpr(static_cast<Mm*>(nullptr));
            for (int f = 0; ok && f < nfields; ++f)
                ok = element(f < fields.size() ? values[f] : Mm(), nullptr);
        }
        break;
    }
    }

    if (!ok)
        return false;
    // The size goes over its placeholder last; it is unsigned, and
    // v5_can_save has made sure that it fits.
    const bool aligned = align_write_8(file_);
    const off_t end = ftello(file_);
    const std::uint32_t size = static_cast<std::uint32_t>(end - start - 8);
    if (!aligned || end < 0 || fseeko(file_, start + 4, SEEK_SET) != 0 || std::fwrite(&size, 4, 1, file_) != 1 ||
        fseeko(file_, end, SEEK_SET) != 0) {
        error("savev5: could not write file '%s'.", path_);
        return false;
    }
    return true;
}

// ---- reading ----

struct read_failure {};

constexpr const char* damaged_message = "load5: '%s' is damaged: an element's size does not fit its content";

// Whether the words at offset are the flags sub-element that opens an
// array's content (type 6, 8 bytes), in either byte order: after a size of
// 0 they mean the size was never written.
bool zero_size_is_damage(std::FILE* file, long long at)
{
    std::uint32_t w[2];
    const off_t back = ftello(file);
    bool flags = false;
    if (at >= 0 && fseeko(file, at, SEEK_SET) == 0 && std::fread(w, 4, 2, file) == 2)
        flags = (w[0] == 6 && w[1] == 8) || (w[0] == 0x06000000u && w[1] == 0x08000000u);
    fseeko(file, back, SEEK_SET);
    return flags;
}

class v5_reader {
public:
    v5_reader(const char* path, std::FILE* file) : path_(path ? path : ""), file_(file)
    {
        struct stat st;
        length_ = ::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : LLONG_MAX;
    }

    // Reads one element; false after its message.
    bool element(Mm& target, int depth, const char* target_name);

private:
    std::int32_t word()
    {
        std::int32_t w;
        if (std::fread(&w, 4, 1, file_) != 1)
            fail("loadv5: file '%s' ended prematurely.");
        return swap_ ? static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(w))) : w;
    }
    [[noreturn]] void fail(const char* message)
    {
        error(message, path_);
        throw read_failure{};
    }
    void data_set_failure() { fail("load: '%s' could not read data set"); }
    std::string name_part();
    // The length of a struct's field names, from its sub-element; -1 when
    // it cannot be read.
    std::int32_t field_name_length();
    // A data tag of a known type holding at least n elements; its end.
    long long data_tag(std::size_t n, int& code);
    void finish_part(long long end);
    // Past the element's last part: content that ran beyond the declared
    // size is damage.
    void finish_element(long long end);
    void doubles(double* out, std::size_t n);
    void ints(int* out, std::size_t n);
    void bytes(unsigned char* out, std::size_t n);

    const char* path_;
    std::FILE* file_;
    long long length_;
    int swap_ = 0;
};

std::string v5_reader::name_part()
{
    int type = 0;
    long long n = 0;
    if (!read_v5_tag(file_, swap_, &type, &n) || n < 0 || ftello(file_) + n > length_) {
        error("load5: could not read name name in file '%s'", path_);
        throw read_failure{};
    }
    const long long start = ftello(file_);
    const bool small = n <= 4 && (start % 8) == 4;
    std::string name(static_cast<std::size_t>(n < longest_name ? n : longest_name), '\0');
    if (!name.empty() && std::fread(name.data(), 1, name.size(), file_) != name.size()) {
        error("load5: could not read name name in file '%s'", path_);
        throw read_failure{};
    }
    if (n > longest_name)
        warning("load5: name field is too long in file '%s'", path_);
    fseeko(file_, start + (small ? 4 : n), SEEK_SET);
    align_read_8(file_);
    name.resize(std::strlen(name.c_str()));
    return name;
}

std::int32_t v5_reader::field_name_length()
{
    int type = 0;
    long long bytes_in_tag = 0;
    if (!read_v5_tag(file_, swap_, &type, &bytes_in_tag) || bytes_in_tag != 4)
        return -1;
    const std::int32_t m = word();
    align_read_8(file_);
    return m;
}

long long v5_reader::data_tag(std::size_t n, int& code)
{
    int type = 0;
    long long bytes_in_tag = 0;
    if (!read_v5_tag(file_, swap_, &type, &bytes_in_tag))
        data_set_failure();
    code = v5_type_to_precision(type);
    if (code < 0)
        throw read_failure{};
    const long long start = ftello(file_);
    const std::size_t size = static_cast<std::size_t>(precision_size(code));
    if (bytes_in_tag < 0 || static_cast<std::size_t>(bytes_in_tag) / size < n || start + bytes_in_tag > length_)
        data_set_failure();
    const bool small = bytes_in_tag <= 4 && (start % 8) == 4;
    return start + (small ? 4 : bytes_in_tag);
}

void v5_reader::finish_element(long long end)
{
    if (ftello(file_) > end)
        fail(damaged_message);
    finish_part(end);
}

void v5_reader::finish_part(long long end)
{
    fseeko(file_, end, SEEK_SET);
    align_read_8(file_);
}

void v5_reader::doubles(double* out, std::size_t n)
{
    int code = 0;
    const long long end = data_tag(n, code);
    if (read_as_precision(out, n, file_, code, swap_) != n)
        data_set_failure();
    finish_part(end);
}

void v5_reader::ints(int* out, std::size_t n)
{
    int code = 0;
    const long long end = data_tag(n, code);
    if (read_as_precision_int(out, n, file_, code, swap_) != n)
        data_set_failure();
    finish_part(end);
}

void v5_reader::bytes(unsigned char* out, std::size_t n)
{
    int code = 0;
    const long long end = data_tag(n, code);
    if (read_as_precision_byte(out, n, file_, code, swap_) != n)
        data_set_failure();
    finish_part(end);
}

bool v5_reader::element(Mm& target, int depth, const char* target_name)
{
    if (depth > deepest_nesting)
        data_set_failure();
    const long long start = ftello(file_);
    std::int32_t head[8];
    if (std::fread(head, 4, 2, file_) != 2) {
        error("load5: '%s' could not read header", path_);
        target = nop_M;
        return false;
    }
    if (head[1] == 0) {
        // An empty element, unless the flags of an array follow: then the
        // size was never written (a save cut short) and the element is
        // damaged, not empty.
        if (zero_size_is_damage(file_, ftello(file_)))
            fail(damaged_message);
        target = Mm();
        return true;
    }
    if (std::fread(head + 2, 4, 6, file_) != 6) {
        error("load5: '%s' could not read header", path_);
        target = nop_M;
        return false;
    }
    swap_ = static_cast<std::uint32_t>(head[0]) >= 65537u;
    if (swap_)
        for (std::int32_t& w : head)
            w = static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(w)));
    if (head[0] != array_type)
        fail("load5: '%s' unrecognized matrix type");
    // The size word is unsigned: an element may hold up to 2^32 - 1 bytes.
    const long long end = start + 8 + static_cast<long long>(static_cast<std::uint32_t>(head[1]));
    if (end > length_)
        fail("loadv5: file '%s' ended prematurely.");

    // Dimensions.
    if (head[7] >= 20) {
        char four[32];
        std::snprintf(four, sizeof four, "=%d", 4);
        error("load5: Can not read matrix from file '%s' which has more then %s dimensions.", path_, four);
        target = x_M;
        return false;
    }
    const int ndims = head[7] > 0 ? head[7] / 4 : 0;
    // The flags, the dimensions and a name tag come first in every array
    // element: a size without room for them does not fit the content.
    if (start + 32 + (4 * ndims + 7) / 8 * 8 + 8 > end)
        fail(damaged_message);
    int dims[4] = {0, 0, 1, 1};
    long long count = ndims > 0 ? 1 : 0;
    for (int d = 0; d < ndims; ++d) {
        dims[d] = word();
        if (dims[d] < 0)
            data_set_failure();
        count *= dims[d];
        if (count > INT_MAX)
            data_set_failure();
    }
    if (ndims == 1)
        dims[1] = 1;
    align_read_8(file_);

    const int flags = head[4];
    const bool complex = (flags & flag_complex) != 0;
    const bool logical = (flags & flag_logical) != 0;
    const int cls = flags & 0xFF;
    const int nzmax = head[5];

    const std::string name = name_part();
    if (target_name && *target_name) {
        const std::size_t n = std::min(name.size(), std::strlen(target_name));
        if (std::strncmp(name.c_str(), target_name, n) != 0 || (n == 0 && !name.empty()))
            warning("load5: '%s': variable named '%s' loaded into '%s'", path_, name.c_str(), target_name);
    }

    qv_matrix_types type;
    switch (cls) {
    case 0:
    case class_char:
    case class_sparse:
    case class_double:
        type = qv_double;
        break;
    case class_cell:
    case class_struct:
    case class_object:
        type = qv_cell;
        break;
    case class_uint8:
        type = qv_uint8;
        break;
    default:
        fail("load5: '%s' unrecognized matrix type");
    }
    const int nd = ndims < 2 ? 2 : ndims;
    const std::size_t numel = static_cast<std::size_t>(count);
    // Counts the element cannot hold are damage, found before allocating.
    // A full element costs the file at least a byte per entry and a cell a
    // nested element (8 bytes) per entry; a sparse element's storage
    // follows its nzmax and column count, not its extent, and a struct's
    // is bounded once its fields are known (or found to be none).
    const long long room = end - static_cast<long long>(ftello(file_));
    if (cls == class_sparse) {
        if (nzmax > room || static_cast<long long>(dims[1]) + 1 > room)
            data_set_failure();
    } else if (cls == class_cell) {
        if (count > room / 8)
            data_set_failure();
    } else if (cls != class_struct && cls != class_object && count > room) {
        data_set_failure();
    }

    if (cls == class_sparse) {
        if (nd != 2 || nzmax < 0)
            data_set_failure();
        const int rows = dims[0], cols = dims[1];
        std::vector<int> ir(static_cast<std::size_t>(nzmax));
        std::vector<int> jc(static_cast<std::size_t>(cols) + 1);
        ints(ir.data(), ir.size());
        ints(jc.data(), jc.size());
        const int nnz = jc.back();
        if (nnz < 0) {
            error("load5: '%s' contained sparse matrix with negative nnz", path_);
            target = x_M;
            return false;
        }
        // The whole column index first: every start within the row
        // indices, none falling, so the walk below never leaves ir.
        if (jc[0] != 0 || nnz > nzmax)
            data_set_failure();
        for (std::size_t c = 0; c < static_cast<std::size_t>(cols); ++c)
            if (jc[c + 1] < jc[c] || jc[c + 1] > nnz)
                data_set_failure();
        for (int c = 0; c < cols; ++c) {
            for (int k = jc[static_cast<std::size_t>(c)]; k < jc[static_cast<std::size_t>(c) + 1]; ++k) {
                const int r = ir[static_cast<std::size_t>(k)];
                if (r < 0 || r >= rows || (k > jc[static_cast<std::size_t>(c)] && r <= ir[static_cast<std::size_t>(k) - 1]))
                    data_set_failure();
            }
        }
        Mm value(complex, 1, nnz > 0 ? nnz : 1, rows, cols, qv_double);
        if (!value.issparse() || value.getp() < nnz)
            throw read_failure{};  // refused memory, reported
        int* index = value.getindex();
        for (int c = 0; c < cols; ++c)
            for (int k = jc[static_cast<std::size_t>(c)]; k < jc[static_cast<std::size_t>(c) + 1]; ++k)
                index[k] = ir[static_cast<std::size_t>(k)] + c * rows;
        value.getnnz() = nnz;
        doubles(value.addr(), static_cast<std::size_t>(nnz));
        if (complex)
            doubles(value.addi(), static_cast<std::size_t>(nnz));
        value.setlogical(logical);
        finish_element(end);
        target = value;
        return true;
    }

    // A struct's class name and field names come before its elements: read
    // first, so that its element count is checked against the fields'
    // storage before anything is allocated.
    int class_id = 0;
    std::vector<std::string> field_names;
    if (cls == class_struct || cls == class_object) {
        if (cls == class_object) {
            // The registry keeps so many characters of a class name: the
            // name is cut once, so that a reload finds the class it made.
            std::string class_name = name_part();
            if (class_name.size() >= sizeof(class_record::name))
                class_name.resize(sizeof(class_record::name) - 1);
            class_id = class_id_of_name(class_name.c_str());
        }
        align_read_8(file_);
        if (ftello(file_) < end) {
            // The field-name length and the names, each under a tag of
            // either form: another writer puts names of 4 bytes or less
            // (one field "a", or "a" and "b") in the small one.
            const std::int32_t m = field_name_length();
            int names_type = 0;
            long long l = 0;
            if (!read_v5_tag(file_, swap_, &names_type, &l))
                l = -1;
            const long long names_at = ftello(file_);
            const long long names_end = names_at + (l <= 4 && names_at % 8 == 4 ? 4 : l);
            // A name length of 0 with no names is a struct without fields.
            if (m < 0 || m > widest_field_name || l < 0 || (m == 0 ? l != 0 : l % m != 0) || names_end > end) {
                error("load5: could not read field name from '%s'", path_);
                target = x_M;
                return false;
            }
            const int nfields = m > 0 ? l / m : 0;
            std::vector<char> field(static_cast<std::size_t>(m) + 1, '\0');
            for (int f = 0; f < nfields; ++f) {
                if (std::fread(field.data(), 1, static_cast<std::size_t>(m), file_) != static_cast<std::size_t>(m)) {
                    error("load5: could not read field name from '%s'", path_);
                    target = x_M;
                    return false;
                }
                field[static_cast<std::size_t>(m)] = '\0';
                field_names.emplace_back(field.data());
            }
            finish_part(names_end);
        }
        // Each element's fields hold a nested element (8 bytes at least);
        // elements without fields have only the fixed ceiling.
        const long long left = end - static_cast<long long>(ftello(file_));
        if (field_names.empty() ? count > most_fieldless_elements
                                : count > left / 8 / static_cast<long long>(field_names.size()))
            data_set_failure();
    }

    Mm value(complex && type != qv_cell, 0, 0, nd, dims, type);
    if (value.size() != static_cast<int>(numel) && !(numel == 0 && value.size() == 0))
        throw read_failure{};
    value.setstr(0);
    value.setlogical(logical);
    switch (cls) {
    case class_cell: {
        Mm* cells = value.getpr(static_cast<Mm*>(nullptr));
        for (std::size_t k = 0; k < numel; ++k) {
            const int saved = swap_;
            if (!element(cells[k], depth + 1, nullptr))
                throw read_failure{};
            swap_ = saved;
            align_read_8(file_);
        }
        break;
    }
    case class_struct:
    case class_object: {
        if (cls == class_object)
            value.setclassid(class_id);
        for (const std::string& f : field_names)
            value.addfield(f.c_str(), 1);
        if (!value.isstruct())
            value.extend_nfields(1);
        const int nfields = static_cast<int>(field_names.size());
        Mm* elements = value.getpr(static_cast<Mm*>(nullptr));
        const Mm no_fields(0, 0, 0, 0, 1, qv_cell);
        for (std::size_t k = 0; k < numel; ++k) {
            if (nfields == 0) {
                elements[k] = no_fields;
                continue;
            }
            Mm fields(0, 0, 0, nfields, 1, qv_cell);
            if (fields.size() != nfields)
                throw read_failure{};
            Mm* slots = fields.getpr(static_cast<Mm*>(nullptr));
            for (int f = 0; f < nfields; ++f) {
                const int saved = swap_;
                if (!element(slots[f], depth + 1, nullptr))
                    throw read_failure{};
                swap_ = saved;
                align_read_8(file_);
            }
            elements[k] = fields;
        }
        break;
    }
    case class_uint8:
        bytes(value.getpr(static_cast<unsigned char*>(nullptr)), numel);
        if (complex)
            bytes(value.getpi(static_cast<unsigned char*>(nullptr)), numel);
        break;
    default:  // double, char and class 0
        doubles(value.addr(), numel);
        if (complex)
            doubles(value.addi(), numel);
        if (cls == class_char)
            value.setstr(1);
        break;
    }
    finish_element(end);
    target = value;
    return true;
}

} // namespace

int v5_type_to_precision(int type)
{
    switch (type) {
    case 1:
        return prec_int8;
    case 2:
        return prec_uint8;
    case 3:
        return prec_int16;
    case 4:
        return prec_uint16;
    case 5:
        return prec_int32;
    case 6:
        return prec_uint32;
    case 7:
        return prec_single;
    case 9:
        return prec_double;
    default:
        error("loadsave5: unknown data format");
        return -1;
    }
}

int precision_to_v5_type(int code)
{
    static const int types[] = {9, 7, 5, 3, 4, 2, -1, 6, 1};
    if (code >= 0 && code <= 8 && types[code] > 0)
        return types[code];
    error("loadsave5: unknown data format");
    return -1;
}

bool read_v5_tag(std::FILE* file, int swap, int* type, long long* bytes)
{
    std::uint32_t w;
    if (std::fread(&w, 4, 1, file) != 1)
        return false;
    if (swap)
        w = __builtin_bswap32(w);
    if (w >> 16) {
        *type = static_cast<int>(w & 0xFFFF);
        *bytes = static_cast<long long>(w >> 16);
        return true;
    }
    std::uint32_t n;
    if (std::fread(&n, 4, 1, file) != 1)
        return false;
    if (swap)
        n = __builtin_bswap32(n);
    *type = static_cast<int>(w);
    *bytes = static_cast<long long>(n);  // unsigned, as the element size
    return true;
}

bool write_v5_tag(std::FILE* file, int type, unsigned bytes)
{
    if (bytes <= 4) {
        const std::int16_t small[2] = {static_cast<std::int16_t>(type), static_cast<std::int16_t>(bytes)};
        return std::fwrite(small, 2, 2, file) == 2;
    }
    const std::uint32_t words[2] = {static_cast<std::uint32_t>(type), bytes};
    return std::fwrite(words, 4, 2, file) == 2;
}

void align_read_8(std::FILE* file)
{
    const off_t at = ftello(file);
    if (at >= 0 && at % 8)
        fseeko(file, 8 - at % 8, SEEK_CUR);
}

bool align_write_8(std::FILE* file)
{
    static const char zeros[8] = {};
    const off_t at = ftello(file);
    if (at < 0)
        return false;
    const std::size_t pad = static_cast<std::size_t>((8 - at % 8) % 8);
    return pad == 0 || std::fwrite(zeros, 1, pad, file) == pad;
}

bool write_v5_header(std::FILE* file)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[header_bytes];
    std::memset(text, ' ', sizeof text);
    char line[160];
    const int n = std::snprintf(line, sizeof line, "VORSEN %3.1f VOR-file, Platform: PCWIN, Created on: %s %s %02d %02d:%02d:%02d %d",
                                4.51, days[t.tm_wday % 7], months[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min,
                                t.tm_sec, t.tm_year + 1900);
    std::memcpy(text, line, static_cast<std::size_t>(n < 124 ? n : 124));
    const std::int16_t version = 0x0100, endian = 0x4D49;
    std::memcpy(text + 124, &version, 2);
    std::memcpy(text + 126, &endian, 2);
    return std::fwrite(text, 1, header_bytes, file) == header_bytes;
}

bool v5_can_save(const char* path, const Mm& value)
{
    const char* name = value.getname();
    if (name && std::strlen(name) > static_cast<std::size_t>(longest_name)) {
        error("save5: variable name '%.40s...' is longer than %d characters and can not be saved in file '%s'", name,
              longest_name, path ? path : "");
        return false;
    }
    const char* field = nullptr;
    switch (unsaveable_part(value, 0, field)) {
    case unsaveable::nothing:
        break;
    case unsaveable::long_field:
        error("save5: field name '%.40s...' is longer than %d characters and can not be saved in file '%s'", field,
              widest_field_name - 1, path ? path : "");
        return false;
    case unsaveable::many_fieldless:
        error("save5: a structure without fields of more than %lld elements can not be saved in file '%s'",
              most_fieldless_elements, path ? path : "");
        return false;
    }
    const unsigned long long bytes = v5_element_bytes(value);
    if (bytes - 8 > largest_element) {
        error("save5: '%s' would take %llu bytes, more than the %llu bytes an element of file '%s' can hold",
              matrix_display_name(value), bytes - 8, largest_element, path ? path : "");
        return false;
    }
    return true;
}

unsigned long long v5_element_bytes(const Mm& value)
{
    const char* name = value.getname();
    return element_bytes(value, name && *name ? std::strlen(name) : 1, 0);
}

bool v5_file_writer::header()
{
    unnamed_ = 0;
    if (!write_v5_header(file_)) {
        error("save5: '%s' could not write header", path_);
        return false;
    }
    return true;
}

bool v5_file_writer::element(const Mm& value)
{
    return v5_writer(path_, file_, unnamed_).element(value, value.getname());
}

int read_v5_element(const char* path, std::FILE* file, Mm& target)
{
    try {
        return v5_reader(path, file).element(target, 0, target.getname()) ? 0 : 1;
    } catch (const read_failure&) {
        return 1;
    }
}

namespace {

// One element of the file as the name scan sees it.
struct v5_entry {
    std::string name;  // empty when the element has none readable
    off_t offset = 0;
    bool array = false;  // an array element; any other type is skipped
    bool damaged = false;  // an array element whose size was never written
    off_t end = 0;         // where the element's declared size ends
};

// Reads the head and name of the element at the current position and moves
// on to the next one by the element's size. False at the end of the file.
bool scan_v5_entry(std::FILE* file, v5_entry& entry)
{
    const off_t start = ftello(file);
    std::int32_t head[8];
    if (start < 0 || std::fread(head, 4, 2, file) != 2)
        return false;
    const int swap = static_cast<std::uint32_t>(head[0]) >= 65537u;
    if (swap)
        for (int k = 0; k < 2; ++k)
            head[k] = static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(head[k])));
    const off_t next = start + 8 + static_cast<off_t>(static_cast<std::uint32_t>(head[1]));
    entry.name.clear();
    entry.offset = start;
    entry.end = next;
    entry.array = head[0] == array_type;
    entry.damaged = entry.array && head[1] == 0 && zero_size_is_damage(file, start + 8);
    if (entry.damaged)
        return false;  // what follows is the content of a cut element
    // The name follows the flags and the dimensions, whatever their count,
    // when it lies inside the element.
    if (entry.array && static_cast<std::uint32_t>(head[1]) >= 24 && std::fread(head + 2, 4, 6, file) == 6) {
        const std::uint32_t dims = swap ? __builtin_bswap32(static_cast<std::uint32_t>(head[7]))
                                        : static_cast<std::uint32_t>(head[7]);
        off_t name_at = start + 32 + static_cast<off_t>(dims) / 4 * 4;
        name_at += (8 - name_at % 8) % 8;
        int type = 0;
        long long n = 0;
        if (name_at + 8 <= next && fseeko(file, name_at, SEEK_SET) == 0 && read_v5_tag(file, swap, &type, &n) &&
            n > 0) {
            entry.name.resize(static_cast<std::size_t>(n < longest_name ? n : longest_name));
            entry.name.resize(std::fread(entry.name.data(), 1, entry.name.size(), file));
            entry.name.resize(std::strlen(entry.name.c_str()));
        }
    }
    fseeko(file, next, SEEK_SET);
    align_read_8(file);
    return true;
}

} // namespace

std::string v5_next_name(std::FILE* file)
{
    v5_entry entry;
    while (scan_v5_entry(file, entry))
        if (entry.array)
            return entry.name.empty() ? std::string(" ") : entry.name;  // no name is not the end
    return "";
}

v5_directory::v5_directory(std::FILE* file)
{
    struct stat st;
    const long long length = ::fstat(fileno(file), &st) == 0 ? st.st_size : LLONG_MAX;
    // A file shorter than its header was cut before its first element.
    if (length < header_bytes || fseeko(file, header_bytes, SEEK_SET) != 0) {
        damaged_ = true;
        return;
    }
    v5_entry entry;
    off_t at = header_bytes;
    for (; at < length && scan_v5_entry(file, entry); at = ftello(file)) {
        // The first of a name wins; one that runs past the end of the file
        // cannot be read, and a load of it reports the damage.
        if (entry.array && !entry.name.empty() && entry.end <= length)
            offsets_.emplace(entry.name, entry.offset);
        if (ftello(file) <= at)
            break;
    }
    // The scan ends at the end of the file, or early at damage: an element
    // cut short (in its content or in its first words) or one whose size
    // runs past the end.
    damaged_ = at < length || entry.damaged || entry.end > length;
}

long long v5_directory::find(const std::string& name) const
{
    const auto it = offsets_.find(name);
    return it == offsets_.end() ? -1 : static_cast<long long>(it->second);
}

v5_load_result load5_by_name(const char* path, std::FILE* file, Mm& target, const v5_directory& directory)
{
    const char* stored = target.getname();
    if (!stored || !*stored) {
        error("Could not load unnamed variable from file '%s'", path ? path : "");
        return v5_failed;
    }
    std::string wanted = stored;
    if (wanted == "ans" || wanted == "ans_")
        return v5_loaded;
    if (wanted == "i_" || wanted == "j_")
        wanted.pop_back();
    const long long at = directory.find(wanted);
    if (at < 0 && directory.damaged()) {
        // The variable may be in the part that cannot be read.
        error(damaged_message, path ? path : "");
        return v5_failed;
    }
    if (at < 0 || fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0)
        return v5_not_found;
    return read_v5_element(path, file, target) == 0 ? v5_loaded : v5_failed;
}
