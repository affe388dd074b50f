// Bounded conversion of dialog texts, shared by the dialogs, the file
// choosers and the controls.
#include "gui/dialog_text.hpp"

#include "engine/scalar_real.hpp"
#include "velkor/report.h"

#include <cstring>
#include <vector>

std::string bounded_text(const Mm& x, int size)
{
    const int need = Mstr_size(x);
    if (need > size) {
        warning("Mstr: buffer too small - chopped");
        return {};
    }
    std::vector<char> buf(static_cast<std::size_t>(need) + 1, '\0');
    Mstr(x, buf.data(), need);
    return std::string(buf.data());
}

std::string matrix_row(const Mm& m, int r)
{
    std::string out;
    const int cols = m.rows() > 0 ? m.getnnz() / m.rows() : 0;
    out.reserve(static_cast<std::size_t>(cols));
    if (m.gettype() == qv_uint8) {
        const unsigned char* p = m.getpr(static_cast<unsigned char*>(nullptr));
        for (int c = 0; c < cols; ++c)
            out.push_back(static_cast<char>(p[(r - 1) + static_cast<std::ptrdiff_t>(c) * m.rows()]));
    } else if (m.gettype() == qv_double) {
        const double* p = m.getpr(static_cast<double*>(nullptr));
        for (int c = 0; c < cols; ++c)
            out.push_back(static_cast<char>(double_to_byte(p[(r - 1) + static_cast<std::ptrdiff_t>(c) * m.rows()])));
    }
    return out;
}
