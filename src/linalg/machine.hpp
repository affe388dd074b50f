// The machine constants by code: declared with every other kernel.
#pragma once

#include "linalg/kernels.hpp"
