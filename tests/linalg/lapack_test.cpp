// The checked LAPACK wrappers: an argument error recorded by xerbla_ becomes
// the library's error once LAPACK has returned, and a later call starts
// clean.
#include "linalg/lapack.hpp"
#include "test_support.hpp"

#include <functional>
#include <vector>

namespace {

TEST(Lapack, IllegalArgumentsAreReportedAfterLapackReturns)
{
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* message;
    };
    double a[4] = {1, 2, 3, 4};
    int piv[2];
    const std::vector<Case> cases = {
        {"negative rows", [&] { lapack::getrf(-1, 2, a, 2, piv); },
         "** On entry to DGETRF parameter number 1 had an illegal value"},
        {"lda below n", [&] { lapack::getrf(2, 2, a, 1, piv); },
         "** On entry to DGETRF parameter number 4 had an illegal value"},
        {"unknown transpose", [&] { lapack::getrs('Q', 2, 1, a, 2, piv, a, 2); },
         "** On entry to DGETRS parameter number 1 had an illegal value"},
        {"unknown triangle", [&] { lapack::potrf('X', 2, a, 2); },
         "** On entry to DPOTRF parameter number 1 had an illegal value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.call(), c.message);
    }
    // The record does not outlive its call.
    double b[4] = {4, 2, 2, 3};
    EXPECT_EQ(lapack::potrf('U', 2, b, 2), 0);
    EXPECT_EQ(b[0], 2);
}

TEST(Lapack, XerblaOnlyRecords)
{
    const int param = 7;
    xerbla_("DGEMM ", &param, 6);
    const lapack_argument_error e = lapack_take_argument_error();
    EXPECT_STREQ(e.routine, "DGEMM");
    EXPECT_EQ(e.parameter, 7);
    EXPECT_EQ(lapack_take_argument_error().parameter, 0);
}

} // namespace
