// Collecting results in loops the way programs do: vectors grown from
// empty one element at a time, rows appended by brackets, columns and
// matrices filled past their ends, cells and struct arrays built field by
// field and record by record; then the collected values are summed, sorted
// and searched.
// Expected values are exact arithmetic or plain C loops.
#include "check.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

using program::held;
using program::near;
using program::same;

namespace {

bool is_prime(int p)
{
    for (int d = 2; d * d <= p; ++d)
        if (p % d == 0)
            return false;
    return p >= 2;
}

// A small generator of the program's own, so the data are known to C too.
double next_sample(std::uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / double(1 << 24);
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));

    // Squares, one element at a time from an empty value.
    Mm squares;
    for (int k = 1; k <= 10; ++k) {
        squares(k) = k * k;
        held("squares(k) = k^2", {&squares});
    }
    near("sum of squares", sum(squares).r(), 385);
    near("mean of squares", mean(squares).r(), 38.5);
    near("isempty(squares)", isempty(squares), 0);
    near("length(squares)", length(squares), 10);
    std::vector<double> odd;
    for (int k = 1; k < 10; ++k)
        odd.push_back(2 * k + 1);
    same("diff(squares)", diff(squares), 1, 9, odd);
    Mm shifted = squares + 0.0;
    held("squares + 0", {&shifted});
    same("squares + 0", shifted, 1, 10, {1, 4, 9, 16, 25, 36, 49, 64, 81, 100});
    near("isequal(squares, (1:10).^2)", isequal(squares, power(colon(1.0, 10.0), Mm(2.0))), 1);

    // Appended at length + 1, and by a counter, as a loop that filters does.
    Mm w;
    for (int k = 1; k <= 3; ++k) {
        w(length(w) + 1) = k;
        held("w(length(w) + 1) = k", {&w});
    }
    same("w", w, 1, 3, {1, 2, 3});
    Mm primes;
    int n = 0;
    std::vector<double> c_primes;
    for (int p = 2; p < 60; ++p) {
        if (!is_prime(p))
            continue;
        primes(++n) = p;
        held("primes(++n) = p", {&primes});
        c_primes.push_back(p);
    }
    same("primes", primes, 1, int(c_primes.size()), c_primes);
    near("numel(primes)", primes.size(), 17);

    // x = [x, p]: a row grown by brackets, and a column by x = [x; p].
    Mm halves, column;
    for (int k = 1; k <= 5; ++k) {
        halves = (BR(halves), 0.5 * k);
        column = (BR(column), semi, k);
        held("halves = [halves, k/2]; column = [column; k]", {&halves, &column});
    }
    same("halves", halves, 1, 5, {0.5, 1, 1.5, 2, 2.5});
    same("column", column, 5, 1, {1, 2, 3, 4, 5});
    near("halves * column", (halves * column).r(), 27.5);

    // A matrix filled element by element past its ends: the Hilbert matrix.
    Mm H;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) {
            H(i, j) = 1.0 / (i + j - 1);
            held("H(i, j) = 1 / (i + j - 1)", {&H});
        }
    std::vector<double> hilbert;
    for (int j = 1; j <= 4; ++j)
        for (int i = 1; i <= 4; ++i)
            hilbert.push_back(1.0 / (i + j - 1));
    same("H", H, 4, 4, hilbert);
    // Columns appended one at a time, then a preallocated matrix.
    Mm J;
    for (int k = 1; k <= 3; ++k) {
        J(c_p, k) = (BR(k), semi, k * k);
        held("J(:, k) = [k; k^2]", {&J});
    }
    same("J", J, 2, 3, {1, 1, 2, 4, 3, 9});
    Mm table = zeros(3.0, 2.0);
    for (int r = 1; r <= 3; ++r)
        table(r, 2) = 10 * r;
    same("table", table, 3, 2, {0, 0, 0, 10, 20, 30});

    // Samples collected in a loop, then sorted and searched.
    std::uint32_t state = 12345;
    Mm samples;
    std::vector<double> c_samples;
    for (int k = 1; k <= 200; ++k) {
        const double v = next_sample(state);
        samples(samples.size() + 1) = v;  // x(end + 1) = v
        c_samples.push_back(v);
    }
    held("samples collected", {&samples});
    std::vector<double> c_sorted = c_samples;
    std::sort(c_sorted.begin(), c_sorted.end());
    Mm sorted, order;
    sort(samples, i_o, sorted, order);
    held("[sorted, order] = sort(samples)", {&sorted, &order});
    same("sort(samples)", sorted, 1, 200, c_sorted);
    std::vector<double> c_large;
    for (int k = 0; k < 200; ++k)
        if (c_samples[k] > 0.9)
            c_large.push_back(k + 1);
    Mm large = find(samples > 0.9);
    held("find(samples > 0.9)", {&large});
    same("find(samples > 0.9)", large, 1, int(c_large.size()), c_large);
    double c_max = *std::max_element(c_samples.begin(), c_samples.end());
    near("max(samples)", max(samples).r(), c_max);
    samples(samples < 0.5) = x_M;
    held("samples(samples < 0.5) = []", {&samples});
    near("numel after deletion", samples.size(),
         double(std::count_if(c_samples.begin(), c_samples.end(), [](double v) { return v >= 0.5; })));

    // Cells and a struct array built one element and one field at a time.
    const char* names[] = {"ada", "grace", "alan", "edsger"};
    const double born[] = {1815, 1906, 1912, 1930};
    Mm people, labels;
    for (int k = 1; k <= 4; ++k) {
        labels.br(k) = TM(names[k - 1]);
        people(k).member("name") = TM(names[k - 1]);
        people(k).member("born") = born[k - 1];
        held("people(k).name = ...; labels{k} = ...", {&people, &labels});
    }
    Mm years;
    for (int k = 1; k <= 4; ++k)
        years(k) = Mm(people(k).member("born"));
    held("years(k) = people(k).born", {&years});
    same("years", years, 1, 4, {1815, 1906, 1912, 1930});
    Mm youngest, where;
    max(years, i_o, youngest, where);
    near("youngest", youngest.r(), 1930);
    char name[16];
    Mstr(Mm(labels.br(where)), name, sizeof name);
    program::record(std::string(name) == "edsger", "labels{where}");
    near("numel(people)", people.size(), 4);

    // Whole records stored one at a time, as compiled code stores
    // team(k) = s; the last record brings one field more, which every
    // element of the array takes on, empty where it was not given.
    Mm team;
    for (int k = 1; k <= 4; ++k) {
        Mm record;
        record.member("name") = TM(names[k - 1]);
        record.member("born") = born[k - 1];
        if (k == 4)
            record.member("award") = 1972.0;
        team.vwcopy1(record, Mm(double(k)));
        held("team(k) = record", {&team, &record});
    }
    near("numel(team)", team.size(), 4);
    near("fields of team", team.getnfields(), 3);
    for (int k = 1; k <= 4; ++k)
        near("team(k).born", Mm(team(k).member("born")).r(), born[k - 1]);
    program::record(isempty(Mm(team(1).member("award"))), "team(1).award is empty");
    near("team(4).award", Mm(team(4).member("award")).r(), 1972);

    exitM();
    return program::finish("collect_and_sort");
}
