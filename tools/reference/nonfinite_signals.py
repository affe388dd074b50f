#!/usr/bin/python3
# Reference values with NaN and Inf samples for the signal tests (filter,
# deconv, conv, conv2, filter2, upfirdn, poly, ss2tf, interp1/2/3, nextpow2,
# std). Sources:
#   filter      scipy.signal.lfilter; where lfilter's recursion itself carries
#               0*NaN through a zero coefficient (explicit zeros of a, or the
#               zeros it pads a shorter b with), the difference equation
#               y[m] = (sum b[k] x[m-k] - sum a[j] y[m-j]) / a[0] summed
#               over the coefficients that are there and not zero in a
#               (lfilter agrees with it wherever no such zero meets a NaN).
#   deconv      numpy.polydiv; r = b - numpy.convolve(a, q).
#   conv        numpy.convolve; conv2/filter2 scipy.signal.convolve2d.
#   upfirdn     numpy.convolve of the signal with p - 1 zeros after every
#               sample, every q-th output kept.
#   poly, ss2tf numpy.poly, scipy.signal.ss2tf / lfilter.
#   interp      numpy.interp (and fractions where its slope overflows); two and three dimensions as numpy.interp along
#               x, then y (then z): bilinear and trilinear are those passes.
#   nextpow2    numpy.ceil(numpy.log2(numpy.abs(x))).
#   std         numpy.std with ddof 0 or 1.
from fractions import Fraction
import numpy as np
import scipy.signal
import sys
import warnings

nan = np.nan
inf = np.inf


def number(v):
    v = float(v)
    if np.isnan(v):
        return "NAN"
    if np.isinf(v):
        return "INFINITY" if v > 0 else "-INFINITY"
    if v == int(v) and abs(v) < 2**53:
        return "%d" % int(v) if v != 0 or np.copysign(1, v) > 0 else "-0.0"
    return v.hex()


def emit(f, name, values):
    # column-major, as the library stores values
    v = np.asarray(values)
    flat = v.T.reshape(-1) if v.ndim >= 2 else v.reshape(-1)
    if np.iscomplexobj(flat):
        f.write("static const double %s_re[] = {%s};\n" % (name, ", ".join(number(x.real) for x in flat)))
        f.write("static const double %s_im[] = {%s};\n" % (name, ", ".join(number(x.imag) for x in flat)))
    else:
        f.write("static const double %s[] = {%s};\n" % (name, ", ".join(number(x) for x in flat)))


def difference_equation(b, a, x):
    b = np.asarray(b, float)
    a = np.asarray(a, float)
    y = []
    for m in range(len(x)):
        acc = 0.0
        for k in range(len(b)):
            if m - k >= 0:
                acc += b[k] * x[m - k]
        for j in range(1, len(a)):
            if a[j] != 0 and m - j >= 0:
                acc -= a[j] * y[m - j]
        y.append(acc / a[0])
    return np.array(y)


def filter_cases(f):
    x = np.array([1, 2, nan, 4, 5, 6.0])
    emit(f, "filter_fir3_a1", scipy.signal.lfilter([1, 1, 1], [1], x))
    emit(f, "filter_fir3_a2", scipy.signal.lfilter([1, 1, 1], [2], x))
    # a = [1 0 0] is the transfer function of a = 1
    emit(f, "filter_fir3_a100", difference_equation([1, 1, 1], [1, 0, 0], x))
    assert np.array_equal(difference_equation([1, 1, 1], [1, 0, 0], x), scipy.signal.lfilter([1, 1, 1], [1], x),
                          equal_nan=True)
    # the final conditions depend on the last two samples only
    emit(f, "filter_fir3_zf", scipy.signal.lfilter([1, 1, 1], [1], x[-2:], zi=np.zeros(2))[1])
    xi = np.array([1, inf, 1, 1, 1.0])
    emit(f, "filter_fir2_inf_a1", scipy.signal.lfilter([1, 1], [1], xi))
    emit(f, "filter_fir2_inf_a2", scipy.signal.lfilter([1, 1], [2], xi))
    emit(f, "filter_fir2_inf_a100", difference_equation([1, 1], [1, 0, 0], xi))
    # a pole: b is shorter than a, its missing terms are no terms
    emit(f, "filter_pole_inf", difference_equation([1], [1, -0.5], [inf, 1, 1]))
    # a pole two samples back: a(2) = 0 keeps NaN off the odd samples
    emit(f, "filter_skip_pole", difference_equation([1], [1, 0, -0.25], [1, nan, 1, 1, 1, 1.0]))
    # a pole whose NaN goes on for ever, as in lfilter
    emit(f, "filter_pole_nan", scipy.signal.lfilter([1], [1, -0.5], [1, nan, 1, 1.0]))
    # complex coefficients
    emit(f, "filter_complex", scipy.signal.lfilter([1 + 1j, 1j], [1], [1, nan, 2, 3.0]))
    # columns of a 4 x 2 matrix
    X = np.array([[1, 5], [nan, 6], [3, inf], [4, 8.0]])
    emit(f, "filter_columns", scipy.signal.lfilter([1, 1], [1], X, axis=0))


def deconv_cases(f):
    for name, b, a in [("deconv_nan", [2, nan, 4, 6], [2]), ("deconv_inf", [1, inf, 1, 1, 1], [1, 1])]:
        q, _ = np.polydiv(np.array(b, float), np.array(a, float))
        emit(f, name + "_q", q)
        emit(f, name + "_r", np.array(b, float) - np.convolve(a, q))


def conv_cases(f):
    for n in (499, 600):
        a = np.zeros(n)
        a[10] = nan
        emit(f, "conv_nan_%d" % n, np.convolve(a, np.ones(n)))
    n = 600
    k = np.arange(n)
    a = ((k * 37 + 11) % 19) - 9.0
    b = ((k * 53 + 5) % 13) + 1.0  # no zeros: each element of b meets the Inf
    a[10] = inf
    a[300] = -inf
    emit(f, "conv_inf_600", np.convolve(a, b))
    ac = a + 1j * (((k * 29 + 3) % 7) - 3.0)
    ac[10] = nan + 0j
    ac[300] = 1 + 2j
    bc = b + 1j * (((k * 17 + 1) % 5) + 1.0)
    emit(f, "conv_complex_600", np.convolve(ac, bc))


def conv2_cases(f):
    k = np.arange(600)
    u = ((k * 37 + 11) % 19) + 1.0
    A = np.stack([((k * 53 + 5) % 13) - 6.0, ((k * 29 + 3) % 7) - 3.0], axis=1)
    A[20, 0] = nan
    v = np.array([1.0, 2.0])
    emit(f, "conv2_separable", scipy.signal.convolve2d(A, np.outer(u, v)))
    # filter2 with a 1 x 600 stencil: correlation, the same-size part taken
    # at columns floor(600 / 2) + (1 .. 600) of the full convolution
    h = (((k * 17 + 1) % 5) + 1.0).reshape(1, -1)
    X = np.stack([((k * 41 + 7) % 11) - 5.0, ((k * 13 + 2) % 9) - 4.0, ((k * 31 + 5) % 7) - 3.0])
    X[1, 100] = inf
    full = scipy.signal.convolve2d(X, h[:, ::-1])
    emit(f, "filter2_row", full[:, 300:900])
    S = np.array([[1, 2], [3, 4.0]])
    L = np.array([[1, 2, 3], [4, nan, 6], [7, 8, 9.0]])
    emit(f, "conv2_general", scipy.signal.convolve2d(L, S))


def upfirdn_cases(f):
    x = np.array([1, nan, 3, 4, 5, 6, 7.0])
    h = np.array([1, 0.5, 2, -1.0])
    for p, q in [(2, 1), (3, 2), (1, 3)]:
        up = np.zeros(p * (len(x) - 1) + 1)
        up[::p] = x
        emit(f, "upfirdn_%d_%d" % (p, q), np.convolve(up, h)[::q])


def poly_cases(f):
    A = np.array([[-4.0, -6, -4], [1, 0, 0], [0, 1, 0]])
    emit(f, "poly_companion", np.poly(A))
    M = np.array([[0.5, -2, 1, 0, 3], [1, 0.25, -1, 2, 0], [0, 3, -0.5, 1, 1], [2, 0, 1, 1.5, -2], [-1, 1, 0, 2, 0.75]])
    emit(f, "poly_five", np.poly(M))
    B = np.array([[1.0], [0], [0]])
    C = np.array([[0.0, 2, 5]])
    D = np.array([[0.0]])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        num, den = scipy.signal.ss2tf(A, B, C, D)
    emit(f, "ss2tf_num", num[0])
    emit(f, "ss2tf_den", den)
    emit(f, "ss2tf_step", scipy.signal.lfilter(num[0], den, np.ones(5)))


def interp_cases(f):
    cases = [
        ([1, 2, 3], [1, inf, 3], [1, 2, 3, 1.5, 2.5]),
        ([1, 2, 3], [1, nan, 3], [1, 2, 3, 1.5]),
        ([1, 2], [inf, -inf], [1, 1.5, 2]),
        ([1, 2], [inf, inf], [1, 1.5, 2]),
        ([1, 2, 3], [-inf, 2, 3], [1, 1.5, 2, 2.5]),
    ]
    for j, (x, y, q) in enumerate(cases):
        emit(f, "interp1_case%d" % j, np.interp(q, x, y))
    # finite ends whose difference overflows: numpy.interp's slope is Inf,
    # so the line is taken in exact rational arithmetic
    y0, y1 = Fraction(-1e308), Fraction(1.5e308)
    emit(f, "interp1_wide", [float(y0 + Fraction(t) * (y1 - y0)) for t in (0, 0.25, 0.5, 1)])
    # decreasing knots: numpy wants them increasing
    emit(f, "interp1_down", np.interp([3, 2, 1, 2.5], [1, 2, 3], [1, inf, 3]))

    # z(r, c) at x = [1 2] (columns), y = [1 2] (rows)
    z = np.array([[1, inf], [3, 4.0]])
    qx = [1, 2, 1, 2, 1.5, 1, 1.5, 2, 1.5]
    qy = [1, 1, 2, 2, 1, 1.5, 1.5, 1.5, 2]
    out = []
    for a, b in zip(qx, qy):
        rows = [np.interp(a, [1, 2], z[r, :]) for r in range(2)]
        out.append(np.interp(b, [1, 2], rows))
    emit(f, "interp2_inf", out)

    # v(r, c, p): page 1 [1 Inf; 3 4], page 2 [5 6; 7 8]
    v = np.array([[[1, 5], [inf, 6]], [[3, 7], [4, 8.0]]])
    q3 = [(1, 1, 1), (2, 1, 1), (2, 2, 2), (1.5, 1, 1), (1.5, 1.5, 1.5), (1, 2, 1.5), (2, 1, 1.5)]
    out = []
    for a, b, c in q3:
        pages = []
        for p in range(2):
            rows = [np.interp(a, [1, 2], v[r, :, p]) for r in range(2)]
            pages.append(np.interp(b, [1, 2], rows))
        out.append(np.interp(c, [1, 2], pages))
    emit(f, "interp3_inf", out)


def helper_cases(f):
    with np.errstate(all="ignore"):
        emit(f, "nextpow2_nonfinite", np.ceil(np.log2(np.abs(np.array([nan, inf, -inf, complex(nan, 1), complex(inf, nan)])))))
        emit(f, "std_single", [np.std([v]) for v in (nan, inf, -inf, complex(inf, 0), 2.5)])
        # one observation: numpy's ddof 1 divides 0 by 0, so ddof 0 gives the
        # spread of one sample (0, or NaN for a non-finite one)
        emit(f, "std_rows", np.std(np.array([[nan, 1]]), axis=0))
        emit(f, "std_pages", np.std(np.array([1, nan, inf, 4.0]).reshape(1, 1, 4), axis=0).reshape(-1))


def main(path):
    with open(path, "w") as f:
        f.write("// Generated by tools/reference/nonfinite_signals.py (numpy, scipy): do not edit.\n")
        f.write("// Values column-major; NAN and INFINITY from <cmath>.\n")
        with np.errstate(all="ignore"), warnings.catch_warnings():
            warnings.simplefilter("ignore", RuntimeWarning)
            filter_cases(f)
            deconv_cases(f)
            conv_cases(f)
            conv2_cases(f)
            upfirdn_cases(f)
            poly_cases(f)
            interp_cases(f)
            helper_cases(f)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tests/signal/data/nonfinite_reference.inc")
