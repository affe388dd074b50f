// The plug-in API that modules call: values made by the API and the error
// function (both also registered with the graphics engine at start-up).
#include <plu.h>

void pluErrMsgTxt(const char* text) { error("%s", text ? text : ""); }

void kaDestroyArray(Mm* v)
{
    if (v)
        delete v;
}

void kaFreeMatrix(Mm* v) { kaDestroyArray(v); }
