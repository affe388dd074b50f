// elmhes/eltran, orthes/ortran and corth: the reduced matrix is upper
// Hessenberg and similar to the given one through the accumulated
// transformation, over the full range and a sub-range low..igh, by the
// plain steps and by panels.
#include "dense_matrix.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double eps = std::numeric_limits<double>::epsilon();

struct Range {
    int low, igh;
};

// A random n x n matrix that is already reduced outside low..igh (zero
// left of low below the diagonal, zero below igh left of the diagonal), as
// balancing leaves it.
test::dense balanced_shape(int n, Range r, unsigned seed, bool complex)
{
    test::dense a = test::dense::random(n, n, seed, complex);
    for (int j = 0; j < n; ++j)
        for (int i = j + 1; i < n; ++i)
            if (j + 1 < r.low || i + 1 > r.igh)
                a.set(i, j, 0.0);
    return a;
}

// Clears what the kernels leave below the subdiagonal (their multipliers
// or Householder vectors).
test::dense hessenberg_part(const test::dense& a)
{
    test::dense h = a;
    for (int j = 0; j < a.cols; ++j)
        for (int i = j + 2; i < a.rows; ++i)
            h.set(i, j, 0.0);
    return h;
}

const std::vector<Range> ranges = {{1, 8}, {3, 6}, {2, 8}};

TEST(Orthes, OrthogonalReductionOfRealMatrices)
{
    const int n = 8;
    for (const Range& r : ranges) {
        SCOPED_TRACE(std::to_string(r.low) + ".." + std::to_string(r.igh));
        const test::dense a = balanced_shape(n, r, 11 + r.low, false);
        std::vector<double> h = a.re, ort(n, 0.0), z(n * n);
        orthes(&n, &n, &r.low, &r.igh, h.data(), ort.data());
        test::dense reduced(n, n);
        reduced.re = h;
        ortran(&n, &n, &r.low, &r.igh, h.data(), ort.data(), z.data());
        test::dense q(n, n);
        q.re = z;
        const test::dense hh = hessenberg_part(reduced);
        EXPECT_LE(test::departure_from_unitary(q), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(test::adjoint(q), a), q), hh).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
    }
}

TEST(Elmhes, ElementaryReductionIsASimilarity)
{
    const int n = 8;
    for (const Range& r : ranges) {
        SCOPED_TRACE(std::to_string(r.low) + ".." + std::to_string(r.igh));
        const test::dense a = balanced_shape(n, r, 21 + r.low, false);
        std::vector<double> h = a.re, z(n * n);
        std::vector<int> piv(n, 0);
        elmhes(&n, &n, &r.low, &r.igh, h.data(), piv.data());
        eltran(&n, &n, &r.low, &r.igh, h.data(), piv.data(), z.data());
        test::dense reduced(n, n), t(n, n);
        reduced.re = h;
        t.re = z;
        // A·Z = Z·H (Z is not orthogonal, but unit lower triangular up to
        // the row exchanges).
        const test::dense hh = hessenberg_part(reduced);
        const double residual = test::difference(test::product(a, t), test::product(t, hh)).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1() * t.norm1());
        for (int m = r.low + 1; m <= r.igh - 1; ++m) {
            EXPECT_GE(piv[m - 1], m);
            EXPECT_LE(piv[m - 1], r.igh);
        }
    }
}

TEST(Corth, UnitaryReductionOfComplexMatrices)
{
    const int n = 8;
    for (const Range& r : ranges) {
        SCOPED_TRACE(std::to_string(r.low) + ".." + std::to_string(r.igh));
        const test::dense a = balanced_shape(n, r, 31 + r.low, true);
        test::dense h = a;
        std::vector<double> ortr(n, 0.0), orti(n, 0.0);
        corth(&n, &n, &r.low, &r.igh, h.re.data(), h.im.data(), ortr.data(), orti.data());
        // The unitary matrix of the reduction, from complex_schur_qr's job 3.
        test::dense q(n, n), work = h;
        std::vector<double> wr(n), wi(n);
        const int job = 3;
        int ierr = -1;
        complex_schur_qr(&n, &n, &r.low, &r.igh, ortr.data(), orti.data(), work.re.data(), work.im.data(), wr.data(),
                         wi.data(), q.re.data(), q.im.data(), &job, &ierr);
        EXPECT_EQ(work.re, h.re) << "job 3 leaves the Hessenberg matrix alone";
        EXPECT_EQ(work.im, h.im);
        const test::dense hh = hessenberg_part(h);
        EXPECT_LE(test::departure_from_unitary(q), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(test::adjoint(q), a), q), hh).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
    }
}

double largest_difference(const std::vector<double>& x, const std::vector<double>& y)
{
    double worst = 0;
    for (std::size_t k = 0; k < x.size(); ++k)
        worst = std::max(worst, std::fabs(x[k] - y[k]));
    return worst;
}

// The blocked forms (the blocking order lowered, so that matrices of a few
// panels take them) against the plain steps on the same matrix: the same
// reduction within rounding, its transformations kept in the same form (the
// plain ortran and eltran read what the blocked kernels leave), over
// sub-ranges, with a step that has nothing to do inside a panel (a matrix
// block triangular after its first `split` columns), and with the plain
// tail of the blocked kernels long and short.
struct BlockedCase {
    int n;
    Range r;
    int order;
    int split;  // 0: none
};

const std::vector<BlockedCase> blocked_cases = {
    {100, {1, 100}, 32, 0}, {97, {3, 90}, 20, 0}, {150, {1, 150}, 1, 40}, {130, {2, 130}, 60, 0}, {70, {1, 70}, 1, 1}};

test::dense blocked_input(const BlockedCase& c, unsigned seed, bool complex = false)
{
    test::dense a = balanced_shape(c.n, c.r, seed, complex);
    for (int j = 0; j < c.split; ++j)
        for (int i = c.split; i < c.n; ++i)
            a.set(i, j, 0.0);
    return a;
}

std::string describe(const BlockedCase& c)
{
    return std::to_string(c.n) + ": " + std::to_string(c.r.low) + ".." + std::to_string(c.r.igh) + " order " +
           std::to_string(c.order);
}

// The Hessenberg part of an n-by-n kernel result.
test::dense hessenberg_of(const std::vector<double>& a, int n)
{
    test::dense d(n, n);
    d.re = a;
    return hessenberg_part(d);
}

TEST(BlockedHessenberg, OrthogonalReductionMatchesThePlainSteps)
{
    for (const BlockedCase& c : blocked_cases) {
        SCOPED_TRACE(describe(c));
        const int n = c.n;
        const test::dense a = blocked_input(c, 800 + n);
        const test::HessenbergBlocking blocking(c.order);
        std::vector<double> work(hessenberg_work_size(n));
        std::vector<double> hp = a.re, hb = a.re, ortp(n), ortb(n), zp(std::size_t(n) * n), zb = zp, zmix = zp;
        orthes(&n, &n, &c.r.low, &c.r.igh, hp.data(), ortp.data());
        orthes(&n, &n, &c.r.low, &c.r.igh, hb.data(), ortb.data(), work.data());
        std::vector<double> ort_copy = ortb;
        ortran(&n, &n, &c.r.low, &c.r.igh, hp.data(), ortp.data(), zp.data());
        ortran(&n, &n, &c.r.low, &c.r.igh, hb.data(), ortb.data(), zb.data(), work.data());
        ortran(&n, &n, &c.r.low, &c.r.igh, hb.data(), ort_copy.data(), zmix.data());

        test::dense q(n, n);
        q.re = zb;
        const test::dense hh = hessenberg_of(hb, n);
        EXPECT_LE(test::departure_from_unitary(q), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(test::adjoint(q), a), q), hh).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        EXPECT_LE(largest_difference(hh.re, hessenberg_of(hp, n).re), 1e4 * n * eps * a.norm1());
        EXPECT_LE(largest_difference(zb, zp), 1e4 * n * eps);
        EXPECT_LE(largest_difference(zmix, zb), 100 * n * eps) << "the plain ortran reads the blocked orthes";
        if (c.split > 0) {
            EXPECT_EQ(ortb[c.split], 0) << "the empty step is skipped";
            EXPECT_EQ(hb[c.split + std::size_t(c.split - 1) * n], 0);
        }
    }
}

// The same for the complex reduction: corth and cortran by panels against
// their plain steps, cortran's plain steps on the blocked corth, and the
// unitary matrix from complex_schur_qr's job 3 as well.
TEST(BlockedHessenberg, UnitaryReductionMatchesThePlainSteps)
{
    for (const BlockedCase& c : blocked_cases) {
        SCOPED_TRACE(describe(c));
        const int n = c.n;
        const test::dense a = blocked_input(c, 850 + n, true);
        const test::HessenbergBlocking blocking(c.order);
        std::vector<double> work(hessenberg_work_size(n, true));
        test::dense hp = a, hb = a, zp(n, n), zb(n, n), zmix(n, n);
        std::vector<double> orp(n), oip(n), orb(n), oib(n);
        corth(&n, &n, &c.r.low, &c.r.igh, hp.re.data(), hp.im.data(), orp.data(), oip.data());
        corth(&n, &n, &c.r.low, &c.r.igh, hb.re.data(), hb.im.data(), orb.data(), oib.data(), work.data());
        std::vector<double> orc = orb, oic = oib;
        cortran(&n, &n, &c.r.low, &c.r.igh, hp.re.data(), hp.im.data(), orp.data(), oip.data(), zp.re.data(),
                zp.im.data());
        cortran(&n, &n, &c.r.low, &c.r.igh, hb.re.data(), hb.im.data(), orb.data(), oib.data(), zb.re.data(),
                zb.im.data(), work.data());
        cortran(&n, &n, &c.r.low, &c.r.igh, hb.re.data(), hb.im.data(), orc.data(), oic.data(), zmix.re.data(),
                zmix.im.data());

        const test::dense hh = hessenberg_part(hb);
        EXPECT_LE(test::departure_from_unitary(zb), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(test::adjoint(zb), a), zb), hh).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        EXPECT_LE(test::difference(hh, hessenberg_part(hp)).norm1(), 1e4 * n * eps * a.norm1());
        EXPECT_LE(test::difference(zb, zp).norm1(), 1e4 * n * eps);
        EXPECT_LE(test::difference(zmix, zb).norm1(), 100 * n * eps) << "the plain cortran reads the blocked corth";
        if (c.split > 0) {
            EXPECT_EQ(orb[c.split], 0) << "the empty step is skipped";
            EXPECT_EQ(oib[c.split], 0);
            EXPECT_EQ(hb(c.split, c.split - 1), 0.0);
        }
    }
}

TEST(BlockedHessenberg, ElementaryReductionMatchesThePlainSteps)
{
    for (const BlockedCase& c : blocked_cases) {
        SCOPED_TRACE(describe(c));
        const int n = c.n;
        const test::dense a = blocked_input(c, 900 + n);
        std::vector<double> hp = a.re, hb = a.re, zp(std::size_t(n) * n), zb = zp;
        std::vector<int> pivp(n, 0), pivb(n, 0);
        for (const bool panels : {false, true}) {
            const test::HessenbergBlocking blocking(panels ? c.order : 0);
            std::vector<double>& h = panels ? hb : hp;
            std::vector<int>& piv = panels ? pivb : pivp;
            elmhes(&n, &n, &c.r.low, &c.r.igh, h.data(), piv.data());
            eltran(&n, &n, &c.r.low, &c.r.igh, h.data(), piv.data(), (panels ? zb : zp).data());
        }

        EXPECT_EQ(pivb, pivp);
        test::dense t(n, n);
        t.re = zb;
        const test::dense hh = hessenberg_of(hb, n);
        const double residual = test::difference(test::product(a, t), test::product(t, hh)).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1() * t.norm1());
        EXPECT_LE(largest_difference(hh.re, hessenberg_of(hp, n).re), 1e4 * n * eps * a.norm1());
        EXPECT_LE(largest_difference(zb, zp), 1e4 * n * eps) << "multipliers in elmhes's own form";
        if (c.split > 0) {
            EXPECT_EQ(pivb[c.split], c.split + 1) << "no exchange for the empty step";
        }
    }
}

TEST(HessenbergKernels, NothingToReduce)
{
    struct Case {
        int n;
        Range r;
    };
    for (const Case& c : std::vector<Case>{{1, {1, 1}}, {2, {1, 2}}, {5, {2, 3}}, {5, {4, 4}}}) {
        SCOPED_TRACE(std::to_string(c.n) + ": " + std::to_string(c.r.low) + ".." + std::to_string(c.r.igh));
        const int n = c.n;
        const test::dense a = test::dense::random(n, n, 41, true);
        const test::dense identity = test::dense::identity(n);

        std::vector<double> h = a.re, ort(n, 0.0), z(n * n, 7.0);
        orthes(&n, &n, &c.r.low, &c.r.igh, h.data(), ort.data());
        EXPECT_EQ(h, a.re);
        ortran(&n, &n, &c.r.low, &c.r.igh, h.data(), ort.data(), z.data());
        EXPECT_EQ(z, identity.re);

        std::vector<int> piv(n, 0);
        elmhes(&n, &n, &c.r.low, &c.r.igh, h.data(), piv.data());
        EXPECT_EQ(h, a.re);
        std::fill(z.begin(), z.end(), 7.0);
        eltran(&n, &n, &c.r.low, &c.r.igh, h.data(), piv.data(), z.data());
        EXPECT_EQ(z, identity.re);

        test::dense hc = a;
        std::vector<double> ortr(n, 0.0), orti(n, 0.0);
        corth(&n, &n, &c.r.low, &c.r.igh, hc.re.data(), hc.im.data(), ortr.data(), orti.data());
        EXPECT_EQ(hc.re, a.re);
        EXPECT_EQ(hc.im, a.im);
    }
}

TEST(HessenbergKernels, ColumnAlreadyReducedIsSkipped)
{
    // Column 1 is zero below the subdiagonal and the subdiagonal itself is
    // zero: step m = 2 has nothing to do.
    const int n = 4, low = 1, igh = 4;
    test::dense a = test::dense::random(n, n, 51, false);
    a.set(1, 0, 0.0);
    a.set(2, 0, 0.0);
    a.set(3, 0, 0.0);
    std::vector<double> h = a.re, ort(n, 5.0), z(n * n);
    orthes(&n, &n, &low, &igh, h.data(), ort.data());
    EXPECT_EQ(ort[1], 0);
    EXPECT_EQ(h[1], 0) << "a(2,1)";
    ortran(&n, &n, &low, &igh, h.data(), ort.data(), z.data());
    test::dense q(n, n);
    q.re = z;
    EXPECT_LE(test::departure_from_unitary(q), 30 * n * eps);

    test::dense c = test::dense::random(n, n, 52, true);
    for (int i = 1; i < n; ++i)
        c.set(i, 0, 0.0);
    std::vector<double> ortr(n, 5.0), orti(n, 5.0);
    corth(&n, &n, &low, &igh, c.re.data(), c.im.data(), ortr.data(), orti.data());
    EXPECT_EQ(ortr[1], 0);
    EXPECT_EQ(orti[1], 0);
}

TEST(Corth, ZeroLeadingComponentEndsAsMinusScaleTimesRootH)
{
    // Column 1 below the diagonal is (0, 3, 4): the leading component of the
    // Householder vector is 0, scale = 7 and h = (3² + 4²)/49.
    const int n = 4, low = 1, igh = 4;
    test::dense a = test::dense::random(n, n, 61, true);
    a.set(1, 0, 0.0);
    a.set(2, 0, 3.0);
    a.set(3, 0, std::complex<double>(0, 4));
    std::vector<double> ortr(n), orti(n);
    corth(&n, &n, &low, &igh, a.re.data(), a.im.data(), ortr.data(), orti.data());
    EXPECT_DOUBLE_EQ(a(1, 0).real(), -7 * std::sqrt(25.0 / 49));
    EXPECT_EQ(a(1, 0).imag(), 0);
}

} // namespace
