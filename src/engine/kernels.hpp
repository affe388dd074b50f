// The element kernels behind the operation engine, and the engine's path
// for sparse operands.
#pragma once

#include <cstddef>
#include <cstdint>

class Mm;
enum op_t : int;

// Fill the engine's freshly allocated result by operation code. n is the
// extent along the working dimension of a reduction, inner and outer the
// products of the extents before and after it (0, 1, 1 for element-wise work).
void op_core_double(Mm& r, int complex, const Mm& a, const Mm& b, op_t op, std::int64_t n, std::int64_t inner,
                    std::int64_t outer, Mm& index_out);
void op_core_uint8(Mm& r, int complex, const Mm& a, const Mm& b, op_t op, std::int64_t n, std::int64_t inner,
                   std::int64_t outer, Mm& index_out);

// The real element-wise operations (+ - .* ./ and the comparisons) written
// over the operand t of n elements, u being the other operand (one element
// when u_scalar). False, with nothing written, for any other code.
bool op_over_double(double* t, const double* u, std::size_t n, bool u_scalar, bool t_first, op_t op);

// The engine's road for an operation with a sparse operand.
Mm sparse_path(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out);

// A complex operand whose imaginary parts are all zero seen as real, on the
// caller's own copy: a double or a byte value alike, so that a complex byte
// value is compared as its double form would be.
void drop_zero_imaginary(Mm& own);

// Whether the caller wants the positions of max and min: l_M means no.
bool index_wanted(const Mm& index_out);

// Whether an element-wise code reads its first operand only.
bool is_one_operand(op_t op);
