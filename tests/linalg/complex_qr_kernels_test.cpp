// comqr, comqr2 and complex_schur_qr: fixed cases, the triangular Schur
// form and its unitary basis, the job codes, and the exceptional shift of a
// 2x2 block that never converges, by the single-shift iteration and, for
// large blocks, the multishift one.
#include "dense_matrix.hpp"
#include "engine/split_gemm.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct BudgetOff {
    BudgetOff() { eigen_budget_scale = 0; }
    ~BudgetOff() { eigen_budget_scale = 1; }
};

struct Result {
    test::dense h, z;
    std::vector<double> wr, wi;
    int ierr = -1;
};

// corth (after cbal when asked), then the kernel: job -1 is comqr, -2
// comqr2 (with cbabk2 when balanced), 0..3 complex_schur_qr. With work, the
// blocked reduction and (for blocks above the multishift orders) the
// multishift iteration.
Result reduce_and_iterate(const test::dense& a, int job, bool balance = false, bool with_work = false)
{
    int n = a.rows, low = 1, igh = n;
    Result r{a, test::dense(n, n), std::vector<double>(n, -7), std::vector<double>(n, -7)};
    std::fill(r.z.re.begin(), r.z.re.end(), 7.0);
    std::fill(r.z.im.begin(), r.z.im.end(), 7.0);
    std::vector<double> scale(n), ortr(n, 0.0), orti(n, 0.0), space;
    if (with_work)
        space.resize(complex_qr_work_size(n));
    double* work = with_work ? space.data() : nullptr;
    if (balance)
        cbal(&n, &n, r.h.re.data(), r.h.im.data(), &low, &igh, scale.data());
    corth(&n, &n, &low, &igh, r.h.re.data(), r.h.im.data(), ortr.data(), orti.data(), work);
    if (job == -1)
        comqr(&n, &n, &low, &igh, r.h.re.data(), r.h.im.data(), r.wr.data(), r.wi.data(), &r.ierr, work);
    else if (job == -2) {
        comqr2(&n, &n, &low, &igh, ortr.data(), orti.data(), r.h.re.data(), r.h.im.data(), r.wr.data(), r.wi.data(),
               r.z.re.data(), r.z.im.data(), &r.ierr, work);
        if (balance)
            cbabk2(&n, &n, &low, &igh, scale.data(), &n, r.z.re.data(), r.z.im.data());
    } else
        complex_schur_qr(&n, &n, &low, &igh, ortr.data(), orti.data(), r.h.re.data(), r.h.im.data(), r.wr.data(),
                         r.wi.data(), r.z.re.data(), r.z.im.data(), &job, &r.ierr, work);
    return r;
}

TEST(ComplexHessenbergQr, OneByOne)
{
    test::dense a(1, 1);
    a.set(0, 0, cx(2, -3));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        const Result r = reduce_and_iterate(a, job);
        EXPECT_EQ(r.ierr, 0);
        EXPECT_EQ(r.wr[0], 2);
        EXPECT_EQ(r.wi[0], -3);
        if (job == -2 || job >= 1) {
            EXPECT_EQ(r.z.re[0], 1);
            EXPECT_EQ(r.z.im[0], 0);
        }
    }
}

TEST(ComplexHessenbergQr, DiagonalNeedsNoIteration)
{
    BudgetOff off;
    test::dense a(3, 3);
    a.set(0, 0, cx(1, 1));
    a.set(1, 1, cx(-2, 0));
    a.set(2, 2, cx(0, 5));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        const Result r = reduce_and_iterate(a, job);
        EXPECT_EQ(r.ierr, 0);
        EXPECT_EQ(r.wr, (std::vector<double>{1, -2, 0}));
        EXPECT_EQ(r.wi, (std::vector<double>{1, 0, 5}));
        if (job == -2 || job == 2) {
            EXPECT_EQ(r.z.re, test::dense::identity(3).re);
            EXPECT_EQ(r.z.im, test::dense::identity(3).im);
        }
    }
}

TEST(ComplexHessenbergQr, ZeroFirstColumnKeepsTheFirstUnitVector)
{
    test::dense a = test::dense::random(4, 4, 3, true);
    for (int i = 0; i < 4; ++i)
        a.set(i, 0, 0.0);
    for (bool balance : {false, true}) {
        SCOPED_TRACE(balance);
        const Result r = reduce_and_iterate(a, -2, balance);
        ASSERT_EQ(r.ierr, 0);
        int zero = -1;
        for (int k = 0; k < 4; ++k)
            if (r.wr[k] == 0 && r.wi[k] == 0)
                zero = k;
        ASSERT_GE(zero, 0);
        EXPECT_EQ(std::abs(r.z(0, zero)), 1);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(std::abs(r.z(i, zero)), 0);
    }
}

TEST(ComplexSchurQr, TriangularFormAndUnitaryBasis)
{
    for (int n : {2, 3, 6, 15}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 200 + n, true);
        Result r = reduce_and_iterate(a, 1);
        ASSERT_EQ(r.ierr, 0);
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i)
                r.h.set(i, j, 0.0);
        EXPECT_LE(test::departure_from_unitary(r.z), 30 * n * eps);
        const double residual =
            test::difference(test::product(test::product(r.z, r.h), test::adjoint(r.z)), a).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(r.h(k, k).real(), r.wr[k]);
            EXPECT_EQ(r.h(k, k).imag(), r.wi[k]);
        }

        // Job 0: the same eigenvalues, Z untouched.
        const Result values = reduce_and_iterate(a, 0);
        EXPECT_EQ(values.wr, r.wr);
        EXPECT_EQ(values.wi, r.wi);
        EXPECT_EQ(values.z.re, std::vector<double>(n * n, 7.0));
        EXPECT_EQ(values.z.im, std::vector<double>(n * n, 7.0));

        // Job 2 and comqr2: eigenvectors (each scaled so that its last
        // component in the triangular basis is 1, so they may differ by a
        // phase where the iterations rounded differently).
        for (int job : {2, -2}) {
            const Result vectors = reduce_and_iterate(a, job);
            ASSERT_EQ(vectors.ierr, 0);
            for (int k = 0; k < n; ++k) {
                EXPECT_LE(std::abs(cx(vectors.wr[k], vectors.wi[k]) - cx(r.wr[k], r.wi[k])), 1e-12 * a.norm1());
                double res = 0, zn = 0;
                for (int i = 0; i < n; ++i) {
                    cx s = -cx(vectors.wr[k], vectors.wi[k]) * vectors.z(i, k);
                    for (int j = 0; j < n; ++j)
                        s += a(i, j) * vectors.z(j, k);
                    res += std::abs(s);
                    zn += std::abs(vectors.z(i, k));
                }
                EXPECT_LE(res, 20 * n * eps * a.norm1() * zn) << "job " << job << ", vector " << k;
            }
        }
        // comqr agrees up to rounding.
        const Result plain = reduce_and_iterate(a, -1);
        for (int k = 0; k < n; ++k)
            EXPECT_LE(std::abs(cx(plain.wr[k], plain.wi[k]) - cx(r.wr[k], r.wi[k])), 1e-12 * a.norm1());
    }
}

TEST(ComplexHessenbergQr, BlockThatNeverConvergesStopsCleanly)
{
    // A 2x2 block of NaN runs through both exceptional shifts, which must not
    // reach outside the block, and ends with ierr = 2.
    test::dense a(2, 2);
    a.set(0, 0, cx(qnan, 1));
    a.set(1, 0, cx(1, 0));
    a.set(0, 1, cx(2, 0));
    a.set(1, 1, cx(qnan, 0));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        EXPECT_EQ(reduce_and_iterate(a, job).ierr, 2);
    }
    BudgetOff off;
    const test::dense b = test::dense::random(3, 3, 8, true);
    EXPECT_EQ(reduce_and_iterate(b, -1).ierr, 3);
    EXPECT_EQ(reduce_and_iterate(b, 1).ierr, 3);
}

// ---- the multishift iteration on large blocks ----

// a·op(b) by the split product, op 'N' or 'T' (b as stored).
test::dense times(const test::dense& a, const test::dense& b)
{
    test::dense c(a.rows, b.cols);
    split_gemm("N", "N", a.rows, b.cols, a.cols, 1.0, a.re.data(), a.im.data(), a.rows, b.re.data(), b.im.data(),
               b.rows, 0.0, c.re.data(), c.im.data(), c.rows);
    return c;
}

// A gallery of complex matrices the iteration meets: entry(i, j) from 0.
struct Structured {
    const char* name;
    std::function<cx(int, int, int, std::mt19937_64&)> entry;
};

cx gaussian(std::mt19937_64& g)
{
    std::normal_distribution<double> normal;
    const double re = normal(g);
    return {re, normal(g)};
}

const std::vector<Structured> structured = {
    {"random", [](int, int, int, std::mt19937_64& g) { return gaussian(g); }},
    {"(1+0.5i)*ones", [](int, int, int, std::mt19937_64&) { return cx(1, 0.5); }},
    {"graded by 1e+-100",
     [](int i, int j, int n, std::mt19937_64& g) { return gaussian(g) * std::pow(10.0, 100.0 * (i - j) / n); }},
    {"companion", [](int i, int j, int, std::mt19937_64& g) {
         return i == 0 ? gaussian(g) : i == j + 1 ? cx(1) : cx(0);
     }},
    {"nilpotent Jordan block", [](int i, int j, int, std::mt19937_64&) { return j == i + 1 ? cx(1) : cx(0); }},
    {"unit circle, weakly coupled",
     [](int i, int j, int n, std::mt19937_64& g) {
         const cx c = gaussian(g) * 1e-8;
         return i == j ? std::polar(1.0, 6.283185307179586 * i / n) : j > i ? c : cx(0);
     }},
    {"upper triangular", [](int i, int j, int, std::mt19937_64& g) { return i <= j ? gaussian(g) : cx(0); }},
    {"repeated rows",
     [](int i, int j, int, std::mt19937_64&) { return cx(std::sin(1.0 + j), i % 3 == 0 ? 0.0 : double(j)); }},
    {"Hermitian", [](int i, int j, int, std::mt19937_64&) {
         return i == j ? cx(std::cos(i)) : i < j ? cx(std::sin(i + 2.0 * j), std::cos(3.0 * i + j)) * 0.5
                                                 : cx(std::sin(j + 2.0 * i), -std::cos(3.0 * j + i)) * 0.5;
     }},
};

test::dense structured_matrix(const Structured& s, int n)
{
    std::mt19937_64 g(4321 + n);
    test::dense a(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            a.set(i, j, s.entry(i, j, n, g));
    return a;
}

// A = Z·T·Zᴴ with Z unitary and T upper triangular: exact zeros below the
// diagonal (past the subdiagonal the kernel may leave leftovers), each
// eigenvalue the diagonal entry at its place.
void expect_complex_schur_form(const test::dense& a, const Result& r)
{
    const int n = a.rows;
    test::dense t = r.h;
    for (int j = 0; j < n; ++j)
        for (int i = j + 2; i < n; ++i)
            t.set(i, j, 0.0);
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(r.wr[k], t(k, k).real()) << "eigenvalue " << k;
        EXPECT_EQ(r.wi[k], t(k, k).imag()) << "eigenvalue " << k;
        if (k > 0) {
            EXPECT_EQ(t(k, k - 1), cx(0)) << "subdiagonal " << k;
        }
    }
    EXPECT_LE(test::difference(times(test::adjoint(r.z), r.z), test::dense::identity(n)).norm1(), 30 * n * eps);
    const double residual = test::difference(times(times(r.z, t), test::adjoint(r.z)), a).norm1();
    EXPECT_LE(residual, 30 * n * eps * a.norm1());
}

// Eigenvalues as a multiset: the largest distance from one list to its
// nearest unused match in the other.
double spectrum_distance(const Result& x, const Result& y)
{
    const int n = int(x.wr.size());
    std::vector<bool> used(n, false);
    double worst = 0;
    for (int k = 0; k < n; ++k) {
        const cx want(x.wr[k], x.wi[k]);
        int best = -1;
        for (int j = 0; j < n; ++j)
            if (!used[j] && (best < 0 || std::abs(cx(y.wr[j], y.wi[j]) - want) < std::abs(cx(y.wr[best], y.wi[best]) - want)))
                best = j;
        used[best] = true;
        worst = std::max(worst, std::abs(cx(y.wr[best], y.wi[best]) - want));
    }
    return worst;
}

// The largest |A·v - λ·v|₁ / (n·eps·|A|₁·|v|₁) over the columns of z.
double vector_residual(const test::dense& a, const Result& r)
{
    const int n = a.rows;
    const test::dense av = times(a, r.z);
    const double anorm = a.norm1();
    double worst = 0;
    for (int k = 0; k < n; ++k) {
        const cx lambda(r.wr[k], r.wi[k]);
        double res = 0, vn = 0;
        for (int i = 0; i < n; ++i) {
            res += std::abs(av(i, k) - lambda * r.z(i, k));
            vn += std::abs(r.z(i, k));
        }
        worst = std::max(worst, res / (n * eps * anorm * vn));
    }
    return worst;
}

// Every job through the multishift iteration (orders 80 to 300) on the
// gallery: the Schur form and its basis, the same form without Z (job 0,
// Z untouched), eigenvectors with small residuals (comqr2 and job 2), and
// the same eigenvalues from comqr and from the single-shift iteration
// (within the conditioning's reach; a nilpotent block's eigenvalues are
// only found to eps^(1/n)).
TEST(ComplexHessenbergQr, MultishiftIterationOnLargeBlocks)
{
    const test::MultishiftEverywhere orders;
    for (int n : {80, 150, 300})
        for (const Structured& s : structured) {
            SCOPED_TRACE(std::string(s.name) + ", n = " + std::to_string(n));
            const test::dense a = structured_matrix(s, n);
            const Result schur = reduce_and_iterate(a, 1, false, true);
            ASSERT_EQ(schur.ierr, 0);
            expect_complex_schur_form(a, schur);
            const Result form = reduce_and_iterate(a, 0, false, true);
            ASSERT_EQ(form.ierr, 0);
            EXPECT_EQ(form.wr, schur.wr) << "the same iteration without Z";
            EXPECT_EQ(form.wi, schur.wi);
            EXPECT_EQ(form.z.re, std::vector<double>(std::size_t(n) * n, 7.0));
            for (int job : {-2, 2}) {
                const Result vectors = reduce_and_iterate(a, job, false, true);
                ASSERT_EQ(vectors.ierr, 0);
                EXPECT_LE(vector_residual(a, vectors), 20) << "job " << job;
            }
            const Result values = reduce_and_iterate(a, -1, false, true);
            const Result plain = reduce_and_iterate(a, -1);
            ASSERT_EQ(values.ierr, 0);
            ASSERT_EQ(plain.ierr, 0);
            const bool defective = std::string(s.name) == "nilpotent Jordan block";
            const double reach = (defective ? 1e-1 : 1e-8) * a.norm1();
            EXPECT_LE(spectrum_distance(values, schur), reach);
            EXPECT_LE(spectrum_distance(plain, values), reach);
        }
}

// Real data held complex, a lower triangle graded by sin(t)^j: its
// reduction leaves trailing 2-by-2 blocks of entries near 1e-231. The
// single shift formed the product of their off-diagonal pair, which
// underflowed to 0: the shift fell back to the corner and the block cycled
// through the whole budget. Given up, the block kept the rotation sines in
// its subdiagonal's imaginary parts, which the multishift iteration's
// deflation window read as entries, and the Schur form came back off by 3
// with no sign of failure. Plain and multishift, values and Schur.
// The single shift at every order while it lives (the blocked reduction
// stays).
struct SingleShiftOnly {
    SingleShiftOnly() { complex_multishift_values_order = complex_multishift_vectors_order = std::numeric_limits<int>::max(); }
    ~SingleShiftOnly()
    {
        complex_multishift_values_order = values;
        complex_multishift_vectors_order = vectors;
    }
    int values = complex_multishift_values_order, vectors = complex_multishift_vectors_order;
};

TEST(ComplexHessenbergQr, TinyTrailingBlocksOfGradedTriangles)
{
    struct Case {
        double t;
        int n;
        bool multishift;
    };
    for (const Case& c : std::vector<Case>{{0.6, 400, true}, {0.6, 400, false}}) {
        SCOPED_TRACE("sin(" + std::to_string(c.t) + ")^j, n = " + std::to_string(c.n) +
                     (c.multishift ? ", multishift" : ", single shift"));
        const double s = std::sin(c.t), co = std::cos(c.t);
        test::dense a(c.n, c.n);
        for (int j = 0; j < c.n; ++j)
            for (int i = j; i < c.n; ++i)
                a.set(i, j, cx(std::pow(s, j) * (i == j ? 1 : -co)));
        std::optional<SingleShiftOnly> single;
        if (!c.multishift)
            single.emplace();
        const Result schur = reduce_and_iterate(a, 1, false, true);
        ASSERT_EQ(schur.ierr, 0);
        expect_complex_schur_form(a, schur);
        const Result values = reduce_and_iterate(a, -1, false, true);
        ASSERT_EQ(values.ierr, 0);
        // The graded end's eigenvalues are ill-conditioned: the diagonal of
        // T is compared with the values found without Z.
        EXPECT_LE(spectrum_distance(values, schur), 1e-8 * a.norm1());
    }
    // A block near 1e-274 (sin(1)^j at order 600), whose y·root underflows
    // to a signless zero: the root must still be taken on y's side, or
    // y + root cancels to 0 and the shift is NaN.
    test::dense b(2, 2);
    b.set(0, 0, cx(-4.657e-274));
    b.set(0, 1, cx(1.774e-289));
    b.set(1, 0, cx(5.483e-289));
    b.set(1, 1, cx(-6.052e-304));
    const Result schur = reduce_and_iterate(b, 1);
    ASSERT_EQ(schur.ierr, 0);
    expect_complex_schur_form(b, schur);
    const Result values = reduce_and_iterate(b, -1);
    ASSERT_EQ(values.ierr, 0);
    EXPECT_LE(spectrum_distance(values, schur), 4 * eps * b.norm1());
}

// An order whose deflation window (96) takes the multishift iteration
// itself, with the orders as they are.
TEST(ComplexHessenbergQr, MultishiftWithinTheDeflationWindow)
{
    const test::dense a = structured_matrix(structured[0], 600);
    const Result schur = reduce_and_iterate(a, 1, false, true);
    ASSERT_EQ(schur.ierr, 0);
    expect_complex_schur_form(a, schur);
}

// The limits and non-finite entries of the multishift iteration: no
// budget leaves every eigenvalue unfound, a NaN or an infinity ends it at
// once, and the eigenvalues that balancing isolates outside low..igh are
// kept, their rows of Z the identity's.
TEST(ComplexHessenbergQr, MultishiftLimitsAndRanges)
{
    const test::MultishiftEverywhere orders;
    const int n = 120;
    const test::dense a = test::dense::random(n, n, 33, true);
    {
        BudgetOff off;
        for (int job : {-1, -2, 0, 1, 2})
            EXPECT_EQ(reduce_and_iterate(a, job, false, true).ierr, n) << "job " << job;
    }
    for (double poison : {qnan, std::numeric_limits<double>::infinity()}) {
        test::dense bad = a;
        bad.set(5, 40, cx(1, poison));
        for (int job : {-1, -2, 0, 1, 2})
            EXPECT_EQ(reduce_and_iterate(bad, job, false, true).ierr, n) << "job " << job;
    }
    // Column 1 and row n already reduced, as balancing leaves them: the
    // iteration runs on 2..n-1.
    test::dense split = a;
    for (int i = 1; i < n; ++i)
        split.set(i, 0, 0.0);
    for (int j = 0; j + 1 < n; ++j)
        split.set(n - 1, j, 0.0);
    for (int job : {-2, 1}) {
        SCOPED_TRACE(job);
        const Result r = reduce_and_iterate(split, job, true, true);
        ASSERT_EQ(r.ierr, 0);
        if (job == 1) {
            expect_complex_schur_form(split, r);
            for (int j = 0; j < n; ++j) {
                EXPECT_EQ(r.z(0, j), cx(j == 0 ? 1 : 0)) << "row 1 of Z";
                EXPECT_EQ(r.z(n - 1, j), cx(j == n - 1 ? 1 : 0)) << "row n of Z";
            }
        } else {
            EXPECT_LE(vector_residual(split, r), 20);
        }
        bool first = false, last = false;
        for (int k = 0; k < n; ++k) {
            first = first || cx(r.wr[k], r.wi[k]) == split(0, 0);
            last = last || cx(r.wr[k], r.wi[k]) == split(n - 1, n - 1);
        }
        EXPECT_TRUE(first && last) << "the isolated eigenvalues";
    }
}

} // namespace
