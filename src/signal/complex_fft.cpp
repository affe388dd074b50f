// The mixed-radix transform of a complex sequence (FFTPACK's complex
// transform): one driver and one set of radix-2, 3, 4 and 5 butterflies and
// a general odd pass for both directions, the sign entering every pass.
#include "signal/fft_factors.hpp"
#include "signal/fft_kernels.hpp"

#include <cmath>
#include <cstring>

namespace {

// Interleaved data, 1-based in the published order: the input cc is
// idot x p x l1 doubles, the output ch is idot x l1 x p.
struct in_view {
    const double* a;
    int ido, p;
    double operator()(int i, int j, int k) const { return a[(i - 1) + ido * ((j - 1) + p * (k - 1))]; }
};
struct out_view {
    double* a;
    int ido, l1;
    double& operator()(int i, int k, int j) const { return a[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; }
};

// (x + i y) times the twiddle (c, isign * s), the real and imaginary parts.
inline double tw_re(const double* w, int i, double x, double y, double sg) { return w[i - 2] * x - sg * w[i - 1] * y; }
inline double tw_im(const double* w, int i, double x, double y, double sg) { return w[i - 2] * y + sg * w[i - 1] * x; }

void pass2(int ido, int l1, const double* ccp, double* chp, const double* wa1, double sg)
{
    const in_view cc{ccp, ido, 2};
    const out_view ch{chp, ido, l1};
    if (ido <= 2) {
        for (int k = 1; k <= l1; ++k) {
            ch(1, k, 1) = cc(1, 1, k) + cc(1, 2, k);
            ch(1, k, 2) = cc(1, 1, k) - cc(1, 2, k);
            ch(2, k, 1) = cc(2, 1, k) + cc(2, 2, k);
            ch(2, k, 2) = cc(2, 1, k) - cc(2, 2, k);
        }
        return;
    }
    for (int k = 1; k <= l1; ++k)
        for (int i = 2; i <= ido; i += 2) {
            ch(i - 1, k, 1) = cc(i - 1, 1, k) + cc(i - 1, 2, k);
            const double tr2 = cc(i - 1, 1, k) - cc(i - 1, 2, k);
            ch(i, k, 1) = cc(i, 1, k) + cc(i, 2, k);
            const double ti2 = cc(i, 1, k) - cc(i, 2, k);
            ch(i, k, 2) = tw_im(wa1, i, tr2, ti2, sg);
            ch(i - 1, k, 2) = tw_re(wa1, i, tr2, ti2, sg);
        }
}

void pass3(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2, double sg)
{
    const double taur = -0.5, taui = sg * 0.866025403784439;
    const in_view cc{ccp, ido, 3};
    const out_view ch{chp, ido, l1};
    const bool twiddle = ido > 2;
    for (int k = 1; k <= l1; ++k)
        for (int i = 2; i <= ido; i += 2) {
            const double tr2 = cc(i - 1, 2, k) + cc(i - 1, 3, k);
            const double cr2 = cc(i - 1, 1, k) + taur * tr2;
            ch(i - 1, k, 1) = cc(i - 1, 1, k) + tr2;
            const double ti2 = cc(i, 2, k) + cc(i, 3, k);
            const double ci2 = cc(i, 1, k) + taur * ti2;
            ch(i, k, 1) = cc(i, 1, k) + ti2;
            const double cr3 = taui * (cc(i - 1, 2, k) - cc(i - 1, 3, k));
            const double ci3 = taui * (cc(i, 2, k) - cc(i, 3, k));
            const double dr2 = cr2 - ci3, dr3 = cr2 + ci3;
            const double di2 = ci2 + cr3, di3 = ci2 - cr3;
            if (twiddle) {
                ch(i, k, 2) = tw_im(wa1, i, dr2, di2, sg);
                ch(i - 1, k, 2) = tw_re(wa1, i, dr2, di2, sg);
                ch(i, k, 3) = tw_im(wa2, i, dr3, di3, sg);
                ch(i - 1, k, 3) = tw_re(wa2, i, dr3, di3, sg);
            } else {
                ch(i - 1, k, 2) = dr2;
                ch(i, k, 2) = di2;
                ch(i - 1, k, 3) = dr3;
                ch(i, k, 3) = di3;
            }
        }
}

void pass4(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2,
           const double* wa3, double sg)
{
    const in_view cc{ccp, ido, 4};
    const out_view ch{chp, ido, l1};
    const bool twiddle = ido > 2;
    for (int k = 1; k <= l1; ++k)
        for (int i = 2; i <= ido; i += 2) {
            const double ti1 = cc(i, 1, k) - cc(i, 3, k);
            const double ti2 = cc(i, 1, k) + cc(i, 3, k);
            const double ti3 = cc(i, 2, k) + cc(i, 4, k);
            // (a1 - a3) rotated by isign * i
            const double tr4 = sg * (cc(i, 4, k) - cc(i, 2, k));
            const double tr1 = cc(i - 1, 1, k) - cc(i - 1, 3, k);
            const double tr2 = cc(i - 1, 1, k) + cc(i - 1, 3, k);
            const double ti4 = sg * (cc(i - 1, 2, k) - cc(i - 1, 4, k));
            const double tr3 = cc(i - 1, 2, k) + cc(i - 1, 4, k);
            ch(i - 1, k, 1) = tr2 + tr3;
            ch(i, k, 1) = ti2 + ti3;
            const double cr3 = tr2 - tr3, ci3 = ti2 - ti3;
            const double cr2 = tr1 + tr4, cr4 = tr1 - tr4;
            const double ci2 = ti1 + ti4, ci4 = ti1 - ti4;
            if (twiddle) {
                ch(i - 1, k, 2) = tw_re(wa1, i, cr2, ci2, sg);
                ch(i, k, 2) = tw_im(wa1, i, cr2, ci2, sg);
                ch(i - 1, k, 3) = tw_re(wa2, i, cr3, ci3, sg);
                ch(i, k, 3) = tw_im(wa2, i, cr3, ci3, sg);
                ch(i - 1, k, 4) = tw_re(wa3, i, cr4, ci4, sg);
                ch(i, k, 4) = tw_im(wa3, i, cr4, ci4, sg);
            } else {
                ch(i - 1, k, 2) = cr2;
                ch(i, k, 2) = ci2;
                ch(i - 1, k, 3) = cr3;
                ch(i, k, 3) = ci3;
                ch(i - 1, k, 4) = cr4;
                ch(i, k, 4) = ci4;
            }
        }
}

void pass5(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2,
           const double* wa3, const double* wa4, double sg)
{
    const double tr11 = 0.309016994374947, ti11 = sg * 0.951056516295154;
    const double tr12 = -0.809016994374947, ti12 = sg * 0.587785252292473;
    const in_view cc{ccp, ido, 5};
    const out_view ch{chp, ido, l1};
    const bool twiddle = ido > 2;
    for (int k = 1; k <= l1; ++k)
        for (int i = 2; i <= ido; i += 2) {
            const double ti5 = cc(i, 2, k) - cc(i, 5, k), ti2 = cc(i, 2, k) + cc(i, 5, k);
            const double ti4 = cc(i, 3, k) - cc(i, 4, k), ti3 = cc(i, 3, k) + cc(i, 4, k);
            const double tr5 = cc(i - 1, 2, k) - cc(i - 1, 5, k), tr2 = cc(i - 1, 2, k) + cc(i - 1, 5, k);
            const double tr4 = cc(i - 1, 3, k) - cc(i - 1, 4, k), tr3 = cc(i - 1, 3, k) + cc(i - 1, 4, k);
            ch(i - 1, k, 1) = cc(i - 1, 1, k) + tr2 + tr3;
            ch(i, k, 1) = cc(i, 1, k) + ti2 + ti3;
            const double cr2 = cc(i - 1, 1, k) + tr11 * tr2 + tr12 * tr3;
            const double ci2 = cc(i, 1, k) + tr11 * ti2 + tr12 * ti3;
            const double cr3 = cc(i - 1, 1, k) + tr12 * tr2 + tr11 * tr3;
            const double ci3 = cc(i, 1, k) + tr12 * ti2 + tr11 * ti3;
            const double cr5 = ti11 * tr5 + ti12 * tr4;
            const double ci5 = ti11 * ti5 + ti12 * ti4;
            const double cr4 = ti12 * tr5 - ti11 * tr4;
            const double ci4 = ti12 * ti5 - ti11 * ti4;
            const double dr3 = cr3 - ci4, dr4 = cr3 + ci4;
            const double di3 = ci3 + cr4, di4 = ci3 - cr4;
            const double dr5 = cr2 + ci5, dr2 = cr2 - ci5;
            const double di5 = ci2 - cr5, di2 = ci2 + cr5;
            if (twiddle) {
                ch(i - 1, k, 2) = tw_re(wa1, i, dr2, di2, sg);
                ch(i, k, 2) = tw_im(wa1, i, dr2, di2, sg);
                ch(i - 1, k, 3) = tw_re(wa2, i, dr3, di3, sg);
                ch(i, k, 3) = tw_im(wa2, i, dr3, di3, sg);
                ch(i - 1, k, 4) = tw_re(wa3, i, dr4, di4, sg);
                ch(i, k, 4) = tw_im(wa3, i, dr4, di4, sg);
                ch(i - 1, k, 5) = tw_re(wa4, i, dr5, di5, sg);
                ch(i, k, 5) = tw_im(wa4, i, dr5, di5, sg);
            } else {
                ch(i - 1, k, 2) = dr2;
                ch(i, k, 2) = di2;
                ch(i - 1, k, 3) = dr3;
                ch(i, k, 3) = di3;
                ch(i - 1, k, 4) = dr4;
                ch(i, k, 4) = di4;
                ch(i - 1, k, 5) = dr5;
                ch(i, k, 5) = di5;
            }
        }
}

// The general odd pass over cc (idot x ip x l1), ch scratch. Returns true
// when the result is in ch (idot = 2), false when it is back in cc.
bool passg(int ido, int ip, int l1, int idl1, double* ccp, double* chp, const double* wa, double sg)
{
    const int idot = ido / 2, ipp2 = ip + 2, ipph = (ip + 1) / 2, idp = ip * ido;
    auto cc = [&](int i, int j, int k) -> double& { return ccp[(i - 1) + ido * ((j - 1) + ip * (k - 1))]; };
    auto c1 = [&](int i, int k, int j) -> double& { return ccp[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; };
    auto c2 = [&](int ik, int j) -> double& { return ccp[(ik - 1) + idl1 * (j - 1)]; };
    auto ch = [&](int i, int k, int j) -> double& { return chp[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; };
    auto ch2 = [&](int ik, int j) -> double& { return chp[(ik - 1) + idl1 * (j - 1)]; };

    for (int j = 2; j <= ipph; ++j) {
        const int jc = ipp2 - j;
        for (int k = 1; k <= l1; ++k)
            for (int i = 1; i <= ido; ++i) {
                ch(i, k, j) = cc(i, j, k) + cc(i, jc, k);
                ch(i, k, jc) = cc(i, j, k) - cc(i, jc, k);
            }
    }
    for (int k = 1; k <= l1; ++k)
        for (int i = 1; i <= ido; ++i)
            ch(i, k, 1) = cc(i, 1, k);

    int idl = 2 - ido, inc = 0;
    for (int l = 2; l <= ipph; ++l) {
        const int lc = ipp2 - l;
        idl += ido;
        for (int ik = 1; ik <= idl1; ++ik) {
            c2(ik, l) = ch2(ik, 1) + wa[idl - 2] * ch2(ik, 2);
            c2(ik, lc) = sg * wa[idl - 1] * ch2(ik, ip);
        }
        int idlj = idl;
        inc += ido;
        auto next_root = [&](double& war, double& wai) {
            idlj += inc;
            if (idlj > idp)
                idlj -= idp;
            war = wa[idlj - 2];
            wai = sg * wa[idlj - 1];
        };
        general_pass_sums(
            &c2(1, l), &c2(1, lc), 3, ipph, idl1, next_root, [&](int j) -> const double* { return &ch2(1, j); },
            [&](int j) -> const double* { return &ch2(1, ipp2 - j); });
    }
    for (int j = 2; j <= ipph; ++j)
        for (int ik = 1; ik <= idl1; ++ik)
            ch2(ik, 1) = ch2(ik, 1) + ch2(ik, j);
    for (int j = 2; j <= ipph; ++j) {
        const int jc = ipp2 - j;
        for (int ik = 2; ik <= idl1; ik += 2) {
            ch2(ik - 1, j) = c2(ik - 1, j) - c2(ik, jc);
            ch2(ik - 1, jc) = c2(ik - 1, j) + c2(ik, jc);
            ch2(ik, j) = c2(ik, j) + c2(ik - 1, jc);
            ch2(ik, jc) = c2(ik, j) - c2(ik - 1, jc);
        }
    }
    if (ido == 2)
        return true;
    for (int ik = 1; ik <= idl1; ++ik)
        c2(ik, 1) = ch2(ik, 1);
    for (int j = 2; j <= ip; ++j)
        for (int k = 1; k <= l1; ++k) {
            c1(1, k, j) = ch(1, k, j);
            c1(2, k, j) = ch(2, k, j);
        }
    int idij = 0;
    for (int j = 2; j <= ip; ++j) {
        idij += 2;
        for (int i = 4; i <= ido; i += 2) {
            idij += 2;
            const double c = wa[idij - 2], s = sg * wa[idij - 1];
            for (int k = 1; k <= l1; ++k) {
                c1(i - 1, k, j) = c * ch(i - 1, k, j) - s * ch(i, k, j);
                c1(i, k, j) = c * ch(i, k, j) + s * ch(i - 1, k, j);
            }
        }
    }
    (void)idot;
    return false;
}

void complex_passes(int n, double* c, double* ch, const double* wa, double sg) noexcept
{
    if (n <= 1)
        return;
    const fft_detail::factor_record fac = fft_detail::load(wa + 2 * std::size_t(n));
    bool in_c = true;
    int l1 = 1, iw = 0;
    for (int f = 0; f < fac.nf; ++f) {
        const int ip = fac.f[f], l2 = ip * l1, ido = n / l2, idot = 2 * ido, idl1 = idot * l1;
        double* from = in_c ? c : ch;
        double* to = in_c ? ch : c;
        const double* w = wa + iw;
        switch (ip) {
        case 4: pass4(idot, l1, from, to, w, w + idot, w + 2 * idot, sg); in_c = !in_c; break;
        case 2: pass2(idot, l1, from, to, w, sg); in_c = !in_c; break;
        case 3: pass3(idot, l1, from, to, w, w + idot, sg); in_c = !in_c; break;
        case 5: pass5(idot, l1, from, to, w, w + idot, w + 2 * idot, w + 3 * idot, sg); in_c = !in_c; break;
        default:
            if (passg(idot, ip, l1, idl1, from, to, w, sg))
                in_c = !in_c;
        }
        l1 = l2;
        iw += (ip - 1) * idot;
    }
    if (!in_c)
        std::memcpy(c, ch, sizeof(double) * 2 * n);
}

constexpr int complex_divisors[4] = {3, 4, 2, 5};

} // namespace

std::vector<int> complex_fft_factors(int n)
{
    const fft_detail::factor_record r = fft_detail::factorize(n, complex_divisors);
    return std::vector<int>(r.f, r.f + r.nf);
}

void complex_fft_table(int n, double* table) noexcept
{
    if (n <= 1)
        return;
    const fft_detail::factor_record fac = fft_detail::factorize(n, complex_divisors);
    fft_detail::store(fac, table + 2 * std::size_t(n));
    const double h = 6.28318530717959 / n;
    int t = 0, l1 = 1;  // t counts (cos, sin) pairs
    for (int f = 0; f < fac.nf; ++f) {
        const int p = fac.f[f], l2 = l1 * p, ido = n / l2;
        for (int j = 1; j < p; ++j) {
            const int t1 = t;
            table[2 * t] = 1;
            table[2 * t + 1] = 0;
            const double a = double(j * l1) * h;
            for (int i = 1; i <= ido; ++i) {
                ++t;
                table[2 * t] = std::cos(i * a);
                table[2 * t + 1] = std::sin(i * a);
            }
            // the general pass reads its roots of unity from the heads
            if (p > 5) {
                table[2 * t1] = table[2 * t];
                table[2 * t1 + 1] = table[2 * t + 1];
            }
        }
        l1 = l2;
    }
}

void complex_fft_run(int n, double* c, double* scratch, const double* table, int dir) noexcept
{
    complex_passes(n, c, scratch, table, dir < 0 ? -1.0 : 1.0);
}

void complex_fft_init(int n, double* work) noexcept { complex_fft_table(n, work + 2 * std::size_t(n)); }
void complex_fft_forward(int n, double* c, double* work) noexcept
{
    complex_fft_run(n, c, work, work + 2 * std::size_t(n), -1);
}

void complex_fft_backward(int n, double* c, double* work) noexcept
{
    complex_fft_run(n, c, work, work + 2 * std::size_t(n), +1);
}
