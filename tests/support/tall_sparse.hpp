// A tall sparse matrix of two entries a row, the least-squares problem that
// the left-division tests and benchmark share. Header only, with no test
// framework: the benchmark includes it.
#pragma once

#include <velkor.h>

#include <vector>

namespace test {

// Row r (0-based) holds w1[r] in column c1[r] = r mod n and w2[r] in
// another column c2[r], spread over the columns; every column has entries.
struct TallSparse {
    std::vector<int> c1, c2;
    std::vector<double> w1, w2;
    Mm a;  // m by n
};

inline TallSparse tall_sparse(int m, int n)
{
    TallSparse t{std::vector<int>(m), std::vector<int>(m), std::vector<double>(m), std::vector<double>(m), Mm()};
    Mm i(0, 0, 0, 2 * m, 1, qv_double), j(0, 0, 0, 2 * m, 1, qv_double), v(0, 0, 0, 2 * m, 1, qv_double);
    for (int r = 0; r < m; ++r) {
        t.c1[r] = r % n;
        t.c2[r] = (7 * r + 3 + r / n) % n;
        if (t.c2[r] == t.c1[r])
            t.c2[r] = (t.c2[r] + 1) % n;
        t.w1[r] = 1 + r % 5;
        t.w2[r] = -(1 + r % 3) / 2.0;
        i.addr()[2 * r] = i.addr()[2 * r + 1] = r + 1;
        j.addr()[2 * r] = t.c1[r] + 1;
        j.addr()[2 * r + 1] = t.c2[r] + 1;
        v.addr()[2 * r] = t.w1[r];
        v.addr()[2 * r + 1] = t.w2[r];
    }
    t.a = sparse(i, j, v, Mm(double(m)), Mm(double(n)));
    return t;
}

} // namespace test
