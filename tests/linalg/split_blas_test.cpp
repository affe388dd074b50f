// The split complex level-1 layer and the split matrix product: results
// against hand-worked values, increments, the empty vector, and which parts
// of the output each operation may touch.
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

TEST(SplitBlas, Izamax)
{
    struct Case {
        const char* what;
        std::vector<double> re, im;
        int inc, expected;
    };
    const std::vector<Case> cases = {
        {"first of equal sums", {3, 0, 1}, {0, -4, 3}, 1, 2},
        {"all zero", {0, 0, 0}, {0, 0, 0}, 1, 1},
        {"empty", {}, {}, 1, 0},
        {"NaN never chosen", {NAN, 1, 2}, {0, 0, 0}, 1, 3},
        {"all NaN", {NAN, NAN}, {0, NAN}, 1, 1},
        {"stride 2 skips", {1, 100, 2}, {0, 0, 0}, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = c.inc == 1 ? int(c.re.size()) : int(c.re.size() + 1) / 2;
        EXPECT_EQ(izamax_split(n, c.re.data(), c.im.data(), c.inc), c.expected);
    }
    double x = 5;
    EXPECT_EQ(izamax_split(-1, &x, &x, 1), 0);
}

TEST(SplitBlas, DotProducts)
{
    const std::vector<double> xr = {1, -2, 3}, xi = {4, 0.5, -1};
    const std::vector<double> yr = {2, 1, -1}, yi = {-3, 2, 5};
    double sq = 0;
    for (int k = 0; k < 3; ++k)
        sq += xr[k] * xr[k] + xi[k] * xi[k];
    EXPECT_DOUBLE_EQ(dotc_real_split(3, xr.data(), xi.data(), 1, xr.data(), xi.data(), 1), sq);
    EXPECT_EQ(dotc_imag_split(3, xr.data(), xi.data(), 1, xr.data(), xi.data(), 1), 0);
    // Against a complex loop.
    double cr = 0, ci = 0, ur = 0, ui = 0;
    for (int k = 0; k < 3; ++k) {
        cr += xr[k] * yr[k] + xi[k] * yi[k];
        ci += xr[k] * yi[k] - xi[k] * yr[k];
        ur += xr[k] * yr[k] - xi[k] * yi[k];
        ui += xr[k] * yi[k] + xi[k] * yr[k];
    }
    EXPECT_DOUBLE_EQ(dotc_real_split(3, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1), cr);
    EXPECT_DOUBLE_EQ(dotc_imag_split(3, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1), ci);
    EXPECT_DOUBLE_EQ(dotu_real_split(3, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1), ur);
    EXPECT_DOUBLE_EQ(dotu_imag_split(3, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1), ui);
    EXPECT_EQ(dotc_real_split(0, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1), 0);
}

TEST(SplitBlas, Updates)
{
    // a = 1, x = i: y + conj(x) adds -i.
    double xr = 0, xi = 1, yr = 5, yi = 7;
    axpy_conj_split(1, 1, 0, &xr, &xi, 1, &yr, &yi, 1);
    EXPECT_EQ(yr, 5);
    EXPECT_EQ(yi, 6);
    // (2 + i)*(1 - i) = 3 - i.
    yr = yi = 0;
    double pr = 1, pi = -1;
    axpy_split(1, 2, 1, &pr, &pi, 1, &yr, &yi, 1);
    EXPECT_EQ(yr, 3);
    EXPECT_EQ(yi, -1);

    // A negative increment walks from the far end: y(1) += x(3), y(3) += x(1).
    std::vector<double> ar = {1, 2, 3}, ai = {0, 0, 0}, br = {0, 0, 0}, bi = {0, 0, 0};
    axpy_split(3, 1, 0, ar.data(), ai.data(), -1, br.data(), bi.data(), 1);
    EXPECT_EQ(br, (std::vector<double>{3, 2, 1}));
    axpy_split(3, 1, 0, ar.data(), ai.data(), 1, br.data(), bi.data(), -1);
    EXPECT_EQ(br, (std::vector<double>{6, 4, 2}));

    std::vector<double> sr = {1, 2}, si = {1, 0};
    scal_split(2, 0, 1, sr.data(), si.data(), 1);  // times i
    EXPECT_EQ(sr, (std::vector<double>{-1, 0}));
    EXPECT_EQ(si, (std::vector<double>{1, 2}));
    scal_real_split(2, -2, sr.data(), si.data(), 1);
    EXPECT_EQ(sr, (std::vector<double>{2, 0}));
    EXPECT_EQ(si, (std::vector<double>{-2, -4}));

    std::vector<double> fr(5, 9), fi(5, 9);
    fill_split(3, 1, -1, fr.data(), fi.data(), 2);
    EXPECT_EQ(fr, (std::vector<double>{1, 9, 1, 9, 1}));
    EXPECT_EQ(fi, (std::vector<double>{-1, 9, -1, 9, -1}));

    std::vector<double> cr(2, 0), ci(2, 0);
    split_copy(2, ar.data(), ar.data() + 1, 1, cr.data(), ci.data(), 1);
    EXPECT_EQ(cr, (std::vector<double>{1, 2}));
    EXPECT_EQ(ci, (std::vector<double>{2, 3}));
    swap_split(2, cr.data(), ci.data(), 1, sr.data(), si.data(), 1);
    EXPECT_EQ(cr, (std::vector<double>{2, 0}));
    EXPECT_EQ(si, (std::vector<double>{2, 3}));
    EXPECT_EQ(asum_split(2, cr.data(), ci.data(), 1), 2 + 0 + 2 + 4);

    // A real multiplier scales both parts: Inf + 0i times 2 is Inf + 0i,
    // where the complex product's cross term 0*Inf made the imaginary part
    // NaN; so for scal_split, forward and with a negative increment.
    struct RealMultiplier {
        double xr, xi, a, yr, yi;
    };
    for (const RealMultiplier& c : std::vector<RealMultiplier>{
             {INFINITY, 0, 2, INFINITY, 0}, {0, -INFINITY, -0.5, 0, INFINITY}, {1e308, 1, 4, INFINITY, 4}}) {
        SCOPED_TRACE(c.xr);
        for (int inc : {1, -1}) {
            std::vector<double> vr = {c.xr, 0}, vi = {c.xi, 0}, wr = {0, 0}, wi = {0, 0};
            axpy_split(2, c.a, 0, vr.data(), vi.data(), inc, wr.data(), wi.data(), inc);
            EXPECT_EQ(wr[0], c.yr);
            EXPECT_EQ(wi[0], c.yi);
        }
        double sr1 = c.xr, si1 = c.xi;
        scal_split(1, c.a, 0, &sr1, &si1, 1);
        EXPECT_EQ(sr1, c.yr);
        EXPECT_EQ(si1, c.yi);
    }

    // n <= 0 touches nothing.
    double keep = 4;
    axpy_split(0, 1, 1, &keep, &keep, 1, &keep, &keep, 1);
    axpy_conj_split(-1, 1, 1, &keep, &keep, 1, &keep, &keep, 1);
    scal_split(0, 0, 0, &keep, &keep, 1);
    fill_split(0, 0, 0, &keep, &keep, 1);
    EXPECT_EQ(keep, 4);
}

TEST(SplitBlas, Nrm2WithoutOverflow)
{
    const double xr[] = {3e200, 0}, xi[] = {0, 4e200};
    EXPECT_DOUBLE_EQ(nrm2_split(2, xr, xi, 1), 5e200);
    const double tr[] = {3e-200}, ti[] = {4e-200};
    EXPECT_DOUBLE_EQ(nrm2_split(1, tr, ti, 1), 5e-200);
    const double zr[] = {0, 0}, zi[] = {0, 0};
    EXPECT_EQ(nrm2_split(2, zr, zi, 1), 0);
    EXPECT_EQ(nrm2_split(0, xr, xi, 1), 0);
}

TEST(SplitProduct, FourRealProductsMakeTheComplexProduct)
{
    // (1+2i  3) (5  ) = (1*5 + 3*(1-1i) + 2i*5) = (8 + 7i)
    //           (1-1i)
    const double ar[] = {1, 3}, ai[] = {2, 0}, br[] = {5, 1}, bi[] = {0, -1};
    double pr = -1, pi = -1;
    split_gemm("N", "N", 1, 1, 2, 1.0, ar, ai, 1, br, bi, 2, 0.0, &pr, &pi, 1);
    EXPECT_EQ(pr, 8);
    EXPECT_EQ(pi, 7);
    // Only one operand complex: (1+2i  3)(5; 1) = 8 + 10i.
    split_gemm("N", "N", 1, 1, 2, 1.0, ar, ai, 1, br, nullptr, 2, 0.0, &pr, &pi, 1);
    EXPECT_EQ(pr, 8);
    EXPECT_EQ(pi, 10);
}

TEST(SplitProduct, RealOperandsLeaveTheImaginaryPartAlone)
{
    const double ar[] = {1, 3}, br[] = {5, 1};
    double qr = 1;
    double qi = std::nan("0x5a5a");  // a NaN with a payload
    std::uint64_t before, after;
    std::memcpy(&before, &qi, 8);
    split_gemm("N", "N", 1, 1, 2, 1.0, ar, nullptr, 1, br, nullptr, 2, 2.0, &qr, &qi, 1);
    std::memcpy(&after, &qi, 8);
    EXPECT_EQ(qr, 10);
    EXPECT_EQ(before, after);
    // A null Ci with a complex operand delivers the real part only.
    const double ai[] = {2, 0}, bi[] = {0, -1};
    split_gemm("N", "N", 1, 1, 2, 1.0, ar, ai, 1, br, bi, 2, 0.0, &qr, nullptr, 1);
    EXPECT_EQ(qr, 8);
}

} // namespace
