// The I Bessel core of the complex package, for Re z >= 0: the method choice
// by |z| against the order, the power series, the large-|z| expansion,
// Miller's algorithm normalised by the Neumann series or by the Wronskian
// with K, and the ratio recurrence the latter rests on.
#include "bessel/amos_common.hpp"

namespace amos {

using namespace detail;

namespace {

// I(nu - 1) = (2 nu / z) I(nu) + I(nu + 1), from member k + 2 and k + 1 down
// to member 1 (k = nn - 2 first), with ak the offset of the order.
void recur_down(double fnu, double rzr, double rzi, int first, int nn, double* yr, double* yi) noexcept
{
    int k = nn - 2;
    double ak = k;
    for (int i = first; i <= nn; ++i) {
        double c1r = yr[k], c1i = yi[k];
        double str = ak + fnu;
        double s2r = str * rzr, s2i = str * rzi;
        double pr = s2r * c1r - s2i * c1i, pi_ = s2r * c1i + s2i * c1r;
        yr[k - 1] = pr + yr[k + 1];
        yi[k - 1] = pi_ + yi[k + 1];
        ak -= 1.0;
        k -= 1;
    }
}

} // namespace

void ZSERI(const double* zr_, const double* zi_, const double* fnu_, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* tol_, const double* elim_, const double* alim_) noexcept
{
    const double zr = *zr_, zi = *zi_, fnu = *fnu_, tol = *tol_, elim = *elim_, alim = *alim_;
    double wr[2] = {0, 0}, wi[2] = {0, 0};
    *nz = 0;
    double az = cabs(zr, zi);
    double arm = 1.0e3 * realmin();
    double rtr1 = std::sqrt(arm);
    if (az == 0 || az < arm) {
        if (az != 0) {
            *nz = *n;
            if (fnu == 0)
                *nz -= 1;
        }
        yr[0] = fnu == 0 ? 1.0 : 0.0;
        yi[0] = 0;
        for (int i = 2; i <= *n; ++i) {
            yr[i - 1] = 0;
            yi[i - 1] = 0;
        }
        return;
    }
    double crscr = 1.0;
    int iflag = 0;
    double hzr = 0.5 * zr, hzi = 0.5 * zi;
    double czr = 0, czi = 0;
    if (az > rtr1)
        cmul(hzr, hzi, hzr, hzi, czr, czi);
    double acz = cabs(czr, czi);
    int nn = *n;
    double ckr, cki;
    clog(hzr, hzi, ckr, cki);
    double ss = 0, ascle = 0;
    double dfnu, fnup;
    for (;;) {
        // Leading factor of the highest remaining order; members whose factor
        // underflows are zeroed from the top.
        bool underflow = false;
        dfnu = fnu + (nn - 1);
        fnup = dfnu + 1.0;
        double ak1r = ckr * dfnu, ak1i = cki * dfnu;
        double ak = log_gamma(fnup);
        ak1r -= ak;
        if (*kode == 2)
            ak1r -= zr;
        if (ak1r > -elim) {
            if (ak1r <= -alim) {
                iflag = 1;
                ss = 1.0 / tol;
                crscr = tol;
                ascle = arm * ss;
            }
            double aa = std::exp(ak1r);
            if (iflag == 1)
                aa *= ss;
            double coefr = aa * std::cos(ak1i), coefi = aa * std::sin(ak1i);
            double atol = tol * acz / fnup;
            int il = int_min(2, nn);
            for (int i = 1; i <= il; ++i) {
                dfnu = fnu + (nn - i);
                fnup = dfnu + 1.0;
                double s1r = 1.0, s1i = 0.0;
                if (acz >= tol * fnup) {
                    double t1r = 1.0, t1i = 0.0;
                    double akk = fnup + 2.0, s = fnup, a = 2.0;
                    do {
                        double rs = 1.0 / s;
                        double str = t1r * czr - t1i * czi;
                        double sti = t1r * czi + t1i * czr;
                        t1r = to_double(str * rs);
                        t1i = to_double(sti * rs);
                        s1r += t1r;
                        s1i += t1i;
                        s += akk;
                        akk += 2.0;
                        a = a * acz * rs;
                    } while (a > atol);
                }
                double s2r = s1r * coefr - s1i * coefi;
                double s2i = s1r * coefi + s1i * coefr;
                wr[i - 1] = s2r;
                wi[i - 1] = s2i;
                if (iflag == 1) {
                    int nw;
                    ZUCHK(&s2r, &s2i, &nw, &ascle, &tol);
                    if (nw != 0) {
                        underflow = true;
                        break;
                    }
                }
                int m = nn - i + 1;
                yr[m - 1] = s2r * crscr;
                yi[m - 1] = s2i * crscr;
                if (i != il) {
                    double str, sti;
                    cdiv(coefr, coefi, hzr, hzi, str, sti);
                    coefr = str * dfnu;
                    coefi = sti * dfnu;
                }
            }
            if (!underflow)
                break;
        }
        *nz += 1;
        yr[nn - 1] = 0;
        yi[nn - 1] = 0;
        if (acz > dfnu) {
            // The series cannot be trusted for the remaining orders.
            *nz = -*nz;
            return;
        }
        nn -= 1;
        if (nn == 0)
            return;
    }
    if (nn <= 2)
        return;
    double rzr, rzi;
    two_over(zr, zi, rzr, rzi);
    if (iflag != 1) {
        recur_down(fnu, rzr, rzi, 3, nn, yr, yi);
        return;
    }
    // Scaled values: recur on the working pair until a stored value is
    // above the rescaling threshold, then on the stored values.
    int k = nn - 2;
    double ak = k;
    double s1r = wr[0], s1i = wi[0], s2r = wr[1], s2i = wi[1];
    for (int l = 3; l <= nn; ++l) {
        double ckr2 = s2r, cki2 = s2i;
        double str = ak + fnu;
        double rr = str * rzr, ri = str * rzi;
        s2r = s1r + rr * ckr2 - ri * cki2;
        s2i = s1i + rr * cki2 + ri * ckr2;
        s1r = ckr2;
        s1i = cki2;
        ckr2 = s2r * crscr;
        cki2 = s2i * crscr;
        yr[k - 1] = ckr2;
        yi[k - 1] = cki2;
        ak -= 1.0;
        k -= 1;
        if (cabs(ckr2, cki2) > ascle) {
            int ib = l + 1;
            if (ib > nn)
                return;
            // continue on the stored values from member k
            for (int i = ib; i <= nn; ++i) {
                double c1r = yr[k], c1i = yi[k];
                double sr = ak + fnu;
                double pr = sr * rzr, pim = sr * rzi;
                yr[k - 1] = pr * c1r - pim * c1i + yr[k + 1];
                yi[k - 1] = pr * c1i + pim * c1r + yi[k + 1];
                ak -= 1.0;
                k -= 1;
            }
            return;
        }
    }
}

void ZASYI(const double* zr_, const double* zi_, const double* fnu_, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* rl_, const double* tol_, const double* elim_,
           const double* alim_) noexcept
{
    const double rtpi = 0.15915494309189535;
    const double zr = *zr_, zi = *zi_, fnu = *fnu_, tol = *tol_, elim = *elim_, alim = *alim_;
    *nz = 0;
    double az = cabs(zr, zi);
    double arm = 1.0e3 * realmin();
    double rtr1 = std::sqrt(arm);
    int il = int_min(2, *n);
    double dfnu = fnu + (*n - il);
    // sqrt(1/(2 pi z)) from conj(z)/|z|^2.
    double raz = 1.0 / az;
    double str = zr * raz, sti = -zi * raz;
    double ak1r = rtpi * str * raz, ak1i = rtpi * sti * raz;
    csqrt(ak1r, ak1i, ak1r, ak1i);
    double czr = zr, czi = zi;
    if (*kode == 2)
        czr = 0;
    if (std::fabs(czr) > elim) {
        *nz = -1;
        return;
    }
    double dnu2 = dfnu + dfnu;
    int koded = 1;
    if (!(std::fabs(czr) > alim && *n > 2)) {
        koded = 0;
        cexp(czr, czi, str, sti);
        cmul(ak1r, ak1i, str, sti, ak1r, ak1i);
    }
    double fdn = 0;
    if (dnu2 > rtr1)
        fdn = dnu2 * dnu2;
    double ezr = zr * 8.0, ezi = zi * 8.0;
    double aez = 8.0 * az;
    double s = tol / aez;
    int jl = static_cast<int>(*rl_ + *rl_) + 2;
    double p1r = 0, p1i = 0;
    if (zi != 0) {
        // i exp(i pi (fnu + n - il)) from the fractional part of the order.
        int inu = int_part(fnu);
        double arg = (fnu - inu) * pi;
        inu = inu + *n - il;
        double ak = -std::sin(arg);
        double bk = std::cos(arg);
        if (zi < 0)
            bk = -bk;
        p1r = ak;
        p1i = bk;
        if (inu % 2 != 0) {
            p1r = -p1r;
            p1i = -p1i;
        }
    }
    for (int k = 1; k <= il; ++k) {
        double sqk = fdn - 1.0;
        double atol = s * std::fabs(sqk);
        double sgn = 1.0;
        double cs1r = 1.0, cs1i = 0, cs2r = 1.0, cs2i = 0, ckr = 1.0, cki = 0;
        double ak = 0, aa = 1.0, bb = aez, dkr = ezr, dki = ezi;
        bool converged = false;
        for (int j = 1; j <= jl; ++j) {
            cdiv(ckr, cki, dkr, dki, str, sti);
            ckr = str * sqk;
            cki = sti * sqk;
            cs2r += ckr;
            cs2i += cki;
            sgn = -sgn;
            cs1r += ckr * sgn;
            cs1i += cki * sgn;
            dkr += ezr;
            dki += ezi;
            aa = aa * std::fabs(sqk) / bb;
            bb += aez;
            ak += 8.0;
            sqk -= ak;
            if (aa <= atol) {
                converged = true;
                break;
            }
        }
        if (!converged) {
            *nz = -2;
            return;
        }
        double s2r = cs1r, s2i = cs1i;
        if (zr + zr < elim) {
            double tzr = zr + zr, tzi = zi + zi;
            cexp(-tzr, -tzi, str, sti);
            cmul(str, sti, p1r, p1i, str, sti);
            double pr, pim;
            cmul(str, sti, cs2r, cs2i, pr, pim);
            s2r += pr;
            s2i += pim;
        }
        fdn = fdn + 8.0 * dfnu + 4.0;
        p1r = -p1r;
        p1i = -p1i;
        int m = *n - il + k;
        cmul(s2r, s2i, ak1r, ak1i, yr[m - 1], yi[m - 1]);
    }
    if (*n <= 2)
        return;
    double rzr, rzi;
    two_over(zr, zi, rzr, rzi);
    recur_down(fnu, rzr, rzi, 3, *n, yr, yi);
    if (koded == 0)
        return;
    double ckr, cki;
    cexp(czr, czi, ckr, cki);
    for (int i = 1; i <= *n; ++i)
        cmul(yr[i - 1], yi[i - 1], ckr, cki, yr[i - 1], yi[i - 1]);
}

void ZMLRI(const double* zr_, const double* zi_, const double* fnu_, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* tol_) noexcept
{
    const double zr = *zr_, zi = *zi_, fnu = *fnu_, tol = *tol_;
    double scle = realmin() / tol;
    *nz = 0;
    double az = cabs(zr, zi);
    int iaz = static_cast<int>(az);
    int ifnu = int_part(fnu);
    int inu = ifnu + *n - 1;
    double at = iaz + 1.0;
    double raz = 1.0 / az;
    double str = zr * raz, sti = -zi * raz;
    double ckr = str * at * raz, cki = sti * at * raz;
    double rzr = (str + str) * raz, rzi = (sti + sti) * raz;
    double p1r = 0, p1i = 0, p2r = 1.0, p2i = 0;
    double ack = (at + 1.0) * raz;
    double rho = ack + std::sqrt(ack * ack - 1.0);
    double rho2 = rho * rho;
    double tst = (rho2 + rho2) / ((rho2 - 1.0) * (rho - 1.0));
    tst /= tol;
    // First pass: the index where the recurrence from |z| has grown enough.
    double ak = at;
    int i;
    bool found = false;
    for (i = 1; i <= 80; ++i) {
        double ptr = p2r, pti = p2i;
        p2r = p1r - (ckr * ptr - cki * pti);
        p2i = p1i - (cki * ptr + ckr * pti);
        p1r = ptr;
        p1i = pti;
        ckr += rzr;
        cki += rzi;
        double ap = cabs(p2r, p2i);
        if (ap > tst * ak * ak) {
            found = true;
            break;
        }
        ak += 1.0;
    }
    if (!found) {
        *nz = -2;
        return;
    }
    i += 1;
    int k = 0;
    if (inu >= iaz) {
        // Second pass from the highest order.
        p1r = 0;
        p1i = 0;
        p2r = 1.0;
        p2i = 0;
        at = inu + 1.0;
        str = zr * raz;
        sti = -zi * raz;
        ckr = str * at * raz;
        cki = sti * at * raz;
        ack = at * raz;
        tst = std::sqrt(ack / tol);
        int itime = 1;
        found = false;
        for (k = 1; k <= 80; ++k) {
            double ptr = p2r, pti = p2i;
            p2r = p1r - (ckr * ptr - cki * pti);
            p2i = p1i - (ckr * pti + cki * ptr);
            p1r = ptr;
            p1i = pti;
            ckr += rzr;
            cki += rzi;
            double ap = cabs(p2r, p2i);
            if (ap < tst)
                continue;
            if (itime == 2) {
                found = true;
                break;
            }
            ack = cabs(ckr, cki);
            double flam = ack + std::sqrt(ack * ack - 1.0);
            double fkap = ap / cabs(p1r, p1i);
            rho = flam < fkap ? flam : fkap;
            tst *= std::sqrt(rho / (rho * rho - 1.0));
            itime = 2;
        }
        if (!found) {
            *nz = -2;
            return;
        }
    }
    // Backward recurrence and the normalising sum.
    k += 1;
    int kk = int_max(i + iaz, k + inu);
    double fkk = kk;
    p1r = 0;
    p1i = 0;
    p2r = scle;
    p2i = 0;
    double fnf = fnu - ifnu;
    double tfnf = fnf + fnf;
    double bk = log_gamma(fkk + tfnf + 1.0) - log_gamma(fkk + 1.0) - log_gamma(tfnf + 1.0);
    bk = std::exp(bk);
    double sumr = 0, sumi = 0;
    int km = kk - inu;
    auto step = [&]() {
        double ptr = p2r, pti = p2i;
        double f = fkk + fnf;
        p2r = p1r + f * (rzr * ptr - rzi * pti);
        p2i = p1i + f * (rzi * ptr + rzr * pti);
        p1r = ptr;
        p1i = pti;
        double a = 1.0 - tfnf / (fkk + tfnf);
        double ackk = bk * a;
        sumr += (ackk + bk) * p1r;
        sumi += (ackk + bk) * p1i;
        bk = ackk;
        fkk -= 1.0;
    };
    for (int q = 1; q <= km; ++q)
        step();
    yr[*n - 1] = p2r;
    yi[*n - 1] = p2i;
    int m = *n - 1;
    for (int q = 2; q <= *n; ++q) {
        step();
        yr[m - 1] = p2r;
        yi[m - 1] = p2i;
        m -= 1;
    }
    for (int q = 1; q <= ifnu; ++q)
        step();
    double ptr = zr, pti = zi;
    if (*kode == 2)
        ptr = 0;
    double lr, li;
    clog(rzr, rzi, lr, li);
    p1r = -fnf * lr + ptr;
    p1i = -fnf * li + pti;
    double ap = log_gamma(1.0 + fnf);
    ptr = p1r - ap;
    pti = p1i;
    // exp(pt) / (sum + p2), divided through |sum + p2| twice so that the
    // denominator never overflows.
    p2r += sumr;
    p2i += sumi;
    ap = cabs(p2r, p2i);
    p1r = 1.0 / ap;
    cexp(ptr, pti, ckr, cki);
    ckr *= p1r;
    cki *= p1r;
    p2r *= p1r;
    p2i = -p2i * p1r;
    double cnormr, cnormi;
    cmul(ckr, cki, p2r, p2i, cnormr, cnormi);
    for (int q = 1; q <= *n; ++q)
        cmul(yr[q - 1], yi[q - 1], cnormr, cnormi, yr[q - 1], yi[q - 1]);
}

void ZRATI(const double* zr_, const double* zi_, const double* fnu_, const int* n, double* cyr, double* cyi,
           const double* tol_) noexcept
{
    const double rt2 = 1.4142135623730951;
    const double zr = *zr_, zi = *zi_, fnu = *fnu_, tol = *tol_;
    double az = cabs(zr, zi);
    int inu = int_part(fnu);
    int idnu = inu + *n - 1;
    int magz = static_cast<int>(az);
    double amagz = magz + 1;
    double fdnu = idnu;
    double fnup = amagz > fdnu ? amagz : fdnu;
    int id = idnu - magz - 1;
    int itime = 1;
    int k = 1;
    double ptr = 1.0 / az;
    double rzr = ptr * (zr + zr) * ptr;
    double rzi = -ptr * (zi + zi) * ptr;
    double t1r = rzr * fnup, t1i = rzi * fnup;
    double p2r = -t1r, p2i = -t1i;
    double p1r = 1.0, p1i = 0.0;
    t1r += rzr;
    t1i += rzi;
    if (id > 0)
        id = 0;
    double ap2 = cabs(p2r, p2i);
    double ap1 = cabs(p1r, p1i);
    // Forward recurrence until it has grown enough to fix the start of the
    // backward one; scaled first so that it cannot overflow early.
    double arg = (ap2 + ap2) / (ap1 * tol);
    double test1 = std::sqrt(arg);
    double test = test1;
    double rap1 = 1.0 / ap1;
    p1r *= rap1;
    p1i *= rap1;
    p2r *= rap1;
    p2i *= rap1;
    ap2 *= rap1;
    for (;;) {
        k += 1;
        ap1 = ap2;
        double pr = p2r, pi_ = p2i;
        p2r = p1r - (t1r * pr - t1i * pi_);
        p2i = p1i - (t1r * pi_ + t1i * pr);
        p1r = pr;
        p1i = pi_;
        t1r += rzr;
        t1i += rzi;
        ap2 = cabs(p2r, p2i);
        if (ap1 <= test)
            continue;
        if (itime == 2)
            break;
        double ak = cabs(t1r, t1i) * 0.5;
        double flam = ak + std::sqrt(ak * ak - 1.0);
        double rho = ap2 / ap1 < flam ? ap2 / ap1 : flam;
        test = test1 * std::sqrt(rho / (rho * rho - 1.0));
        itime = 2;
    }
    int kk = k + 1 - id;
    double ak = kk;
    t1r = ak;
    t1i = 0;
    double dfnu = fnu + (*n - 1);
    p1r = 1.0 / ap2;
    p1i = 0;
    p2r = 0;
    p2i = 0;
    for (int i = 1; i <= kk; ++i) {
        double pr = p1r, pi_ = p1i;
        double rap = dfnu + t1r;
        double ttr = rzr * rap, tti = rzi * rap;
        p1r = (pr * ttr - pi_ * tti) + p2r;
        p1i = (pr * tti + pi_ * ttr) + p2i;
        p2r = pr;
        p2i = pi_;
        t1r -= 1.0;
    }
    if (p1r == 0 && p1i == 0) {
        p1r = tol;
        p1i = tol;
    }
    cdiv(p2r, p2i, p1r, p1i, cyr[*n - 1], cyi[*n - 1]);
    if (*n == 1)
        return;
    k = *n - 1;
    ak = k;
    t1r = ak;
    t1i = 0;
    double cdfnur = fnu * rzr, cdfnui = fnu * rzi;
    for (int i = 2; i <= *n; ++i) {
        double pr = cdfnur + (t1r * rzr - t1i * rzi) + cyr[k];
        double pi_ = cdfnui + (t1r * rzi + t1i * rzr) + cyi[k];
        double akk = cabs(pr, pi_);
        if (akk == 0) {
            pr = tol;
            pi_ = tol;
            akk = tol * rt2;
        }
        double rak = 1.0 / akk;
        cyr[k - 1] = rak * pr * rak;
        cyi[k - 1] = -rak * pi_ * rak;
        t1r -= 1.0;
        k -= 1;
    }
}

void ZWRSK(const double* zrr, const double* zri, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, double* cwr, double* cwi, const double* tol, const double* elim,
           const double* alim) noexcept
{
    // I(fnu) from the Wronskian I(fnu) K(fnu+1) + I(fnu+1) K(fnu) = 1/z with
    // the ratios I(fnu+1)/I(fnu) from the backward recurrence.
    *nz = 0;
    int two = 2, nw;
    ZBKNU(zrr, zri, fnu, kode, &two, cwr, cwi, &nw, tol, elim, alim);
    if (nw != 0) {
        *nz = nw == -2 ? -2 : -1;
        return;
    }
    ZRATI(zrr, zri, fnu, n, yr, yi, tol);
    double cinur = 1.0, cinui = 0.0;
    if (*kode != 1) {
        cinur = std::cos(*zri);
        cinui = std::sin(*zri);
    }
    // Keep the K values in range before the product; undo it on the way out.
    double acw = cabs(cwr[1], cwi[1]);
    double ascle = 1.0e3 * realmin() / *tol;
    double csclr = 1.0;
    if (acw <= ascle) {
        csclr = 1.0 / *tol;
    } else {
        ascle = 1.0 / ascle;
        if (acw >= ascle)
            csclr = *tol;
    }
    double c1r = cwr[0] * csclr, c1i = cwi[0] * csclr;
    double c2r = cwr[1] * csclr, c2i = cwi[1] * csclr;
    double str = yr[0], sti = yi[0];
    // 1/(z (ratio K(fnu) + K(fnu+1))) as conj(ct)/|ct| times 1/|ct|.
    double ptr = str * c1r - sti * c1i + c2r;
    double pti = str * c1i + sti * c1r + c2i;
    double ctr = *zrr * ptr - *zri * pti;
    double cti = *zrr * pti + *zri * ptr;
    double act = cabs(ctr, cti);
    double ract = 1.0 / act;
    ctr *= ract;
    cti = -cti * ract;
    ptr = cinur * ract;
    pti = cinui * ract;
    cinur = ptr * ctr - pti * cti;
    cinui = ptr * cti + pti * ctr;
    yr[0] = cinur * csclr;
    yi[0] = cinui * csclr;
    for (int i = 2; i <= *n; ++i) {
        ptr = str * cinur - sti * cinui;
        cinui = str * cinui + sti * cinur;
        cinur = ptr;
        str = yr[i - 1];
        sti = yi[i - 1];
        yr[i - 1] = cinur * csclr;
        yi[i - 1] = cinui * csclr;
    }
}

void ZBINU(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, const double* rl, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept
{
    double cwr[2], cwi[2];
    *nz = 0;
    double az = cabs(*zr, *zi);
    int nn = *n;
    double dfnu = *fnu + (*n - 1);
    int nw = 0;
    auto fail = [&](int w) { *nz = w == -2 ? -2 : -1; };

    if (az <= 2.0 || az * az * 0.25 <= dfnu + 1.0) {
        ZSERI(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, tol, elim, alim);
        int inw = int_abs(nw);
        *nz += inw;
        nn -= inw;
        if (nn == 0 || nw >= 0)
            return;
        dfnu = *fnu + (nn - 1);
    }
    if (az >= *rl && (dfnu <= 1.0 || !(az + az < dfnu * dfnu))) {
        // Large |z| against the order: the asymptotic expansion.
        ZASYI(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, rl, tol, elim, alim);
        if (nw < 0)
            fail(nw);
        return;
    }
    bool miller_series = az < *rl && dfnu <= 1.0;
    if (!miller_series) {
        // Overflow and underflow test on the I sequence.
        int one = 1;
        ZUOIK(zr, zi, fnu, kode, &one, &nn, cyr, cyi, &nw, tol, elim, alim);
        if (nw < 0) {
            fail(nw);
            return;
        }
        *nz += nw;
        nn -= nw;
        if (nn == 0)
            return;
        dfnu = *fnu + (nn - 1);
        if (dfnu > *fnul || az > *fnul) {
            // Raise the top order above FNUL, use the uniform expansion and
            // recur back; lower orders may be left to the methods below.
            int nui = static_cast<int>(*fnul - dfnu) + 1;
            nui = int_max(nui, 0);
            int nlast = 0;
            ZBUNI(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, &nui, &nlast, fnul, tol, elim, alim);
            if (nw < 0) {
                fail(nw);
                return;
            }
            *nz += nw;
            if (nlast == 0)
                return;
            nn = nlast;
        }
        if (az > *rl) {
            // Miller's algorithm normalised by the Wronskian: test K first.
            int two = 2, ikflg = 2;
            ZUOIK(zr, zi, fnu, kode, &ikflg, &two, cwr, cwi, &nw, tol, elim, alim);
            if (nw < 0) {
                *nz = nn;
                for (int i = 1; i <= nn; ++i) {
                    cyr[i - 1] = 0;
                    cyi[i - 1] = 0;
                }
                return;
            }
            if (nw > 0) {
                fail(-1);
                return;
            }
            ZWRSK(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, cwr, cwi, tol, elim, alim);
            if (nw < 0)
                fail(nw);
            return;
        }
    }
    ZMLRI(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, tol);
    if (nw < 0)
        fail(nw);
}

} // namespace amos
