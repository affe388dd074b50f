// The complex Bessel and Airy package: Bessel functions of complex argument
// and non-negative real order (I, J, K, Y, H1, H2) and the Airy functions, in
// the routine division and calling convention of the published package
// (Amos, ACM TOMS 644): every argument by pointer, complex numbers as split
// real and imaginary parts, results as sequences of N orders FNU .. FNU+N-1,
// failures in IERR and underflows in NZ. Nothing here allocates or reports.
//
// Internal to the Bessel subsystem: the language functions in bessel.cpp call
// the drivers, one member at a time.
#pragma once

namespace amos {

// The machine-dependent parameters every driver derives at its start and
// passes down to the region kernels.
struct Parameters {
    double tol;        // relative accuracy, max(eps, 1e-18)
    double elim;       // exponent limit of the overflow and underflow tests
    double alim;       // exponent above which values are carried scaled
    double dig;        // decimal digits
    double fnul;       // order above which the uniform expansions are used
    double rl;         // |z| above which the large-argument expansion is used
    double magnitude;  // |z| or order above this: no computation (IERR 4)
    double significance; // above this: half the digits lost (IERR 3)
    double ufl;        // |z| below this overflows K and H
    double ascle;      // rescaling threshold near underflow
};
void parameters(Parameters* p) noexcept;

// ---- drivers ----
void ZBESH(const double* zr, const double* zi, const double* fnu, const int* kode, const int* m, const int* n,
           double* cyr, double* cyi, int* nz, int* ierr) noexcept;
void ZBESI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept;
void ZBESJ(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept;
void ZBESK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, int* ierr) noexcept;
void ZBESY(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, double* cwrkr, double* cwrki, int* ierr) noexcept;
void ZAIRY(const double* zr, const double* zi, const int* id, const int* kode, double* air, double* aii, int* nz,
           int* ierr) noexcept;
void ZBIRY(const double* zr, const double* zi, const int* id, const int* kode, double* bir, double* bii,
           int* ierr) noexcept;

// ---- I in the right half plane ----
void ZBINU(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* cyr,
           double* cyi, int* nz, const double* rl, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept;
void ZSERI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept;
void ZASYI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* rl, const double* tol, const double* elim, const double* alim) noexcept;
void ZMLRI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* tol) noexcept;
void ZRATI(const double* zr, const double* zi, const double* fnu, const int* n, double* cyr, double* cyi,
           const double* tol) noexcept;
void ZWRSK(const double* zrr, const double* zri, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, double* cwr, double* cwi, const double* tol, const double* elim,
           const double* alim) noexcept;

// ---- K, continuation and underflow tests ----
void ZBKNU(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept;
void ZKSCL(const double* zrr, const double* zri, const double* fnu, const int* n, double* yr, double* yi, int* nz,
           const double* rzr, const double* rzi, const double* ascle, const double* tol, const double* elim) noexcept;
void ZACON(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* rl, const double* fnul, const double* tol,
           const double* elim, const double* alim) noexcept;
void ZACAI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* rl, const double* tol, const double* elim,
           const double* alim) noexcept;
void ZUCHK(const double* yr, const double* yi, int* nz, const double* ascle, const double* tol) noexcept;
void ZS1S2(const double* zrr, const double* zri, double* s1r, double* s1i, double* s2r, double* s2i, int* nz,
           const double* ascle, const double* alim, int* iuf) noexcept;

// ---- uniform asymptotic expansions for large orders ----
void ZUNIK(const double* zrr, const double* zri, const double* fnu, const int* ikflg, const int* ipmtr,
           const double* tol, int* init, double* phir, double* phii, double* zeta1r, double* zeta1i,
           double* zeta2r, double* zeta2i, double* sumr, double* sumi, double* cwrkr, double* cwrki) noexcept;
void ZUNHJ(const double* zr, const double* zi, const double* fnu, const int* ipmtr, const double* tol,
           double* phir, double* phii, double* argr, double* argi, double* zeta1r, double* zeta1i, double* zeta2r,
           double* zeta2i, double* asumr, double* asumi, double* bsumr, double* bsumi) noexcept;
void ZUOIK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* ikflg, const int* n,
           double* yr, double* yi, int* nuf, const double* tol, const double* elim, const double* alim) noexcept;
void ZBUNI(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, const int* nui, int* nlast, const double* fnul, const double* tol,
           const double* elim, const double* alim) noexcept;
void ZUNI1(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, int* nlast, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept;
void ZUNI2(const double* zr, const double* zi, const double* fnu, const int* kode, const int* n, double* yr,
           double* yi, int* nz, int* nlast, const double* fnul, const double* tol, const double* elim,
           const double* alim) noexcept;
void ZBUNK(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept;
void ZUNK1(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept;
void ZUNK2(const double* zr, const double* zi, const double* fnu, const int* kode, const int* mr, const int* n,
           double* yr, double* yi, int* nz, const double* tol, const double* elim, const double* alim) noexcept;

} // namespace amos
