// Dates: datenum and datevec of a million dates beside hand loops of the
// same calendar formulas.
#include "bench_util.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

double hand_datenum(double y, double mo, double d)
{
    y += std::floor((mo - 1) / 12);
    mo = std::fmod(mo - 1, 12) + 1 - 3;
    if (mo < 0) {
        mo += 12;
        y -= 1;
    }
    return std::floor(y / 4) - std::floor(y / 100) + std::floor(y / 400) - std::floor(y / 4000) +
           std::floor((306 * mo + 5) / 10) + 365 * y + d + 60;
}

void Datenum(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm days(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        days.addr()[k] = 1 + k % 28;
    std::vector<double> out(static_cast<std::size_t>(n));
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = datenum(Mm(2000.0), Mm(3.0), days);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            for (int k = 0; k < n; ++k)
                out[static_cast<std::size_t>(k)] = hand_datenum(2000, 3, days.addr()[k]);
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("baseline: a hand loop of the formula");
}
BENCHMARK(Datenum)->Arg(1000000)->Unit(benchmark::kMillisecond);

void Datevec(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm d(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        d.addr()[k] = 730486 + k * 0.37;
    std::vector<double> years(static_cast<std::size_t>(n));
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = datevec(d);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            for (int k = 0; k < n; ++k) {
                const double day = std::floor(d.addr()[k]) - 60;
                double y = std::floor((4000 * day + 1608) / 1460969);
                while (day - (365 * y + std::floor(y / 4) - std::floor(y / 100) + std::floor(y / 400)) <= 0)
                    y -= 1;
                years[static_cast<std::size_t>(k)] = y;
            }
            benchmark::DoNotOptimize(years.data());
        });
    state.SetLabel("baseline: a hand loop of the year formula");
}
BENCHMARK(Datevec)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
