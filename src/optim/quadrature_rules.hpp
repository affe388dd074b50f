// The nested 10-, 21-, 43- and 87-point rules of quad8: the positive nodes
// (largest first) new to each rule and the weights, shared with the tests
// that prove their degrees of exactness.
#pragma once

namespace quadrature_rules {
#include "optim/quadrature_rules.inc"
} // namespace quadrature_rules
