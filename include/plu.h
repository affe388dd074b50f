// The plug-in API: what a module <function>_vorsen.so may call. A module
// exports pluFunction(nlhs, plhs, nrhs, prhs).
#pragma once

#include "velkor.h"

// Reports text as an error; the text is the message itself, not a format.
void pluErrMsgTxt(const char* text);
// Destroys and frees a value made by the API; null does nothing.
void kaDestroyArray(Mm* v);
void kaFreeMatrix(Mm* v);
