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
// the image statements read.
#include <velkor.h>

#include "platform/memory.hpp"
#include "value/allocator.hpp"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
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
