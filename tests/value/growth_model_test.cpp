// Random sequences of the statements programs use to build a matrix
// (appends, element and two-index writes with growth, whole and fractional
// indices, deletion, transposes, bracket appends, copies changed on their
// own, x(:)), run on a value and on a plain model of rows, columns and
// elements side by side; after every statement the value's header is sound
// and every reader agrees with the model, whether the value shared its
// block or not.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Model {
    int r = 0, c = 0;
    std::vector<double> v;
};

// Why x and the model differ, or "" when they agree.
std::string difference(const Mm& x, const Model& m)
{
    if (const char* fault = mm_access::header_fault(x))
        return fault;
    if (m.r * m.c == 0)
        return x.size() == 0 && isempty(x) ? "" : "not empty";
    if (x.rows() != m.r || x.cols() != m.c || x.getndims() != 2)
        return "extents";
    if (length(x) != std::max(m.r, m.c) || isempty(x))
        return "length or isempty";
    const Mm f = full(x);
    double total = 0;
    for (int k = 0; k < m.r * m.c; ++k) {
        if (f.addr()[k] != m.v[k])
            return "element " + std::to_string(k + 1);
        total += m.v[k];
    }
    return sum(sum(x)).addr()[0] == total ? "" : "sum";
}

void transpose_model(Model& m)
{
    std::vector<double> t(m.v.size());
    for (int j = 0; j < m.c; ++j)
        for (int i = 0; i < m.r; ++i)
            t[j + i * m.c] = m.v[i + j * m.r];
    std::swap(m.r, m.c);
    m.v = t;
}

// x(i, j) = value: the extents grow to the rounded indices, the element
// written is the one the truncated indices name.
void grow_model(Model& m, int extent_i, int extent_j, int at_i, int at_j, double value)
{
    const int R = std::max(m.r, extent_i), C = std::max(m.c, extent_j);
    std::vector<double> g(std::size_t(R) * C, 0.0);
    for (int cc = 0; cc < m.c; ++cc)
        for (int rr = 0; rr < m.r; ++rr)
            g[rr + cc * R] = m.v[rr + cc * m.r];
    g[at_i + at_j * R] = value;
    m.r = R;
    m.c = C;
    m.v = g;
}

void grow_model(Model& m, int i, int j, double value) { grow_model(m, i, j, i - 1, j - 1, value); }

// x(v) = value with one index: a target of several rows grows to a column,
// any other to a row, its elements kept in order.
void write_model(Model& m, double v, double value)
{
    const int extent = static_cast<int>(std::round(v)), at = static_cast<int>(std::trunc(v - 1));
    const int n = m.r * m.c;
    if (extent > n) {
        if (m.r > 1) {
            m.r = extent;
            m.c = 1;
        } else {
            m.r = 1;
            m.c = extent;
        }
        m.v.resize(std::size_t(extent), 0.0);
    }
    m.v[std::size_t(at)] = value;
}

// The fractions an index is given: whole, below and above one half, one
// half (rounded away from zero) and a step back.
const double fractions[] = {0, 0.3, 0.5, 0.7, -0.4};

// Every statement runs twice: on a value whose block is its own (with the
// spare room growth in place uses) and on one that shares its block with a
// copy. Both must agree with the model, and the copy must keep what it had.
TEST(GrowthModel, StatementSequencesAgreeWithAPlainModel)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int trial = 0; trial < 300; ++trial) {
            Mm own, shared;
            Model m;
            switch (rng() % 3) {
            case 1:
                own = zeros(0.0, 0.0);
                shared = zeros(0.0, 0.0);
                break;
            case 2:
                own = colon(1.0, 100.0);  // long enough to be deferred
                shared = colon(1.0, 100.0);
                m.r = 1;
                m.c = 100;
                for (int k = 1; k <= 100; ++k)
                    m.v.push_back(k);
                break;
            default:
                break;
            }
            for (int step = 0; step < 30; ++step) {
                const double value = double(rng() % 100);
                const int n = m.r * m.c;
                const bool vector = m.r <= 1 || m.c <= 1;
                const Model before = m;
                std::string what;
                std::function<void(Mm&)> statement;
                switch (rng() % 10) {
                case 0:
                    if (!vector)
                        continue;
                    what = "x(end+1) = v";
                    statement = [&](Mm& x) { x(Mm(n + 1.0)) = Mm(value); };
                    if (n == 0)
                        m.r = m.c = 1;
                    else if (m.r > 1)
                        ++m.r;
                    else
                        ++m.c;
                    m.v.push_back(value);
                    break;
                case 1: {
                    if (n == 0)
                        continue;
                    what = "x(k) = v";
                    const int k = int(rng() % n);
                    statement = [&, k](Mm& x) { x(Mm(k + 1.0)) = Mm(value); };
                    m.v[k] = value;
                    break;
                }
                case 2: {
                    what = "x(i, j) = v";
                    const int i = int(rng() % (m.r + 2)) + 1, j = int(rng() % (m.c + 2)) + 1;
                    statement = [&, i, j](Mm& x) { x(Mm(double(i)), Mm(double(j))) = Mm(value); };
                    grow_model(m, i, j, value);
                    break;
                }
                case 3: {
                    if (n == 0 || !vector)
                        continue;
                    what = "x(k) = []";
                    const int k = int(rng() % n);
                    statement = [k](Mm& x) { x(Mm(k + 1.0)) = x_M; };
                    m.v.erase(m.v.begin() + k);
                    if (m.r == 1)
                        --m.c;
                    else
                        --m.r;
                    if (m.v.empty())
                        m.r = m.c = 0;
                    break;
                }
                case 4:
                    what = "x = x.'";
                    statement = [](Mm& x) { x = transpose(x); };
                    transpose_model(m);
                    break;
                case 5:
                    if (m.r > 1 && n > 0)
                        continue;
                    what = "x = [x, v]";
                    statement = [&](Mm& x) { x = (BR(x), value); };
                    if (n == 0)
                        m.r = 1, m.c = 0;
                    ++m.c;
                    m.v.push_back(value);
                    break;
                case 6:
                    what = "a copy changed and grown";
                    statement = [](Mm& x) {
                        Mm y = x;
                        if (y.size() > 0)
                            y(Mm(1.0)) = Mm(-1.0);
                        y(Mm(y.size() + 1.0)) = Mm(7.0);
                    };
                    break;
                case 7: {
                    // One index with a fraction, at the end above all: the
                    // growth rounds, the write truncates.
                    const double v = double(rng() % (n + 2) + 1) + fractions[rng() % 5];
                    what = "x(" + std::to_string(v) + ") = v";
                    statement = [&, v](Mm& x) { x(Mm(v)) = Mm(value); };
                    write_model(m, v, value);
                    break;
                }
                case 8: {
                    const double i = double(rng() % (m.r + 2) + 1) + fractions[rng() % 5];
                    const double j = double(rng() % (m.c + 2) + 1) + fractions[rng() % 5];
                    what = "x(" + std::to_string(i) + ", " + std::to_string(j) + ") = v";
                    statement = [&, i, j](Mm& x) { x(Mm(i), Mm(j)) = Mm(value); };
                    grow_model(m, int(std::round(i)), int(std::round(j)), int(std::trunc(i - 1)),
                               int(std::trunc(j - 1)), value);
                    break;
                }
                default:
                    if (n == 0)
                        continue;
                    what = "x = x(:)";
                    statement = [](Mm& x) { x = Mm(x(c_p)); };
                    m.r = n;
                    m.c = 1;
                    break;
                }
                const std::string where =
                    "seed " + std::to_string(seed) + ", trial " + std::to_string(trial) + ", step " +
                    std::to_string(step) + ": " + what;
                ASSERT_EQ(own.dirty(), 0) << where << ": the unshared value is shared";
                Mm copy = shared;
                statement(own);
                statement(shared);
                ASSERT_EQ(difference(own, m), "") << where << ", unshared";
                ASSERT_EQ(difference(shared, m), "") << where << ", shared";
                ASSERT_EQ(difference(copy, before), "") << where << ": the copy changed";
            }
        }
    }
}

} // namespace
