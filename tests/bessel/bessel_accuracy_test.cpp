// Accuracy of the Bessel, Hankel and Airy functions against mpmath on
// complex arguments in every region of the package (series, Miller, large
// |z|, uniform expansions above FNUL, continuation into the left half
// plane), unscaled and scaled, including negative orders.
#include "bessel/amos.hpp"
#include "test_support.hpp"
#include "velkor.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Reference {
    char f;
    double nu, zr, zi;
    int scaled;
    double re, im, envelope;
};

const std::vector<Reference> reference = {
#include "data/bessel_reference.inc"
};

Mm argument(double zr, double zi)
{
    if (zi == 0)
        return Mm(zr);
    Mm z(1, 0, 0, 1, 1, qv_double);
    z.addr()[0] = zr;
    z.addi()[0] = zi;
    return z;
}

Mm evaluate(const Reference& c, Mm& status)
{
    Mm v, z = argument(c.zr, c.zi), nu(c.nu), scale(double(c.scaled));
    switch (c.f) {
    case 'J': besselj(nu, z, scale, i_o, v, status); break;
    case 'Y': bessely(nu, z, scale, i_o, v, status); break;
    case 'I': besseli(nu, z, scale, i_o, v, status); break;
    case 'K': besselk(nu, z, scale, i_o, v, status); break;
    case '1': besselh(nu, Mm(1.0), z, scale, i_o, v, status); break;
    case '2': besselh(nu, Mm(2.0), z, scale, i_o, v, status); break;
    default: {
        // The Airy drivers directly: the language never scales them, and a
        // scaled Ai is complex on the negative real axis.
        int id = int(c.nu), kode = c.scaled + 1, nz = 0, ierr = 0;
        v = Mm(1, 0, 0, 1, 1, qv_double);
        if (c.f == 'a')
            amos::ZAIRY(&c.zr, &c.zi, &id, &kode, v.addr(), v.addi(), &nz, &ierr);
        else
            amos::ZBIRY(&c.zr, &c.zi, &id, &kode, v.addr(), v.addi(), &ierr);
        status = Mm(double(ierr));
        break;
    }
    }
    return v;
}

// Error relative to the value, or to the neighbouring magnitude near a zero.
double relative_error(const Reference& c, const Mm& v)
{
    double vr = v.addr()[0], vi = v.addi() ? v.addi()[0] : 0.0;
    double err = std::hypot(vr - c.re, vi - c.im);
    double scale = std::fmax(std::hypot(c.re, c.im), c.envelope);
    return scale == 0 ? err : err / scale;
}

TEST(BesselAccuracy, MatchesMpmathAcrossRegions)
{
    int bad = 0;
    double worst = 0;
    for (const Reference& c : reference) {
        Mm status;
        Mm v = evaluate(c, status);
        double e = relative_error(c, v);
        worst = std::fmax(worst, e);
        if (!(e <= 1e-13)) {
            if (++bad <= 60)
                ADD_FAILURE() << c.f << " nu=" << c.nu << " z=(" << c.zr << "," << c.zi << ") scaled=" << c.scaled
                              << " got (" << v.addr()[0] << "," << (v.addi() ? v.addi()[0] : 0.0) << ") want ("
                              << c.re << "," << c.im << ") rel " << e << " status " << status.addr()[0];
        }
    }
    EXPECT_EQ(bad, 0) << "worst relative error " << worst;
    RecordProperty("worst_relative_error", std::to_string(worst));
}

} // namespace
