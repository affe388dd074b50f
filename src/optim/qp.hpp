// What the quadratic programming solver tells its benchmark: the work done
// by the last run, counted where the run does it.
#pragma once

// The KKT systems (sparse left divisions) the last qp call on this thread
// solved.
int qp_kkt_solves() noexcept;
