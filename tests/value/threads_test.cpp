// Reporting from several threads in multi-thread mode: each thread formats,
// throws, catches and keeps as its last error only its own texts. Also run
// under ThreadSanitizer (make test-tsan).
#include "test_support.hpp"
#include "value/report.hpp"

#include <atomic>
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

} // namespace
