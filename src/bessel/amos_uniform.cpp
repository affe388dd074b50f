// Olver's uniform asymptotic expansions for large orders in the complex
// Bessel package: the Debye form (expansion 1) away from the turning point
// and the Airy-type form (expansion 2) near the imaginary axis of z/order,
// their parameters, the overflow/underflow pre-test, and the I and K
// routines built on them (K also continued into the left half plane).
#include "bessel/amos_common.hpp"

namespace amos {

using namespace detail;

namespace {

#include "bessel/amos_tables.inc"

constexpr double sector_slope = 1.7321;  // |Im z| > slope |Re z|: expansion 2
constexpr double con[2] = {0.3989422804014327, 1.2533141373155003};

// Start of the coefficients of u_k in the Debye table: u_k has k + 1 of them.
constexpr int debye_start(int k) { return k * (k + 1) / 2; }

// u_k(t)/nu^k = (t/nu)^k Q_k(t^2): Q_k by Horner's rule at t2, the power of
// (t/nu) supplied by the caller.
inline void debye_q(int k, double t2r, double t2i, double& sr, double& si) noexcept
{
    const double* c = debye_ctab + debye_start(k);
    sr = c[k];
    si = 0;
    for (int j = k - 1; j >= 0; --j) {
        double str = sr * t2r - si * t2i + c[j];
        si = sr * t2i + si * t2r;
        sr = str;
    }
}

// exp(s) times a level factor, as a complex number.
inline void scaled_exp(double sr, double si, double factor, double& outr, double& outi) noexcept
{
    double str = std::exp(sr) * factor;
    outr = str * std::cos(si);
    outi = str * std::sin(si);
}

// fn^2 / (z + zeta2): zeta2 - z formed without cancelling, for the scaled
// forms that remove exp(z).
inline void zeta2_minus_z(double fn, double zr, double zi, double z2r, double z2i, double& outr,
                          double& outi) noexcept
{
    double str = zr + z2r, sti = zi + z2i;
    double rast = fn / cabs(str, sti);
    outr = str * rast * rast;
    outi = -sti * rast * rast;
}

// Orders nd - 2 down to 1 from the two highest (cy), by the backward
// three-term recurrence, rescaling when the values leave the range the
// current scale keeps (iflag 1 to 3 against bry, css, csr).
void backward_recurrence(double zr, double zi, double fnu, int nd, const double* cyr, const double* cyi,
                         const double* css, const double* csr, double* bry, int iflag, double* yr,
                         double* yi) noexcept
{
    double rzr, rzi;
    two_over(zr, zi, rzr, rzi);
    bry[1] = 1.0 / bry[0];
    bry[2] = realmax();
    double s1r2 = cyr[0], s1i2 = cyi[0], s2r = cyr[1], s2i = cyi[1];
    double c1r = csr[iflag - 1];
    double ascle = bry[iflag - 1];
    int k = nd - 2;
    double fn = k;
    for (int i = 3; i <= nd; ++i) {
        double c2r = s2r, c2i = s2i;
        double f = fnu + fn;
        s2r = s1r2 + f * (rzr * c2r - rzi * c2i);
        s2i = s1i2 + f * (rzr * c2i + rzi * c2r);
        s1r2 = c2r;
        s1i2 = c2i;
        c2r = s2r * c1r;
        c2i = s2i * c1r;
        yr[k - 1] = c2r;
        yi[k - 1] = c2i;
        k -= 1;
        fn -= 1.0;
        if (iflag >= 3)
            continue;
        double c2m = std::fmax(std::fabs(c2r), std::fabs(c2i));
        if (c2m <= ascle)
            continue;
        iflag += 1;
        ascle = bry[iflag - 1];
        s1r2 *= c1r;
        s1i2 *= c1r;
        s2r = c2r;
        s2i = c2i;
        s1r2 *= css[iflag - 1];
        s1i2 *= css[iflag - 1];
        s2r *= css[iflag - 1];
        s2i *= css[iflag - 1];
        c1r = csr[iflag - 1];
    }
}

} // namespace

void ZUNIK(const double* zrr, const double* zri, const double* fnu, const int* ikflg, const int* ipmtr,
           const double* tol, int* init, double* phir, double* phii, double* zeta1r, double* zeta1i,
           double* zeta2r, double* zeta2i, double* sumr, double* sumi, double* cwrkr, double* cwrki) noexcept
{
    if (*init == 0) {
        double rfn = 1.0 / *fnu;
        // z/fnu too small: the exponent would overflow; return values that
        // the callers' exponent tests reject.
        double test = realmin() * 1.0e3;
        double ac = *fnu * test;
        if (std::fabs(*zrr) <= ac && std::fabs(*zri) <= ac) {
            *zeta1r = 2.0 * std::fabs(std::log(test)) + *fnu;
            *zeta1i = 0;
            *zeta2r = *fnu;
            *zeta2i = 0;
            *phir = 1.0;
            *phii = 0;
            return;
        }
        double tr = *zrr * rfn, ti = *zri * rfn;
        double sr = 1.0 + (tr * tr - ti * ti), si = tr * ti + ti * tr;
        double srr, sri;
        csqrt(sr, si, srr, sri);
        double str = 1.0 + srr, sti = sri;
        double znr, zni;
        cdiv(str, sti, tr, ti, znr, zni);
        clog(znr, zni, str, sti);
        *zeta1r = *fnu * str;
        *zeta1i = *fnu * sti;
        *zeta2r = *fnu * srr;
        *zeta2i = *fnu * sri;
        cdiv(1.0, 0.0, srr, sri, tr, ti);
        srr = tr * rfn;
        sri = ti * rfn;
        csqrt(srr, sri, cwrkr[15], cwrki[15]);
        *phir = cwrkr[15] * con[*ikflg - 1];
        *phii = cwrki[15] * con[*ikflg - 1];
        if (*ipmtr != 0)
            return;
        double t2r, t2i;
        cdiv(1.0, 0.0, sr, si, t2r, t2i);
        cwrkr[0] = 1.0;
        cwrki[0] = 0;
        double crfnr = 1.0, crfni = 0;
        double acc = 1.0;
        int k;
        for (k = 2; k <= 15; ++k) {
            double qr, qi;
            debye_q(k - 1, t2r, t2i, qr, qi);
            str = crfnr * srr - crfni * sri;
            crfni = crfnr * sri + crfni * srr;
            crfnr = str;
            cwrkr[k - 1] = crfnr * qr - crfni * qi;
            cwrki[k - 1] = crfnr * qi + crfni * qr;
            acc *= rfn;
            double tst = std::fabs(cwrkr[k - 1]) + std::fabs(cwrki[k - 1]);
            if (acc < *tol && tst < *tol)
                break;
        }
        if (k > 15)
            k = 15;
        *init = k;
    }
    double sr = 0, si = 0;
    if (*ikflg == 1) {
        for (int i = 0; i < *init; ++i) {
            sr += cwrkr[i];
            si += cwrki[i];
        }
    } else {
        double t = 1.0;
        for (int i = 0; i < *init; ++i) {
            sr += t * cwrkr[i];
            si += t * cwrki[i];
            t = -t;
        }
    }
    *sumr = sr;
    *sumi = si;
    *phir = cwrkr[15] * con[*ikflg - 1];
    *phii = cwrki[15] * con[*ikflg - 1];
}

void ZUNHJ(const double* zr, const double* zi, const double* fnu_, const int* ipmtr, const double* tol_,
           double* phir, double* phii, double* argr, double* argi, double* zeta1r, double* zeta1i, double* zeta2r,
           double* zeta2i, double* asumr, double* asumi, double* bsumr, double* bsumi) noexcept
{
    const double ex1 = 1.0 / 3.0, ex2 = 2.0 / 3.0;
    const double gpi = 3.141592653589793, thpi = 4.71238898038469;
    const double fnu = *fnu_, tol = *tol_;
    double rfnu = 1.0 / fnu;
    // z/fnu too small: values that the exponent tests of the callers reject.
    double test = realmin() * 1.0e3;
    double ac = fnu * test;
    if (std::fabs(*zr) <= ac && std::fabs(*zi) <= ac) {
        *zeta1r = 2.0 * std::fabs(std::log(test)) + fnu;
        *zeta1i = 0;
        *zeta2r = fnu;
        *zeta2i = 0;
        *phir = 1.0;
        *phii = 0;
        *argr = 1.0;
        *argi = 0;
        return;
    }
    double zbr = *zr * rfnu, zbi = *zi * rfnu;
    double rfnu2 = rfnu * rfnu;
    double fn13 = std::pow(fnu, ex1);
    double fn23 = fn13 * fn13;
    double rfn13 = 1.0 / fn13;
    double w2r = 1.0 - zbr * zbr + zbi * zbi;
    double w2i = -(zbr * zbi + zbr * zbi);
    double aw2 = cabs(w2r, w2i);
    if (aw2 <= 0.25) {
        // Near the turning point: zeta/w2, A_k and B_k as power series in w2.
        double pr[30], pi_[30], ap[30];
        pr[0] = 1.0;
        pi_[0] = 0;
        ap[0] = 1.0;
        double sumar = turning_gama[0], sumai = 0;
        int kmax = 1;
        if (aw2 >= tol) {
            int k;
            for (k = 2; k <= 30; ++k) {
                pr[k - 1] = pr[k - 2] * w2r - pi_[k - 2] * w2i;
                pi_[k - 1] = pr[k - 2] * w2i + pi_[k - 2] * w2r;
                sumar += pr[k - 1] * turning_gama[k - 1];
                sumai += pi_[k - 1] * turning_gama[k - 1];
                ap[k - 1] = ap[k - 2] * aw2;
                if (ap[k - 1] < tol)
                    break;
            }
            kmax = k > 30 ? 30 : k;
        }
        double zetar = w2r * sumar - w2i * sumai;
        double zetai = w2r * sumai + w2i * sumar;
        *argr = zetar * fn23;
        *argi = zetai * fn23;
        double zar, zai, str, sti;
        csqrt(sumar, sumai, zar, zai);
        csqrt(w2r, w2i, str, sti);
        *zeta2r = str * fnu;
        *zeta2i = sti * fnu;
        str = 1.0 + ex2 * (zetar * zar - zetai * zai);
        sti = ex2 * (zetar * zai + zetai * zar);
        *zeta1r = str * *zeta2r - sti * *zeta2i;
        *zeta1i = str * *zeta2i + sti * *zeta2r;
        zar += zar;
        zai += zai;
        csqrt(zar, zai, str, sti);
        *phir = str * rfn13;
        *phii = sti * rfn13;
        if (*ipmtr == 1)
            return;
        double sumbr = 0, sumbi = 0;
        for (int k = 0; k < kmax; ++k) {
            sumbr += pr[k] * turning_beta[k];
            sumbi += pi_[k] * turning_beta[k];
        }
        double asr = 0, asi = 0;
        double bsr = sumbr, bsi = sumbi;
        double btol = tol * (std::fabs(bsr) + std::fabs(bsi));
        double atol = tol;
        double pp = 1.0;
        bool ias = false, ibs = false;
        if (rfnu2 >= tol) {
            for (int is = 1; is <= 6; ++is) {
                atol /= rfnu2;
                pp *= rfnu2;
                if (!ias) {
                    const double* alfa = turning_alfa + 30 * (is - 1);
                    double sr = 0, si = 0;
                    for (int k = 0; k < kmax; ++k) {
                        sr += pr[k] * alfa[k];
                        si += pi_[k] * alfa[k];
                        if (ap[k] < atol)
                            break;
                    }
                    asr += sr * pp;
                    asi += si * pp;
                    if (pp < tol)
                        ias = true;
                }
                if (!ibs) {
                    const double* beta = turning_beta + 30 * is;
                    double sr = 0, si = 0;
                    for (int k = 0; k < kmax; ++k) {
                        sr += pr[k] * beta[k];
                        si += pi_[k] * beta[k];
                        if (ap[k] < atol)
                            break;
                    }
                    bsr += sr * pp;
                    bsi += si * pp;
                    if (pp < btol)
                        ibs = true;
                }
                if (ias && ibs)
                    break;
            }
        }
        *asumr = asr + 1.0;
        *asumi = asi;
        pp = rfnu * rfn13;
        *bsumr = bsr * pp;
        *bsumi = bsi * pp;
        return;
    }

    // Away from the turning point: zeta from its closed form, A and B summed
    // from the Debye polynomials with the lambda and mu coefficients.
    double wr, wi;
    csqrt(w2r, w2i, wr, wi);
    if (wr < 0)
        wr = 0;
    if (wi < 0)
        wi = 0;
    double str = 1.0 + wr, sti = wi;
    double zar, zai;
    cdiv(str, sti, zbr, zbi, zar, zai);
    double zcr, zci;
    clog(zar, zai, zcr, zci);
    if (zci < 0)
        zci = 0;
    if (zci > hpi)
        zci = hpi;
    if (zcr < 0)
        zcr = 0;
    double zthr = (zcr - wr) * 1.5, zthi = (zci - wi) * 1.5;  // zeta^(3/2)
    *zeta1r = zcr * fnu;
    *zeta1i = zci * fnu;
    *zeta2r = wr * fnu;
    *zeta2i = wi * fnu;
    double azth = cabs(zthr, zthi);
    double ang;
    if (zthr >= 0 && zthi < 0)
        ang = thpi;
    else if (zthr == 0)
        ang = hpi;
    else {
        ang = std::atan(zthi / zthr);
        if (zthr < 0)
            ang += gpi;
    }
    double pp = std::pow(azth, ex2);
    ang *= ex2;
    double zetar = pp * std::cos(ang), zetai = pp * std::sin(ang);
    if (zetai < 0)
        zetai = 0;
    *argr = zetar * fn23;
    *argi = zetai * fn23;
    double rtztr, rtzti;  // zeta^(1/2)
    cdiv(zthr, zthi, zetar, zetai, rtztr, rtzti);
    cdiv(rtztr, rtzti, wr, wi, zar, zai);
    double tzar = zar + zar, tzai = zai + zai;
    csqrt(tzar, tzai, str, sti);
    *phir = str * rfn13;
    *phii = sti * rfn13;
    if (*ipmtr == 1)
        return;
    // t/nu with t = 1/w, t^2 = 1/w2, and zeta^(-3/2)/nu.
    double tfnr, tfni;
    cdiv(rfnu, 0.0, wr, wi, tfnr, tfni);
    double t2r, t2i;
    cdiv(1.0, 0.0, w2r, w2i, t2r, t2i);
    double rzthr, rzthi;
    cdiv(rfnu, 0.0, zthr, zthi, rzthr, rzthi);
    // up[m] = u_m(t)/nu^m, pz[j] = (zeta^(-3/2)/nu)^j.
    double upr[15], upi[15], pzr[15], pzi[15];
    upr[0] = 1.0;
    upi[0] = 0;
    pzr[0] = 1.0;
    pzi[0] = 0;
    double ptr = 1.0, pti = 0;
    for (int m = 1; m < 15; ++m) {
        double qr, qi;
        str = ptr * tfnr - pti * tfni;
        pti = ptr * tfni + pti * tfnr;
        ptr = str;
        debye_q(m, t2r, t2i, qr, qi);
        upr[m] = ptr * qr - pti * qi;
        upi[m] = ptr * qi + pti * qr;
        pzr[m] = pzr[m - 1] * rzthr - pzi[m - 1] * rzthi;
        pzi[m] = pzr[m - 1] * rzthi + pzi[m - 1] * rzthr;
    }
    // B_0 term and the A, B terms of order nu^-2k, k = 1..6.
    double bsr = 0, bsi = 0;
    for (int j = 0; j <= 1; ++j) {
        double cr = airy_lambda[j] * pzr[j], ci = airy_lambda[j] * pzi[j];
        bsr += cr * upr[1 - j] - ci * upi[1 - j];
        bsi += cr * upi[1 - j] + ci * upr[1 - j];
    }
    double asr = 0, asi = 0;
    double btol = tol * (std::fabs(bsr) + std::fabs(bsi));
    pp = 1.0;
    bool ias = false, ibs = false;
    if (rfnu >= tol) {
        for (int k = 1; k <= 6; ++k) {
            pp *= rfnu2;
            if (!ias) {
                double sr = 0, si = 0;
                for (int j = 0; j <= 2 * k; ++j) {
                    double cr = airy_mu[j] * pzr[j], ci = airy_mu[j] * pzi[j];
                    sr += cr * upr[2 * k - j] - ci * upi[2 * k - j];
                    si += cr * upi[2 * k - j] + ci * upr[2 * k - j];
                }
                asr += sr;
                asi += si;
                if (pp < tol && std::fabs(sr) + std::fabs(si) < tol)
                    ias = true;
            }
            if (!ibs) {
                double sr = 0, si = 0;
                for (int j = 0; j <= 2 * k + 1; ++j) {
                    double cr = airy_lambda[j] * pzr[j], ci = airy_lambda[j] * pzi[j];
                    sr += cr * upr[2 * k + 1 - j] - ci * upi[2 * k + 1 - j];
                    si += cr * upi[2 * k + 1 - j] + ci * upr[2 * k + 1 - j];
                }
                bsr += sr;
                bsi += si;
                if (pp < btol && std::fabs(sr) + std::fabs(si) < btol)
                    ibs = true;
            }
            if (ias && ibs)
                break;
        }
    }
    *asumr = asr + 1.0;
    *asumi = asi;
    // B carries -zeta^(-1/2) and the nu^(-1/3) beyond the amplitude's.
    str = -bsr * rfn13;
    sti = -bsi * rfn13;
    cdiv(str, sti, rtztr, rtzti, *bsumr, *bsumi);
}

void ZUOIK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* ikflg, const int* n,
           double* yr, double* yi, int* nuf, const double* tol, const double* elim, const double* alim) noexcept
{
    double cwrkr[16], cwrki[16];
    *nuf = 0;
    int nn = *n;
    double zrr = *zr, zri = *zi;
    if (*zr < 0) {
        zrr = -*zr;
        zri = -*zi;
    }
    double zbr = zrr, zbi = zri;
    double ax = std::fabs(*zr) * sector_slope;
    double ay = std::fabs(*zi);
    int iform = ay > ax ? 2 : 1;
    double gnu = *fnu > 1.0 ? *fnu : 1.0;
    if (*ikflg != 1) {
        double fnn = nn;
        double gnn = *fnu + fnn - 1.0;
        gnu = gnn > fnn ? gnn : fnn;
    }
    // Only the moduli of PHI and ARG and the real parts of the exponents
    // matter here.
    double phir = 0, phii = 0, argr = 0, argi = 0, zeta1r, zeta1i, zeta2r, zeta2i, sumr, sumi, asumr, asumi,
           bsumr, bsumi;
    double znr = 0, zni = 0;
    double czr, czi, aarg = 0;
    int one = 1;
    auto exponent = [&](double order) {
        if (iform == 1) {
            int init = 0;
            ZUNIK(&zrr, &zri, &order, ikflg, &one, tol, &init, &phir, &phii, &zeta1r, &zeta1i, &zeta2r, &zeta2i,
                  &sumr, &sumi, cwrkr, cwrki);
        } else {
            znr = zri;
            zni = -zrr;
            if (*zi <= 0)
                znr = -znr;
            ZUNHJ(&znr, &zni, &order, &one, tol, &phir, &phii, &argr, &argi, &zeta1r, &zeta1i, &zeta2r, &zeta2i,
                  &asumr, &asumi, &bsumr, &bsumi);
            aarg = cabs(argr, argi);
        }
        czr = -zeta1r + zeta2r;
        czi = -zeta1i + zeta2i;
        if (*kode != 1) {
            czr -= zbr;
            czi -= zbi;
        }
    };
    // The refined candidate exp(cz + ln phi (- ln arg / 4 - aic)) / tol must
    // survive the underflow test.
    auto rejected = [&](double rcz) {
        double ascle = 1.0e3 * realmin() / *tol;
        double str, sti;
        clog(phir, phii, str, sti);
        czr += str;
        czi += sti;
        if (iform != 1) {
            clog(argr, argi, str, sti);
            czr = czr - 0.25 * str - aic;
            czi = czi - 0.25 * sti;
        }
        double axx = std::exp(rcz) / *tol;
        double ayy = czi;
        double cr = axx * std::cos(ayy), ci = axx * std::sin(ayy);
        int nw;
        ZUCHK(&cr, &ci, &nw, &ascle, tol);
        return nw != 0;
    };
    exponent(gnu);
    if (*ikflg != 1) {
        czr = -czr;
        czi = -czi;
    }
    double aphi = cabs(phir, phii);
    double rcz = czr;
    if (rcz > *elim) {
        *nuf = -1;
        return;
    }
    bool underflow = false;
    if (rcz >= *alim) {
        rcz += std::log(aphi);
        if (iform == 2)
            rcz = rcz - 0.25 * std::log(aarg) - aic;
        if (rcz > *elim) {
            *nuf = -1;
            return;
        }
    } else if (rcz < -*elim) {
        underflow = true;
    } else if (rcz <= -*alim) {
        rcz += std::log(aphi);
        if (iform == 2)
            rcz = rcz - 0.25 * std::log(aarg) - aic;
        if (rcz <= -*elim)
            underflow = true;
        else
            underflow = rejected(rcz);
    }
    if (underflow) {
        for (int i = 0; i < nn; ++i) {
            yr[i] = 0;
            yi[i] = 0;
        }
        *nuf = nn;
        return;
    }
    if (*ikflg == 2 || *n == 1)
        return;
    // I sequence: zero the top members that underflow.
    for (;;) {
        double order = *fnu + (nn - 1);
        exponent(order);
        aphi = cabs(phir, phii);
        rcz = czr;
        bool under = false;
        if (rcz < -*elim) {
            under = true;
        } else if (rcz > -*alim) {
            return;
        } else {
            rcz += std::log(aphi);
            if (iform == 2)
                rcz = rcz - 0.25 * std::log(aarg) - aic;
            if (rcz <= -*elim)
                under = true;
            else
                under = rejected(rcz);
        }
        if (!under)
            return;
        yr[nn - 1] = 0;
        yi[nn - 1] = 0;
        nn -= 1;
        *nuf += 1;
        if (nn == 0)
            return;
    }
}

void ZUNI1(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, int* nlast, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept
{
    double cwrkr[16], cwrki[16];
    double cyr[2] = {0, 0}, cyi[2] = {0, 0};
    *nz = 0;
    int nd = *n;
    *nlast = 0;
    double cscl = 1.0 / *tol, crsc = *tol;
    double css[3] = {cscl, 1.0, crsc};
    double csr[3] = {crsc, 1.0, cscl};
    double bry[3];
    bry[0] = 1.0e3 * realmin() / *tol;
    double phir, phii, zeta1r, zeta1i, zeta2r, zeta2i, sumr, sumi;
    int zero = 0, one = 1, ikflg = 1;
    // Exponent of member order fn: -zeta1 + zeta2, or with exp(Re z) removed.
    auto exponent = [&](double fn, double& s1r, double& s1i) {
        if (*kode == 1) {
            s1r = -zeta1r + zeta2r;
            s1i = -zeta1i + zeta2i;
        } else {
            double str, sti;
            zeta2_minus_z(fn, *zr, *zi, zeta2r, zeta2i, str, sti);
            s1r = -zeta1r + str;
            s1i = -zeta1i + sti + *zi;
        }
    };
    // Underflow and overflow test on the lowest order first.
    double fn = *fnu > 1.0 ? *fnu : 1.0;
    int init = 0;
    ZUNIK(zr, zi, &fn, &ikflg, &one, tol, &init, &phir, &phii, &zeta1r, &zeta1i, &zeta2r, &zeta2i, &sumr, &sumi,
          cwrkr, cwrki);
    double s1r, s1i;
    exponent(fn, s1r, s1i);
    double rs1 = s1r;
    if (std::fabs(rs1) > *elim) {
        if (rs1 > 0) {
            *nz = -1;
            return;
        }
        *nz = *n;
        for (int i = 0; i < *n; ++i) {
            yr[i] = 0;
            yi[i] = 0;
        }
        return;
    }
    int iflag = 2;
    for (;;) {
        int nn = int_min(2, nd);
        bool failed = false;
        for (int i = 1; i <= nn; ++i) {
            fn = *fnu + (nd - i);
            init = 0;
            ZUNIK(zr, zi, &fn, &ikflg, &zero, tol, &init, &phir, &phii, &zeta1r, &zeta1i, &zeta2r, &zeta2i, &sumr,
                  &sumi, cwrkr, cwrki);
            exponent(fn, s1r, s1i);
            rs1 = s1r;
            if (std::fabs(rs1) > *elim) {
                failed = true;
                break;
            }
            if (i == 1)
                iflag = 2;
            if (std::fabs(rs1) >= *alim) {
                rs1 += std::log(cabs(phir, phii));
                if (std::fabs(rs1) > *elim) {
                    failed = true;
                    break;
                }
                if (i == 1) {
                    iflag = 1;
                    if (rs1 >= 0)
                        iflag = 3;
                }
            }
            double s2r, s2i, er, ei;
            cmul(phir, phii, sumr, sumi, s2r, s2i);
            scaled_exp(s1r, s1i, css[iflag - 1], er, ei);
            cmul(s2r, s2i, er, ei, s2r, s2i);
            if (iflag == 1) {
                int nw;
                ZUCHK(&s2r, &s2i, &nw, &bry[0], tol);
                if (nw != 0) {
                    failed = true;
                    break;
                }
            }
            cyr[i - 1] = s2r;
            cyi[i - 1] = s2i;
            int m = nd - i + 1;
            yr[m - 1] = s2r * csr[iflag - 1];
            yi[m - 1] = s2i * csr[iflag - 1];
        }
        if (!failed)
            break;
        // The member failed: overflow ends the call, underflow zeroes it
        // and the test moves to the next lower orders.
        if (rs1 > 0) {
            *nz = -1;
            return;
        }
        yr[nd - 1] = 0;
        yi[nd - 1] = 0;
        *nz += 1;
        nd -= 1;
        if (nd == 0)
            return;
        int nuf;
        ZUOIK(zr, zi, fnu, kode, &one, &nd, yr, yi, &nuf, tol, elim, alim);
        if (nuf < 0) {
            *nz = -1;
            return;
        }
        nd -= nuf;
        *nz += nuf;
        if (nd == 0)
            return;
        fn = *fnu + (nd - 1);
        if (fn < *fnul) {
            *nlast = nd;
            return;
        }
    }
    if (nd <= 2)
        return;
    backward_recurrence(*zr, *zi, *fnu, nd, cyr, cyi, css, csr, bry, iflag, yr, yi);
}

void ZUNI2(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, int* nlast, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept
{
    // I(nu, z) = exp(i nu pi/2) J(nu, -i z) for z in the first quadrant, J by
    // the Airy-type expansion; the fourth quadrant by conjugation.
    static constexpr double cipr[4] = {1.0, 0.0, -1.0, 0.0};
    static constexpr double cipi[4] = {0.0, 1.0, 0.0, -1.0};
    double cyr[2] = {0, 0}, cyi[2] = {0, 0};
    *nz = 0;
    int nd = *n;
    *nlast = 0;
    double cscl = 1.0 / *tol, crsc = *tol;
    double css[3] = {cscl, 1.0, crsc};
    double csr[3] = {crsc, 1.0, cscl};
    double bry[3];
    bry[0] = 1.0e3 * realmin() / *tol;
    double yy = *zi;
    double znr = *zi, zni = -*zr;
    double zbr = *zr, zbi = *zi;
    double cidi = -1.0;
    int inu = int_part(*fnu);
    double ang = hpi * (*fnu - inu);
    double c2r = std::cos(ang), c2i = std::sin(ang);
    double car = c2r, sar = c2i;
    auto rotation = [&](int top) {
        int in = (inu + top - 1) % 4;
        double str = car * cipr[in] - sar * cipi[in];
        c2i = car * cipi[in] + sar * cipr[in];
        c2r = str;
        if (yy <= 0)
            c2i = -c2i;
    };
    rotation(*n);
    if (yy <= 0) {
        znr = -znr;
        zbi = -zbi;
        cidi = -cidi;
    }
    double phir, phii, argr, argi, zeta1r, zeta1i, zeta2r, zeta2i, asumr, asumi, bsumr, bsumi;
    int zero = 0, one = 1;
    auto exponent = [&](double fn, double& s1r, double& s1i) {
        if (*kode == 1) {
            s1r = -zeta1r + zeta2r;
            s1i = -zeta1i + zeta2i;
        } else {
            double str, sti;
            zeta2_minus_z(fn, zbr, zbi, zeta2r, zeta2i, str, sti);
            s1r = -zeta1r + str;
            s1i = -zeta1i + sti + std::fabs(*zi);
        }
    };
    double fn = *fnu > 1.0 ? *fnu : 1.0;
    ZUNHJ(&znr, &zni, &fn, &one, tol, &phir, &phii, &argr, &argi, &zeta1r, &zeta1i, &zeta2r, &zeta2i, &asumr,
          &asumi, &bsumr, &bsumi);
    double s1r, s1i;
    exponent(fn, s1r, s1i);
    double rs1 = s1r;
    if (std::fabs(rs1) > *elim) {
        if (rs1 > 0) {
            *nz = -1;
            return;
        }
        *nz = *n;
        for (int i = 0; i < *n; ++i) {
            yr[i] = 0;
            yi[i] = 0;
        }
        return;
    }
    int iflag = 2;
    for (;;) {
        int nn = int_min(2, nd);
        bool failed = false;
        for (int i = 1; i <= nn; ++i) {
            fn = *fnu + (nd - i);
            ZUNHJ(&znr, &zni, &fn, &zero, tol, &phir, &phii, &argr, &argi, &zeta1r, &zeta1i, &zeta2r, &zeta2i,
                  &asumr, &asumi, &bsumr, &bsumi);
            exponent(fn, s1r, s1i);
            rs1 = s1r;
            if (std::fabs(rs1) > *elim) {
                failed = true;
                break;
            }
            if (i == 1)
                iflag = 2;
            if (std::fabs(rs1) >= *alim) {
                rs1 = rs1 + std::log(cabs(phir, phii)) - 0.25 * std::log(cabs(argr, argi)) - aic;
                if (std::fabs(rs1) > *elim) {
                    failed = true;
                    break;
                }
                if (i == 1) {
                    iflag = 1;
                    if (rs1 >= 0)
                        iflag = 3;
                }
            }
            double air, aii, dair, daii;
            int nai, ndai, idum, kode2 = 2;
            ZAIRY(&argr, &argi, &zero, &kode2, &air, &aii, &nai, &idum);
            ZAIRY(&argr, &argi, &one, &kode2, &dair, &daii, &ndai, &idum);
            double str = dair * bsumr - daii * bsumi;
            double sti = dair * bsumi + daii * bsumr;
            str += air * asumr - aii * asumi;
            sti += air * asumi + aii * asumr;
            double s2r, s2i, er, ei;
            cmul(str, sti, phir, phii, s2r, s2i);
            scaled_exp(s1r, s1i, css[iflag - 1], er, ei);
            cmul(s2r, s2i, er, ei, s2r, s2i);
            if (iflag == 1) {
                int nw;
                ZUCHK(&s2r, &s2i, &nw, &bry[0], tol);
                if (nw != 0) {
                    failed = true;
                    break;
                }
            }
            if (yy <= 0)
                s2i = -s2i;
            cmul(s2r, s2i, c2r, c2i, s2r, s2i);
            cyr[i - 1] = s2r;
            cyi[i - 1] = s2i;
            int j = nd - i + 1;
            yr[j - 1] = s2r * csr[iflag - 1];
            yi[j - 1] = s2i * csr[iflag - 1];
            str = -c2i * cidi;
            c2i = c2r * cidi;
            c2r = str;
        }
        if (!failed)
            break;
        if (rs1 > 0) {
            *nz = -1;
            return;
        }
        yr[nd - 1] = 0;
        yi[nd - 1] = 0;
        *nz += 1;
        nd -= 1;
        if (nd == 0)
            return;
        int nuf;
        ZUOIK(zr, zi, fnu, kode, &one, &nd, yr, yi, &nuf, tol, elim, alim);
        if (nuf < 0) {
            *nz = -1;
            return;
        }
        nd -= nuf;
        *nz += nuf;
        if (nd == 0)
            return;
        fn = *fnu + (nd - 1);
        if (fn < *fnul) {
            *nlast = nd;
            return;
        }
        rotation(nd);
    }
    if (nd <= 2)
        return;
    backward_recurrence(*zr, *zi, *fnu, nd, cyr, cyi, css, csr, bry, iflag, yr, yi);
}

void ZBUNI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const int* nui, int* nlast, const double* fnul, const double* tol,
           const double* elim, const double* alim) noexcept
{
    double cyr[2], cyi[2];
    *nz = 0;
    double ax = std::fabs(*zr) * sector_slope;
    double ay = std::fabs(*zi);
    int iform = ay > ax ? 2 : 1;
    int nw;
    if (*nui == 0) {
        if (iform == 2)
            ZUNI2(zr, zi, fnu, kode, n, yr, yi, &nw, nlast, fnul, tol, elim, alim);
        else
            ZUNI1(zr, zi, fnu, kode, n, yr, yi, &nw, nlast, fnul, tol, elim, alim);
        if (nw < 0) {
            *nz = nw == -2 ? -2 : -1;
            return;
        }
        *nz = nw;
        return;
    }
    // Two members at the raised orders gnu and gnu + 1, then the backward
    // recurrence down to the top requested order.
    double fnui = *nui;
    double dfnu = *fnu + (*n - 1);
    double gnu = dfnu + fnui;
    int two = 2;
    if (iform == 2)
        ZUNI2(zr, zi, &gnu, kode, &two, cyr, cyi, &nw, nlast, fnul, tol, elim, alim);
    else
        ZUNI1(zr, zi, &gnu, kode, &two, cyr, cyi, &nw, nlast, fnul, tol, elim, alim);
    if (nw < 0) {
        *nz = nw == -2 ? -2 : -1;
        return;
    }
    if (nw != 0) {
        *nlast = *n;
        return;
    }
    double str = cabs(cyr[0], cyi[0]);
    double bry[3];
    bry[0] = 1.0e3 * realmin() / *tol;
    bry[1] = 1.0 / bry[0];
    bry[2] = bry[1];
    int iflag = 2;
    double ascle = bry[1];
    double csclr = 1.0;
    if (str <= bry[0]) {
        iflag = 1;
        ascle = bry[0];
        csclr = 1.0 / *tol;
    } else if (str >= bry[1]) {
        iflag = 3;
        ascle = bry[2];
        csclr = *tol;
    }
    double cscrr = 1.0 / csclr;
    double s1r = cyr[1] * csclr, s1i = cyi[1] * csclr;
    double s2r = cyr[0] * csclr, s2i = cyi[0] * csclr;
    double rzr, rzi;
    two_over(*zr, *zi, rzr, rzi);
    auto step = [&](double order, double& outr, double& outi) {
        double sr = s2r, si = s2i;
        s2r = order * (rzr * sr - rzi * si) + s1r;
        s2i = order * (rzr * si + rzi * sr) + s1i;
        s1r = sr;
        s1i = si;
        outr = s2r * cscrr;
        outi = s2i * cscrr;
        if (iflag >= 3)
            return;
        double stm = std::fmax(std::fabs(outr), std::fabs(outi));
        if (stm <= ascle)
            return;
        iflag += 1;
        ascle = bry[iflag - 1];
        s1r *= cscrr;
        s1i *= cscrr;
        s2r = outr;
        s2i = outi;
        csclr *= *tol;
        cscrr = 1.0 / csclr;
        s1r *= csclr;
        s1i *= csclr;
        s2r *= csclr;
        s2i *= csclr;
    };
    double outr, outi;
    for (int i = 1; i <= *nui; ++i) {
        step(dfnu + fnui, outr, outi);
        fnui -= 1.0;
    }
    yr[*n - 1] = s2r * cscrr;
    yi[*n - 1] = s2i * cscrr;
    if (*n == 1)
        return;
    int nl = *n - 1;
    fnui = nl;
    int k = nl;
    for (int i = 1; i <= nl; ++i) {
        step(*fnu + fnui, outr, outi);
        yr[k - 1] = outr;
        yi[k - 1] = outi;
        fnui -= 1.0;
        k -= 1;
    }
}

void ZBUNK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept
{
    *nz = 0;
    double ax = std::fabs(*zr) * sector_slope;
    double ay = std::fabs(*zi);
    if (ay > ax)
        ZUNK2(zr, zi, fnu, kode, mr, n, yr, yi, nz, tol, elim, alim);
    else
        ZUNK1(zr, zi, fnu, kode, mr, n, yr, yi, nz, tol, elim, alim);
}

namespace {

// exp(i sign nu pi/2) from the integer and fractional parts of nu, so that a
// large order keeps its digits.
void quarter_turn(double nu, double sign, double& outr, double& outi) noexcept
{
    double whole = fix_double(nu);
    double ang = hpi * (nu - whole);
    double r = std::cos(ang), i = sign * std::sin(ang);
    int q = static_cast<int>(std::fmod(whole, 4.0));
    for (int k = 0; k < q; ++k) {  // times (sign i)
        double t = -sign * i;
        i = sign * r;
        r = t;
    }
    outr = r;
    outi = i;
}

// Expansion 1 (Debye) at the reflected argument zr_ in the right half plane.
struct DebyeModel {
    double zrr, zri;
    int kode;
    const double* tol;
    double phir = 0, phii = 0, sumr = 0, sumi = 0;
    double cwrkr[16], cwrki[16];

    DebyeModel(double r, double i, int k, const double* t) : zrr(r), zri(i), kode(k), tol(t) {}

    // Exponent s1 of the member and the refinement of its real part.
    void params(bool kfun, double fn, int ipmtr, double& s1r, double& s1i, double& refine) noexcept
    {
        int ikflg = kfun ? 2 : 1, init = 0;
        double z1r, z1i, z2r, z2i;
        ZUNIK(&zrr, &zri, &fn, &ikflg, &ipmtr, tol, &init, &phir, &phii, &z1r, &z1i, &z2r, &z2i, &sumr, &sumi, cwrkr,
              cwrki);
        double str = z2r, sti = z2i;
        if (kode != 1)
            zeta2_minus_z(fn, zrr, zri, z2r, z2i, str, sti);
        if (kfun) {
            s1r = z1r - str;
            s1i = z1i - sti;
        } else {
            s1r = -z1r + str;
            s1i = -z1i + sti;
        }
        refine = std::log(cabs(phir, phii));
    }
    void amplitude(bool, double, double& ar, double& ai) noexcept { cmul(phir, phii, sumr, sumi, ar, ai); }
};

// Expansion 2 (Airy type) through J and H2 of -i zb, zb the reflected
// argument moved into the first quadrant (conjugated back at the end).
struct AiryModel {
    double zbr, zbi, znr, zni;
    bool conj;
    int kode;
    const double* tol;
    double phir = 0, phii = 0, argr = 0, argi = 0, asumr = 0, asumi = 0, bsumr = 0, bsumi = 0;

    AiryModel(double r, double i, int k, const double* t) : zbr(r), zbi(i), conj(i <= 0), kode(k), tol(t)
    {
        if (conj)
            zbi = -zbi;
        znr = zbi;
        zni = -zbr;
    }

    void params(bool kfun, double fn, int ipmtr, double& s1r, double& s1i, double& refine) noexcept
    {
        double z1r, z1i, z2r, z2i;
        ZUNHJ(&znr, &zni, &fn, &ipmtr, tol, &phir, &phii, &argr, &argi, &z1r, &z1i, &z2r, &z2i, &asumr, &asumi,
              &bsumr, &bsumi);
        double str = z2r, sti = z2i;
        if (kode != 1)
            zeta2_minus_z(fn, zbr, zbi, z2r, z2i, str, sti);
        if (kfun) {
            s1r = z1r - str;
            s1i = z1i - sti;
        } else {
            s1r = -z1r + str;
            s1i = -z1i + sti;
        }
        if (conj)
            s1i = -s1i;
        refine = std::log(cabs(phir, phii)) - 0.25 * std::log(cabs(argr, argi)) - aic;
    }

    // K(nu, zb) = pi e^{-i pi/6} e^{-i nu pi/2} phi (Ai(w) A + e^{-2 pi i/3}
    // Ai'(w) B), w = e^{-2 pi i/3} arg, from H2 of -i zb; I(nu, zb) =
    // e^{i nu pi/2} phi (Ai(arg) A + Ai'(arg) B) from J of -i zb. The Airy
    // values are the scaled ones: the exponent s1 carries the rest.
    void amplitude(bool kfun, double fn, double& ar, double& ai) noexcept
    {
        const double cr2r = -0.5, cr2i = -0.8660254037844386;
        int zero = 0, one = 1, kode2 = 2, nai, idum;
        double wr = argr, wi = argi;
        if (kfun)
            cmul(argr, argi, cr2r, cr2i, wr, wi);
        double air, aii, dair, daii;
        ZAIRY(&wr, &wi, &zero, &kode2, &air, &aii, &nai, &idum);
        ZAIRY(&wr, &wi, &one, &kode2, &dair, &daii, &nai, &idum);
        if (kfun)
            cmul(dair, daii, cr2r, cr2i, dair, daii);
        double sr = air * asumr - aii * asumi + dair * bsumr - daii * bsumi;
        double si = air * asumi + aii * asumr + dair * bsumi + daii * bsumr;
        cmul(sr, si, phir, phii, sr, si);
        double rr, ri;
        if (kfun) {
            quarter_turn(fn, -1.0, rr, ri);
            cmul(rr, ri, pi * 0.8660254037844386, -pi * 0.5, rr, ri);
        } else {
            quarter_turn(fn, 1.0, rr, ri);
        }
        cmul(sr, si, rr, ri, ar, ai);
        if (conj)
            ai = -ai;
    }
};

// K by a uniform expansion for orders fnu .. fnu+n-1 and, for mr != 0, its
// continuation K(nu, z e^{i pi mr}) = e^{-i pi mr nu} K(nu, z) - i pi mr
// I(nu, z) with I from the same expansion, member by member.
template <class Model>
void uniform_k(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
               double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept
{
    double cyr[2] = {0, 0}, cyi[2] = {0, 0};
    *nz = 0;
    double cscl = 1.0 / *tol, crsc = *tol;
    double css[3] = {cscl, 1.0, crsc};
    double csr[3] = {crsc, 1.0, cscl};
    double bry[3];
    bry[0] = 1.0e3 * realmin() / *tol;
    bry[1] = 1.0 / bry[0];
    bry[2] = realmax();
    double zrr = *zr, zri = *zi;
    if (*zr < 0) {
        zrr = -*zr;
        zri = -*zi;
    }
    Model model(zrr, zri, *kode, tol);
    int kdflg = 1, kflag = 2;
    double s1r, s1i, refine, rs1 = 0, fn = *fnu;
    int i;
    bool two_found = false;
    for (i = 1; i <= *n; ++i) {
        fn = *fnu + (i - 1);
        model.params(true, fn, 0, s1r, s1i, refine);
        rs1 = s1r;
        bool failed = std::fabs(rs1) > *elim;
        if (!failed) {
            if (kdflg == 1)
                kflag = 2;
            if (std::fabs(rs1) >= *alim) {
                rs1 += refine;
                failed = std::fabs(rs1) > *elim;
                if (!failed && kdflg == 1) {
                    kflag = 1;
                    if (rs1 >= 0)
                        kflag = 3;
                }
            }
        }
        if (!failed) {
            double s2r, s2i, er, ei;
            model.amplitude(true, fn, s2r, s2i);
            scaled_exp(s1r, s1i, css[kflag - 1], er, ei);
            cmul(s2r, s2i, er, ei, s2r, s2i);
            if (kflag == 1) {
                int nw;
                ZUCHK(&s2r, &s2i, &nw, &bry[0], tol);
                failed = nw != 0;
            }
            if (!failed) {
                cyr[kdflg - 1] = s2r;
                cyi[kdflg - 1] = s2i;
                yr[i - 1] = s2r * csr[kflag - 1];
                yi[i - 1] = s2i * csr[kflag - 1];
                if (kdflg == 2) {
                    two_found = true;
                    break;
                }
                kdflg = 2;
                continue;
            }
        }
        // Overflow, or an underflow whose I partner would overflow.
        if (rs1 > 0 || *zr < 0) {
            *nz = -1;
            return;
        }
        kdflg = 1;
        yr[i - 1] = 0;
        yi[i - 1] = 0;
        *nz += 1;
        if (i > 1 && (yr[i - 2] != 0 || yi[i - 2] != 0)) {
            yr[i - 2] = 0;
            yi[i - 2] = 0;
            *nz += 1;
        }
    }
    if (!two_found)
        i = *n;
    double rzr, rzi;
    two_over(zrr, zri, rzr, rzi);
    double ckr = fn * rzr, cki = fn * rzi;
    int ib = i + 1;
    if (*n >= ib) {
        // Test the last member; an underflow there zeroes the sequence.
        fn = *fnu + (*n - 1);
        model.params(true, fn, *mr != 0 ? 0 : 1, s1r, s1i, refine);
        rs1 = s1r;
        bool bad = std::fabs(rs1) > *elim;
        if (!bad && std::fabs(rs1) >= *alim) {
            rs1 += refine;
            bad = std::fabs(rs1) >= *elim;
        }
        if (bad) {
            if (rs1 > 0 || *zr < 0) {
                *nz = -1;
                return;
            }
            *nz = *n;
            for (int q = 0; q < *n; ++q) {
                yr[q] = 0;
                yi[q] = 0;
            }
            return;
        }
        // Forward recurrence for the remaining members.
        double s1rr = cyr[0], s1ii = cyi[0], s2r = cyr[1], s2i = cyi[1];
        double c1r = csr[kflag - 1];
        double ascle = bry[kflag - 1];
        for (int q = ib; q <= *n; ++q) {
            double c2r = s2r, c2i = s2i;
            s2r = ckr * c2r - cki * c2i + s1rr;
            s2i = ckr * c2i + cki * c2r + s1ii;
            s1rr = c2r;
            s1ii = c2i;
            ckr += rzr;
            cki += rzi;
            c2r = s2r * c1r;
            c2i = s2i * c1r;
            yr[q - 1] = c2r;
            yi[q - 1] = c2i;
            if (kflag >= 3)
                continue;
            double c2m = std::fmax(std::fabs(c2r), std::fabs(c2i));
            if (c2m <= ascle)
                continue;
            kflag += 1;
            ascle = bry[kflag - 1];
            s1rr *= c1r;
            s1ii *= c1r;
            s2r = c2r;
            s2i = c2i;
            s1rr *= css[kflag - 1];
            s1ii *= css[kflag - 1];
            s2r *= css[kflag - 1];
            s2i *= css[kflag - 1];
            c1r = csr[kflag - 1];
        }
    }
    if (*mr == 0)
        return;

    // Continuation to Re z < 0: add the I members, highest order first.
    *nz = 0;
    double sgn = -sign_transfer(pi, static_cast<double>(*mr));
    double csgnr = 0, csgni = sgn;
    int inu = int_part(*fnu);
    double fnf = *fnu - inu;
    int ifn = inu + *n - 1;
    double ang = fnf * sgn;
    double cspnr = std::cos(ang), cspni = std::sin(ang);
    if (ifn % 2 != 0) {
        cspnr = -cspnr;
        cspni = -cspni;
    }
    double asc = bry[0];
    int iuf = 0;
    int kk = *n;
    kdflg = 1;
    int iflag = 2;
    int k;
    bool stop = false;
    for (k = 1; k <= *n; ++k) {
        fn = *fnu + (kk - 1);
        model.params(false, fn, 0, s1r, s1i, refine);
        rs1 = s1r;
        double s2r = 0, s2i = 0;
        bool zeroed = std::fabs(rs1) > *elim;
        if (!zeroed) {
            if (kdflg == 1)
                iflag = 2;
            if (std::fabs(rs1) >= *alim) {
                rs1 += refine;
                zeroed = std::fabs(rs1) > *elim;
                if (!zeroed && kdflg == 1) {
                    iflag = 1;
                    if (rs1 >= 0)
                        iflag = 3;
                }
            }
        }
        if (zeroed) {
            if (rs1 > 0) {
                *nz = -1;
                return;
            }
        } else {
            double er, ei;
            model.amplitude(false, fn, s2r, s2i);
            scaled_exp(s1r, s1i, css[iflag - 1], er, ei);
            cmul(s2r, s2i, er, ei, s2r, s2i);
            if (iflag == 1) {
                int nw;
                ZUCHK(&s2r, &s2i, &nw, &bry[0], tol);
                if (nw != 0) {
                    s2r = 0;
                    s2i = 0;
                }
            }
            cmul(s2r, s2i, csgnr, csgni, s2r, s2i);
        }
        cyr[kdflg - 1] = s2r;
        cyi[kdflg - 1] = s2i;
        double c2r = s2r, c2i = s2i;
        s2r *= csr[iflag - 1];
        s2i *= csr[iflag - 1];
        double c1r = yr[kk - 1], c1i = yi[kk - 1];
        if (*kode != 1) {
            int nw;
            ZS1S2(&zrr, &zri, &c1r, &c1i, &s2r, &s2i, &nw, &asc, alim, &iuf);
            *nz += nw;
        }
        yr[kk - 1] = c1r * cspnr - c1i * cspni + s2r;
        yi[kk - 1] = cspnr * c1i + cspni * c1r + s2i;
        kk -= 1;
        cspnr = -cspnr;
        cspni = -cspni;
        if (c2r == 0 && c2i == 0) {
            kdflg = 1;
            continue;
        }
        if (kdflg == 2) {
            stop = true;
            break;
        }
        kdflg = 2;
    }
    if (!stop)
        k = *n;
    int il = *n - k;
    if (il == 0)
        return;
    // Backward recurrence for the remaining I members, each added to its K.
    double s1rr = cyr[0], s1ii = cyi[0], s2r = cyr[1], s2i = cyi[1];
    double csrk = csr[iflag - 1];
    double ascle = bry[iflag - 1];
    fn = inu + il;
    for (int q = 1; q <= il; ++q) {
        double c2r = s2r, c2i = s2i;
        s2r = s1rr + (fn + fnf) * (rzr * c2r - rzi * c2i);
        s2i = s1ii + (fn + fnf) * (rzr * c2i + rzi * c2r);
        s1rr = c2r;
        s1ii = c2i;
        fn -= 1.0;
        c2r = s2r * csrk;
        c2i = s2i * csrk;
        double ckr2 = c2r, cki2 = c2i;
        double c1r = yr[kk - 1], c1i = yi[kk - 1];
        if (*kode != 1) {
            int nw;
            ZS1S2(&zrr, &zri, &c1r, &c1i, &c2r, &c2i, &nw, &asc, alim, &iuf);
            *nz += nw;
        }
        yr[kk - 1] = c1r * cspnr - c1i * cspni + c2r;
        yi[kk - 1] = c1r * cspni + c1i * cspnr + c2i;
        kk -= 1;
        cspnr = -cspnr;
        cspni = -cspni;
        if (iflag >= 3)
            continue;
        double c2m = std::fmax(std::fabs(ckr2), std::fabs(cki2));
        if (c2m <= ascle)
            continue;
        iflag += 1;
        ascle = bry[iflag - 1];
        s1rr *= csrk;
        s1ii *= csrk;
        s2r = ckr2;
        s2i = cki2;
        s1rr *= css[iflag - 1];
        s1ii *= css[iflag - 1];
        s2r *= css[iflag - 1];
        s2i *= css[iflag - 1];
        csrk = csr[iflag - 1];
    }
}

} // namespace

void ZUNK1(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept
{
    uniform_k<DebyeModel>(zr, zi, fnu, kode, mr, n, yr, yi, nz, tol, elim, alim);
}

void ZUNK2(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept
{
    uniform_k<AiryModel>(zr, zi, fnu, kode, mr, n, yr, yi, nz, tol, elim, alim);
}

} // namespace amos
