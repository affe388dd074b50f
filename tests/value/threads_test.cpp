// Several threads in multi-thread mode: each thread formats, throws,
// catches and keeps as its last error only its own texts; several threads
// read one value (elements, references, copies, comparisons) while the
// shared empty value is taken and dropped everywhere. Also run under
// ThreadSanitizer (make test-tsan), which sees any read that writes.
#include "test_support.hpp"
#include "value/mm_access.hpp"
#include "value/report.hpp"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Threads, EachThreadCatchesItsOwnErrors)
{
    const unsigned previous_mode = qv_set_MT(1);
    (void)previous_mode;
    constexpr int threads = 4, rounds = 5000;
    std::atomic<int> wrong{0}, wrong_last{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t, &wrong, &wrong_last] {
            for (int k = 0; k < rounds; ++k) {
                const std::string expected = "thread " + std::to_string(t) + " error " + std::to_string(k);
                try {
                    error("thread %d error %d", t, k);
                } catch (const char* text) {
                    if (expected != text)
                        ++wrong;
                }
                if (std::string(last_error_text()) != "error: " + expected + "\n")
                    ++wrong_last;
                // Values made and dropped between the reports share the pool.
                Mm x = Mm(double(k)) + Mm(1.0);
                if (x.r() != k + 1)
                    ++wrong;
            }
        });
    for (auto& th : pool)
        th.join();
    qv_set_MT(0);
    EXPECT_EQ(wrong.load(), 0) << "texts caught from another thread or torn";
    EXPECT_EQ(wrong_last.load(), 0) << "last-error texts of another thread";
}

// One value, never written, read from every thread: a named scalar
// variable, a long row (its elements deferred until first reached), a
// cell; each thread also makes cells whose elements start on the shared
// empty value and writes into its own copies.
TEST(Threads, SeveralThreadsReadOneValue)
{
    qv_set_MT(1);
    Mm scalar(5.0);
    scalar.setname("scalar");
    const Mm row = colon(1.0, 1000.0);
    Mm cell(0, 0, 0, 1, 3, qv_cell);
    cell.mr(2) = TM("two");
    ASSERT_EQ(scalar.getflags().scalar_var, 1);
    const M_types scalar_flags = scalar.getflags(), row_flags = row.getflags();
    constexpr int threads = 4, rounds = 2000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t, &scalar, &row, &cell, &wrong] {
            for (int k = 0; k < rounds; ++k) {
                const double at = double((k * 7 + t) % 1000 + 1);
                if (Mm(row(Mm(at))).r() != at)
                    ++wrong;
                Mm y(0.0);
                y = row(Mm(at));  // read into an unshared scalar
                if (y.r() != at)
                    ++wrong;
                if (Mm(scalar(Mm(1.0))).r() != 5 || Mm(scalar()).r() != 5)
                    ++wrong;
                const Mm same = row == row;
                if (same.size() != 1000 || !istrue(all(same)))
                    ++wrong;
                Mm copy = row;  // a writer un-shares its own copy
                copy(Mm(at)) = Mm(-1.0);
                if (copy.addr()[int(at) - 1] != -1 || row.addr()[int(at) - 1] != at)
                    ++wrong;
                if (test::text_of(Mm(cell.br(Mm(2.0)))) != "two" || !isempty(Mm(cell.br(Mm(1.0)))))
                    ++wrong;
                // Fresh cells: every element starts on the shared empty value.
                Mm mine(0, 0, 0, 1, 4, qv_cell);
                Mm keep = mine;
                mine(Mm(double(k % 4 + 1))) = Mm(double(k));
                if (keep.mr(k % 4 + 1).size() != 0 || mine.mr(k % 4 + 1).r() != k)
                    ++wrong;
                if (keep.mr(k % 4 + 1).dirty() == 0)
                    ++wrong;  // the shared empty value is never anyone's own
            }
        });
    for (auto& th : pool)
        th.join();
    qv_set_MT(0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(std::memcmp(&scalar.getflags(), &scalar_flags, sizeof(M_types)), 0) << "reading changed the scalar";
    EXPECT_EQ(std::memcmp(&row.getflags(), &row_flags, sizeof(M_types)), 0) << "reading changed the row";
    EXPECT_EQ(row.dirty(), 0) << "every copy was given back";
    EXPECT_EQ(mm_access::header_fault(row), nullptr);
    EXPECT_EQ(mm_access::header_fault(cell), nullptr);
}

} // namespace
