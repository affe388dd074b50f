// Exact-sign geometric predicates. An expansion is a sum of doubles whose
// magnitudes do not overlap, stored in increasing magnitude; its sign is the
// sign of its last component. The error-free transformations below (sum and
// product of two doubles as an exact pair) build every expansion.
#include "signal/robust_predicates.hpp"

#include <cmath>

namespace {

constexpr double unit = 0x1p-53;  // half an ulp of 1
constexpr double orient_bound = (3.0 + 16.0 * unit) * unit;
constexpr double circle_bound = (10.0 + 96.0 * unit) * unit;

inline void two_sum(double a, double b, double& x, double& y)
{
    x = a + b;
    const double bv = x - a, av = x - bv;
    y = (a - av) + (b - bv);
}

inline void two_diff(double a, double b, double& x, double& y)
{
    x = a - b;
    const double bv = a - x, av = x + bv;
    y = (a - av) + (bv - b);
}

inline void fast_two_sum(double a, double b, double& x, double& y)
{
    x = a + b;
    y = b - (x - a);
}

// Veltkamp's split into two halves of 26 bits each.
inline void split(double a, double& hi, double& lo)
{
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double big = c - a;
    hi = c - big;
    lo = a - hi;
}

// Dekker's exact product (no fused multiply-add is assumed).
inline void two_product(double a, double b, double& x, double& y)
{
    x = a * b;
    double ahi, alo, bhi, blo;
    split(a, ahi, alo);
    split(b, bhi, blo);
    const double e1 = x - ahi * bhi, e2 = e1 - alo * bhi, e3 = e2 - ahi * blo;
    y = alo * blo - e3;
}

// An expansion over caller storage of sufficient room.
struct expansion {
    double* c;
    int n = 0;
};

// h += b in place (room for h.n + 1 components), zero components dropped.
void grow(expansion& h, double b)
{
    double q = b;
    int k = 0;
    for (int i = 0; i < h.n; ++i) {
        double sum, tail;
        two_sum(q, h.c[i], sum, tail);
        q = sum;
        if (tail != 0)
            h.c[k++] = tail;
    }
    if (q != 0 || k == 0)
        h.c[k++] = q;
    h.n = k;
}

void add(expansion& h, const expansion& f)
{
    for (int i = 0; i < f.n; ++i)
        grow(h, f.c[i]);
}

// h = e * b (room for 2 e.n components).
void scale(const expansion& e, double b, expansion& h)
{
    double q, tail;
    two_product(e.c[0], b, q, tail);
    int k = 0;
    if (tail != 0)
        h.c[k++] = tail;
    for (int i = 1; i < e.n; ++i) {
        double p1, p0, sum;
        two_product(e.c[i], b, p1, p0);
        two_sum(q, p0, sum, tail);
        if (tail != 0)
            h.c[k++] = tail;
        fast_two_sum(p1, sum, q, tail);
        if (tail != 0)
            h.c[k++] = tail;
    }
    if (q != 0 || k == 0)
        h.c[k++] = q;
    h.n = k;
}

// h = e * f (room for 2 e.n f.n components; work for 2 e.n).
void multiply(const expansion& e, const expansion& f, expansion& h, double* work)
{
    h.n = 0;
    expansion t{work};
    for (int j = 0; j < f.n; ++j) {
        scale(e, f.c[j], t);
        add(h, t);
    }
    if (h.n == 0)
        h.c[h.n++] = 0;
}

double sign_of(const expansion& e) { return e.c[e.n - 1]; }

double orient_exact(double ax, double ay, double bx, double by, double cx, double cy)
{
    // (ax - cx)(by - cy) - (ay - cy)(bx - cx) multiplied out: six products
    double room[13];
    expansion h{room};
    const double terms[6][2] = {{ax, by}, {-ax, cy}, {-cx, by}, {-ay, bx}, {ay, cx}, {cy, bx}};
    for (const auto& t : terms) {
        double p, tail;
        two_product(t[0], t[1], p, tail);
        grow(h, tail);
        grow(h, p);
    }
    return sign_of(h);
}

// u*v - w*z for exact doubles: four components at most.
void cross(double u, double v, double w, double z, expansion& h)
{
    double p1, p0, q1, q0;
    two_product(u, v, p1, p0);
    two_product(-w, z, q1, q0);
    h.n = 0;
    grow(h, p0);
    grow(h, p1);
    grow(h, q0);
    grow(h, q1);
}

// The in-circle determinant when the six differences are exact doubles.
double incircle_exact_differences(double adx, double ady, double bdx, double bdy, double cdx, double cdy)
{
    double bcr[5], car[5], abr[5], lr[5], work[16], termr[40], total[130];
    expansion bc{bcr}, ca{car}, ab{abr}, lift{lr}, term{termr}, det{total};
    cross(bdx, cdy, cdx, bdy, bc);
    cross(cdx, ady, adx, cdy, ca);
    cross(adx, bdy, bdx, ady, ab);
    const double p[3][2] = {{adx, ady}, {bdx, bdy}, {cdx, cdy}};
    const expansion* minors[3] = {&bc, &ca, &ab};
    for (int k = 0; k < 3; ++k) {
        cross(p[k][0], p[k][0], -p[k][1], p[k][1], lift);  // x^2 + y^2
        multiply(lift, *minors[k], term, work);
        add(det, term);
    }
    return det.n > 0 ? sign_of(det) : 0.0;
}

// The general case: every difference as a two-component expansion.
double incircle_exact(double ax, double ay, double bx, double by, double cx, double cy, double dx, double dy)
{
    double d[6][2];
    expansion dv[6];
    const double pairs[6][2] = {{ax, dx}, {ay, dy}, {bx, dx}, {by, dy}, {cx, dx}, {cy, dy}};
    for (int k = 0; k < 6; ++k) {
        double x, y;
        two_diff(pairs[k][0], pairs[k][1], x, y);
        dv[k].c = d[k];
        dv[k].n = 0;
        if (y != 0)
            d[k][dv[k].n++] = y;
        d[k][dv[k].n++] = x;
    }
    // products of two differences: 8 components; minors and lifts: 16
    double w1[8], w2[8], work[64], minor_room[3][17], lift_room[17], term_room[520], total_room[1600];
    expansion p1{w1}, p2{w2}, lift{lift_room}, term{term_room}, det{total_room};
    expansion minors[3] = {{minor_room[0]}, {minor_room[1]}, {minor_room[2]}};
    // minor k: (u_x * v_y - v_x * u_y) for the two other points u, v
    const int other[3][2] = {{1, 2}, {2, 0}, {0, 1}};
    for (int k = 0; k < 3; ++k) {
        const expansion& ux = dv[2 * other[k][0]];
        const expansion& uy = dv[2 * other[k][0] + 1];
        const expansion& vx = dv[2 * other[k][1]];
        const expansion& vy = dv[2 * other[k][1] + 1];
        multiply(ux, vy, p1, work);
        multiply(vx, uy, p2, work);
        minors[k].n = 0;
        add(minors[k], p1);
        for (int i = 0; i < p2.n; ++i)
            grow(minors[k], -p2.c[i]);
    }
    for (int k = 0; k < 3; ++k) {
        const expansion& x = dv[2 * k];
        const expansion& y = dv[2 * k + 1];
        multiply(x, x, p1, work);
        multiply(y, y, p2, work);
        lift.n = 0;
        add(lift, p1);
        add(lift, p2);
        multiply(lift, minors[k], term, work);
        add(det, term);
    }
    return det.n > 0 ? sign_of(det) : 0.0;
}

} // namespace

double orient2d(double ax, double ay, double bx, double by, double cx, double cy) noexcept
{
    const double left = (ax - cx) * (by - cy), right = (ay - cy) * (bx - cx);
    const double det = left - right;
    const double bound = orient_bound * (std::fabs(left) + std::fabs(right));
    if (det > bound || -det > bound)
        return det;
    return orient_exact(ax, ay, bx, by, cx, cy);
}

double incircle(double ax, double ay, double bx, double by, double cx, double cy, double dx, double dy) noexcept
{
    const double adx = ax - dx, ady = ay - dy, bdx = bx - dx, bdy = by - dy, cdx = cx - dx, cdy = cy - dy;
    const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy, alift = adx * adx + ady * ady;
    const double cdxady = cdx * ady, adxcdy = adx * cdy, blift = bdx * bdx + bdy * bdy;
    const double adxbdy = adx * bdy, bdxady = bdx * ady, clift = cdx * cdx + cdy * cdy;
    const double det = alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
    const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                             (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                             (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
    const double bound = circle_bound * permanent;
    if (det > bound || -det > bound)
        return det;
    // differences that are exact doubles (nearby points, grids) need no tails
    double t;
    bool exact = true;
    const double pairs[6][3] = {{ax, dx, adx}, {ay, dy, ady}, {bx, dx, bdx}, {by, dy, bdy}, {cx, dx, cdx}, {cy, dy, cdy}};
    for (const auto& p : pairs) {
        double x;
        two_diff(p[0], p[1], x, t);
        exact = exact && t == 0;
    }
    if (exact)
        return incircle_exact_differences(adx, ady, bdx, bdy, cdx, cdy);
    return incircle_exact(ax, ay, bx, by, cx, cy, dx, dy);
}
