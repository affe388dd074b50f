/* A test plug-in module in C: doubles its numeric input. A text input
   selects another behaviour: "none" assigns nothing, "fail" reports an
   error, "warn" warns and still answers, "exit" registers the at-exit function, "clear" asks the host to
   clear this module while the call runs, "nested" calls a language
   function through the host and then registers the at-exit function. */
#include <plu.h>

#include <string.h>

static void goodbye(void) { pluPrintf("twice: at exit\n"); }

__attribute__((constructor)) static void loaded(void) { pluPrintf("twice: loaded\n"); }

void pluFunction(int nlhs, Mm** plhs, int nrhs, Mm** prhs)
{
    char word[16] = "";
    if (nrhs >= 1 && kaIsChar(prhs[0]))
        kaGetString(prhs[0], word, sizeof word);
    if (strcmp(word, "none") == 0)
        return;
    if (strcmp(word, "fail") == 0)
        pluErrMsgTxt("twice: 100% failed");
    if (strcmp(word, "warn") == 0) {
        pluWarnMsgTxt("twice: take care");
        plhs[0] = kaCreateString(word);
        return;
    }
    if (strcmp(word, "exit") == 0) {
        pluAtExit(goodbye);
        return;
    }
    if (strcmp(word, "clear") == 0 || strcmp(word, "nested") == 0) {
        Mm* out[6] = {0};
        pluCallVORLAN(0, out, 0, 0, word);
        if (strcmp(word, "nested") == 0)
            pluAtExit(goodbye);
        plhs[0] = kaCreateString(word);
        return;
    }
    if (nlhs >= 1 && nrhs >= 1) {
        const int n = kaGetNumberOfElements(prhs[0]);
        Mm* y = kaCreateDoubleMatrix(kaGetM(prhs[0]), kaGetN(prhs[0]), 0);
        const double* x = kaGetPr(prhs[0]);
        double* p = kaGetPr(y);
        for (int k = 0; k < n; ++k)
            p[k] = 2 * x[k];
        plhs[0] = y;
    }
}
