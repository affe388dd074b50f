// The functions and operators a user applies to the largest sparse values
// (a row and a column of 2^31 - 1 elements, a 46340 x 46340 square) with a
// few entries, the last position among them, each judged against a plain
// model of the stored entries: the right answer, or the message its size
// calls for ("full: matrix too large" where a full form of that size is
// needed, the sparse limit's where the result's extents pass it). Shared
// by the sweep in the array tests and by the address-space limit probe,
// which runs it under a real limit; it needs no test framework.
#pragma once

#include <velkor.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace sparse_sweep {

// A value by its extents and non-zero elements (0-based position -> value).
struct model {
    std::int64_t rows = 0, cols = 0;
    std::map<std::int64_t, double> at;
};

// What a step must give: an error text, or a value (sparse: 1 sparse, 0
// full, -1 either) equal to the model within ulps.
struct want {
    std::string error;
    model value;
    int sparse = 1;
    int ulps = 0;
};

inline want refused(const std::string& text) { return {text, {}, -1, 0}; }

// The full form of that many elements is refused as full() refuses it.
constexpr std::int64_t full_form_limit = 100000000;
inline const char* const too_large = "full: matrix too large";

inline std::string past_sparse_limit(std::int64_t rows, std::int64_t cols)
{
    return "sparse: " + std::to_string(rows) + "x" + std::to_string(cols) +
           " has more than 2147483647 elements, the most a sparse value holds";
}

inline model model_of(const Mm& x)
{
    model m{x.rows(), x.cols(), {}};
    if (x.issparse()) {
        for (int k = 0; k < x.getnnz(); ++k)
            if (x.addr()[k] != 0)
                m.at[x.getindex()[k]] = x.addr()[k];
        return m;
    }
    const Mm d = x.gettype() == qv_double ? x : mdouble(x);
    for (int k = 0; k < d.size(); ++k)
        if (d.addr()[k] != 0)
            m.at[k] = d.addr()[k];
    return m;
}

// ---- the model's rules ----

using line = std::vector<std::pair<std::int64_t, double>>;  // place on the line, value

// The lines along dim (1: columns, 2: rows) that store something, by line.
inline std::map<std::int64_t, line> lines_of(const model& m, int dim)
{
    std::map<std::int64_t, line> l;
    for (const auto& [p, v] : m.at) {
        const std::int64_t i = p % m.rows, j = p / m.rows;
        if (dim == 1)
            l[j].push_back({i, v});
        else
            l[i].push_back({j, v});
    }
    for (auto& [id, e] : l)
        std::sort(e.begin(), e.end());
    return l;
}

inline int default_dim(const model& m) { return m.rows != 1 ? 1 : 2; }

// One value per line: f(extent, entries) for the lines that store
// something, g(extent) for those that do not.
inline model reduced(const model& m, int dim, const std::function<double(std::int64_t, const line&)>& f,
                     double empty)
{
    const std::int64_t extent = dim == 1 ? m.rows : m.cols, count = dim == 1 ? m.cols : m.rows;
    model r{dim == 1 ? 1 : m.rows, dim == 1 ? m.cols : 1, {}};
    const auto l = lines_of(m, dim);
    if (empty != 0)
        for (std::int64_t c = 0; c < count; ++c)
            r.at[c] = empty;
    for (const auto& [id, e] : l) {
        const double v = f(extent, e);
        if (v != 0)
            r.at[id] = v;
        else
            r.at.erase(id);
    }
    return r;
}

inline double sum_of(const line& e)
{
    double s = 0;
    for (const auto& [p, v] : e)
        s += v;
    return s;
}

inline double extreme_of(std::int64_t extent, const line& e, bool largest)
{
    double x = e[0].second;
    for (const auto& [p, v] : e)
        x = largest ? std::max(x, v) : std::min(x, v);
    if (std::int64_t(e.size()) < extent)
        x = largest ? std::max(x, 0.0) : std::min(x, 0.0);
    return x;
}

// The 1-based place of the first extreme on a line, an unstored zero
// included.
inline double place_of_extreme(std::int64_t extent, const line& e, bool largest)
{
    const double x = extreme_of(extent, e, largest);
    if (x == 0) {
        std::int64_t free = 0;
        for (const auto& [p, v] : e)
            if (p == free)
                ++free;
        return double(free) + 1;
    }
    for (const auto& [p, v] : e)
        if (v == x)
            return double(p) + 1;
    return 0;
}

inline want extreme_places(const model& m, int dim, bool largest)
{
    const std::int64_t count = dim == 1 ? m.cols : m.rows, extent = dim == 1 ? m.rows : m.cols;
    if (count >= full_form_limit)
        return refused(too_large);
    model r{dim == 1 ? 1 : m.rows, dim == 1 ? m.cols : 1, {}};
    for (std::int64_t c = 0; c < count; ++c)
        r.at[c] = 1;
    for (const auto& [id, e] : lines_of(m, dim))
        r.at[id] = place_of_extreme(extent, e, largest);
    return {"", r, 0, 0};
}

// Running sums or products along dim: each line from its first stored
// place on (sums), or over its leading run of stored places (products).
inline want running(const model& m, int dim, bool product)
{
    model r{m.rows, m.cols, {}};
    const std::int64_t extent = dim == 1 ? m.rows : m.cols;
    std::int64_t count = 0;
    for (const auto& [id, e] : lines_of(m, dim)) {
        if (product) {
            double x = 1;
            for (std::int64_t k = 0; k < std::int64_t(e.size()) && e[k].first == k; ++k) {
                x *= e[k].second;
                r.at[dim == 1 ? k + id * m.rows : id + k * m.rows] = x;
            }
            continue;
        }
        count += extent - e[0].first;
        if (count >= full_form_limit)
            return refused(too_large);
        double x = 0;
        std::size_t next = 0;
        for (std::int64_t k = e[0].first; k < extent; ++k) {
            if (next < e.size() && e[next].first == k)
                x += e[next++].second;
            if (x != 0)
                r.at[dim == 1 ? k + id * m.rows : id + k * m.rows] = x;
        }
    }
    return {"", r, 1, 0};
}

// First differences along dim: x(k+1) - x(k) beside each entry.
inline model differenced(const model& m, int dim)
{
    model r{dim == 1 ? m.rows - 1 : m.rows, dim == 2 ? m.cols - 1 : m.cols, {}};
    if (r.rows == 0 || r.cols == 0)
        return {0, 0, {}};  // an empty sparse value is 0x0, as sparse() makes it
    auto at = [&m](std::int64_t i, std::int64_t j) {
        const auto f = m.at.find(i + j * m.rows);
        return f == m.at.end() ? 0.0 : f->second;
    };
    for (const auto& [p, v] : m.at) {
        const std::int64_t i = p % m.rows, j = p / m.rows;
        for (const std::int64_t back : {0, 1}) {
            const std::int64_t ri = dim == 1 ? i - back : i, rj = dim == 2 ? j - back : j;
            if (ri < 0 || rj < 0 || ri >= r.rows || rj >= r.cols)
                continue;
            const double d = dim == 1 ? at(ri + 1, rj) - at(ri, rj) : at(ri, rj + 1) - at(ri, rj);
            if (d != 0)
                r.at[ri + rj * r.rows] = d;
        }
    }
    return r;
}

inline model mapped(const model& m, const std::function<double(double)>& f)
{
    model r{m.rows, m.cols, {}};
    for (const auto& [p, v] : m.at)
        if (f(v) != 0)
            r.at[p] = f(v);
    return r;
}

inline model kept(const model& m, const std::function<bool(std::int64_t i, std::int64_t j, double v)>& keep)
{
    model r{m.rows, m.cols, {}};
    for (const auto& [p, v] : m.at)
        if (keep(p % m.rows, p / m.rows, v))
            r.at[p] = v;
    return r;
}

inline model transposed(const model& m)
{
    model r{m.cols, m.rows, {}};
    for (const auto& [p, v] : m.at)
        r.at[p / m.rows + (p % m.rows) * m.cols] = v;
    return r;
}

inline model reshaped(const model& m, std::int64_t rows, std::int64_t cols)
{
    model r = m;
    r.rows = rows;
    r.cols = cols;
    return r;
}

// a * b from the entries; past the sparse limit, its message.
inline want product(const model& a, const model& b)
{
    if (a.rows * b.cols > 2147483647)
        return refused(past_sparse_limit(a.rows, b.cols));
    model r{a.rows, b.cols, {}};
    std::map<std::int64_t, double> sums;
    for (const auto& [p, v] : a.at)
        for (const auto& [q, w] : b.at)
            if (p / a.rows == q % b.rows)
                sums[p % a.rows + (q / b.rows) * a.rows] += v * w;
    for (const auto& [p, v] : sums)
        if (v != 0)
            r.at[p] = v;
    return {"", r, 1, 0};
}

// find's outputs: a row for a row, else a column, of f(position).
inline want found(const model& m, const std::function<double(std::int64_t p, double v)>& f)
{
    const std::int64_t n = static_cast<std::int64_t>(m.at.size());
    model r{m.rows == 1 ? 1 : n, m.rows == 1 ? n : 1, {}};
    std::int64_t k = 0;
    for (const auto& [p, v] : m.at)
        r.at[k++] = f(p, v);
    return {"", r, 0, 0};
}

inline want scalar(double x) { return {"", {1, 1, x != 0 ? std::map<std::int64_t, double>{{0, x}} : std::map<std::int64_t, double>{}}, -1, 0}; }

inline double line_norm(const model& m, bool by_columns)
{
    std::map<std::int64_t, double> sums;
    for (const auto& [p, v] : m.at)
        sums[by_columns ? p / m.rows : p % m.rows] += std::fabs(v);
    double best = 0;
    for (const auto& [id, s] : sums)
        best = std::max(best, s);
    return best;
}

// Rows a..b and columns c..d (1-based) of m.
inline model window(const model& m, std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d)
{
    model r{b - a + 1, d - c + 1, {}};
    for (const auto& [p, v] : m.at) {
        const std::int64_t i = p % m.rows + 1, j = p / m.rows + 1;
        if (i >= a && i <= b && j >= c && j <= d)
            r.at[(i - a) + (j - c) * r.rows] = v;
    }
    return r;
}

inline bool is_vector(const model& m) { return m.rows == 1 || m.cols == 1; }

// ---- the values ----

struct shape {
    const char* what;
    int rows, cols;
    std::vector<int> at;  // 0-based positions, ascending, the last one among them
    std::vector<double> values;
};

inline std::vector<shape> shapes()
{
    constexpr int longest = 2147483647, n = 46340, last = n * n - 1;
    // Values whose sums and products are exact in any order.
    const std::vector<double> v = {2, -3, 0.5, 4, -0.25, 7};
    return {
        {"1 x 2^31-1", 1, longest, {0, 5, 1000, 2000000, longest - 2, longest - 1}, v},
        {"2^31-1 x 1", longest, 1, {0, 5, 1000, 2000000, longest - 2, longest - 1}, v},
        {"46340 x 46340", n, n, {0, 5, n + 1, 3 * n + 7, last - n, last}, v},
    };
}

inline Mm value_of(const shape& s)
{
    Mm x(0, 1, static_cast<int>(s.at.size()), s.rows, s.cols, qv_double);
    for (std::size_t k = 0; k < s.at.size(); ++k) {
        x.getindex()[k] = s.at[k];
        x.addr()[k] = s.values[k];
    }
    return x;
}

// spfun's function: twice its argument.
inline Mm twice_through_feval(Mm, Mm args, i_o_t, Mm& o1, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    o1 = Mm(args.br(Mm(1.0))) * Mm(2.0);
    return x_M;
}

inline Mm row_of(const std::vector<double>& v)
{
    Mm r(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

// ---- the steps ----

struct step {
    std::string what;
    std::function<Mm(const Mm& s)> call;
    std::function<want(const model& m)> expect;
};

inline std::vector<step> steps()
{
    std::vector<step> list;
    auto add = [&list](std::string what, std::function<Mm(const Mm&)> call, std::function<want(const model&)> expect) {
        list.push_back({std::move(what), std::move(call), std::move(expect)});
    };
    auto value = [](model m) { return want{"", std::move(m), 1, 0}; };
    // Reductions with no dimension and along each one.
    struct reduction {
        const char* name;
        std::function<Mm(const Mm&)> plain;
        std::function<Mm(const Mm&, const Mm&)> along;
        std::function<double(std::int64_t, const line&)> rule;
        int ulps;
    };
    const std::vector<reduction> reductions = {
        {"sum", [](const Mm& s) { return sum(s); }, [](const Mm& s, const Mm& d) { return sum(s, d); },
         [](std::int64_t, const line& e) { return sum_of(e); }, 0},
        {"prod", [](const Mm& s) { return prod(s); }, [](const Mm& s, const Mm& d) { return prod(s, d); },
         [](std::int64_t extent, const line& e) {
             double x = 1;
             for (const auto& [p, v] : e)
                 x *= v;
             return std::int64_t(e.size()) < extent ? 0.0 : x;
         },
         0},
        {"max", [](const Mm& s) { return max(s); }, [](const Mm& s, const Mm& d) { return max(s, Mm(), d); },
         [](std::int64_t extent, const line& e) { return extreme_of(extent, e, true); }, 0},
        {"min", [](const Mm& s) { return min(s); }, [](const Mm& s, const Mm& d) { return min(s, Mm(), d); },
         [](std::int64_t extent, const line& e) { return extreme_of(extent, e, false); }, 0},
        {"any", [](const Mm& s) { return any(s); }, [](const Mm& s, const Mm& d) { return any(s, d); },
         [](std::int64_t, const line& e) { return e.empty() ? 0.0 : 1.0; }, 0},
        {"all", [](const Mm& s) { return ::all(s); }, [](const Mm& s, const Mm& d) { return ::all(s, d); },
         [](std::int64_t extent, const line& e) { return std::int64_t(e.size()) == extent ? 1.0 : 0.0; }, 0},
        {"mean", [](const Mm& s) { return mean(s); }, [](const Mm& s, const Mm& d) { return mean(s, d); },
         [](std::int64_t extent, const line& e) { return sum_of(e) / double(extent); }, 2},
    };
    for (const reduction& r : reductions) {
        add(std::string(r.name) + "(S)", r.plain, [r](const model& m) {
            return want{"", reduced(m, default_dim(m), r.rule, 0), 1, r.ulps};
        });
        for (int d : {1, 2})
            add(std::string(r.name) + "(S, " + std::to_string(d) + ")",
                [r, d](const Mm& s) { return r.along(s, Mm(double(d))); },
                [r, d](const model& m) { return want{"", reduced(m, d, r.rule, 0), 1, r.ulps}; });
    }
    for (const bool largest : {true, false})
        for (int d : {0, 1, 2}) {
            const std::string name = std::string("[m, k] = ") + (largest ? "max" : "min") + "(S" +
                                     (d ? ", [], " + std::to_string(d) : "") + "), k";
            add(
                name,
                [largest, d](const Mm& s) {
                    Mm m, k;
                    if (d == 0)
                        largest ? max(s, i_o, m, k) : min(s, i_o, m, k);
                    else
                        largest ? max(s, Mm(), Mm(double(d)), i_o, m, k) : min(s, Mm(), Mm(double(d)), i_o, m, k);
                    return k;
                },
                [largest, d](const model& m) { return extreme_places(m, d ? d : default_dim(m), largest); });
        }
    for (const bool product : {false, true})
        for (int d : {0, 1, 2})
            add(std::string(product ? "cumprod" : "cumsum") + "(S" + (d ? ", " + std::to_string(d) : "") + ")",
                [product, d](const Mm& s) {
                    return d == 0 ? (product ? cumprod(s) : cumsum(s))
                                  : (product ? cumprod(s, Mm(double(d))) : cumsum(s, Mm(double(d))));
                },
                [product, d](const model& m) { return running(m, d ? d : default_dim(m), product); });
    add("diff(S)", [](const Mm& s) { return diff(s); },
        [value](const model& m) { return value(differenced(m, default_dim(m))); });
    for (int d : {1, 2})
        add("diff(S, 1, " + std::to_string(d) + ")", [d](const Mm& s) { return diff(s, one_M, Mm(double(d))); },
            [value, d](const model& m) { return value(differenced(m, d)); });
    add("diff(S, 2)", [](const Mm& s) { return diff(s, Mm(2.0)); },
        [value](const model& m) { return value(differenced(differenced(m, default_dim(m)), default_dim(m))); });
    add("nnz(S)", [](const Mm& s) { return nnz(s); }, [](const model& m) { return scalar(double(m.at.size())); });
    add("find(S)", [](const Mm& s) { return find(s); },
        [](const model& m) { return found(m, [](std::int64_t p, double) { return double(p) + 1; }); });
    add("[i, j] = find(S), i", [](const Mm& s) { Mm i, j; find(s, i_o, i, j); return i; },
        [](const model& m) { return found(m, [&m](std::int64_t p, double) { return double(p % m.rows) + 1; }); });
    add("[i, j] = find(S), j", [](const Mm& s) { Mm i, j; find(s, i_o, i, j); return j; },
        [](const model& m) { return found(m, [&m](std::int64_t p, double) { return double(p / m.rows) + 1; }); });
    add("[i, j, v] = find(S), v", [](const Mm& s) { Mm i, j, v; find(s, i_o, i, j, v); return v; },
        [](const model& m) { return found(m, [](std::int64_t, double v) { return v; }); });
    add("nonzeros(S)", [](const Mm& s) { return nonzeros(s); }, [](const model& m) {
        want w = found(m, [](std::int64_t, double v) { return v; });
        w.value = reshaped(w.value, std::int64_t(m.at.size()), 1);
        return w;
    });
    add("size(S)", [](const Mm& s) { return size(s); },
        [](const model& m) { return want{"", {1, 2, {{0, double(m.rows)}, {1, double(m.cols)}}}, 0, 0}; });

    // Shapes.
    add("S.'", [](const Mm& s) { return transpose(s); }, [value](const model& m) { return value(transposed(m)); });
    add("S'", [](const Mm& s) { return ctranspose(s); }, [value](const model& m) { return value(transposed(m)); });
    add("reshape(S, numel, 1)", [](const Mm& s) { return reshape(s, Mm(double(s.rows()) * s.cols()), one_M); },
        [value](const model& m) { return value(reshaped(m, m.rows * m.cols, 1)); });
    add("reshape(S, 1, numel)", [](const Mm& s) { return reshape(s, one_M, Mm(double(s.rows()) * s.cols())); },
        [value](const model& m) { return value(reshaped(m, 1, m.rows * m.cols)); });
    add("reshape(S, cols, rows)", [](const Mm& s) { return reshape(s, Mm(double(s.cols())), Mm(double(s.rows()))); },
        [value](const model& m) { return value(reshaped(m, m.cols, m.rows)); });
    add("repmat(S, 1, 1)", [](const Mm& s) { return repmat(s, one_M, one_M); },
        [value](const model& m) { return value(m); });
    add("repmat(S, 2, 1)", [](const Mm& s) { return repmat(s, Mm(2.0), one_M); },
        [](const model&) { return refused(too_large); });  // made from the full form
    add("tril(S)", [](const Mm& s) { return tril(s); },
        [value](const model& m) { return value(kept(m, [](std::int64_t i, std::int64_t j, double) { return j <= i; })); });
    add("triu(S)", [](const Mm& s) { return triu(s); },
        [value](const model& m) { return value(kept(m, [](std::int64_t i, std::int64_t j, double) { return j >= i; })); });
    add("tril(S, -1)", [](const Mm& s) { return tril(s, Mm(-1.0)); }, [value](const model& m) {
        return value(kept(m, [](std::int64_t i, std::int64_t j, double) { return j - i <= -1; }));
    });
    add("triu(S, 1)", [](const Mm& s) { return triu(s, one_M); }, [value](const model& m) {
        return value(kept(m, [](std::int64_t i, std::int64_t j, double) { return j - i >= 1; }));
    });
    add("triu(S, 2^31 - 2)", [](const Mm& s) { return triu(s, Mm(2147483646.0)); }, [value](const model& m) {
        return value(kept(m, [](std::int64_t i, std::int64_t j, double) { return j - i >= 2147483646; }));
    });

    // Element-wise, with scalars and with a value of the same shape.
    auto same = [](double v) { return v; };
    struct elementwise {
        const char* name;
        std::function<Mm(const Mm&)> call;
        std::function<double(double)> rule;  // on the stored values; empty: it fills every element
    };
    const std::vector<elementwise> codes = {
        {"S + 0", [](const Mm& s) { return s + zero_M; }, {}},
        {"0 + S", [](const Mm& s) { return zero_M + s; }, {}},
        {"S - 0", [](const Mm& s) { return s - zero_M; }, {}},
        {"S .* 2", [](const Mm& s) { return times(s, Mm(2.0)); }, [](double v) { return v * 2; }},
        {"2 * S", [](const Mm& s) { return Mm(2.0) * s; }, [](double v) { return 2 * v; }},
        {"S / 2", [](const Mm& s) { return s / Mm(2.0); }, [](double v) { return v / 2; }},
        {"S == 0", [](const Mm& s) { return s == zero_M; }, {}},
        {"S ~= 0", [](const Mm& s) { return s != zero_M; }, [](double) { return 1.0; }},
        {"S > 0", [](const Mm& s) { return s > zero_M; }, [](double v) { return v > 0 ? 1.0 : 0.0; }},
        {"S < 0", [](const Mm& s) { return s < zero_M; }, [](double v) { return v < 0 ? 1.0 : 0.0; }},
        {"~S", [](const Mm& s) { return !s; }, {}},
        {"-S", [](const Mm& s) { return -s; }, [](double v) { return -v; }},
        {"abs(S)", [](const Mm& s) { return abs(s); }, [](double v) { return std::fabs(v); }},
        {"S .^ 2", [](const Mm& s) { return power(s, Mm(2.0)); }, [](double v) { return v * v; }},
        {"S ./ S", [](const Mm& s) { return rdivide(s, s); }, {}},
        {"S + S", [](const Mm& s) { return s + s; }, [](double v) { return v + v; }},
        {"S - S", [](const Mm& s) { return s - s; }, [](double) { return 0.0; }},
        {"S .* S", [](const Mm& s) { return times(s, s); }, [](double v) { return v * v; }},
        {"S == S", [](const Mm& s) { return s == s; }, {}},
        {"S & S", [](const Mm& s) { return mand(s, s); }, [](double) { return 1.0; }},
        {"S | S", [](const Mm& s) { return mor(s, s); }, [](double) { return 1.0; }},
        {"xor(S, S)", [](const Mm& s) { return mxor(s, s); }, [](double) { return 0.0; }},
        {"spones(S)", [](const Mm& s) { return spones(s); }, [](double) { return 1.0; }},
        {"spfun(twice, S)",
         [](const Mm& s) {
             const feval_func_t before = feval_func;
             feval_func = twice_through_feval;
             struct restore {
                 feval_func_t f;
                 ~restore() { feval_func = f; }
             } back{before};
             return spfun(TM("twice"), s);
         },
         [](double v) { return 2 * v; }},
        {"kron(S, sparse(2))", [](const Mm& s) { return kron(s, sparse(Mm(2.0))); }, [](double v) { return v * 2; }},
        {"kron(sparse(2), S)", [](const Mm& s) { return kron(sparse(Mm(2.0)), s); }, [](double v) { return 2 * v; }},
    };
    for (const elementwise& c : codes)
        add(c.name, c.call, [c, value](const model& m) {
            return c.rule ? value(mapped(m, c.rule)) : refused(too_large);
        });
    (void)same;
    add("kron(S, sparse([1 1]))", [](const Mm& s) { return kron(s, sparse(row_of({1, 1}))); },
        [](const model& m) { return refused(past_sparse_limit(m.rows, 2 * m.cols)); });

    // Products.
    add("S * S'", [](const Mm& s) { return s * ctranspose(s); },
        [](const model& m) { return product(m, transposed(m)); });
    add("S' * S", [](const Mm& s) { return ctranspose(s) * s; },
        [](const model& m) { return product(transposed(m), m); });

    // Construction from positions at the limit.
    add("sparse(i, j, v, m, n) from find(S)",
        [](const Mm& s) {
            Mm i, j, v;
            find(s, i_o, i, j, v);
            return sparse(i, j, v, Mm(double(s.rows())), Mm(double(s.cols())));
        },
        [value](const model& m) { return value(m); });
    add("sparse(i, j, v) from find(S)",
        [](const Mm& s) {
            Mm i, j, v;
            find(s, i_o, i, j, v);
            return sparse(i, j, v);
        },
        [value](const model& m) { return value(m); });
    add("sparse(i, j, v, m + 1, n) from find(S)",
        [](const Mm& s) {
            Mm i, j, v;
            find(s, i_o, i, j, v);
            return sparse(i, j, v, Mm(s.rows() + 1.0), Mm(double(s.cols())));
        },
        [](const model& m) {
            if ((m.rows + 1) * m.cols > 2147483647)
                return refused(past_sparse_limit(m.rows + 1, m.cols));
            model r{m.rows + 1, m.cols, {}};
            for (const auto& [p, v] : m.at)
                r.at[p % m.rows + (p / m.rows) * (m.rows + 1)] = v;
            return want{"", r, 1, 0};
        });

    add("sparse(rows, cols, 5)", [](const Mm& s) { return sparse(Mm(double(s.rows())), Mm(double(s.cols())), Mm(5.0)); },
        [](const model& m) { return want{"", {m.rows, m.cols, {{m.rows * m.cols - 1, 5.0}}}, 1, 0}; });
    add("sparse(rows + 1, cols, 5)",
        [](const Mm& s) { return sparse(Mm(s.rows() + 1.0), Mm(double(s.cols())), Mm(5.0)); },
        [](const model& m) {
            if ((m.rows + 1) * m.cols > 2147483647)
                return refused(past_sparse_limit(m.rows + 1, m.cols));
            return want{"", {m.rows + 1, m.cols, {{(m.rows + 1) * m.cols - 1, 5.0}}}, 1, 0};
        });

    // Reads and writes through a sparse mask.
    add("S(S > 0)", [](const Mm& s) { return Mm(s(s > zero_M)); }, [](const model& m) {
        model r;
        for (const auto& [p, v] : m.at)
            if (v > 0)
                r.at[std::int64_t(r.at.size())] = v;
        const std::int64_t n = std::int64_t(r.at.size());
        r.rows = m.rows == 1 ? 1 : n;
        r.cols = m.rows == 1 ? n : 1;
        return want{"", r, 1, 0};
    });
    add("S(S < 0) = 0",
        [](const Mm& s) {
            Mm t(s, "T");
            t(t < zero_M) = zero_M;
            return t;
        },
        [value](const model& m) { return value(kept(m, [](std::int64_t, std::int64_t, double v) { return v >= 0; })); });
    // Rows and columns by two indices, a colon, end and ranges.
    add("S(1, :)", [](const Mm& s) { return Mm(s(one_M, c_p)); },
        [value](const model& m) { return value(window(m, 1, 1, 1, m.cols)); });
    add("S(end, :)", [](const Mm& s) { return Mm(s(Mm(double(s.rows())), c_p)); },
        [value](const model& m) { return value(window(m, m.rows, m.rows, 1, m.cols)); });
    add("S(:, 1)", [](const Mm& s) { return Mm(s(c_p, one_M)); },
        [value](const model& m) { return value(window(m, 1, m.rows, 1, 1)); });
    add("S(:, end)", [](const Mm& s) { return Mm(s(c_p, Mm(double(s.cols())))); },
        [value](const model& m) { return value(window(m, 1, m.rows, m.cols, m.cols)); });
    add("S(:, max(1, end-99):end)",
        [](const Mm& s) { return Mm(s(c_p, colon(Mm(std::max(1.0, s.cols() - 99.0)), Mm(double(s.cols()))))); },
        [value](const model& m) { return value(window(m, 1, m.rows, std::max<std::int64_t>(1, m.cols - 99), m.cols)); });
    // 1:end of a line of 2^31 - 1 elements is a value of as many doubles,
    // more than a full value holds: it is refused as it is made, before
    // the read (S(1, :) is the whole line). The square's 1:end is read as
    // the run it stands for.
    add("S(1, 1:end)", [](const Mm& s) { return Mm(s(one_M, colon(one_M, Mm(double(s.cols()))))); },
        [value](const model& m) {
            return m.cols == 2147483647 ? refused("Out of memory!") : value(window(m, 1, 1, 1, m.cols));
        });
    add("S(1:end, end)", [](const Mm& s) { return Mm(s(colon(one_M, Mm(double(s.rows()))), Mm(double(s.cols())))); },
        [value](const model& m) {
            return m.rows == 2147483647 ? refused("Out of memory!") : value(window(m, 1, m.rows, m.cols, m.cols));
        });
    // A range of 2.5e8 places: read and assigned as the run it stands for.
    add("S(1:2.5e8)", [](const Mm& s) { return Mm(s(colon(Mm(1.0), Mm(2.5e8)))); }, [](const model& m) {
        // A column's read is a column, a row's and a matrix's a row.
        model r{m.cols == 1 ? 250000000 : 1, m.cols == 1 ? 1 : 250000000, {}};
        for (const auto& [p, v] : m.at)
            if (p < 250000000)
                r.at[p] = v;
        return want{"", r, 1, 0};
    });
    add("S(1:2.5e8) = 0",
        [](const Mm& s) {
            Mm t(s, "T");
            t(colon(Mm(1.0), Mm(2.5e8))) = zero_M;
            return t;
        },
        [value](const model& m) {
            return value(kept(m, [&m](std::int64_t i, std::int64_t j, double) { return i + j * m.rows >= 250000000; }));
        });

    // Norms and comparisons.
    add("norm(S, 1)", [](const Mm& s) { return norm(s, one_M); }, [](const model& m) {
        return scalar(is_vector(m) ? line_norm(reshaped(m, 1, m.rows * m.cols), false) : line_norm(m, true));
    });
    add("norm(S, Inf)", [](const Mm& s) { return norm(s, Mm(INFINITY)); }, [](const model& m) {
        double big = 0;
        for (const auto& [p, v] : m.at)
            big = std::max(big, std::fabs(v));
        return scalar(is_vector(m) ? big : line_norm(m, false));
    });
    add("norm(S, -Inf)", [](const Mm& s) { return norm(s, Mm(-INFINITY)); }, [](const model& m) {
        return is_vector(m) ? scalar(0) : refused("norm: x matrix, P not 1, 2, inf or fro");
    });
    add("norm(S, 'fro')", [](const Mm& s) { return norm(s, TM("fro")); }, [](const model& m) {
        double s = 0;
        for (const auto& [p, v] : m.at)
            s += v * v;
        want w = scalar(std::sqrt(s));
        w.ulps = 2;
        return w;
    });
    add("norm(S)", [](const Mm& s) { return norm(s); }, [](const model& m) {
        double s = 0;
        for (const auto& [p, v] : m.at)
            s += v * v;
        want w = is_vector(m) ? scalar(std::sqrt(s)) : refused(too_large);  // a matrix's needs its SVD
        w.ulps = 2;
        return w;
    });
    add("isequal(S, S)", [](const Mm& s) { return Mm(double(isequal(s, s))); }, [](const model&) { return scalar(1); });
    add("isequal(S, S.')", [](const Mm& s) { return Mm(double(isequal(s, transpose(s)))); },
        [](const model&) { return scalar(0); });
    add("isequal(S, S with its last entry changed)",
        [](const Mm& s) {
            Mm t(s, "T");
            t.deepcopy(t, qv_none);
            t.addr()[t.getnnz() - 1] += 1;
            return Mm(double(isequal(s, t)));
        },
        [](const model&) { return scalar(0); });
    return list;
}

// ---- judging ----

inline bool close(double a, double b, int ulps)
{
    if (a == b)
        return true;
    return std::fabs(a - b) <= ulps * std::numeric_limits<double>::epsilon() * std::fabs(b);
}

// What was wrong with got (or got_error) against w; "" when nothing.
inline std::string judge(const Mm& got, const std::string& got_error, const want& w)
{
    if (!w.error.empty() || !got_error.empty())
        return got_error == w.error ? "" : "gave \"" + got_error + "\", wanted \"" + w.error + "\"";
    if (w.sparse >= 0 && got.issparse() != (w.sparse == 1))
        return got.issparse() ? "sparse, wanted full" : "full, wanted sparse";
    const model m = model_of(got);
    if (m.rows != w.value.rows || m.cols != w.value.cols)
        return std::to_string(m.rows) + "x" + std::to_string(m.cols) + ", wanted " + std::to_string(w.value.rows) +
               "x" + std::to_string(w.value.cols);
    if (m.at.size() != w.value.at.size())
        return std::to_string(m.at.size()) + " non-zeros, wanted " + std::to_string(w.value.at.size());
    for (auto g = m.at.begin(), e = w.value.at.begin(); g != m.at.end(); ++g, ++e)
        if (g->first != e->first || !close(g->second, e->second, w.ulps))
            return "at " + std::to_string(g->first) + ": " + std::to_string(g->second) + ", wanted " +
                   std::to_string(e->second) + " at " + std::to_string(e->first);
    return "";
}

// Every step on every shape, on a value of its own: one line per fault.
inline std::vector<std::string> run()
{
    std::vector<std::string> faults;
    for (const shape& sh : shapes()) {
        const Mm s = value_of(sh);
        const model m = model_of(s);
        for (const step& st : steps()) {
            Mm got;
            std::string got_error;
            try {
                got = st.call(s);
            } catch (const char* text) {
                got_error = text;
            }
            const std::string fault = judge(got, got_error, st.expect(m));
            if (!fault.empty())
                faults.push_back(std::string(sh.what) + ": " + st.what + ": " + fault);
            // The operand is as it was.
            if (model_of(s).at != m.at || s.rows() != sh.rows || s.cols() != sh.cols)
                faults.push_back(std::string(sh.what) + ": " + st.what + ": changed its operand");
        }
    }
    return faults;
}

} // namespace sparse_sweep
