// No function changes its arguments. Every function of the engine, array,
// text and linear-algebra fronts that takes one or two values is called on
// a table of values of every kind (and every pair of them), once with each
// argument holding its block alone and once sharing it with a copy; after
// the call each argument must be bit for bit what it was: header words,
// flags, data pointers, both data arrays, sparse positions, field names and,
// for cells and structs, every element the same way. A call may raise; it
// may not leave a trace on what it was given.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// ---- what a value is, as far as anyone can tell ----

struct State {
    std::vector<std::uintptr_t> words;
    std::vector<unsigned char> re, im;
    std::vector<int> positions;
    std::vector<std::string> fields;
    std::vector<State> elements;
    bool operator==(const State&) const = default;
};

State state_of(const Mm& x);

// The bytes of n elements of width w; a long range whose elements are not
// written yet is the run it stands for (writing them is no change).
void take_data(const Mm& x, State& s)
{
    const int type = x.gettype();
    if (type == qv_cell) {
        const bool deferred = mm_access::unwritten(x);
        const Mm* e = static_cast<const Mm*>(mm_access::raw_elements(x));
        for (int k = 0; k < x.getnnz(); ++k)
            s.elements.push_back(deferred ? state_of(mm_access::empty_element()) : state_of(e[k]));
        return;
    }
    const std::size_t width = type == qv_uint8 ? 1 : sizeof(double);
    const std::size_t bytes = width * std::size_t(x.getnnz() > 0 ? x.getnnz() : 0);
    double start = 0;
    if (mm_access::unwritten(x) && mm_access::unwritten_whole_range(x, start)) {
        std::vector<double> run(std::size_t(x.getnnz()));
        for (std::size_t k = 0; k < run.size(); ++k)
            run[k] = start + double(k);
        s.re.assign(reinterpret_cast<const unsigned char*>(run.data()),
                    reinterpret_cast<const unsigned char*>(run.data()) + bytes);
        return;
    }
    const auto* re = static_cast<const unsigned char*>(mm_access::raw_elements(x));
    s.re.assign(re, re + bytes);
    if (const auto* im = reinterpret_cast<const unsigned char*>(x.addi()))
        s.im.assign(im, im + bytes);
}

State state_of(const Mm& x)
{
    State s;
    const M_types& f = x.getflags();
    s.words = {std::uintptr_t(x.getndims()),
               std::uintptr_t(x.getdims()[0]),
               std::uintptr_t(x.getdims()[1]),
               std::uintptr_t(x.getdims()[2]),
               std::uintptr_t(x.getdims()[3]),
               std::uintptr_t(x.getp()),
               std::uintptr_t(x.getnnz()),
               std::uintptr_t(x.getnfields()),
               std::uintptr_t(x.getclassid()),
               std::uintptr_t(f.str),
               std::uintptr_t(f.sparse),
               std::uintptr_t(f.logical),
               std::uintptr_t(f.scalar_var),
               std::uintptr_t(f.persistent),
               std::uintptr_t(f.global),
               std::uintptr_t(f.type),
               reinterpret_cast<std::uintptr_t>(mm_access::raw_elements(x)),
               reinterpret_cast<std::uintptr_t>(x.addi()),
               reinterpret_cast<std::uintptr_t>(x.getindex()),
               reinterpret_cast<std::uintptr_t>(x.getname()),
               reinterpret_cast<std::uintptr_t>(x.getfields()),
               std::uintptr_t(x.hasstorage())};
    if (!x.hasstorage())
        return s;
    take_data(x, s);
    if (x.issparse() && x.getindex())
        s.positions.assign(x.getindex(), x.getindex() + x.getnnz());
    for (int k = 0; k < x.getnfields(); ++k)
        s.fields.emplace_back(x.getfields()[k]);
    return s;
}

// ---- the table of values ----

Mm struct_pair()
{
    Mm s;
    s.member("a") = Mm(1.0);
    s.member("b") = TM("xy");
    Mm t = s;
    t.member("a") = test::row({2, 3});
    s(Mm(2.0)) = t;
    return s;
}

struct Kind {
    const char* name;
    Mm (*make)();
};

const Kind kinds[] = {
    {"double", [] { return test::real(2, 3, {1, 4, -2.5, 0, 3, 6}); }},
    {"scalar variable", [] { return Mm(Mm(2.0), "v"); }},
    {"complex", [] { return test::complex(2, 2, {1, 0, 3, 4}, {2, -1, 0, -1}); }},
    {"complex with zero imaginary part", [] { return test::complex(1, 3, {3, 1, 2}, {0, 0, 0}); }},
    {"uint8", [] { return muint8(test::row({1, 2, 200})); }},
    {"complex uint8", [] { return muint8(test::complex(1, 3, {1, 2, 3}, {0, 2, 0})); }},
    {"char", [] { return test::text("abc"); }},
    {"logical", [] { return mlogical(test::row({1, 0, 1})); }},
    {"sparse", [] { return sparse(test::real(3, 3, {1, 0, 3, 0, 0, 0, 0, 2, 0})); }},
    {"complex sparse",
     [] { return sparse(test::complex(3, 3, {1, 0, 3, 0, 0, 0, 0, 2, 0}, {1, 0, 0, 0, 0, 0, 0, -2, 0})); }},
    {"cell", [] { return test::cell_of(2, 2, {Mm(1.0), test::row({1, 2}), TM("ab"), Mm(0, 0, 0, 0, 0, qv_cell)}); }},
    {"new cell", [] { return Mm(0, 0, 0, 1, 3, qv_cell); }},
    {"struct", struct_pair},
    {"empty", [] { return Mm(); }},
    {"3-d", [] { return test::counting({2, 2, 2}); }},
    {"range", [] { return colon(1.0, 100.0); }},
};

// ---- the functions ----

using Call1 = void (*)(const Mm&);
using Call2 = void (*)(const Mm&, const Mm&);

struct Front1 {
    const char* name;
    Call1 call;
};
struct Front2 {
    const char* name;
    Call2 call;
};

#define F1(f) {#f, [](const Mm& a) { (void)f(a); }}
#define F2(f) {#f, [](const Mm& a, const Mm& b) { (void)f(a, b); }}

// Why each argument of each call differs afterwards, one line each.
struct Findings {
    std::vector<std::string> lines;
    void check(const char* function, const std::string& args, int which, const State& before, const Mm& after)
    {
        if (!(state_of(after) == before))
            lines.push_back(std::string(function) + "(" + args + "): argument " + std::to_string(which) + " changed");
    }
    std::string text() const
    {
        std::string t;
        for (const auto& l : lines)
            t += l + "\n";
        return t;
    }
};

template <class F>
void quietly(F&& f)
{
    try {
        f();
    } catch (const char*) {
        // A refused call is fine; only the arguments matter here.
    }
}

void sweep(const std::vector<Front1>& fronts, Findings& found)
{
    for (const auto& front : fronts)
        for (const Kind& kind : kinds)
            for (bool shared : {false, true}) {
                const Mm a = kind.make();
                Mm holder;
                if (shared)
                    holder = a;
                const State before = state_of(a);
                quietly([&] { front.call(a); });
                found.check(front.name, std::string(kind.name) + (shared ? ", shared" : ""), 1, before, a);
            }
}

void sweep(const std::vector<Front2>& fronts, Findings& found)
{
    for (const auto& front : fronts)
        for (const Kind& ka : kinds)
            for (const Kind& kb : kinds)
                for (bool shared : {false, true}) {
                    const Mm a = ka.make(), b = kb.make();
                    Mm ha, hb;
                    if (shared) {
                        ha = a;
                        hb = b;
                    }
                    const State sa = state_of(a), sb = state_of(b);
                    quietly([&] { front.call(a, b); });
                    const std::string args =
                        std::string(ka.name) + ", " + kb.name + (shared ? ", shared" : "");
                    found.check(front.name, args, 1, sa, a);
                    found.check(front.name, args, 2, sb, b);
                }
    // One value as both arguments: a function that writes one of them
    // through its other name is caught too.
    for (const auto& front : fronts)
        for (const Kind& kind : kinds) {
            const Mm a = kind.make();
            const State before = state_of(a);
            quietly([&] { front.call(a, a); });
            found.check(front.name, std::string(kind.name) + " twice", 1, before, a);
        }
}

// ---- the engine: operators, element-wise functions, reductions ----

TEST(ArgumentsUnchanged, EngineOneOperand)
{
    const std::vector<Front1> fronts = {
        F1(abs), F1(acos), F1(acosh), F1(acot), F1(acoth), F1(acsc), F1(acsch), F1(all), F1(angle), F1(any),
        F1(arg), F1(asec), F1(asech), F1(asin), F1(asinh), F1(atan), F1(atanh), F1(betainc), F1(bitcmp),
        F1(ceil), F1(conj), F1(cos), F1(cosh), F1(cot), F1(coth), F1(csc), F1(csch), F1(cumprod), F1(cumsum),
        F1(del2), F1(diff), F1(ellipj), F1(ellipke), F1(erf), F1(erfc), F1(erfcx), F1(erfinv), F1(exp),
        F1(expint), F1(factor), F1(finite), F1(fix), F1(floor), F1(gamma), F1(gammainc), F1(gammaln),
        F1(gradient), F1(imag), F1(isfinite), F1(isinf), F1(isnan), F1(isprime), F1(length), F1(log),
        F1(log10), F1(log2), F1(max), F1(median), F1(min), F1(mnot), F1(msqrt), F1(perms), F1(pow2),
        F1(primes), F1(prod), F1(qv_isnan), F1(rat), F1(real), F1(reallog), F1(realsqrt), F1(round), F1(sec),
        F1(sech), F1(sign), F1(sin), F1(sinc), F1(sinh), F1(size), F1(sum), F1(sumabs), F1(tan), F1(tanh),
        F1(tril), F1(triu), F1(uminus), F1(unwrap), F1(uplus), F1(gcd), F1(lcm), F1(nchoosek), F1(cross),
        F1(dot), F1(mtimes), F1(plus), F1(minus),
        {"-a", [](const Mm& a) { (void)-a; }},
        {"+a", [](const Mm& a) { (void)+a; }},
        {"!a", [](const Mm& a) { (void)!a; }},
        {"a == 2", [](const Mm& a) { (void)(a == 2.0); }},
        {"2 < a", [](const Mm& a) { (void)(2.0 < a); }},
        {"a >= 2", [](const Mm& a) { (void)(a >= 2.0); }},
        {"a != 2", [](const Mm& a) { (void)(a != 2.0); }},
        {"a + 1", [](const Mm& a) { (void)(a + 1.0); }},
        {"2 * a", [](const Mm& a) { (void)(2.0 * a); }},
        {"a / 2", [](const Mm& a) { (void)(a / 2.0); }},
        {"1 - a", [](const Mm& a) { (void)(1.0 - a); }},
        {"[m, k] = max(a)",
         [](const Mm& a) {
             Mm m, k;
             max(a, i_o, m, k);
         }},
        {"[m, k] = min(a)",
         [](const Mm& a) {
             Mm m, k;
             min(a, i_o, m, k);
         }},
        {"[r, c] = size(a)",
         [](const Mm& a) {
             Mm r, c;
             size(a, i_o, r, c);
         }},
        {"[f, e] = log2(a)",
         [](const Mm& a) {
             Mm f, e;
             log2(a, i_o, f, e);
         }},
        {"[k, e] = ellipke(a)",
         [](const Mm& a) {
             Mm k, e;
             ellipke(a, i_o, k, e);
         }},
    };
    Findings found;
    sweep(fronts, found);
    EXPECT_EQ(found.text(), "");
}

TEST(ArgumentsUnchanged, EngineTwoOperands)
{
    const std::vector<Front2> fronts = {
        F2(all), F2(any), F2(atan2), F2(beta), F2(betainc), F2(betaln), F2(bitcmp), F2(bitget), F2(bitreset),
        F2(bitset), F2(bitshift), F2(bitxor), F2(cross), F2(cumprod), F2(cumsum), F2(del2), F2(diff), F2(dot),
        F2(dot_add), F2(dot_div), F2(dot_invdiv), F2(dot_mul), F2(dot_pow), F2(dot_sub), F2(ellipj), F2(eq),
        F2(gammainc), F2(gcd), F2(ge), F2(gradient), F2(gt), F2(lcm), F2(ldivide), F2(le), F2(lt), F2(mand),
        F2(max), F2(mbitand), F2(mbitor), F2(median), F2(min), F2(minus), F2(mod), F2(mor), F2(mtimes),
        F2(mxor), F2(nchoosek), F2(ne), F2(plus), F2(pow2), F2(power), F2(prod), F2(rat), F2(rdivide),
        F2(realpow), F2(rem), F2(sign), F2(size), F2(sum), F2(sumabs), F2(times), F2(tril), F2(triu),
        F2(unwrap), F2(realpow),
        {"a + b", [](const Mm& a, const Mm& b) { (void)(a + b); }},
        {"a - b", [](const Mm& a, const Mm& b) { (void)(a - b); }},
        {"a * b", [](const Mm& a, const Mm& b) { (void)(a * b); }},
        {"a / b", [](const Mm& a, const Mm& b) { (void)(a / b); }},
        {"a < b", [](const Mm& a, const Mm& b) { (void)(a < b); }},
        {"a > b", [](const Mm& a, const Mm& b) { (void)(a > b); }},
        {"a <= b", [](const Mm& a, const Mm& b) { (void)(a <= b); }},
        {"a >= b", [](const Mm& a, const Mm& b) { (void)(a >= b); }},
        {"a == b", [](const Mm& a, const Mm& b) { (void)(a == b); }},
        {"a != b", [](const Mm& a, const Mm& b) { (void)(a != b); }},
        {"a || b", [](const Mm& a, const Mm& b) { (void)(a || b); }},
        {"a && b", [](const Mm& a, const Mm& b) { (void)(a && b); }},
        {"max(a, [], b)", [](const Mm& a, const Mm& b) { (void)max(a, x_M, b); }},
        {"min(a, [], b)", [](const Mm& a, const Mm& b) { (void)min(a, x_M, b); }},
        {"[m, k] = max(a, [], b)",
         [](const Mm& a, const Mm& b) {
             Mm m, k;
             max(a, x_M, b, i_o, m, k);
         }},
        {"bitset(a, 1, b)", [](const Mm& a, const Mm& b) { (void)bitset(a, Mm(1.0), b); }},
        {"betainc(0.5, a, b)", [](const Mm& a, const Mm& b) { (void)betainc(Mm(0.5), a, b); }},
        {"unwrap(a, [], b)", [](const Mm& a, const Mm& b) { (void)unwrap(a, x_M, b); }},
    };
    Findings found;
    sweep(fronts, found);
    EXPECT_EQ(found.text(), "");
}

// ---- index references: reading x(i), x(i, j), x{i}, x.f ----

TEST(ArgumentsUnchanged, IndexReads)
{
    const std::vector<Front1> one = {
        {"x(1)", [](const Mm& a) { (void)Mm(a(Mm(1.0))); }},
        {"x(:)", [](const Mm& a) { (void)Mm(a(c_p)); }},
        {"x()", [](const Mm& a) { (void)Mm(a()); }},
        {"x(2, :)", [](const Mm& a) { (void)Mm(a(Mm(2.0), c_p)); }},
        {"x(1:2)", [](const Mm& a) { (void)Mm(a(colon(1.0, 2.0))); }},
        {"x{1}", [](const Mm& a) { (void)Mm(a.br(Mm(1.0))); }},
        {"x.a", [](const Mm& a) { (void)Mm(a.member("a")); }},
        {"x(2).a", [](const Mm& a) { (void)Mm(a(Mm(2.0)).member("a")); }},
        {"y = x(1) into a scalar",
         [](const Mm& a) {
             Mm y(0.0);
             y = a(Mm(1.0));
         }},
        {"size of x(1)", [](const Mm& a) { (void)a(Mm(1.0)).size(); }},
    };
    const std::vector<Front2> two = {
        {"x(i)", [](const Mm& a, const Mm& b) { (void)Mm(a(b)); }},
        {"x(i, i)", [](const Mm& a, const Mm& b) { (void)Mm(a(b, b)); }},
        {"x(i, :, 1)", [](const Mm& a, const Mm& b) { (void)Mm(a(b, c_p, Mm(1.0))); }},
        {"x{i}", [](const Mm& a, const Mm& b) { (void)Mm(a.br(b)); }},
        {"y = x(i) into a scalar",
         [](const Mm& a, const Mm& b) {
             Mm y(0.0);
             y = a(b);
         }},
    };
    Findings found;
    sweep(one, found);
    sweep(two, found);
    EXPECT_EQ(found.text(), "");
}

// ---- arrays: shapes, cells, structs, sparse, sorting, sets ----

TEST(ArgumentsUnchanged, ArrayFunctions)
{
    const std::vector<Front1> one = {
        F1(abcdchk), F1(cat), F1(cell), F1(cell2struct), F1(cells), F1(cellstr), F1(colon), F1(columns),
        F1(ctranspose), F1(deal), F1(deepcopy), F1(diag), F1(dot_transpose), F1(eye), F1(fcnchk),
        F1(fieldnames), F1(find), F1(flipdim), F1(fliplr), F1(flipud), F1(formula), F1(full), F1(getfield),
        F1(horzcat), F1(inlinefcn), F1(inputname), F1(ipermute), F1(iscellstr), F1(isequal), F1(isfield),
        F1(linspace), F1(logspace), F1(mchar), F1(mclass), F1(mcomplex), F1(mdouble), F1(minline),
        F1(mlogical), F1(mstruct), F1(muint16), F1(muint8), F1(ndims), F1(nnz), F1(nonzeros), F1(nzmax),
        F1(ones), F1(peaks), F1(permute), F1(randM), F1(randn), F1(randperm), F1(repmat), F1(reshape),
        F1(rmfield), F1(rot90), F1(setfield), F1(sort), F1(sortrows), F1(sp2coo), F1(spalloc), F1(sparse),
        F1(speye), F1(spfun), F1(spones), F1(sprand), F1(sprandn), F1(spzeros), F1(struct2cell),
        F1(subsasgn), F1(subsindex), F1(subsref), F1(transpose), F1(vertcat), F1(zeros),
        F1(isempty), F1(isstruct), F1(iscell), F1(iscomplex), F1(isreal), F1(isnumeric), F1(isstr),
        F1(isdouble), F1(islogical), F1(issparse), F1(isuint8), F1(isvector), F1(isscalar), F1(istrue),
        F1(is_square), F1(isint), F1(isobject), F1(scalar), F1(switchinit),
        {"[s, k] = sort(a)",
         [](const Mm& a) {
             Mm s, k;
             sort(a, i_o, s, k);
         }},
        {"[i, j, v] = find(a)",
         [](const Mm& a) {
             Mm i, j, v;
             find(a, i_o, i, j, v);
         }},
        {"[p, q] = deal(a)",
         [](const Mm& a) {
             Mm p, q;
             deal(a, i_o, p, q);
         }},
    };
    const std::vector<Front2> two = {
        F2(abcdchk), F2(cat), F2(cell), F2(cell2struct), F2(cells), F2(colon), F2(diag), F2(eye), F2(fcnchk),
        F2(flipdim), F2(getfield), F2(horzcat), F2(ind2sub), F2(inlinefcn), F2(isa), F2(isequal), F2(isfield),
        F2(linspace), F2(logspace), F2(mclass), F2(mcomplex), F2(minline), F2(ones), F2(peaks), F2(randM),
        F2(randn), F2(repmat), F2(reshape), F2(rmfield), F2(rot90), F2(setfield), F2(sort), F2(sortrows),
        F2(spalloc), F2(sparse), F2(sparsfun), F2(speye), F2(spfun), F2(sprand), F2(sprandn), F2(spzeros),
        F2(sub2ind), F2(subsasgn), F2(subsref), F2(textwrap), F2(vertcat), F2(zeros),
        {"[a, b]", [](const Mm& a, const Mm& b) { (void)Mm((BR(a), b)); }},
        {"[a; b]", [](const Mm& a, const Mm& b) { (void)Mm((BR(a), semi, b)); }},
        {"{a, b}", [](const Mm& a, const Mm& b) { (void)Mm((CL(a), b)); }},
        {"[s, k] = sort(a, b)",
         [](const Mm& a, const Mm& b) {
             Mm s, k;
             sort(a, b, i_o, s, k);
         }},
    };
    Findings found;
    sweep(one, found);
    sweep(two, found);
    EXPECT_EQ(found.text(), "");
}

// ---- text ----

TEST(ArgumentsUnchanged, TextFunctions)
{
    const std::vector<Front1> one = {
        F1(base2dec), F1(bin2dec), F1(blanks), F1(deblank), F1(deblank_leading), F1(dec2base), F1(dec2bin),
        F1(dec2hex), F1(findstr), F1(fullfile), F1(hex2dec), F1(hex2num), F1(int2str), F1(isletter),
        F1(islower), F1(isspace), F1(isupper), F1(lower), F1(mat2str), F1(num2str), F1(setstr), F1(sprintf),
        F1(sscanf), F1(str2double), F1(str2mat), F1(str2num), F1(strcat), F1(strcmp), F1(strcmpi), F1(strjust),
        F1(strmatch), F1(strncmp), F1(strncmpi), F1(strrep), F1(strtok), F1(strvcat), F1(upper),
        F1(Mstr_size),
    };
    const std::vector<Front2> two = {
        F2(base2dec), F2(blanks), F2(dec2base), F2(dec2bin), F2(dec2hex), F2(findstr), F2(mat2str),
        F2(num2str), F2(sprintf), F2(sscanf), F2(str2mat_pair), F2(strcmp), F2(strcmpi), F2(strjust),
        F2(strmatch), F2(strncmp), F2(strncmpi), F2(strrep), F2(strtok), F2(strvcat),
        {"strrep(a, b, a)", [](const Mm& a, const Mm& b) { (void)strrep(a, b, a); }},
        {"strncmp(a, b, 2)", [](const Mm& a, const Mm& b) { (void)strncmp(a, b, Mm(2.0)); }},
    };
    Findings found;
    sweep(one, found);
    sweep(two, found);
    EXPECT_EQ(found.text(), "");
}

// ---- linear algebra ----
// (dongarra is left out: it times solves for three seconds a call.)

TEST(ArgumentsUnchanged, LinearAlgebra)
{
    const std::vector<Front1> one = {
        F1(balance), F1(cauchy), F1(cdf2rdf), F1(compan), F1(cond), F1(condeig), F1(det),
        F1(eig), F1(eig_D), F1(eig_W), F1(expm), F1(gallery), F1(givens), F1(hankel), F1(hess), F1(hilb),
        F1(inv), F1(invhilb), F1(ishermitian), F1(logm), F1(lu), F1(lu_L), F1(lu_U), F1(magic), F1(norm),
        F1(null), F1(orth), F1(pascalM), F1(pinv), F1(planerot), F1(qr), F1(qz), F1(qzval), F1(rank),
        F1(rcond), F1(rref), F1(schur), F1(schur_T), F1(schur_U), F1(sqrtm), F1(subspace), F1(svd),
        F1(svd_S), F1(svd_U), F1(svd_W), F1(toeplitz), F1(trace), F1(vander), F1(wilkinson), F1(chol),
        {"[V, D] = eig(a)",
         [](const Mm& a) {
             Mm V, D;
             eig(a, i_o, V, D);
         }},
        {"[U, S, V] = svd(a)",
         [](const Mm& a) {
             Mm U, S, V;
             svd(a, i_o, U, S, V);
         }},
        {"[Q, R] = qr(a)",
         [](const Mm& a) {
             Mm Q, R;
             qr(a, i_o, Q, R);
         }},
        {"[R, p] = chol(a)",
         [](const Mm& a) {
             Mm R, p;
             chol(a, i_o, R, p);
         }},
    };
    const std::vector<Front2> two = {
        F2(axxbc), F2(cauchy), F2(cdf2rdf), F2(eig), F2(givens), F2(hankel), F2(invdiv), F2(lyap),
        F2(mrdivide), F2(norm), F2(pascalM), F2(pinv), F2(qr), F2(qz), F2(qzval), F2(rank), F2(rref),
        F2(subspace), F2(svd), F2(sylv), F2(toeplitz),
        {"a \\ b", [](const Mm& a, const Mm& b) { (void)invdiv(a, b); }},
        {"a ^ b", [](const Mm& a, const Mm& b) { (void)mpower(a, b); }},
        {"[V, D] = eig(a, b)",
         [](const Mm& a, const Mm& b) {
             Mm V, D;
             eig(a, b, i_o, V, D);
         }},
    };
    Findings found;
    sweep(one, found);
    sweep(two, found);
    EXPECT_EQ(found.text(), "");
}

} // namespace
