// Scalar double overloads that compiled programs call on plain numbers.
// abs, round and log2 of a double are the C library's own.
#pragma once

#include <cmath>

using std::abs;
using std::log2;
using std::round;

double fix(double x);
double sign(double x);
double max2(double a, double b);
double min2(double a, double b);
double mod(double a, double b);
double rem(double a, double b);
double plus(double a, double b);
double minus(double a, double b);
double mtimes(double a, double b);
double mrdivide(double a, double b);
double power(double a, double b);
double mpower(double a, double b);
