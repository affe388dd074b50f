/* A module that needs a function no library provides: the loader refuses
   it and names the symbol. */
#include <plu.h>

extern void vorsen_nowhere_to_be_found(void);

void pluFunction(int nlhs, Mm** plhs, int nrhs, Mm** prhs)
{
    (void)nlhs;
    (void)plhs;
    (void)nrhs;
    (void)prhs;
    vorsen_nowhere_to_be_found();
}
