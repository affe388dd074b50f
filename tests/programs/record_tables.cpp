// A table of records the way a program keeps one: a struct array filled
// field by field, read back, a copy changed on its own, a column of bytes
// and of fractional positions written into growing vectors, comparisons
// that leave their operands alone, and the whole table dropped: the memory
// it held goes back to the system.
// Expected values are plain C loops over the same numbers.
#include "check.hpp"
#include "resident.hpp"

#include <cstdio>
#include <string>
#include <unistd.h>

using program::held;
using program::near;
using program::same;

namespace {

using test::resident_bytes;

double score_of(int k) { return double((k * 37) % 101) + 0.25 * (k % 4); }

bool text_is(const Mm& x, const char* want)
{
    char buf[64];
    Mstr(x, buf, sizeof buf);
    return x.isstr() && std::string(buf) == want;
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));
    constexpr int n = 50000;
    const long start = resident_bytes();
    long grown = 0;
    {
        Mm table;
        for (int k = 1; k <= n; ++k) {
            table(k).member("id") = double(k);
            table(k).member("score") = score_of(k);
            if (k % 1000 == 0)
                table(k).member("tag") = TM(("batch " + std::to_string(k / 1000)).c_str());
        }
        held("the table", {&table});
        near("numel(table)", table.size(), n);
        near("fields", table.getnfields(), 3);
        double total = 0, c_total = 0;
        for (int k = 1; k <= n; k += 7) {
            total += Mm(table(k).member("score")).r();
            c_total += score_of(k);
        }
        near("sum of every seventh score", total, c_total);
        program::record(text_is(Mm(table(5000).member("tag")), "batch 5"), "table(5000).tag");
        program::record(isempty(Mm(table(4999).member("tag"))), "table(4999).tag is empty");

        // A copy changed on its own: the table keeps its records.
        Mm copy = table;
        for (int k = 1; k <= 100; ++k)
            copy(k).member("score") = -1.0;
        held("the changed copy", {&copy, &table});
        near("copy(50).score", Mm(copy(50).member("score")).r(), -1);
        near("table(50).score", Mm(table(50).member("score")).r(), score_of(50));

        // Scores as a vector, written at fractional positions past the end
        // (the position truncated, the length rounded), as a shared and as
        // an unshared value: both give the same vector.
        Mm unshared, shared, other;
        for (int k = 1; k <= 20; ++k) {
            const double at = k + 0.5;  // length k + 1, element k written
            unshared(at) = score_of(k);
            other = shared;
            shared(at) = score_of(k);
        }
        std::vector<double> want;
        for (int k = 1; k <= 20; ++k)
            want.push_back(score_of(k));
        want.push_back(0);
        same("fractional appends, unshared", unshared, 1, 21, want);
        same("fractional appends, shared", shared, 1, 21, want);
        held("the vectors", {&unshared, &shared, &other});

        // Scores as bytes with an imaginary part: comparisons see them as
        // their double forms (7 + 2i is not 7) and leave the bytes as they
        // were.
        Mm bytes = muint8(colon(1.0, 10.0));
        bytes(3) = Mm(7.0) + Mm(2.0) * i;
        const Mm before = bytes;
        const Mm sevens = mdouble(bytes == 7.0);
        same("bytes == 7", sevens, 1, 10, {0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
        near("max(bytes)", mdouble(max(bytes)).r(), 10);
        near("bytes kept their imaginary part", bytes.isc(), 1);
        near("isequal(bytes, before)", isequal(bytes, before), 1);
        held("the bytes", {&bytes});
        grown = resident_bytes() - start;
    }
    // Everything above is gone: at most a few page units and one freed
    // heap block stay for reuse. (Under the sanitizers freed heap blocks sit
    // in quarantine and every byte has shadow memory: no figure to check.)
    const long left = resident_bytes() - start;
    std::printf("resident: %.1f MB while held, %.1f MB after\n", grown / 1e6, left / 1e6);
#if !defined(NUMRUN_SANITIZE) && !defined(NUMRUN_TSAN)
    program::record(left < grown / 2, "the memory of the dropped table went back to the system");
#endif
    return program::finish("record_tables");
}
