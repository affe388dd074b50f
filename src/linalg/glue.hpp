// The split complex matrix product: declared with every other kernel.
#pragma once

#include "linalg/kernels.hpp"
