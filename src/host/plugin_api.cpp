// The plug-in API that modules call: values made by the API and the error
// function (both also registered with the graphics engine at start-up).
#include "value/heap_cells.hpp"

#include <plu.h>

void pluErrMsgTxt(const char* text) { error("%s", text ? text : ""); }

void kaDestroyArray(Mm* v)
{
    if (!v)
        return;
    // The engine releases UserData values through here: an address it
    // hands back later must no longer be taken for a value.
    heap_cell_forget(v);
    delete v;
}

void kaFreeMatrix(Mm* v) { kaDestroyArray(v); }
