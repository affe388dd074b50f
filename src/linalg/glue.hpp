// The BLAS glue of linear algebra: the BLAS thread policy (a platform layer)
// with every kernel, the split complex matrix product among them.
#pragma once

#include "linalg/kernels.hpp"
#include "platform/blas_threads.hpp"
