// The MPS reader of the LP solver: fixed-format sections NAME, ROWS,
// COLUMNS, RHS, RANGES, BOUNDS and ENDATA/ENDDATA into the solver's arrays,
// with the row and column names in two hash tables.
#include "optim/lp_solver.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

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
    NameTable() : slot_(slots) {}

    static int hash(const Name& s)
    {
        // For bytes below 0x80 the OR adds, so the running remainder is the
        // remainder of one polynomial in 128 that 8 characters keep within
        // 56 bits: one division instead of one per character.
        constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
        std::uint64_t w;
        std::memcpy(&w, s.s, 8);
        if (w != 0) {
            // Length up to the last non-zero byte; the quick route needs no
            // zero or blank before it and no byte above 0x7F.
            const int len = 8 - __builtin_clzll(w) / 8;
            const std::uint64_t in = len == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * len)) - 1;
            const std::uint64_t blanks = w ^ 0x2020202020202020ULL;
            const std::uint64_t zero_or_blank = ((w - ones) & ~w & highs) | ((blanks - ones) & ~blanks & highs);
            if (((zero_or_blank | (w & highs)) & in) == 0) {
                // The eight 7-bit characters packed first-most-significant:
                // the polynomial over all eight, the padding's zeros at the
                // bottom.
                std::uint64_t v = __builtin_bswap64(w);
                v = (v & 0x007F007F007F007FULL) | ((v & 0x7F007F007F007F00ULL) >> 1);
                v = (v & 0x00003FFF00003FFFULL) | ((v & 0x3FFF00003FFF0000ULL) >> 2);
                v = (v & 0x000000000FFFFFFFULL) | ((v & 0x0FFFFFFF00000000ULL) >> 4);
                return static_cast<int>((v >> (7 * (8 - len))) % modulus);
            }
        }
        int k = 0;
        while (k < 8 && s.s[k] != 0 && s.s[k] != ' ')
            ++k;
        unsigned h = 0;
        for (int t = 0; t < k; ++t)
            h = ((h << 7) | static_cast<unsigned char>(s.s[t])) % modulus;
        return static_cast<int>(h);
    }
    // Starts loading the home slot of a name whose lookup comes later.
    void prefetch(int home) const { __builtin_prefetch(&slot_[home]); }
    // The value stored for s, or false.
    bool find(const Name& s, int& value) const { return find(s, hash(s), value); }
    bool find(const Name& s, int home, int& value) const
    {
        int k = home;
        if (slot_[k].next == unused)
            return false;
        const std::uint64_t key = key_of(s);
        for (; k >= 0; k = slot_[k].next)
            if (slot_[k].key == key) {
                value = slot_[k].value;
                return true;
            }
        return false;
    }
    bool insert(const Name& s, int value)
    {
        const int home = hash(s);
        if (slot_[home].next == unused) {
            slot_[home] = {key_of(s), value, -1};
            return true;
        }
        int slot = home;
        for (int probe = 0; probe < slots && slot_[slot].next != unused; ++probe)
            slot = (slot + 1) % slots;
        if (slot_[slot].next != unused)
            return false;
        slot_[slot] = {key_of(s), value, -1};
        int tail = home;
        while (slot_[tail].next >= 0)
            tail = slot_[tail].next;
        slot_[tail].next = slot;
        return true;
    }

private:
    static constexpr int unused = -2;
    // A name's 8 characters, zero-padded, as one word; the name, its value
    // and its chain link share a cache line.
    struct Slot {
        std::uint64_t key = 0;
        int value = 0;
        int next = unused;
    };
    static std::uint64_t key_of(const Name& s)
    {
        std::uint64_t k;
        std::memcpy(&k, s.s, 8);
        return k;
    }
    std::vector<Slot> slot_;
};

// A line of at most 80 characters, read in place; columns past its end
// read as blanks.
struct Line {
    const char* s;
    int size;
    char at(int k) const { return k < size ? s[k] : ' '; }
};

// Name field of a fixed-format line (1-based columns first..last, 8 wide),
// leading and trailing blanks removed. The usual name (no leading blank,
// the field inside the line) is one 8-byte load with its trailing blanks
// cleared.
Name field(const Line& line, int first, int last)
{
    Name n;
    if (line.size < first)
        return n;
    const char* a = line.s + first - 1;
    if (*a != ' ' && first - 1 + 8 <= line.size) {
        std::uint64_t w;
        std::memcpy(&w, a, 8);
        const std::uint64_t x = w ^ 0x2020202020202020ULL;  // zero bytes where blank
        const int keep = 8 - __builtin_clzll(x) / 8;       // up to the last non-blank byte
        if (keep < 8)
            w &= (std::uint64_t{1} << (8 * keep)) - 1;
        std::memcpy(n.s, &w, 8);
        return n;
    }
    const char* b = line.s + std::min(last, line.size);
    while (a < b && *a == ' ')
        ++a;
    while (b > a && b[-1] == ' ')
        --b;
    std::memcpy(n.s, a, static_cast<std::size_t>(std::min<std::ptrdiff_t>(b - a, 8)));
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
    static const double pow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = line.s + first - 1;
    const char* end = line.s + std::min(last, line.size);
    // Right-aligned numbers open with a run of blanks: skip them by words.
    while (p + 8 <= end) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        w ^= 0x2020202020202020ULL;  // zero bytes where blank
        if (w != 0) {
            p += __builtin_ctzll(w) / 8;
            break;
        }
        p += 8;
    }
    while (p < end && *p == ' ')
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    long long mant = 0;
    int digits = 0, frac = 0;
    bool any = false;
    auto digit = [&](const char* q) { return q < end && static_cast<unsigned>(*q - '0') < 10; };
    for (; p < end && *p == '0'; ++p)
        any = true;  // leading zeros
    for (; digit(p); ++p, ++digits)
        mant = mant * 10 + (*p - '0');
    any = any || digits > 0;
    if (p < end && *p == '.') {
        ++p;
        for (; digit(p); ++p, ++digits, ++frac)
            mant = mant * 10 + (*p - '0');
        any = any || frac > 0;
    }
    const char next = p < end ? *p : ' ';
    const bool plain = any && digits <= 15 && next != 'e' && next != 'E' && next != 'd' && next != 'D' &&
                       next != 'x' && next != 'X' && next != 'i' && next != 'I' && next != 'n' && next != 'N';
    if (!plain) {
        char buf[16];
        const int len = std::min(last, line.size) - (first - 1);
        std::memcpy(buf, line.s + first - 1, len);
        buf[len] = 0;
        return std::strtod(buf, nullptr);
    }
    const double v = static_cast<double>(mant) / pow10[frac];
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
    // Entries in file order; grouped by column at the end, so a column
    // resumed after others has its runs merged.
    struct Entry {
        int col, row;
        double value;
    };
    std::vector<Entry> entries;
    {
        // An entry takes at least 25 characters of a line: room for them
        // all up front, within the reader's limit.
        struct stat st;
        if (fstat(fileno(file_), &st) == 0 && st.st_size > 0) {
            const std::size_t guess = std::min<std::size_t>(static_cast<std::size_t>(st.st_size) / 25, max_nonzeros);
            entries.reserve(guess);
        }
    }
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
    auto row_entry = [&](const Name& rname, int home, double value) {
        int r;
        if (!row_table.find(rname, home, r))
            return false;
        // A value that is not a number is no coefficient.
        if (std::isnan(value) || std::isinf(value))
            return false;
        // Every objective row feeds the costs, a later line overwriting;
        // a constraint entry named twice adds up (when the columns are
        // assembled).
        if (r == -2) {
            costs[current] = value;
            return true;
        }
        if (value == 0)
            return true;
        if (nonzeros >= max_nonzeros)
            return false;
        entries.push_back({current, r, value});
        ++nonzeros;
        return true;
    };

    // One line: comments and blanks skipped, headers switch the section. A
    // carriage return counts as a blank; more than 80 characters before the
    // trailing blanks is an error.
    // Whether the text being split may hold a carriage return (one search
    // per chunk instead of one per line).
    bool may_hold_cr = true;
    auto process = [&](char* text, std::size_t length) -> bool {
        std::size_t used = length;
        while (used > 0 && (text[used - 1] == ' ' || text[used - 1] == '\r'))
            --used;
        if (used > static_cast<std::size_t>(line_limit))
            return fail();
        if (may_hold_cr)
            for (char* cr = static_cast<char*>(std::memchr(text, '\r', used)); cr;
                 cr = static_cast<char*>(std::memchr(cr + 1, '\r', used - (cr + 1 - text))))
                *cr = ' ';
        const Line line{text, static_cast<int>(used)};
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
            char type = line.at(1);
            if (type == ' ')
                type = line.at(2);
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
            // Both row names' slots are fetched while the numbers are read.
            const Name r1 = field(line, 15, 22);
            const int h1 = NameTable::hash(r1);
            row_table.prefetch(h1);
            const Name r2 = second ? field(line, 40, 47) : Name{};
            const int h2 = r2.empty() ? 0 : NameTable::hash(r2);
            if (!r2.empty())
                row_table.prefetch(h2);
            const double v1 = number(line, 25, 36);
            const double v2 = r2.empty() ? 0.0 : number(line, 50, 61);
            if (!row_entry(r1, h1, v1))
                return fail();
            if (!r2.empty() && !row_entry(r2, h2, v2))
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
                if (!row_table.find(rname, r) || !std::isfinite(v))
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
            const char type_text[3] = {line.at(1), line.at(2), 0};
            const std::string type(type_text);
            int j;
            if (!col_table.find(field(line, 15, 22), j))
                return fail();
            const double v = number(line, 25, 36);
            if (std::isnan(v))
                return fail();
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
        const bool chunk_has_cr = std::memchr(buffer.data(), '\r', got) != nullptr;
        if (got == 0)
            break;
        std::size_t start = 0;
        while (ok && section != done) {
            const char* nl = static_cast<const char*>(std::memchr(buffer.data() + start, '\n', got - start));
            if (!nl)
                break;
            const std::size_t k = static_cast<std::size_t>(nl - buffer.data());
            if (pending.empty()) {
                may_hold_cr = chunk_has_cr;
                ok = process(buffer.data() + start, k - start);
                may_hold_cr = true;
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
    // Group by column (file order, so a column resumed after others has its
    // new entries behind its earlier ones), then each column by row, stable.
    std::vector<std::vector<LpEntry>> columns(column_count);
    {
        std::vector<int> count(column_count, 0);
        for (const Entry& e : entries)
            ++count[e.col];
        for (int j = 0; j < column_count; ++j)
            columns[j].reserve(count[j]);
        for (const Entry& e : entries)
            columns[e.col].push_back({e.row, e.value});
    }
    auto by_row = [](const LpEntry& a, const LpEntry& b) { return a.index < b.index; };
    for (auto& col : columns) {
        if (std::is_sorted(col.begin(), col.end(), by_row))
            continue;
        if (col.size() > 32) {  // columns are short; insertion sort unless one is long
            std::stable_sort(col.begin(), col.end(), by_row);
            continue;
        }
        for (std::size_t k = 1; k < col.size(); ++k) {
            const LpEntry e = col[k];
            std::size_t t = k;
            for (; t > 0 && col[t - 1].index > e.index; --t)
                col[t] = col[t - 1];
            col[t] = e;
        }
    }
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
