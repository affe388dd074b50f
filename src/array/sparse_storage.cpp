// Sparse storage views and conversions: the full form of a sparse value and
// the compressed-column arrays (Ir, Jc) that sparse kernels and plug-ins read.
#include "array/sparse_storage.hpp"
#include "value/report.hpp"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int* heap_ints(std::size_t n)
{
    int* p = static_cast<int*>(std::malloc(n * sizeof(int)));
    if (!p)
        error("Out of memory!");
    return p;
}

} // namespace

Mm full(const Mm& s)
{
    if (!s.issparse())
        return s;
    const std::int64_t count = std::int64_t{s.rows()} * s.cols();
    if (count >= 100000000) {
        error("full: matrix too large");
        return x_M;
    }
    const bool complex = s.isc();
    Mm out(complex, 0, 0, s.getndims(), s.getdims(), qv_double);
    if (out.size() != count)
        return x_M;  // allocation failed under a returning error hook
    double* re = out.addr();
    double* im = out.addi();
    std::memset(re, 0, sizeof(double) * count);
    if (im)
        std::memset(im, 0, sizeof(double) * count);
    const double* sre = s.addr();
    const double* sim = s.addi();
    const int* index = s.getindex();
    for (int k = 0, n = s.getnnz(); k < n; ++k) {
        const int at = index[k];
        if (at < 0 || at >= count)
            continue;  // never write outside the value, whatever the index list holds
        re[at] = sre[k];
        if (im)
            im[at] = sim ? sim[k] : 0;
    }
    out.setlogical(s.islogical());
    return out;
}

int* build_jc(int cols, int numel, int nnz, const int* index, int bounds[4])
{
    if (cols < 0)
        cols = 0;
    int* jc = heap_ints(std::size_t(cols) + 2);
    if (!jc)
        return nullptr;
    bounds[0] = INT_MAX;
    bounds[1] = -1;
    bounds[2] = INT_MAX;
    bounds[3] = -1;
    jc[cols + 1] = -1;
    const int rows = cols > 0 ? numel / cols : 0;
    if (cols == 0 || nnz <= 0 || rows <= 0) {
        for (int c = 0; c <= cols; ++c)
            jc[c] = 0;
        return jc;
    }
    for (int c = 0; c <= cols; ++c)
        jc[c] = -1;
    jc[cols] = nnz;
    bounds[0] = bounds[1] = index[0] % rows;
    bounds[2] = bounds[3] = index[0] / rows;
    // Walking backwards leaves the first entry of each column in jc.
    for (int e = nnz - 1; e >= 0; --e) {
        const int c = index[e] / rows;
        const int r = index[e] - c * rows;
        if (r < bounds[0])
            bounds[0] = r;
        else if (r > bounds[1])
            bounds[1] = r;
        if (c < bounds[2])
            bounds[2] = c;
        else if (c > bounds[3])
            bounds[3] = c;
        jc[c] = e;
    }
    for (int c = cols - 1; c >= 0; --c)
        if (jc[c] == -1)
            jc[c] = jc[c + 1];
    return jc;
}

int* getJc(const Mm& s)
{
    if (error_sparse(s, "getJc"))
        return nullptr;
    int bounds[4];
    return build_jc(s.cols(), s.rows() * s.cols(), s.getnnz(), s.getindex(), bounds);
}

int* getIr(const Mm& s)
{
    if (error_sparse(s, "getIr"))
        return nullptr;
    if (s.cols() <= 0) {
        int* ir = heap_ints(1);
        if (ir)
            ir[0] = 0;
        return ir;
    }
    const int rows = s.rows();
    const int n = s.getnnz();
    int* ir = heap_ints(std::size_t(n) + 1);
    if (!ir)
        return nullptr;
    const int* index = s.getindex();
    for (int k = 0; k < n; ++k)
        ir[k] = rows > 0 ? index[k] % rows : 0;
    ir[n] = 0;
    return ir;
}

void freeIrJc(int* ir, int* jc)
{
    std::free(ir);
    std::free(jc);
}
