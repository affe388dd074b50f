// The Bessel drivers of the complex package: argument checks, the machine
// parameters, the choice between the right-half-plane kernels, the uniform
// expansions and the continuation, and the rotations that give H, J and Y
// from K and I.
#include "bessel/amos_common.hpp"

namespace amos {

using namespace detail;

void parameters(Parameters* p) noexcept
{
    p->tol = std::fmax(machine_double(4), 1.0e-18);
    double r1m5 = machine_double(5);
    int k = int_min(int_abs(machine_int(15)), int_abs(machine_int(16)));
    p->elim = 2.303 * (k * r1m5 - 3.0);
    double aa = r1m5 * (machine_int(14) - 1);
    p->dig = std::fmin(aa, 18.0);
    aa *= 2.303;
    p->alim = p->elim + std::fmax(-aa, -41.45);
    p->fnul = 10.0 + 6.0 * (p->dig - 3.0);
    p->rl = 1.2 * p->dig + 3.0;
    p->magnitude = std::fmin(0.5 / p->tol, 0.5 * machine_int(9));
    p->significance = std::sqrt(p->magnitude);
    p->ufl = machine_double(1) * 1.0e3;
    p->ascle = p->ufl / p->tol;
}

namespace {

// IERR 4 above the magnitude limit, 3 above the significance limit.
int size_check(const Parameters& p, double az, double fn, int* ierr) noexcept
{
    if (az > p.magnitude || fn > p.magnitude) {
        *ierr = 4;
        return 1;
    }
    if (az > p.significance || fn > p.significance)
        *ierr = 3;
    return 0;
}

// y times a unit rotation, rescaled around the underflow threshold so that
// the product keeps its digits.
inline void rotate_scaled(double& yr, double& yi, double rr, double ri, double ascle, double tol) noexcept
{
    double aa = yr, bb = yi, atol = 1.0;
    if (std::fmax(std::fabs(aa), std::fabs(bb)) <= ascle) {
        aa /= tol;
        bb /= tol;
        atol = tol;
    }
    double str = aa * rr - bb * ri;
    double sti = aa * ri + bb * rr;
    yr = str * atol;
    yi = sti * atol;
}

} // namespace

void ZBESH(const double* zr, const double* zi, const double* fnu, const int* kode, const int* m, const int* n,
           double* cyr, double* cyi, int* nz, int* ierr) noexcept
{
    *ierr = 0;
    *nz = 0;
    if ((*zr == 0 && *zi == 0) || !(*fnu >= 0) || *kode < 1 || *kode > 2 || *m < 1 || *m > 2 || *n < 1) {
        *ierr = 1;
        return;
    }
    Parameters p;
    parameters(&p);
    int nn = *n;
    double fn = *fnu + (nn - 1);
    int mm = 3 - *m - *m;
    double fmm = mm;
    double znr = fmm * *zi, zni = -fmm * *zr;
    double az = cabs(*zr, *zi);
    if (size_check(p, az, fn, ierr))
        return;
    if (az < p.ufl) {
        *nz = 0;
        *ierr = 2;
        return;
    }
    int nw = 0;
    bool overflow = false;
    if (*fnu > p.fnul) {
        // Uniform asymptotic expansion for large orders.
        int mr = 0;
        if (!(znr >= 0 && !(znr == 0 && zni < 0 && *m == 2))) {
            mr = -mm;
            if (znr == 0 && zni < 0) {
                znr = -znr;
                zni = -zni;
            }
        }
        ZBUNK(&znr, &zni, fnu, kode, &mr, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
        if (nw < 0) {
            *nz = 0;
            *ierr = nw == -1 ? 2 : 5;
            return;
        }
        *nz += nw;
    } else {
        if (fn > 1.0) {
            if (fn > 2.0) {
                int ikflg = 2;
                ZUOIK(&znr, &zni, fnu, kode, &ikflg, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
                if (nw < 0) {
                    overflow = true;
                } else {
                    *nz += nw;
                    nn -= nw;
                    if (nn == 0) {
                        if (znr < 0)
                            overflow = true;
                        else
                            return;
                    }
                }
            } else if (az <= p.tol) {
                double arg = 0.5 * az;
                double aln = -fn * std::log(arg);
                if (aln > p.elim)
                    overflow = true;
            }
        }
        if (overflow) {
            *nz = 0;
            *ierr = 2;
            return;
        }
        if (znr < 0 || (znr == 0 && zni < 0 && *m == 2)) {
            // Left half plane: analytic continuation.
            int mr = -mm;
            ZACON(&znr, &zni, fnu, kode, &mr, &nn, cyr, cyi, &nw, &p.rl, &p.fnul, &p.tol, &p.elim, &p.alim);
        } else {
            ZBKNU(&znr, &zni, fnu, kode, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
        }
        if (nw < 0) {
            *nz = 0;
            *ierr = nw == -1 ? 2 : 5;
            return;
        }
        *nz = nw;
    }
    // H(m, fnu, z) = -fmm (i/hpi) exp(-fmm hpi fnu i) K(fnu, zn), the factor
    // started from the fractional part of fnu/2 and advanced by -fmm i.
    double sgn = sign_transfer(hpi, -fmm);
    int inu = int_part(*fnu);
    int inuh = inu / 2;
    int ir = inu - 2 * inuh;
    double arg = (*fnu - (inu - ir)) * sgn;
    double rhpi = 1.0 / sgn;
    double csgni = rhpi * std::cos(arg);
    double csgnr = -rhpi * std::sin(arg);
    if (inuh % 2 != 0) {
        csgnr = -csgnr;
        csgni = -csgni;
    }
    double zti = -fmm;
    for (int i = 1; i <= nn; ++i) {
        rotate_scaled(cyr[i - 1], cyi[i - 1], csgnr, csgni, p.ascle, p.tol);
        double str = -csgni * zti;
        csgni = csgnr * zti;
        csgnr = str;
    }
}

void ZBESI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept
{
    *ierr = 0;
    *nz = 0;
    if (!(*fnu >= 0) || *kode < 1 || *kode > 2 || *n < 1) {
        *ierr = 1;
        return;
    }
    Parameters p;
    parameters(&p);
    double az = cabs(*zr, *zi);
    double fn = *fnu + (*n - 1);
    if (size_check(p, az, fn, ierr))
        return;
    double znr = *zr, zni = *zi;
    double csgnr = 1.0, csgni = 0.0;
    if (*zr < 0) {
        znr = -*zr;
        zni = -*zi;
        // exp(+-i pi fnu) from the fractional part of the order.
        int inu = int_part(*fnu);
        double arg = (*fnu - inu) * pi;
        if (*zi < 0)
            arg = -arg;
        csgnr = std::cos(arg);
        csgni = std::sin(arg);
        if (inu % 2 != 0) {
            csgnr = -csgnr;
            csgni = -csgni;
        }
    }
    ZBINU(&znr, &zni, fnu, kode, n, cyr, cyi, nz, &p.rl, &p.fnul, &p.tol, &p.elim, &p.alim);
    if (*nz < 0) {
        *ierr = *nz == -2 ? 5 : 2;
        *nz = 0;
        return;
    }
    if (*zr >= 0)
        return;
    // Continuation to the left half plane on the members that did not
    // underflow.
    int nn = *n - *nz;
    for (int i = 1; i <= nn; ++i) {
        rotate_scaled(cyr[i - 1], cyi[i - 1], csgnr, csgni, p.ascle, p.tol);
        csgnr = -csgnr;
        csgni = -csgni;
    }
}

void ZBESJ(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept
{
    *ierr = 0;
    *nz = 0;
    if (!(*fnu >= 0) || *kode < 1 || *kode > 2 || *n < 1) {
        *ierr = 1;
        return;
    }
    Parameters p;
    parameters(&p);
    double az = cabs(*zr, *zi);
    double fn = *fnu + (*n - 1);
    if (size_check(p, az, fn, ierr))
        return;
    // J(fnu, z) = exp(i fnu hpi) I(fnu, -i z) for Im z >= 0 and
    // exp(-i fnu hpi) I(fnu, i z) for Im z < 0.
    double cii = 1.0;
    int inu = int_part(*fnu);
    int inuh = inu / 2;
    int ir = inu - 2 * inuh;
    double arg = (*fnu - (inu - ir)) * hpi;
    double csgnr = std::cos(arg), csgni = std::sin(arg);
    if (inuh % 2 != 0) {
        csgnr = -csgnr;
        csgni = -csgni;
    }
    double znr = *zi, zni = -*zr;
    if (*zi < 0) {
        znr = -znr;
        zni = -zni;
        csgni = -csgni;
        cii = -cii;
    }
    ZBINU(&znr, &zni, fnu, kode, n, cyr, cyi, nz, &p.rl, &p.fnul, &p.tol, &p.elim, &p.alim);
    if (*nz < 0) {
        *ierr = *nz == -2 ? 5 : 2;
        *nz = 0;
        return;
    }
    int nl = *n - *nz;
    for (int i = 1; i <= nl; ++i) {
        rotate_scaled(cyr[i - 1], cyi[i - 1], csgnr, csgni, p.ascle, p.tol);
        double str = -csgni * cii;
        csgni = csgnr * cii;
        csgnr = str;
    }
}

void ZBESK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept
{
    *ierr = 0;
    *nz = 0;
    if ((*zr == 0 && *zi == 0) || !(*fnu >= 0) || *kode < 1 || *kode > 2 || *n < 1) {
        *ierr = 1;
        return;
    }
    Parameters p;
    parameters(&p);
    int nn = *n;
    double az = cabs(*zr, *zi);
    double fn = *fnu + (nn - 1);
    if (size_check(p, az, fn, ierr))
        return;
    if (az < p.ufl) {
        *ierr = 2;
        return;
    }
    int nw = 0;
    int mr = *zi < 0 ? -1 : 1;
    if (*fnu > p.fnul) {
        int mrr = *zr >= 0 ? 0 : mr;
        ZBUNK(zr, zi, fnu, kode, &mrr, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
        if (nw < 0) {
            *nz = 0;
            *ierr = nw == -1 ? 2 : 5;
            return;
        }
        *nz += nw;
        return;
    }
    if (fn > 1.0) {
        bool overflow = false;
        if (fn > 2.0) {
            int ikflg = 2;
            ZUOIK(zr, zi, fnu, kode, &ikflg, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
            if (nw < 0) {
                overflow = true;
            } else {
                *nz += nw;
                nn -= nw;
                if (nn == 0) {
                    if (*zr < 0)
                        overflow = true;
                    else
                        return;
                }
            }
        } else if (az <= p.tol) {
            double aln = -fn * std::log(0.5 * az);
            overflow = aln > p.elim;
        }
        if (overflow) {
            *nz = 0;
            *ierr = 2;
            return;
        }
    }
    if (*zr >= 0) {
        ZBKNU(zr, zi, fnu, kode, &nn, cyr, cyi, &nw, &p.tol, &p.elim, &p.alim);
    } else {
        // Left half plane: the continuation; an underflowed member there
        // means its I partner overflows.
        if (*nz != 0) {
            *nz = 0;
            *ierr = 2;
            return;
        }
        ZACON(zr, zi, fnu, kode, &mr, &nn, cyr, cyi, &nw, &p.rl, &p.fnul, &p.tol, &p.elim, &p.alim);
    }
    if (nw < 0) {
        *nz = 0;
        *ierr = nw == -1 ? 2 : 5;
        return;
    }
    *nz = nw;
}

void ZBESY(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, double* cwrkr, double* cwrki, int* ierr) noexcept
{
    *ierr = 0;
    *nz = 0;
    if ((*zr == 0 && *zi == 0) || !(*fnu >= 0) || *kode < 1 || *kode > 2 || *n < 1) {
        *ierr = 1;
        return;
    }
    int one = 1, two = 2, nz1, nz2;
    ZBESH(zr, zi, fnu, kode, &one, n, cyr, cyi, &nz1, ierr);
    if (*ierr != 0 && *ierr != 3) {
        *nz = 0;
        return;
    }
    ZBESH(zr, zi, fnu, kode, &two, n, cwrkr, cwrki, &nz2, ierr);
    if (*ierr != 0 && *ierr != 3) {
        *nz = 0;
        return;
    }
    *nz = int_min(nz1, nz2);
    if (*kode != 2) {
        // Y = (i/2)(H2 - H1).
        for (int i = 0; i < *n; ++i) {
            double str = cwrkr[i] - cyr[i];
            double sti = cwrki[i] - cyi[i];
            cyr[i] = -sti * 0.5;
            cyi[i] = str * 0.5;
        }
        return;
    }
    // Scaled: combine the scaled Hankel values with the factors that bring
    // both to exp(-|Im z|).
    Parameters p;
    parameters(&p);
    double exr = std::cos(*zr), exi = std::sin(*zr);
    double tay = std::fabs(*zi + *zi);
    double ey = tay < p.elim ? std::exp(-tay) : 0.0;
    double c1r, c1i, c2r, c2i;
    if (*zi < 0) {
        c1r = exr;
        c1i = exi;
        c2r = exr * ey;
        c2i = -exi * ey;
    } else {
        c1r = exr * ey;
        c1i = exi * ey;
        c2r = exr;
        c2i = -exi;
    }
    *nz = 0;
    for (int i = 0; i < *n; ++i) {
        double aa = cwrkr[i], bb = cwrki[i], atol = 1.0;
        if (std::fmax(std::fabs(aa), std::fabs(bb)) <= p.ascle) {
            aa /= p.tol;
            bb /= p.tol;
            atol = p.tol;
        }
        double str = (aa * c2r - bb * c2i) * atol;
        double sti = (aa * c2i + bb * c2r) * atol;
        aa = cyr[i];
        bb = cyi[i];
        atol = 1.0;
        if (std::fmax(std::fabs(aa), std::fabs(bb)) <= p.ascle) {
            aa /= p.tol;
            bb /= p.tol;
            atol = p.tol;
        }
        str -= (aa * c1r - bb * c1i) * atol;
        sti -= (aa * c1i + bb * c1r) * atol;
        cyr[i] = -sti * 0.5;
        cyi[i] = str * 0.5;
        if (str == 0 && sti == 0 && ey == 0)
            *nz += 1;
    }
}

} // namespace amos
