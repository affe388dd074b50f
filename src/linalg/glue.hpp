// Numeric glue shared by the numerical subsystems: the split real and
// imaginary matrix product.
#pragma once

// P = alpha*A*B + beta*P on column-major arrays with real and imaginary
// parts apart; a null imaginary pointer means that operand is real, and Pi
// is written exactly when it is given.
void split_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* Ar,
                const double* Ai, int lda, const double* Br, const double* Bi, int ldb, double beta, double* Pr,
                double* Pi, int ldp);
