// What a struct array costs a record, beside a cell holding the same field
// values, and what stays resident once it is freed. Each measure runs in a
// child process of its own, so that memory one leaves behind (or frees for
// reuse) cannot colour the next.
#include "bench_util.hpp"
#include "resident.hpp"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bench::library_started started;

constexpr int records = 100000;

using test::resident_bytes;

struct Footprint {
    double per_record = 0;   // resident bytes gained while the value is held, per record
    double after_free = 0;   // resident bytes above the start once it is freed
};

// Runs build() in a child: the resident growth while its value lives, and
// what is left once it is gone.
template <class Build>
Footprint measure(Build build)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Footprint f;
        const long start = resident_bytes();
        {
            Mm value = build();
            f.per_record = double(resident_bytes() - start) / records;
            benchmark::DoNotOptimize(value);
        }
        f.after_free = double(resident_bytes() - start);
        (void)!write(fds[1], &f, sizeof f);
        _exit(0);
    }
    close(fds[1]);
    Footprint f;
    if (read(fds[0], &f, sizeof f) != sizeof f)
        f = {};
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return f;
}

// s(k).a = k; s(k).b = 2k, record by record, as a program fills one.
Mm struct_by_fields()
{
    Mm s;
    for (int k = 1; k <= records; ++k) {
        s(Mm(double(k))).member("a") = Mm(double(k));
        s(Mm(double(k))).member("b") = Mm(2.0 * k);
    }
    return s;
}

// The same numbers in a 2 x records cell.
Mm cell_of_values()
{
    Mm c(0, 0, 0, 2, records, qv_cell);
    for (int k = 1; k <= records; ++k) {
        c.mr(1, k) = Mm(double(k));
        c.mr(2, k) = Mm(2.0 * k);
    }
    return c;
}

// c{end + 1} = v for every value: the cell grown as a struct array is.
Mm cell_grown()
{
    Mm c;
    for (int k = 1; k <= records; ++k) {
        c.br(Mm(2.0 * k - 1)) = Mm(double(k));
        c.br(Mm(2.0 * k)) = Mm(2.0 * k);
    }
    return c;
}

void StructRecordFootprint(benchmark::State& state)
{
    Footprint s, c, g;
    for (auto _ : state) {
        s = measure(struct_by_fields);
        c = measure(cell_of_values);
        g = measure(cell_grown);
    }
    state.counters["bytes_per_record"] = s.per_record;
    state.counters["cell_bytes_per_record"] = c.per_record;
    state.counters["grown_cell_bytes_per_record"] = g.per_record;
    state.counters["x_cell"] = c.per_record > 0 ? s.per_record / c.per_record : 0;
    state.counters["MB_resident_after_free"] = s.after_free / 1e6;
    state.counters["cell_MB_resident_after_free"] = c.after_free / 1e6;
    state.SetLabel("baseline: the same values in a 2 x n cell");
}
BENCHMARK(StructRecordFootprint)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
