// The column update inside a narrow panel of the normal matrix's factor,
// in vector registers where the processor has them.
#pragma once

// col[r] -= L[c][r] * w[c] for r in 0 .. rows-1, the columns c = 0 .. cols-1
// taken in order and each product rounded before it is subtracted: every
// element sees the operations of one rank-one update after another, so the
// vector copy and the plain one give the same bits.
void lp_panel_update(int rows, int cols, const double* const* L, const double* w, double* col);
