// The integer and rational functions on doubles: permutations and
// combinations, prime factors and primality, gcd with Bezout coefficients,
// lcm and rational approximation by continued fractions.
#include "engine/big_whole.hpp"
#include "engine/scalar_real.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <numeric>
#include <vector>

namespace {

bool numeric_argument(const Mm& x, const char* f)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    return !error_numeric(x, f);
}

// The first element of a scalar argument as a number; an empty or
// non-numeric one raises the element-access error.
double first_number(const Mm& x)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return NAN;
    }
    if (x.gettype() != qv_cell && x.size() > 0)
        return number_at(x, 0);
    return x.r(1.0);
}

// The real parts of a numeric value as a full double value of its shape.
Mm real_doubles(const Mm& x)
{
    Mm f = full(x);
    if (f.gettype() == qv_uint8)
        f = mdouble(f);
    return real(f);
}

Mm row_of(const std::vector<double>& v)
{
    if (v.empty())
        return Mm();
    Mm r(0, 0, 0, 1, int(v.size()), qv_double);
    if (r.size() != int(v.size()))
        return x_M;  // "Out of memory!" went to a hook that returned
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

// An index matrix of rows x cols, or "Out of memory!" when its element
// count leaves the range of a value.
bool index_matrix(double rows, int cols, Mm& out)
{
    if (!(rows * cols <= double(INT_MAX - 8))) {
        error("Out of memory!");
        return false;
    }
    out = Mm(0, 0, 0, int(rows), cols, qv_double);
    return out.rows() == int(rows);
}

// C(n, k) for a whole n >= k >= 1, taken over m = min(k, n - k) factors:
// x = x (n - m + i) / i is C(n - m + i, i) at every step, a whole number
// that grows with i. In 128 bits while that holds it, then in whole
// numbers of any size; the result is the exact coefficient rounded once,
// Inf past the largest double (the factors are all >= 1, so once a step
// is past it the result is too).
double binomial_of_whole(double n, double k)
{
    if (std::isinf(n))
        return INFINITY;
    // k <= n <= 2k makes n - k exact (Sterbenz).
    const double m_double = 2 * k <= n ? k : n - k;
    // C(n, m) >= (n / m)^m >= 2^m: from 1100 factors on it is past the range.
    if (m_double >= 1100)
        return INFINITY;
    const int m = int(m_double);
    using wide = unsigned __int128;
    int i = 1;
    wide x = 1;
    if (n < 0x1p64) {
        const std::uint64_t top = static_cast<std::uint64_t>(n) - static_cast<std::uint64_t>(m);
        for (; i <= m; ++i) {
            if (x >> 63)
                break;  // the next product might not fit
            x = x * (top + static_cast<std::uint64_t>(i)) / static_cast<unsigned>(i);
        }
        if (i > m)
            return static_cast<double>(x);
    }
    big_whole y(x), factor = big_whole::of(n);
    factor.subtract(static_cast<std::uint32_t>(m));
    for (int j = 1; j < i; ++j)
        factor.add(1);  // n - m + i, the next factor
    for (; i <= m; ++i) {
        factor.add(1);
        y = y.times(factor);
        y.divide(static_cast<std::uint32_t>(i));
        if (y.bits() > 1025)
            return INFINITY;
    }
    return y.to_double();
}

// n over k for a scalar n: whole n and k are taken as they are (no squeeze
// into an int, so 2^31 and 3e9 count as themselves), fractional ones
// truncated. A negative n follows the running product x = x (n + i - k) / i
// over k saturated to an int, rounded; once that product is infinite no
// later factor brings it back, so only the signs of the remaining factors
// still count.
double binomial(double n_given, double k_given)
{
    if (n_given != n_given || k_given != k_given)
        return NAN;
    const double n = std::trunc(n_given), kd = std::trunc(k_given);
    if (kd <= 0)
        return 1;
    if (n >= 0) {
        if (kd > n)
            return 0;
        return binomial_of_whole(n, kd);  // +Inf gives Inf
    }
    const int k = saturate_to_int(kd);
    double x = 1;
    for (int i = 1; i <= k; ++i) {
        x = x * (n + i - k) / i;
        if (std::isinf(x)) {
            // n < 0 makes every factor negative
            if ((k - i) % 2)
                x = -x;
            break;
        }
    }
    return round_half_away(x);
}

// ---- primality ----

// The primes up to a limit, one bit per odd number (bit j stands for
// 2j + 1, set when it is composite), in the runtime allocator's storage:
// 2^31 takes 128 MB. A refused block reports "Out of memory!" and, should
// the hook return, throws std::bad_alloc (the sieve is released).
class prime_sieve {
public:
    explicit prime_sieve(int limit) : limit_(limit), bits_(std::size_t(limit / 2) / 64 + 1)
    {
        std::fill(bits_.get(), bits_.get() + bits_.size(), std::uint64_t{0});
        const std::int64_t top = static_cast<std::int64_t>(std::sqrt(double(limit)));
        for (std::int64_t p = 3; p <= top; p += 2)
            if (!composite(p / 2))
                for (std::int64_t j = p * p / 2; 2 * j + 1 <= limit; j += p)
                    bits_[std::size_t(j) / 64] |= std::uint64_t{1} << (j % 64);
    }

    bool is_prime(std::int64_t v) const
    {
        if (v < 2 || v > limit_)
            return false;
        return v == 2 || (v % 2 == 1 && !composite(v / 2));
    }

    // Calls f(p) for every prime up to the limit, ascending.
    template <class F>
    void each(F f) const
    {
        if (limit_ >= 2)
            f(2.0);
        const std::int64_t last = (std::int64_t(limit_) - 1) / 2;  // 2 last + 1 <= limit
        for (std::size_t w = 0; w < bits_.size(); ++w) {
            std::uint64_t open = ~bits_[w];
            while (open) {
                const std::int64_t j = std::int64_t(w) * 64 + __builtin_ctzll(open);
                open &= open - 1;
                if (j > last)
                    return;
                if (j > 0)
                    f(double(2 * j + 1));
            }
        }
    }

private:
    bool composite(std::int64_t j) const { return (bits_[std::size_t(j) / 64] >> (j % 64)) & 1; }

    int limit_;
    scratch<std::uint64_t> bits_;
};

std::uint64_t mulmod(std::uint64_t a, std::uint64_t b, std::uint64_t m)
{
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(a) * b) % m);
}

std::uint64_t powmod(std::uint64_t b, std::uint64_t e, std::uint64_t m)
{
    std::uint64_t r = 1;
    b %= m;
    for (; e; e >>= 1) {
        if (e & 1)
            r = mulmod(r, b, m);
        b = mulmod(b, b, m);
    }
    return r;
}

// Miller-Rabin with the first twelve primes as bases: exact below 2^64.
bool is_prime_u64(std::uint64_t n)
{
    static constexpr std::uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    if (n < 2)
        return false;
    for (std::uint64_t p : bases)
        if (n % p == 0)
            return n == p;
    std::uint64_t d = n - 1;
    int s = 0;
    for (; d % 2 == 0; d /= 2)
        ++s;
    for (std::uint64_t a : bases) {
        std::uint64_t x = powmod(a, d, n);
        if (x == 1 || x == n - 1)
            continue;
        bool composite = true;
        for (int r = 1; r < s && composite; ++r) {
            x = mulmod(x, x, n);
            composite = x != n - 1;
        }
        if (composite)
            return false;
    }
    return true;
}

// Whole numbers from 2 up to 2^53 can be prime; every double above 2^53 is
// even.
inline bool prime_candidate(double v) { return v >= 2 && v <= 0x1p53 && v == std::floor(v); }

// ---- Euclid ----

struct bezout {
    double g, c, d;
};

// g = |a| c' + |b| d' by the extended Euclidean algorithm, then the signs of
// a and b moved onto the coefficients. Non-finite operands have no divisor.
// Whole operands take their remainders from fmod, exact at any magnitude
// (above 2^53 r0 - floor(r0/r1) r1 in doubles is not), so g is their exact
// divisor; the quotient is the whole number that remainder implies. The
// bound on the steps holds with room to spare for whole numbers (the
// remainders fall at least as fast as Fibonacci numbers); it keeps real
// operands, whose rounded remainders need not reach zero, from cycling.
bezout extended_gcd(double a, double b)
{
    if (!std::isfinite(a) || !std::isfinite(b))
        return {NAN, NAN, NAN};
    double r0 = std::fabs(a), r1 = std::fabs(b);
    const bool whole = whole_numbers(r0, r1);
    double s0 = 1, s1 = 0, t0 = 0, t1 = 1;
    for (int step = 0; r1 != 0 && r1 == r1 && step < 4096; ++step) {
        double q, r;
        if (whole) {
            r = std::fmod(r0, r1);
            q = std::round((r0 - r) / r1);
        } else {
            q = std::floor(r0 / r1);
            r = r0 - q * r1;
        }
        const double s = s0 - q * s1, t = t0 - q * t1;
        r0 = r1, r1 = r;
        s0 = s1, s1 = s;
        t0 = t1, t1 = t;
    }
    return {r0, sign_double(a) * s0, sign_double(b) * t0};
}

void gcd_values(const Mm& a, const Mm& b, Mm& g, Mm& c, Mm& d)
{
    if (!numeric_argument(a, "gcd") || !numeric_argument(b, "gcd")) {
        g = c = d = x_M;
        return;
    }
    if (a.size() != b.size()) {
        error("gcd: a is different size from b");
        g = c = d = x_M;
        return;
    }
    const Mm av = real_doubles(a), bv = real_doubles(b);
    Mm gv(0, 0, 0, a.getndims(), a.getdims(), qv_double);
    Mm cv(0, 0, 0, a.getndims(), a.getdims(), qv_double);
    Mm dv(0, 0, 0, a.getndims(), a.getdims(), qv_double);
    for (int k = 0, n = gv.size(); k < n; ++k) {
        const bezout e = extended_gcd(av.addr()[k], bv.addr()[k]);
        gv.addr()[k] = e.g;
        cv.addr()[k] = e.c;
        dv.addr()[k] = e.d;
    }
    g = gv;
    c = cv;
    d = dv;
}

// A whole x != 0 as odd * 2^twos.
void odd_part(double x, std::uint64_t& odd, int& twos)
{
    int e;
    const double m = std::frexp(std::fabs(x), &e);  // |x| = m 2^e, 1/2 <= m < 1
    odd = static_cast<std::uint64_t>(std::ldexp(m, 53));
    twos = e - 53;
    const int zeros = __builtin_ctzll(odd);
    odd >>= zeros;
    twos += zeros;
}

// The least common multiple of x and y (g their gcd), rounded once: whole
// non-zero x and y are odd parts times powers of two, so the multiple is
// (odd_x / odd_g) odd_y, at most 106 bits, times the larger power.
double whole_multiple(double x, double y, double g)
{
    if (!(std::isfinite(x) && std::isfinite(y) && whole_numbers(x, y) && x != 0 && y != 0))
        return x * (y / g);
    std::uint64_t ox, oy;
    int tx, ty;
    odd_part(x, ox, tx);
    odd_part(y, oy, ty);
    const unsigned __int128 multiple = static_cast<unsigned __int128>(ox / std::gcd(ox, oy)) * oy;
    const double m = std::ldexp(static_cast<double>(multiple), std::max(tx, ty));
    return (x < 0) != (y < 0) ? -m : m;
}

// ---- continued fractions ----

// The convergent p/q of x nearest-integer continued fraction that first
// comes within tol of x (or the last one before the expansion stops).
void convergent(double x, double tol, double& n, double& d)
{
    if (x != x) {
        n = x, d = 1;
        return;
    }
    if (std::isinf(x)) {
        n = x > 0 ? 1 : -1, d = 0;
        return;
    }
    double y = x, p_prev = 1, p_prev2 = 0, q_prev = 0, q_prev2 = 1;
    double p = 0, q = 1;
    // The denominators at least double from step to step: a bound far above
    // what any double needs, should rounding keep y from ending.
    for (int step = 0; step < 2100; ++step) {
        const double a = round_half_away(y);
        const double pn = a * p_prev + p_prev2, qn = a * q_prev + q_prev2;
        if (!std::isfinite(pn) || !std::isfinite(qn))
            break;
        p = pn, q = qn;
        p_prev2 = p_prev, p_prev = p;
        q_prev2 = q_prev, q_prev = q;
        y = 1 / (y - a);
        if (std::fabs(p / q - x) <= tol || y == 0 || !std::isfinite(y))
            break;
    }
    // denominators are non-negative
    const double sd = sign_double(q);
    n = p * sd;
    d = std::fabs(q);
}

void rat_expand(const Mm& x, double tol, Mm& n, Mm& d)
{
    n = Mm(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    d = Mm(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    for (int k = 0, count = x.size(); k < count; ++k)
        convergent(x.addr()[k], tol, n.addr()[k], d.addr()[k]);
}

void rat_values(const Mm& x, double tol, Mm& n, Mm& d)
{
    if (!numeric_argument(x, "rat")) {
        n = d = x_M;
        return;
    }
    Mm f = full(x);
    if (f.gettype() == qv_uint8)
        f = mdouble(f);
    if (!f.isc()) {
        rat_expand(f, tol, n, d);
        return;
    }
    // Both parts over their least common denominator.
    Mm nr, dr, ni, di;
    rat_expand(real(f), tol, nr, dr);
    rat_expand(imag(f), tol, ni, di);
    Mm num(1, 0, 0, f.getndims(), f.getdims(), qv_double);
    Mm den(0, 0, 0, f.getndims(), f.getdims(), qv_double);
    for (int k = 0, count = f.size(); k < count; ++k) {
        const double a = dr.addr()[k], b = di.addr()[k];
        const double c = a * (b / extended_gcd(a, b).g);
        den.addr()[k] = c;
        num.addr()[k] = nr.addr()[k] * (c / a);
        num.addi()[k] = ni.addr()[k] * (c / b);
    }
    n = num;
    d = den;
}

// 1e-6 times the 1-norm of the finite elements.
double default_tolerance(const Mm& x)
{
    if (x.gettype() == qv_none || x.gettype() == qv_cell || isempty(x))
        return 0;
    const Mm finite_part = Mm(x(isfinite(x)));
    return 1e-6 * first_number(norm(finite_part, one_M));
}

} // namespace

// ---- permutations and combinations ----

Mm perms(const Mm& v)
{
    const int n = v.size();
    if (n <= 0)
        return nop_M;
    // From 12 elements on the table leaves the range of a count; the
    // factorial is not taken further than that shows.
    double rows = 1;
    for (int k = 2; k <= n && k <= 13; ++k)
        rows *= k;
    Mm p;
    if (!index_matrix(rows, n, p))
        return x_M;
    // Positions in lexicographic order, each row written reversed.
    std::vector<int> s(n);
    std::iota(s.begin(), s.end(), 1);
    const int m = int(rows);
    double* out = p.addr();
    for (int r = 0; r < m; ++r) {
        for (int c = 0; c < n; ++c)
            out[r + std::int64_t(c) * m] = s[n - 1 - c];
        std::next_permutation(s.begin(), s.end());
    }
    return Mm(v(p));
}

Mm nchoosek(const Mm& v) { return Mm(error_input("nchoosek", 1)); }

Mm nchoosek(const Mm& v, const Mm& kv)
{
    if (!numeric_argument(kv, "nchoosek"))
        return x_M;
    const double k_given = first_number(kv);
    const int k = saturate_to_int(k_given);
    if (v.size() == 1) {
        if (!numeric_argument(v, "nchoosek"))
            return x_M;
        return Mm(binomial(first_number(v), k_given));
    }
    const int n = v.size();
    if (k <= 0)
        return nop_M;
    if (k > n) {
        const Mm none;
        return Mm(v(none));
    }
    Mm m;
    const double rows = binomial(double(n), double(k));
    if (!index_matrix(rows, k, m))
        return x_M;
    // Combinations in lexicographic order: the rightmost position below its
    // largest value steps up and the ones after it follow on.
    std::vector<int> c(k);
    std::iota(c.begin(), c.end(), 1);
    const int count = int(rows);
    double* out = m.addr();
    for (int r = 0; r < count; ++r) {
        for (int j = 0; j < k; ++j)
            out[r + std::int64_t(j) * count] = c[j];
        int j = k - 1;
        while (j >= 0 && c[j] == n - k + j + 1)
            --j;
        if (j < 0)
            break;
        ++c[j];
        for (int l = j + 1; l < k; ++l)
            c[l] = c[l - 1] + 1;
    }
    Mm r = Mm(v(m));
    // One combination per row: a single column of them when k is 1.
    if (isvector(r)) {
        if (k == 1)
            r.reshape(r.size(), 1);
        else
            r.reshape(1, r.size());
    }
    return r;
}

// ---- primes ----

Mm factor(const Mm& n)
{
    if (!numeric_argument(n, "factor"))
        return x_M;
    if (isempty(n))
        return nop_M;
    if (n.size() != 1) {
        error("factor: n not scalar");
        return x_M;
    }
    const double v = number_at(n, 0);
    if (!(v > 3) || std::isinf(v))
        return n;
    // Trial division by 2, 3 and then 6k - 1, 6k + 1 only: every prime
    // above 3 is one of those, and a composite divisor never divides what
    // its prime factors have left. Above 2^53 every double is even, so the
    // cofactor soon comes down to where whole numbers are exact integers,
    // and there the division is done in integers (the same remainders as
    // fmod, at a fraction of the cost).
    std::vector<double> factors;
    double p = v;
    auto divide_out = [&](double d) {
        while (std::fmod(p, d) == 0) {
            factors.push_back(d);
            p /= d;
        }
    };
    divide_out(2);
    divide_out(3);
    if (p == std::trunc(p) && p <= 0x1p53) {
        std::uint64_t q = static_cast<std::uint64_t>(p);
        auto take = [&](std::uint64_t d) {
            while (q % d == 0) {
                factors.push_back(double(d));
                q /= d;
            }
        };
        for (std::uint64_t d = 5; d <= q / d; d += 6) {
            take(d);
            take(d + 2);
        }
        p = double(q);
    }
    // Otherwise p is a fraction (every whole double above 2^53 is even, so
    // dividing out 2 left it below): no whole number divides it.
    if (p > 1)
        factors.push_back(p);
    return row_of(factors);
}

Mm primes(const Mm& n)
{
    if (!numeric_argument(n, "primes"))
        return x_M;
    if (n.size() != 1) {
        error("primes: n not scalar");
        return x_M;
    }
    const double given = number_at(n, 0);
    if (std::round(given) > INT_MAX) {
        // Inf among them: the sieve cannot hold the range, and a list cut
        // short would pass for the whole one.
        error("primes: n is above 2147483647, the largest limit the sieve holds");
        return x_M;
    }
    const int limit = round_to_count(given);
    if (limit == 0)
        return nop_M;
    try {
        // Counted first, so that the result is one block of its own size.
        const prime_sieve sieve(limit);
        int count = 0;
        sieve.each([&](double) { ++count; });
        if (count == 0)
            return nop_M;
        Mm r(0, 0, 0, 1, count, qv_double);
        if (r.size() != count)
            return x_M;  // "Out of memory!" went to a hook that returned
        double* out = r.addr();
        sieve.each([&](double p) { *out++ = p; });
        return r;
    } catch (const std::bad_alloc&) {
        return x_M;  // the sieve was refused and reported
    }
}

Mm isprime(const Mm& x)
{
    if (!numeric_argument(x, "isprime"))
        return x_M;
    if (isempty(x))
        return zero_M;
    const Mm v = real_doubles(x);
    const double* p = v.addr();
    const int count = v.size();
    // A sieve up to the largest candidate serves small ones; each larger
    // one gets its own exact test.
    constexpr double sieve_limit = 1 << 24;
    double largest = 0;
    for (int k = 0; k < count; ++k)
        if (prime_candidate(p[k]) && p[k] <= sieve_limit)
            largest = std::max(largest, p[k]);
    Mm r(0, 0, 0, v.getndims(), v.getdims(), qv_double);
    if (r.size() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    try {
        const prime_sieve sieve(largest >= 2 ? int(largest) : 1);
        for (int k = 0; k < count; ++k) {
            bool prime = false;
            if (prime_candidate(p[k]))
                prime = p[k] <= sieve_limit ? sieve.is_prime(std::int64_t(p[k])) : is_prime_u64(std::uint64_t(p[k]));
            r.addr()[k] = prime ? 1 : 0;
        }
    } catch (const std::bad_alloc&) {
        return x_M;  // the sieve was refused and reported
    }
    return r;
}

// ---- gcd and lcm ----

Mm gcd(const Mm& a) { return Mm(error_input("gcd", 1)); }
Mm lcm(const Mm& a) { return Mm(error_input("lcm", 1)); }

Mm gcd(const Mm& a, const Mm& b, i_o_t, Mm& g, Mm& c, Mm& d)
{
    Mm gv, cv, dv;
    gcd_values(a, b, gv, cv, dv);
    g = gv;
    c = cv;
    d = dv;
    return x_M;
}

Mm gcd(const Mm& a, const Mm& b)
{
    if (a.isstruct() || b.isstruct())
        return call_class_function("gcd", a, b);
    Mm g, c, d;
    gcd_values(a, b, g, c, d);
    return g;
}

// a .* (b ./ gcd), the sign following a .* b and lcm(0, 0) NaN. For real
// whole operands the multiple is formed exactly and rounded once, since
// above 2^53 neither b ./ gcd nor the product need be a double.
Mm lcm(const Mm& a, const Mm& b)
{
    if (a.isstruct() || b.isstruct())
        return call_class_function("lcm", a, b);
    const Mm g = gcd(a, b);
    const auto plain = [](const Mm& x) { return x.gettype() == qv_double && !x.issparse() && !x.isc(); };
    if (!plain(a) || !plain(b) || g.size() != a.size() || a.size() != b.size())
        return times(a, rdivide(b, g));
    Mm r(0, 0, 0, a.getndims(), a.getdims(), qv_double);
    if (r.size() != a.size())
        return x_M;  // "Out of memory!" went to a hook that returned
    for (int k = 0, n = r.size(); k < n; ++k)
        r.addr()[k] = whole_multiple(a.addr()[k], b.addr()[k], g.addr()[k]);
    return r;
}

// ---- rational approximation ----

Mm rat(const Mm& x, const Mm& tol, i_o_t, Mm& n, Mm& d)
{
    Mm nv, dv;
    rat_values(x, first_number(tol), nv, dv);
    n = nv;
    d = dv;
    return x_M;
}

Mm rat(const Mm& x, i_o_t, Mm& n, Mm& d)
{
    Mm nv, dv;
    rat_values(x, default_tolerance(x), nv, dv);
    n = nv;
    d = dv;
    return x_M;
}

Mm rat(const Mm& x)
{
    Mm n, d;
    rat(x, i_o, n, d);
    return n;
}

Mm rat(const Mm& x, const Mm& tol)
{
    Mm n, d;
    rat(x, tol, i_o, n, d);
    return n;
}
