// Guards that set, for one scope, the orders where the linear-algebra
// kernels change to their blocked or multishift forms, and put back what
// they found: tests and benchmarks reach those forms at orders of their
// choice. Header only, with no test framework: the benchmarks include it.
#pragma once

#include "linalg/kernels.hpp"

#include <limits>
#include <string>

namespace test {

// hessenberg_blocking_order and complex_hessenberg_blocking_order for the
// scope; 0 for no panels at all.
class HessenbergBlocking {
public:
    explicit HessenbergBlocking(int order)
    {
        hessenberg_blocking_order = complex_hessenberg_blocking_order =
            order == 0 ? std::numeric_limits<int>::max() : order;
    }
    ~HessenbergBlocking()
    {
        hessenberg_blocking_order = saved_;
        complex_hessenberg_blocking_order = saved_complex_;
    }
    HessenbergBlocking(const HessenbergBlocking&) = delete;
    HessenbergBlocking& operator=(const HessenbergBlocking&) = delete;
    std::string label() const
    {
        return hessenberg_blocking_order == std::numeric_limits<int>::max()
                   ? std::string("plain")
                   : "blocking order " + std::to_string(hessenberg_blocking_order);
    }

private:
    int saved_ = hessenberg_blocking_order, saved_complex_ = complex_hessenberg_blocking_order;
};

// The multishift iteration, real and complex, for every block above order
// 75 (where the small-block iteration takes over anyway) while it lives.
class MultishiftEverywhere {
public:
    MultishiftEverywhere()
    {
        multishift_values_order = multishift_vectors_order = 75;
        complex_multishift_values_order = complex_multishift_vectors_order = 75;
    }
    ~MultishiftEverywhere()
    {
        multishift_values_order = values_;
        multishift_vectors_order = vectors_;
        complex_multishift_values_order = complex_values_;
        complex_multishift_vectors_order = complex_vectors_;
    }
    MultishiftEverywhere(const MultishiftEverywhere&) = delete;
    MultishiftEverywhere& operator=(const MultishiftEverywhere&) = delete;

private:
    int values_ = multishift_values_order, vectors_ = multishift_vectors_order;
    int complex_values_ = complex_multishift_values_order, complex_vectors_ = complex_multishift_vectors_order;
};

} // namespace test
