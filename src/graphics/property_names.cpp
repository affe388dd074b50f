// The graphics property-name constants and the table of them, text beside
// value. They are made at load and freed at unload; they need nothing of the
// library's start-up but the allocator, which serves before and after it, so
// their order against the start-up object does not matter.
#include "graphics/property_names.hpp"

Mm property_text(const char* text)
{
    Mm r = TM(text);
    if (r.size() == 0) {
        // Empty values are made 0 x 0; this one is a 1 x 0 row.
        r.getdims()[0] = 1;
        r.getdims()[1] = 0;
        r.setstr(1);
    }
    return r;
}

#define NUMRUN_PROPERTY_NAME(id, text) const Mm id = property_text(text);
#include "graphics/property_names.inc"
#undef NUMRUN_PROPERTY_NAME

// The axes a host window holds; empty until one is made.
Mm hosted_axes;

#define NUMRUN_PROPERTY_NAME(id, text) {text, &id},
const property_name_entry property_name_table[] = {
#include "graphics/property_names.inc"
};
#undef NUMRUN_PROPERTY_NAME

const int property_name_count = static_cast<int>(sizeof property_name_table / sizeof property_name_table[0]);
