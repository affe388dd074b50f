// File identifiers and file I/O: the table of open files and the language
// functions on it, formatted through the format engine and unformatted
// through the precisions.
#include "io/file_io.hpp"

#include "host/search_path.hpp"
#include "io/files.hpp"
#include "io/format_engine.hpp"
#include "io/precisions.hpp"
#include "platform/byte_order.hpp"
#include "platform/files.hpp"
#include "value/runtime.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

struct fid_slot {
    int format = -1;
    std::string mode;
    std::string name;
    // Set last when a slot is taken and cleared when it is freed, both
    // under the file lock; read without it, so it is atomic, and the other
    // members are seen whole once it reads 1.
    std::atomic<int> open{0};
    std::FILE* stream = nullptr;
    // The line buffer of fgets and fgetl, kept between lines.
    std::unique_ptr<char, free_deleter> line;
    std::size_t line_capacity = 0;
};

constexpr int table_size = 129;
constexpr int first_user_fid = 3;
constexpr int last_user_fid = 127;  // slot 128 is never assigned

fid_slot fid_table[table_size];
std::atomic<bool> table_filled{false};

void fill_table()
{
    if (table_filled.load(std::memory_order_acquire))
        return;
    mt_lock guard(lock_files);
    if (table_filled.load(std::memory_order_relaxed))
        return;
    init_native_format();
    const char* names[] = {"\"stdin\"", "\"stdout\"", "\"stderr\""};
    const char* modes[] = {"r", "a", "a"};
    for (int k = 0; k < 3; ++k) {
        fid_table[k].name = names[k];
        fid_table[k].mode = modes[k];
        fid_table[k].open = 1;
        fid_table[k].format = native_format;
    }
    table_filled.store(true, std::memory_order_release);
}

const char* name_of(const Mm& x) { return x.getname() ? x.getname() : ""; }

// The first element as an int, saturated: NaN and values below -2147483647
// give -2147483647.
int saturated_int(double v)
{
    if (std::isnan(v) || v <= -2147483647.0)
        return -2147483647;
    if (v >= 2147483647.0)
        return 2147483647;
    return static_cast<int>(v);
}

double first_value(const Mm& x)
{
    if (x.getnnz() <= 0 && !x.issparse())
        return NAN;
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr));
    if (x.gettype() != qv_double)
        return NAN;
    if (x.issparse())
        return x.getnnz() > 0 && x.getindex()[0] == 0 ? *x.addr() : 0.0;
    return *x.addr();
}

// The value rounded half up; 0 at or below 0.
long long rounded_count(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 9.2e18)
        return LLONG_MAX;
    return static_cast<long long>(std::floor(v + 0.5));
}

bool is_standard(int slot) { return slot >= 0 && slot <= 2; }

std::FILE* stream_of(int slot)
{
    switch (slot) {
    case 0:
        return stdin;
    case 1:
        return stdout;
    case 2:
        return stderr;
    default:
        return slot > 2 && slot < table_size ? fid_table[slot].stream : nullptr;
    }
}

// The mode the system understands: our "t" means nothing to it.
std::string system_mode(const std::string& mode)
{
    std::string m;
    for (char c : mode)
        if (c != 't')
            m += c;
    return m;
}

} // namespace

int check_fid(const Mm& fid, int report)
{
    fill_table();
    if (fid.size() != 1) {
        error("Size of fid %s not one.", name_of(fid));
        return -1;
    }
    const int k = saturated_int(first_value(fid));
    if (k < 0 || k >= table_size) {
        if (report)
            error("Illegal fid.");
        return -1;
    }
    if (!fid_table[k].open) {
        if (report)
            error("Fid not opened.");
        return -1;
    }
    return k;
}

std::FILE* fid_file(const Mm& fid)
{
    const int k = check_fid(fid, 1);
    return k < 0 ? nullptr : stream_of(k);
}

int fid_format(const Mm& fid)
{
    const int k = check_fid(fid, 1);
    return k < 0 ? -1 : fid_table[k].format;
}

// ---- fopen and fclose ----

namespace {

Mm open_fids()
{
    std::vector<double> fids;
    for (int k = first_user_fid; k < table_size; ++k)
        if (fid_table[k].open)
            fids.push_back(k);
    if (fids.empty())
        return Mm(0, 0, 0, 0, 0, qv_double);
    Mm row(0, 0, 0, 1, static_cast<int>(fids.size()), qv_double);
    if (row.size() != static_cast<int>(fids.size()))
        return x_M;
    std::memcpy(row.addr(), fids.data(), fids.size() * sizeof(double));
    return row;
}

void open_file(const Mm& name_arg, const std::string& mode_arg, const std::string& format_name, Mm& fid,
               Mm& message)
{
    fill_table();
    std::string mode = mode_arg;
    if (mode.find('b') == std::string::npos && mode.find('t') == std::string::npos)
        mode += 'b';
    std::string name = value_text(name_arg);
    if (name.empty()) {
        fid = Mm(-1.0);
        message = TM("filename is empty");
        return;
    }
    const int format = machine_format_code(format_name.c_str());
    if (format == -1)
        warning("fopen: don't know how to convert from machine format");
    if (name == "all") {
        fid = open_fids();
        message = nop_M;
        return;
    }
    std::FILE* stream = nullptr;
    if (mode.find('r') == std::string::npos || mode.find('+') != std::string::npos) {
        stream = platform::open_file(name, system_mode(mode).c_str());
    } else {
        stream = open_on_path(static_cast<const search_path*>(mpath_pointer), nullptr, name, 0);
    }
    if (!stream || std::ferror(stream)) {
        if (stream)
            std::fclose(stream);
        fid = Mm(-1.0);
        message = TM("File error");
        return;
    }
    {
        mt_lock guard(lock_files);
        for (int k = first_user_fid; k <= last_user_fid; ++k) {
            fid_slot& s = fid_table[k];
            if (s.open)
                continue;
            s.stream = stream;
            s.name = name;
            s.format = format;
            s.mode = mode;
            s.open = 1;
            fid = Mm(static_cast<double>(k));
            message = nop_M;
            return;
        }
    }
    std::fclose(stream);
    fid = Mm(-1.0);
    message = TM("Too many files");
    error("Too many files");
}

std::string text_or_default(const Mm& x) { return value_text(x); }

} // namespace

Mm fopen(const Mm& name)
{
    if (!isstr(name) && name.gettype() != qv_cell && name.size() == 1) {
        fill_table();
        const int k = saturated_int(first_value(name));
        if (k < 0 || k >= table_size || !fid_table[k].open)
            return nop_M;
        return TM(fid_table[k].name.c_str());
    }
    Mm fid, message;
    open_file(name, "r", "n", fid, message);
    return fid;
}

Mm fopen(const Mm& name, const Mm& mode)
{
    Mm fid, message;
    open_file(name, text_or_default(mode), "n", fid, message);
    return fid;
}

Mm fopen(const Mm& name, const Mm& mode, const Mm& machineformat)
{
    Mm fid, message;
    open_file(name, text_or_default(mode), text_or_default(machineformat), fid, message);
    return fid;
}

Mm fopen(const Mm& name, i_o_t, Mm& fid, Mm& message)
{
    if (!isstr(name) && name.gettype() != qv_cell && name.size() == 1) {
        Mm format;
        return fopen(name, i_o, fid, message, format);
    }
    open_file(name, "r", "l", fid, message);
    return x_M;
}

Mm fopen(const Mm& name, const Mm& mode, i_o_t, Mm& fid, Mm& message)
{
    open_file(name, text_or_default(mode), "l", fid, message);
    return x_M;
}

Mm fopen(const Mm& name, const Mm& mode, const Mm& machineformat, i_o_t, Mm& fid, Mm& message)
{
    open_file(name, text_or_default(mode), text_or_default(machineformat), fid, message);
    return x_M;
}

Mm fopen(const Mm& fid, i_o_t, Mm& name, Mm& mode, Mm& machineformat)
{
    fill_table();
    const int k = fid.size() == 1 ? saturated_int(first_value(fid)) : -1;
    if (k < 0 || k >= table_size || !fid_table[k].open) {
        name = TM("");
        mode = TM("");
        machineformat = TM("");
        return x_M;
    }
    name = TM(fid_table[k].name.c_str());
    mode = TM(fid_table[k].mode.c_str());
    machineformat = TM(machine_format_name(fid_table[k].format));
    return x_M;
}

Mm fclose(const Mm& fid)
{
    fill_table();
    if (isstr(fid)) {
        mt_lock guard(lock_files);
        for (int k = first_user_fid; k < table_size; ++k) {
            fid_slot& s = fid_table[k];
            if (s.open && s.stream)
                std::fclose(s.stream);
            s.stream = nullptr;
            s.line.reset();
            s.line_capacity = 0;
            s.open = 0;
        }
        return x_M;
    }
    if (fid.size() != 1) {
        error("Size of fid %s not one.", name_of(fid));
        return Mm(-1.0);
    }
    const long long f = rounded_count(first_value(fid));
    if (f <= 2) {
        error("fclose: can not close stdin/stdout/stderr, fid is %s", name_of(fid));
        return x_M;
    }
    const int k = check_fid(fid, 1);
    if (k < 0)
        return Mm(-1.0);
    // The slot is freed under the lock that fopen takes free slots under.
    mt_lock guard(lock_files);
    fid_slot& s = fid_table[k];
    // Writes that failed earlier (their error indicator still set) fail
    // the close too, as well as a flush that fails now.
    const bool failed_before = s.stream && std::ferror(s.stream);
    const int status = s.stream ? std::fclose(s.stream) : 0;
    s.stream = nullptr;
    s.line.reset();
    s.line_capacity = 0;
    s.open = 0;
    return Mm(status == 0 && !failed_before ? 0.0 : -1.0);
}

// ---- lines ----

namespace {

constexpr int longest_line = 0x4000;

// A char row of the bytes (codes 0 to 255), a final "\r\n" read as "\n";
// with strip, every character 10 and 13 left out.
Mm line_value(const char* data, std::size_t n, bool strip)
{
    if (n >= 2 && data[n - 2] == '\r' && data[n - 1] == '\n') {
        std::string joined(data, n - 2);
        joined += '\n';
        return line_value(joined.data(), joined.size(), strip);
    }
    std::size_t kept = n;
    if (strip) {
        if (std::memchr(data, '\r', n))
            for (std::size_t k = 0; k < n; ++k)
                kept -= data[k] == '\n' || data[k] == '\r';
        else
            kept -= n > 0 && data[n - 1] == '\n';
    }
    Mm t(0, 0, 0, 1, static_cast<int>(kept), qv_double);
    if (t.size() != static_cast<int>(kept))
        return x_M;
    double* p = t.addr();
    const unsigned char* u = reinterpret_cast<const unsigned char*>(data);
    if (kept == n || !strip) {
        for (std::size_t k = 0; k < kept; ++k)
            p[k] = u[k];
    } else {
        for (std::size_t k = 0; k < n; ++k)
            if (u[k] != '\n' && u[k] != '\r')
                *p++ = u[k];
    }
    t.setstr(1);
    return t;
}

Mm next_line(const Mm& fid, double limit, bool strip)
{
    const int slot = check_fid(fid, 1);
    std::FILE* f = slot < 0 ? nullptr : stream_of(slot);
    if (!f || std::feof(f))
        return Mm(-1.0);
    long long count = saturated_int(limit);
    if (count < 1)
        return TM("");
    if (count > longest_line)
        count = longest_line;
    if (slot > 2) {
        // A seekable file: the line read whole, its part past count given
        // back to the stream.
        fid_slot& s = fid_table[slot];
        char* buffer = s.line.release();
        const ssize_t got = ::getline(&buffer, &s.line_capacity, f);
        s.line.reset(buffer);
        if (got <= 0)
            return Mm(-1.0);
        std::size_t n = static_cast<std::size_t>(got);
        if (got > count && fseeko(f, -static_cast<off_t>(got - count), SEEK_CUR) == 0)
            n = static_cast<std::size_t>(count);
        return line_value(buffer, n, strip);
    }
    std::string line;
    int c = 0;
    while (static_cast<long long>(line.size()) < count && (c = std::getc(f)) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (line.empty())
        return Mm(-1.0);
    return line_value(line.data(), line.size(), strip);
}

} // namespace

Mm fgets(const Mm& fid) { return next_line(fid, longest_line, false); }
Mm fgets(const Mm& fid, const Mm& n) { return next_line(fid, first_value(n), false); }
Mm fgetl(const Mm& fid) { return next_line(fid, longest_line, true); }

// ---- stream state ----

Mm feof(const Mm& fid)
{
    std::FILE* f = fid_file(fid);
    return Mm(f && std::feof(f) ? 1.0 : 0.0);
}

Mm ferror(const Mm& fid) { return ferror(fid, Mm()); }

Mm ferror(const Mm& fid, const Mm& clear)
{
    Mm message, errnum;
    ferror(fid, clear, i_o, message, errnum);
    return message;
}

Mm ferror(const Mm& fid, i_o_t, Mm& message, Mm& errnum) { return ferror(fid, Mm(), i_o, message, errnum); }

Mm ferror(const Mm& fid, const Mm& clear, i_o_t, Mm& message, Mm& errnum)
{
    std::FILE* f = fid_file(fid);
    const int e = f ? std::ferror(f) : 0;
    message = TM(e ? "File error" : "");
    errnum = Mm(static_cast<double>(e));
    if (f && isstr(clear))
        std::clearerr(f);
    return x_M;
}

Mm fflush(const Mm& fid)
{
    std::FILE* f = fid_file(fid);
    return Mm(f && std::fflush(f) == 0 ? 0.0 : 1.0);
}

Mm frewind(const Mm& fid)
{
    const int k = check_fid(fid, 1);
    if (k < 0 || is_standard(k))
        return Mm(-1.0);
    return Mm(fseeko(fid_table[k].stream, 0, SEEK_SET) == 0 ? 0.0 : -1.0);
}

Mm fseek(const Mm&) { return Mm(error_input("fseek", 1)); }
Mm fseek(const Mm&, const Mm&) { return Mm(error_input("fseek", 2)); }

Mm fseek(const Mm& fid, const Mm& offset, const Mm& origin)
{
    const int k = check_fid(fid, 1);
    if (k < 0)
        return Mm(-1.0);
    int whence = SEEK_CUR;
    if (isstr(origin)) {
        const std::string o = value_text(origin);
        if (o == "bof")
            whence = SEEK_SET;
        else if (o == "cof")
            whence = SEEK_CUR;
        else if (o == "eof")
            whence = SEEK_END;
        else
            error("fseek: origin %s not bof, cof or eof", name_of(origin));
    } else {
        const double o = first_value(origin);
        whence = o < 0 ? SEEK_SET : (o > 0 ? SEEK_END : SEEK_CUR);
    }
    if (is_standard(k))
        return Mm(-1.0);
    const double off = std::trunc(first_value(offset));
    if (!(std::fabs(off) < 9.2e18))
        return Mm(-1.0);
    return Mm(fseeko(fid_table[k].stream, static_cast<off_t>(off), whence) == 0 ? 0.0 : -1.0);
}

Mm ftell(const Mm& fid)
{
    const int k = check_fid(fid, 1);
    if (k < 0 || is_standard(k))
        return Mm(-1.0);
    return Mm(static_cast<double>(ftello(fid_table[k].stream)));
}

// ---- formatted output and input ----

namespace {

void write_text(long long target, std::FILE* f, const char* text, std::size_t n)
{
    if (n == 0 || target == 0)
        return;
    if (target == 1 || target == 2) {
        const std::string s(text, n);
        qv_printf("%s", s.c_str());
        return;
    }
    std::fwrite(text, 1, n, f);
}

// Prints format to fid with the elements of args (a cell) in turn.
Mm print_to(const Mm& fid, const Mm& format, const Mm& args)
{
    std::FILE* f = fid_file(fid);
    if (!f)
        return x_M;
    const long long target = rounded_count(first_value(fid));
    const std::string text = value_text(format);
    const bool list = args.gettype() == qv_cell && !args.isstruct();
    const int n = list ? args.size() : 1;
    if (n <= 0) {
        const std::string plain = unescape_format(text);
        write_text(target, f, plain.data(), plain.size());
        return Mm(0.0);
    }
    format_spec compiled(text);
    growing_buffer<char> out;
    for (int k = 1; k <= n; ++k) {
        out.clear();
        format_print(compiled, list ? args.mr(k) : args, out);
        write_text(target, f, out.data(), out.size());
    }
    return Mm(0.0);
}

Mm one_cell(const Mm& a, const Mm& b)
{
    Mm c = cell(Mm(1.0), Mm(2.0));
    if (c.gettype() != qv_cell)  // refused under a returning error hook
        return c;
    c.mr(1) = a;
    c.mr(2) = b;
    return c;
}

} // namespace

Mm fprintf(const Mm& format) { return fprintf(Mm(1.0), format); }

Mm fprintf(const Mm& first, const Mm& second)
{
    if (isstr(first)) {
        print_to(Mm(1.0), first, one_cell(second, nop_M));
        return x_M;
    }
    Mm list = cell(Mm(1.0), Mm(1.0));
    if (list.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    list.mr(1) = nop_M;
    return print_to(first, second, list);
}

Mm fprintf(const Mm& fid, const Mm& format, const Mm& args)
{
    if (isstr(fid)) {
        const bool list = args.gettype() == qv_cell && !args.isstruct();
        const int n = list ? args.size() : 1;
        Mm all = cell(Mm(1.0), Mm(static_cast<double>(n + 1)));
        if (all.gettype() != qv_cell)  // refused under a returning error hook
            return x_M;
        all.mr(1) = format;
        for (int k = 1; k <= n; ++k)
            all.mr(k + 1) = list ? args.mr(k) : args;
        print_to(Mm(1.0), fid, all);
        return x_M;
    }
    return print_to(fid, format, args);
}

Mm printf(const Mm& format)
{
    fprintf(Mm(1.0), format);
    return x_M;
}

Mm printf(const Mm& format, const Mm& args)
{
    print_to(Mm(1.0), format, args);
    return x_M;
}

Mm fscanf(const Mm&) { return Mm(error_input("fscanf", 1)); }

Mm fscanf(const Mm& fid, const Mm& format) { return fscanf(fid, format, Inf); }

Mm fscanf(const Mm& fid, const Mm& format, const Mm& size)
{
    Mm a, count, errmsg;
    fscanf(fid, format, size, i_o, a, count, errmsg);
    return a;
}

Mm fscanf(const Mm& fid, const Mm& format, i_o_t, Mm& a, Mm& count)
{
    Mm errmsg;
    return fscanf(fid, format, Inf, i_o, a, count, errmsg);
}

Mm fscanf(const Mm& fid, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count)
{
    Mm errmsg;
    return fscanf(fid, format, size, i_o, a, count, errmsg);
}

Mm fscanf(const Mm& fid, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg)
{
    std::FILE* f = fid_file(fid);
    if (!f)
        return x_M;
    format_scan(f, nullptr, format, size, i_o, a, count, errmsg);
    return x_M;
}

// ---- unformatted input and output ----

namespace {

// The file's byte order for a machine-format argument: an unknown name
// takes the fid's own; unknown throughout counts as native.
bool swapping(const Mm& fid, const std::string& format_name)
{
    int format = machine_format_code(format_name.c_str());
    if (format == -1)
        format = fid_format(fid);
    return format != -1 && format != native_format;
}

long long extent(double v)
{
    if (std::isnan(v) || v <= 0)
        return 0;
    if (v >= 9.2e18)
        return LLONG_MAX;
    return static_cast<long long>(v);
}

void read_values(const Mm& fid, const Mm& size, const std::string& precision, const Mm& skip_arg,
                 const std::string& format_name, Mm& a, Mm& count)
{
    // Every argument is checked before an output is touched: a refused
    // call leaves them as they were.
    if (size.size() > 2) {
        error("fread: can not read multi-dimensional matrices");
        return;
    }
    const int k = check_fid(fid, 1);
    if (k < 0)
        return;
    std::FILE* f = stream_of(k);
    int s = 8;
    const int code = find_precision(precision.c_str(), &s);
    if (code < 0) {
        unknown_precision(precision.c_str());
        return;
    }
    const bool swap = swapping(fid, format_name);
    // A gap past any file reads like one of 2^40 bytes; the bound keeps the
    // sums below in range.
    const long long skip = std::min(rounded_count(first_value(skip_arg)), 1LL << 40);

    Mm sz = size;
    if (sz.gettype() != qv_double || sz.issparse())
        sz.deepcopy(0, 0, size, qv_double);
    if (sz.gettype() != qv_double || sz.issparse())
        return;  // "Out of memory!" went to a hook that returned
    const long long n = sz.size() >= 1 ? extent(*sz.addr(1)) : LLONG_MAX;
    long long m = sz.size() >= 2 ? extent(*sz.addr(2)) : 1;
    if (n == 0 && m == LLONG_MAX)
        m = 0;  // no rows of as many columns as there are: nothing to read

    // Bytes left from the position to the end, the position kept.
    long long left = 0;
    if (!is_standard(k)) {
        const off_t here = ftello(f);
        if (here >= 0 && fseeko(f, 0, SEEK_END) == 0) {
            const off_t end = ftello(f);
            left = end > here ? end - here : 0;
            fseeko(f, here, SEEK_SET);
        }
    }
    const long long step = skip + s;
    const long long available = left < s ? 0 : (left - s) / step + 1;
    long long rows = n, cols = m;
    bool over = false;
    if (n > available) {
        rows = available;
        cols = 1;
        over = true;
    } else if (n > 0 && m > available / n) {  // n x m > available, without overflow
        rows = n;
        cols = n > 0 ? (left + step * n - 1) / (step * n) : 0;
        over = true;
    }
    if (rows > INT_MAX || cols > INT_MAX || (cols > 0 && rows > INT_MAX / cols)) {
        error("Out of memory!");
        return;
    }
    Mm result(0, 0, 0, static_cast<int>(rows), static_cast<int>(cols), qv_double);
    if (result.size() != rows * cols)
        return;
    const std::size_t total = static_cast<std::size_t>(rows * cols);
    double* p = result.addr();
    std::size_t got = 0;
    if (total == 0) {
        // an empty result has no storage to read into
    } else if (skip == 0) {
        got = read_as_precision(p, total, f, code, swap);
    } else {
        for (; got < total; ++got) {
            if (read_as_precision(p + got, 1, f, code, swap) != 1)
                break;
            if (fseeko(f, static_cast<off_t>(skip), SEEK_CUR) != 0) {
                ++got;
                break;
            }
        }
    }
    if (total > got)
        std::fill(p + got, p + total, 0.0);  // what the file did not supply
    if (over)
        std::fgetc(f);  // sets the end-of-file indicator
    a = result;
    count = Mm(static_cast<double>(got));
}

bool is_text(const Mm& x) { return isstr(x); }

} // namespace

Mm fread(const Mm& fid) { return fread(fid, Inf); }
Mm fread(const Mm& fid, const Mm& size) { return fread(fid, size, TM("uchar")); }
Mm fread(const Mm& fid, const Mm& size, const Mm& precision) { return fread(fid, size, precision, Mm(0.0)); }

Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip)
{
    return fread(fid, size, precision, skip, TM("?"));
}

Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, const Mm& machineformat)
{
    Mm a, count;
    fread(fid, size, precision, skip, machineformat, i_o, a, count);
    return a;
}

Mm fread(const Mm& fid, i_o_t, Mm& a, Mm& count) { return fread(fid, Inf, i_o, a, count); }

Mm fread(const Mm& fid, const Mm& size, i_o_t, Mm& a, Mm& count)
{
    return fread(fid, size, TM("uchar"), i_o, a, count);
}

Mm fread(const Mm& fid, const Mm& size, const Mm& precision, i_o_t, Mm& a, Mm& count)
{
    return fread(fid, size, precision, Mm(0.0), i_o, a, count);
}

Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, i_o_t, Mm& a, Mm& count)
{
    return fread(fid, size, precision, skip, TM("?"), i_o, a, count);
}

Mm fread(const Mm& fid, const Mm& size, const Mm& precision, const Mm& skip, const Mm& machineformat, i_o_t, Mm& a,
         Mm& count)
{
    // A text where the size stands is the precision; where the skip
    // stands, the machine format.
    if (is_text(size))
        read_values(fid, Inf, value_text(size), Mm(0.0), value_text(precision), a, count);
    else if (is_text(skip))
        read_values(fid, size, value_text(precision), Mm(0.0), value_text(skip), a, count);
    else
        read_values(fid, size, value_text(precision), skip, value_text(machineformat), a, count);
    return x_M;
}

Mm fwrite(const Mm&) { return Mm(error_input("fwrite", 1)); }
Mm fwrite(const Mm& fid, const Mm& a) { return fwrite(fid, a, TM("uchar")); }
Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision) { return fwrite(fid, a, precision, Mm(0.0)); }

Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision, const Mm& skip)
{
    return fwrite(fid, a, precision, skip, TM("?"));
}

Mm fwrite(const Mm& fid, const Mm& a, const Mm& precision, const Mm& skip, const Mm& machineformat)
{
    if (!isstr(precision)) {
        error("fwrite: precision not a string");
        return x_M;
    }
    const int k = check_fid(fid, 1);
    if (k < 0)
        return Mm(0.0);
    std::FILE* f = stream_of(k);
    const bool swap = swapping(fid, value_text(machineformat));
    int s = 8;
    const int code = fileio(value_text(precision).c_str(), &s);
    const long long gap = rounded_count(first_value(skip));
    Mm values = a;
    if (a.gettype() != qv_double || a.issparse())
        values.deepcopy(0, 0, a, qv_double);
    if (values.gettype() != qv_double || values.issparse())
        return Mm(0.0);  // refused memory, reported: nothing written
    const std::size_t n = values.size() > 0 ? static_cast<std::size_t>(values.size()) : 0;
    std::size_t written = 0;
    if (gap == 0) {
        written = write_block_as_precision(values.addr(), n, f, code, swap);
    } else {
        for (; written < n; ++written) {
            if (write_as_precision(values.addr()[written], f, code, swap) != 1)
                break;
            if (fseeko(f, static_cast<off_t>(gap), SEEK_CUR) != 0) {
                ++written;
                break;
            }
        }
    }
    return Mm(static_cast<double>(written));
}

Mm stderrM() { return Mm(2.0); }
