// The value type Mm: every matrix, text, logical, sparse, cell, struct and
// object value of the language. Its layout is part of the interface with
// compiled programs, which check it at start-up with initM2.
#pragma once

#include <cstddef>

class Mm;
class Mr;
class Mc;
enum op_t : int;

// Separates the inputs of a multi-output call from its output references,
// as in size(x, i_o, rows, cols). It carries nothing.
struct i_o_t {};
extern i_o_t i_o;

// Element type of a value. Text is a double value with the str flag set.
enum qv_matrix_types : int {
    qv_none = 0,   // declared, never assigned (storage of an empty double)
    qv_double = 1,
    qv_uint8 = 2,
    qv_cell = 3,   // elements are Mm: cells, structs and objects
};

// The flag block, returned whole by Mm::getflags.
struct M_types {
    int str;         // text
    int sparse;      // sparse storage: index in use
    int logical;     // logical array
    int scalar_var;  // a named variable that has held a real scalar all along
    int persistent;  // kept in the workspace when the value is destroyed
    int global;      // a global variable
    int type;        // qv_matrix_types
};

class Mm {
public:
    // Empty 0x0 real double.
    Mm();
    // Shaped construction; element values are not initialised.
    Mm(int complex, int sparse, int nzmax, int ndims, const int* dims, qv_matrix_types type);
    Mm(int complex, int sparse, int nzmax, int rows, int cols, qv_matrix_types type);
    // A declared variable without a value (type qv_none).
    Mm(i_o_t, const char* name, int global);
    // A named real rows x cols double; elements not set; not registered.
    Mm(const char* name, int rows, int cols);
    // Real 1x1 double.
    Mm(double v);
    // The value an index reference denotes. With report 0 no index error is
    // raised and a failed reference gives a value of type qv_none.
    Mm(const Mr& r, int report = 1);
    // The matrix of a bracket list or the cell of a brace list (velkor/list.h).
    Mm(const Mc& list);
    // Copies share storage: no element is copied.
    Mm(const Mm& x) noexcept;
    Mm(const Mm& x, const char* name) noexcept;
    // The operation engine: the result of operation op on a and b (or of the
    // reduction of a along dimension dim), complex when the front says so.
    Mm(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out);
    ~Mm();

    // Takes x's storage without counting it; x is left an empty value.
    Mm(Mm&& x) noexcept;
    // Keeps the target's name, scope link, persistent and global words.
    Mm& operator=(const Mm& x);
    Mm& operator=(Mm&& x) noexcept;
    // y = x(i): the same as y = Mm(x(i)); a real scalar element read into an
    // unshared real 1x1 target is written where the target's element is.
    Mm& operator=(const Mr& r);

    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}

    void setname(const char* name);

    // Accessors. Element positions count from 1, column-major, unchecked.
    int rows() const noexcept { return dims[0]; }
    int cols() const noexcept { return dims[1]; }
    int& getndims() noexcept { return ndims; }
    const int& getndims() const noexcept { return ndims; }
    int* getdims() noexcept { return dims; }
    const int* getdims() const noexcept { return dims; }
    int& getnnz() noexcept { return nnz; }
    const int& getnnz() const noexcept { return nnz; }
    int getp() const noexcept { return capacity; }
    int* getindex() const noexcept { return index; }
    const char* getname() const noexcept { return name; }
    int issamename(const char* s) const noexcept { return s == name; }
    int isstr() const noexcept { return flags.str != 0; }
    int issparse() const noexcept { return flags.sparse != 0; }
    int islogical() const noexcept { return flags.logical != 0; }
    int isglobal() const noexcept { return flags.global != 0; }
    int isstruct() const noexcept { return fields != nullptr; }
    int isc() const noexcept { return pi != nullptr; }
    M_types& getflags() noexcept { return flags; }
    const M_types& getflags() const noexcept { return flags; }
    int gettype() const noexcept { return flags.type; }
    int getnfields() const noexcept { return nfields; }
    char** getfields() const noexcept { return fields; }
    int getclassid() const noexcept { return classid; }
    void setclassid(int id) noexcept { classid = id; }
    Mm* getscopelink() const noexcept { return scope_link; }
    void setscopelink(Mm* link) noexcept { scope_link = link; }
    // Whether the storage is shared: the reference count minus 1. Other
    // threads may hold the same block (the shared empty value above all)
    // and change the count meanwhile, so it is read as they write it.
    int dirty() const noexcept { return refcount ? __atomic_load_n(refcount, __ATOMIC_ACQUIRE) - 1 : 0; }
    // Whether the value has storage at all (only a failed allocation under
    // a returning error hook leaves it without).
    bool hasstorage() const noexcept { return refcount != nullptr; }

    // ---- conversion and sharing ----
    // Makes this value a private copy of src converted to the given flags
    // and element type (qv_none: src's type). Keeps this value's name.
    void deepcopy(int complex, int sparse, const Mm& src, qv_matrix_types type);
    void deepcopy(int complex, const Mm& src, qv_matrix_types type);
    void deepcopy(const Mm& src, qv_matrix_types type);
    // Drops the imaginary part when forced, when not a double, or when it is
    // all zero; returns 1 when the value is still complex.
    int getreal(int force) const;
    // Gives a real value a zero imaginary part; returns 1.
    int getcomplex();

    // ---- shape ----
    // The element count, the product of the first ndims extents.
    int size() const noexcept
    {
        if (ndims < 2 || ndims > 4)
            return -1;
        long long n = static_cast<long long>(dims[0]) * dims[1];
        if (ndims > 2)
            n *= dims[2];
        if (ndims > 3)
            n *= dims[3];
        return static_cast<int>(n);  // storage limits keep it within int
    }
    int size(int d) const;
    int nsingleton() const noexcept;
    int vectordim() const noexcept;
    int length() const noexcept;
    void collapse() noexcept;
    void reshape(int r, int c);
    void reshape(int n, const int* const d);

    void setstr(int v) noexcept { flags.str = v; }
    void setsparse(int v) noexcept { flags.sparse = v; }
    void setlogical(int v) noexcept { flags.logical = v; }

    // ---- element access: raw (unchecked) and bounds-tested ----
    // Copies share storage, and these accessors hand out the shared block:
    // writing through addr(), r(), getpr() and the like changes every copy.
    // A function that writes into a value it did not create itself first
    // makes the storage its own: if (x.dirty()) x.deepcopy(x, qv_none);
    double* addr() const noexcept
    {
        settle();
        return static_cast<double*>(pr);
    }
    double* addr(int k) const noexcept
    {
        settle();
        return static_cast<double*>(pr) + (k - 1);
    }
    double* addr(int r, int c) const noexcept
    {
        settle();
        return static_cast<double*>(pr) + (r - 1) + static_cast<std::ptrdiff_t>(c - 1) * dims[0];
    }
    double* addi() const noexcept { return static_cast<double*>(pi); }
    double* addi(int k) const noexcept { return static_cast<double*>(pi) + (k - 1); }
    double* addi(int r, int c) const noexcept
    {
        return static_cast<double*>(pi) + (r - 1) + static_cast<std::ptrdiff_t>(c - 1) * dims[0];
    }
    double& r() const;
    double& r(double k) const;
    double& r(double row, double col) const;
    double& r(double row, double col, double depth) const;
    double& i() const;
    double& i(double k) const;
    double& i(double row, double col) const;
    double& i(double row, double col, double depth) const;
    unsigned char& ur(int k) const;
    unsigned char& ur(int row, int col) const;
    Mm& mr(int k) const;
    Mm& mr(int row, int col) const;
    // Element k of a cell, or nop_M when there is none.
    Mm safebr(int k) const;

    // ---- struct field names ----
    int findfield(const char* field, int raise) const;
    const char* getfield(int k) const;
    int addfield(const char* field, int no_lookup);
    int rmfield(const char* field);
    void extend_nfields(int n);

    // ---- sparse storage: ascending positions without repeats ----
    void sort();
    void resparse();
    int search(int position) const;
    void extend_nnz(int n);

    // Raises "variable '%s' was used without a value" for a value of type 0.
    void warn_uninit() const;

    // ---- index references (defined in velkor/index.h) ----
    Mr operator()() const;
    Mr operator()(const Mm& i1) const;
    Mr operator()(const Mm& i1, const Mm& i2) const;
    Mr operator()(const Mm& i1, const Mm& i2, const Mm& i3) const;
    Mr operator()(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const;
    Mr br(const Mm& i1) const;
    Mr br(const Mm& i1, const Mm& i2) const;
    Mr br(const Mm& i1, const Mm& i2, const Mm& i3) const;
    Mr br(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const;
    Mr member(const char* field) const;

    // ---- indexed assignment on this value ----
    // x(i) = y and x(i, j) = y: growth fills with zeros (empty elements for
    // a cell); an empty y deletes. A failed assignment changes nothing.
    void vwcopy1(const Mm& y, const Mm& i);
    void vwcopy2(const Mm& y, const Mm& i, const Mm& j);
    // Every other form, brace assignment included, driven by the indices of
    // r (whose base is this value).
    void vwcopyn(const Mr& r, const Mm& y);
    // x(r's indices) = []: deletion along the one index that is not a colon.
    void vwcopy0(const Mr& r);

    template <class T> T* getpr(T*) const noexcept
    {
        settle();
        return static_cast<T*>(pr);
    }
    template <class T> T* getpi(T*) const noexcept { return static_cast<T*>(pi); }
    template <class T> T* getpr(T*, int k) const noexcept
    {
        settle();
        return static_cast<T*>(pr) + (k - 1);
    }
    template <class T> T* getpi(T*, int k) const noexcept { return static_cast<T*>(pi) + (k - 1); }
    template <class T> T* getpr(T*, int r, int c) const noexcept
    {
        settle();
        return static_cast<T*>(pr) + (r - 1) + static_cast<std::ptrdiff_t>(c - 1) * dims[0];
    }
    template <class T> T* getpi(T*, int r, int c) const noexcept
    {
        return static_cast<T*>(pi) + (r - 1) + static_cast<std::ptrdiff_t>(c - 1) * dims[0];
    }

    // Two kinds of value defer writing their elements until something
    // reaches them: a long whole-number range (colon), so that an index that
    // is one is used as the run it stands for, and a new cell, whose empty
    // elements a cell dropped untouched then never writes or reads. Every
    // accessor of the elements writes them first, so nothing can tell a
    // deferred value from a written one.
    void settle() const noexcept
    {
        if (__builtin_expect(__atomic_load_n(&elements_unwritten, __ATOMIC_RELAXED) != 0, 0))
            write_elements();
    }
    void write_elements() const noexcept;

private:
    friend struct mm_access;

    struct storageless_tag {};
    explicit Mm(storageless_tag) noexcept;

    // room: spare elements past the count (-1: the standard spare room).
    void init_shaped(int complex, int sparse, int nzmax, int nd, const int* extents, qv_matrix_types type,
                     int room = -1);
    void init_empty(qv_matrix_types type);
    void init_real_scalar(double v);
    void init_like(int complex, const Mm& like, qv_matrix_types type);
    void allocate(int complex, int room = -1);
    bool try_allocate(int complex, int room = -1);
    void make_storageless() noexcept;
    void share_empty_block() noexcept;
    bool assign_scalar_in_place(const Mm& x) noexcept;
    void keep_own_words(const char* own_name, Mm* own_link, int own_scalar, int own_persistent,
                        int own_global) noexcept;
    bool release() noexcept;
    void free_block() noexcept;
    void retain() const noexcept;
    void adopt(Mm& from) noexcept;

    // The field order is the layout compiled programs were built against.
    int ndims;
    int dims[4];
    int capacity;
    int* refcount;
    void* pr;
    void* pi;
    int nnz;
    // Set while this value's elements may not be written yet (settle).
    mutable int elements_unwritten = 0;
    int* index;
    const char* name;
    char** fields;
    int nfields;
    int classid;
    Mm* scope_link;
    M_types flags;
};

static_assert(sizeof(Mm) == 128, "the layout of Mm is part of the interface");

// The global constant values, valued at start-up and again by initM2.
// Markers (semi, c_p, nop_M, l_M) are recognised by their name pointer.
extern Mm TICTOC, ans, i, j, pi, Inf, NaN, eps, x_M, semi, c_p, nop_M, one_M, zero_M, l_M;
extern Mm page_screen_output, implicit_str_to_num_ok, empty_list_elements_ok, switchvar;

// Text values: a char row from a C string, and back into a caller's buffer.
Mm TM(const char* s);
int Mstr_size(const Mm& x);
void Mstr(const Mm& x, char* buf, int size);
void Mstr_row(const Mm& x, char* buf, int size);
void Mstr(const double* p, int rows, int cols, char* buf, int size);

// The index-reference class completes the builders declared above.
#include "index.h"
