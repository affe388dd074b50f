/* The plug-in API: what a module <function>_vorsen.so may call back into.
   A module exports
       void pluFunction(int nlhs, Mm** plhs, int nrhs, Mm** prhs);
   and is loaded on the first call of <function> (call_plu). Modules link
   against libnumrun.so and are built with -fexceptions: the library reports
   errors by unwinding through the module, so a module holds no resource
   across a call that can raise (every ka and plu function that reports).
   A host written in C must not set error flag 0x10 (errors thrown as C++
   exceptions). This header compiles as C and as C++; in C, Mm is an opaque
   structure reached only through pointers. */
#ifndef NUMRUN_PLU_H
#define NUMRUN_PLU_H

#include <stddef.h>

#ifdef __cplusplus
class Mm;
extern "C" {
#else
typedef struct Mm Mm;
#endif

/* ---- creation: each returns a new value, or null without memory ---- */
Mm* kaCreateDoubleMatrix(int m, int n, int complexity);
Mm* kaCreateFull(int m, int n, int complexity);
/* classid 6: double; 4, 8 and 9: uint8; all zeros. */
Mm* kaCreateNumericArray(int ndim, const int* dims, int classid, int complexity);
Mm* kaCreateSparse(int m, int n, int nzmax, int complexity);
Mm* kaCreateString(const char* text);
Mm* kaCreateCharArray(int ndim, const int* dims);
Mm* kaCreateCellArray(int ndim, const int* dims);
Mm* kaCreateCellMatrix(int m, int n);
Mm* kaCreateStructArray(int ndim, const int* dims, int nfields, const char** names);
Mm* kaCreateStructMatrix(int m, int n, int nfields, const char** names);
Mm* kaDuplicateArray(const Mm* v);
/* Destroys and frees a value made by the API; null does nothing. */
void kaDestroyArray(Mm* v);
void kaFreeMatrix(Mm* v);

/* ---- access ---- */
int kaGetM(const Mm* v);
int rows(const Mm* v);
int kaGetN(const Mm* v);
const int* kaGetDimensions(const Mm* v);
int kaGetNumberOfDimensions(const Mm* v);
int kaGetNumberOfElements(const Mm* v);
int kaGetNumberOfFields(const Mm* v);
int kaGetNzmax(const Mm* v);
double* kaGetPr(const Mm* v);
double* kaGetPi(const Mm* v);
void* kaGetData(const Mm* v);
void* kaGetImagData(const Mm* v);
/* Compressed-column row indices and column starts of a sparse value, from
   the standard heap (the caller frees them); null otherwise. */
int* kaGetIr(const Mm* v);
int* kaGetJc(const Mm* v);
const char* kaGetName(const Mm* v);
double kaGetScalar(const Mm* v);
/* The text of v in buf (len bytes); 1 when it had to be cut, else 0. */
int kaGetString(const Mm* v, char* buf, int len);
/* A standard-heap copy of the text of v. */
char* kaArrayToString(const Mm* v);
/* Element i (from 0) of a cell; null outside it. */
Mm* kaGetCell(const Mm* v, int i);
Mm* kaGetFieldByNumber(const Mm* v, int i, int field);
Mm* kaGetField(const Mm* v, int i, const char* name);
const char* kaGetFieldNameByNumber(const Mm* v, int field);
int kaGetFieldNumber(const Mm* v, const char* name);
void kaGetR(const Mm* v, int i, int j, double* out);
void kaGetI(const Mm* v, int i, int j, double* out);
void kaSetR(Mm* v, int i, int j, const double* in);
void kaSetI(Mm* v, int i, int j, const double* in);
/* -1 no value yet, 1 cell, 2 struct, 3 object, 5 sparse, 6 double (text
   too), 9 uint8, 0 anything else. */
int kaGetClassID(const Mm* v);
const char* kaGetClassName(const Mm* v);
int kaGetElementSize(const Mm* v);
int kaCalcSingleSubscript(const Mm* v, int nsubs, const int* subs);
double kaGetEps(void);
double kaGetInf(void);
double kaGetNaN(void);
double pluGetEps(void);
double pluGetInf(void);
double pluGetNaN(void);

/* ---- predicates ---- */
int kaIsChar(const Mm* v);
int kaIsString(const Mm* v);
int kaIsCell(const Mm* v);
int kaIsEmpty(const Mm* v);
int kaIsLogical(const Mm* v);
int kaIsClass(const Mm* v, const char* name);
int kaIsComplex(const Mm* v);
int kaIsFull(const Mm* v);
int kaIsNumeric(const Mm* v);
int kaIsDouble(const Mm* v);
int kaIsUint8(const Mm* v);
int kaIsSparse(const Mm* v);
int kaIsStruct(const Mm* v);
int kaIsInt8(const Mm* v);
int kaIsInt16(const Mm* v);
int kaIsInt32(const Mm* v);
int kaIsUint16(const Mm* v);
int kaIsUint32(const Mm* v);
int kaIsSingle(const Mm* v);
int kaIsFinite(double x);
int kaIsInf(double x);
int kaIsNaN(double x);
int pluIsFinite(double x);
int pluIsInf(double x);
int pluIsNaN(double x);

/* ---- changes ---- */
void kaSetCell(Mm* v, int i, const Mm* x);
void kaSetFieldByNumber(Mm* v, int i, int field, const Mm* x);
void kaSetField(Mm* v, int i, const char* name, const Mm* x);
int kaSetDimensions(Mm* v, const int* dims, int ndim);
void kaSetLogical(Mm* v);
void kaSetString(Mm* v);
void kaSetName(Mm* v, const char* name);
void* kaMalloc(size_t n);
void* kaCalloc(size_t n, size_t size);
void* kaRealloc(void* p, size_t n);
void kaFree(void* p);

/* ---- reporting, printing and calls ---- */
/* Reports text as an error (or a warning); the text is the message
   itself, not a format. */
void pluErrMsgTxt(const char* text);
void pluWarnMsgTxt(const char* text);
int pluPrintf(const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void pluPrintAssertion(const char* test, const char* file, int line, const char* message);
int kaAssert(int cond, const char* text);
int kaAssertS(int cond, const char* text);
/* The calling module's function run when it is cleared. */
int pluAtExit(void (*fn)(void));
/* Calls a language function by name; outputs in plhs[0 .. min(nlhs, 6) - 1]. */
int pluCallVORLAN(int nlhs, Mm** plhs, int nrhs, Mm** prhs, const char* name);
void pluAddFlops(double n);
void pluMakeMemoryPersistent(void* p);

/* ---- not available: each raises "<name> is not available" ---- */
int pluEvalString(const char* text);
int pluGet(double handle, const char* property);
int pluGetArray(const char* workspace, const char* name);
int pluGetArrayPtr(const char* workspace, const char* name);
int pluGetFull(const char* name, int* m, int* n, double** pr, double** pi);
int pluGetGlobal(const char* name);
int pluGetMatrix(const char* name);
int pluGetMatrixPtr(const char* name);
int pluIsGlobal(const Mm* v);
int pluIsLocked(void);
int pluLock(void);
int pluMakeArrayPersistent(Mm* v);
int pluPutArray(const char* workspace, const Mm* v);
int pluPutFull(const char* name, int m, int n, double* pr, double* pi);
int pluPutMatrix(const Mm* v);
int pluSet(double handle, const char* property, Mm* value);
int pluSetTrapFlag(int flag);
int pluUnlock(void);
int kaCreateCharMatrixFromStrings(int m, const char** text);
int kaIsFromGlobalWS(const Mm* v);
int kaSetAllocFcns(void* a, void* b, void* c, void* d);
int kaSetClassName(Mm* v, const char* name);
int kaSetData(Mm* v, void* data);
int kaSetImagData(Mm* v, void* data);
int kaSetIr(Mm* v, int* ir);
int kaSetJc(Mm* v, int* jc);
int kaSetM(Mm* v, int m);
int kaSetN(Mm* v, int n);
int kaSetNzmax(Mm* v, int n);
int kaSetPi(Mm* v, double* pi);
int kaSetPr(Mm* v, double* pr);

#ifdef __cplusplus
}

/* Calling plug-in functions from compiled code: the inputs by address, at
   least 64 output slots that call_plu fills with values the caller takes
   over through call_plu_plhs. */
void call_plu(const char* name, double nlhs, Mm** plhs, double nrhs, Mm** prhs);
void call_plu_prhs(Mm*& slot, const Mm& value);
void call_plu_plhs(Mm& target, Mm* out);
/* Unloads the module of that name (after its at-exit function); a module
   still running is unloaded when its call returns. */
void clear_plu(const char* name);
#endif

#endif
