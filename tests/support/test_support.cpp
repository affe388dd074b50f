// Builders and comparisons shared by the tests.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

namespace test {

// A builder whose value was refused (under a returning error hook) gives
// back the empty value it got: there is nothing to fill.
Mm real(int rows, int cols, std::initializer_list<double> values)
{
    Mm x(0, 0, 0, rows, cols, qv_double);
    if (x.size() < static_cast<int>(values.size()))
        return x;
    double* p = x.getpr((double*)nullptr);
    int k = 0;
    for (double v : values)
        p[k++] = v;
    return x;
}

Mm row(std::initializer_list<double> values) { return real(1, static_cast<int>(values.size()), values); }

Mm complex(int rows, int cols, std::initializer_list<double> re, std::initializer_list<double> im)
{
    Mm x(1, 0, 0, rows, cols, qv_double);
    if (!x.isc() || x.size() < static_cast<int>(std::max(re.size(), im.size())))
        return x;
    double* p = x.getpr((double*)nullptr);
    double* q = x.getpi((double*)nullptr);
    int k = 0;
    for (double v : re)
        p[k++] = v;
    k = 0;
    for (double v : im)
        q[k++] = v;
    return x;
}

Mm bytes(int rows, int cols, std::initializer_list<unsigned> values)
{
    Mm x(0, 0, 0, rows, cols, qv_uint8);
    if (x.gettype() != qv_uint8 || x.size() < static_cast<int>(values.size()))
        return x;
    unsigned char* p = x.getpr((unsigned char*)nullptr);
    int k = 0;
    for (unsigned v : values)
        p[k++] = static_cast<unsigned char>(v);
    return x;
}

Mm text(const char* s) { return TM(s); }

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::int64_t ulps(double a, double b)
{
    if (a == b)
        return 0;
    if (std::isnan(a) || std::isnan(b))
        return INT64_MAX;
    // Map doubles onto a line of integers ordered like the values.
    auto key = [](double x) {
        std::int64_t i = std::bit_cast<std::int64_t>(x);
        return i < 0 ? INT64_MIN - i : i;
    };
    std::int64_t d = key(a) - key(b);
    return d < 0 ? -d : d;
}

double at(const Mm& x, int k) { return x.getpr((double*)nullptr)[k]; }

// Every value a test reads through these is checked for a header that
// disagrees with its storage, whichever function made it.
void expect_sound_header(const Mm& x)
{
    if (const char* fault = mm_access::header_fault(x))
        ADD_FAILURE() << "unsound value: " << fault;
}

Mm sparse_at(int rows, int cols, const std::vector<int>& at, const std::vector<double>& values)
{
    Mm s(0, 1, static_cast<int>(at.size()), rows, cols, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        s.getindex()[k] = at[k];
        s.addr()[k] = values[k];
    }
    return s;
}

std::vector<double> values(const Mm& x)
{
    expect_sound_header(x);
    const Mm f = full(x);
    return std::vector<double>(f.addr(), f.addr() + f.size());
}

std::vector<int> extents(const Mm& x)
{
    expect_sound_header(x);
    return std::vector<int>(x.getdims(), x.getdims() + x.getndims());
}

Mm counting(std::vector<int> dims)
{
    Mm x(0, 0, 0, static_cast<int>(dims.size()), dims.data(), qv_double);
    for (int k = 0; k < x.size(); ++k)
        x.addr()[k] = k + 1;
    return x;
}

Mm cell_of(int rows, int cols, std::vector<Mm> items)
{
    Mm c(0, 0, 0, rows, cols, qv_cell);
    if (c.gettype() != qv_cell || c.size() < static_cast<int>(items.size()))
        return c;  // refused under a returning error hook: nothing to fill
    for (std::size_t k = 0; k < items.size(); ++k)
        c.mr(static_cast<int>(k) + 1) = items[k];
    return c;
}

Mm cell_row(std::vector<Mm> items) { return cell_of(1, static_cast<int>(items.size()), items); }

std::string text_of(const Mm& x)
{
    std::string s(static_cast<std::size_t>(Mstr_size(x)), '\0');
    Mstr(x, s.data(), static_cast<int>(s.size()));
    s.resize(std::strlen(s.c_str()));
    return s;
}

std::vector<int> wrong_rounds_on_threads(int threads, int rounds, const std::function<bool(int thread, int k)>& round)
{
    qv_set_MT(1);
    std::vector<int> wrong(static_cast<std::size_t>(threads), 0);
    std::vector<std::thread> pool;
    for (int th = 0; th < threads; ++th)
        pool.emplace_back([th, rounds, &round, &wrong] {
            for (int k = 0; k < rounds; ++k)
                if (!round(th, k))
                    ++wrong[static_cast<std::size_t>(th)];
        });
    for (auto& t : pool)
        t.join();
    qv_set_MT(0);
    return wrong;
}

} // namespace test
