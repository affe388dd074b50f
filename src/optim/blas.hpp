// Prototypes of the BLAS level-1 routines the optimisation kernels call
// (Fortran calling convention: every argument by reference).
#pragma once

extern "C" {
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
double dnrm2_(const int* n, const double* x, const int* incx);
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
void daxpy_(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy);
void drotg_(double* a, double* b, double* c, double* s);
void drot_(const int* n, double* x, const int* incx, double* y, const int* incy, const double* c, const double* s);
}
