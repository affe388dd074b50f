// The gallery sweep: every decomposition and solve over one gallery of
// structured matrices (zeros, identity, all-ones, rank one and two, repeated
// rows and columns, Hilbert, Wilkinson, Frank, Kahan, companion, a nilpotent
// Jordan block, Gram matrices, random real and complex, graded from 2^-498
// to 2^498, scaled by 2^±1000) at orders 1, 2, 3, 10, 40, 65 and 100, square,
// tall and wide. Each result is judged by a property it must have, as
// LAPACK's test programs judge theirs: a backward error or residual scaled
// by the order and eps under LAPACK's thresholds (30 for factorisations and
// solves, 20 for eigenproblems, 50 for the SVD), orthogonality, the form of
// the factor, no NaN for finite input, and the rank numpy's matrix_rank gives
// (tests/linalg/data/gallery_ranks.inc, tools/reference/gallery_ranks.py).
#include "linalg_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <map>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

constexpr double eps = 0x1p-52;
constexpr int orders[] = {1, 2, 3, 10, 40, 65, 100};

// ---------------------------------------------------------------------------
// The gallery
// ---------------------------------------------------------------------------

struct GalleryCase {
    std::string name;   // "ones 40x40"
    std::string family; // "ones"
    Mm a;
    cmat A;             // the same entries, for the checks' arithmetic
    int m = 0, n = 0;
    int rank = -1;      // numpy's matrix_rank; -1 where it is too close to call
    bool graded = false;  // entries spread over many decades: balancing scales it
    bool scaled = false;  // entries near 2^±1000
};

struct RankReference {
    const char* name;
    int rank;
};

const RankReference rank_reference[] = {
#include "data/gallery_ranks.inc"
};

// Element (i, j) of the hash matrices of tools/reference (part 0 real, 1
// imaginary): multiples of 2^-32 in [-0.5, 0.5).
double h(int seed, int i, int j, int part = 0) { return hash_element(seed, i, j, part); }

int grade(int k, int count) { return count == 1 ? 0 : -498 + (996 * k) / (count - 1); }

using entry_fn = std::function<cx(int i, int j, int m, int n)>;

struct Family {
    const char* name;
    bool complex;
    entry_fn entry;
    bool graded = false, scaled = false;
};

const std::vector<Family>& any_shape_families()
{
    static const std::vector<Family> families = {
        {"zeros", false, [](int, int, int, int) { return cx(0); }},
        {"identity", false, [](int i, int j, int, int) { return cx(i == j ? 1 : 0); }},
        {"ones", false, [](int, int, int, int) { return cx(1); }},
        {"twos", false, [](int, int, int, int) { return cx(2); }},
        {"complex ones", true, [](int, int, int, int) { return cx(1, 0.5); }},
        {"rank one", false, [](int i, int j, int, int) { return cx(h(11, i, 0) * h(12, 0, j)); }},
        {"rank two", false,
         [](int i, int j, int, int) { return cx(h(21, i, 0) * h(22, 0, j) + h(23, i, 0) * h(24, 0, j)); }},
        {"repeated rows", false, [](int, int j, int, int) { return cx(j + 1); }},
        {"repeated columns", false, [](int i, int, int, int) { return cx(i + 1); }},
        // Random but for column 2, a copy of column 1 ([1 1 0; 1 1 1]-like).
        {"a repeated column", false, [](int i, int j, int, int) { return cx(h(38, i, j == 1 ? 0 : j)); }},
        {"hilbert", false, [](int i, int j, int, int) { return cx(1.0 / (i + j + 1)); }},
        {"random", false, [](int i, int j, int, int) { return cx(h(31, i, j)); }},
        {"random complex", true, [](int i, int j, int, int) { return cx(h(32, i, j, 0), h(32, i, j, 1)); }},
        {"rows graded 2^-498..2^498", false,
         [](int i, int j, int m, int) { return cx(std::ldexp(h(33, i, j), grade(i, m))); }, true},
        {"columns graded 2^-498..2^498", false,
         [](int i, int j, int, int n) { return cx(std::ldexp(h(34, i, j), grade(j, n))); }, true},
        {"random 2^-1000", false, [](int i, int j, int, int) { return cx(std::ldexp(h(35, i, j), -1000)); }, false,
         true},
        {"random 2^1000", false, [](int i, int j, int, int) { return cx(std::ldexp(h(36, i, j), 1000)); }, false,
         true},
        {"random complex 2^-1000", true,
         [](int i, int j, int, int) {
             return cx(std::ldexp(h(37, i, j, 0), -1000), std::ldexp(h(37, i, j, 1), -1000));
         },
         false, true},
    };
    return families;
}

Mm to_mm(const cmat& x, bool complex)
{
    Mm a(complex, 0, 0, x.rows, x.cols, qv_double);
    for (std::size_t k = 0; k < x.v.size(); ++k) {
        a.addr()[k] = x.v[k].real();
        if (complex)
            a.addi()[k] = x.v[k].imag();
    }
    return a;
}

cmat build(int m, int n, const std::function<cx(int, int)>& entry)
{
    cmat a{m, n, std::vector<cx>(std::size_t(m) * n)};
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i)
            a(i, j) = entry(i, j);
    return a;
}

cmat kahan(int n)
{
    const double s = std::sin(1.2), c = std::cos(1.2);
    cmat a{n, n, std::vector<cx>(std::size_t(n) * n)};
    double p = 1;
    for (int i = 0; i < n; ++i) {
        for (int j = i; j < n; ++j)
            a(i, j) = i == j ? p : -c * p;
        p *= s;
    }
    return a;
}

cmat gram(int n, int seed, bool complex)
{
    const cmat b = build(n, n, [&](int i, int j) { return complex ? cx(h(seed, i, j, 0), h(seed, i, j, 1)) : cx(h(seed, i, j)); });
    cmat g = product(b, b, true);
    for (int k = 0; k < n; ++k)
        g(k, k) += 1;
    // Exactly Hermitian: the diagonal real, the lower triangle the mirror.
    for (int j = 0; j < n; ++j) {
        g(j, j) = g(j, j).real();
        for (int i = j + 1; i < n; ++i)
            g(i, j) = std::conj(g(j, i));
    }
    return g;
}

GalleryCase make_case(const std::string& family, const cmat& a, bool complex, bool graded = false,
                      bool scaled = false)
{
    GalleryCase c;
    c.family = family;
    c.name = family + " " + std::to_string(a.rows) + "x" + std::to_string(a.cols);
    c.A = a;
    c.a = to_mm(a, complex);
    c.m = a.rows;
    c.n = a.cols;
    c.graded = graded;
    c.scaled = scaled;
    bool found = false;
    for (const RankReference& r : rank_reference)
        if (c.name == r.name) {
            c.rank = r.rank;
            found = true;
        }
    EXPECT_TRUE(found) << "no reference rank for " << c.name;
    return c;
}

const std::vector<GalleryCase>& gallery()
{
    static const std::vector<GalleryCase> cases = [] {
        std::vector<GalleryCase> all;
        for (int n : orders) {
            const int wider = n + n / 2 + 1;
            const std::pair<int, int> shapes[] = {{n, n}, {wider, n}, {n, wider}};
            for (const auto& [m, k] : shapes)
                for (const Family& f : any_shape_families())
                    all.push_back(make_case(f.name, build(m, k, [&, m = m, k = k](int i, int j) { return f.entry(i, j, m, k); }),
                                            f.complex, f.graded, f.scaled));
            const cmat wilkinson =
                build(n, n, [n](int i, int j) { return cx(i == j ? std::fabs(i - (n - 1) / 2.0) : std::abs(i - j) == 1 ? 1 : 0); });
            all.push_back(make_case("wilkinson", wilkinson, false));
            all.push_back(make_case("frank", build(n, n, [n](int i, int j) { return cx(i <= j + 1 ? n - std::max(i, j) : 0); }), false));
            all.push_back(make_case("kahan", kahan(n), false));
            all.push_back(make_case("kahan transposed", ctrans(kahan(n)), false));
            // The library's own compan of a column of coefficients.
            std::vector<double> p(std::size_t(n) + 1, 1.0);
            for (int j = 1; j <= n; ++j)
                p[j] = h(41, 0, j);
            Mm coefficients(0, 0, 0, n + 1, 1, qv_double);
            std::copy(p.begin(), p.end(), coefficients.addr());
            const cmat companion = n == 1 ? build(1, 1, [&](int, int) { return cx(-p[1]); }) : to_cmat(compan(coefficients));
            all.push_back(make_case("companion", companion, false));
            all.push_back(make_case("jordan block", build(n, n, [](int i, int j) { return cx(j == i + 1 ? 1 : 0); }), false));
            all.push_back(make_case("gram", gram(n, 42, false), false));
            all.push_back(make_case("hermitian gram", gram(n, 43, true), true));
        }
        return all;
    }();
    return cases;
}

// ---------------------------------------------------------------------------
// Arithmetic for the checks
// ---------------------------------------------------------------------------

double norm1(const cmat& a)
{
    double best = 0;
    for (int j = 0; j < a.cols; ++j) {
        double s = 0;
        for (int i = 0; i < a.rows; ++i)
            s += std::abs(a(i, j));
        best = std::max(best, s);
    }
    return best;
}

double frobenius(const cmat& a)
{
    double big = max_abs(a), s = 0;
    if (big == 0)
        return 0;
    for (const cx& z : a.v)
        s += std::norm(z / big);
    return big * std::sqrt(s);
}

// The 2-norm of column j of a from row `from` down (rows from..to-1 when
// `to` is given).
double column_norm(const cmat& a, int j, int from = 0, int to = -1)
{
    double s = 0;
    for (int i = from; i < (to < 0 ? a.rows : to); ++i)
        s = std::hypot(s, std::abs(a(i, j)));
    return s;
}

// The largest 2-norm of a's columns.
double widest_column(const cmat& a)
{
    double widest = 0;
    for (int j = 0; j < a.cols; ++j)
        widest = std::max(widest, column_norm(a, j));
    return widest;
}

cmat minus(const cmat& a, const cmat& b)
{
    cmat d = a;
    for (std::size_t k = 0; k < d.v.size(); ++k)
        d.v[k] -= b.v[k];
    return d;
}

cmat eye(int m, int n)
{
    cmat e{m, n, std::vector<cx>(std::size_t(m) * n)};
    for (int k = 0; k < std::min(m, n); ++k)
        e(k, k) = 1;
    return e;
}

cmat transpose(const cmat& a)  // without conjugation
{
    cmat t{a.cols, a.rows, std::vector<cx>(a.v.size())};
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i)
            t(j, i) = a(i, j);
    return t;
}

// x scaled by the power of two that brings the largest entry of `like`
// near 1 (exact): products of two entries then neither overflow nor
// underflow.
cmat unit(const cmat& x, const cmat& like)
{
    const double big = max_abs(like);
    int e = 0;
    if (big > 0 && std::isfinite(big))
        std::frexp(big, &e);
    cmat y = x;
    for (cx& z : y.v)
        z = cx(std::ldexp(z.real(), -e), std::ldexp(z.imag(), -e));
    return y;
}
cmat unit(const cmat& x) { return unit(x, x); }

// x/den, with 0/0 as 0: a residual of exactly zero passes whatever scale.
double ratio(double x, double den) { return x == 0 ? 0 : x / den; }

// |QᴴQ - I|₁ / (rows·eps): how far the columns of q are from orthonormal.
double departure_from_orthonormal(const cmat& q)
{
    return ratio(norm1(minus(product(q, q, true), eye(q.cols, q.cols))), std::max(q.rows, 1) * eps);
}

bool all_finite(const Mm& x)
{
    const Mm f = full(x);
    for (int k = 0; k < f.rows() * f.cols(); ++k)
        if (!std::isfinite(f.addr()[k]) || (f.isc() && !std::isfinite(f.addi()[k])))
            return false;
    return true;
}

bool any_nan(const Mm& x)
{
    const Mm f = full(x);
    for (int k = 0; k < f.rows() * f.cols(); ++k)
        if (std::isnan(f.addr()[k]) || (f.isc() && std::isnan(f.addi()[k])))
            return true;
    return false;
}

bool is_hermitian(const cmat& a)
{
    if (a.rows != a.cols)
        return false;
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i)
            if (a(i, j) != std::conj(a(j, i)))
                return false;
    return true;
}

// ---------------------------------------------------------------------------
// Verdicts
// ---------------------------------------------------------------------------

class Verdict {
public:
    // The property must hold.
    void require(bool ok, const std::string& what)
    {
        if (!ok)
            problems_.push_back(what);
    }
    // A scaled residual must stay within its threshold (NaN fails).
    void within(const std::string& what, double r, double limit)
    {
        if (!(r <= limit)) {
            std::ostringstream s;
            s << what << " = " << r << " > " << limit;
            problems_.push_back(s.str());
        }
    }
    bool ok() const { return problems_.empty(); }
    std::string text() const
    {
        std::string t;
        for (const std::string& p : problems_)
            t += (t.empty() ? "" : "; ") + p;
        return t;
    }

private:
    std::vector<std::string> problems_;
};

void judge(const std::string& check, const GalleryCase& c, const Verdict& v)
{
    if (!v.ok())
        ADD_FAILURE() << check << " of " << c.name << ": " << v.text();
}

template <class F>
void sweep(const std::string& check, bool square_only, F&& run)
{
    for (const GalleryCase& c : gallery()) {
        if (square_only && c.m != c.n)
            continue;
        Verdict v;
        try {
            run(c, v);
        } catch (const char* message) {
            v.require(false, std::string("raised \"") + message + "\"");
        }
        judge(check, c, v);
    }
}

// ---------------------------------------------------------------------------
// Factorisations
// ---------------------------------------------------------------------------

// Whether x has nothing below its band-th subdiagonal (0: triangular).
bool zero_below(const cmat& x, int band)
{
    for (int j = 0; j < x.cols; ++j)
        for (int i = j + band + 1; i < x.rows; ++i)
            if (x(i, j) != cx(0))
                return false;
    return true;
}

TEST(Gallery, Lu)
{
    sweep("lu", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        Mm L, U, P;
        lu(c.a, i_o, L, U, P);
        const cmat l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
        v.require(all_finite(L) && all_finite(U), "finite factors");
        v.within("|PA - LU| / (n eps |A|)", ratio(norm1(minus(product(p, c.A), product(l, u))), n * eps * norm1(c.A)), 30);
        v.require(zero_below(u, 0) && zero_below(ctrans(l), 0), "L lower and U upper triangular");
        // Complex pivots are chosen by |re| + |im|: multipliers up to √2.
        const double most = c.a.isc() ? std::sqrt(2.0) * (1 + eps) : 1;
        bool unit_lower = true;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= i; ++j)
                unit_lower = unit_lower && (i == j ? l(i, j) == cx(1) : std::abs(l(i, j)) <= most);
        v.require(unit_lower, "L unit diagonal, multipliers within the pivot's size");
        Mm L2, U2;
        lu(c.a, i_o, L2, U2);
        v.within("|A - L2 U2| / (n eps |A|)", ratio(norm1(minus(c.A, product(to_cmat(L2), to_cmat(U2)))), n * eps * norm1(c.A)),
                 30);
    });
}

TEST(Gallery, Qr)
{
    sweep("qr", false, [](const GalleryCase& c, Verdict& v) {
        const int m = c.m, n = c.n, k = std::min(m, n), big = std::max(m, n);
        const double a1 = norm1(c.A);
        Mm Q, R;
        qr(c.a, i_o, Q, R);
        cmat q = to_cmat(Q), r = to_cmat(R);
        v.require(all_finite(Q) && all_finite(R), "finite factors");
        v.require(q.rows == m && q.cols == m && r.rows == m && r.cols == n, "Q m-by-m, R m-by-n");
        v.within("|A - QR| / (max(m,n) eps |A|)", ratio(norm1(minus(c.A, product(q, r))), big * eps * a1), 30);
        v.within("|QᴴQ - I| / (m eps)", departure_from_orthonormal(q), 30);
        v.require(zero_below(r, 0), "R upper triangular");
        // The one-output form holds an R in its upper triangle (its own
        // rounding, whose differences an ill-conditioned A magnifies):
        // RᴴR = AᴴA to rounding, formed at unit scale.
        cmat raw = to_cmat(qr(c.a));
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < m; ++i)
                raw(i, j) = 0;
        const cmat unit_a = unit(c.A), unit_r = unit(raw, c.A);
        v.within("|RᴴR - AᴴA| / (max(m,n) eps |A|²) for R = triu(qr(A))",
                 ratio(norm1(minus(product(unit_r, unit_r, true), product(unit_a, unit_a, true))),
                       big * eps * norm1(unit_a) * norm1(unit_a)),
                 30);

        qr(c.a, Mm(0.0), i_o, Q, R);
        q = to_cmat(Q);
        r = to_cmat(R);
        v.require(q.rows == m && q.cols == k && r.rows == k && r.cols == n, "economy Q m-by-min, R min-by-n");
        v.within("economy |A - QR| / (max(m,n) eps |A|)", ratio(norm1(minus(c.A, product(q, r))), big * eps * a1), 30);
        v.within("economy |QᴴQ - I| / (m eps)", departure_from_orthonormal(q), 30);
    });
}

// Column pivoting: AE = QR, and each diagonal element of R at least the
// norm of what remains of every later column (the pivot is chosen at every
// step, the last of a wide matrix too).
TEST(Gallery, PivotedQr)
{
    sweep("pivoted qr", false, [](const GalleryCase& c, Verdict& v) {
        const int m = c.m, n = c.n, k = std::min(m, n), big = std::max(m, n);
        const double a1 = norm1(c.A);
        Mm Q, R, E;
        qr(c.a, i_o, Q, R, E);
        const cmat q = to_cmat(Q), r = to_cmat(R), e = to_cmat(E);
        v.require(all_finite(Q) && all_finite(R), "finite factors");
        v.within("|AE - QR| / (max(m,n) eps |A|)", ratio(norm1(minus(product(c.A, e), product(q, r))), big * eps * a1), 30);
        v.within("|QᴴQ - I| / (m eps)", departure_from_orthonormal(q), 30);
        v.require(zero_below(r, 0), "R upper triangular");
        // The remaining column norms are downdated, not recomputed, until
        // they lose half their digits: the pivot is the largest to within
        // √eps of the columns' first norms.
        const double slack = 8 * std::sqrt(eps) * widest_column(c.A);
        bool pivoted = true;
        for (int j = 0; j < k; ++j)
            for (int l = j + 1; l < n; ++l)
                pivoted = pivoted && column_norm(r, l, j, k) <= std::abs(r(j, j)) * (1 + 4 * big * eps) + slack;
        v.require(pivoted, "every |R(j,j)| at least the norm of R(j:k, l) for l > j");

        // Economy form with a permutation vector: A(:, e) = QR.
        qr(c.a, Mm(0.0), i_o, Q, R, E);
        const cmat qe = to_cmat(Q), re = to_cmat(R);
        v.require(E.rows() * E.cols() == n, "a permutation vector");
        if (E.rows() * E.cols() == n) {
            cmat permuted{m, n, std::vector<cx>(std::size_t(m) * n)};
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i)
                    permuted(i, j) = c.A(i, int(E.addr()[j]) - 1);
            v.within("economy |A(:,e) - QR| / (max(m,n) eps |A|)",
                     ratio(norm1(minus(permuted, product(qe, re))), big * eps * a1), 30);
        }
    });
}

TEST(Gallery, Chol)
{
    sweep("chol", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        // chol reads the upper triangle: the Hermitian matrix it defines.
        cmat hm = c.A;
        for (int j = 0; j < n; ++j) {
            hm(j, j) = hm(j, j).real();
            for (int i = j + 1; i < n; ++i)
                hm(i, j) = std::conj(hm(j, i));
        }
        Mm R, p;
        chol(c.a, i_o, R, p);
        const int q = int(p.addr()[0]);
        const int order = q == 0 ? n : q - 1;
        const cmat r = to_cmat(R);
        v.require(r.rows == order && r.cols == order, "R of the order that is positive definite");
        if (r.rows != order || r.cols != order)
            return;
        v.require(zero_below(r, 0), "R upper triangular");
        const cmat lead = build(order, order, [&](int i, int j) { return hm(i, j); });
        v.within("|A - RᴴR| / (n eps |A|)", ratio(norm1(minus(lead, product(r, r, true))), n * eps * norm1(lead)), 30);
        if (c.family == "gram" || c.family == "hermitian gram" || c.family == "identity" ||
            (c.family == "hilbert" && n <= 10))
            v.require(q == 0, "a positive definite matrix factors");
    });
}

TEST(Gallery, Svd)
{
    sweep("svd", false, [](const GalleryCase& c, Verdict& v) {
        const int m = c.m, n = c.n, k = std::min(m, n), big = std::max(m, n);
        const double a1 = norm1(c.A);
        const Mm s = svd(c.a);
        v.require(!any_nan(s), "no NaN in svd(A)");
        v.require(s.rows() == k && s.cols() == 1 && !s.isc(), "a real column of min(m,n) values");
        bool ordered = true;
        for (int i = 0; i < k; ++i)
            ordered = ordered && s.addr()[i] >= 0 && (i == 0 || s.addr()[i] <= s.addr()[i - 1]);
        v.require(ordered, "non-negative and decreasing");

        Mm U, S, V;
        svd(c.a, i_o, U, S, V);
        const cmat u = to_cmat(U), sm = to_cmat(S), w = to_cmat(V);
        v.require(all_finite(U) && all_finite(S) && all_finite(V), "finite factors");
        v.within("|A - USVᴴ| / (max(m,n) eps |A|)", ratio(norm1(minus(c.A, product(product(u, sm), ctrans(w)))), big * eps * a1),
                 50);
        v.within("|UᴴU - I| / (m eps)", departure_from_orthonormal(u), 50);
        v.within("|VᴴV - I| / (n eps)", departure_from_orthonormal(w), 50);
        v.require(zero_below(sm, 0) && zero_below(ctrans(sm), 0), "S diagonal");
        double apart = 0;
        for (int i = 0; i < k && i < sm.rows && i < sm.cols && s.rows() == k; ++i)
            apart = std::max(apart, std::abs(sm(i, i) - s.addr()[i]));
        v.within("|diag(S) - svd(A)| / (max(m,n) eps s1)", ratio(apart, big * eps * (k ? s.addr()[0] : 1)), 8);

        svd(c.a, Mm(0.0), i_o, U, S, V);
        const cmat ue = to_cmat(U), se = to_cmat(S), we = to_cmat(V);
        v.require(ue.rows == m && ue.cols == k && se.rows == k && se.cols == n && we.rows == n && we.cols == n,
                  "economy shapes");
        if (ue.cols == se.rows && se.cols == we.cols)
            v.within("economy |A - USVᴴ| / (max(m,n) eps |A|)",
                     ratio(norm1(minus(c.A, product(product(ue, se), ctrans(we)))), big * eps * a1), 50);
        v.within("economy |UᴴU - I| / (m eps)", departure_from_orthonormal(ue), 50);

        Mm U2, S2;
        svd(c.a, i_o, U2, S2);
        v.require(U2.rows() == m && U2.cols() == m && S2.rows() == m && S2.cols() == n && all_finite(U2) &&
                      all_finite(S2),
                  "two-output form");
    });
}

// ---------------------------------------------------------------------------
// Eigenproblems
// ---------------------------------------------------------------------------

// The smallest singular value of A - λI over n eps (|A|_F + |λ|): the
// backward error that makes λ an exact eigenvalue.
double eigenvalue_backward_error(const cmat& a, cx lambda)
{
    cmat shifted = a;
    for (int k = 0; k < a.rows; ++k)
        shifted(k, k) -= lambda;
    const Mm s = svd(to_mm(shifted, true));
    return ratio(s.addr()[s.rows() - 1], a.rows * eps * (frobenius(a) + std::abs(lambda)));
}

// Up to six of the n eigenvalues: the first, the last, and some between.
std::vector<int> sample(int n)
{
    std::vector<int> at;
    for (int k = 0; k < 6 && k < n; ++k)
        at.push_back(n <= 6 ? k : int((long(n - 1) * k) / 5));
    return at;
}

// |AV - VD|₁ / (n eps |A|₁ |V|₁), D diagonal.
double eigen_residual(const cmat& a, const cmat& vecs, const cmat& d)
{
    cmat vd = vecs;
    for (int j = 0; j < vecs.cols; ++j)
        for (int i = 0; i < vecs.rows; ++i)
            vd(i, j) *= d(j, j);
    return ratio(norm1(minus(product(a, vecs), vd)), a.rows * eps * norm1(a) * norm1(vecs));
}

double worst_column_norm_error(const cmat& vecs)
{
    double worst = 0;
    for (int j = 0; j < vecs.cols; ++j)
        worst = std::max(worst, std::fabs(column_norm(vecs, j) - 1));
    return worst;
}

// The balanced matrix T\A*T, in which a balanced eig is backward stable
// (T: powers of 2 and a permutation, so it is formed exactly).
cmat balanced(const GalleryCase& c, cmat& t)
{
    Mm T, B;
    balance(c.a, i_o, T, B);
    t = to_cmat(T);
    return to_cmat(B);
}

void check_eigenvectors(const std::string& form, const GalleryCase& c, const Mm& V, const Mm& D, bool balanced_form,
                        Verdict& v)
{
    const int n = c.n;
    v.require(V.rows() == n && V.cols() == n && D.rows() == n && D.cols() == n, form + ": n-by-n V and D");
    if (V.rows() != n || D.rows() != n)
        return;
    v.require(!any_nan(V) && !any_nan(D), form + ": no NaN");
    const cmat vecs = to_cmat(V), d = to_cmat(D);
    v.require(zero_below(d, 0) && zero_below(ctrans(d), 0), form + ": D diagonal");
    v.within(form + ": |column norm - 1| / (n eps)", ratio(worst_column_norm_error(vecs), n * eps), 20);
    if (!balanced_form || !c.graded)
        v.within(form + ": |AV - VD| / (n eps |A| |V|)", eigen_residual(c.A, vecs, d), 20);
    if (balanced_form) {
        // Graded matrices are balanced over many decades, and the vectors
        // carried back are good in the balanced matrix's norm (as LAPACK's).
        cmat t;
        const cmat b = balanced(c, t);
        cmat tinv = ctrans(t);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                if (tinv(i, j) != cx(0))
                    tinv(i, j) = 1.0 / std::conj(tinv(i, j));
        v.within(form + ": |B Vb - Vb D| / (n eps |B| |Vb|), B = T\\A*T, Vb = T\\V",
                 eigen_residual(b, product(tinv, vecs), d), 20);
    }
    if (is_hermitian(c.A))
        v.within(form + ": |VᴴV - I| / (n eps)", departure_from_orthonormal(vecs), 20);
}

TEST(Gallery, Eig)
{
    sweep("eig", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        const Mm w = eig(c.a);
        v.require(w.rows() == n && w.cols() == 1, "a column of n eigenvalues");
        v.require(!any_nan(w), "no NaN");
        if (w.rows() != n || any_nan(w))
            return;
        cmat t;
        const cmat b = balanced(c, t);
        for (int k : sample(n)) {
            const cx lambda(w.addr()[k], w.isc() ? w.addi()[k] : 0.0);
            v.within("eigenvalue " + std::to_string(k + 1) + ": smallest singular value of B - λI / (n eps (|B| + |λ|))",
                     eigenvalue_backward_error(b, lambda), 20);
        }
        if (is_hermitian(c.A)) {
            bool ascending = !w.isc();
            for (int k = 1; k < n && ascending; ++k)
                ascending = w.addr()[k - 1] <= w.addr()[k];
            v.require(ascending, "a Hermitian matrix's eigenvalues real and ascending");
        }
        Mm V, D;
        eig(c.a, i_o, V, D);
        check_eigenvectors("[V,D] = eig(A)", c, V, D, true, v);
    });
}

TEST(Gallery, EigWithoutBalancing)
{
    sweep("eig without balancing", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        const Mm w = eig(c.a, test::text("nobalance"));
        v.require(!any_nan(w) && w.rows() == n, "n eigenvalues, no NaN");
        if (w.rows() != n || any_nan(w))
            return;
        for (int k : sample(n)) {
            const cx lambda(w.addr()[k], w.isc() ? w.addi()[k] : 0.0);
            v.within("eigenvalue " + std::to_string(k + 1) + ": smallest singular value of A - λI / (n eps (|A| + |λ|))",
                     eigenvalue_backward_error(c.A, lambda), 20);
        }
        Mm V, D;
        eig(c.a, test::text("nobalance"), i_o, V, D);
        check_eigenvectors("[V,D] = eig(A, 'nobalance')", c, V, D, false, v);
    });
}

// ---------------------------------------------------------------------------
// Eigenproblems past the crossovers, and defective matrices
// ---------------------------------------------------------------------------

// Orders where eig's paths change (the blocked reduction, and the
// multishift iteration with vectors past 120 (real) and 100 (complex),
// without past 375 and 300), symmetric matrices at 300 (Cauchy-like with
// several offsets, graded, clustered, Wilkinson, random), and matrices whose
// eigenvalues are defective: a Jordan block, companion matrices with
// repeated zero roots, graded companions. Every column of every [V,D] is
// judged on its own, balanced and with 'nobalance': |Av - λv| / (n eps
// |A|_F |v|) within 20; the residuals are formed with the library's product
// so order 1000 stays quick.
struct LargeEigCase {
    std::string name;
    Mm a;
    bool defective = false; // eigenvalues that rounding splits by eps^(1/k)
};

template <class F>
Mm entries(int n, bool complex, F&& entry)
{
    return matrix_of(n, n, complex, std::forward<F>(entry));
}

// H·diag(λ)·H with H = I - 2uuᵀ/uᵀu (u from the hash): a symmetric matrix
// of the given spectrum.
Mm reflected(const std::vector<double>& lambda, int seed)
{
    const int n = int(lambda.size());
    std::vector<double> u(n);
    double uu = 0;
    for (int k = 0; k < n; ++k) {
        u[k] = h(seed, k, 0) + 0.75;
        uu += u[k] * u[k];
    }
    // (I - βuuᵀ) Λ (I - βuuᵀ) = Λ - β(uwᵀ + wuᵀ) + β²(uᵀw) uuᵀ, w = Λu.
    const double beta = 2 / uu;
    double uw = 0;
    for (int k = 0; k < n; ++k)
        uw += u[k] * lambda[k] * u[k];
    return entries(n, false, [&](int i, int j) {
        return cx((i == j ? lambda[i] : 0.0) - beta * (u[i] * lambda[j] * u[j] + lambda[i] * u[i] * u[j]) +
                  beta * beta * uw * u[i] * u[j]);
    });
}

std::vector<LargeEigCase> large_eig_cases()
{
    std::vector<LargeEigCase> cases;
    auto add = [&](const std::string& name, int n, Mm a, bool defective = false) {
        cases.push_back({name + " " + std::to_string(n) + "x" + std::to_string(n), std::move(a), defective});
    };
    // The general paths: the real values' crossover lies between 300 and
    // 1000, the complex ones' between 300 and 400 (complex order 1000 takes
    // long; the symmetric path has no crossover, and eig_test takes it to
    // 1000 and 1200 on the matrices that failed there).
    for (int n : {300, 1000}) {
        add("random", n, entries(n, false, [](int i, int j) { return cx(h(52, i, j)); }));
        add("compan([1 1e-40 1e-80 zeros])", n, companion_with_zero_roots({1, 1e-40, 1e-80}, n), true);
    }
    for (int n : {300, 400})
        add("random complex", n, entries(n, true, [](int i, int j) { return cx(h(53, i, j, 0), h(53, i, j, 1)); }));
    const int n = 300;
    add("1/(i+j+1) (hilbert)", n, entries(n, false, [](int i, int j) { return cx(1.0 / (i + j + 1)); }));
    add("random symmetric", n, entries(n, false, [](int i, int j) { return cx(h(51, std::min(i, j), std::max(i, j))); }));
    for (double offset : {0.5, 3.25, 40.0})
        add("1/(i+j+" + (std::ostringstream() << offset).str() + ")", n,
            entries(n, false, [offset](int i, int j) { return cx(1.0 / (i + j + 2 + offset)); }));
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i)
        d[i] = std::pow(10.0, -8.0 * i / (n - 1));
    add("graded d_i d_j/(1+|i-j|)", n, entries(n, false, [&](int i, int j) { return cx(d[i] * d[j] / (1.0 + std::abs(i - j))); }));
    std::vector<double> clustered(n);
    for (int k = 0; k < n; ++k)
        clustered[k] = (k % 3 == 0 ? 1.0 : k % 3 == 1 ? -2.0 : 1e-8) * (1 + 1e-13 * k);
    add("three clusters 1e-13 wide", n, reflected(clustered, 54));
    add("wilkinson", n, entries(n, false, [](int i, int j) {
            return cx(i == j ? std::fabs(i - (n - 1) / 2.0) : std::abs(i - j) == 1 ? 1 : 0);
        }));
    add("hermitian random", n, entries(n, true, [](int i, int j) {
            const double re = h(55, std::min(i, j), std::max(i, j), 0);
            const double im = i == j ? 0 : h(55, std::min(i, j), std::max(i, j), 1);
            return cx(re, i < j ? im : -im);
        }));
    add("companion", n, entries(n, false, [](int i, int j) { return cx(i == 0 ? -h(56, 0, j) : i == j + 1 ? 1 : 0); }));
    add("compan([1 1e-20 1e-40 1e-60 zeros])", n, companion_with_zero_roots({1, 1e-20, 1e-40, 1e-60}, n), true);
    add("i*compan([1 -3e-30 2e-60 -5e-90 1e-120 zeros])", n,
        times(companion_with_zero_roots({1, -3e-30, 2e-60, -5e-90, 1e-120}, n), test::complex(1, 1, {0}, {1})), true);
    for (int m : {10, 40, 300}) {
        add("jordan block", m, entries(m, false, [](int i, int j) { return cx(j == i + 1 ? 1 : 0); }), true);
        add("jordan block of 2 and 1e10", m,
            entries(m, false, [](int i, int j) { return cx(i == j ? 2 : j == i + 1 ? (i % 2 ? 1e10 : 1) : 0); }), true);
        add("compan([1 -2 1 zeros]) (double root 1)", m, companion_with_zero_roots({1, -2, 1}, m), true);
        add("compan([1 2e-5 1e-10 3e-15 1e-20 4e-25 zeros])", m,
            companion_with_zero_roots({1, 2e-5, 1e-10, 3e-15, 1e-20, 4e-25}, m), true);
    }
    return cases;
}

TEST(Gallery, EigPastTheCrossoversAndDefective)
{
    for (const LargeEigCase& c : large_eig_cases()) {
        Verdict v;
        const int n = c.a.rows();
        const bool hermitian = ishermitian(c.a) == 1;
        double big = 0;
        for (const cx& z : to_cmat(c.a).v)
            big = std::max(big, std::abs(z));
        for (bool balanced : {true, false}) {
            const std::string form = balanced ? "" : "'nobalance': ";
            const Mm w = balanced ? eig(c.a) : eig(c.a, test::text("nobalance"));
            Mm V, D;
            if (balanced)
                eig(c.a, i_o, V, D);
            else
                eig(c.a, test::text("nobalance"), i_o, V, D);
            v.require(w.rows() == n && V.rows() == n && D.rows() == n, form + "n eigenvalues and vectors");
            if (w.rows() != n || V.rows() != n || D.rows() != n)
                break;
            v.require(!any_nan(w) && !any_nan(V) && !any_nan(D), form + "no NaN");
            v.within(form + "worst column |Av - λv| / (n eps |A|_F |v|)", linalg_test::worst_eigenvector_residual(c.a, V, D),
                     20);
            const cmat vecs = to_cmat(V), d = to_cmat(D), values = to_cmat(w);
            v.within(form + "|column norm - 1| / (n eps)", ratio(worst_column_norm_error(vecs), n * eps), 20);
            if (hermitian) {
                v.within(form + "|VᴴV - I| / (n eps)", linalg_test::departure_from_orthonormal_columns(V), 20);
                bool ascending = !w.isc() && !D.isc();
                double apart = 0;
                for (int k = 0; k < n && ascending; ++k) {
                    ascending = k == 0 || values(k - 1, 0).real() <= values(k, 0).real();
                    apart = std::max(apart, std::abs(values(k, 0) - d(k, k)));
                }
                v.require(ascending, form + "real eigenvalues, ascending");
                v.within(form + "|eig(A) - diag(D)| / (n eps max|A|)", ratio(apart, n * eps * big), 20);
            } else if (!c.defective) {
                // The values alone (another iteration from 300 or 1000 on)
                // are those the vectors belong to, to rounding.
                double apart = 0;
                for (int k = 0; k < n; ++k) {
                    double nearest = INFINITY;
                    for (int j = 0; j < n; ++j)
                        nearest = std::min(nearest, std::abs(values(k, 0) - d(j, j)));
                    apart = std::max(apart, nearest);
                }
                v.within(form + "eig(A) from the nearest of diag(D) / (n eps n max|A|)", ratio(apart, n * eps * n * big),
                         20);
            }
        }
        if (!v.ok())
            ADD_FAILURE() << c.name << ": " << v.text();
    }
}

TEST(Gallery, SchurAndHess)
{
    sweep("schur", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        const double a1 = norm1(c.A);
        Mm U, T;
        schur(c.a, i_o, U, T);
        v.require(!any_nan(U) && !any_nan(T), "no NaN");
        const cmat u = to_cmat(U), t = to_cmat(T);
        v.within("|A - UTUᴴ| / (n eps |A|)", ratio(norm1(minus(c.A, product(product(u, t), ctrans(u)))), n * eps * a1), 20);
        v.within("|UᴴU - I| / (n eps)", departure_from_orthonormal(u), 20);
        if (T.isc() || c.a.isc())
            v.require(zero_below(t, 0), "T upper triangular");
        else {
            // Quasi-triangular: 1x1 blocks and 2x2 blocks that do not touch.
            bool quasi = zero_below(t, 1);
            for (int k = 1; k + 1 < n; ++k)
                quasi = quasi && (t(k, k - 1) == cx(0) || t(k + 1, k) == cx(0));
            v.require(quasi, "T quasi-triangular");
        }
        v.require(test::values(schur(c.a)) == test::values(T), "schur(A) is the T of [U,T] = schur(A)");

        Mm P, H;
        hess(c.a, i_o, P, H);
        v.require(!any_nan(P) && !any_nan(H), "hess: no NaN");
        const cmat p = to_cmat(P), hh = to_cmat(H);
        v.within("hess: |A - PHPᴴ| / (n eps |A|)", ratio(norm1(minus(c.A, product(product(p, hh), ctrans(p)))), n * eps * a1),
                 20);
        v.within("hess: |PᴴP - I| / (n eps)", departure_from_orthonormal(p), 20);
        v.require(zero_below(hh, 1), "H upper Hessenberg");
    });
}

// A·x = λ·B·x for real A, with B the identity and a Gram matrix: the QZ
// form Q·A·Z = AA (quasi-triangular), Q·B·Z = BB (triangular) with Q and Z
// orthogonal, and the eigenvectors' residual |AV - BVD|.
TEST(Gallery, GeneralizedEigenproblem)
{
    sweep("eig(A,B) and qz", true, [](const GalleryCase& c, Verdict& v) {
        if (c.a.isc())
            return;  // the QZ method here is for real pairs
        const int n = c.n;
        const cmat b_gram = gram(n, 44, false);
        for (const cmat& bm : {eye(n, n), b_gram}) {
            const std::string tag = bm.v == b_gram.v && n > 1 ? "B Gram: " : "B = I: ";
            const Mm B = to_mm(bm, false);
            Mm AA, BB, Q, Z;
            qz(c.a, B, i_o, AA, BB, Q, Z);
            v.require(!any_nan(AA) && !any_nan(BB) && !any_nan(Q) && !any_nan(Z), tag + "qz: no NaN");
            cmat aa = to_cmat(AA), bb = to_cmat(BB);
            const cmat q = to_cmat(Q), z = to_cmat(Z);
            if (n > 1)
                bb(n - 1, 0) = 0;  // where the iteration leaves its tolerance
            const cmat ua = unit(c.A), uaa = unit(aa, c.A);
            v.within(tag + "|QAZ - AA| / (n eps |A|)", ratio(norm1(minus(product(product(q, ua), z), uaa)), n * eps * norm1(ua)),
                     20);
            v.within(tag + "|QBZ - BB| / (n eps |B|)", ratio(norm1(minus(product(product(q, bm), z), bb)), n * eps * norm1(bm)),
                     20);
            v.within(tag + "|QᴴQ - I| / (n eps)", departure_from_orthonormal(q), 20);
            v.within(tag + "|ZᴴZ - I| / (n eps)", departure_from_orthonormal(z), 20);
            v.require(zero_below(bb, 0) && zero_below(aa, 1), tag + "AA quasi-triangular, BB triangular");

            Mm V, D;
            eig(c.a, B, i_o, V, D);
            v.require(!any_nan(V) && !any_nan(D), tag + "eig(A,B): no NaN");
            const cmat vecs = to_cmat(V), d = to_cmat(D);
            cmat bvd = product(bm, vecs);
            double dmax = 0;
            for (int j = 0; j < n; ++j) {
                dmax = std::max(dmax, std::abs(d(j, j)));
                for (int i = 0; i < n; ++i)
                    bvd(i, j) *= d(j, j);
            }
            v.within(tag + "|AV - BVD| / (n eps (|A| + |B| max|d|) |V|)",
                     ratio(norm1(minus(product(c.A, vecs), bvd)), n * eps * (norm1(c.A) + norm1(bm) * dmax) * norm1(vecs)), 20);
        }
    });
}

// sqrtm of Hermitian positive definite matrices and of their negatives,
// at unit scale and scaled by 2^-1000: X² = A to rounding, X complex exactly
// when A is complex or negative definite. logm(expm(B)) of a real B of
// norm 1/2: real, and B again (to what the eigenvectors' condition allows).
TEST(Gallery, SquareRootAndLogarithm)
{
    sweep("sqrtm and logm", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        const bool definite = c.family == "gram" || c.family == "hermitian gram" || c.family == "identity" ||
                              (c.family == "hilbert" && n <= 10);
        if (definite)
            for (double sign : {1.0, -1.0})
                for (int e : {0, -1000}) {
                    const std::string tag = std::string(sign < 0 ? "sqrtm(-" : "sqrtm(") + (e ? "2^-1000*A)" : "A)");
                    cmat g = c.A;
                    for (cx& x : g.v)
                        x = sign * cx(std::ldexp(x.real(), e), std::ldexp(x.imag(), e));
                    const Mm X = sqrtm(to_mm(g, c.a.isc()));
                    v.require(!any_nan(X), tag + ": no NaN");
                    bool imaginary_part = false;
                    for (const cx& x : c.A.v)
                        imaginary_part = imaginary_part || x.imag() != 0;
                    v.require(bool(X.isc()) == (imaginary_part || sign < 0),
                              tag + ": complex exactly when A is complex or negative");
                    const cmat x = to_cmat(X);
                    v.within(tag + ": |X² - A| / (n eps |X|²)", ratio(norm1(minus(product(x, x), g)), n * eps * norm1(x) * norm1(x)),
                             50);
                }
        if (c.a.isc() || c.scaled || c.graded || norm1(c.A) == 0)
            return;
        cmat b = c.A;
        const double half = 0.5 / norm1(c.A);
        for (cx& x : b.v)
            x *= half;
        const Mm B = to_mm(b, false);
        const Mm E = expm(B);
        const Mm L = logm(E);
        v.require(!L.isc(), "logm(expm(B)) of a real B of norm 1/2 is real");
        // logm works through the eigenvectors of expm(B).
        Mm V, D;
        eig(E, i_o, V, D);
        const double kappa = cond(V).addr()[0];
        if (kappa * n * eps < 1e-6)
            v.within("|logm(expm(B)) - B| / (n eps cond(V))", ratio(norm1(minus(to_cmat(L), b)), n * eps * kappa), 100);
    });
}

// ---------------------------------------------------------------------------
// inv, det and the functions of the singular values
// ---------------------------------------------------------------------------

TEST(Gallery, InvAndDet)
{
    sweep("inv and det", true, [](const GalleryCase& c, Verdict& v) {
        const int n = c.n;
        // The inverse from the LU factors (U's inverse, then the solve with
        // L) has a small left residual: XA - I, not AX - I, which an
        // ill-conditioned A can make large.
        const Mm X = inv(c.a);
        if (all_finite(X)) {
            const cmat x = to_cmat(X);
            v.within("|XA - I| / (n eps |A| |X|)", ratio(norm1(minus(product(x, c.A), eye(n, n))), n * eps * norm1(c.A) * norm1(x)),
                     30);
        } else
            v.require(c.rank != n, "an Inf or NaN inverse only for a singular matrix");
        if (c.scaled)
            return;  // det of 2^±1000-sized entries over- or underflows
        const double d = det(c.a).addr()[0];
        const Mm dm = det(c.a);
        const cx dz(dm.addr()[0], dm.isc() ? dm.addi()[0] : 0.0);
        v.require(std::isfinite(std::abs(dz)) || c.graded, "a finite determinant");
        // Hadamard: |det A| <= the product of the column norms.
        double log_bound = 0;
        bool zero_column = false;
        for (int j = 0; j < n; ++j) {
            const double s = column_norm(c.A, j);
            zero_column = zero_column || s == 0;
            log_bound += std::log(s);
        }
        if (zero_column)
            v.require(dz == cx(0), "det 0 for a zero column");
        else if (std::abs(dz) != 0 && std::isfinite(std::abs(dz)))
            v.require(std::log(std::abs(dz)) <= log_bound + 4 * n * eps + 1e-12, "|det| within Hadamard's bound");
        // The product of U's diagonal from [L,U,P] = lu(A), with P's sign.
        Mm L, U, P;
        lu(c.a, i_o, L, U, P);
        const cmat u = to_cmat(U), p = to_cmat(P);
        cx prod = 1;
        std::vector<int> perm(n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (p(i, j) == cx(1))
                    perm[i] = j;
        int swaps = 0;
        for (int i = 0; i < n; ++i)
            while (perm[i] != i) {
                std::swap(perm[i], perm[perm[i]]);
                ++swaps;
            }
        for (int i = 0; i < n; ++i)
            prod *= u(i, i);
        if (swaps % 2)
            prod = -prod;
        // Two eliminations agree to what A's conditioning allows.
        const double kappa = cond(c.a).addr()[0];
        if (std::isfinite(std::abs(prod)) && std::abs(prod) > 0 && std::isfinite(d) && kappa * n * eps < 1e-3)
            v.within("|det(A) - prod(diag(U))| / (n eps cond(A) |det|)",
                     ratio(std::abs(dz - prod), n * eps * kappa * std::abs(prod)), 8);
    });
}

TEST(Gallery, RankNormCond)
{
    sweep("rank, norm and cond", false, [](const GalleryCase& c, Verdict& v) {
        const int m = c.m, n = c.n, k = std::min(m, n), big = std::max(m, n);
        const Mm r = rank(c.a);
        v.require(!any_nan(r), "rank not NaN");
        if (c.rank >= 0)
            v.require(int(r.addr()[0]) == c.rank,
                      "rank " + std::to_string(int(r.addr()[0])) + ", numpy's " + std::to_string(c.rank));
        const double two = norm(c.a).addr()[0];
        v.require(std::isfinite(two) || c.scaled, "a finite 2-norm");
        const double fro = frobenius(c.A);
        const double widest = widest_column(c.A);
        const double slack = 4 * big * eps;
        v.require(two <= fro * (1 + slack) && two * std::sqrt(double(std::max(k, 1))) >= fro * (1 - slack) &&
                      two >= widest * (1 - slack),
                  "|A|_F/sqrt(min(m,n)) <= norm(A) <= |A|_F, and at least every column's norm");
        // A row's 1-norm is the sum of its magnitudes, as a column's is.
        const double want_one = m == 1 ? norm1(ctrans(c.A)) : norm1(c.A);
        v.within("norm(A, 1) against the largest column sum / (max(m,n) eps)",
                 ratio(std::fabs(norm(c.a, Mm(1.0)).addr()[0] - want_one), big * eps * want_one), 4);
        v.within("norm(A, 'fro') / (max(m,n) eps)", ratio(std::fabs(norm(c.a, test::text("fro")).addr()[0] - fro), big * eps * fro),
                 4);
        const double cnd = cond(c.a).addr()[0];
        v.require(!std::isnan(cnd) && cnd >= 1 - slack, "cond not NaN, at least 1");
        if (c.rank >= 0 && c.rank < k)
            v.require(cnd > 1 / (big * eps), "cond of a rank-deficient matrix beyond 1/(max(m,n) eps)");
    });
}

TEST(Gallery, NullOrthPinv)
{
    sweep("null, orth and pinv", false, [](const GalleryCase& c, Verdict& v) {
        const int m = c.m, n = c.n, big = std::max(m, n);
        const double a1 = norm1(c.A);
        const int r = int(rank(c.a).addr()[0]);
        // An empty basis is 0x0 in this library.
        const Mm N = null(c.a);
        v.require(!any_nan(N), "null: no NaN");
        const cmat z = to_cmat(N);
        v.require(r == n ? isempty(N) : z.rows == n && z.cols == n - r, "null: n - rank columns");
        if (z.cols > 0) {
            v.within("null: |NᴴN - I| / (n eps)", departure_from_orthonormal(z), 30);
            v.within("null: |AN| / (max(m,n) eps |A|)", ratio(norm1(product(c.A, z)), big * eps * a1), 30);
        }
        const Mm Q = orth(c.a);
        v.require(!any_nan(Q), "orth: no NaN");
        const cmat q = to_cmat(Q);
        v.require(r == 0 ? isempty(Q) : q.rows == m && q.cols == r, "orth: rank columns");
        if (q.cols > 0) {
            v.within("orth: |QᴴQ - I| / (m eps)", departure_from_orthonormal(q), 30);
            v.within("orth: |A - QQᴴA| / (max(m,n) eps |A|)",
                     ratio(norm1(minus(c.A, product(q, product(q, c.A, true)))), big * eps * a1), 30);
        }
        const Mm X = pinv(c.a);
        v.require(!any_nan(X), "pinv: no NaN");
        const cmat x = to_cmat(X);
        v.require(x.rows == n && x.cols == m, "pinv: n-by-m");
        if (x.rows != n || x.cols != m)
            return;
        const double x1 = norm1(x), scale = big * eps * a1 * x1;
        const cmat ax = product(c.A, x), xa = product(x, c.A);
        v.within("pinv: |AXA - A| / (max(m,n) eps |A|² |X|)", ratio(norm1(minus(product(ax, c.A), c.A)), scale * a1), 50);
        v.within("pinv: |XAX - X| / (max(m,n) eps |A| |X|²)", ratio(norm1(minus(product(xa, x), x)), scale * x1), 50);
        v.within("pinv: |AX - (AX)ᴴ| / (max(m,n) eps |A| |X|)", ratio(norm1(minus(ax, ctrans(ax))), scale), 50);
        v.within("pinv: |XA - (XA)ᴴ| / (max(m,n) eps |A| |X|)", ratio(norm1(minus(xa, ctrans(xa))), scale), 50);
    });
}

// ---------------------------------------------------------------------------
// Solves: A\b and b/A, dense and sparse, in every branch
// ---------------------------------------------------------------------------

cmat right_sides(int rows, int cols, int seed)
{
    return build(rows, cols, [seed](int i, int j) { return cx(h(seed, i, j)); });
}

// x solves A x = b (or, through transposes, x A = b): a square A needs a
// small backward error, or a singular A to excuse an Inf or NaN answer; a
// rectangular one a least-squares solution (Aᴴr small beside |A|(|A||x| +
// |b|)), and a consistent one, when A has full row rank, a small residual.
void check_solution(const std::string& form, const GalleryCase& c, const cmat& a, const cmat& x, const cmat& b,
                    bool finite, Verdict& v)
{
    const int m = a.rows, n = a.cols, big = std::max(m, n);
    if (!finite) {
        v.require(m == n && c.rank != n, form + ": Inf or NaN only for a singular square matrix");
        return;
    }
    const double a1 = norm1(a), x1 = norm1(x), b1 = norm1(b);
    const cmat r = minus(b, product(a, x));
    if (m == n) {
        v.within(form + ": |b - Ax| / (n eps |A| |x|)", ratio(norm1(r), n * eps * a1 * x1), 30);
        return;
    }
    v.within(form + ": |Aᴴ(b - Ax)| / (max(m,n) eps |A| (|A||x| + |b|))",
             ratio(norm1(product(a, r, true)), big * eps * a1 * (a1 * x1 + b1)), 30);
    if (m < n && c.rank == std::min(c.m, c.n))
        v.within(form + ": consistent, |b - Ax| / (max(m,n) eps (|A||x| + |b|))", ratio(norm1(r), big * eps * (a1 * x1 + b1)),
                 30);
}

void check_solves(const GalleryCase& c, bool sparse_form, Verdict& v)
{
    const Mm a = sparse_form ? sparse(c.a) : c.a;
    const std::string tag = sparse_form ? "sparse " : "";
    const cmat b = right_sides(c.m, 2, 51);
    const Mm x = mldivide(a, to_mm(b, false));
    v.require(x.rows() == c.n && x.cols() == 2, tag + "A\\b: n-by-2");
    if (x.rows() == c.n && x.cols() == 2)
        check_solution(tag + "A\\b", c, c.A, to_cmat(x), b, all_finite(x), v);
    // b/A: x A = b, that is Aᵀ xᵀ = bᵀ.
    const cmat bt = right_sides(2, c.n, 52);
    const Mm y = mrdivide(to_mm(bt, false), a);
    v.require(y.rows() == 2 && y.cols() == c.m, tag + "b/A: 2-by-m");
    if (y.rows() == 2 && y.cols() == c.m)
        check_solution(tag + "b/A", c, transpose(c.A), transpose(to_cmat(y)), transpose(bt), all_finite(y), v);
}

TEST(Gallery, DenseSolves)
{
    sweep("dense solves", false, [](const GalleryCase& c, Verdict& v) { check_solves(c, false, v); });
}

TEST(Gallery, SparseSolves)
{
    sweep("sparse solves", false, [](const GalleryCase& c, Verdict& v) { check_solves(c, true, v); });
}

// ---------------------------------------------------------------------------
// Arguments that are not finite
// ---------------------------------------------------------------------------

// A NaN, Inf or -Inf at the first, a middle or the last element of a
// random matrix (both triangles of a Hermitian one), through every
// decomposition and matrix function, real and complex, past the blocked
// orders: each call ends, and raises an error or returns a NaN or Inf
// somewhere, never a finite guess. Left division of a matrix with an Inf
// was finite, least squares with a NaN in a wide matrix too, and eig, sqrtm
// and fractional powers of a symmetric matrix with an Inf were finite or
// never returned.
TEST(Gallery, ArgumentsThatAreNotFiniteGiveNoFiniteGuess)
{
    using Outputs = std::vector<Mm>;
    struct Call {
        const char* name;
        bool hermitian; // the argument is made Hermitian, the bad value mirrored
        std::function<Mm(const Mm&)> shape;
        std::function<Outputs(const Mm&)> run;
    };
    auto square = [](const Mm& a) { return a; };
    auto positive = [](const Mm& a) { return mtimes(ctranspose(a), a) + double(a.rows()) * ::eye(double(a.rows())); };
    auto tall = [](const Mm& a) { return vertcat(a, 0.5 * a); };
    auto wide = [](const Mm& a) { return horzcat(a, 0.5 * a); };
    auto rhs = [](const Mm& a) { return ones(double(a.rows()), 2.0); };
    const std::vector<Call> calls = {
        {"chol", true, positive, [](const Mm& a) { return Outputs{chol(a)}; }},
        {"lu", false, square, [](const Mm& a) { Mm L, U, P; lu(a, i_o, L, U, P); return Outputs{L, U, P, lu(a)}; }},
        {"qr", false, square, [](const Mm& a) { Mm Q, R, E; qr(a, i_o, Q, R, E); return Outputs{Q, R, E, qr(a)}; }},
        {"economy qr", false, tall, [](const Mm& a) { Mm Q, R, E; qr(a, Mm(0.0), i_o, Q, R, E); return Outputs{Q, R, E}; }},
        {"det", false, square, [](const Mm& a) { return Outputs{det(a)}; }},
        {"inv", false, square, [](const Mm& a) { return Outputs{inv(a)}; }},
        {"inv of a triangle", false, [](const Mm& a) { return triu(a) + 3.0 * ::eye(double(a.rows())); },
         [](const Mm& a) { return Outputs{inv(a)}; }},
        {"mldivide", false, square, [&](const Mm& a) { return Outputs{mldivide(a, rhs(a))}; }},
        {"mldivide symmetric", true, square, [&](const Mm& a) { return Outputs{mldivide(a, rhs(a))}; }},
        {"mldivide triangle", false, [](const Mm& a) { return tril(a) + 3.0 * ::eye(double(a.rows())); },
         [&](const Mm& a) { return Outputs{mldivide(a, rhs(a))}; }},
        {"mldivide tall", false, tall, [&](const Mm& a) { return Outputs{mldivide(a, rhs(a))}; }},
        {"mldivide wide", false, wide, [&](const Mm& a) { return Outputs{mldivide(a, rhs(a))}; }},
        {"mrdivide", false, square, [](const Mm& a) { return Outputs{mrdivide(ones(2.0, double(a.cols())), a)}; }},
        {"eig", false, square, [](const Mm& a) { Mm V, D; eig(a, i_o, V, D); return Outputs{eig(a), V, D}; }},
        {"eig Hermitian", true, square, [](const Mm& a) { Mm V, D; eig(a, i_o, V, D); return Outputs{eig(a), V, D}; }},
        {"svd", false, square, [](const Mm& a) { Mm U, S, V; svd(a, i_o, U, S, V); return Outputs{svd(a), U, S, V}; }},
        {"economy svd", false, tall,
         [](const Mm& a) { Mm U, S, V; svd(a, Mm(0.0), i_o, U, S, V); return Outputs{U, S, V}; }},
        {"schur", false, square, [](const Mm& a) { Mm U, T; schur(a, i_o, U, T); return Outputs{U, T}; }},
        {"hess", false, square, [](const Mm& a) { Mm P, H; hess(a, i_o, P, H); return Outputs{P, H}; }},
        {"balance", false, square, [](const Mm& a) { Mm T, B; balance(a, i_o, T, B); return Outputs{T, B}; }},
        {"expm", false, square, [](const Mm& a) { return Outputs{expm(a)}; }},
        {"logm", false, positive, [](const Mm& a) { return Outputs{logm(a)}; }},
        {"sqrtm", true, positive, [](const Mm& a) { return Outputs{sqrtm(a)}; }},
        {"mpower 3", false, square, [](const Mm& a) { return Outputs{mpower(a, Mm(3.0))}; }},
        {"mpower -2", false, square, [](const Mm& a) { return Outputs{mpower(a, Mm(-2.0))}; }},
        {"mpower 0.5", true, positive, [](const Mm& a) { return Outputs{mpower(a, Mm(0.5))}; }},
        {"null", false, wide, [](const Mm& a) { return Outputs{null(a)}; }},
        {"orth", false, wide, [](const Mm& a) { return Outputs{orth(a)}; }},
        {"norm", false, square,
         [](const Mm& a) {
             return Outputs{norm(a, Mm(1.0)), norm(a), norm(a, Mm(INFINITY)), norm(a, test::text("fro"))};
         }},
        {"cond", false, square, [](const Mm& a) { return Outputs{cond(a)}; }},
    };
    for (const Call& call : calls)
        for (bool complex : {false, true})
            for (int n : {2, 3, 13, 49, 101})
                for (double bad : {NAN, INFINITY, -INFINITY})
                    for (int where = 0; where < 3; ++where) {
                        Mm a = call.shape(hash_matrix(n, n, complex, n));
                        if (call.hermitian)
                            a = 0.5 * (a + ctranspose(a));
                        const int rows = a.rows(), cols = a.cols();
                        const int i = where == 0 ? 0 : where == 1 ? rows / 2 : rows - 1;
                        const int j = where == 0 ? 0 : where == 1 ? cols / 3 : cols - 1;
                        a.addr()[i + std::size_t(j) * rows] = bad;
                        if (call.hermitian)
                            a.addr()[j + std::size_t(i) * rows] = bad;
                        SCOPED_TRACE(std::string(call.name) + (complex ? " complex " : " real ") + std::to_string(n) + ", " +
                                     std::to_string(bad) + " at (" + std::to_string(i) + ", " + std::to_string(j) + ")");
                        Outputs out;
                        const std::string message = test::error_of([&] { out = call.run(a); });
                        if (!message.empty())
                            continue;
                        bool shown = false;
                        for (const Mm& x : out)
                            for (const cx& z : to_cmat(x).v)
                                shown = shown || !std::isfinite(z.real()) || !std::isfinite(z.imag());
                        EXPECT_TRUE(shown);
                    }
}

// The last row a copy of the first, exactly or to 1e-14 or 1e-8, in a
// plain, Hermitian, triangular and lower triangular matrix, real and
// complex, at orders across every blocked and multishift crossover: each
// factorisation reproduces A to rounding with its unitary factors
// orthonormal (LU, QR, SVD, Schur), every eigenvector column is one, and
// left division of a nonsingular one is backward stable.
TEST(Gallery, NearCopiesOfARowPastTheCrossovers)
{
    auto relative = [](const Mm& a, const Mm& b, int n) {
        const cmat A = to_cmat(a), B = to_cmat(b);
        return max_abs_diff(A, B) / (max_abs(A) * n * eps);
    };
    for (bool complex : {false, true})
        for (int n : {2, 3, 13, 33, 48, 49, 65, 97, 101, 121, 200})
            for (double d : {0.0, 1e-14, 1e-8})
                for (const char* form : {"plain", "Hermitian", "upper", "lower"}) {
                    SCOPED_TRACE(std::to_string(n) + (complex ? " complex " : " real ") + form + ", copy to " +
                                 std::to_string(std::log10(d)));
                    Mm a = hash_matrix(n, n, complex, n + 7);
                    for (int j = 0; j < n; ++j) {
                        const std::size_t last = n - 1 + std::size_t(j) * n, first = std::size_t(j) * n;
                        a.addr()[last] = a.addr()[first] * (1 + d * (1 + j % 3));
                        if (complex)
                            a.addi()[last] = a.addi()[first];
                    }
                    const std::string f = form;
                    if (f == "Hermitian")
                        a = a + ctranspose(a);
                    else if (f == "upper")
                        a = triu(a) + 2.0 * ::eye(double(n));
                    else if (f == "lower")
                        a = tril(a);
                    Mm L, U, P, Q, R, S, W, V, D, T;
                    lu(a, i_o, L, U, P);
                    EXPECT_LE(relative(P * a, L * U, n), 30);
                    qr(a, i_o, Q, R);
                    EXPECT_LE(relative(a, Q * R, n), 30);
                    EXPECT_LE(departure_from_orthonormal_columns(Q), 30);
                    svd(a, i_o, U, S, W);
                    EXPECT_LE(relative(a, U * S * ctranspose(W), n), 50);
                    EXPECT_LE(departure_from_orthonormal_columns(U), 50);
                    EXPECT_LE(departure_from_orthonormal_columns(W), 50);
                    eig(a, i_o, V, D);
                    EXPECT_LE(worst_eigenvector_residual(a, V, D), 20);
                    schur(a, i_o, U, T);
                    EXPECT_LE(relative(a, U * T * ctranspose(U), n), 30);
                    EXPECT_LE(departure_from_orthonormal_columns(U), 30);
                    // An exact copy leaves the plain matrix singular (a zero
                    // pivot where no rounding hides it: Inf or NaN).
                    if (d == 0 && f == "plain")
                        continue;
                    const Mm b = a * ones(double(n), 1.0);
                    EXPECT_LE(solve_residual(a, mldivide(a, b), b), 30);
                }
}

} // namespace
