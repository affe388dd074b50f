// The Airy drivers of the complex package: Ai, Ai', Bi and Bi' by their
// power series for |z| <= 1 and through K and I of order 1/3 and 2/3 at
// zeta = (2/3) z^(3/2) beyond.
#include "bessel/amos_common.hpp"

namespace amos {

using namespace detail;

namespace {

constexpr double tth = 0.6666666666666666;

// The two series in z^3 of the Airy functions (and their derivatives for
// id = 1), summed until the term is below tol relative.
void airy_series(double zr, double zi, double az, double fid, double tol, double& s1r, double& s1i, double& s2r,
                 double& s2i) noexcept
{
    s1r = 1.0;
    s1i = 0;
    s2r = 1.0;
    s2i = 0;
    double aa = az * az;
    if (aa < tol / az)
        return;
    double trm1r = 1.0, trm1i = 0, trm2r = 1.0, trm2i = 0, atrm = 1.0;
    double str = zr * zr - zi * zi, sti = zr * zi + zi * zr;
    double z3r = str * zr - sti * zi, z3i = str * zi + sti * zr;
    double az3 = az * aa;
    double ak = 2.0 + fid, bk = 3.0 - fid - fid, ck = 4.0 - fid, dk = 3.0 + fid + fid;
    double d1 = ak * dk, d2 = bk * ck;
    double ad = d1 < d2 ? d1 : d2;
    ak = 24.0 + 9.0 * fid;
    bk = 30.0 - 9.0 * fid;
    for (int k = 1; k <= 25; ++k) {
        str = (trm1r * z3r - trm1i * z3i) / d1;
        trm1i = (trm1r * z3i + trm1i * z3r) / d1;
        trm1r = str;
        s1r += trm1r;
        s1i += trm1i;
        str = (trm2r * z3r - trm2i * z3i) / d2;
        trm2i = (trm2r * z3i + trm2i * z3r) / d2;
        trm2r = str;
        s2r += trm2r;
        s2i += trm2i;
        atrm = atrm * az3 / ad;
        d1 += ak;
        d2 += bk;
        ad = d1 < d2 ? d1 : d2;
        if (atrm < tol * ad)
            return;
        ak += 18.0;
        bk += 18.0;
    }
}

// Parameters of the Bessel-function region: the limits of the drivers with
// the magnitude limit raised to the power 2/3.
struct AiryRange {
    Parameters p;
    double alaz;
};

int airy_range(double az, AiryRange& r, int* ierr) noexcept
{
    parameters(&r.p);
    r.alaz = std::log(az);
    double aa = power_real(r.p.magnitude, tth);
    if (az > aa) {
        *ierr = 4;
        return 1;
    }
    if (az > std::sqrt(aa))
        *ierr = 3;
    return 0;
}

// sqrt(z) and zeta = (2/3) z sqrt(z), with Re zeta made non-positive left of
// the imaginary axis and zero on the negative real axis.
void airy_zeta(double zr, double zi, double& csqr, double& csqi, double& ztar, double& ztai) noexcept
{
    csqrt(zr, zi, csqr, csqi);
    ztar = tth * (zr * csqr - zi * csqi);
    ztai = tth * (zr * csqi + zi * csqr);
    if (zr < 0)
        ztar = -std::fabs(ztar);
    if (zi == 0 && zr <= 0)
        ztar = 0;
}

} // namespace

void ZAIRY(const double* zr_, const double* zi_, const int* id, const int* kode, double* air, double* aii, int* nz,
           int* ierr) noexcept
{
    const double c1 = 0.3550280538878172, c2 = 0.2588194037928068, coef = 0.18377629847393068;
    *ierr = 0;
    *nz = 0;
    if (*id < 0 || *id > 1 || *kode < 1 || *kode > 2) {
        *ierr = 1;
        return;
    }
    const double zr = *zr_, zi = *zi_;
    double az = cabs(zr, zi);
    double tol = std::fmax(machine_double(4), 1.0e-18);
    double fid = *id;
    if (!(az > 1.0)) {
        if (az < tol) {
            // Tiny arguments: the first terms of the series.
            double aa = 1.0e3 * realmin();
            double s1r = 0, s1i = 0;
            if (*id == 0) {
                if (az > aa) {
                    s1r = c2 * zr;
                    s1i = c2 * zi;
                }
                *air = c1 - s1r;
                *aii = -s1i;
                return;
            }
            *air = -c2;
            *aii = 0;
            aa = std::sqrt(aa);
            if (az > aa) {
                s1r = (zr * zr - zi * zi) * 0.5;
                s1i = zr * zi;
            }
            *air += c1 * s1r;
            *aii += c1 * s1i;
            return;
        }
        double s1r, s1i, s2r, s2i;
        airy_series(zr, zi, az, fid, tol, s1r, s1i, s2r, s2i);
        if (*id == 0) {
            *air = s1r * c1 - c2 * (zr * s2r - zi * s2i);
            *aii = s1i * c1 - c2 * (zr * s2i + zi * s2r);
        } else {
            *air = -s2r * c2;
            *aii = -s2i * c2;
            if (az > tol) {
                double str = zr * s1r - zi * s1i, sti = zr * s1i + zi * s1r;
                double cc = c1 / (1.0 + fid);
                *air += cc * (str * zr - sti * zi);
                *aii += cc * (str * zi + sti * zr);
            }
        }
        if (*kode == 1)
            return;
        double csqr, csqi, ztar, ztai;
        csqrt(zr, zi, csqr, csqi);
        ztar = tth * (zr * csqr - zi * csqi);
        ztai = tth * (zr * csqi + zi * csqr);
        double er, ei;
        cexp(ztar, ztai, er, ei);
        cmul(*air, *aii, er, ei, *air, *aii);
        return;
    }
    double fnu = (1.0 + fid) / 3.0;
    AiryRange r;
    if (airy_range(az, r, ierr))
        return;
    double csqr, csqi, ztar, ztai;
    airy_zeta(zr, zi, csqr, csqi, ztar, ztai);
    int iflag = 0;
    double sfac = 1.0;
    double aa = ztar;
    double cyr[1], cyi[1];
    int one = 1;
    if (aa >= 0 && zr > 0) {
        if (*kode != 2 && aa >= r.p.alim) {
            // Near underflow: carried scaled by 1/tol, or zero.
            aa = -aa - 0.25 * r.alaz;
            iflag = 2;
            sfac = 1.0 / tol;
            if (aa < -r.p.elim) {
                *nz = 1;
                *air = 0;
                *aii = 0;
                return;
            }
        }
        int nw;
        ZBKNU(&ztar, &ztai, &fnu, kode, &one, cyr, cyi, &nw, &r.p.tol, &r.p.elim, &r.p.alim);
        if (nw < 0) {
            *ierr = nw == -1 ? 2 : 5;
            return;
        }
        *nz = nw;
    } else {
        if (*kode != 2 && aa <= -r.p.alim) {
            aa = -aa + 0.25 * r.alaz;
            iflag = 1;
            sfac = tol;
            if (aa > r.p.elim) {
                *nz = 0;
                *ierr = 2;
                return;
            }
        }
        int mr = zi < 0 ? -1 : 1;
        int nn;
        ZACAI(&ztar, &ztai, &fnu, kode, &mr, &one, cyr, cyi, &nn, &r.p.rl, &r.p.tol, &r.p.elim, &r.p.alim);
        if (nn < 0) {
            *nz = 0;
            *ierr = nn == -1 ? 2 : 5;
            return;
        }
        *nz += nn;
    }
    double s1r = cyr[0] * coef, s1i = cyi[0] * coef;
    if (iflag != 0) {
        s1r *= sfac;
        s1i *= sfac;
    }
    double str, sti;
    if (*id == 0) {
        cmul(csqr, csqi, s1r, s1i, str, sti);
    } else {
        str = -(s1r * zr - s1i * zi);
        sti = -(s1r * zi + s1i * zr);
    }
    *air = str / sfac;
    *aii = sti / sfac;
}

void ZBIRY(const double* zr_, const double* zi_, const int* id, const int* kode, double* bir, double* bii,
           int* ierr) noexcept
{
    const double c1 = 0.6149266274460007, c2 = 0.4482883573538264, coef = 0.5773502691896257;
    *ierr = 0;
    if (*id < 0 || *id > 1 || *kode < 1 || *kode > 2) {
        *ierr = 1;
        return;
    }
    const double zr = *zr_, zi = *zi_;
    double az = cabs(zr, zi);
    double tol = std::fmax(machine_double(4), 1.0e-18);
    double fid = *id;
    if (!(az > 1.0)) {
        if (az < tol) {
            *bir = c1 * (1.0 - fid) + fid * c2;
            *bii = 0;
            return;
        }
        double s1r, s1i, s2r, s2i;
        airy_series(zr, zi, az, fid, tol, s1r, s1i, s2r, s2i);
        if (*id == 0) {
            *bir = c1 * s1r + c2 * (zr * s2r - zi * s2i);
            *bii = c1 * s1i + c2 * (zr * s2i + zi * s2r);
        } else {
            *bir = s2r * c2;
            *bii = s2i * c2;
            if (az > tol) {
                double cc = c1 / (1.0 + fid);
                double str = zr * s1r - zi * s1i, sti = zr * s1i + zi * s1r;
                *bir += cc * (str * zr - sti * zi);
                *bii += cc * (str * zi + sti * zr);
            }
        }
        if (*kode == 1)
            return;
        double csqr, csqi;
        csqrt(zr, zi, csqr, csqi);
        double ztar = tth * (zr * csqr - zi * csqi);
        double aa = -std::fabs(ztar);
        double e = std::exp(aa);
        *bir *= e;
        *bii *= e;
        return;
    }
    double fnu = (1.0 + fid) / 3.0;
    AiryRange r;
    if (airy_range(az, r, ierr))
        return;
    double csqr, csqi, ztar, ztai;
    airy_zeta(zr, zi, csqr, csqi, ztar, ztai);
    double sfac = 1.0;
    double aa = ztar;
    if (*kode != 2) {
        double bb = std::fabs(aa);
        if (bb >= r.p.alim) {
            bb += 0.25 * r.alaz;
            sfac = tol;
            if (bb > r.p.elim) {
                *ierr = 2;
                return;
            }
        }
    }
    double fmr = 0;
    if (!(aa >= 0 && zr > 0)) {
        fmr = pi;
        if (zi < 0)
            fmr = -pi;
        ztar = -ztar;
        ztai = -ztai;
    }
    // I(fnu, zeta), continued by exp(i fmr fnu) where zeta was reflected.
    double cyr[2], cyi[2];
    int one = 1, two = 2, nz;
    ZBINU(&ztar, &ztai, &fnu, kode, &one, cyr, cyi, &nz, &r.p.rl, &r.p.fnul, &r.p.tol, &r.p.elim, &r.p.alim);
    if (nz < 0) {
        *ierr = nz == -1 ? 2 : 5;
        return;
    }
    aa = fmr * fnu;
    double z3r = sfac;
    double str = std::cos(aa), sti = std::sin(aa);
    double s1r = (str * cyr[0] - sti * cyi[0]) * z3r;
    double s1i = (str * cyi[0] + sti * cyr[0]) * z3r;
    fnu = (2.0 - fid) / 3.0;
    ZBINU(&ztar, &ztai, &fnu, kode, &two, cyr, cyi, &nz, &r.p.rl, &r.p.fnul, &r.p.tol, &r.p.elim, &r.p.alim);
    if (nz < 0) {
        *ierr = nz == -1 ? 2 : 5;
        return;
    }
    cyr[0] *= z3r;
    cyi[0] *= z3r;
    cyr[1] *= z3r;
    cyi[1] *= z3r;
    // One backward step gives the order -fnu.
    cdiv(cyr[0], cyi[0], ztar, ztai, str, sti);
    double s2r = (fnu + fnu) * str + cyr[1];
    double s2i = (fnu + fnu) * sti + cyi[1];
    aa = fmr * (fnu - 1.0);
    str = std::cos(aa);
    sti = std::sin(aa);
    s1r = coef * (s1r + s2r * str - s2i * sti);
    s1i = coef * (s1i + s2r * sti + s2i * str);
    if (*id == 0) {
        str = csqr * s1r - csqi * s1i;
        s1i = csqr * s1i + csqi * s1r;
        s1r = str;
    } else {
        str = zr * s1r - zi * s1i;
        s1i = zr * s1i + zi * s1r;
        s1r = str;
    }
    *bir = s1r / sfac;
    *bii = s1i / sfac;
}

} // namespace amos
