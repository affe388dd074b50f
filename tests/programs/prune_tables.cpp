// Pruning a table of measurements the way programs do: channels (columns)
// flagged bad are deleted one at a time with T(1:end, c) = [], samples
// (rows) with T(r, 1:end) = [] or a mask over them, from the last flagged
// one back, on the table itself, on a sparse copy and on a copy another
// variable still holds; then the kept channels are averaged.
// Expected values come from a plain C table pruned alongside.
#include "check.hpp"

#include <string>
#include <vector>

using program::held;
using program::near;
using program::same;

namespace {

// The C table: rows x cols, column-major.
struct Table {
    int rows, cols;
    std::vector<double> v;
    double at(int r, int c) const { return v[std::size_t(r) + std::size_t(c) * rows]; }
    void drop_column(int c)
    {
        v.erase(v.begin() + std::ptrdiff_t(c) * rows, v.begin() + std::ptrdiff_t(c + 1) * rows);
        --cols;
    }
    void drop_row(int r)
    {
        std::vector<double> w;
        for (int c = 0; c < cols; ++c)
            for (int k = 0; k < rows; ++k)
                if (k != r)
                    w.push_back(at(k, c));
        v = w;
        --rows;
    }
};

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));

    // 6 samples of 5 channels: sample r of channel c reads 10 c + r, and
    // channel 4 is dead (zeros), which a sparse copy leaves unstored.
    const int rows = 6, cols = 5;
    Table expect{rows, cols, {}};
    Mm T;
    for (int c = 1; c <= cols; ++c)
        for (int r = 1; r <= rows; ++r) {
            const double value = c == 4 ? 0 : 10.0 * c + r;
            T(Mm(double(r)), Mm(double(c))) = value;
            expect.v.push_back(value);
        }
    held("T filled", {&T});
    Mm S = sparse(T);
    const Mm before = T;

    // Channels 2 and 4 are flagged: the last one first, so the numbers of
    // those before it still hold.
    for (int c : {4, 2}) {
        T(colon(1.0, double(T.rows())), Mm(double(c))) = x_M;
        S(colon(1.0, double(S.rows())), Mm(double(c))) = x_M;
        expect.drop_column(c - 1);
        held("T(1:end, c) = []", {&T, &S, &before});
        same("T after a channel goes", T, expect.rows, expect.cols, expect.v);
        same("sparse T after a channel goes", S, expect.rows, expect.cols, expect.v);
    }
    same("the copy taken before", before, rows, cols, [&] {
        std::vector<double> v;
        for (int c = 1; c <= cols; ++c)
            for (int r = 1; r <= rows; ++r)
                v.push_back(c == 4 ? 0 : 10.0 * c + r);
        return v;
    }());

    // Sample 6 is flagged, then samples 1 and 3 by a mask over the rows.
    T(Mm(6.0), colon(1.0, double(T.cols()))) = x_M;
    S(Mm(6.0), colon(1.0, double(S.cols()))) = x_M;
    expect.drop_row(5);
    held("T(r, 1:end) = []", {&T, &S});
    same("T after a sample goes", T, expect.rows, expect.cols, expect.v);
    same("sparse T after a sample goes", S, expect.rows, expect.cols, expect.v);
    Mm flagged = zeros(Mm(double(T.rows())), Mm(1.0));
    flagged(Mm(1.0)) = 1.0;
    flagged(Mm(3.0)) = 1.0;
    flagged.setlogical(1);
    T(flagged, colon(1.0, double(T.cols()))) = x_M;
    expect.drop_row(2);
    expect.drop_row(0);
    held("T(mask, 1:end) = []", {&T, &flagged});
    same("T after the masked samples go", T, expect.rows, expect.cols, expect.v);

    // A channel named with a third index as well, as N-d code writes it.
    T(colon(1.0, double(T.rows())), Mm(2.0), Mm(1.0)) = x_M;
    expect.drop_column(1);
    held("T(1:end, c, 1) = []", {&T});
    same("T after a channel named with three indices", T, expect.rows, expect.cols, expect.v);

    // What is left: channels 1 and 5, samples 2, 4 and 5.
    std::vector<double> means;
    for (int c = 0; c < expect.cols; ++c) {
        double total = 0;
        for (int r = 0; r < expect.rows; ++r)
            total += expect.at(r, c);
        means.push_back(total / expect.rows);
    }
    same("mean of the kept channels", mean(T), 1, expect.cols, means, 1e-15);
    near("rows kept", T.rows(), 3);
    near("columns kept", T.cols(), 2);

    // Deleting every sample still empties the table, as it says.
    T(colon(1.0, double(T.rows())), colon(1.0, double(T.cols()))) = x_M;
    held("T(1:end, 1:end) = []", {&T});
    program::record(isempty(T), "every sample and channel deleted");

    exitM();
    return program::finish("prune_tables");
}
