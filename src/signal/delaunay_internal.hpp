// The Delaunay driver and the query answers of its modes 1 to 4, shared by
// delaunay, tsearch, dsearch and griddata.
#pragma once

#include "signal/delaunay_sweep.hpp"
#include "velkor/value.h"

// Modes: 0 the triangle list; 1 the nearest data point's number; 2 its z;
// 3 the enclosing triangle's number (NaN outside); 4 the barycentric
// interpolation of z (NaN outside). Fewer than three points give 0x3.
Mm delaunay_driver(const Mm& x, const Mm& y, const Mm& z, const Mm& presorted, const Mm& xi, const Mm& yi, int mode);
Mm delaunay_run(const Mm& x, const Mm& y, const Mm& z, const Mm& presorted, const Mm& xi, const Mm& yi, int mode);

// The queries of modes 1 to 4 over a finished sweep.
Mm answer_queries(const sweep_state& st, const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi, int mode);
