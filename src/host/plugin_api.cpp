// The plug-in API that modules call back into: values created, read and
// changed through pointers to the runtime's own value objects, reporting,
// printing, at-exit functions and calls of language functions. The entries
// are plain C names so that modules in C can reach them.
#include "host/display.hpp"
#include "host/plugins.hpp"
#include "value/heap_cells.hpp"
#include "velkor.h"

#include <plu.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

static_assert(sizeof(Mm) == 128, "kaGetCell strides over elements of this size");

namespace {

// A new API value holding v, or null without memory.
Mm* fresh(const Mm& v)
{
    try {
        return new Mm(v);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Mm* elements(const Mm* v) { return v->getpr(static_cast<Mm*>(nullptr)); }

// Whether a new cell got its storage: a refusal under a returning error
// hook leaves a 0 x 0 double in its place.
bool made_cell(const Mm& v) { return v.gettype() == qv_cell; }

bool is_cellish(const Mm* v) { return v && v->gettype() == qv_cell; }

} // namespace

extern "C" {

// ---- creation ----

Mm* kaCreateDoubleMatrix(int m, int n, int complexity) { return fresh(czeros(complexity != 0, m, n)); }

Mm* kaCreateFull(int m, int n, int complexity)
{
    Mm v(complexity != 0, 0, 0, m, n, qv_double);
    if (v.size() != m * n)
        return nullptr;
    const std::size_t count = v.size() > 0 ? static_cast<std::size_t>(v.size()) : 0;
    if (count) {
        std::memset(v.addr(), 0, count * sizeof(double));
        if (v.addi())
            std::memset(v.addi(), 0, count * sizeof(double));
    }
    return fresh(v);
}

Mm* kaCreateNumericArray(int ndim, const int* dims, int classid, int complexity)
{
    qv_matrix_types type;
    std::size_t bytes;
    switch (classid) {
    case 6:
        type = qv_double;
        bytes = 8;
        break;
    case 4:
    case 8:
    case 9:
        type = qv_uint8;
        bytes = 1;
        break;
    default:
        error("kaCreateNumericArray: can't create type = %d", classid);
        return nullptr;
    }
    Mm v(complexity != 0, 0, 0, ndim, dims, type);
    if (v.size() == 0 && ndim > 0 && dims && dims[0] != 0 && dims[ndim > 1 ? 1 : 0] != 0)
        return nullptr;
    const std::size_t count = v.size() > 0 ? static_cast<std::size_t>(v.size()) : 0;
    if (count) {
        std::memset(v.getpr(static_cast<unsigned char*>(nullptr)), 0, count * bytes);
        if (v.getpi(static_cast<unsigned char*>(nullptr)))
            std::memset(v.getpi(static_cast<unsigned char*>(nullptr)), 0, count * bytes);
    }
    return fresh(v);
}

Mm* kaCreateSparse(int m, int n, int nzmax, int complexity)
{
    return fresh(Mm(complexity != 0, 1, nzmax > 0 ? nzmax : 1, m, n, qv_double));
}

Mm* kaCreateString(const char* text) { return fresh(TM(text ? text : "")); }

Mm* kaCreateCharArray(int ndim, const int* dims)
{
    Mm v(0, 0, 0, ndim, dims, qv_double);
    if (v.size() == 0 && ndim > 0 && dims && dims[0] != 0 && dims[ndim > 1 ? 1 : 0] != 0)
        return nullptr;
    const std::size_t count = v.size() > 0 ? static_cast<std::size_t>(v.size()) : 0;
    for (std::size_t k = 0; k < count; ++k)
        v.addr()[k] = 0;
    v.setstr(1);
    return fresh(v);
}

Mm* kaCreateCellArray(int ndim, const int* dims)
{
    const Mm v(0, 0, 0, ndim, dims, qv_cell);
    return made_cell(v) ? fresh(v) : nullptr;
}

Mm* kaCreateCellMatrix(int m, int n)
{
    const int dims[2] = {m, n};
    return kaCreateCellArray(2, dims);
}

Mm* kaCreateStructArray(int ndim, const int* dims, int nfields, const char** names)
{
    Mm v(0, 0, 0, ndim, dims, qv_cell);
    if (!made_cell(v))
        return nullptr;
    for (int f = 0; f < nfields; ++f)
        v.member(names[f]) = zeros(Mm(0.0));
    if (!v.isstruct())
        v.extend_nfields(1);
    return fresh(v);
}

Mm* kaCreateStructMatrix(int m, int n, int nfields, const char** names)
{
    const int dims[2] = {m, n};
    return kaCreateStructArray(2, dims, nfields, names);
}

Mm* kaDuplicateArray(const Mm* v)
{
    if (!v)
        return nullptr;
    Mm copy;
    copy.deepcopy(v->isc(), *v, qv_none);
    if (copy.gettype() != v->gettype() || copy.getndims() != v->getndims() ||
        !std::equal(v->getdims(), v->getdims() + v->getndims(), copy.getdims()))
        return nullptr;  // "Out of memory!" went to a hook that returned
    return fresh(copy);
}

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

// ---- access ----

int kaGetM(const Mm* v) { return v->rows(); }
int rows(const Mm* v) { return v->rows(); }
int kaGetN(const Mm* v) { return v->rows() == 0 ? 0 : v->size() / v->rows(); }
const int* kaGetDimensions(const Mm* v) { return v->getdims(); }
int kaGetNumberOfDimensions(const Mm* v) { return v->getndims(); }
int kaGetNumberOfElements(const Mm* v) { return v->size(); }
int kaGetNumberOfFields(const Mm* v) { return v->getnfields(); }
int kaGetNzmax(const Mm* v) { return v->getnnz(); }
double* kaGetPr(const Mm* v) { return v->addr(); }
double* kaGetPi(const Mm* v) { return v->addi(); }
void* kaGetData(const Mm* v) { return v->addr(); }
void* kaGetImagData(const Mm* v) { return v->addi(); }
int* kaGetIr(const Mm* v) { return v && v->issparse() ? getIr(*v) : nullptr; }
int* kaGetJc(const Mm* v) { return v && v->issparse() ? getJc(*v) : nullptr; }
const char* kaGetName(const Mm* v) { return v->getname(); }

double kaGetScalar(const Mm* v)
{
    if (v->size() <= 0)
        return 0.0;
    if (v->gettype() == qv_uint8)
        return *v->getpr(static_cast<unsigned char*>(nullptr));
    if (v->issparse())
        return v->getnnz() > 0 && v->getindex()[0] == 0 ? *v->addr() : 0.0;
    return v->gettype() == qv_double ? *v->addr() : 0.0;
}

int kaGetString(const Mm* v, char* buf, int len)
{
    if (!buf || len <= 0)
        return 1;
    Mstr(*v, buf, len);
    return Mstr_size(*v) > len ? 1 : 0;
}

char* kaArrayToString(const Mm* v)
{
    const int n = Mstr_size(*v);
    char* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(n)));
    if (text)
        Mstr(*v, text, n);
    return text;
}

Mm* kaGetCell(const Mm* v, int i)
{
    return is_cellish(v) && i >= 0 && i < v->size() ? elements(v) + i : nullptr;
}

Mm* kaGetFieldByNumber(const Mm* v, int i, int field)
{
    if (!is_cellish(v) || i < 0 || i >= v->size() || field < 0 || field >= v->getnfields())
        return nullptr;
    Mm* fields = elements(v) + i;
    if (fields->gettype() != qv_cell || field >= fields->size())
        return nullptr;
    return elements(fields) + field;
}

Mm* kaGetField(const Mm* v, int i, const char* name)
{
    const int f = v->findfield(name, 0);
    return f < 0 ? nullptr : kaGetFieldByNumber(v, i, f);
}

const char* kaGetFieldNameByNumber(const Mm* v, int field)
{
    return field >= 0 && field < v->getnfields() ? v->getfield(field) : nullptr;
}

int kaGetFieldNumber(const Mm* v, const char* name) { return v->findfield(name, 0); }

void kaGetR(const Mm* v, int i, int j, double* out) { *out = v->r(i, j); }
void kaGetI(const Mm* v, int i, int j, double* out) { *out = v->i(i, j); }
void kaSetR(Mm* v, int i, int j, const double* in) { v->r(i, j) = *in; }
void kaSetI(Mm* v, int i, int j, const double* in) { v->i(i, j) = *in; }

int kaGetClassID(const Mm* v)
{
    switch (v->gettype()) {
    case qv_none:
        v->warn_uninit();
        return -1;
    case qv_cell:
        return v->getclassid() ? 3 : (v->isstruct() ? 2 : 1);
    case qv_uint8:
        return 9;
    case qv_double:
        return v->issparse() ? 5 : 6;
    default:
        return 0;
    }
}

const char* kaGetClassName(const Mm* v) { return class_name_of(*v); }

int kaGetElementSize(const Mm* v)
{
    switch (v->gettype()) {
    case qv_double:
    case qv_none:
        return 8;
    case qv_uint8:
        return 1;
    case qv_cell:
        return static_cast<int>(sizeof(Mm));
    default:
        return 0;
    }
}

int kaCalcSingleSubscript(const Mm* v, int nsubs, const int* subs)
{
    int s[4] = {0, 0, 0, 0};
    for (int k = 0; k < nsubs && k < 4; ++k)
        s[k] = subs[k];
    const int* d = v->getdims();
    return s[0] + d[0] * (s[1] + d[1] * (s[2] + d[2] * s[3]));
}

double kaGetEps(void) { return *eps.addr(); }
double kaGetInf(void) { return *Inf.addr(); }
double kaGetNaN(void) { return *NaN.addr(); }
double pluGetEps(void) { return kaGetEps(); }
double pluGetInf(void) { return kaGetInf(); }
double pluGetNaN(void) { return kaGetNaN(); }

// ---- predicates ----

int kaIsChar(const Mm* v) { return v->isstr(); }
int kaIsString(const Mm* v) { return v->isstr(); }
int kaIsCell(const Mm* v) { return iscell(*v); }
int kaIsEmpty(const Mm* v) { return isempty(*v); }
int kaIsLogical(const Mm* v) { return islogical(*v); }
int kaIsClass(const Mm* v, const char* name) { return isa(*v, TM(name ? name : "")); }
int kaIsComplex(const Mm* v) { return v->isc() ? 1 : 0; }
int kaIsFull(const Mm* v) { return v->issparse() ? 0 : 1; }
int kaIsNumeric(const Mm* v) { return v->gettype() <= qv_uint8 && !v->isstr(); }
int kaIsDouble(const Mm* v) { return v->gettype() == qv_double; }
int kaIsUint8(const Mm* v) { return v->gettype() == qv_uint8; }
int kaIsSparse(const Mm* v) { return v->issparse(); }
int kaIsStruct(const Mm* v) { return v->isstruct(); }
int kaIsInt8(const Mm*) { return 0; }
int kaIsInt16(const Mm*) { return 0; }
int kaIsInt32(const Mm*) { return 0; }
int kaIsUint16(const Mm*) { return 0; }
int kaIsUint32(const Mm*) { return 0; }
int kaIsSingle(const Mm*) { return 0; }
int kaIsFinite(double x) { return std::isfinite(x) ? 1 : 0; }
int kaIsInf(double x) { return std::isinf(x) ? 1 : 0; }
int kaIsNaN(double x) { return std::isnan(x) ? 1 : 0; }
int pluIsFinite(double x) { return kaIsFinite(x); }
int pluIsInf(double x) { return kaIsInf(x); }
int pluIsNaN(double x) { return kaIsNaN(x); }

// ---- changes ----

void kaSetCell(Mm* v, int i, const Mm* x) { v->br(Mm(static_cast<double>(i) + 1)) = *x; }

void kaSetFieldByNumber(Mm* v, int i, int field, const Mm* x)
{
    if (field == -1)
        return;
    const Mm element(static_cast<double>(i) + 1), slot(static_cast<double>(field) + 1);
    if (v->size() < i + 1) {
        v->br(element).br(slot) = *x;
        return;
    }
    Mm* fields = elements(v) + i;
    if (fields->gettype() == qv_cell && fields->size() >= field + 1)
        elements(fields)[field] = *x;
    else
        fields->br(slot) = *x;
}

void kaSetField(Mm* v, int i, const char* name, const Mm* x) { kaSetFieldByNumber(v, i, v->findfield(name, 0), x); }

int kaSetDimensions(Mm* v, const int* dims, int ndim)
{
    v->reshape(ndim, dims);
    return 0;
}

void kaSetLogical(Mm* v) { v->setlogical(1); }
void kaSetString(Mm* v) { v->setstr(1); }

void kaSetName(Mm* v, const char* name)
{
    // The value keeps pointing at its name: the copy is never freed.
    char* copy = name ? strdup(name) : nullptr;
    if (copy)
        v->setname(copy);
}

void* kaMalloc(size_t n) { return std::malloc(n); }
void* kaCalloc(size_t n, size_t size) { return std::calloc(n, size); }
void* kaRealloc(void* p, size_t n) { return std::realloc(p, n); }
void kaFree(void* p) { std::free(p); }

// ---- reporting, printing and calls ----

void pluErrMsgTxt(const char* text) { error("%s", text ? text : ""); }
void pluWarnMsgTxt(const char* text) { warning("%s", text ? text : ""); }

int pluPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return n;
    }
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(static_cast<std::size_t>(n));
    qv_print_handler(text.c_str());
    return n;
}

void pluPrintAssertion(const char* test, const char* file, int line, const char* message)
{
    qv_printf("%s:%d - test '%s' failed - %s\n", file, line, test, message);
}

int kaAssert(int cond, const char* text)
{
    if (!cond)
        error("%s", text ? text : "");
    return cond;
}

int kaAssertS(int cond, const char* text) { return kaAssert(cond, text); }

int pluAtExit(void (*fn)(void))
{
    if (current_module_name().empty()) {
        error("pluAtExit called outside of PLU file");
        return 0;
    }
    if (!set_module_at_exit(fn))
        error("pluAtExit: '%s' name not found", current_module_name().c_str());
    return 0;
}

int pluCallVORLAN(int nlhs, Mm** plhs, int nrhs, Mm** prhs, const char* name)
{
    const std::string n = name ? name : "";
    if (n == "double" || n == "uint8") {
        if (nrhs < 1) {
            error_input(n.c_str(), 0);
            return 0;
        }
        if (nlhs >= 1)
            plhs[0] = fresh(n == "double" ? mdouble(*prhs[0]) : muint8(*prhs[0]));
        return 0;
    }
    if (n == "version") {
        if (nlhs >= 1)
            plhs[0] = fresh(version());
        return 0;
    }
    Mm args = cell_from_array(nrhs > 0 ? nrhs : 0, const_cast<const Mm**>(prhs));
    Mm outs[6];
    feval_func(TM(n.c_str()), args, i_o, outs[0], outs[1], outs[2], outs[3], outs[4], outs[5]);
    for (int k = 0; k < nlhs && k < 6; ++k)
        plhs[k] = fresh(outs[k]);
    return 0;
}

void pluAddFlops(double) {}
void pluMakeMemoryPersistent(void*) {}

// ---- not available ----

#define NOT_AVAILABLE(name, params)                   \
    int name params                                   \
    {                                                 \
        error("%s is not available", #name);          \
        return 0;                                     \
    }

NOT_AVAILABLE(pluEvalString, (const char*))
NOT_AVAILABLE(pluGet, (double, const char*))
NOT_AVAILABLE(pluGetArray, (const char*, const char*))
NOT_AVAILABLE(pluGetArrayPtr, (const char*, const char*))
NOT_AVAILABLE(pluGetFull, (const char*, int*, int*, double**, double**))
NOT_AVAILABLE(pluGetGlobal, (const char*))
NOT_AVAILABLE(pluGetMatrix, (const char*))
NOT_AVAILABLE(pluGetMatrixPtr, (const char*))
NOT_AVAILABLE(pluIsGlobal, (const Mm*))
NOT_AVAILABLE(pluIsLocked, (void))
NOT_AVAILABLE(pluLock, (void))
NOT_AVAILABLE(pluMakeArrayPersistent, (Mm*))
NOT_AVAILABLE(pluPutArray, (const char*, const Mm*))
NOT_AVAILABLE(pluPutFull, (const char*, int, int, double*, double*))
NOT_AVAILABLE(pluPutMatrix, (const Mm*))
NOT_AVAILABLE(pluSet, (double, const char*, Mm*))
NOT_AVAILABLE(pluSetTrapFlag, (int))
NOT_AVAILABLE(pluUnlock, (void))
NOT_AVAILABLE(kaCreateCharMatrixFromStrings, (int, const char**))
NOT_AVAILABLE(kaIsFromGlobalWS, (const Mm*))
NOT_AVAILABLE(kaSetAllocFcns, (void*, void*, void*, void*))
NOT_AVAILABLE(kaSetClassName, (Mm*, const char*))
NOT_AVAILABLE(kaSetData, (Mm*, void*))
NOT_AVAILABLE(kaSetImagData, (Mm*, void*))
NOT_AVAILABLE(kaSetIr, (Mm*, int*))
NOT_AVAILABLE(kaSetJc, (Mm*, int*))
NOT_AVAILABLE(kaSetM, (Mm*, int))
NOT_AVAILABLE(kaSetN, (Mm*, int))
NOT_AVAILABLE(kaSetNzmax, (Mm*, int))
NOT_AVAILABLE(kaSetPi, (Mm*, double*))
NOT_AVAILABLE(kaSetPr, (Mm*, double*))

#undef NOT_AVAILABLE

} // extern "C"
