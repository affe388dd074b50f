// numrun: the run-time library of the VORLAN matrix language.
// Compiled programs include this header, call initM2(4510, sizeof(Mm)) first
// and exitM() last, and call the classes and functions below in between.
#pragma once

#include "velkor/value.h"
#include "velkor/index.h"
#include "velkor/list.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/scalar.h"
#include "velkor/engine.h"
#include "velkor/array.h"
#include "velkor/linalg.h"
#include "velkor/signal.h"
#include "velkor/bessel.h"
#include "velkor/optim.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
