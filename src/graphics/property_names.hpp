// The property names and values the graphics functions pass to the engine,
// made once at load (in property_names.cpp, in table order) and passed by
// reference, so naming a property costs no allocation. pn_ names a property
// or a root default, pv_ a value.
#pragma once

#include "velkor/value.h"

#define NUMRUN_PROPERTY_NAME(id, text) extern const Mm id;
#include "graphics/property_names.inc"
#undef NUMRUN_PROPERTY_NAME

// A constant's value: TM's char row, the empty text kept 1 x 0.
Mm property_text(const char* text);

// The axes a host window holds; empty until one is made.
extern Mm hosted_axes;

// The table, for listings and tests: text and value of each constant.
struct property_name_entry {
    const char* text;
    const Mm* value;
};
extern const property_name_entry property_name_table[];
extern const int property_name_count;
