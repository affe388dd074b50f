// Bessel, Hankel and Airy functions of complex argument and real order.
// Each family returns its value; the forms with i_o also deliver the status
// array: per element 0 (ok), 1 (bad input, NaN), 2 (overflow, Inf),
// 3 (half the digits lost, value kept), 4 (all digits lost, NaN) or
// 5 (no convergence, or a NaN argument; NaN). An overflow of a real value
// carries its sign (+-Inf); at z = 0 each function gives its limit along the
// positive real axis (bessely(-0.5, 0) is 0). A scale of 1 asks for the
// scaled forms: J and Y times exp(-|Im z|), I times exp(-|Re z|), K times
// exp(z), H1 times exp(-iz), H2 times exp(iz).
#pragma once

#include "value.h"

// Ai (k = 0), Ai' (1), Bi (2), Bi' (3); k is truncated toward zero.
Mm airy(const Mm& z);
Mm airy(const Mm& k, const Mm& z);
Mm airy(const Mm& z, i_o_t, Mm& v, Mm& e);
Mm airy(const Mm& k, const Mm& z, i_o_t, Mm& v, Mm& e);

// Hankel functions of kind k (1 or 2).
Mm besselh(const Mm& x);
Mm besselh(const Mm& nu, const Mm& z);
Mm besselh(const Mm& nu, const Mm& k, const Mm& z);
Mm besselh(const Mm& nu, const Mm& k, const Mm& z, const Mm& scale);
Mm besselh(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm besselh(const Mm& nu, const Mm& k, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm besselh(const Mm& nu, const Mm& k, const Mm& z, const Mm& scale, i_o_t, Mm& v, Mm& e);

// The modified Bessel functions I and K, and J and Y. One order gives the
// shape of z; several give numel(z)-by-numel(nu), column j for order j.
Mm besseli(const Mm& x);
Mm besseli(const Mm& nu, const Mm& z);
Mm besseli(const Mm& nu, const Mm& z, const Mm& scale);
Mm besseli(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm besseli(const Mm& nu, const Mm& z, const Mm& scale, i_o_t, Mm& v, Mm& e);
Mm besselj(const Mm& x);
Mm besselj(const Mm& nu, const Mm& z);
Mm besselj(const Mm& nu, const Mm& z, const Mm& scale);
Mm besselj(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm besselj(const Mm& nu, const Mm& z, const Mm& scale, i_o_t, Mm& v, Mm& e);
Mm besselk(const Mm& x);
Mm besselk(const Mm& nu, const Mm& z);
Mm besselk(const Mm& nu, const Mm& z, const Mm& scale);
Mm besselk(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm besselk(const Mm& nu, const Mm& z, const Mm& scale, i_o_t, Mm& v, Mm& e);
Mm bessely(const Mm& x);
Mm bessely(const Mm& nu, const Mm& z);
Mm bessely(const Mm& nu, const Mm& z, const Mm& scale);
Mm bessely(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm bessely(const Mm& nu, const Mm& z, const Mm& scale, i_o_t, Mm& v, Mm& e);

// besselj under older names; bessela's e is the number of significant
// decimal digits, -log10(eps).
Mm bessel(const Mm& x);
Mm bessel(const Mm& nu, const Mm& z);
Mm bessel(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);
Mm bessela(const Mm& x);
Mm bessela(const Mm& nu, const Mm& z);
Mm bessela(const Mm& nu, const Mm& z, i_o_t, Mm& v, Mm& e);

// The element walker behind every family: code 65/66 Airy Ai/Bi (order =
// derivative selector), 72/144 H1/H2, 73 I, 74 J, 75 K, 89 Y.
void bessel_dispatch(int code, Mm nu, Mm z, Mm scale, Mm& value, Mm& status);
