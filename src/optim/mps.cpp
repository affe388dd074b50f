// The MPS reader of the LP solver: fixed-format sections NAME, ROWS,
// COLUMNS, RHS, RANGES, BOUNDS and ENDATA/ENDDATA into the solver's arrays,
// with the row and column names in two hash tables.
#include "optim/lp_solver.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double lp_inf = 1e20;
constexpr int max_rows = 20000, max_cols = 20000, max_nonzeros = 199990, max_ranges = 4999;
constexpr int line_limit = 80;
constexpr std::size_t chunk = 100000;
constexpr int slots = 40000, modulus = 39999;

// A name of at most 8 characters, zero-padded so that names compare whole.
struct Name {
    char s[9] = {};
    bool empty() const { return s[0] == 0; }
    bool operator==(const Name& o) const { return std::memcmp(s, o.s, 8) == 0; }
    bool operator!=(const Name& o) const { return !(*this == o); }
    std::string str() const { return std::string(s); }
};

// Names in open addressing with chains: a taken home slot sends a name to
// the next free slot, linked from its home chain. The hash runs over
// unsigned bytes, so a byte above 0x7F never makes a negative slot.
class NameTable {
public:
    NameTable() : name_(slots), value_(slots, 0), next_(slots, -1), used_(slots, 0) {}

    static int hash(const Name& s)
    {
        unsigned h = 0;
        for (int k = 0; k < 8 && s.s[k] != 0; ++k) {
            const unsigned char ch = static_cast<unsigned char>(s.s[k]);
            if (ch == ' ')
                break;
            h = ((h << 7) | ch) % modulus;
        }
        return static_cast<int>(h);
    }
    // The value stored for s, or false.
    bool find(const Name& s, int& value) const
    {
        int k = hash(s);
        if (!used_[k])
            return false;
        for (; k >= 0; k = next_[k])
            if (name_[k] == s) {
                value = value_[k];
                return true;
            }
        return false;
    }
    bool insert(const Name& s, int value)
    {
        int home = hash(s);
        if (!used_[home]) {
            store(home, s, value);
            return true;
        }
        int slot = home;
        for (int probe = 0; probe < slots && used_[slot]; ++probe)
            slot = (slot + 1) % slots;
        if (used_[slot])
            return false;
        store(slot, s, value);
        int tail = home;
        while (next_[tail] >= 0)
            tail = next_[tail];
        next_[tail] = slot;
        return true;
    }

private:
    void store(int k, const Name& s, int value)
    {
        used_[k] = 1;
        name_[k] = s;
        value_[k] = value;
    }
    std::vector<Name> name_;
    std::vector<int> value_, next_;
    std::vector<char> used_;
};

// A line of at most 80 characters, blank-padded to its full width.
struct Line {
    char s[81];
    int size;
};

// Name field of a fixed-format line (1-based columns first..last), leading
// and trailing blanks removed, at most 8 characters.
Name field(const Line& line, int first, int last)
{
    Name n;
    if (line.size < first)
        return n;
    int a = first - 1, b = std::min(last, line.size);
    while (a < b && line.s[a] == ' ')
        ++a;
    while (b > a && line.s[b - 1] == ' ')
        --b;
    const int len = std::min(b - a, 8);
    std::memcpy(n.s, line.s + a, len > 0 ? len : 0);
    return n;
}

// The standard conversion of the field's text. Plain decimals of at most 15
// digits take the exact route (an exact integer over an exact power of ten,
// one correctly rounded division, the same double strtod gives); anything
// else goes to strtod itself.
double number(const Line& line, int first, int last)
{
    if (line.size < first)
        return 0;
    char buf[16];
    const int len = std::min(last, line.size) - (first - 1);
    std::memcpy(buf, line.s + first - 1, len);
    buf[len] = 0;
    static const double pow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = buf;
    while (*p == ' ')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long mant = 0;
    int digits = 0, frac = 0;
    bool point = false, any = false;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            any = true;
            if (mant == 0 && *p == '0' && !point)
                continue;  // leading zeros
            mant = mant * 10 + (*p - '0');
            ++digits;
            if (point)
                ++frac;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    const bool plain = any && digits <= 15 && *p != 'e' && *p != 'E' && *p != 'd' && *p != 'D' && *p != 'x' &&
                       *p != 'X' && *p != 'i' && *p != 'I' && *p != 'n' && *p != 'N';
    if (!plain)
        return std::strtod(buf, nullptr);
    double v = static_cast<double>(mant) / pow10[frac];
    return negative ? -v : v;
}

enum Section { none, rows_section, columns_section, rhs_section, ranges_section, bounds_section, done };

} // namespace

bool LpSolver::read_mps(const char* name)
{
    char path[512];
    std::snprintf(path, sizeof path, "%s", name);
    file_ = std::fopen(path, "r");
    if (!file_) {
        status = 8;
        return false;
    }
    NameTable row_table, col_table;
    std::vector<int> kinds;
    std::vector<double> rhs_values;
    // Entries in file order (column, row, value); grouped by column at the end,
    // so a column resumed after others has its runs merged.
    std::vector<int> entry_col, entry_row;
    std::vector<double> entry_value;
    int column_count = 0;
    std::vector<double> costs, lower, upper;
    std::vector<double> rlo, rhi;
    int nonzeros = 0, range_count = 0;
    Section section = none;
    Name last_column;
    int current = -1;

    auto fail = [&]() {
        status = 9;
        return false;
    };
    auto row_entry = [&](const Name& rname, double value) {
        int r;
        if (!row_table.find(rname, r))
            return false;
        if (r == -2) {
            costs[current] = value;
            return true;
        }
        if (value == 0)
            return true;
        if (nonzeros >= max_nonzeros)
            return false;
        entry_col.push_back(current);
        entry_row.push_back(r);
        entry_value.push_back(value);
        ++nonzeros;
        return true;
    };

    // One line: comments and blanks skipped, headers switch the section. A
    // carriage return counts as a blank; more than 80 characters before the
    // trailing blanks is an error.
    auto process = [&](const char* text, std::size_t length) -> bool {
        std::size_t used = length;
        while (used > 0 && (text[used - 1] == ' ' || text[used - 1] == '\r'))
            --used;
        if (used > static_cast<std::size_t>(line_limit))
            return fail();
        Line line;
        line.size = static_cast<int>(used);
        for (std::size_t k = 0; k < used; ++k)
            line.s[k] = text[k] == '\r' ? ' ' : text[k];
        std::memset(line.s + used, ' ', sizeof line.s - used);
        if (used == 0 || line.s[0] == '*')
            return true;
        if (line.s[0] != ' ') {
            auto starts = [&](const char* word) {
                const std::size_t n = std::strlen(word);
                return used >= n && std::memcmp(line.s, word, n) == 0;
            };
            if (starts("NAME"))
                return true;
            if (starts("ROWS"))
                section = rows_section;
            else if (starts("COLUMN"))
                section = columns_section;
            else if (starts("RHS"))
                section = rhs_section;
            else if (starts("BOUNDS"))
                section = bounds_section;
            else if (starts("RANGES"))
                section = ranges_section;
            else if (starts("ENDATA") || starts("ENDDATA"))
                section = done;
            else
                return fail();
            return true;
        }
        const bool second = line.size >= 40;
        switch (section) {
        case rows_section: {
            char type = line.s[1];
            if (type == ' ')
                type = line.s[2];
            type = static_cast<char>(std::toupper(static_cast<unsigned char>(type)));
            const Name rname = field(line, 5, 12);
            int known;
            if (row_table.find(rname, known))
                return fail();  // a row named twice
            if (type == 'N') {
                return row_table.insert(rname, -2) || fail();
            }
            if (type != 'E' && type != 'G' && type != 'L')
                return fail();
            if (static_cast<int>(kinds.size()) >= max_rows)
                return fail();
            if (!row_table.insert(rname, static_cast<int>(kinds.size())))
                return fail();
            row_names_.push_back(rname.str());
            kinds.push_back(type == 'E' ? 0 : type == 'G' ? -1 : 1);
            rhs_values.push_back(0);
            return true;
        }
        case columns_section: {
            const Name cname = field(line, 5, 12);
            if (current < 0 || cname != last_column) {
                int j;
                if (!col_table.find(cname, j)) {
                    if (column_count >= max_cols)
                        return fail();
                    j = column_count;
                    if (!col_table.insert(cname, j))
                        return fail();
                    ++column_count;
                    costs.push_back(0);
                    lower.push_back(0);
                    upper.push_back(lp_inf);
                    col_names_.push_back(cname.str());
                }
                current = j;
                last_column = cname;
            }
            if (!row_entry(field(line, 15, 22), number(line, 25, 36)))
                return fail();
            if (second && !field(line, 40, 47).empty() && !row_entry(field(line, 40, 47), number(line, 50, 61)))
                return fail();
            return true;
        }
        case rhs_section:
        case ranges_section: {
            for (int pair = 0; pair < (second ? 2 : 1); ++pair) {
                const Name rname = pair ? field(line, 40, 47) : field(line, 15, 22);
                const double v = pair ? number(line, 50, 61) : number(line, 25, 36);
                if (pair && rname.empty())
                    break;
                int r;
                if (!row_table.find(rname, r))
                    return fail();
                if (section == rhs_section) {
                    if (r >= 0)
                        rhs_values[r] = v;  // the objective's constant is not kept
                    continue;
                }
                if (r < 0 || range_count >= max_ranges)
                    return fail();
                const int k = kinds[r];
                const double bv = rhs_values[r];
                if (k < 10) {
                    double lo, hi;
                    if (k == -1) {
                        lo = bv;
                        hi = bv + std::fabs(v);
                    } else if (k == 1) {
                        lo = bv - std::fabs(v);
                        hi = bv;
                    } else if (v >= 0) {
                        lo = bv;
                        hi = bv + v;
                    } else {
                        lo = bv + v;
                        hi = bv;
                    }
                    rlo.resize(range_count + 1);
                    rhi.resize(range_count + 1);
                    rlo[range_count] = lo;
                    rhi[range_count] = hi;
                    kinds[r] = 10 + range_count;
                }
                ++range_count;
            }
            return true;
        }
        case bounds_section: {
            const std::string type(line.s + 1, 2);
            int j;
            if (!col_table.find(field(line, 15, 22), j))
                return fail();
            const double v = number(line, 25, 36);
            if (type == "UP")
                upper[j] = v;
            else if (type == "LO")
                lower[j] = v;
            else if (type == "FX")
                lower[j] = upper[j] = v;
            else if (type == "FR")
                lower[j] = -lp_inf;
            else if (type == "MI") {
                lower[j] = -lp_inf;
                upper[j] = 0;
            } else if (type != "PL")
                return fail();
            return true;
        }
        default:
            return fail();
        }
    };

    // Chunks of the file split at line feeds; an incomplete last line waits
    // for the next chunk, but never beyond the line limit.
    std::vector<char> buffer(chunk);
    std::string pending;
    bool ok = true;
    while (ok && section != done) {
        std::size_t got = std::fread(buffer.data(), 1, chunk, file_);
        if (got == 0)
            break;
        std::size_t start = 0;
        while (ok && section != done) {
            const char* nl = static_cast<const char*>(std::memchr(buffer.data() + start, '\n', got - start));
            if (!nl)
                break;
            const std::size_t k = static_cast<std::size_t>(nl - buffer.data());
            if (pending.empty()) {
                ok = process(buffer.data() + start, k - start);
            } else {
                pending.append(buffer.data() + start, k - start);
                ok = process(pending.data(), pending.size());
                pending.clear();
            }
            start = k + 1;
        }
        if (ok && section != done) {
            pending.append(buffer.data() + start, got - start);
            std::size_t used = pending.size();
            while (used > 0 && (pending[used - 1] == ' ' || pending[used - 1] == '\r'))
                --used;
            if (used > static_cast<std::size_t>(line_limit))
                ok = fail();
        }
    }
    if (ok && section != done && !pending.empty())
        ok = process(pending.data(), pending.size());
    if (!ok)
        return false;
    if (section != done)
        return fail();
    std::fclose(file_);
    file_ = nullptr;
    // Group by column (stable), then each column's entries by row.
    std::vector<std::vector<LpEntry>> columns(column_count);
    {
        std::vector<int> count(column_count, 0);
        for (int c : entry_col)
            ++count[c];
        for (int j = 0; j < column_count; ++j)
            columns[j].reserve(count[j]);
        for (std::size_t k = 0; k < entry_col.size(); ++k)
            columns[entry_col[k]].push_back({entry_row[k], entry_value[k]});
    }
    for (auto& col : columns)
        std::stable_sort(col.begin(), col.end(), [](const LpEntry& a, const LpEntry& b) { return a.index < b.index; });
    m_ = m0_ = static_cast<int>(kinds.size());
    n_ = n0_ = static_cast<int>(columns.size());
    cols_ = std::move(columns);
    b_ = std::move(rhs_values);
    kind_ = std::move(kinds);
    c_ = std::move(costs);
    l_ = std::move(lower);
    u_ = std::move(upper);
    range_lo_ = std::move(rlo);
    range_hi_ = std::move(rhi);
    return true;
}
