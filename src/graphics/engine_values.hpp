// Values in the engine's layout (miniM): built and destroyed by the library
// for what it sends, converted to and from Mm.
#pragma once

#include "vizmo4510.h"

class Mm;

// Builds a zero-filled miniM of the given shape; data is null when empty.
void minim_build(miniM& m, int ndims, const int* dims, int is_string);
// Rows x cols, three-dimensional only when pages > 0.
void minim_build(miniM& m, int rows, int cols, int pages, int is_string);
void minim_destroy(miniM& m);
long long minim_numel(const miniM& m);
inline int minim_ndims(const miniM& m) { return m.ndims; }
inline const int* minim_dims(const miniM& m) { return m.dims; }
inline bool minim_is_string(const miniM& m) { return m.isString != 0; }
// Address of the element at 0-based offset i, 0 <= i <= numel.
double* minim_addr(miniM& m, long long i);
// The element with 1-based index i.
double& minim_r(miniM& m, long long i);

void minim_from_value(miniM& m, const Mm& x);
// A uint8 value's own bytes, lent for one engine call (which copies them).
miniM minim_lend_bytes(const Mm& x);
Mm value_from_minim(miniM& m);

// Owns a miniM the library built, for the length of one engine call.
class owned_minim {
public:
    explicit owned_minim(const Mm& x) { minim_from_value(m_, x); }
    ~owned_minim() { minim_destroy(m_); }
    owned_minim(const owned_minim&) = delete;
    owned_minim& operator=(const owned_minim&) = delete;
    miniM* get() { return &m_; }

private:
    miniM m_{};
};
