// How values are named and shown: the class name of a value.
#include "array/classes.hpp"
#include "host/display.hpp"
#include "velkor/value.h"

const char* class_name_of(const Mm& x)
{
    if (x.isstr())
        return "char";
    if (x.issparse())
        return "sparse";
    if (x.isstruct()) {
        if (x.getclassid() == 0)
            return "struct";
        const class_record* r = class_record_of_id(x.getclassid());
        return r ? r->name : "";
    }
    if (x.gettype() == qv_cell)
        return "cell";
    if (x.gettype() == qv_uint8)
        return "uint8";
    return "double";
}
