// The BLAS glue of linear algebra: the split complex matrix product (kept
// with the engine's product) and the BLAS thread policy (a platform layer),
// with every other kernel.
#pragma once

#include "engine/split_gemm.hpp"
#include "linalg/kernels.hpp"
#include "platform/blas_threads.hpp"
