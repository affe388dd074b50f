// The random generators: their state types and per-draw kernels (inline, so a
// fill loop runs on a private copy of the state in registers), and the
// process-wide generators that rand, randn and the constructors draw from.
#pragma once

#include "bessel/to_double.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

class Mm;

// ---- uniform: subtract-with-borrow mixed with a xorshift word ----

struct uniform_state_t {
    double x[32];      // each in [0, 1)
    int i;             // next element to replace, 0 to 31
    int borrow;        // 0 or 1
    std::uint32_t j;   // xorshift word
};

inline double uniform_state_next(uniform_state_t& g) noexcept
{
    const int i = g.i;
    double v = g.x[(i + 20) & 31] - g.x[(i + 5) & 31];
    // The borrow is a coin toss, so both steps select through bit masks
    // rather than branch. Subtracting +0 leaves every value (-0 included).
    const std::uint64_t borrow_mask = 0 - std::uint64_t(g.borrow != 0);
    v -= std::bit_cast<double>(borrow_mask & std::bit_cast<std::uint64_t>(0x1p-53));
    const int negative = v < 0;
    const std::uint64_t wrap_mask = 0 - std::uint64_t(negative);
    const std::uint64_t plain = std::bit_cast<std::uint64_t>(v), wrapped = std::bit_cast<std::uint64_t>(v + 1.0);
    v = std::bit_cast<double>((wrapped & wrap_mask) | (plain & ~wrap_mask));
    g.borrow = negative;
    g.x[i] = v;
    g.i = (i + 1) & 31;
    const std::uint32_t j_old = g.j;
    std::uint32_t j = j_old ^ (j_old << 13);
    j ^= j >> 17;
    j ^= j << 5;
    g.j = j;
    // Only fraction bits change, so the result stays in [0, 1).
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v) ^ j_old ^ (std::uint64_t(j & 0xFFFFFu) << 32);
    return std::bit_cast<double>(bits);
}

// ---- Park-Miller minimal standard generator, shared by both 'seed' methods ----

inline constexpr double park_miller_scale = 4.656612875245797e-10;  // nearest double to 1/(2^31 - 1)

// s * 16807 mod (2^31 - 1), exact. The state is always an integer in
// [0, 2^31 - 1] (seed_to_state makes it so and a step keeps it so), so the
// product fits in 64 bits and the integer remainder is the exact one.
inline double park_miller_step(double s) noexcept
{
    return static_cast<double>(static_cast<std::uint64_t>(s) * 16807u % 2147483647u);
}

inline double uniform_seed_next(double& s) noexcept
{
    s = park_miller_step(s);
    return s * park_miller_scale;
}

// ---- normal: table method on a congruential-plus-xorshift source ----

struct normal_state_t {
    std::uint32_t x;  // congruential word
    std::uint32_t y;  // xorshift word
    std::int32_t t;   // the last sum x + y
};

inline constexpr std::array<double, 65> normal_v = {
    0.68189,   0.9146292, 1.0795586, 1.2124854, 1.3263382, 1.427395,  1.519225,  1.6040712, 1.6834454,
    1.7584204, 1.8297896, 1.8981582, 1.964001,  2.0276984, 2.089562,  2.1498508, 2.2087834, 2.2665476,
    2.323306,  2.379202,  2.434363,  2.4889032, 2.542927,  2.59653,   2.6498016, 2.702825,  2.7556798,
    2.8084422, 2.8611858, 2.913983,  2.9669054, 3.0200244, 3.0734122, 3.1271424, 3.1812908, 3.235936,
    3.2911604, 3.347051,  3.4037006, 3.461209,  3.5196844, 3.5792446, 3.6400198, 3.702154,  3.7658088,
    3.8311662, 3.8984332, 3.9678478, 4.0396862, 4.1142712, 4.191986,  4.27329,   4.3587426, 4.449035,
    4.5450372, 4.6478676, 4.7590016, 4.8804436, 5.0150234, 5.1669316, 5.3427832, 5.5539884, 5.5539884,
    5.5539884, 5.5539884,
};

// Successive differences of normal_v to 7 decimal places.
inline constexpr std::array<double, 64> normal_d = {
    0.2327392, 0.1649294, 0.1329268, 0.1138528, 0.1010568, 0.091830,  0.0848462, 0.0793742, 0.0749750,
    0.0713692, 0.0683686, 0.0658428, 0.0636974, 0.0618636, 0.0602888, 0.0589326, 0.0577642, 0.0567584,
    0.055896,  0.055161,  0.0545402, 0.0540238, 0.053603,  0.0532716, 0.0530234, 0.0528548, 0.0527624,
    0.0527436, 0.0527972, 0.0529224, 0.0531190, 0.0533878, 0.0537302, 0.0541484, 0.0546452, 0.0552244,
    0.0558906, 0.0566496, 0.0575084, 0.0584754, 0.0595602, 0.0607752, 0.0621342, 0.0636548, 0.0653574,
    0.0672670, 0.0694146, 0.0718384, 0.0745850, 0.0777148, 0.081304,  0.0854526, 0.0902924, 0.0960022,
    0.1028304, 0.1111340, 0.1214420, 0.1345798, 0.1519082, 0.1758516, 0.2112052, 0.0,       0.0,
    0.0,
};

// normal_v[k + 1] scaled by 2^-32, so the common path is one multiply by the
// source word.
inline constexpr std::array<double, 64> normal_w = [] {
    std::array<double, 64> w{};
    for (int k = 0; k < 64; ++k)
        w[k] = normal_v[k + 1] * 0x1p-32;
    return w;
}();

inline std::int32_t normal_source_step(normal_state_t& g) noexcept
{
    g.x = 69069u * g.x + 1234567u;
    std::uint32_t y = g.y;
    y ^= y << 13;
    y ^= y >> 17;
    y ^= y << 5;
    g.y = y;
    g.t = static_cast<std::int32_t>(g.x + g.y);
    return g.t;
}

inline double normal_source_uniform(std::int32_t t) noexcept { return t * 0x1p-32 + 0.5; }

inline double with_sign_of(double z, double r) noexcept { return r < 0 ? -z : z; }

// The wedge and tail of a draw whose rectangle test failed (about one draw in
// eleven); kept out of line so the common path stays small.
[[gnu::noinline]] inline double normal_state_rest(normal_state_t& g, int k, double r, double a) noexcept
{
    const double v_next = normal_v[k + 1];
    const double w = (v_next - a) / normal_d[k];
    const double u = normal_source_uniform(normal_source_step(g));
    const double c = 1 - u;
    const double q = c + w;
    const double z = 0.4878992 * w;
    if (q <= 0.698802)
        return with_sign_of(z, r);
    if (q >= 1.0310721)
        return r;
    if (12.37586 * std::exp(-z * z / 2) > c + 11.67706)
        return with_sign_of(z, r);
    if (std::exp(-v_next * v_next / 8) + 0.03916606 * u / v_next <= std::exp(-a * a / 8))
        return r;
    double l, m;
    do {
        l = std::log(normal_source_uniform(normal_source_step(g)));
        m = std::log(normal_source_uniform(normal_source_step(g)));
    } while (!(-15.423391352072002 * m >= l * l));
    return r >= 0 ? 2.776994 - 0.3601016062692249 * l : 0.3601016062692249 * l - 2.776994;
}

inline double normal_state_next(normal_state_t& g) noexcept
{
    const std::int32_t t = normal_source_step(g);
    const int k = t & 63;
    const double r = to_double(t * normal_w[k]);
    const double a = 2 * std::fabs(r);
    // For k of 61 to 63 the two table entries are equal and this always holds.
    if (a <= normal_v[k])
        return r;
    // Through a copy, so that a fill loop keeps its state in registers and
    // spills it only on this path.
    normal_state_t spilled = g;
    const double z = normal_state_rest(spilled, k, r, a);
    g = spilled;
    return z;
}

// ---- the process-wide generators ----

// Guarded by runtime lock 1 in multi-thread mode.
struct random_generators_t {
    uniform_state_t uniform_state;
    double uniform_seed;  // Park-Miller state, an integer in [0, 2^31 - 1)
    normal_state_t normal_state;
    double normal_seed;
    int uniform_method;  // random_method_state or random_method_seed
    int normal_method;
};
enum { random_method_state = 0, random_method_seed = 1 };

extern random_generators_t random_generators;

// One draw from the current method of each distribution.
double uniform_draw();
double normal_draw();
double normal_state_draw();
double normal_seed_draw();
// n successive draws, element by element, into out.
void uniform_fill(double* out, int n);
void normal_fill(double* out, int n);

void uniform_state_reset(double seed);
void uniform_state_get(double* out);       // 35 doubles
void uniform_state_set(const double* in);  // 35 doubles
void normal_state_reset();
void normal_state_get(double* out);        // 2 doubles
void normal_state_set(const double* in);   // 2 doubles

// A user's seed to a Park-Miller state and back.
double seed_to_state(double y);
double state_to_seed(double s);

enum random_distribution { random_uniform, random_normal };
// The text forms of rand and randn: when a reads "state" or "seed", carries
// out the reading form (y null) or the setting form and returns true with
// the result in out; otherwise returns false and leaves out alone.
bool random_text_form(random_distribution which, const Mm& a, const Mm* y, Mm& out);
