// The exact side of the triangulation: a check that a triangle list is a
// Delaunay triangulation of its points, and a triangulation built with
// exact predicates for the sets the sweep gets wrong (points that nearly
// coincide, nearly collinear sets, extreme scales).
#pragma once

#include <vector>

// x, y: the coordinates by point number (scaled so that exact predicates
// apply); points: the numbers of the distinct points, sorted by y, then x;
// triangles: triples of point numbers.

// True when every triangle turns clockwise (the sweep's order), no two
// overlap, they cover the convex hull of the points exactly once, every
// point is a vertex and every circumcircle is empty (points on it
// allowed). Collinear points are valid with no triangle.
bool is_delaunay_triangulation(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<int>& points, const std::vector<int>& triangles);

// The Delaunay triangulation of the points (clockwise triples; for
// cocircular points one of the valid choices), in the order of the tops of
// the circumcircles, then their centres' x.
std::vector<int> exact_delaunay(const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<int>& points);
