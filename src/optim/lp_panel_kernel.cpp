// Eight rows at a time stay in registers while the panel's columns pass
// over them: the column is read and written once, not once per column.
#include "optim/lp_panel_kernel.hpp"

#include "platform/cpu.hpp"

namespace {

inline void panel_update_body(int rows, int cols, const double* const* L, const double* w, double* col)
{
    int r = 0;
    for (; r + 8 <= rows; r += 8) {
        double acc[8];
        for (int i = 0; i < 8; ++i)
            acc[i] = col[r + i];
        for (int c = 0; c < cols; ++c) {
            const double* l = L[c] + r;
            const double wc = w[c];
            for (int i = 0; i < 8; ++i)
                acc[i] -= l[i] * wc;
        }
        for (int i = 0; i < 8; ++i)
            col[r + i] = acc[i];
    }
    for (; r < rows; ++r) {
        double a = col[r];
        for (int c = 0; c < cols; ++c)
            a -= L[c][r] * w[c];
        col[r] = a;
    }
}

void panel_update_plain(int rows, int cols, const double* const* L, const double* w, double* col)
{
    panel_update_body(rows, cols, L, w, col);
}

using panel_update_kernel = decltype(&panel_update_plain);

// AVX2 without FMA: a fused multiply-add would round once where the plain
// copy rounds twice.
NUMRUN_TARGET_AVX2 void panel_update_avx2(int rows, int cols, const double* const* L, const double* w, double* col)
{
    panel_update_body(rows, cols, L, w, col);
}

} // namespace

void lp_panel_update(int rows, int cols, const double* const* L, const double* w, double* col)
{
    static const panel_update_kernel chosen = platform::pick_kernel(panel_update_plain, panel_update_avx2);
    chosen(rows, cols, L, w, col);
}
