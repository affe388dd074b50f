// The K Bessel core of the complex package: K in the right half plane by
// Temme's series (|z| <= 2) or Miller's algorithm with the large-|z| closed
// form, the rescue of underflowing sequences, the continuation of K into the
// left half plane, and the single-value underflow tests.
#include "bessel/amos_common.hpp"

namespace amos {

using namespace detail;

void ZUCHK(const double* yr, const double* yi, int* nz, const double* ascle, const double* tol) noexcept
{
    // A value whose smaller part is below ASCLE and whose larger part is
    // within a factor TOL of it would lose all its digits when scaled back.
    *nz = 0;
    double wr = std::fabs(*yr), wi = std::fabs(*yi);
    double st = wr < wi ? wr : wi;
    if (st > *ascle)
        return;
    double ss = wr > wi ? wr : wi;
    st /= *tol;
    if (ss < st)
        *nz = 1;
}

void ZS1S2(const double* zrr, const double* zri, double* s1r, double* s1i, double* s2r, double* s2i, int* nz,
           const double* ascle, const double* alim, int* iuf) noexcept
{
    *nz = 0;
    double as1 = cabs(*s1r, *s1i), as2 = cabs(*s2r, *s2i);
    if ((*s1r != 0 || *s1i != 0) && as1 != 0) {
        double aln = -*zrr - *zrr + std::log(as1);
        double s1dr = *s1r, s1di = *s1i;
        *s1r = 0;
        *s1i = 0;
        as1 = 0;
        if (aln >= -*alim) {
            double c1r, c1i;
            clog(s1dr, s1di, c1r, c1i);
            c1r = c1r - *zrr - *zrr;
            c1i = c1i - *zri - *zri;
            cexp(c1r, c1i, *s1r, *s1i);
            as1 = cabs(*s1r, *s1i);
            *iuf += 1;
        }
    }
    double aa = as1 > as2 ? as1 : as2;
    if (aa > *ascle)
        return;
    *s1r = *s1i = *s2r = *s2i = 0;
    *nz = 1;
    *iuf = 0;
}

void ZKSCL(const double* zrr, const double* zri, const double* fnu, const int* n, double* yr, double* yi, int* nz,
           const double* rzr, const double* rzi, const double* ascle, const double* tol, const double* elim) noexcept
{
    double cyr[2], cyi[2];
    *nz = 0;
    int ic = 0;
    int nn = int_min(2, *n);
    for (int i = 1; i <= nn; ++i) {
        double s1r = yr[i - 1], s1i = yi[i - 1];
        cyr[i - 1] = s1r;
        cyi[i - 1] = s1i;
        double as = cabs(s1r, s1i);
        double acs = -*zrr + std::log(as);
        *nz += 1;
        yr[i - 1] = 0;
        yi[i - 1] = 0;
        if (acs < -*elim)
            continue;
        double csr, csi;
        clog(s1r, s1i, csr, csi);
        csr -= *zrr;
        csi -= *zri;
        double str = std::exp(csr) / *tol;
        csr = str * std::cos(csi);
        csi = str * std::sin(csi);
        int nw;
        ZUCHK(&csr, &csi, &nw, ascle, tol);
        if (nw != 0)
            continue;
        yr[i - 1] = csr;
        yi[i - 1] = csi;
        ic = i;
        *nz -= 1;
    }
    if (*n == 1)
        return;
    if (ic <= 1) {
        yr[0] = 0;
        yi[0] = 0;
        *nz = 2;
    }
    if (*n == 2 || *nz == 0)
        return;
    double fn = *fnu + 1.0;
    double ckr = fn * *rzr, cki = fn * *rzi;
    double s1r = cyr[0], s1i = cyi[0], s2r = cyr[1], s2i = cyi[1];
    double helim = 0.5 * *elim;
    double elm = std::exp(-*elim);
    double zdr = *zrr, zdi = *zri;
    int kk = 0;
    bool found = false;
    // Find two consecutive members on scale; rescale the raw recurrence when
    // it grows past exp(ELIM/2) so that it cannot overflow.
    for (int i = 3; i <= *n; ++i) {
        kk = i;
        double csr = s2r, csi = s2i;
        s2r = ckr * csr - cki * csi + s1r;
        s2i = cki * csr + ckr * csi + s1i;
        s1r = csr;
        s1i = csi;
        ckr += *rzr;
        cki += *rzi;
        double as = cabs(s2r, s2i);
        double alas = std::log(as);
        double acs = -zdr + alas;
        *nz += 1;
        yr[i - 1] = 0;
        yi[i - 1] = 0;
        bool accepted = false;
        if (acs >= -*elim) {
            clog(s2r, s2i, csr, csi);
            csr -= zdr;
            csi -= zdi;
            double str = std::exp(csr) / *tol;
            csr = str * std::cos(csi);
            csi = str * std::sin(csi);
            int nw;
            ZUCHK(&csr, &csi, &nw, ascle, tol);
            if (nw == 0) {
                yr[i - 1] = csr;
                yi[i - 1] = csi;
                *nz -= 1;
                accepted = true;
                if (ic == kk - 1) {
                    found = true;
                    break;
                }
                ic = kk;
            }
        }
        if (!accepted && alas >= helim) {
            zdr -= *elim;
            s1r *= elm;
            s1i *= elm;
            s2r *= elm;
            s2i *= elm;
        }
    }
    if (found) {
        *nz = kk - 2;
    } else {
        *nz = *n;
        if (ic == *n)
            *nz = *n - 1;
    }
    for (int k = 1; k <= *nz; ++k) {
        yr[k - 1] = 0;
        yi[k - 1] = 0;
    }
}

namespace {

// Coefficients of the series of 1/Gamma(1 - x) - 1/Gamma(1 + x) over 2x,
// used for the small orders where the difference cancels.
constexpr double gamma_series[8] = {
    0.5772156649015329,    -0.04200263503409524, -0.04219773455554433,   0.0072189432466631,
    -0.00021524167411495098, -2.013485478078824e-05, 1.133027231981696e-06, 6.116095104481416e-09,
};

} // namespace

void ZBKNU(const double* zr_, const double* zi_, const double* fnu_, const int* kode, const int* n_, double* yr,
           double* yi, int* nz, const double* tol_, const double* elim_, const double* alim_) noexcept
{
    const int kmax = 30;
    const double r1 = 2.0;
    const double spi = 1.909859317102744;
    const double fpi = 1.8976999933151775;
    const double tth = 0.6666666666666666;

    const double zr = *zr_, zi = *zi_, fnu = *fnu_, tol = *tol_, elim = *elim_, alim = *alim_;
    const int n = *n_;

    double cyr[2] = {0, 0}, cyi[2] = {0, 0};
    double caz = cabs(zr, zi);
    double csclr = 1.0 / tol, crscr = tol;
    double css[3] = {csclr, 1.0, crscr};
    double csr[3] = {crscr, 1.0, csclr};
    double bry[3];
    bry[0] = 1.0e3 * realmin() / tol;
    bry[1] = 1.0 / bry[0];
    bry[2] = realmax();
    *nz = 0;
    int iflag = 0;
    int koded = *kode;
    double rcaz = 1.0 / caz;
    double str = zr * rcaz, sti = -zi * rcaz;
    double rzr = (str + str) * rcaz, rzi = (sti + sti) * rcaz;
    int inu = static_cast<int>(fix_double(fnu + 0.5));
    double dnu = fnu - inu;
    double dnu2 = 0;
    if (std::fabs(dnu) > tol)
        dnu2 = dnu * dnu;

    double s1r = 0, s1i = 0, s2r = 0, s2i = 0, ckr = 0, cki = 0;
    double coefr = 0, coefi = 0;
    int kflag = 2;
    double zdr = zr, zdi = zi;

    // Paths: 'S' series done (go to forward recurrence), 'R' recurrence
    // from K(dnu), K(dnu+1), 'U' underflow rescue.
    enum { forward, store_first, rescue } next = forward;

    if (std::fabs(dnu) != 0.5 && caz <= r1) {
        // Temme's series for K(dnu) and K(dnu + 1).
        double fc = 1.0;
        double smur, smui;
        clog(rzr, rzi, smur, smui);
        const double log_rz_re = smur;
        double fmur = smur * dnu, fmui = smui * dnu;
        double cshr, cshi, cchr, cchi;
        complex_sinh_cosh(fmur, fmui, cshr, cshi, cchr, cchi);
        if (dnu != 0) {
            fc = dnu * pi;
            fc = fc / std::sin(fc);
            smur = cshr / dnu;
            smui = cshi / dnu;
        }
        double a2 = 1.0 + dnu;
        double t2 = std::exp(-log_gamma(a2));
        double t1 = 1.0 / (t2 * fc);
        double g1;
        if (std::fabs(dnu) > 0.1) {
            g1 = (t1 - t2) / (dnu + dnu);
        } else {
            double ak = 1.0, s = gamma_series[0];
            for (int k = 2; k <= 8; ++k) {
                ak *= dnu2;
                double tm = gamma_series[k - 1] * ak;
                s += tm;
                if (std::fabs(tm) < tol)
                    break;
            }
            g1 = -s;
        }
        double g2 = (t1 + t2) * 0.5;
        double fr = fc * (cchr * g1 + smur * g2);
        double fi = fc * (cchi * g1 + smui * g2);
        double ptr, pti;
        cexp(fmur, fmui, str, sti);
        double pr = 0.5 * str / t2, pi_ = 0.5 * sti / t2;
        cdiv(0.5, 0.0, str, sti, ptr, pti);
        double qr = ptr / t1, qi = pti / t1;
        s1r = fr;
        s1i = fi;
        s2r = pr;
        s2i = pi_;
        double ak = 1.0, a1 = 1.0;
        double ckr_ = 1.0, cki_ = 0.0;
        double bk = 1.0 - dnu2;
        if (inu == 0 && n == 1) {
            // K(fnu) alone, 0 <= fnu < 0.5.
            if (caz >= tol) {
                double czr, czi;
                cmul(zr, zi, zr, zi, czr, czi);
                czr *= 0.25;
                czi *= 0.25;
                double t1s = 0.25 * caz * caz;
                do {
                    fr = (fr * ak + pr + qr) / bk;
                    fi = (fi * ak + pi_ + qi) / bk;
                    str = 1.0 / (ak - dnu);
                    pr *= str;
                    pi_ *= str;
                    str = 1.0 / (ak + dnu);
                    qr *= str;
                    qi *= str;
                    str = ckr_ * czr - cki_ * czi;
                    double rak = 1.0 / ak;
                    cki_ = to_double((ckr_ * czi + cki_ * czr) * rak);
                    ckr_ = to_double(str * rak);
                    s1r += ckr_ * fr - cki_ * fi;
                    s1i += ckr_ * fi + cki_ * fr;
                    a1 = a1 * t1s * rak;
                    bk = bk + ak + ak + 1.0;
                    ak += 1.0;
                } while (a1 > tol);
            }
            yr[0] = s1r;
            yi[0] = s1i;
            if (koded == 1)
                return;
            cexp(zr, zi, str, sti);
            cmul(s1r, s1i, str, sti, yr[0], yi[0]);
            return;
        }
        if (caz >= tol) {
            double czr, czi;
            cmul(zr, zi, zr, zi, czr, czi);
            czr *= 0.25;
            czi *= 0.25;
            double t1s = 0.25 * caz * caz;
            do {
                fr = (fr * ak + pr + qr) / bk;
                fi = (fi * ak + pi_ + qi) / bk;
                str = 1.0 / (ak - dnu);
                pr *= str;
                pi_ *= str;
                str = 1.0 / (ak + dnu);
                qr *= str;
                qi *= str;
                str = ckr_ * czr - cki_ * czi;
                double rak = 1.0 / ak;
                cki_ = to_double((ckr_ * czi + cki_ * czr) * rak);
                ckr_ = to_double(str * rak);
                s1r += ckr_ * fr - cki_ * fi;
                s1i += ckr_ * fi + cki_ * fr;
                str = pr - fr * ak;
                sti = pi_ - fi * ak;
                s2r += ckr_ * str - cki_ * sti;
                s2i += ckr_ * sti + cki_ * str;
                a1 = a1 * t1s * rak;
                bk = bk + ak + ak + 1.0;
                ak += 1.0;
            } while (a1 > tol);
        }
        kflag = 2;
        if ((fnu + 1.0) * std::fabs(log_rz_re) > alim)
            kflag = 3;
        double p2r = s2r * css[kflag - 1], p2i = s2i * css[kflag - 1];
        s2r = p2r * rzr - p2i * rzi;
        s2i = p2r * rzi + p2i * rzr;
        s1r *= css[kflag - 1];
        s1i *= css[kflag - 1];
        if (koded != 1) {
            double fr2, fi2;
            cexp(zr, zi, fr2, fi2);
            cmul(s1r, s1i, fr2, fi2, s1r, s1i);
            cmul(s2r, s2i, fr2, fi2, s2r, s2i);
        }
    } else {
        // |z| > 2 (or dnu = +-1/2): Miller's algorithm normalised by the sum,
        // or the closed form for half-odd orders.
        csqrt(zr, zi, str, sti);
        cdiv(rthpi, 0.0, str, sti, coefr, coefi);
        kflag = 2;
        if (koded == 1) {
            if (zr > alim) {
                // exp(-z) would underflow: carry the values scaled by exp(z)
                // and test them on the way up.
                koded = 2;
                iflag = 1;
                kflag = 2;
            } else {
                str = std::exp(-zr) * css[kflag - 1];
                sti = -str * std::sin(zi);
                str = str * std::cos(zi);
                cmul(coefr, coefi, str, sti, coefr, coefi);
            }
        }
        double ak = std::fabs(std::cos(pi * dnu));
        double fhs = std::fabs(0.25 - dnu2);
        if (std::fabs(dnu) == 0.5 || ak == 0 || fhs == 0) {
            s1r = coefr;
            s1i = coefi;
            s2r = coefr;
            s2i = coefi;
        } else {
            double t1 = (machine_int(14) - 1) * machine_double(5) * 3.321928094;
            t1 = t1 > 12.0 ? t1 : 12.0;
            t1 = t1 < 60.0 ? t1 : 60.0;
            double t2 = tth * t1 - 6.0;
            if (zr == 0)
                t1 = hpi;
            else
                t1 = std::fabs(std::atan(zi / zr));
            double fk;
            if (t2 <= caz) {
                // Forward recurrence to find the backward index.
                double etest = ak / (pi * caz * tol);
                fk = 1.0;
                if (etest >= 1.0) {
                    double fks = 2.0;
                    double ckr2 = caz + caz + 2.0;
                    double p1r = 0, p2r = 1.0;
                    bool done = false;
                    for (int i = 1; i <= kmax; ++i) {
                        double akk = fhs / fks;
                        double cbr = ckr2 / (fk + 1.0);
                        double ptr = p2r;
                        p2r = cbr * p2r - p1r * akk;
                        p1r = ptr;
                        ckr2 += 2.0;
                        fks = fks + fk + fk + 2.0;
                        fhs = fhs + fk + fk;
                        fk += 1.0;
                        str = std::fabs(p2r) * fk;
                        if (etest < str) {
                            done = true;
                            break;
                        }
                    }
                    if (!done) {
                        *nz = -2;
                        return;
                    }
                    fk += spi * t1 * std::sqrt(t2 / caz);
                    fhs = std::fabs(0.25 - dnu2);
                }
            } else {
                double a2 = std::sqrt(caz);
                double akk = fpi * ak / (tol * std::sqrt(a2));
                double aa = 3.0 * t1 / (1.0 + caz);
                double bb = 14.7 * t1 / (28.0 + caz);
                akk = (std::log(akk) + caz * std::cos(aa) / (1.0 + 0.008 * caz)) / std::cos(bb);
                fk = 0.12125 * akk * akk / caz + 1.5;
            }
            // Backward recurrence of Miller's algorithm.
            int k = static_cast<int>(fk);
            fk = k;
            double fks = fk * fk;
            double p1r = 0, p1i = 0, p2r = tol, p2i = 0;
            double csr_ = p2r, csi_ = p2i;
            for (int i = 1; i <= k; ++i) {
                double a1 = fks - fk;
                double akk = (fks + fk) / (a1 + fhs);
                double rak = 2.0 / (fk + 1.0);
                double cbr = (fk + zr) * rak, cbi = zi * rak;
                double ptr = p2r, pti = p2i;
                p2r = (ptr * cbr - pti * cbi - p1r) * akk;
                p2i = (pti * cbr + ptr * cbi - p1i) * akk;
                p1r = ptr;
                p1i = pti;
                csr_ += p2r;
                csi_ += p2i;
                fks = a1 - fk + 1.0;
                fk -= 1.0;
            }
            // p2/cs formed as (p2/|cs|)(conj(cs)/|cs|) for range.
            double tm = cabs(csr_, csi_);
            double ptr = 1.0 / tm;
            s1r = p2r * ptr;
            s1i = p2i * ptr;
            csr_ *= ptr;
            csi_ = -csi_ * ptr;
            cmul(coefr, coefi, s1r, s1i, str, sti);
            cmul(str, sti, csr_, csi_, s1r, s1i);
            if (inu > 0 || n > 1) {
                tm = cabs(p2r, p2i);
                ptr = 1.0 / tm;
                p1r *= ptr;
                p1i *= ptr;
                p2r *= ptr;
                p2i = -p2i * ptr;
                double pr, pi_;
                cmul(p1r, p1i, p2r, p2i, pr, pi_);
                str = dnu + 0.5 - pr;
                sti = -pi_;
                cdiv(str, sti, zr, zi, str, sti);
                str += 1.0;
                cmul(str, sti, s1r, s1i, s2r, s2i);
            } else {
                zdr = zr;
                zdi = zi;
                next = iflag == 1 ? rescue : store_first;
                goto tail;
            }
        }
    }

    // Forward recurrence from K(dnu), K(dnu + 1) up to the order fnu, on
    // values kept at one of the three scale levels.
    {
        str = dnu + 1.0;
        ckr = str * rzr;
        cki = str * rzi;
        int inu_eff = inu;
        if (n == 1)
            inu_eff -= 1;
        if (inu_eff <= 0) {
            if (n <= 1) {
                s1r = s2r;
                s1i = s2i;
            }
            zdr = zr;
            zdi = zi;
            next = iflag == 1 ? rescue : store_first;
            goto tail;
        }
        int inub = 1;
        if (iflag == 1) {
            // Unscaled recurrence with underflow tests until two consecutive
            // orders come on scale.
            double helim = 0.5 * elim;
            double elm = std::exp(-elim);
            double celmr = elm;
            double ascle = bry[0];
            zdr = zr;
            zdi = zi;
            int ic = -1, j = 2;
            bool on_scale = false;
            int i;
            for (i = 1; i <= inu_eff; ++i) {
                double stre = s2r, stim = s2i;
                s2r = stre * ckr - stim * cki + s1r;
                s2i = stim * ckr + stre * cki + s1i;
                s1r = stre;
                s1i = stim;
                ckr += rzr;
                cki += rzi;
                double as = cabs(s2r, s2i);
                double alas = std::log(as);
                double p2r = -zdr + alas;
                bool ok = false;
                if (p2r >= -elim) {
                    double lr, li;
                    clog(s2r, s2i, lr, li);
                    p2r = -zdr + lr;
                    double p2i = -zdi + li;
                    double p2m = std::exp(p2r) / tol;
                    double p1r = p2m * std::cos(p2i), p1i = p2m * std::sin(p2i);
                    int nw;
                    ZUCHK(&p1r, &p1i, &nw, &ascle, &tol);
                    if (nw == 0) {
                        ok = true;
                        j = 3 - j;
                        cyr[j - 1] = p1r;
                        cyi[j - 1] = p1i;
                        if (ic == i - 1) {
                            on_scale = true;
                            break;
                        }
                        ic = i;
                    }
                }
                if (!ok && alas >= helim) {
                    zdr -= elim;
                    s1r *= celmr;
                    s1i *= celmr;
                    s2r *= celmr;
                    s2i *= celmr;
                }
            }
            if (!on_scale) {
                if (n == 1) {
                    s1r = s2r;
                    s1i = s2i;
                }
                next = rescue;
                goto tail;
            }
            kflag = 1;
            inub = i + 1;
            s2r = cyr[j - 1];
            s2i = cyi[j - 1];
            j = 3 - j;
            s1r = cyr[j - 1];
            s1i = cyi[j - 1];
            if (inub > inu_eff) {
                if (n == 1) {
                    s1r = s2r;
                    s1i = s2i;
                }
                next = store_first;
                goto tail;
            }
        }
        double p1r = csr[kflag - 1];
        double ascle = bry[kflag - 1];
        for (int i = inub; i <= inu_eff; ++i) {
            double stre = s2r, stim = s2i;
            s2r = ckr * stre - cki * stim + s1r;
            s2i = cki * stre + ckr * stim + s1i;
            s1r = stre;
            s1i = stim;
            ckr += rzr;
            cki += rzi;
            if (kflag >= 3)
                continue;
            double p2r = s2r * p1r, p2i = s2i * p1r;
            double p2m = std::fmax(std::fabs(p2r), std::fabs(p2i));
            if (p2m <= ascle)
                continue;
            kflag += 1;
            ascle = bry[kflag - 1];
            s1r *= p1r;
            s1i *= p1r;
            s2r = p2r;
            s2i = p2i;
            str = css[kflag - 1];
            s1r *= str;
            s1i *= str;
            s2r *= str;
            s2i *= str;
            p1r = csr[kflag - 1];
        }
        if (n == 1) {
            s1r = s2r;
            s1i = s2i;
        }
        next = store_first;
    }

tail:
    if (next == store_first) {
        str = csr[kflag - 1];
        yr[0] = s1r * str;
        yi[0] = s1i * str;
        if (n == 1)
            return;
        yr[1] = s2r * str;
        yi[1] = s2i * str;
        if (n == 2)
            return;
    } else {
        // Rescue: hand the first values to ZKSCL on the reduced argument.
        yr[0] = s1r;
        yi[0] = s1i;
        if (n != 1) {
            yr[1] = s2r;
            yi[1] = s2i;
        }
        double ascle = bry[0];
        ZKSCL(&zdr, &zdi, &fnu, &n, yr, yi, nz, &rzr, &rzi, &ascle, &tol, &elim);
        int left = n - *nz;
        if (left <= 0)
            return;
        int kk = *nz + 1;
        s1r = yr[kk - 1];
        s1i = yi[kk - 1];
        yr[kk - 1] = s1r * csr[0];
        yi[kk - 1] = s1i * csr[0];
        if (left == 1)
            return;
        kk = *nz + 2;
        s2r = yr[kk - 1];
        s2i = yi[kk - 1];
        yr[kk - 1] = s2r * csr[0];
        yi[kk - 1] = s2i * csr[0];
        if (left == 2)
            return;
        double t2 = fnu + (kk - 1);
        ckr = t2 * rzr;
        cki = t2 * rzi;
        kflag = 1;
        // Continue at level 1 from member kk + 1.
        double p1r = csr[kflag - 1];
        double ascle2 = bry[kflag - 1];
        for (int i = kk + 1; i <= n; ++i) {
            double p2r = s2r, p2i = s2i;
            s2r = ckr * p2r - cki * p2i + s1r;
            s2i = cki * p2r + ckr * p2i + s1i;
            s1r = p2r;
            s1i = p2i;
            ckr += rzr;
            cki += rzi;
            p2r = s2r * p1r;
            p2i = s2i * p1r;
            yr[i - 1] = p2r;
            yi[i - 1] = p2i;
            if (kflag >= 3)
                continue;
            double p2m = std::fmax(std::fabs(p2r), std::fabs(p2i));
            if (p2m <= ascle2)
                continue;
            kflag += 1;
            ascle2 = bry[kflag - 1];
            s1r *= p1r;
            s1i *= p1r;
            s2r = p2r;
            s2i = p2i;
            str = css[kflag - 1];
            s1r *= str;
            s1i *= str;
            s2r *= str;
            s2i *= str;
            p1r = csr[kflag - 1];
        }
        return;
    }
    // Members 3 .. n by the forward recurrence at the current level.
    {
        double p1r = csr[kflag - 1];
        double ascle = bry[kflag - 1];
        for (int i = 3; i <= n; ++i) {
            double p2r = s2r, p2i = s2i;
            s2r = ckr * p2r - cki * p2i + s1r;
            s2i = cki * p2r + ckr * p2i + s1i;
            s1r = p2r;
            s1i = p2i;
            ckr += rzr;
            cki += rzi;
            p2r = s2r * p1r;
            p2i = s2i * p1r;
            yr[i - 1] = p2r;
            yi[i - 1] = p2i;
            if (kflag >= 3)
                continue;
            double p2m = std::fmax(std::fabs(p2r), std::fabs(p2i));
            if (p2m <= ascle)
                continue;
            kflag += 1;
            ascle = bry[kflag - 1];
            s1r *= p1r;
            s1i *= p1r;
            s2r = p2r;
            s2i = p2i;
            str = css[kflag - 1];
            s1r *= str;
            s1i *= str;
            s2r *= str;
            s2i *= str;
            p1r = csr[kflag - 1];
        }
    }
}

void ZACON(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* rl, const double* fnul, const double* tol,
           const double* elim, const double* alim) noexcept
{
    // K(fnu, z e^{i pi mr}) = e^{-i pi mr fnu} K(fnu, z) - i pi mr I(fnu, z),
    // applied with zn = -z, so that z = zn e^{i pi mr} lies in the left half
    // plane.
    double cyr[2], cyi[2];
    *nz = 0;
    double znr = -*zr, zni = -*zi;
    int nn = *n;
    int nw;
    ZBINU(&znr, &zni, fnu, kode, &nn, yr, yi, &nw, rl, fnul, tol, elim, alim);
    if (nw < 0) {
        *nz = nw == -2 ? -2 : -1;
        return;
    }
    nn = int_min(2, *n);
    ZBKNU(&znr, &zni, fnu, kode, &nn, cyr, cyi, &nw, tol, elim, alim);
    if (nw != 0) {
        *nz = nw == -2 ? -2 : -1;
        return;
    }
    double s1r = cyr[0], s1i = cyi[0];
    double fmr = *mr;
    double sgn = -sign_transfer(pi, fmr);
    double csgnr = 0, csgni = sgn;
    if (*kode != 1) {
        double yy = -zni;
        double cpn = std::cos(yy), spn = std::sin(yy);
        cmul(csgnr, csgni, cpn, spn, csgnr, csgni);
    }
    // exp(-i pi mr fnu) from the fractional part of the order, so that a
    // large order loses nothing in the argument.
    int inu = int_part(*fnu);
    double arg = (*fnu - inu) * sgn;
    double cspnr = std::cos(arg), cspni = std::sin(arg);
    if (inu % 2 != 0) {
        cspnr = -cspnr;
        cspni = -cspni;
    }
    int iuf = 0;
    double c1r = s1r, c1i = s1i, c2r = yr[0], c2i = yi[0];
    double ascle = 1.0e3 * realmin() / *tol;
    double sc1r = 0, sc1i = 0, sc2r = 0, sc2i = 0;
    if (*kode != 1) {
        ZS1S2(&znr, &zni, &c1r, &c1i, &c2r, &c2i, &nw, &ascle, alim, &iuf);
        *nz += nw;
        sc1r = c1r;
        sc1i = c1i;
    }
    double str, sti;
    cmul(cspnr, cspni, c1r, c1i, str, sti);
    double ptr, pti;
    cmul(csgnr, csgni, c2r, c2i, ptr, pti);
    yr[0] = str + ptr;
    yi[0] = sti + pti;
    if (*n == 1)
        return;
    cspnr = -cspnr;
    cspni = -cspni;
    double s2r = cyr[1], s2i = cyi[1];
    c1r = s2r;
    c1i = s2i;
    c2r = yr[1];
    c2i = yi[1];
    if (*kode != 1) {
        ZS1S2(&znr, &zni, &c1r, &c1i, &c2r, &c2i, &nw, &ascle, alim, &iuf);
        *nz += nw;
        sc2r = c1r;
        sc2i = c1i;
    }
    cmul(cspnr, cspni, c1r, c1i, str, sti);
    cmul(csgnr, csgni, c2r, c2i, ptr, pti);
    yr[1] = str + ptr;
    yi[1] = sti + pti;
    if (*n == 2)
        return;
    cspnr = -cspnr;
    cspni = -cspni;
    double rzr, rzi;
    two_over(znr, zni, rzr, rzi);
    double fn = *fnu + 1.0;
    double ckr = fn * rzr, cki = fn * rzi;
    // Scale levels for the K recurrence near the exponent extremes.
    double sc1 = 1.0 / *tol;
    double css[3] = {sc1, 1.0, *tol};
    double csr[3] = {*tol, 1.0, sc1};
    double bry[3] = {ascle, 1.0 / ascle, realmax()};
    double as2 = cabs(s2r, s2i);
    int kflag = 2;
    if (as2 <= bry[0])
        kflag = 1;
    else if (as2 >= bry[1])
        kflag = 3;
    double bscle = bry[kflag - 1];
    s1r *= css[kflag - 1];
    s1i *= css[kflag - 1];
    s2r *= css[kflag - 1];
    s2i *= css[kflag - 1];
    double csrk = csr[kflag - 1];
    for (int i = 3; i <= *n; ++i) {
        str = s2r;
        sti = s2i;
        s2r = ckr * str - cki * sti + s1r;
        s2i = ckr * sti + cki * str + s1i;
        s1r = str;
        s1i = sti;
        c1r = s2r * csrk;
        c1i = s2i * csrk;
        str = c1r;
        sti = c1i;
        c2r = yr[i - 1];
        c2i = yi[i - 1];
        if (*kode != 1 && iuf >= 0) {
            ZS1S2(&znr, &zni, &c1r, &c1i, &c2r, &c2i, &nw, &ascle, alim, &iuf);
            *nz += nw;
            sc1r = sc2r;
            sc1i = sc2i;
            sc2r = c1r;
            sc2i = c1i;
            if (iuf == 3) {
                iuf = -4;
                s1r = sc1r * css[kflag - 1];
                s1i = sc1i * css[kflag - 1];
                s2r = sc2r * css[kflag - 1];
                s2i = sc2i * css[kflag - 1];
                str = sc2r;
                sti = sc2i;
            }
        }
        double ar, ai, br, bi;
        cmul(cspnr, cspni, c1r, c1i, ar, ai);
        cmul(csgnr, csgni, c2r, c2i, br, bi);
        yr[i - 1] = ar + br;
        yi[i - 1] = ai + bi;
        ckr += rzr;
        cki += rzi;
        cspnr = -cspnr;
        cspni = -cspni;
        if (kflag >= 3)
            continue;
        double c1m = std::fmax(std::fabs(str), std::fabs(sti));
        if (c1m <= bscle)
            continue;
        kflag += 1;
        bscle = bry[kflag - 1];
        s1r *= csrk;
        s1i *= csrk;
        s2r = str;
        s2i = sti;
        s1r *= css[kflag - 1];
        s1i *= css[kflag - 1];
        s2r *= css[kflag - 1];
        s2i *= css[kflag - 1];
        csrk = csr[kflag - 1];
    }
}

void ZACAI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* rl, const double* tol, const double* elim,
           const double* alim) noexcept
{
    double cyr[2], cyi[2];
    *nz = 0;
    double znr = -*zr, zni = -*zi;
    double az = cabs(*zr, *zi);
    int nn = *n;
    double dfnu = *fnu + (*n - 1);
    int nw = 0;
    if (az <= 2.0 || az * az * 0.25 <= dfnu + 1.0) {
        // Power series for I of the reflected argument.
        ZSERI(&znr, &zni, fnu, kode, &nn, yr, yi, &nw, tol, elim, alim);
    } else if (az >= *rl) {
        ZASYI(&znr, &zni, fnu, kode, &nn, yr, yi, &nw, rl, tol, elim, alim);
        if (nw < 0) {
            *nz = nw == -2 ? -2 : -1;
            return;
        }
    } else {
        ZMLRI(&znr, &zni, fnu, kode, &nn, yr, yi, &nw, tol);
        if (nw < 0) {
            *nz = nw == -2 ? -2 : -1;
            return;
        }
    }
    int one = 1;
    ZBKNU(&znr, &zni, fnu, kode, &one, cyr, cyi, &nw, tol, elim, alim);
    if (nw != 0) {
        *nz = nw == -2 ? -2 : -1;
        return;
    }
    double fmr = *mr;
    double sgn = -sign_transfer(pi, fmr);
    double csgnr = 0, csgni = sgn;
    if (*kode != 1) {
        double yy = -zni;
        csgnr = -csgni * std::sin(yy);
        csgni = csgni * std::cos(yy);
    }
    int inu = int_part(*fnu);
    double arg = (*fnu - inu) * sgn;
    double cspnr = std::cos(arg), cspni = std::sin(arg);
    if (inu % 2 != 0) {
        cspnr = -cspnr;
        cspni = -cspni;
    }
    double c1r = cyr[0], c1i = cyi[0], c2r = yr[0], c2i = yi[0];
    if (*kode != 1) {
        int iuf = 0;
        double ascle = 1.0e3 * realmin() / *tol;
        ZS1S2(&znr, &zni, &c1r, &c1i, &c2r, &c2i, &nw, &ascle, alim, &iuf);
        *nz += nw;
    }
    double ar, ai, br, bi;
    cmul(cspnr, cspni, c1r, c1i, ar, ai);
    cmul(csgnr, csgni, c2r, c2i, br, bi);
    yr[0] = ar + br;
    yi[0] = ai + bi;
}

} // namespace amos
