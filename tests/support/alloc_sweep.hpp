// The allocation-failure sweep: a statement is run once for every N, with the
// N-th allocation from its start refused, under an error hook that returns
// (the host's choice), until a run completes without a refusal. Each run must
// not crash, must give back every block it took, and, for an assignment,
// must leave its target exactly as it was.
//
// To sweep a subsystem's statements, add a file to its test folder (one is
// enough; tests/value/alloc_failure_test.cpp shows the shape):
//
//     #include "alloc_sweep.hpp"
//     TEST(AllocationFailure, Strings)
//     {
//         test::sweep_allocations({
//             // what       target x     statement on x
//             {"upper", test::text("ab"), [](Mm& x) { x = upper(x); }},
//             // an indexed assignment must leave x as it was when refused
//             {"growth", test::row({1, 2}), [](Mm& x) { x(Mm(9.0)) = Mm(1.0); }, test::keeps_target},
//         });
//     }
//
// Build the operands a statement only reads outside the lambda (captured by
// value), so that a refusal while building them does not count as a change
// of the target.
#pragma once

#include <velkor.h>

#include <functional>
#include <string>
#include <vector>

namespace test {

enum sweep_target { target_may_change = 0, keeps_target = 1 };

struct sweep_case {
    const char* what;
    Mm start;                            // the target, named "x" while the statement runs
    std::function<void(Mm& x)> statement;
    sweep_target target = target_may_change;
};

void sweep_allocations(const std::vector<sweep_case>& cases);

// While it lives, errors go to a hook that records them and returns, as a
// host that goes on after an error would have it.
class returning_errors {
public:
    returning_errors();
    ~returning_errors();
    returning_errors(const returning_errors&) = delete;
    returning_errors& operator=(const returning_errors&) = delete;
    const std::vector<std::string>& reports() const;

private:
    qv_text_handler previous_;
};

// Every bit of a value that a program can observe: type, flags, extents,
// elements (those of cells and structs, recursively), field names.
std::string fingerprint(const Mm& x);

} // namespace test
