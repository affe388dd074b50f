// Linear systems assembled the way programs assemble them: the matrix of
// a discretised second derivative filled entry by entry from an empty
// value, and the same matrix from triplets collected in a loop into a
// sparse one. Solutions are checked against the known answer (the right
// side is made from it), eigenvalues and the determinant against their
// closed forms through the C library.
#include "check.hpp"

#include <algorithm>
#include <cmath>

using program::held;
using program::near;
using program::same;

int main()
{
    initM2(4510, sizeof(Mm));
    const int n = 30;

    // A(i, j) written one entry at a time.
    Mm A;
    for (int i = 1; i <= n; ++i) {
        A(i, i) = 2;
        if (i > 1)
            A(i, i - 1) = -1;
        if (i < n)
            A(i, i + 1) = -1;
        held("A(i, :) filled", {&A});
    }
    near("rows of A", A.rows(), n);
    near("cols of A", A.cols(), n);

    // The right side from a known solution, grown with it.
    Mm truth, b;
    for (int k = 1; k <= n; ++k)
        truth(k, 1) = std::sin(0.1 * k) + k;
    held("truth(k, 1) = ...", {&truth});
    b = A * truth;
    Mm x = mldivide(A, b);
    held("x = A \\ b", {&x, &b});
    const double scale = norm(truth).r();
    near("|A \\ b - truth| / |truth|", norm(x - truth).r() / scale, 0, 1e-13);

    // Eigenvalues of the tridiagonal matrix: 2 - 2 cos(k pi / (n + 1)).
    Mm lambda = eig(A);
    held("eig(A)", {&lambda});
    std::vector<double> closed;
    for (int k = 1; k <= n; ++k)
        closed.push_back(2 - 2 * std::cos(k * M_PI / (n + 1)));
    std::sort(closed.begin(), closed.end());
    same("eig(A)", sort(lambda), n, 1, closed, 1e-13);
    near("det(A)", det(A).r(), n + 1, 1e-12);

    // The same matrix from triplets, collected into vectors that grow.
    Mm rows, cols, vals;
    int nz = 0;
    for (int i = 1; i <= n; ++i)
        for (int j = std::max(1, i - 1); j <= std::min(n, i + 1); ++j) {
            ++nz;
            rows(nz) = i;
            cols(nz) = j;
            vals(nz) = i == j ? 2.0 : -1.0;
        }
    held("triplets collected", {&rows, &cols, &vals});
    near("number of triplets", vals.size(), 3 * n - 2);
    Mm S = sparse(rows, cols, vals);
    held("S = sparse(rows, cols, vals)", {&S});
    near("nnz(S)", S.getnnz(), 3 * n - 2);
    near("S == A everywhere", isequal(full(S), A), 1);
    Mm xs = mldivide(S, b);
    held("xs = S \\ b", {&xs});
    near("|S \\ b - truth| / |truth|", norm(xs - truth).r() / scale, 0, 1e-13);

    // A second right side appended as a column: both solved at once.
    b(c_p, 2) = A * ones(double(n), 1.0);
    held("b(:, 2) = A * ones", {&b});
    Mm both = mldivide(A, b);
    near("second column solves to ones", norm(both(c_p, 2.0) - ones(double(n), 1.0)).r(), 0, 1e-13);

    exitM();
    return program::finish("assembled_systems");
}
