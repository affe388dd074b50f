// The forward mixed-radix transform of a real sequence (FFTPACK's real
// transform: radix-2, 3, 4 and 5 butterflies and a general odd pass) with
// its half-complex output. There is no backward kernel: the core conjugates.
#include "signal/fft_factors.hpp"
#include "signal/fft_kernels.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The passes index their arrays 1-based in the published order: cc is
// ido x l1 x p on input and ch is ido x p x l1 on output.
struct in_view {
    const double* a;
    int ido, l1;
    double operator()(int i, int k, int j) const { return a[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; }
};
struct out_view {
    double* a;
    int ido, p;
    double& operator()(int i, int j, int k) const { return a[(i - 1) + ido * ((j - 1) + p * (k - 1))]; }
};

void radf2(int ido, int l1, const double* ccp, double* chp, const double* wa1)
{
    const in_view cc{ccp, ido, l1};
    const out_view ch{chp, ido, 2};
    for (int k = 1; k <= l1; ++k) {
        ch(1, 1, k) = cc(1, k, 1) + cc(1, k, 2);
        ch(ido, 2, k) = cc(1, k, 1) - cc(1, k, 2);
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; ++k)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                const double tr2 = wa1[i - 3] * cc(i - 1, k, 2) + wa1[i - 2] * cc(i, k, 2);
                const double ti2 = wa1[i - 3] * cc(i, k, 2) - wa1[i - 2] * cc(i - 1, k, 2);
                ch(i, 1, k) = cc(i, k, 1) + ti2;
                ch(ic, 2, k) = ti2 - cc(i, k, 1);
                ch(i - 1, 1, k) = cc(i - 1, k, 1) + tr2;
                ch(ic - 1, 2, k) = cc(i - 1, k, 1) - tr2;
            }
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; ++k) {
        ch(1, 2, k) = -cc(ido, k, 2);
        ch(ido, 1, k) = cc(ido, k, 1);
    }
}

void radf3(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2)
{
    constexpr double taur = -0.5, taui = 0.866025403784439;
    const in_view cc{ccp, ido, l1};
    const out_view ch{chp, ido, 3};
    for (int k = 1; k <= l1; ++k) {
        const double cr2 = cc(1, k, 2) + cc(1, k, 3);
        ch(1, 1, k) = cc(1, k, 1) + cr2;
        ch(1, 3, k) = taui * (cc(1, k, 3) - cc(1, k, 2));
        ch(ido, 2, k) = cc(1, k, 1) + taur * cr2;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; ++k)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            const double dr2 = wa1[i - 3] * cc(i - 1, k, 2) + wa1[i - 2] * cc(i, k, 2);
            const double di2 = wa1[i - 3] * cc(i, k, 2) - wa1[i - 2] * cc(i - 1, k, 2);
            const double dr3 = wa2[i - 3] * cc(i - 1, k, 3) + wa2[i - 2] * cc(i, k, 3);
            const double di3 = wa2[i - 3] * cc(i, k, 3) - wa2[i - 2] * cc(i - 1, k, 3);
            const double cr2 = dr2 + dr3, ci2 = di2 + di3;
            ch(i - 1, 1, k) = cc(i - 1, k, 1) + cr2;
            ch(i, 1, k) = cc(i, k, 1) + ci2;
            const double tr2 = cc(i - 1, k, 1) + taur * cr2;
            const double ti2 = cc(i, k, 1) + taur * ci2;
            const double tr3 = taui * (di2 - di3);
            const double ti3 = taui * (dr3 - dr2);
            ch(i - 1, 3, k) = tr2 + tr3;
            ch(ic - 1, 2, k) = tr2 - tr3;
            ch(i, 3, k) = ti2 + ti3;
            ch(ic, 2, k) = ti3 - ti2;
        }
}

void radf4(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2,
           const double* wa3)
{
    constexpr double hsqt2 = 0.7071067811865475;
    const in_view cc{ccp, ido, l1};
    const out_view ch{chp, ido, 4};
    for (int k = 1; k <= l1; ++k) {
        const double tr1 = cc(1, k, 2) + cc(1, k, 4);
        const double tr2 = cc(1, k, 1) + cc(1, k, 3);
        ch(1, 1, k) = tr1 + tr2;
        ch(ido, 4, k) = tr2 - tr1;
        ch(ido, 2, k) = cc(1, k, 1) - cc(1, k, 3);
        ch(1, 3, k) = cc(1, k, 4) - cc(1, k, 2);
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; ++k)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                const double cr2 = wa1[i - 3] * cc(i - 1, k, 2) + wa1[i - 2] * cc(i, k, 2);
                const double ci2 = wa1[i - 3] * cc(i, k, 2) - wa1[i - 2] * cc(i - 1, k, 2);
                const double cr3 = wa2[i - 3] * cc(i - 1, k, 3) + wa2[i - 2] * cc(i, k, 3);
                const double ci3 = wa2[i - 3] * cc(i, k, 3) - wa2[i - 2] * cc(i - 1, k, 3);
                const double cr4 = wa3[i - 3] * cc(i - 1, k, 4) + wa3[i - 2] * cc(i, k, 4);
                const double ci4 = wa3[i - 3] * cc(i, k, 4) - wa3[i - 2] * cc(i - 1, k, 4);
                const double tr1 = cr2 + cr4, tr4 = cr4 - cr2;
                const double ti1 = ci2 + ci4, ti4 = ci2 - ci4;
                const double ti2 = cc(i, k, 1) + ci3, ti3 = cc(i, k, 1) - ci3;
                const double tr2 = cc(i - 1, k, 1) + cr3, tr3 = cc(i - 1, k, 1) - cr3;
                ch(i - 1, 1, k) = tr1 + tr2;
                ch(ic - 1, 4, k) = tr2 - tr1;
                ch(i, 1, k) = ti1 + ti2;
                ch(ic, 4, k) = ti1 - ti2;
                ch(i - 1, 3, k) = ti4 + tr3;
                ch(ic - 1, 2, k) = tr3 - ti4;
                ch(i, 3, k) = tr4 + ti3;
                ch(ic, 2, k) = tr4 - ti3;
            }
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; ++k) {
        const double ti1 = -hsqt2 * (cc(ido, k, 2) + cc(ido, k, 4));
        const double tr1 = hsqt2 * (cc(ido, k, 2) - cc(ido, k, 4));
        ch(ido, 1, k) = tr1 + cc(ido, k, 1);
        ch(ido, 3, k) = cc(ido, k, 1) - tr1;
        ch(1, 2, k) = ti1 - cc(ido, k, 3);
        ch(1, 4, k) = ti1 + cc(ido, k, 3);
    }
}

void radf5(int ido, int l1, const double* ccp, double* chp, const double* wa1, const double* wa2,
           const double* wa3, const double* wa4)
{
    constexpr double tr11 = 0.309016994374947, ti11 = 0.951056516295154;
    constexpr double tr12 = -0.809016994374947, ti12 = 0.587785252292473;
    const in_view cc{ccp, ido, l1};
    const out_view ch{chp, ido, 5};
    for (int k = 1; k <= l1; ++k) {
        const double cr2 = cc(1, k, 5) + cc(1, k, 2), ci5 = cc(1, k, 5) - cc(1, k, 2);
        const double cr3 = cc(1, k, 4) + cc(1, k, 3), ci4 = cc(1, k, 4) - cc(1, k, 3);
        ch(1, 1, k) = cc(1, k, 1) + cr2 + cr3;
        ch(ido, 2, k) = cc(1, k, 1) + tr11 * cr2 + tr12 * cr3;
        ch(1, 3, k) = ti11 * ci5 + ti12 * ci4;
        ch(ido, 4, k) = cc(1, k, 1) + tr12 * cr2 + tr11 * cr3;
        ch(1, 5, k) = ti12 * ci5 - ti11 * ci4;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; ++k)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            const double dr2 = wa1[i - 3] * cc(i - 1, k, 2) + wa1[i - 2] * cc(i, k, 2);
            const double di2 = wa1[i - 3] * cc(i, k, 2) - wa1[i - 2] * cc(i - 1, k, 2);
            const double dr3 = wa2[i - 3] * cc(i - 1, k, 3) + wa2[i - 2] * cc(i, k, 3);
            const double di3 = wa2[i - 3] * cc(i, k, 3) - wa2[i - 2] * cc(i - 1, k, 3);
            const double dr4 = wa3[i - 3] * cc(i - 1, k, 4) + wa3[i - 2] * cc(i, k, 4);
            const double di4 = wa3[i - 3] * cc(i, k, 4) - wa3[i - 2] * cc(i - 1, k, 4);
            const double dr5 = wa4[i - 3] * cc(i - 1, k, 5) + wa4[i - 2] * cc(i, k, 5);
            const double di5 = wa4[i - 3] * cc(i, k, 5) - wa4[i - 2] * cc(i - 1, k, 5);
            const double cr2 = dr2 + dr5, ci5 = dr5 - dr2;
            const double cr5 = di2 - di5, ci2 = di2 + di5;
            const double cr3 = dr3 + dr4, ci4 = dr4 - dr3;
            const double cr4 = di3 - di4, ci3 = di3 + di4;
            ch(i - 1, 1, k) = cc(i - 1, k, 1) + cr2 + cr3;
            ch(i, 1, k) = cc(i, k, 1) + ci2 + ci3;
            const double tr2 = cc(i - 1, k, 1) + tr11 * cr2 + tr12 * cr3;
            const double ti2 = cc(i, k, 1) + tr11 * ci2 + tr12 * ci3;
            const double tr3 = cc(i - 1, k, 1) + tr12 * cr2 + tr11 * cr3;
            const double ti3 = cc(i, k, 1) + tr12 * ci2 + tr11 * ci3;
            const double tr5 = ti11 * cr5 + ti12 * cr4;
            const double ti5 = ti11 * ci5 + ti12 * ci4;
            const double tr4 = ti12 * cr5 - ti11 * cr4;
            const double ti4 = ti12 * ci5 - ti11 * ci4;
            ch(i - 1, 3, k) = tr2 + tr5;
            ch(ic - 1, 2, k) = tr2 - tr5;
            ch(i, 3, k) = ti2 + ti5;
            ch(ic, 2, k) = ti5 - ti2;
            ch(i - 1, 5, k) = tr3 + tr4;
            ch(ic - 1, 4, k) = tr3 - tr4;
            ch(i, 5, k) = ti3 + ti4;
            ch(ic, 4, k) = ti4 - ti3;
        }
}

// cos and sin of 2*pi*m/p, each from its own angle folded into
// [0, pi] (the upper half by symmetry): kept in a table for every factor
// the general passes may be given, evaluated on demand beyond it (a larger
// prime reaches this pass only in a length above 2^29, beyond Bluestein).
class unity_roots {
public:
    explicit unity_roots(int p) : p_(p), stored_(p <= max_stored ? p / 2 + 1 : 0)
    {
        for (int m = 0; m < stored_; ++m) {
            cos_[m] = std::cos(angle(m));
            sin_[m] = std::sin(angle(m));
        }
    }

    void get(int m, double& c, double& s) const
    {
        const bool upper = 2 * std::int64_t(m) > p_;
        const int f = upper ? p_ - m : m;
        if (f < stored_) {
            c = cos_[f];
            s = sin_[f];
        } else {
            c = std::cos(angle(f));
            s = std::sin(angle(f));
        }
        if (upper)
            s = -s;
    }

private:
    static constexpr int max_stored = largest_direct_factor;
    double angle(int m) const { return 6.283185307179586 * m / p_; }
    int p_, stored_;
    double cos_[max_stored / 2 + 1], sin_[max_stored / 2 + 1];
};

// The general odd pass. Input in cc when ido > 1 (result back in cc, ch
// scratch); input in ch when ido = 1 (result in cc).
void radfg(int ido, int ip, int l1, int idl1, double* ccp, double* chp, const double* wa)
{
    const unity_roots roots(ip);
    const int ipph = (ip + 1) / 2, ipp2 = ip + 2, idp2 = ido + 2;
    // c1/ch: ido x l1 x ip; c2/ch2: idl1 x ip; cc: ido x ip x l1.
    auto c1 = [&](int i, int k, int j) -> double& { return ccp[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; };
    auto ch = [&](int i, int k, int j) -> double& { return chp[(i - 1) + ido * ((k - 1) + l1 * (j - 1))]; };
    auto c2 = [&](int ik, int j) -> double& { return ccp[(ik - 1) + idl1 * (j - 1)]; };
    auto ch2 = [&](int ik, int j) -> double& { return chp[(ik - 1) + idl1 * (j - 1)]; };
    auto cc = [&](int i, int j, int k) -> double& { return ccp[(i - 1) + ido * ((j - 1) + ip * (k - 1))]; };

    if (ido == 1) {
        for (int ik = 1; ik <= idl1; ++ik)
            c2(ik, 1) = ch2(ik, 1);
    } else {
        for (int ik = 1; ik <= idl1; ++ik)
            ch2(ik, 1) = c2(ik, 1);
        for (int j = 2; j <= ip; ++j)
            for (int k = 1; k <= l1; ++k)
                ch(1, k, j) = c1(1, k, j);
        int is = -ido;
        for (int j = 2; j <= ip; ++j) {
            is += ido;
            for (int k = 1; k <= l1; ++k) {
                int idij = is;
                for (int i = 3; i <= ido; i += 2) {
                    idij += 2;
                    const double w1 = wa[idij - 2], w2 = wa[idij - 1];
                    ch(i - 1, k, j) = w1 * c1(i - 1, k, j) + w2 * c1(i, k, j);
                    ch(i, k, j) = w1 * c1(i, k, j) - w2 * c1(i - 1, k, j);
                }
            }
        }
        for (int j = 2; j <= ipph; ++j) {
            const int jc = ipp2 - j;
            for (int k = 1; k <= l1; ++k)
                for (int i = 3; i <= ido; i += 2) {
                    c1(i - 1, k, j) = ch(i - 1, k, j) + ch(i - 1, k, jc);
                    c1(i - 1, k, jc) = ch(i, k, j) - ch(i, k, jc);
                    c1(i, k, j) = ch(i, k, j) + ch(i, k, jc);
                    c1(i, k, jc) = ch(i - 1, k, jc) - ch(i - 1, k, j);
                }
        }
    }
    for (int j = 2; j <= ipph; ++j) {
        const int jc = ipp2 - j;
        for (int k = 1; k <= l1; ++k) {
            c1(1, k, j) = ch(1, k, j) + ch(1, k, jc);
            c1(1, k, jc) = ch(1, k, jc) - ch(1, k, j);
        }
    }

    for (int l = 2; l <= ipph; ++l) {
        const int lc = ipp2 - l;
        double ar1, ai1;
        roots.get(l - 1, ar1, ai1);
        for (int ik = 1; ik <= idl1; ++ik) {
            ch2(ik, l) = c2(ik, 1) + ar1 * c2(ik, 2);
            ch2(ik, lc) = ai1 * c2(ik, ip);
        }
        // Root (l-1)(j-1) of the p-th roots, read afresh for every j: a
        // chained product would lose a few digits per step at large p.
        std::int64_t m = l - 1;
        auto next_root = [&](double& ar, double& ai) {
            m += l - 1;
            if (m >= ip)
                m -= ip;
            roots.get(int(m), ar, ai);
        };
        general_pass_sums(
            &ch2(1, l), &ch2(1, lc), 3, ipph, idl1, next_root, [&](int j) -> const double* { return &c2(1, j); },
            [&](int j) -> const double* { return &c2(1, ipp2 - j); });
    }
    for (int j = 2; j <= ipph; ++j)
        for (int ik = 1; ik <= idl1; ++ik)
            ch2(ik, 1) = ch2(ik, 1) + c2(ik, j);

    for (int k = 1; k <= l1; ++k)
        for (int i = 1; i <= ido; ++i)
            cc(i, 1, k) = ch(i, k, 1);
    for (int j = 2; j <= ipph; ++j) {
        const int jc = ipp2 - j, j2 = j + j;
        for (int k = 1; k <= l1; ++k) {
            cc(ido, j2 - 2, k) = ch(1, k, j);
            cc(1, j2 - 1, k) = ch(1, k, jc);
        }
    }
    if (ido == 1)
        return;
    for (int j = 2; j <= ipph; ++j) {
        const int jc = ipp2 - j, j2 = j + j;
        for (int k = 1; k <= l1; ++k)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                cc(i - 1, j2 - 1, k) = ch(i - 1, k, j) + ch(i - 1, k, jc);
                cc(ic - 1, j2 - 2, k) = ch(i - 1, k, j) - ch(i - 1, k, jc);
                cc(i, j2 - 1, k) = ch(i, k, j) + ch(i, k, jc);
                cc(ic, j2 - 2, k) = ch(i, k, jc) - ch(i, k, j);
            }
    }
}

constexpr int real_divisors[4] = {4, 2, 3, 5};

} // namespace

std::vector<int> real_fft_factors(int n)
{
    const fft_detail::factor_record r = fft_detail::factorize(n, real_divisors);
    return std::vector<int>(r.f, r.f + r.nf);
}

void real_fft_table(int n, double* table) noexcept
{
    if (n <= 1)
        return;
    const fft_detail::factor_record fac = fft_detail::factorize(n, real_divisors);
    fft_detail::store(fac, table + n);
    const double h = 6.28318530717959 / n;
    int s = 0, l1 = 1;
    for (int f = 0; f + 1 < fac.nf; ++f) {
        const int p = fac.f[f], l2 = l1 * p, ido = n / l2;
        for (int j = 1; j < p; ++j) {
            const double a = double(j * l1) * h;
            for (int i = 1; i <= (ido - 1) / 2; ++i) {
                table[s + 2 * i - 2] = std::cos(i * a);
                table[s + 2 * i - 1] = std::sin(i * a);
            }
            s += ido;
        }
        l1 = l2;
    }
}

void real_fft_init(int n, double* work) noexcept { real_fft_table(n, work + n); }
void real_fft_forward(int n, double* r, double* work) noexcept { real_fft_run(n, r, work, work + n); }

void real_fft_run(int n, double* r, double* ch, const double* wa) noexcept
{
    if (n <= 1)
        return;
    const fft_detail::factor_record fac = fft_detail::load(wa + n);
    double* c = r;
    // in_c: the data are in r (true) or in the work buffer (false)
    bool in_c = true;
    int l2 = n, iw = n - 1;
    for (int f = fac.nf - 1; f >= 0; --f) {
        const int ip = fac.f[f], l1 = l2 / ip, ido = n / l2, idl1 = ido * l1;
        iw -= (ip - 1) * ido;
        double* from = in_c ? c : ch;
        double* to = in_c ? ch : c;
        const double* w = wa + iw;
        switch (ip) {
        case 4: radf4(ido, l1, from, to, w, w + ido, w + 2 * ido); in_c = !in_c; break;
        case 2: radf2(ido, l1, from, to, w); in_c = !in_c; break;
        case 3: radf3(ido, l1, from, to, w, w + ido); in_c = !in_c; break;
        case 5: radf5(ido, l1, from, to, w, w + ido, w + 2 * ido, w + 3 * ido); in_c = !in_c; break;
        default:
            if (ido == 1) {
                // the pass reads its second array and writes its first
                radfg(ido, ip, l1, idl1, to, from, w);
                in_c = !in_c;
            } else
                radfg(ido, ip, l1, idl1, from, to, w);
        }
        l2 = l1;
    }
    if (!in_c)
        std::memcpy(r, ch, sizeof(double) * n);
}
