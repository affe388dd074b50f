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

// Names of at most 8 characters in open addressing with chains: a taken home
// slot sends a name to the next free slot, linked from its home chain.
class NameTable {
public:
    NameTable() : name_(slots), value_(slots, 0), next_(slots, -1), used_(slots, 0) {}

    static int hash(const std::string& s)
    {
        unsigned h = 0;
        for (unsigned char ch : s) {
            if (ch == ' ')
                break;
            h = ((h << 7) | ch) % modulus;
        }
        return static_cast<int>(h);
    }
    // The value stored for s, or false.
    bool find(const std::string& s, int& value) const
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
    bool insert(const std::string& s, int value)
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
    void store(int k, const std::string& s, int value)
    {
        used_[k] = 1;
        name_[k] = s;
        value_[k] = value;
    }
    std::vector<std::string> name_;
    std::vector<int> value_, next_;
    std::vector<char> used_;
};

// Field of a fixed-format line (1-based columns first..last), trailing blanks
// removed, at most 8 characters.
std::string field(const std::string& line, int first, int last)
{
    if (static_cast<int>(line.size()) < first)
        return {};
    std::string f = line.substr(first - 1, last - first + 1);
    while (!f.empty() && f.back() == ' ')
        f.pop_back();
    while (!f.empty() && f.front() == ' ')
        f.erase(f.begin());
    return f.substr(0, 8);
}

double number(const std::string& line, int first, int last)
{
    if (static_cast<int>(line.size()) < first)
        return 0;
    std::string f = line.substr(first - 1, last - first + 1);
    return std::strtod(f.c_str(), nullptr);
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
    std::vector<std::vector<LpEntry>> columns;
    std::vector<double> costs, lower, upper;
    std::vector<double> rlo, rhi;
    int nonzeros = 0, range_count = 0;
    Section section = none;
    std::string last_column;
    int current = -1;
    bool bounds_set = false;

    auto fail = [&]() {
        status = 9;
        return false;
    };
    auto row_entry = [&](const std::string& rname, double value) {
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
        columns[current].push_back({r, value});
        ++nonzeros;
        return true;
    };
    auto finish_columns = [&]() {
        if (!bounds_set) {
            lower.assign(columns.size(), 0.0);
            upper.assign(columns.size(), lp_inf);
            bounds_set = true;
        }
    };

    // One line: comments and blanks skipped, headers switch the section.
    auto process = [&](std::string line) -> bool {
        for (char& ch : line)
            if (ch == '\r')
                ch = ' ';
        std::size_t used = line.size();
        while (used > 0 && line[used - 1] == ' ')
            --used;
        if (static_cast<int>(used) > line_limit)
            return fail();
        if (line.empty() || line[0] == '*')
            return true;
        if (line[0] != ' ') {
            std::string t = line;
            while (!t.empty() && t.back() == ' ')
                t.pop_back();
            if (t.empty())
                return true;
            if (section == columns_section)
                finish_columns();
            if (t.compare(0, 4, "NAME") == 0)
                return true;
            if (t.compare(0, 4, "ROWS") == 0)
                section = rows_section;
            else if (t.compare(0, 6, "COLUMN") == 0)
                section = columns_section;
            else if (t.compare(0, 3, "RHS") == 0)
                section = rhs_section;
            else if (t.compare(0, 6, "BOUNDS") == 0)
                section = bounds_section;
            else if (t.compare(0, 6, "RANGES") == 0)
                section = ranges_section;
            else if (t.compare(0, 6, "ENDATA") == 0 || t.compare(0, 7, "ENDDATA") == 0)
                section = done;
            else
                return fail();
            return true;
        }
        std::string t = line;
        while (!t.empty() && t.back() == ' ')
            t.pop_back();
        if (t.empty())
            return true;
        const bool second = line.size() >= 40;
        switch (section) {
        case rows_section: {
            char type = line.size() > 1 ? line[1] : ' ';
            if (type == ' ' && line.size() > 2)
                type = line[2];
            type = static_cast<char>(std::toupper(static_cast<unsigned char>(type)));
            const std::string rname = field(line, 5, 12);
            if (type == 'N') {
                return row_table.insert(rname, -2) || fail();
            }
            if (type != 'E' && type != 'G' && type != 'L')
                return fail();
            if (static_cast<int>(kinds.size()) >= max_rows)
                return fail();
            if (!row_table.insert(rname, static_cast<int>(kinds.size())))
                return fail();
            kinds.push_back(type == 'E' ? 0 : type == 'G' ? -1 : 1);
            rhs_values.push_back(0);
            return true;
        }
        case columns_section: {
            const std::string cname = field(line, 5, 12);
            if (current < 0 || cname != last_column) {
                int j;
                if (!col_table.find(cname, j)) {
                    if (static_cast<int>(columns.size()) >= max_cols)
                        return fail();
                    j = static_cast<int>(columns.size());
                    if (!col_table.insert(cname, j))
                        return fail();
                    columns.emplace_back();
                    costs.push_back(0);
                    col_names_.push_back(cname);
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
                const std::string rname = pair ? field(line, 40, 47) : field(line, 15, 22);
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
            finish_columns();
            if (line.size() < 3)
                return fail();
            const std::string type = line.substr(1, 2);
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
        for (std::size_t k = 0; k < got && ok && section != done; ++k) {
            if (buffer[k] == '\n') {
                pending.append(buffer.data() + start, k - start);
                ok = process(pending);
                pending.clear();
                start = k + 1;
            }
        }
        if (ok && section != done) {
            pending.append(buffer.data() + start, got - start);
            std::size_t used = pending.size();
            while (used > 0 && (pending[used - 1] == ' ' || pending[used - 1] == '\r'))
                --used;
            if (static_cast<int>(used) > line_limit)
                ok = fail();
        }
    }
    if (ok && section != done && !pending.empty())
        ok = process(pending);
    if (!ok)
        return false;
    if (section != done)
        return fail();
    finish_columns();
    std::fclose(file_);
    file_ = nullptr;
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
