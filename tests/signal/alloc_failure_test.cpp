// Refused allocations in the signal functions: transforms, filters,
// convolutions, polynomials, splines, interpolation and triangulation.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

using test::counting;

TEST(AllocationFailure, Signal)
{
    const Mm r7 = test::row({1, 2, 3, 4, 5, 6, 7});
    const Mm r16 = counting({1, 16});
    const Mm z6 = test::complex(1, 6, {1, 2, 3, 4, 5, 6}, {0, 1, 0, -1, 2, 1});
    const Mm m = counting({3, 4});
    const Mm b = test::row({1, 1}), a = test::row({1, -0.5});
    const Mm pairs = test::complex(1, 3, {1, 1, 5}, {2, -2, 0});
    const Mm three = test::real(3, 1, {1, 1, 1}), gain = Mm(2.0), half = Mm(0.5), one = Mm(1.0);
    const Mm eight = Mm(8.0), same = TM("same"), up = Mm(3.0), at = Mm(2.5);
    const Mm px = test::row({0, 1, 0, 1, 0.4}), py = test::row({0, 0, 1, 1, 0.6}), pz = test::row({1, 2, 3, 4, 5});
    const Mm a2 = test::real(2, 2, {0.5, 1, 0, 0.25}), b2 = test::real(2, 2, {1, 0, 2, 1});
    const Mm u2 = test::real(3, 2, {1, 0, 1, 0, 1, 1});
    // Ten byte points: more than an empty value has room for.
    const Mm kernel = test::real(2, 2, {1, 2, 3, 4}), quadratic = test::row({1, 3, 2});
    const Mm three_zeros = test::real(3, 1, {-1, -2, -3});
    const Mm minus_one(-1.0), poles = test::row({-1, -2}), frequencies = test::complex(1, 2, {0, 0}, {1, 2});
    const Mm bx = muint8(test::row({0, 10, 0, 10, 4, 20, 30, 20, 30, 24}));
    const Mm by = muint8(test::row({0, 0, 10, 10, 6, 0, 0, 10, 10, 6}));
    const Mm two_back = test::row({1, 0, -0.25});
    Mm long_nan = counting({1, 530});
    long_nan.addr()[3] = NAN;
    test::sweep_allocations({
        {"fft mixed radix", r7, [](Mm& x) { x = fft(x); }},
        {"fft packed", r16, [](Mm& x) { x = fft(x); }},
        {"fft of a large prime length", counting({101, 1}), [](Mm& x) { x = fft(x); }},
        {"fft along the first of three dimensions", counting({2, 3, 2}), [](Mm& x) { x = fft(x); }},
        {"ifft complex", z6, [=](Mm& x) { x = ifft(x, eight); }},
        {"fft2", m, [](Mm& x) { x = fft2(x); }},
        {"fftshift", m, [](Mm& x) { x = fftshift(x); }},
        {"filter", m, [=](Mm& x) { x = filter(b, a, x); }},
        {"filter with state", r7, [=](Mm& x) {
             Mm y, zf;
             filter(b, a, x, one, i_o, y, zf);
             x = y;
         }},
        {"conv", r7, [=](Mm& x) { x = conv(x, b); }},
        {"deconv", r7, [=](Mm& x) { x = deconv(x, b); }},
        {"filter with b shorter than a", r7, [=](Mm& x) { x = filter(one, two_back, x); }},
        {"conv of long operands holding a NaN", counting({1, 520}), [=](Mm& x) { x = conv(x, long_nan); }},
        {"conv2", m, [=](Mm& x) { x = conv2(x, x, same); }},
        {"upfirdn", r7, [=](Mm& x) { x = upfirdn(x, b, up, gain); }},
        {"cplxpair", z6, [=](Mm& x) { x = cplxpair(pairs); }},
        {"polyval", r7, [=](Mm& x) { x = polyval(b, x); }},
        {"polyder", r7, [](Mm& x) { x = polyder(x); }},
        {"spline", r7, [=](Mm& x) { x = spline(x, x, at); }},
        {"interp1", r7, [=](Mm& x) { x = interp1(x, x, gain); }},
        {"interp2", m, [](Mm& x) { x = interp2(x); }},
        {"kron", m, [=](Mm& x) { x = kron(x, b); }},
        {"ltitr", r7, [=](Mm& x) { x = ltitr(half, one, three); }},
        {"ltitr, two inputs", u2, [=](Mm& x) { x = ltitr(a2, b2, x); }},
        {"interp2 at points", m, [=](Mm& x) { x = interp2(x, test::row({1.5, 3.25, 9}), test::row({2.5, 1, 2})); }},
        {"delaunay", px, [=](Mm& x) { x = delaunay(x, py); }},
        {"delaunay of nearly coincident points", test::row({0, 1, 0, 1, .5, .5 + 1e-12, .5}),
         [](Mm& x) { x = delaunay(x, test::row({0, 0, 1, 1, .5, .5, .5 + 1e-12})); }},
        {"tsearch", px, [=](Mm& x) { x = tsearch(x, py, delaunay(x, py), half, half); }},
        {"dsearch", px, [=](Mm& x) { x = dsearch(x, py, delaunay(x, py), half, half); }},
        {"griddata", px, [=](Mm& x) { x = griddata(x, py, pz, half, half); }},
        {"sum along rows", m, [=](Mm& x) { x = sum(x, gain); }},
        {"mean", m, [](Mm& x) { x = mean(x); }},
        {"mean along rows", m, [=](Mm& x) { x = mean(x, gain); }},
        {"mean of a wide matrix", counting({3, 12}), [](Mm& x) { x = mean(x); }},
        {"stdM", m, [](Mm& x) { x = stdM(x); }},
        {"stdM of a wide matrix", counting({3, 12}), [](Mm& x) { x = stdM(x); }},
        {"stdM of one uint8 observation", bx, [=](Mm& x) { x = stdM(x, one, one); }},
        {"cov of a wide matrix", counting({3, 12}), [](Mm& x) { x = cov(x); }},
        {"cov", m, [](Mm& x) { x = cov(x); }},
        {"cov of two", r7, [=](Mm& x) { x = cov(x, x); }},
        {"roots", r7, [](Mm& x) { x = roots(x); }},
        {"nextpow2 of sparse", sparse(Mm(100.0)), [](Mm& x) { x = nextpow2(x); }},
        {"delaunay of uint8", bx, [=](Mm& x) { x = delaunay(x, by); }},
        {"corrcoef", counting({5, 3}), [](Mm& x) { x = corrcoef(x); }},
        {"filter2", m, [=](Mm& x) { x = filter2(kernel, x); }},
        {"ifft2", m, [](Mm& x) { x = ifft2(x); }},
        {"ifftshift", m, [](Mm& x) { x = ifftshift(x); }},
        {"interp1q", test::real(7, 1, {1, 2, 3, 4, 5, 6, 7}), [=](Mm& x) { x = interp1q(x, x, at); }},
        {"ndgrid", r7, [](Mm& x) { Mm X1, X2; ndgrid(x, i_o, X1, X2); x = X2; }},
        {"poly", m(test::row({1, 2, 3}), test::row({1, 2, 3})), [](Mm& x) { x = poly(x); }},
        {"polyfit", r7, [=](Mm& x) { x = polyfit(x, x, Mm(2.0)); }},
        {"polyfit, rank deficient", test::row({1, 1, 1}), [](Mm& x) { x = polyfit(x, test::row({1, 2, 3}), Mm(2.0)); }},
        {"polyvalm", counting({3, 3}), [=](Mm& x) { x = polyvalm(b, x); }},
        {"ppval of a spline", r7, [=](Mm& x) { x = ppval(spline(x, x), at); }},
        {"tf2ss", r7, [=](Mm& x) { Mm A, B, C, D; tf2ss(b, quadratic, i_o, A, B, C, D); x = A; }},
        {"tf2zp", r7, [=](Mm& x) { Mm z, p, k; tf2zp(b, quadratic, i_o, z, p, k); x = p; }},
        {"zp2tf with more zeros than poles", r7, [=](Mm& x) {
             Mm num, den;
             zp2tf(three_zeros, minus_one, one, i_o, num, den);
             x = den;
         }},
        {"zp2tf", r7, [=](Mm& x) { Mm num, den; zp2tf(minus_one, poles, one, i_o, num, den); x = den; }},
        {"trapz", r7, [](Mm& x) { x = trapz(x, x); }},
        {"ltifr", counting({3, 3}), [=](Mm& x) { x = ltifr(x, three, frequencies); }},
        {"freqspace", Mm(8.0), [](Mm& x) { Mm f1, f2; freqspace(x, i_o, f1, f2); x = f2; }},
    });
}

} // namespace
