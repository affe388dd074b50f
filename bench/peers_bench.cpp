// The hot paths of compiled programs beside the same work in Armadillo, in
// Eigen and in a plain C++ loop over the same data. Each case reports its
// time per iteration and, as counters, its time over each peer's
// (x_armadillo, x_eigen, x_hand): below 1 the library is faster.
#include "bench_util.hpp"

#include <armadillo>
#include <Eigen/Dense>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>
#include <functional>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

bench::library_started started;

// Times each peer for the iteration count the library's body ran and
// reports the ratios.
template <class Body>
void with_peers(benchmark::State& state, Body&& body, std::initializer_list<std::pair<const char*, std::function<void()>>> peers)
{
    auto t0 = bench::clock::now();
    for (auto _ : state)
        body();
    const double ours = bench::seconds_since(t0);
    for (const auto& [name, peer] : peers) {
        const double theirs = bench::time_baseline(state.iterations(), peer);
        state.counters[std::string("x_") + name] = theirs > 0 ? ours / theirs : 0;
    }
}

std::vector<double> random_values(std::size_t n, unsigned seed = 7)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> v(n);
    for (auto& e : v)
        e = u(gen);
    return v;
}

Mm row_of(const std::vector<double>& v)
{
    Mm x(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

// ---- scalar statements ----

void ScalarMultiplyAdd(benchmark::State& state)
{
    Mm x(1.0, "x");
    const Mm a(0.999), b(0.001);
    arma::mat ax(1, 1, arma::fill::ones), aa(1, 1), ab(1, 1);
    aa(0, 0) = 0.999;
    ab(0, 0) = 0.001;
    volatile double hx = 1.0;
    with_peers(
        state,
        [&] {
            x = x * a + b;
            benchmark::DoNotOptimize(x.addr());
        },
        {{"armadillo", [&] {
              ax = ax % aa + ab;
              benchmark::DoNotOptimize(ax.memptr());
          }},
         {"hand", [&] { hx = hx * 0.999 + 0.001; }}});
}
BENCHMARK(ScalarMultiplyAdd);

void ScalarIndexRead(benchmark::State& state)
{
    const auto v = random_values(100);
    const Mm x = row_of(v);
    const arma::rowvec ax(v);
    const Mm i(37.0);
    Mm y;
    double ay = 0;
    with_peers(
        state,
        [&] {
            y = x(i);
            benchmark::DoNotOptimize(y.addr());
        },
        {{"armadillo", [&] {
              ay = ax(36);
              benchmark::DoNotOptimize(ay);
          }}});
}
BENCHMARK(ScalarIndexRead);

void ScalarIndexWrite(benchmark::State& state)
{
    const auto v = random_values(100);
    Mm x(row_of(v), "x");
    arma::rowvec ax(v);
    const Mm i(37.0), y(2.5);
    with_peers(
        state,
        [&] {
            x(i) = y;
            benchmark::DoNotOptimize(x.addr());
        },
        {{"armadillo", [&] {
              ax(36) = 2.5;
              benchmark::DoNotOptimize(ax.memptr());
          }}});
}
BENCHMARK(ScalarIndexWrite);

void ScalarCompare(benchmark::State& state)
{
    const Mm x(0.5), a(0.25);
    int taken = 0;
    volatile double hx = 0.5, ha = 0.25;
    with_peers(
        state,
        [&] {
            if (istrue(x > a))
                ++taken;
            benchmark::DoNotOptimize(taken);
        },
        {{"hand", [&] {
              if (hx > ha)
                  ++taken;
              benchmark::DoNotOptimize(taken);
          }}});
}
BENCHMARK(ScalarCompare);

void ScalarSin(benchmark::State& state)
{
    const Mm x(0.75);
    Mm y;
    volatile double hx = 0.75;
    double hy = 0;
    with_peers(
        state,
        [&] {
            y = sin(x);
            benchmark::DoNotOptimize(y.addr());
        },
        {{"libm", [&] {
              hy = std::sin(hx);
              benchmark::DoNotOptimize(hy);
          }}});
}
BENCHMARK(ScalarSin);

// ---- growth and deletion ----

// x(end+1) = v, n times from empty; the time is per append.
void AppendOneAtATime(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    with_peers(
        state,
        [&] {
            Mm x(0, 0, 0, 1, 0, qv_double);
            Mm named(x, "x");
            for (int k = 1; k <= n; ++k)
                named(Mm(double(k))) = Mm(0.5 * k);
            benchmark::DoNotOptimize(named.addr());
        },
        {{"eigen", [&] {
              Eigen::VectorXd x;
              for (int k = 0; k < n; ++k) {
                  x.conservativeResize(k + 1);
                  x(k) = 0.5 * (k + 1);
              }
              benchmark::DoNotOptimize(x.data());
          }},
         {"hand", [&] {
              std::vector<double> x;
              for (int k = 0; k < n; ++k)
                  x.push_back(0.5 * (k + 1));
              benchmark::DoNotOptimize(x.data());
          }}});
    state.counters["ns_per_append"] = benchmark::Counter(double(n) * state.iterations(),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(AppendOneAtATime)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// x(k) = [] in the middle of a vector of 10^6, repeated on the same vector
// (it shrinks by one each time), beside std::vector::erase doing the same:
// both move the tail down by one element.
void DeleteOneOfAMillion(benchmark::State& state)
{
    const auto v = random_values(1000000);
    Mm x(row_of(v), "x");
    x.deepcopy(x, qv_none);
    const Mm k(500000.0);
    std::vector<double> w = v;
    with_peers(
        state,
        [&] {
            x(k) = x_M;
            benchmark::DoNotOptimize(x.addr());
        },
        {{"erase", [&] {
              w.erase(w.begin() + 499999);
              benchmark::DoNotOptimize(w.data());
          }}});
}
BENCHMARK(DeleteOneOfAMillion)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// A new cell writes its empty elements when something first reaches them:
// made and dropped untouched, and made with one element read.
void CellMakeAndFree(benchmark::State& state)
{
    const Mm n(1000.0), first(1.0);
    const bool touched = state.range(0) != 0;
    with_peers(
        state,
        [&] {
            Mm c = cell(n, n);
            if (touched)
                benchmark::DoNotOptimize(Mm(c.br(first)).size());
            benchmark::DoNotOptimize(&c);
        },
        {{"eigen", [&] {
              std::vector<Eigen::MatrixXd> c(1000 * 1000);
              if (touched)
                  benchmark::DoNotOptimize(c[0].size());
              benchmark::DoNotOptimize(c.data());
          }}});
}
BENCHMARK(CellMakeAndFree)->ArgName("touched")->Arg(0)->Arg(1)->Iterations(40)->Unit(benchmark::kMillisecond);

// ---- element-wise kernels ----

// One element-wise operation on two rows of n: the library's operator,
// Armadillo's (written over a result of type ArmaResult kept between
// rounds, as ours is) and a hand loop into a fresh buffer, the
// memory-bandwidth floor.
template <class ArmaResult, class Ours, class Theirs, class Hand>
void elementwise_case(benchmark::State& state, Ours ours, Theirs theirs, Hand hand)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto va = random_values(n, 1), vb = random_values(n, 2);
    const Mm a = row_of(va), b = row_of(vb);
    const arma::rowvec aa(va), ab(vb);
    Mm c;
    ArmaResult ac;
    with_peers(
        state,
        [&] {
            c = ours(a, b);
            benchmark::DoNotOptimize(c.addr());
        },
        {{"armadillo", [&] {
              theirs(ac, aa, ab);
              benchmark::DoNotOptimize(ac.memptr());
          }},
         {"hand", [&] {
              std::vector<double> out(n);
              for (std::size_t k = 0; k < n; ++k)
                  out[k] = hand(va[k], vb[k]);
              benchmark::DoNotOptimize(out.data());
          }}});
}

void ElementwisePlus(benchmark::State& state)
{
    elementwise_case<arma::rowvec>(
        state, [](const Mm& a, const Mm& b) { return a + b; },
        [](arma::rowvec& out, const arma::rowvec& a, const arma::rowvec& b) { out = a + b; },
        [](double x, double y) { return x + y; });
}
BENCHMARK(ElementwisePlus)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

void ElementwiseTimes(benchmark::State& state)
{
    elementwise_case<arma::rowvec>(
        state, [](const Mm& a, const Mm& b) { return times(a, b); },
        [](arma::rowvec& out, const arma::rowvec& a, const arma::rowvec& b) { out = a % b; },
        [](double x, double y) { return x * y; });
}
BENCHMARK(ElementwiseTimes)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

void ElementwiseGreater(benchmark::State& state)
{
    elementwise_case<arma::urowvec>(
        state, [](const Mm& a, const Mm& b) { return a > b; },
        [](arma::urowvec& out, const arma::rowvec& a, const arma::rowvec& b) { out = a > b; },
        [](double x, double y) { return double(x > y); });
}
BENCHMARK(ElementwiseGreater)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// a .* b + c: the sum is written over the product, so the statement makes
// one result block, as Armadillo's expression templates do.
void TimesPlus(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto va = random_values(n, 1), vb = random_values(n, 2), vc = random_values(n, 3);
    const Mm a = row_of(va), b = row_of(vb), c = row_of(vc);
    const arma::rowvec aa(va), ab(vb), ac(vc);
    Mm d;
    arma::rowvec ad;
    with_peers(
        state,
        [&] {
            d = times(a, b) + c;
            benchmark::DoNotOptimize(d.addr());
        },
        {{"armadillo", [&] {
              ad = aa % ab + ac;
              benchmark::DoNotOptimize(ad.memptr());
          }},
         {"hand", [&] {
              std::vector<double> out(n);
              for (std::size_t k = 0; k < n; ++k)
                  out[k] = va[k] * vb[k] + vc[k];
              benchmark::DoNotOptimize(out.data());
          }}});
}
BENCHMARK(TimesPlus)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// The growth of the resident set (VmHWM over VmRSS at the start) of a child
// process that runs the statement once: the memory its temporaries take.
long peak_growth_kib(const std::function<void()>& statement)
{
    auto status_kib = [](const char* key) {
        std::ifstream in("/proc/self/status");
        std::string line;
        const std::size_t len = std::strlen(key);
        while (std::getline(in, line))
            if (line.compare(0, len, key) == 0)
                return std::atol(line.c_str() + len);
        return 0L;
    };
    int fd[2];
    if (pipe(fd) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        // Free heap pages go back to the system, so the statement's blocks
        // are counted when they are touched; the high-water mark starts
        // again from the present resident set.
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long start = status_kib("VmRSS:");
        statement();
        const long grown = status_kib("VmHWM:") - start;
        const ssize_t written = write(fd[1], &grown, sizeof grown);
        _exit(written == sizeof grown ? 0 : 1);
    }
    close(fd[1]);
    long grown = -1;
    if (read(fd[0], &grown, sizeof grown) != sizeof grown)
        grown = -1;
    close(fd[0]);
    waitpid(pid, nullptr, 0);
    return grown;
}

// d = a + b + c on 10^7: peak resident memory, operands included, over
// Armadillo's for the same statement.
void PeakMemoryOfASum(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto va = random_values(n, 1), vb = random_values(n, 2), vc = random_values(n, 3);
    const Mm a = row_of(va), b = row_of(vb), c = row_of(vc);
    const arma::rowvec aa(va), ab(vb), ac(vc);
    long ours = 0, theirs = 0;
    for (auto _ : state) {
        ours = peak_growth_kib([&] {
            Mm d = a + b + c;
            benchmark::DoNotOptimize(d.addr());
        });
        theirs = peak_growth_kib([&] {
            arma::rowvec d = aa + ab + ac;
            benchmark::DoNotOptimize(d.memptr());
        });
    }
    const double operands_kib = 3.0 * n * sizeof(double) / 1024;
    state.counters["temporaries_MiB"] = ours / 1024.0;
    state.counters["armadillo_MiB"] = theirs / 1024.0;
    state.counters["x_armadillo"] = (operands_kib + ours) / (operands_kib + theirs);
}
BENCHMARK(PeakMemoryOfASum)->Arg(10000000)->Iterations(3)->Unit(benchmark::kMillisecond);

void CumulativeSum(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto v = random_values(n);
    const Mm a = row_of(v);
    Mm c;
    with_peers(
        state,
        [&] {
            c = cumsum(a);
            benchmark::DoNotOptimize(c.addr());
        },
        {{"hand", [&] {
              std::vector<double> out(n);
              double s = 0;
              for (std::size_t k = 0; k < n; ++k)
                  out[k] = s += v[k];
              benchmark::DoNotOptimize(out.data());
          }}});
}
BENCHMARK(CumulativeSum)->Arg(100000)->Unit(benchmark::kMicrosecond);

// ---- indexing, sort ----

void RangeRead(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto v = random_values(n);
    const Mm x = row_of(v);
    const Mm range = colon(2.0, double(n) - 1);
    Mm y;
    with_peers(
        state,
        [&] {
            y = x(colon(2.0, double(n) - 1));
            benchmark::DoNotOptimize(y.addr());
        },
        {{"memcpy", [&] {
              std::vector<double> out(n - 2);
              std::memcpy(out.data(), v.data() + 1, (n - 2) * sizeof(double));
              benchmark::DoNotOptimize(out.data());
          }}});
}
BENCHMARK(RangeRead)->Arg(10000000)->Unit(benchmark::kMillisecond);

// x(mask) of 10^6 with about half selected, beside a branch-free compaction.
void MaskRead(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto v = random_values(n);
    const Mm x = row_of(v);
    const Mm mask = x > Mm(0.0);
    std::vector<unsigned char> keep(n);
    for (std::size_t k = 0; k < n; ++k)
        keep[k] = v[k] > 0;
    Mm y;
    with_peers(
        state,
        [&] {
            y = x(mask);
            benchmark::DoNotOptimize(y.addr());
        },
        {{"branch_free", [&] {
              std::size_t count = 0;
              for (std::size_t k = 0; k < n; ++k)
                  count += keep[k];
              std::vector<double> out(count + 1);
              std::size_t q = 0;
              for (std::size_t k = 0; k < n; ++k) {
                  out[q] = v[k];
                  q += keep[k];
              }
              benchmark::DoNotOptimize(out.data());
          }}});
}
BENCHMARK(MaskRead)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// A(i, :) of a 1000 x 1000 matrix, beside a strided loop.
void RowRead(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const auto v = random_values(std::size_t(n) * n);
    Mm a(0, 0, 0, n, n, qv_double);
    std::copy(v.begin(), v.end(), a.addr());
    const Mm i(500.0);
    Mm y;
    with_peers(
        state,
        [&] {
            y = a(i, c_p);
            benchmark::DoNotOptimize(y.addr());
        },
        {{"strided", [&] {
              std::vector<double> out(n);
              for (int c = 0; c < n; ++c)
                  out[c] = v[499 + std::size_t(c) * n];
              benchmark::DoNotOptimize(out.data());
          }}});
}
BENCHMARK(RowRead)->Arg(1000)->Unit(benchmark::kMicrosecond);

void SortPeers(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const auto v = random_values(n);
    const Mm x = row_of(v);
    const arma::rowvec ax(v);
    std::vector<double> w;
    with_peers(
        state,
        [&] {
            Mm s = sort(x);
            benchmark::DoNotOptimize(s.addr());
        },
        {{"armadillo", [&] {
              arma::rowvec s = arma::sort(ax);
              benchmark::DoNotOptimize(s.memptr());
          }},
         {"std_sort", [&] {
              w = v;
              std::sort(w.begin(), w.end());
              benchmark::DoNotOptimize(w.data());
          }}});
}
BENCHMARK(SortPeers)->Arg(1000000)->Unit(benchmark::kMillisecond);

void UniquePeers(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    auto v = random_values(n);
    for (auto& e : v)
        e = std::round(e * 1000);  // many repeats
    const Mm x = row_of(v);
    std::vector<double> w;
    with_peers(
        state,
        [&] {
            Mm u = unique(x);
            benchmark::DoNotOptimize(u.addr());
        },
        {{"std_sort_unique", [&] {
              w = v;
              std::sort(w.begin(), w.end());
              w.erase(std::unique(w.begin(), w.end()), w.end());
              benchmark::DoNotOptimize(w.data());
          }}});
}
BENCHMARK(UniquePeers)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
