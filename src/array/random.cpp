// The process-wide random generators of rand and randn: their state at load
// (constant-initialised, so no load order can see it unset), draws under
// runtime lock 1, the state and seed conversions, and the 'state' and 'seed'
// text forms.
#include "array/random.hpp"

#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "value/runtime.hpp"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstring>

namespace {

// The reset values of the subtract-with-borrow elements, kept as 64-bit
// patterns with both 32-bit words XORed with k * 0x08020101.
struct stored_pattern {
    std::uint32_t high, low;
};
constexpr stored_pattern uniform_reset_patterns[32] = {
#include "array/uniform_reset_table.inc"
};

constexpr void uniform_reset_elements(double* x) noexcept
{
    for (std::uint32_t k = 0; k < 32; ++k) {
        const std::uint32_t key = k * 0x08020101u;
        const std::uint64_t bits = (std::uint64_t(uniform_reset_patterns[k].high ^ key) << 32) |
                                   (uniform_reset_patterns[k].low ^ key);
        x[k] = std::bit_cast<double>(bits);
    }
}

constexpr std::uint32_t uniform_j_default = 0x80000000u;
constexpr double seed_state_at_load = 1144108930.0;
constexpr std::uint32_t normal_x_at_load = 362436069u;
constexpr std::uint32_t normal_y_at_load = 521288629u;
constexpr double two_32 = 4294967296.0;

constexpr random_generators_t generators_at_load() noexcept
{
    random_generators_t g{};
    uniform_reset_elements(g.uniform_state.x);
    g.uniform_state.i = 0;
    g.uniform_state.borrow = 0;
    g.uniform_state.j = uniform_j_default;
    g.uniform_seed = seed_state_at_load;
    g.normal_state = {normal_x_at_load, normal_y_at_load, 0};
    g.normal_seed = seed_state_at_load;
    g.uniform_method = random_method_state;
    g.normal_method = random_method_state;
    return g;
}

// The low 32 bits of x truncated toward zero, exact for every finite double;
// NaN gives 0 and the infinities saturate (+Inf to all ones, -Inf to 0).
std::uint32_t low_word(double x) noexcept
{
    if (x != x)
        return 0;
    if (std::isinf(x))
        return x > 0 ? 0xFFFFFFFFu : 0u;
    double r = std::fmod(std::trunc(x), two_32);  // exact, within (-2^32, 2^32)
    if (r < 0)
        r += two_32;  // exact: an integer below 2^33
    return static_cast<std::uint32_t>(r);
}

inline std::uint32_t swap_halves(std::uint32_t d) noexcept { return (d >> 16) | (d << 16); }

// One Park-Miller step on a shared state, under the lock.
double locked_park_miller(double& s)
{
    mt_lock guard(lock_random);
    s = park_miller_step(s);
    return s;
}

// The polar method on Park-Miller steps; the second normal of each pair is
// not kept. State 0 is absorbing (every later pair is (-1, -1), never inside
// the unit circle), so a draw from it gives NaN instead of looping for ever.
template <class Step>
double polar_draw(Step&& step)
{
    for (;;) {
        const double g = 2 * (step() * park_miller_scale) - 1;
        const double s = step();
        const double h = 2 * (s * park_miller_scale) - 1;
        const double w = g * g + h * h;
        if (w > 0 && w <= 1)
            return g * std::sqrt(-2 * std::log(w) / w);
        if (s == 0)
            return NAN;
    }
}

void set_method(random_distribution which, int method)
{
    mt_lock guard(lock_random);
    (which == random_uniform ? random_generators.uniform_method : random_generators.normal_method) = method;
}

} // namespace

constinit random_generators_t random_generators = generators_at_load();

// ---- draws ----

double uniform_draw()
{
    mt_lock guard(lock_random);
    random_generators_t& g = random_generators;
    if (g.uniform_method == random_method_seed)
        return uniform_seed_next(g.uniform_seed);
    return uniform_state_next(g.uniform_state);
}

double normal_state_draw()
{
    mt_lock guard(lock_random);
    return normal_state_next(random_generators.normal_state);
}

double normal_seed_draw()
{
    return polar_draw([] { return locked_park_miller(random_generators.normal_seed); });
}

double normal_draw()
{
    int method;
    {
        mt_lock guard(lock_random);
        method = random_generators.normal_method;
    }
    return method == random_method_seed ? normal_seed_draw() : normal_state_draw();
}

// Outside multi-thread mode a fill runs on a private copy of the state and
// stores it back once; in multi-thread mode every draw takes the lock, so
// fills on several threads interleave on one shared sequence.
void uniform_fill(double* out, int n)
{
    if (qv_mt_mode) {
        for (int k = 0; k < n; ++k)
            out[k] = uniform_draw();
        return;
    }
    random_generators_t& g = random_generators;
    if (g.uniform_method == random_method_seed) {
        double s = g.uniform_seed;
        for (int k = 0; k < n; ++k)
            out[k] = uniform_seed_next(s);
        g.uniform_seed = s;
        return;
    }
    uniform_state_t st = g.uniform_state;
    for (int k = 0; k < n; ++k)
        out[k] = uniform_state_next(st);
    g.uniform_state = st;
}

void normal_fill(double* out, int n)
{
    if (qv_mt_mode) {
        for (int k = 0; k < n; ++k)
            out[k] = normal_draw();
        return;
    }
    random_generators_t& g = random_generators;
    if (g.normal_method == random_method_seed) {
        double s = g.normal_seed;
        auto step = [&s] { return s = park_miller_step(s); };
        for (int k = 0; k < n; ++k)
            out[k] = polar_draw(step);
        g.normal_seed = s;
        return;
    }
    normal_state_t st = g.normal_state;
    for (int k = 0; k < n; ++k)
        out[k] = normal_state_next(st);
    g.normal_state = st;
}

// ---- state and seed ----

void uniform_state_reset(double seed)
{
    std::uint32_t j;
    if (seed == 0 || seed != seed)
        j = uniform_j_default;
    else if (seed > 0 && seed < two_32)
        j = static_cast<std::uint32_t>(seed);
    else if (seed < 0 && seed > -two_32) {
        // Just below 0 the sum rounds up to 2^32, whose truncation is all ones.
        double wrapped = seed + two_32;
        j = wrapped < two_32 ? static_cast<std::uint32_t>(wrapped) : 0xFFFFFFFFu;
    } else
        j = 0xFFFFFFFFu;
    mt_lock guard(lock_random);
    uniform_state_t& g = random_generators.uniform_state;
    uniform_reset_elements(g.x);
    g.i = 0;
    g.borrow = 0;
    g.j = j;
}

void uniform_state_get(double* out)
{
    mt_lock guard(lock_random);
    const uniform_state_t& g = random_generators.uniform_state;
    std::memcpy(out, g.x, sizeof g.x);
    out[32] = g.borrow * 0x1p-53;
    out[33] = g.i * 0x1p-52;
    out[34] = g.j * 0x1p-52;
}

// The elements are taken as they are; the index is confined to 0..31 (the
// draw indexes the elements with it), so a vector that was not read out of
// the generator can never make a draw read outside them.
void uniform_state_set(const double* in)
{
    const double index = in[33] * 0x1p52;
    const int i = index != index ? 0 : (saturate_to_int(index) & 31);
    const int borrow = saturate_to_int(in[32] * 0x1p53) != 0;
    const std::uint32_t j = low_word(in[34] * 0x1p52);
    mt_lock guard(lock_random);
    uniform_state_t& g = random_generators.uniform_state;
    std::memcpy(g.x, in, sizeof g.x);
    g.i = i;
    g.borrow = borrow;
    g.j = j;
}

void normal_state_reset()
{
    mt_lock guard(lock_random);
    random_generators.normal_state = {normal_x_at_load, normal_y_at_load, 0};
}

void normal_state_get(double* out)
{
    mt_lock guard(lock_random);
    out[0] = random_generators.normal_state.x;
    out[1] = random_generators.normal_state.y;
}

void normal_state_set(const double* in)
{
    const std::uint32_t x = low_word(in[0]), y = low_word(in[1]);
    mt_lock guard(lock_random);
    random_generators.normal_state.x = x;
    random_generators.normal_state.y = y;
}

// Seeds from 1 to 2^31 - 1 map one to one onto states below 2^31.
double seed_to_state(double y)
{
    std::uint32_t d = low_word(y);
    if (d == 0)
        d = 931316785u;
    if (d & 0x8000u)
        d ^= 0x80008000u;
    return swap_halves(d);
}

double state_to_seed(double s)
{
    std::uint32_t l = swap_halves(low_word(s));
    if (l & 0x80000000u)
        l ^= 0x80008000u;
    return l;
}

// ---- the text forms ----

bool random_text_form(random_distribution which, const Mm& a, const Mm* y, Mm& out)
{
    char text[2048];
    Mstr_row(a, text, sizeof text);
    const bool state = std::strcmp(text, "state") == 0;
    if (!state && std::strcmp(text, "seed") != 0)
        return false;
    const bool uniform = which == random_uniform;

    if (!y) {  // the reading forms leave the method alone
        if (state) {
            const int n = uniform ? 35 : 2;
            Mm r(0, 0, 0, n, 1, qv_double);
            if (r.getnnz() == n)  // else the allocation failed under a returning hook
                uniform ? uniform_state_get(r.addr()) : normal_state_get(r.addr());
            out = r;
        } else {
            double s;
            {
                mt_lock guard(lock_random);
                s = uniform ? random_generators.uniform_seed : random_generators.normal_seed;
            }
            out = Mm(state_to_seed(s));
        }
        return true;
    }

    // The method switches before y is looked at, even when y is refused.
    set_method(which, state ? random_method_state : random_method_seed);
    out = x_M;
    if (error_numeric(*y, uniform ? "rand" : "randn"))
        return true;
    const int n = y->size();
    if (!state) {
        // An empty y has no first element: it seeds like 0.
        const double s = seed_to_state(n > 0 ? number_at(*y, 0) : 0.0);
        mt_lock guard(lock_random);
        (uniform ? random_generators.uniform_seed : random_generators.normal_seed) = s;
        return true;
    }
    if (uniform) {
        if (n == 1) {
            uniform_state_reset(number_at(*y, 0));
        } else if (n == 35) {
            double v[35];
            for (int k = 0; k < 35; ++k)
                v[k] = number_at(*y, k);
            uniform_state_set(v);
        } else {
            error("rand('state',y): y must be scalar or 35-element state vector");
        }
    } else {
        if (n == 1) {
            normal_state_reset();
        } else if (n == 2) {
            const double v[2] = {number_at(*y, 0), number_at(*y, 1)};
            normal_state_set(v);
        } else {
            error("randn('state',y): y must be scalar or 2-element state vector");
        }
    }
    return true;
}
