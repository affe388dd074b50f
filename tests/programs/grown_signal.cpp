// A signal recorded sample by sample into a vector that grows from empty,
// then analysed: its spectrum against a direct DFT summed in long double
// with the C library's sines and cosines, a moving average and a one-pole
// smoother against their recurrences, a convolution against its sum.
#include "check.hpp"

#include <cmath>
#include <complex>

using program::held;
using program::near;
using program::same;

int main()
{
    initM2(4510, sizeof(Mm));
    const int N = 96;  // 2^5 * 3: a mixed-radix length
    const double pi = 3.14159265358979323846;

    Mm t, x;
    std::vector<double> c_x;
    for (int k = 1; k <= N; ++k) {
        t(k) = (k - 1) / double(N);
        const double v = std::sin(2 * pi * 5 * (k - 1) / N) + 0.5 * std::cos(2 * pi * 12 * (k - 1) / N) + 0.01 * k;
        x(length(x) + 1) = v;
        c_x.push_back(v);
        held("a sample recorded", {&t, &x});
    }
    same("x", x, 1, N, c_x);

    // The spectrum against the direct sum.
    Mm X = fft(x);
    held("X = fft(x)", {&X});
    near("size of X", X.size(), N);
    double worst = 0, peak = 0;
    for (int f = 0; f < N; ++f) {
        std::complex<long double> s = 0;
        for (int k = 0; k < N; ++k) {
            const long double angle = -2.0L * 3.14159265358979323846264338327950288L * f * k / N;
            s += std::complex<long double>(c_x[k] * std::cos(angle), c_x[k] * std::sin(angle));
        }
        const double re = X.addr()[f];
        const double im = X.isc() ? X.addi()[f] : 0.0;
        worst = std::max(worst, double(std::abs(std::complex<long double>(re, im) - s)));
        peak = std::max(peak, double(std::abs(s)));
    }
    near("max |fft(x) - DFT| / max |DFT|", worst / peak, 0, 1e-14);
    Mm back = real(ifft(X));
    held("real(ifft(X))", {&back});
    same("ifft(fft(x))", back, 1, N, c_x, 1e-14);

    // A two-point moving average and a one-pole smoother.
    Mm avg = filter((BR(0.5), 0.5), Mm(1.0), x);
    Mm smooth = filter(Mm(1.0), (BR(1.0), -0.9), x);
    held("filter", {&avg, &smooth});
    std::vector<double> c_avg, c_smooth;
    double state = 0;
    for (int k = 0; k < N; ++k) {
        c_avg.push_back(0.5 * c_x[k] + (k > 0 ? 0.5 * c_x[k - 1] : 0));
        state = c_x[k] + 0.9 * state;
        c_smooth.push_back(state);
    }
    same("moving average", avg, 1, N, c_avg, 1e-15);
    same("one-pole smoother", smooth, 1, N, c_smooth, 1e-14);

    // The same signal extended sample by sample past its end, then convolved.
    Mm kernel;
    for (int k = 1; k <= 3; ++k)
        kernel(k) = 1.0 / k;
    held("kernel", {&kernel});
    Mm y = conv(x, kernel);
    held("y = conv(x, kernel)", {&y});
    std::vector<double> c_y(N + 2, 0.0);
    for (int k = 0; k < N; ++k)
        for (int j = 0; j < 3; ++j)
            c_y[k + j] += c_x[k] / (j + 1);
    same("conv(x, kernel)", y, 1, N + 2, c_y, 1e-14);

    exitM();
    return program::finish("grown_signal");
}
