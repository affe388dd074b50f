// The program the address-space limit tests start under a real limit (the
// test sets RLIMIT_AS in the child before it starts this): it runs the
// statements named on its command line, in order, as a host that catches
// errors would, and after each one checks that the library still works.
// Lines on standard output, for each statement:
//     <name>: started
//     <name>: operands made
//     <name>: answered | Out of memory! | error <text>
//     <name>: afterwards ok | afterwards <what went wrong>
// "prepare <folder>" (run without a limit) writes the picture files that
// the image statements read; "--mt" first runs them in multi-thread mode.
#include <velkor.h>

#include "../support/sparse_limit_sweep.hpp"
#include "platform/memory.hpp"
#include "value/allocator.hpp"
#include "value/runtime.hpp"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string folder = ".";

Mm text(const std::string& s) { return TM(s.c_str()); }
Mm path(const char* name) { return text(folder + "/" + name); }

Mm cell_row(std::initializer_list<Mm> items)
{
    Mm c(0, 0, 0, 1, static_cast<int>(items.size()), qv_cell);
    int k = 0;
    for (const Mm& item : items)
        c.mr(++k) = item;
    return c;
}

// 1:n, and a text of n letters a.
Mm counting(double n) { return colon(1.0, n); }
Mm letters(double n) { return repmat(text("a"), Mm(1.0), Mm(n)); }

// The address space the process has mapped, as the limit counts it.
std::size_t mapped_bytes()
{
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(pages) * 4096;
}

// A pool of its own, from nothing: its first reservation takes at most a
// sixteenth of what the limit leaves (1 MiB at least), and blocks worth
// several reservations are still had.
void pool_growth()
{
    const std::size_t left = platform::address_space_left(), before = mapped_bytes();
    const std::size_t share = std::max<std::size_t>(left / 16, std::size_t{1} << 20);
    block_pool pool;
    std::vector<void*> blocks{pool.allocate(64)};
    const std::size_t reserved = mapped_bytes() - before;
    if (!blocks[0] || reserved > share)
        error("pool growth: the first reservation took %zu bytes of %zu left", reserved, left);
    while (pool.committed() < 4 * share) {
        void* p = pool.allocate(100000);
        if (!p)
            error("pool growth: refused at %zu bytes committed, %zu reserved at first", pool.committed(), reserved);
        std::memset(p, 1, 99992);
        blocks.push_back(p);
    }
    if (mapped_bytes() - before > pool.committed() + share)
        error("pool growth: %zu bytes mapped for %zu committed", mapped_bytes() - before, pool.committed());
    for (void* p : blocks)
        pool.free(static_cast<char*>(p));
}

// What the limit left for values when the probe started.
std::size_t left_at_start = 0;

// Fills memory with values of n doubles each, every one of its own, until
// "Out of memory!"; everything made is dropped on the way out.
[[noreturn]] void fill_with_values(double n)
{
    std::vector<Mm> chunks;
    chunks.reserve(4096);
    for (;;) {
        chunks.push_back(Mm(0, 0, 0, 1, 65536, qv_cell));
        for (int k = 1; k <= 65536; ++k)
            chunks.back().mr(k) = ones(n, 1.0);
    }
}

// Fills memory with values from make, each of its own, until "Out of
// memory!"; everything made is dropped on the way out.
[[noreturn]] void fill_with(const std::function<Mm()>& make)
{
    std::vector<Mm> kept;
    kept.reserve(1 << 16);
    for (;;)
        kept.push_back(make());
}

// A row grown one element at a time, x(end+1) = k, to n elements.
Mm grown_row(int n)
{
    Mm x = zeros(1.0, 0.0);
    for (int k = 1; k <= n; ++k)
        x(Mm(double(k))) = Mm(double(k));
    return x;
}

// A sparse column of 10^5 stored entries spread over 10^7 rows: its
// position list is as large as its values.
Mm sparse_column()
{
    Mm s(0, 1, 100000, 10000000, 1, qv_double);
    for (int k = 0; k < 100000; ++k) {
        s.getindex()[k] = 100 * k;
        s.addr()[k] = k + 1.0;
    }
    return s;
}

// The largest square a sparse value holds, 46340 x 46340, with 10^5
// entries spread over it, and a row of 2^31 - 1 elements with as many: a
// full form of either is 17 GB.
Mm largest_sparse_square()
{
    const std::int64_t numel = std::int64_t{46340} * 46340;
    Mm s(0, 1, 100000, 46340, 46340, qv_double);
    for (int k = 0; k < 100000; ++k) {
        s.getindex()[k] = static_cast<int>(k * (numel / 100000) + k % 7);
        s.addr()[k] = k % 11 - 5.5;
    }
    return s;
}

Mm longest_sparse_row()
{
    Mm s(0, 1, 100000, 1, 2147483647, qv_double);
    for (int k = 0; k < 100000; ++k) {
        s.getindex()[k] = k * 21474 + k % 5;
        s.addr()[k] = k % 11 - 5.5;
    }
    return s;
}

// A row of the given numbers.
Mm test_row(std::initializer_list<double> v)
{
    Mm r(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
    int k = 0;
    for (double e : v)
        r.addr()[k++] = e;
    return r;
}

// Memory filled by values of every kind, one after another, until "Out of
// memory!", then dropped: what the process maps afterwards, and how many
// values fitted.
struct fill_round {
    long values = 0;
    std::size_t mapped_after = 0;
};

fill_round fill_and_drop()
{
    fill_round r;
    {
        std::vector<Mm> kept;
        kept.reserve(1 << 16);
        try {
            for (int k = 0;; ++k) {
                switch (k % 6) {
                case 0: kept.push_back(ones(16000.0, 1.0)); break;
                case 1: kept.push_back(ones(16500.0, 1.0)); break;
                case 2: kept.push_back(ones(1000.0, 1.0)); break;
                case 3: kept.push_back(mcomplex(ones(20000.0, 1.0), ones(20000.0, 1.0))); break;
                case 4: kept.push_back(letters(50000.0)); break;
                default: kept.push_back(sparse_column()); break;
                }
            }
        } catch (const char* text) {
            if (std::strcmp(text, "Out of memory!") != 0)
                throw;
        }
        r.values = static_cast<long>(kept.size());
    }
    r.mapped_after = mapped_bytes();
    return r;
}

// Fill and drop, round after round: the address space the process maps
// after a drop does not creep up (the second round sets what is kept warm
// for the next), and each round fits as many values as the first.
void fill_and_drop_rounds()
{
    const fill_round first = fill_and_drop(), second = fill_and_drop();
    for (int round = 3; round <= 6; ++round) {
        const fill_round r = fill_and_drop();
        if (r.mapped_after > second.mapped_after + (std::size_t{16} << 20))
            error("round %d: %zu MB mapped after the drop, %zu MB after the second", round, r.mapped_after >> 20,
                  second.mapped_after >> 20);
        if (r.values < first.values - first.values / 50)
            error("round %d: %ld values fitted, %ld in the first", round, r.values, first.values);
    }
}

// A call refused while memory is full answers, the same call, once the
// values that filled it are dropped.
void refused_then_answered(const std::function<void()>& call)
{
    bool refused = false;
    {
        std::vector<Mm> kept;
        kept.reserve(1 << 16);
        try {
            for (;;)
                kept.push_back(ones(1e5, 1.0));
        } catch (const char*) {
        }
        kept.pop_back();  // room for the call's operands, not for the call
        try {
            call();
        } catch (const char* text) {
            if (std::strcmp(text, "Out of memory!") != 0)
                throw;
            refused = true;
        }
    }
    if (!refused)
        error("the call answered while memory was full");
    call();
}

// The largest value that fits, made and kept while a smaller one is
// refused: the address space filled by one value.
void fill_with_one_value()
{
    Mm huge;
    double n = double(left_at_start) / 8;
    for (; n >= 1e6; n *= 0.9) {
        try {
            huge = zeros(n, 1.0);
            break;
        } catch (const char*) {
        }
    }
    huge.r(1) = 1;  // written, not only mapped
    zeros(n, 1.0);  // a second one does not fit
    error("fill: a second value of %.0f doubles fitted", n);
}

// After memory was filled and everything dropped, calls whose own needs
// fit answer, checked: inv, A\b, svd, fft, sprintf, and zeros of half the
// limit (or, where the libraries beside this one leave less, of most of
// what they left at the start).
void go_on()
{
    auto step = [](const char* name, const std::function<bool()>& call) {
        bool right = false;
        try {
            right = call();
        } catch (const char* text) {
            error("%s raised %s with %zu MB mapped", name, text, mapped_bytes() >> 20);
        }
        if (!right)
            error("%s gave a wrong answer", name);
    };
    step("inv", [] {
        const Mm y = inv(reshape(counting(4.0), Mm(2.0), Mm(2.0)));
        return std::fabs(y.r(1) + 2) < 1e-12 && std::fabs(y.r(4) + 0.5) < 1e-12;
    });
    step("A\\b", [] {
        const Mm a = randM(100.0) + eye(Mm(100.0)) * Mm(100.0), b = ones(100.0, 1.0);
        const Mm x = mldivide(a, b);
        return norm(a * x - b).r() < 1e-10;
    });
    step("svd", [] {
        const Mm a = randM(5.0);
        const Mm s = svd(a);
        // The squares of the singular values sum to the squares of the elements.
        const double squares = sum(sum(times(a, a))).r();
        return s.size() == 5 && std::fabs(sum(times(s, s)).r() - squares) < 1e-12 * squares;
    });
    step("fft", [] {
        const Mm y = fft(ones(1.0, 4096.0));
        return std::fabs(y.r(1) - 4096) < 1e-9 && std::fabs(y.r(2)) < 1e-9;
    });
    step("sprintf", [] {
        char buf[64];
        Mstr(sprintf(text("%d-%s"), cell_row({Mm(42.0), text("ok")})), buf, sizeof buf);
        return std::strcmp(buf, "42-ok") == 0;
    });
    // Three quarters of that room, less some: OpenBLAS's threads take heaps
    // of their own as they go.
    const std::size_t room = left_at_start / 4 * 3 - (std::size_t{32} << 20);
    const std::size_t half = std::min(platform::address_space_limit() / 2, room);
    step("zeros of half the limit", [half] {
        const double n = std::floor(double(half) / 8);
        Mm z = zeros(n, 1.0);
        z.r(static_cast<int>(n)) = 1;
        return z.size() == static_cast<int>(n) && z.r(1) == 0;
    });
}
// A figure of /proc/self/status in bytes: "VmSize" (the address space
// the process maps) or "VmRSS" (what of it lies in memory).
std::size_t status_bytes(const char* field)
{
    std::size_t kb = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::strlen(field);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
                kb = std::strtoull(line + n + 1, nullptr, 10);
                break;
            }
        std::fclose(f);
    }
    return kb << 10;
}

// What the process holds once a value is gone: its address space and its
// memory, against what it held before the first round (a little more may
// stay warm: the pool and the large blocks each keep up to a thirty-second
// of the limit).
struct held_bytes {
    std::size_t mapped = status_bytes("VmSize"), resident = status_bytes("VmRSS");
};

void expect_given_back(const char* what, int round, const held_bytes& before)
{
    const held_bytes now;
    const std::size_t slack = std::max(std::size_t{64} << 20, platform::address_space_limit() / 8);
    if (now.mapped > before.mapped + slack || now.resident > before.resident + slack)
        error("%s, round %d: %zu MB mapped and %zu MB resident after the drop, %zu and %zu before", what, round,
              now.mapped >> 20, now.resident >> 20, before.mapped >> 20, before.resident >> 20);
}

// Writes every page of a value's storage, so that it is memory and not
// only address space.
void touch(Mm& x)
{
    if (!x.hasstorage() || x.size() == 0)
        return;
    if (x.gettype() == qv_uint8) {
        unsigned char* p = reinterpret_cast<unsigned char*>(x.addr());
        for (int k = 0; k < x.size(); k += 4096)
            p[k] = 1;
        return;
    }
    if (x.gettype() == qv_cell) {
        for (int k = 1; k <= x.size(); ++k)
            touch(x.mr(k));
        return;
    }
    const int n = x.issparse() ? x.getnnz() : x.size();
    for (int k = 0; k < n; k += 512)
        x.addr()[k] = 1;
}

// A row grown one element at a time to n elements, from a shared start:
// every x(end+1) = v an assignment of its own.
Mm grown_from(const Mm& start, int n)
{
    Mm x = start;
    for (int k = x.size() + 1; k <= n; ++k)
        x(Mm(double(k))) = Mm(double(k));
    return x;
}

// Values of about a gigabyte (a quarter of the limit), each of another
// kind and shape, made, written and dropped, round after round: each round
// must answer, with the address space and the memory of the one before
// given back. Made as a user makes them, with at most one operand as
// large beside them.
const std::vector<std::pair<const char*, std::function<Mm(double)>>>& large_kinds()
{
    static const std::vector<std::pair<const char*, std::function<Mm(double)>>> kinds = {
        {"a double column", [](double b) { return zeros(b / 8, 1.0); }},
        {"a double square", [](double b) { const double n = std::floor(std::sqrt(b / 8)); return ones(n, n); }},
        {"a wide double", [](double b) { return zeros(3.0, std::floor(b / 24)); }},
        {"a complex value", [](double b) { return mcomplex(zeros(b / 16, 1.0), ones(b / 16, 1.0)); }},
        {"text", [](double b) { return blanks(Mm(1.0), Mm(std::floor(b / 8))); }},
        {"a logical value", [](double b) { return zeros(b / 16, 2.0) > Mm(-1.0); }},
        {"bytes", [](double b) { return repmat(muint8(Mm(7.0)), Mm(std::floor(b / 1000)), Mm(1000.0)); }},
        {"a sparse value", [](double b) { return sparse(ones(std::floor(b / 12), 1.0)); }},
        {"a cell of large values",
         [](double b) {
             Mm c = cell(Mm(1.0), Mm(64.0));
             for (int k = 1; k <= 64; ++k)
                 c.mr(k) = ones(std::floor(b / 512) + k, 1.0);
             return c;
         }},
        {"a struct array of large values",
         [](double b) {
             Mm s;
             for (int k = 1; k <= 40; ++k)
                 s(Mm(double(k))).member("field") = zeros(std::floor(b / 320) - k, 1.0);
             return s;
         }},
        {"a row grown one element at a time", [](double b) { return grown_from(zeros(1.0, 0.0), int(b / 16)); }},
        {"a shared value changed",
         [](double b) {
             const Mm a = zeros(b / 16, 1.0);
             Mm c = a;
             c(one_M) = Mm(2.0);  // c un-shares: a copy of its own
             c(Mm(double(c.size() + 1))) = Mm(3.0);
             if (a.r(1) != 0 || c.r(1) != 2)
                 error("a shared value changed: the copy and the original are one");
             return c;
         }},
    };
    return kinds;
}

void large_value_rounds()
{
    // A sixth of the limit: what a round kept would show in the address
    // space measured after it, and the sixteen rounds stay short on a
    // loaded machine.
    const double bytes = std::min(double(platform::address_space_limit()) / 6, 5e8);
    const held_bytes before;
    const auto& kinds = large_kinds();
    for (int round = 1; round <= int(kinds.size()) + 4; ++round) {
        const auto& kind = kinds[std::size_t(round - 1) % kinds.size()];
        // Every round another size, so that no mapping fits the next exactly.
        {
            Mm x = kind.second(bytes * (1 - 0.03 * (round % 5)));
            touch(x);
        }
        expect_given_back(kind.first, round, before);
    }
}

// Ten million small values, then every one dropped, then a block of half
// the limit from the standard heap and one value as large, twice: the
// pool gives back what the small ones took, the second time too (it kept
// all of it warm once a program had taken it twice, and the standard heap
// was refused).
void small_burst_then_large()
{
    const held_bytes before;
    for (int round = 1; round <= 2; ++round) {
        {
            Mm c = cell(Mm(1.0), Mm(1e7));
            for (int k = 1; k <= 10000000; ++k)
                c.mr(k) = Mm(double(k));
            if (c.mr(10000000).r() != 1e7)
                error("small burst: a wrong last value");
        }
        expect_given_back("ten million small values", round, before);
        // The standard heap (the host's, and the library's own containers)
        // cannot ask the pool to give back what it keeps.
        const std::size_t half = platform::address_space_limit() / 2;
        char* block = static_cast<char*>(std::malloc(half));
        if (!block)
            error("small burst, round %d: the standard heap refused %zu MB", round, half >> 20);
        std::memset(block, 1, half);
        std::free(block);
        {
            Mm big = zeros(double(platform::address_space_limit()) / 2 / 8, 1.0);
            touch(big);
        }
        expect_given_back("one large value after them", round, before);
    }
}

// Values of two sizes made in turn, every other one dropped: those of
// the other size stay, and what the dropped ones took serves one value
// as large as all of them together. Large and small values (a mapping
// each and the pool's blocks), and two sizes inside the pool.
void every_other_dropped()
{
    const std::size_t limit = platform::address_space_limit();
    struct pattern {
        const char* what;
        double dropped, kept;  // doubles in each
    };
    for (const pattern& p : {pattern{"large dropped, small kept", 40000, 100},
                             pattern{"small dropped, large kept", 100, 40000},
                             pattern{"pool blocks of 16000 dropped, of 500 kept", 16000, 500},
                             pattern{"mappings of 1e6 dropped, of 2e5 kept", 1e6, 2e5}}) {
        const held_bytes before;
        std::vector<Mm> kept, dropped;
        const std::size_t pairs = std::size_t(double(limit) * 0.45 / (8 * (p.dropped + p.kept) + 200));
        kept.reserve(pairs);
        dropped.reserve(pairs);
        for (std::size_t k = 0; k < pairs; ++k) {
            dropped.push_back(ones(p.dropped, 1.0));
            kept.push_back(ones(p.kept, 1.0));
        }
        const double freed = 8 * p.dropped * double(pairs);
        dropped.clear();
        dropped.shrink_to_fit();
        {
            Mm big = zeros(std::floor(freed / 8 * 0.9), 1.0);
            touch(big);
        }
        kept.clear();
        kept.shrink_to_fit();
        expect_given_back(p.what, 1, before);
    }
}

// Values made in one thread and dropped in another, in multi-thread mode,
// round after round: the thread that frees gives the memory back as the
// one that made them would.
void dropped_on_another_thread()
{
    const int previous = qv_mt_mode;
    qv_set_MT(1);
    const double bytes = std::min(double(platform::address_space_limit()) / 3, 1e9);
    const held_bytes before;
    for (int round = 1; round <= 8; ++round) {
        std::vector<Mm> made;
        std::thread maker([&] {
            made.push_back(zeros(bytes * (1 - 0.05 * round) / 8, 1.0));
            for (int k = 0; k < 100000; ++k)
                made.push_back(ones(double(1 + k % 300), 1.0));
        });
        maker.join();
        touch(made.front());
        std::thread dropper([&] { made.clear(); made.shrink_to_fit(); });
        dropper.join();
        expect_given_back("made in one thread, dropped in another", round, before);
    }
    qv_set_MT(previous);
}
// A value's shape and a sample of its elements (every 4099th and the
// last), to tell whether a refused statement changed it.
struct fingerprint {
    std::vector<int> dims;
    std::vector<double> sample;
    bool operator==(const fingerprint&) const = default;
};

fingerprint fingerprint_of(const Mm& x)
{
    fingerprint f;
    f.dims.assign(x.getdims(), x.getdims() + x.getndims());
    f.dims.push_back(x.issparse() ? x.getnnz() : -1);
    if (x.isstruct()) {
        for (int k = 1; k <= x.size(); ++k)
            for (int field = 0; field < x.getnfields(); ++field) {
                const fingerprint e = fingerprint_of(Mm(x(Mm(double(k))).member(x.getfields()[field])));
                f.sample.insert(f.sample.end(), e.dims.begin(), e.dims.end());
                f.sample.insert(f.sample.end(), e.sample.begin(), e.sample.end());
            }
        return f;
    }
    if (x.gettype() == qv_cell) {
        for (int k = 1; k <= x.size(); ++k) {
            const fingerprint e = fingerprint_of(x.mr(k));
            f.sample.insert(f.sample.end(), e.dims.begin(), e.dims.end());
            f.sample.insert(f.sample.end(), e.sample.begin(), e.sample.end());
        }
        return f;
    }
    const int n = x.issparse() ? x.getnnz() : x.size();
    for (int k = 0; k < n; k = k + 4099 < n || k == n - 1 ? k + 4099 : n - 1)
        f.sample.push_back(x.gettype() == qv_uint8 ? reinterpret_cast<const unsigned char*>(x.addr())[k] : x.addr()[k]);
    return f;
}

// Statements whose result or working storage does not fit beside the
// values held (x of 64 MB, a cell and a struct holding it, shared, and
// values of other kinds): each either answers, right, or raises "Out of
// memory!" with x, every value stored and the statement's own target as
// they were. Each is tried with less room each pass, so that the refusal
// falls at another step.
void refused_statements_keep_every_value()
{
    Mm x = colon(1.0, 8e6);
    const double x_bytes = 8 * 8e6;
    Mm c = cell(Mm(1.0), Mm(3.0));
    c.mr(1) = x;
    c.mr(2) = muint8(colon(1.0, 200.0));
    c.mr(3) = text("kept");
    Mm s;
    s.member("f") = x;
    s.member("g") = sparse(colon(1.0, 1000.0));
    const fingerprint fx = fingerprint_of(x), fc = fingerprint_of(c), fs = fingerprint_of(s);
    enum start { from_x, from_c, from_s };
    struct trial {
        const char* what;
        start from;  // the stored value its target is a copy of
        std::function<void(Mm& target)> run;
        std::function<bool(const Mm& after)> right;
    };
    const double n = x.size();
    const auto first_is = [n](const Mm& a, double size) { return a.size() == size && a.r(1) == 1 && a.r(int(n)) == n; };
    const std::vector<trial> trials = {
        {"x(end+1) = 1", from_x, [](Mm& t) { t(Mm(t.size() + 1.0)) = one_M; },
         [=](const Mm& a) { return first_is(a, n + 1) && a.r(int(n) + 1) == 1; }},
        {"x(end+1e6) = 1", from_x, [](Mm& t) { t(Mm(t.size() + 1e6)) = one_M; },
         [=](const Mm& a) { return first_is(a, n + 1e6) && a.r(int(n) + 1) == 0; }},
        {"x = [x x]", from_x, [](Mm& t) { t = horzcat(t, t); },
         [=](const Mm& a) { return first_is(a, 2 * n) && a.r(int(n) + 1) == 1; }},
        {"x = [x; x]", from_x, [](Mm& t) { t = vertcat(t, t); },
         [n](const Mm& a) { return a.size() == 2 * n && a.rows() == 2; }},
        {"x(:) = x + 1", from_x, [](Mm& t) { t(c_p) = t + Mm(1.0); },
         [n](const Mm& a) { return a.size() == n && a.r(1) == 2; }},
        {"x = x'", from_x, [](Mm& t) { t = transpose(t); },
         [n](const Mm& a) { return a.rows() == n && a.r(2) == 2; }},
        {"x(2, :) = x", from_x, [](Mm& t) { t(Mm(2.0), c_p) = Mm(t); },
         [n](const Mm& a) { return a.rows() == 2 && a.size() == 2 * n; }},
        {"x = fliplr(x)", from_x, [](Mm& t) { t = fliplr(t); },
         [n](const Mm& a) { return a.size() == n && a.r(1) == n; }},
        {"c{end+1} = [c{1} c{1}]", from_c, [](Mm& t) { t.br(Mm(4.0)) = horzcat(t.mr(1), t.mr(1)); },
         [n](const Mm& a) { return a.size() == 4 && a.mr(4).size() == 2 * n; }},
        {"c(end+1:end+2) = {c{1} + 1, c{1} + 2}", from_c,
         [](Mm& t) { t(colon(4.0, 5.0)) = cell_row({t.mr(1) + Mm(1.0), t.mr(1) + Mm(2.0)}); },
         [n](const Mm& a) { return a.size() == 5 && a.mr(5).size() == n && a.mr(5).r(1) == 3; }},
        {"c{1}(end+1) = 1", from_c, [](Mm& t) { t.br(one_M)(Mm(t.mr(1).size() + 1.0)) = one_M; },
         [=](const Mm& a) { return a.size() == 3 && first_is(a.mr(1), n + 1); }},
        {"s.f(end+1) = 1", from_s, [](Mm& t) { t.member("f")(Mm(Mm(t.member("f")).size() + 1.0)) = one_M; },
         [=](const Mm& a) { return first_is(Mm(a.member("f")), n + 1); }},
        {"s(2).f = [s.f s.f]", from_s,
         [](Mm& t) {
             const Mm f = t.member("f");
             t(Mm(2.0)).member("f") = horzcat(f, f);
         },
         [n](const Mm& a) { return a.size() == 2 && Mm(a(Mm(2.0)).member("f")).size() == 2 * n; }},
    };
    // Room for three and a half copies of x, then two and a half, then one
    // and a half (the unshared copy takes one of them).
    std::vector<Mm> ballast;
    for (const double room : {3.5, 2.5, 1.5}) {
        while (double(platform::address_space_left()) > room * x_bytes) {
            try {
                ballast.push_back(ones(1e6, 1.0));
            } catch (const char*) {
                break;
            }
        }
        for (const trial& t : trials) {
            for (const bool shared : {true, false}) {
                Mm target = t.from == from_x ? x : t.from == from_c ? c : s;
                if (!shared) {  // a copy of its own (a cell's or struct's elements still shared)
                    try {
                        if (t.from == from_x)
                            target(one_M) = one_M;
                        else if (t.from == from_c)
                            target.br(Mm(3.0)) = text("kept");
                        else
                            target.member("g") = sparse(colon(1.0, 1000.0));
                    } catch (const char*) {
                        continue;  // no room for the copy
                    }
                    if (target.dirty())
                        error("%s: the target is still shared", t.what);
                }
                const fingerprint ft = fingerprint_of(target);
                const char* how = shared ? "shared" : "unshared";
                try {
                    t.run(target);
                    if (!t.right(target))
                        error("%s (%s): a wrong answer", t.what, how);
                } catch (const char* text) {
                    if (std::strcmp(text, "Out of memory!") != 0)
                        throw;
                    if (!(fingerprint_of(target) == ft))
                        error("%s (%s): refused, and its target changed", t.what, how);
                }
                if (!(fingerprint_of(x) == fx) || !(fingerprint_of(c) == fc) || !(fingerprint_of(s) == fs))
                    error("%s (%s): a stored value changed", t.what, how);
            }
        }
    }
}

// An 8000 x 8000 RGB picture of bytes, made as bytes.
Mm rgb_picture()
{
    Mm colour = zeros(1.0, 3.0);
    colour.r(1) = 200, colour.r(2) = 100, colour.r(3) = 50;
    return repmat(muint8(reshape(colour, Mm(1.0), Mm(1.0), Mm(3.0))), Mm(8000.0), Mm(8000.0));
}

// The statements, by name: each makes its operands first (sized to fit
// under the limit the test gives it), then runs its call on them.
struct statement {
    std::function<std::vector<Mm>()> operands;
    std::function<void(const std::vector<Mm>& x)> call;
};

using list = std::vector<Mm>;

const std::map<std::string, statement>& statements()
{
    static const std::map<std::string, statement> all = {
        // Text: the functions whose working storage is the standard
        // library's, and two whose storage is the runtime allocator's.
        {"num2str", {[] { return list{counting(5e6)}; }, [](const list& x) { num2str(x[0]); }}},
        {"int2str", {[] { return list{counting(5e6)}; }, [](const list& x) { int2str(x[0]); }}},
        {"mat2str", {[] { return list{counting(5e6)}; }, [](const list& x) { mat2str(x[0]); }}},
        {"findstr", {[] { return list{letters(4e7)}; }, [](const list& x) { findstr(x[0], text("a")); }}},
        {"strjust", {[] { return list{letters(4e7)}; }, [](const list& x) { strjust(x[0]); }}},
        {"strrep", {[] { return list{letters(1e7)}; }, [](const list& x) { strrep(x[0], text("a"), text("abcdefgh")); }}},
        {"strrep of blanks", {[] { return list{blanks(Mm(1e7))}; },
                              [](const list& x) { strrep(x[0], text(" "), text(std::string(62, 'x'))); }}},
        {"sprintf", {[] { return list{counting(1e7)}; }, [](const list& x) { sprintf(text("%d,"), x[0]); }}},
        {"strcat", {[] { return list{cell_row({letters(1e7), letters(1e7), letters(1e7)})}; },
                    [](const list& x) { strcat(x[0]); }}},
        // Each subsystem's calls with a large result.
        {"zeros", {[] { return list{}; }, [](const list&) { zeros(60000.0); }}},
        {"repmat", {[] { return list{counting(1e4)}; }, [](const list& x) { repmat(x[0], Mm(3e4), Mm(1.0)); }}},
        {"cellstr", {[] { return list{repmat(text("abc"), Mm(1e7), Mm(1.0))}; },
                     [](const list& x) { cellstr(x[0]); }}},
        {"sort with indices", {[] { return list{randM(1.0, 6e7)}; },
                               [](const list& x) {
                                   Mm s, k;
                                   sort(x[0], i_o, s, k);
                               }}},
        {"kron", {[] { return list{ones(1000.0)}; }, [](const list& x) { kron(x[0], x[0]); }}},
        {"sort of the largest sparse square", {[] { return list{largest_sparse_square()}; },
                                               [](const list& x) { sort(x[0]); }}},
        {"sort of the largest sparse square with indices", {[] { return list{largest_sparse_square()}; },
                                                            [](const list& x) {
                                                                Mm s, k;
                                                                sort(x[0], Mm(2.0), i_o, s, k);
                                                            }}},
        {"sort of the longest sparse row", {[] { return list{longest_sparse_row()}; },
                                            [](const list& x) { sort(x[0]); }}},
        {"double of the largest sparse square", {[] { return list{largest_sparse_square() > Mm(0.0)}; },
                                                 [](const list& x) { mdouble(x[0]); }}},
        {"zero into the longest sparse column by two indices",
         {[] { return list{transpose(longest_sparse_row())}; },
          [](const list& x) {
              Mm s = x[0];
              s(test_row({1, 21475, 2147483647}), one_M) = zero_M;
              s(c_p, c_p) = zero_M;
              if (s.getnnz() != 0)
                  error("zero into the longest sparse column: %d entries left", s.getnnz());
          }}},
        {"twice the longest sparse row by two indices", {[] { return list{longest_sparse_row()}; },
                                                         [](const list& x) {
                                                             Mm s = x[0];
                                                             s(one_M, c_p) = times(x[0], Mm(2.0));
                                                         }}},
        {"unique of the longest sparse row", {[] { return list{longest_sparse_row()}; },
                                              [](const list& x) { unique(x[0]); }}},
        // Every function and operator of the sparse sweep on the largest
        // sparse values, judged against its model under the limit.
        {"the sparse limit sweep", {[] { return list{}; },
                                    [](const list&) {
                                        std::string faults;
                                        for (const std::string& f : sparse_sweep::run())
                                            faults += "\n  " + f;
                                        if (!faults.empty())
                                            error("%s", faults.c_str());
                                    }}},
        {"kron of the longest sparse row and a number",
         {[] { return list{longest_sparse_row()}; },
          [](const list& x) {
              const Mm k = kron(x[0], Mm(3.0));
              if (k.getnnz() != x[0].getnnz() || k.cols() != x[0].cols())
                  error("kron of the longest sparse row: %d entries", k.getnnz());
          }}},
        {"inv of a large matrix", {[] { return list{randM(9000.0)}; }, [](const list& x) { inv(x[0]); }}},
        {"svd", {[] { return list{randM(9000.0)}; }, [](const list& x) { svd(x[0]); }}},
        {"large left division", {[] { return list{randM(9000.0), ones(9000.0, 1.0)}; },
                                 [](const list& x) { mldivide(x[0], x[1]); }}},
        {"fft of a large vector", {[] { return list{randM(1.0, 8e7)}; }, [](const list& x) { fft(x[0]); }}},
        {"conv", {[] { return list{randM(1.0, 3e7), randM(1.0, 3e7)}; }, [](const list& x) { conv(x[0], x[1]); }}},
        {"besselj", {[] { return list{randM(1.0, 8e7)}; }, [](const list& x) { besselj(Mm(0.0), x[0]); }}},
        // Pictures through the graphics engine.
        {"imread", {[] { return list{}; }, [](const list&) { imread(path("large.png")); }}},
        {"imread as doubles", {[] { return list{}; },
                               [](const list&) {
                                   Mm X, map;
                                   pcxread(path("large.pcx"), i_o, X, map);
                               }}},
        {"imwrite", {[] { return list{rgb_picture()}; },
                     [](const list& x) { imwrite(cell_row({x[0], path("out.png")})); }}},
        // The runtime allocator's own pool: under a limit it reserves a
        // share of what the limit leaves and grows as blocks are taken.
        {"pool growth", {[] { return list{}; }, [](const list&) { pool_growth(); }}},
        // Memory filled until "Out of memory!", by values of one size or by
        // one call, and dropped; "go on" then checks what still answers.
        {"fill with 100 doubles", {[] { return list{}; }, [](const list&) { fill_with_values(100); }}},
        {"fill with 1000 doubles", {[] { return list{}; }, [](const list&) { fill_with_values(1000); }}},
        {"fill with 1e6 doubles", {[] { return list{}; }, [](const list&) { fill_with_values(1e6); }}},
        {"fill with one value", {[] { return list{}; }, [](const list&) { fill_with_one_value(); }}},
        {"fill with an fft", {[] { return list{randM(1.0, std::floor(double(left_at_start) * 0.3 / 8))}; },
                              [](const list& x) { fft(x[0]); }}},
        {"fill with 16000 doubles", {[] { return list{}; }, [](const list&) { fill_with_values(16000); }}},
        {"fill with 16500 doubles", {[] { return list{}; }, [](const list&) { fill_with_values(16500); }}},
        {"fill with grown rows", {[] { return list{}; }, [](const list&) { fill_with([] { return grown_row(4000000); }); }}},
        {"fill with cells of large values",
         {[] { return list{}; },
          [](const list&) { fill_with([] { return cell_row({ones(1e6, 1.0), ones(2e6, 1.0), letters(1e6)}); }); }}},
        {"fill with structs of large values", {[] { return list{}; },
                                               [](const list&) {
                                                   fill_with([] {
                                                       Mm s;
                                                       s.member("a") = ones(1e6, 1.0);
                                                       s.member("b") = cell_row({ones(5e5, 1.0)});
                                                       return s;
                                                   });
                                               }}},
        {"fill with sparse values", {[] { return list{}; }, [](const list&) { fill_with(sparse_column); }}},
        {"fill with complex values",
         {[] { return list{}; },
          [](const list&) { fill_with([] { return mcomplex(ones(3e5, 1.0), ones(3e5, 1.0)); }); }}},
        {"fill with strings", {[] { return list{}; }, [](const list&) { fill_with([] { return letters(2e6); }); }}},
        {"fill and drop rounds", {[] { return list{}; }, [](const list&) { fill_and_drop_rounds(); }}},
        {"refused then answered",
         {[] { return list{}; },
          [](const list&) {
              refused_then_answered([] {
                  const Mm y = inv(randM(300.0) + eye(Mm(300.0)) * Mm(300.0));
                  if (y.size() != 90000)
                      error("inv: a wrong answer");
              });
              refused_then_answered([] {
                  const Mm z = zeros(4e6, 1.0);
                  if (z.size() != 4000000)
                      error("zeros: a wrong answer");
              });
          }}},
        {"go on", {[] { return list{}; }, [](const list&) { go_on(); }}},
        // A large value dropped below a small one that stays: its address
        // space serves the next large value.
        {"large value dropped below a kept one",
         {[] { return list{}; },
          [](const list&) {
              Mm b;
              {
                  Mm a = zeros(1e8, 1.0);
                  a.r(100000000) = 1;
                  b = zeros(2e4, 1.0);
              }
              Mm c = zeros(2.5e8, 1.0);
              c.r(250000000) = 1;
          }}},
        // The host's own malloc: a block of 1 GB freed gives its address
        // space back with a small block made after it still held, as the
        // standard heap does without this library; a 2 GB block then fits
        // under a 3 GB limit.
        {"host malloc", {[] { return list{}; },
                         [](const list&) {
                             const std::size_t before = mapped_bytes();
                             char* big = static_cast<char*>(std::malloc(std::size_t{1} << 30));
                             if (!big)
                                 error("host malloc: 1 GB refused");
                             big[0] = 1;
                             char* small = static_cast<char*>(std::malloc(100));
                             std::free(big);
                             const std::size_t after = mapped_bytes();
                             char* bigger = static_cast<char*>(std::malloc(std::size_t{2} << 30));
                             std::free(bigger);
                             std::free(small);
                             if (after > before + (std::size_t{16} << 20))
                                 error("host malloc: %zu MB mapped after the free, %zu MB before", after >> 20,
                                       before >> 20);
                             if (!bigger)
                                 error("host malloc: 2 GB refused after 1 GB was freed");
                         }}},
        // Memory and address space given back when values are dropped.
        {"large value rounds", {[] { return list{}; }, [](const list&) { large_value_rounds(); }}},
        {"small burst then large", {[] { return list{}; }, [](const list&) { small_burst_then_large(); }}},
        {"every other dropped", {[] { return list{}; }, [](const list&) { every_other_dropped(); }}},
        {"dropped on another thread", {[] { return list{}; }, [](const list&) { dropped_on_another_thread(); }}},
        {"refused statements keep every value",
         {[] { return list{}; }, [](const list&) { refused_statements_keep_every_value(); }}},
        // The ladder: small calls that must answer under any limit the
        // library starts in.
        {"inv 2x2", {[] { return list{reshape(counting(4.0), Mm(2.0), Mm(2.0))}; },
                     [](const list& x) {
                         const Mm y = inv(x[0]);
                         if (std::fabs(y.r(1) + 2) > 1e-12 || std::fabs(y.r(4) + 0.5) > 1e-12)
                             error("inv 2x2: a wrong answer");
                     }}},
        {"left division 100x100", {[] { return list{randM(100.0) + eye(Mm(100.0)) * Mm(100.0), ones(100.0, 1.0)}; },
                                   [](const list& x) {
                                       const Mm y = mldivide(x[0], x[1]);
                                       if (!(norm(x[0] * y - x[1]).r() < 1e-10))
                                           error("left division: a wrong answer");
                                   }}},
        {"fft", {[] { return list{ones(1.0, 4096.0)}; },
                 [](const list& x) {
                     const Mm y = fft(x[0]);
                     if (std::fabs(y.r(1) - 4096) > 1e-9 || std::fabs(y.r(2)) > 1e-9)
                         error("fft: a wrong answer");
                 }}},
    };
    return all;
}

// A few statements of every kind, checked: the library after a refusal.
const char* still_works()
{
    const char* step = "sum";
    try {
        if (sum(counting(100.0)).r() != 5050)
            return "sum gives a wrong answer";
        step = "inv";
        const Mm x = inv(reshape(counting(4.0), Mm(2.0), Mm(2.0)));
        if (std::fabs(x.r(1) + 2) > 1e-12)
            return "inv gives a wrong answer";
        step = "sprintf";
        char buf[64];
        Mstr(sprintf(text("%d-%s"), cell_row({Mm(42.0), text("ok")})), buf, sizeof buf);
        if (std::strcmp(buf, "42-ok") != 0)
            return "sprintf gives a wrong answer";
        step = "cellstr";
        const Mm c = cellstr(repmat(text("abc"), Mm(1000.0), Mm(1.0)));
        if (c.size() != 1000)
            return "cellstr gives a wrong answer";
    } catch (const char* text) {
        static std::string failed;
        failed = std::string(step) + " raised " + text + " with " + std::to_string(mapped_bytes() >> 20) + " MB mapped";
        return failed.c_str();
    }
    return nullptr;
}

int prepare()
{
    try {
        // 8000 x 8000 RGB, and 6000 x 6000 indexed, made from bytes.
        imwrite(cell_row({rgb_picture(), path("large.png")}));
        const Mm indexed = repmat(muint8(Mm(3.0)), Mm(6000.0), Mm(6000.0));
        imwrite(cell_row({indexed, gray(Mm(256.0)), path("large.pcx")}));
    } catch (const char* text) {
        std::printf("prepare: error %s\n", text);
        return 1;
    }
    std::printf("prepare: done\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    initM2(4510, sizeof(Mm));
    qv_set_default_error_flags(0x10, 1);
    qv_set_default_error_flags(0x3, 0);
    qv_set_default_warning_flags(0x3, 0);
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--folder") == 0) {
        folder = argv[2];
        first = 3;
    }
    if (first < argc && std::strcmp(argv[first], "--mt") == 0) {
        qv_set_MT(1);
        ++first;
    }
    // The room for values: what the limit leaves once OpenBLAS (its threads
    // and its buffer) and the FFT have set up.
    try {
        inv(reshape(counting(4.0), Mm(2.0), Mm(2.0)));
        fft(ones(1.0, 4096.0));
    } catch (const char*) {
    }
    left_at_start = platform::address_space_left();
    if (first < argc && std::strcmp(argv[first], "prepare") == 0)
        return prepare();
    for (int k = first; k < argc; ++k) {
        const std::string name = argv[k];
        const auto found = statements().find(name);
        if (found == statements().end()) {
            std::printf("%s: unknown\n", name.c_str());
            return 2;
        }
        std::printf("%s: started\n", name.c_str());
        try {
            const list operands = found->second.operands();
            std::printf("%s: operands made\n", name.c_str());
            found->second.call(operands);
            std::printf("%s: answered\n", name.c_str());
        } catch (const char* text) {
            if (std::strcmp(text, "Out of memory!") == 0)
                std::printf("%s: Out of memory!\n", name.c_str());
            else
                std::printf("%s: error %s\n", name.c_str(), text);
        }
        const char* broken = still_works();
        std::printf("%s: afterwards %s\n", name.c_str(), broken ? broken : "ok");
    }
    exitM();
    return 0;
}
