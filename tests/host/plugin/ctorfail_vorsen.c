/* A module whose load-time constructor raises an error: the error must not
   unwind through the system loader, and the module must never be called. */
#include <plu.h>

__attribute__((constructor)) static void loaded(void) { pluErrMsgTxt("ctorfail: cannot start"); }

void pluFunction(int nlhs, Mm** plhs, int nrhs, Mm** prhs)
{
    (void)nrhs;
    (void)prhs;
    if (nlhs >= 1)
        plhs[0] = kaCreateString("ctorfail: called although it never started");
}
