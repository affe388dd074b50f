// Data files: load, save, vbload, vbsave, saveV4 and saveascii over the
// three kinds of file (version 5, version 4 and ASCII), the version-4
// records and the ASCII matrices.
#include "io/data_files.hpp"

#include "host/number_text.hpp"
#include "host/search_path.hpp"
#include "io/files.hpp"
#include "io/precisions.hpp"
#include "io/vor5.hpp"
#include "platform/byte_order.hpp"
#include "platform/files.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using file_ptr = std::unique_ptr<std::FILE, file_closer>;

long long file_length(std::FILE* f)
{
    struct stat st;
    return ::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : LLONG_MAX;
}

} // namespace

std::string default_data_extension(const std::string& name)
{
    return with_default_extension(name, ".vor");
}

namespace {

// Opens a file for reading; a folder is no data file.
std::FILE* open_readable(const std::string& name)
{
    std::FILE* f = platform::open_file(name, "rb");
    struct stat st;
    if (f && ::fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

} // namespace

std::FILE* open_data_file(const search_path* path, const std::string& name, int* kind, std::string* opened)
{
    const std::string extended = default_data_extension(name);
    std::FILE* f = nullptr;
    const std::string* found = &extended;
    if (path) {
        std::string dir;
        if (find_on_path(*path, nullptr, nullptr, extended, 0, dir))
            f = open_readable(dir + extended);
        if (!f && find_on_path(*path, nullptr, nullptr, name, 0, dir)) {
            f = open_readable(dir + name);
            found = &name;
        }
    } else {
        f = open_readable(extended);
        if (!f) {
            f = open_readable(name);
            found = &name;
        }
    }
    if (!f)
        return nullptr;
    if (opened)
        *opened = *found;
    unsigned char head[128];
    std::memset(head, ' ', sizeof head);
    std::fread(head, 1, sizeof head, f);
    if (std::memcmp(head, "VOR", 3) == 0) {
        *kind = data_v5;
        return f;
    }
    std::rewind(f);
    bool text = true;
    for (int k = 0; k < 32 && text; ++k)
        text = (head[k] >= 0x20 && head[k] <= 0x7E) || (head[k] >= 0x09 && head[k] <= 0x0D);
    *kind = text ? data_ascii : data_v4;
    return f;
}

// ---- version 4 ----

namespace {

struct v4_header {
    std::int32_t type, mrows, ncols, imagf, namlen;
};

// The sparse value of a record's coordinate rows. Its last row gives the
// extent as the place of a zero, which cannot say an extent with no rows
// or no columns: a record of that row alone is an empty value of that
// extent, as other writers write one too.
Mm sparse_of_coordinates(const Mm& rows)
{
    if (rows.rows() == 1 && rows.cols() >= 3) {
        const double m = rows.addr()[0], n = rows.addr()[1];
        if ((m == 0 || n == 0) && m >= 0 && n >= 0 && m <= INT_MAX && n <= INT_MAX && m == std::floor(m) &&
            n == std::floor(n))
            return sparse(Mm(m), Mm(n));
    }
    return spconvert(rows);
}

// Reads the five header words: 1 when read, 0 at the end of the file, -1
// for a header cut short (a damaged file, not the end).
int read_v4_header(std::FILE* f, v4_header& h, int& swap)
{
    std::int32_t w[5];
    const std::size_t got = std::fread(w, 1, sizeof w, f);
    if (got != sizeof w)
        return got == 0 ? 0 : -1;
    swap = 0;
    if (w[0] < 0 || w[0] > 9999) {
        swap = 1;
        for (std::int32_t& x : w)
            x = static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(x)));
    }
    h = {w[0], w[1], w[2], w[3], w[4]};
    return 1;
}

} // namespace

int read_v4_record(const char* path, std::FILE* file, Mm& target)
{
    v4_header h;
    int swapped = 0;
    const int header = read_v4_header(file, h, swapped);
    if (header == 0) {
        target = nop_M;
        return 1;
    }
    if (header < 0) {
        error("load4: '%s' could not read header", path);
        return 1;
    }
    const int T = h.type % 10, P = (h.type / 10) % 10, O = (h.type / 100) % 10, M = (h.type / 1000) % 10;
    int swap = 0;
    if (M == native_format)
        swap = 0;
    else if ((M == 0 && native_format == 1) || (M == 1 && native_format == 0))
        swap = 1;
    else {
        error("load4: '%s' no conversion from this", path);
        return 1;
    }
    if (O != 0)
        warning("load4: '%s' O not zero", path);
    if (T >= 3) {
        error("load4: '%s' unknown matrix type", path);
        target = x_M;
        return 1;
    }
    if (h.namlen < 1) {
        error("load4: '%s' could not read matrix name", path);
        target = x_M;
        return 1;
    }
    const long long length = file_length(file);
    const long long element = precision_size(P);
    const long long count = static_cast<long long>(h.mrows) * h.ncols;
    if (h.mrows < 0 || h.ncols < 0 || count > INT_MAX ||
        ftello(file) + h.namlen + count * element * (h.imagf ? 2 : 1) > length) {
        error("load4: could not read real part from file '%s'", path);
        target = x_M;
        return 1;
    }
    // The name: at most 255 characters kept, the rest skipped.
    const std::size_t kept = static_cast<std::size_t>(h.namlen < 256 ? h.namlen : 256);
    std::string name(kept, '\0');
    if (std::fread(name.data(), 1, kept, file) != kept) {
        error("load4: '%s' could not read matrix name", path);
        target = x_M;
        return 1;
    }
    if (h.namlen > 255) {
        warning("load4: name field is too long in file '%s'", path);
        fseeko(file, h.namlen - static_cast<long long>(kept), SEEK_CUR);
    }
    name.resize(std::strlen(name.c_str()));
    if (const char* wanted = target.getname()) {
        const std::size_t n = std::min(name.size(), std::strlen(wanted));
        if (*wanted && std::strncmp(name.c_str(), wanted, n) != 0)
            warning("load4 '%s': variable named '%s' loaded into '%s'", path, name.c_str(), wanted);
    }
    Mm value(h.imagf != 0, 0, 0, h.mrows, h.ncols, qv_double);
    if (value.size() != static_cast<int>(count)) {
        target = x_M;
        return 1;
    }
    const std::size_t n = static_cast<std::size_t>(count);
    if (read_as_precision(value.addr(), n, file, P, swap) != n) {
        error("load4: could not read real part from file '%s'", path);
        target = x_M;
        return 1;
    }
    if (h.imagf && read_as_precision(value.addi(), n, file, P, swap) != n) {
        error("load4: could not read imaginary part from file '%s'", path);
        target = x_M;
        return 1;
    }
    if (T == 1)
        value.setstr(1);
    bool zeros_and_ones = n > 0;
    for (std::size_t k = 0; k < n && zeros_and_ones; ++k)
        zeros_and_ones = value.addr()[k] == 0 || value.addr()[k] == 1;
    if (zeros_and_ones && !value.isc() && T != 2)
        value.setlogical(1);
    if (T == 2)
        value = sparse_of_coordinates(value);
    target = value;
    return 0;
}

bool save_v4_record(std::FILE* file, const Mm& value)
{
    if (value.getndims() > 2) {
        error("save: matrix '%s' has more than two dimensions and can not be saved in 4.0 format",
              matrix_display_name(value));
        return false;
    }
    if (value.gettype() == qv_cell) {
        error("save: matrix '%s' can not be saved in 4.0 format", matrix_display_name(value));
        return false;
    }
    const bool text = value.isstr() != 0;
    const bool sparse = value.issparse() != 0;
    Mm v = sparse ? sp2coo(value) : (value.gettype() == qv_double ? value : mdouble(value));
    if (sparse ? v.rows() < 1 : v.size() != value.size())
        return false;  // "Out of memory!" went to a hook that returned: nothing to write
    if (v.isc())
        v.getreal(0);
    const int T = text ? 1 : (sparse ? 2 : 0);
    const char* name = value.getname() && *value.getname() ? value.getname() : "noname";
    const std::int32_t h[5] = {T + 1000 * native_format, v.rows(), v.cols(), v.isc() ? 1 : 0,
                               static_cast<std::int32_t>(std::strlen(name) + 1)};
    if (std::fwrite(h, 4, 5, file) != 5) {
        error("save: could not write header");
        return false;
    }
    if (std::fwrite(name, 1, std::strlen(name) + 1, file) != std::strlen(name) + 1) {
        error("save: could not write matrix name");
        return false;
    }
    const std::size_t n = v.size() > 0 ? static_cast<std::size_t>(v.size()) : 0;
    if (write_block_as_precision(v.addr(), n, file, prec_double, 0) != n) {
        error("save: could not write real part");
        return false;
    }
    if (v.isc() && write_block_as_precision(v.addi(), n, file, prec_double, 0) != n) {
        error("save: could not write imag part");
        return false;
    }
    return true;
}

std::string v4_next_name(std::FILE* file)
{
    v4_header h;
    int swap = 0;
    if (read_v4_header(file, h, swap) != 1 || h.namlen < 1 || h.mrows < 0 || h.ncols < 0)
        return "";
    const int P = (h.type / 10) % 10;
    const std::size_t kept = static_cast<std::size_t>(h.namlen < 256 ? h.namlen : 256);
    std::string name(kept, '\0');
    name.resize(std::fread(name.data(), 1, kept, file));
    fseeko(file, h.namlen - static_cast<long long>(kept), SEEK_CUR);
    name.resize(std::strlen(name.c_str()));
    const long long count = static_cast<long long>(h.mrows) * h.ncols;
    if (count > INT_MAX)
        fseeko(file, 0, SEEK_END);  // no record this large fits a value: the scan ends here
    else
        fseeko(file, count * precision_size(P) * (h.imagf ? 2 : 1), SEEK_CUR);
    return name.empty() ? std::string(" ") : name;
}

// ---- ASCII ----

namespace {

// Whole lines of any length, through one buffer kept across lines.
class line_reader {
public:
    explicit line_reader(std::FILE* f) : file_(f) {}
    ~line_reader() { std::free(buffer_); }
    line_reader(const line_reader&) = delete;
    line_reader& operator=(const line_reader&) = delete;

    bool next(std::string_view& line)
    {
        const ssize_t n = ::getline(&buffer_, &capacity_, file_);
        if (n <= 0)
            return false;
        line = std::string_view(buffer_, static_cast<std::size_t>(n));
        return true;
    }

private:
    std::FILE* file_;
    char* buffer_ = nullptr;
    std::size_t capacity_ = 0;
};

bool is_separator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n'; }

// A token with a special: the runtime's spellings first, then -Inf, Inf
// and NaN; anything else with 'I' or 'N' is 0.
double special_of(std::string token)
{
    if (token.size() > 31)
        token.resize(31);
    for (const char* spelling : {"1.#INF", "1.#QNAN", "1.#IND", "1.#SNAN"}) {
        const std::size_t at = token.find(spelling);
        if (at != std::string::npos)
            token.replace(at, std::strlen(spelling), std::strcmp(spelling, "1.#INF") == 0 ? "Inf" : "NaN");
    }
    if (token.find("-Inf") != std::string::npos)
        return -INFINITY;
    if (token.find("Inf") != std::string::npos)
        return INFINITY;
    if (token.find("NaN") != std::string::npos)
        return NAN;
    return 0;
}

// Appends the numbers of one line to out; false for a comment line.
bool numbers_of(std::string_view line, std::vector<double>& out)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    if (p == end || *p == '%' || *p == '#' || *p == '\r' || *p == '\n')
        return false;
    if (const char* cut = static_cast<const char*>(std::memchr(p, '%', static_cast<std::size_t>(end - p))))
        end = cut;
    while (p < end) {
        while (p < end && is_separator(*p))
            ++p;
        const char* stop = p;
        bool special = false;
        while (stop < end && !is_separator(*stop)) {
            special = special || *stop == 'I' || *stop == 'N';
            ++stop;
        }
        if (stop == p)
            break;
        if (special) {
            out.push_back(special_of(std::string(p, stop)));
        } else {
            // A token is at most 31 characters long.
            char token[32];
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(stop - p), 31);
            std::memcpy(token, p, n);
            token[n] = '\0';
            char* after = nullptr;
            const double v = std::strtod(token, &after);
            if (after != token)
                out.push_back(v);
        }
        p = stop;
    }
    return true;
}

} // namespace

int load_ascii(const char* path, std::FILE* file, Mm& target)
{
    // One pass: the rows are kept as they come and laid out column by
    // column at the end.
    line_reader reader(file);
    std::string_view line;
    std::vector<double> values;
    long long rows = 0, cols = -1;
    while (reader.next(line)) {
        const std::size_t before = values.size();
        if (!numbers_of(line, values) || values.size() == before)
            continue;
        const long long count = static_cast<long long>(values.size() - before);
        if (cols >= 0 && count != cols) {
            error("loadascii: matrix in %s is not rectangular", path);
            return 1;
        }
        cols = count;
        ++rows;
    }
    if (cols < 0)
        cols = 0;
    if (rows * cols > INT_MAX) {
        error("Out of memory!");
        return 1;
    }
    Mm value(0, 0, 0, static_cast<int>(rows), static_cast<int>(cols), qv_double);
    if (value.size() != rows * cols)
        return 1;
    double* p = value.addr();
    for (long long r = 0; r < rows; ++r)
        for (long long c = 0; c < cols; ++c)
            p[r + c * rows] = values[static_cast<std::size_t>(r * cols + c)];
    target = value;
    return 0;
}

bool saveascii_row(std::FILE* file, const Mm& value)
{
    if (value.gettype() == qv_cell) {
        error("saveascii: matrix '%s' is not numeric", matrix_display_name(value));
        return false;
    }
    Mm v = value.issparse() ? full(value) : value;
    if (v.gettype() != qv_double)
        v = mdouble(v);
    if (v.size() != value.size())
        return false;  // "Out of memory!" went to a hook that returned: nothing to write
    const int rows = v.rows(), cols = v.cols();
    const double* p = v.addr();
    std::string out;
    for (int r = 0; r < rows; ++r) {
        out.clear();
        for (int c = 0; c < cols; ++c) {
            const double x = p[r + static_cast<std::ptrdiff_t>(c) * rows];
            char text[64];
            std::snprintf(text, sizeof text, "%23.13g", x);
            std::string t = text;
            normalize_infnan_text(x, t);
            out += t;
        }
        out += '\n';
        if (std::fwrite(out.data(), 1, out.size(), file) != out.size())
            return false;
    }
    return true;
}

std::string data_file_next_name(std::FILE* file, const std::string& path, int kind, const std::string& previous)
{
    if (!file)
        return "";
    switch (kind) {
    case data_v4:
        return v4_next_name(file);
    case data_v5:
        return v5_next_name(file);
    default:
        if (!previous.empty())
            return "";
        return path.substr(0, path.find('.'));
    }
}

// ---- language functions ----

namespace {

const search_path* host_path() { return static_cast<const search_path*>(mpath_pointer); }

Mm load_into(const std::string& name, const Mc* targets)
{
    int kind = 0;
    std::string path;
    file_ptr f(open_data_file(host_path(), name, &kind, &path));
    if (!f) {
        error("load: %s not found", name.c_str());
        return x_M;
    }
    const int n = targets ? targets->count() : 0;
    if (n == 0) {
        Mm first;
        switch (kind) {
        case data_v4:
            read_v4_record(path.c_str(), f.get(), first);
            break;
        case data_v5:
            read_v5_element(path.c_str(), f.get(), first);
            break;
        default:
            load_ascii(path.c_str(), f.get(), first);
            break;
        }
        return first;
    }
    // The names of a version-5 file are read once for all the targets.
    std::optional<v5_directory> directory;
    if (kind == data_v5)
        directory.emplace(f.get());
    for (int k = 0; k < n; ++k) {
        Mm& target = const_cast<Mm&>(targets->element(k));
        if (kind == data_v4) {
            if (read_v4_record(path.c_str(), f.get(), target) != 0)
                break;
        } else if (kind == data_v5) {
            // A target missing from the file is skipped; a failed read ends
            // the load.
            if (load5_by_name(path.c_str(), f.get(), target, *directory) == v5_failed)
                break;
        } else {
            load_ascii(path.c_str(), f.get(), target);
            break;
        }
    }
    return x_M;
}

// Values of a list: an Mc's elements, keeping their names.
template <class F>
void each_value(const Mc& values, F&& f)
{
    for (int k = 0; k < values.count(); ++k)
        if (!f(values.element(k)))
            return;
}

} // namespace

Mm load(const Mm& name) { return load_into(value_text(name), nullptr); }
Mm load(const Mm& name, const Mc& targets) { return load_into(value_text(name), &targets); }
Mm vbload(const Mm& name) { return load_into(value_text(name), nullptr); }

namespace {

// The outcome of a save, as its caller reports it: a file that could not
// be made (open_message, naming it), or one that could not be completed
// (the who's own message naming it, with the system's reason). A writer's
// own failure has raised its message already.
void report_save(whole_file outcome, int error_number, const char* who, const char* open_message,
                 const std::string& path)
{
    if (outcome == whole_file::not_created)
        error(open_message, path.c_str());
    else if (outcome == whole_file::not_completed)
        error("%s: %s could not be written: %s", who, path.c_str(), std::strerror(error_number));
}

// A version-5 file of the values, each checked before the file is touched.
template <class Each>
void save_v5(const std::string& path, Each&& each)
{
    bool ok = true;
    each([&](const Mm& v) { return ok = v5_can_save(path.c_str(), v); });
    if (!ok)
        return;
    int error_number = 0;
    const whole_file outcome = write_whole_file(path, "wb", [&](std::FILE* f) {
        v5_file_writer writer(path.c_str(), f);
        bool written = writer.header();
        if (written)
            each([&](const Mm& v) { return written = writer.element(v); });
        return written;
    }, error_number);
    report_save(outcome, error_number, "save", "save: %s could not be created", path);
}

} // namespace

Mm save(const Mm& name, const Mc& values)
{
    save_v5(default_data_extension(value_text(name)), [&](auto&& f) { each_value(values, f); });
    return x_M;
}

Mm vbsave(const Mm& list)
{
    if (list.gettype() != qv_cell || list.size() < 1) {
        error("vbsave: the list must hold the file name and the values");
        return x_M;
    }
    save_v5(default_data_extension(value_text(list.mr(1))), [&](auto&& f) {
        for (int k = 2; k <= list.size(); ++k)
            if (!f(list.mr(k)))
                return;
    });
    return x_M;
}

Mm saveV4(const Mm& name, const Mc& values)
{
    // Values that the format cannot hold are refused before anything is
    // written.
    bool ok = true;
    each_value(values, [&](const Mm& v) {
        if (v.gettype() == qv_cell) {
            error("save: matrix '%s' can not be saved in 4.0 format", matrix_display_name(v));
            ok = false;
        } else if (v.getndims() > 2) {
            error("save: matrix '%s' has more than two dimensions and can not be saved in 4.0 format",
                  matrix_display_name(v));
            ok = false;
        }
        return ok;
    });
    if (!ok)
        return x_M;
    const std::string path = default_data_extension(value_text(name));
    int error_number = 0;
    const whole_file outcome = write_whole_file(path, "wb", [&](std::FILE* f) {
        bool written = true;
        each_value(values, [&](const Mm& v) { return written = save_v4_record(f, v); });
        return written;
    }, error_number);
    report_save(outcome, error_number, "saveV4", "saveV4: %s could not be created", path);
    return x_M;
}

Mm saveascii(const Mm& name, const Mc& values)
{
    bool ok = true;
    each_value(values, [&](const Mm& v) {
        if (v.gettype() == qv_cell) {
            error("saveascii: matrix '%s' is not numeric", matrix_display_name(v));
            ok = false;
        }
        return ok;
    });
    if (!ok)
        return x_M;
    const std::string path = value_text(name);
    int error_number = 0;
    whole_file outcome = write_whole_file(path, "w", [&](std::FILE* f) {
        bool written = true;
        each_value(values, [&](const Mm& v) { return written = saveascii_row(f, v); });
        return written;
    }, error_number);
    // The rows raise nothing of their own: a failed one is reported as the
    // file that could not be completed.
    if (outcome == whole_file::not_written)
        outcome = whole_file::not_completed;
    report_save(outcome, error_number, "saveascii", "could not write %s", path);
    return x_M;
}
