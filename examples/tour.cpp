// A walk along the main road of the library, written the way a compiled
// program calls it and shown the way the language shows results: each
// statement, then its value through display. Start-up, values of every
// element type, copies that share storage, an error caught as an exception,
// indexing, brackets, cells and structs, operations, numbers as text,
// shut-down.
#include <velkor.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace {

int lines_shown = 0;

// The host's print hook: counts each line the library writes.
void host_print(const char* text)
{
    for (const char* c = text; *c; ++c) {
        std::fputc(*c, stdout);
        if (*c == '\n')
            ++lines_shown;
    }
}

// A statement as typed at the prompt, then its result as the language shows
// it: under the variable's name, or as ans.
void show(const char* statement, const char* name, const Mm& value)
{
    qv_printf(">> %s\n", statement);
    if (name)
        display(Mm(value, name));
    else
        display(Mm(value));  // a copy carries no name: it shows as ans
}

void section(const char* title) { qv_printf("\n%s\n", title); }

// What the tour shows is checked where a check is cheap: against exact
// arithmetic or the C library. A mismatch is reported and the tour ends
// with status 1.
int mismatches = 0;

void expect(bool ok, const char* what)
{
    if (ok)
        return;
    ++mismatches;
    std::fprintf(stderr, "tour: wrong result: %s\n", what);
}

bool near(double got, double want, double tol = 1e-12) { return std::fabs(got - want) <= tol * (1 + std::fabs(want)); }

// x's elements, column-major, against the list.
bool elements_are(const Mm& x, std::initializer_list<double> want, double tol = 1e-12)
{
    const Mm f = full(real(x));
    if (f.size() != static_cast<int>(want.size()))
        return false;
    int k = 0;
    for (double w : want)
        if (!(std::isnan(w) ? std::isnan(f.addr()[k++]) : near(f.addr()[k++], w, tol)))
            return false;
    return true;
}

// The host's function caller: the solvers call user functions by name
// through it. This host knows two functions: Rosenbrock's valley and a
// damped oscillator y'' = -y - y'/5 as a first-order system.
Mm host_feval(Mm name, Mm args, i_o_t, Mm& out1, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    char text[32];
    Mstr(name, text, sizeof text);
    const Mm x = Mm(args.br(Mm(1.0)));
    if (text[0] == 'r') {
        const double a = x.r(1.0), b = x.r(2.0);
        out1 = Mm(100 * (b - a * a) * (b - a * a) + (1 - a) * (1 - a));
    } else if (text[0] == 'd') {
        const Mm y = Mm(args.br(Mm(2.0)));
        out1 = (BR(y.r(2.0)), semi, -y.r(1.0) - y.r(2.0) / 5);
    } else {
        error("Undefined function '%s'.", text);
    }
    return out1;
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));
    qv_set_print_handler(host_print);
    // Errors come back as exceptions; no message boxes.
    qv_set_default_error_flags(0x10, 1);
    qv_set_default_error_flags(0x2, 0);
    qv_set_default_warning_flags(0x2, 0);

    section("Values of every element type");
    Mm x = 3.5;
    show("x = 3.5", "x", x);
    Mm m(0, 0, 0, 2, 3, qv_double);
    double* p = m.getpr((double*)nullptr);
    for (int k = 0; k < 6; ++k)
        p[k] = k + 1;
    show("m = [1 3 5; 2 4 6]", "m", m);
    show("i", nullptr, i);
    Mm b(0, 0, 0, 1, 4, qv_uint8);
    const unsigned char bytes[] = {1, 2, 254, 255};
    for (int k = 0; k < 4; ++k)
        b.getpr((unsigned char*)nullptr)[k] = bytes[k];
    show("b = uint8([1 2 254 255])", "b", b);
    show("c = cell(1, 2)", "c", cell(Mm(1.0), Mm(2.0)));
    Mm s = TM("hello");
    show("s = 'hello'", "s", s);
    char back[16];
    Mstr(s, back, sizeof back);
    qv_printf("   %% Mstr(s) reads back \"%s\" into a C buffer\n", back);

    section("Copies share storage");
    Mm y = m;
    show("y = m", "y", y);
    qv_printf("   %% m is shared by %d other holder(s), same data: %s\n", m.dirty(),
              y.getpr((double*)nullptr) == m.getpr((double*)nullptr) ? "yes" : "no");

    section("Errors");
    try {
        initM2(4500, sizeof(Mm));
    } catch (const char* text) {
        qv_printf("   %% caught: %s\n", text);
    }
    show("lasterr", nullptr, lasterr());
    try {
        error(TM("a 100% literal message"));
    } catch (const char* text) {
        qv_printf(">> error('a 100%% literal message')\n   %% caught: %s\n", text);
    }

    section("Indexing");
    Mm r = colon(1.0, 10.0);
    show("r = 1:10", "r", r);
    show("r(2:5)", nullptr, Mm(r(colon(2.0, 5.0))));
    Mm g(x_M, "g");
    g(Mm(3.0)) = Mm(7.0);
    show("g = []; g(3) = 7", "g", g);
    expect(elements_are(g, {0, 0, 7}) && length(g) == 3, "g(3) = 7");
    Mm sq;
    for (int k = 1; k <= 5; ++k)
        sq(k) = k * k;
    show("sq = []; for k = 1:5, sq(k) = k^2; end", "sq", sq);
    show("sum(sq)", nullptr, sum(sq));
    expect(sum(sq).r() == 55 && length(sq) == 5 && !isempty(sq), "squares grown from empty");
    r(colon(1.0, 2.0, 9.0)) = x_M;
    show("r(1:2:9) = []", "r", r);
    // A long range used as an index is the run it stands for: nothing
    // writes its million elements.
    Mm big = colon(1.0, 1e6);
    const Mm inner_sum = sum(Mm(big(colon(2.0, 1e6 - 1))));
    show("big = 1:1e6; sum(big(2:end-1))", nullptr, inner_sum);
    expect(inner_sum.r() == 1e6 * (1e6 - 1) / 2 - 1, "sum(big(2:end-1))");
    Mm st(i_o, "st", 0);
    st.member("name") = TM("tour");
    st.member("count") = Mm(3.0);
    show("st.name = 'tour'; st.count = 3", "st", st);

    section("Brackets, cells and structs");
    Mm mb = (BR(1.0), 2.0, 3.0, semi, 4.0, 5.0, 6.0);
    show("mb = [1 2 3; 4 5 6]", "mb", mb);
    Mm wide = (BR(mb), (BR(7.0), semi, 8.0));
    show("[mb, [7; 8]]", nullptr, wide);
    Mm rows2 = (BR("abc"), semi, "xyz");
    show("['abc'; 'xyz']", nullptr, rows2);
    show("reshape(1:6, [3 2])", nullptr, reshape(colon(1.0, 6.0), (BR(3.0), 2.0)));
    Mm ce = (CL(1.0), "two", semi, mb);
    show("ce = {1, 'two'; mb}", "ce", ce);
    Mm ce_named(ce, "ce");
    qv_printf(">> celldisp(ce)\n");
    celldisp(ce_named);
    Mm sa = mstruct((CL("name"), "tour", "size", (CL(1.0), 2.0, 3.0)));
    show("sa = struct('name', 'tour', 'size', {1, 2, 3})", "sa", sa);
    show("fieldnames(sa)", nullptr, fieldnames(sa));
    show("sa(3).size", nullptr, Mm(Mm(sa(Mm(3.0))).member("size")));

    section("Operations");
    Mm xs = colon(1.0, 6.0);
    show("x = 1:6; y = sin(x(2:5)) + 1", "y", sin(Mm(xs(colon(2.0, 5.0)))) + Mm(1.0));
    show("sqrt(-4)", nullptr, msqrt(Mm(-4.0)));
    show("abs(3 + 4i)", nullptr, abs(Mm(3.0) + times(i, Mm(4.0))));
    Mm with_nan = (BR(3.0), NAN, 5.0, 1.0);
    Mm mx, at;
    max(with_nan, i_o, mx, at);
    qv_printf(">> [m, k] = max([3 NaN 5 1])\n");
    display(Mm(mx, "m"));
    display(Mm(at, "k"));
    expect(mx.r() == 5 && at.r() == 3, "max([3 NaN 5 1])");
    show("sum([3 NaN 5 1])", nullptr, sum(with_nan));
    show("magic = [8 1 6; 3 5 7; 4 9 2] / 7", "magic", (BR(8.0), 1.0, 6.0, semi, 3.0, 5.0, 7.0, semi, 4.0, 9.0, 2.0) / 7.0);
    format(TM("long"));
    show("format long; pi", nullptr, pi);
    format();
    show("format short; pi", nullptr, pi);

    section("Constructors and random numbers");
    show("eye(2, 3)", nullptr, eye(2.0, 3.0));
    show("zeros(2, 2) + ones(2, 2)", nullptr, zeros(2.0, 2.0) + ones(2.0, 2.0));
    randM(TM("seed"), Mm(42.0));
    show("rand('seed', 42); rand(1, 3)", nullptr, randM(1.0, 3.0));
    show("randn(2, 2)", nullptr, randn(2.0, 2.0));

    section("Sorting, reductions and sparse values");
    Mm unsorted = (BR(3.0), 1.0, 4.0, 1.0, 5.0, 9.0, 2.0, 6.0);
    Mm sorted, order;
    sort(unsorted, i_o, sorted, order);
    qv_printf(">> [s, k] = sort([3 1 4 1 5 9 2 6])\n");
    display(Mm(sorted, "s"));
    display(Mm(order, "k"));
    expect(elements_are(sorted, {1, 1, 2, 3, 4, 5, 6, 9}) && elements_are(order, {2, 4, 7, 1, 3, 5, 8, 6}),
           "sort([3 1 4 1 5 9 2 6])");
    expect(median(unsorted).r() == 3.5, "median");
    show("median([3 1 4 1 5 9 2 6])", nullptr, median(unsorted));
    show("cumsum(1:5)", nullptr, cumsum(colon(1.0, 5.0)));
    Mm sp = sparse((BR(1.0), 2.0, 3.0), (BR(1.0), 2.0, 3.0), (BR(10.0), 20.0, 30.0));
    show("S = sparse(1:3, 1:3, [10 20 30])", "S", sp);
    show("S * [1; 1; 1]", nullptr, sp * (BR(1.0), semi, 1.0, semi, 1.0));

    section("Matrix products, find and sets");
    Mm a2 = (BR(1.0), 2.0, semi, 3.0, 4.0);
    show("A = [1 2; 3 4]; A * [5; 6]", nullptr, a2 * (BR(5.0), semi, 6.0));
    expect(elements_are(a2 * (BR(5.0), semi, 6.0), {17, 39}), "A * [5; 6]");
    expect(elements_are(find((BR(0.0), 3.0, 0.0, 4.0)), {2, 4}), "find");
    expect(elements_are(unique((BR(3.0), 1.0, 3.0, 2.0)), {1, 2, 3}), "unique");
    show("A / A", nullptr, a2 / a2);
    show("find([0 3 0 4])", nullptr, find((BR(0.0), 3.0, 0.0, 4.0)));
    show("unique([3 1 3 2])", nullptr, unique((BR(3.0), 1.0, 3.0, 2.0)));
    show("intersect([5 1 5], [5 7])", nullptr, intersect((BR(5.0), 1.0, 5.0), (BR(5.0), 7.0)));

    section("Scalar kernels");
    show("[rem(-5, 3), mod(-5, 3), fix(-2.7), round(-2.5)]", nullptr,
         (BR(rem(-5.0, 3.0)), mod(-5.0, 3.0), fix(-2.7), round(-2.5)));
    expect(elements_are((BR(rem(-5.0, 3.0)), mod(-5.0, 3.0), fix(-2.7), round(-2.5)),
                        {std::fmod(-5.0, 3.0), 1, std::trunc(-2.7), std::round(-2.5)}),
           "rem, mod, fix, round");

    section("Numbers and text");
    show("num2str(pi)", nullptr, num2str(pi));
    show("num2str([1 NaN Inf; -2 0.5 1e5])", nullptr,
         num2str((BR(1.0), NAN, INFINITY, semi, -2.0, 0.5, 1e5)));
    show("mat2str([1 2; 3 4])", nullptr, mat2str((BR(1.0), 2.0, semi, 3.0, 4.0)));
    show("str2num('1 2; 3 4+2i')", nullptr, str2num(TM("1 2; 3 4+2i")));
    show("dec2hex([1 255])", nullptr, dec2hex((BR(1.0), 255.0)));
    show("sparse([0 5 0; 0 0 7])", nullptr, sparse((BR(0.0), 5.0, 0.0, semi, 0.0, 0.0, 7.0)));

    section("Formatted text");
    Mm table = (BR(1.0), 2.0, 3.0, semi, 1.0, 4.0, 9.0, semi, 1.0, 8.0, 27.0);
    show("sprintf('%3d %4d %5d\\n', [1 2 3; 1 4 9; 1 8 27])", nullptr,
         sprintf(TM("%3d %4d %5d\n"), CL(table)));
    Mm values_read, count;
    sscanf(TM("10 20 30 40"), TM("%d"), (BR(2.0), INFINITY), i_o, values_read, count);
    qv_printf(">> [a, n] = sscanf('10 20 30 40', '%%d', [2 Inf])\n");
    display(Mm(values_read, "a"));
    display(Mm(count, "n"));
    expect(elements_are(values_read, {10, 20, 30, 40}) && values_read.rows() == 2 && count.r() == 4, "sscanf");
    show("strrep('abcabc', 'bc', 'X')", nullptr, strrep(TM("abcabc"), TM("bc"), TM("X")));

    section("Linear algebra");
    Mm spd = (BR(4.0), 2.0, semi, 2.0, 3.0);
    show("svd([1 2; 3 4])", nullptr, svd(a2));
    // The singular values of [1 2; 3 4]: square roots of 15 +- sqrt(221).
    expect(elements_are(svd(a2), {std::sqrt(15 + std::sqrt(221.0)), std::sqrt(15 - std::sqrt(221.0))}), "svd");
    Mm su, ss, sv;
    svd((BR(2.0), 0.0, semi, 0.0, -3.0), i_o, su, ss, sv);
    qv_printf(">> [U, S, V] = svd([2 0; 0 -3])\n");
    display(Mm(su, "U"));
    display(Mm(ss, "S"));
    display(Mm(sv, "V"));
    show("chol([4 2; 2 3])", nullptr, chol(spd));
    Mm qq, qr_r;
    qr((BR(3.0), 1.0, semi, 4.0, 2.0), i_o, qq, qr_r);
    qv_printf(">> [Q, R] = qr([3 1; 4 2])\n");
    display(Mm(qq, "Q"));
    display(Mm(qr_r, "R"));
    show("rank(magic(4))", nullptr, rank(magic(Mm(4.0))));
    Mm sys = (BR(4.0), 1.0, semi, 1.0, 3.0);
    show("[4 1; 1 3] \\ [1; 2]", nullptr, mldivide(sys, (BR(1.0), semi, 2.0)));
    show("sparse([4 1; 1 3]) \\ [1; 2]", nullptr, mldivide(sparse(sys), (BR(1.0), semi, 2.0)));
    show("det([1 2; 3 4])", nullptr, det((BR(1.0), 2.0, semi, 3.0, 4.0)));
    show("inv([4 7; 2 6])", nullptr, inv((BR(4.0), 7.0, semi, 2.0, 6.0)));
    expect(elements_are(mldivide(sys, (BR(1.0), semi, 2.0)), {1.0 / 11, 7.0 / 11}), "[4 1; 1 3] \\ [1; 2]");
    expect(near(det((BR(1.0), 2.0, semi, 3.0, 4.0)).r(), -2), "det");
    expect(elements_are(inv((BR(4.0), 7.0, semi, 2.0, 6.0)), {0.6, -0.2, -0.7, 0.4}), "inv");
    section("Eigenvalues");
    Mm sym = (BR(2.0), 1.0, semi, 1.0, 2.0);
    show("eig([2 1; 1 2])", nullptr, eig(sym));
    expect(elements_are(eig(sym), {1, 3}), "eig([2 1; 1 2])");
    Mm vectors, values;
    eig(sym, i_o, vectors, values);
    qv_printf(">> [V, D] = eig([2 1; 1 2])\n");
    display(Mm(vectors, "V"));
    display(Mm(values, "D"));
    show("eig([0 1; -2 -3])", nullptr, eig((BR(0.0), 1.0, semi, -2.0, -3.0)));
    show("eig([1 2; -2 1])", nullptr, eig((BR(1.0), 2.0, semi, -2.0, 1.0)));
    section("Signals");
    Mm spectrum = fft((BR(1.0), 2.0, 3.0, 4.0));
    show("X = fft([1 2 3 4])", "X", spectrum);
    expect(elements_are(spectrum, {10, -2, -2, -2}) && elements_are(imag(spectrum), {0, 2, 0, -2}), "fft([1 2 3 4])");
    show("real(ifft(X))", nullptr, real(ifft(spectrum)));
    show("fftshift([1 2 3 4 5])", nullptr, fftshift((BR(1.0), 2.0, 3.0, 4.0, 5.0)));
    show("roots([1 -3 2])", nullptr, roots((BR(1.0), -3.0, 2.0)));
    expect(elements_are(roots((BR(1.0), -3.0, 2.0)), {2, 1}), "roots");
    show("polyval([1 2 3], [0 1 2])", nullptr, polyval((BR(1.0), 2.0, 3.0), (BR(0.0), 1.0, 2.0)));
    show("interp1([1 2 3], [10 20 30], [1.5 2.25 4])", nullptr,
         interp1((BR(1.0), 2.0, 3.0), (BR(10.0), 20.0, 30.0), (BR(1.5), 2.25, 4.0)));
    expect(elements_are(interp1((BR(1.0), 2.0, 3.0), (BR(10.0), 20.0, 30.0), (BR(1.5), 2.25, 4.0)), {15, 22.5, NAN}),
           "interp1");

    section("Files");
    Mm file = tempname();
    Mm fid = fopen(file, TM("w"));
    qv_printf(">> fid = fopen(tempname(), 'w'); fprintf(fid, '%%d %%d\\n', [1 2 3 4]); fclose(fid);\n");
    fprintf(fid, TM("%d %d\\n"), CL((BR(1.0), 2.0, 3.0, 4.0)));
    fclose(fid);
    fid = fopen(file);
    qv_printf(">> fid = fopen(name);\n");
    show("fgetl(fid)", nullptr, fgetl(fid));
    show("fscanf(fid, '%d')", nullptr, fscanf(fid, TM("%d")));
    fclose(fid);
    deleteM(file);
    show("fullfile('data', 'run1', 'x.wav')", nullptr, fullfile((CL("data"), "run1", "x.wav")));
    Mm saved_matrix((BR(8.0), 1.0, 6.0, semi, 3.0, 5.0, 7.0, semi, 4.0, 9.0, 2.0), "m");
    Mm saved_text(TM("kept"), "t");
    Mm stem = tempname();
    Mm data_file = strcat((CL(stem), ".vor"));
    qv_printf(">> m = [8 1 6; 3 5 7; 4 9 2]; t = 'kept'; save(name, 'm', 't'); clear m t; load(name, 't', 'm')\n");
    save(data_file, (CL(saved_matrix), saved_text));
    Mm loaded_matrix(Mm(), "m"), loaded_text(Mm(), "t");
    load(data_file, (CL(loaded_text), loaded_matrix));
    display(loaded_matrix);
    display(loaded_text);
    expect(isequal(loaded_matrix, saved_matrix) && isequal(loaded_text, saved_text), "save and load");
    deleteM(data_file);
    deleteM(stem);

    section("Dates");
    show("datenum(2000, 1, 1)", nullptr, datenum(Mm(2000.0), Mm(1.0), Mm(1.0)));
    expect(datenum(Mm(2000.0), Mm(1.0), Mm(1.0)).r() == 730486, "datenum");
    show("datevec('15-Mar-1999 10:20:30')", nullptr, datevec(TM("15-Mar-1999 10:20:30")));
    Mm day_number, day_name;
    weekday(Mm(730486.0), i_o, day_number, day_name);
    qv_printf(">> [n, s] = weekday(730486)\n");
    display(Mm(day_number, "n"));
    display(Mm(day_name, "s"));
    expect(day_number.r() == 7, "weekday of 1 January 2000, a Saturday");

    section("Bessel functions");
    show("besselj([0 1 2], 1)", nullptr, besselj((BR(0.0), 1.0, 2.0), Mm(1.0)));
    expect(elements_are(besselj((BR(0.0), 1.0, 2.0), Mm(1.0)), {j0(1.0), j1(1.0), jn(2, 1.0)}, 1e-14), "besselj");
    show("besselk(0, -1)", nullptr, besselk(Mm(0.0), Mm(-1.0)));
    show("besseli(1, 1000, 1)", nullptr, besseli(Mm(1.0), Mm(1000.0), Mm(1.0)));
    show("airy(2, [0 1])", nullptr, airy(Mm(2.0), (BR(0.0), 1.0)));
    section("Linear programming");
    show("lp([-1 -2], [1 1; 1 -1], [4; 2], [0 0])", nullptr,
         lp((BR(-1.0), -2.0), (BR(1.0), 1.0, semi, 1.0, -1.0), (BR(4.0), semi, 2.0), (BR(0.0), 0.0)));

    section("Optimisation and differential equations");
    feval_func = host_feval;
    Mm xmin, fval;
    fminsearch(TM("rosenbrock"), (BR(-1.2), 1.0), optimset(TM("TolX"), CL(1e-8)), i_o, xmin, fval);
    qv_printf(">> [x, fval] = fminsearch('rosenbrock', [-1.2 1], optimset('TolX', 1e-8))\n");
    display(Mm(xmin, "x"));
    display(Mm(fval, "fval"));
    expect(elements_are(xmin, {1, 1}, 1e-3) && fval.r() < 1e-8, "fminsearch of Rosenbrock's valley");
    Mm times, states;
    ode45(TM("damped"), (BR(0.0), 1.0, 2.0, 3.0), (BR(1.0), semi, 0.0), i_o, times, states);
    qv_printf(">> [t, y] = ode45('damped', [0 1 2 3], [1; 0])\n");
    display(Mm(times, "t"));
    display(Mm(states, "y"));

    section("Schur form, matrix exponential and a Lyapunov equation");
    Mm rot = (BR(4.0), 1.0, semi, 2.0, 3.0);
    Mm schur_u, schur_t;
    schur(rot, i_o, schur_u, schur_t);
    qv_printf(">> [U, T] = schur([4 1; 2 3])\n");
    display(Mm(schur_u, "U"));
    display(Mm(schur_t, "T"));
    show("expm([0 1; 0 0])", nullptr, expm((BR(0.0), 1.0, semi, 0.0, 0.0)));
    expect(elements_are(expm((BR(0.0), 1.0, semi, 0.0, 0.0)), {1, 0, 1, 1}), "expm");
    show("lyap([-2 1; 0 -3], [1 0; 0 1])", nullptr, lyap((BR(-2.0), 1.0, semi, 0.0, -3.0), eye(2.0)));

    section("Graphics");
    Mm fig = figure();
    show("f = figure()", "f", fig);
    set(fig, TM("Name"), TM("tour"));
    show("get(f, 'Name')", nullptr, get(fig, TM("Name")));
    show("size(getframe(f))", nullptr, size(getframe(fig)));
    show("hot(4)", nullptr, hot(Mm(4.0)));
    Mm lower = subplot(Mm(2.0), Mm(1.0), Mm(2.0));
    show("a = subplot(2, 1, 2); get(a, 'Position')", nullptr, get(lower, TM("Position")));
    xlabel(Mm(CL(TM("time"))));
    show("xlabel('time'); get(get(a, 'XLabel'), 'String')", nullptr, get(get(lower, TM("XLabel")), TM("String")));
    axis((BR(0.0), 10.0, -1.0, 1.0));
    show("axis([0 10 -1 1]); axis()", nullptr, axis());
    Mm hill = surf(Mm(CL(peaks(Mm(20.0)))));
    show("h = surf(peaks(20)); size(get(h, 'ZData'))", nullptr, size(get(hill, TM("ZData"))));
    show("pcolor(magic(4)); get(gca, 'CData')", nullptr, get(pcolor(Mm(CL(magic(Mm(4.0))))), TM("CData")));
    figure_close(TM("all"));

    section("Image files");
    Mm picture = strcat((CL(tempname()), ".bmp"));
    Mm indices = muint8((BR(0.0), 1.0, 2.0, semi, 3.0, 2.0, 1.0));
    imwrite((CL(indices), hot(Mm(4.0)), picture));
    qv_printf(">> name = [tempname() '.bmp']; imwrite(uint8([0 1 2; 3 2 1]), hot(4), name)\n");
    Mm read_back, back_map;
    imread(picture, i_o, read_back, back_map);
    qv_printf(">> [X, map] = imread(name)\n");
    display(Mm(read_back, "X"));
    display(Mm(back_map, "map"));
    show("getfield(imfinfo(name), 'ColorType')", nullptr, getfield(imfinfo(picture), TM("ColorType")));
    deleteM(picture);
    Mm mound = (BR(0.0), 1.0, 0.0, semi, 1.0, 2.0, 1.0, semi, 0.0, 1.0, 0.0);
    Mm contours, lines;
    contour(Mm((CL(mound), 1.0)), i_o, contours, lines);
    qv_printf(">> [C, h] = contour([0 1 0; 1 2 1; 0 1 0], 1)\n");
    display(Mm(contours, "C"));
    show("get(h, 'ChartType')", nullptr, get(lines, TM("ChartType")));
    colormap(TM("gray"));
    show("size(colormap())", nullptr, size(colormap()));
    whitebg(fig);
    show("get(f, 'WhiteBackgroundPrint')", nullptr, get(fig, TM("WhiteBackgroundPrint")));
    show("findobj('Type', 'figure')", nullptr, findobj(Mm((CL(TM("Type")), TM("figure")))));
    figure_close(TM("all"));

    section("Tight tolerances: the 8(7) pair");
    Mm tight_t, tight_y;
    ode78(TM("damped"), (BR(0.0), 3.0), (BR(1.0), semi, 0.0), odeset(TM("RelTol"), Mm(1e-10), TM("AbsTol"), Mm(1e-12)),
          i_o, tight_t, tight_y);
    qv_printf(">> [t, y] = ode78('damped', [0 3], [1; 0], odeset('RelTol', 1e-10, 'AbsTol', 1e-12)); size(t)\n");
    display(Mm(size(tight_t), "ans"));
    show("y(end, :)", nullptr, tight_y(Mm(double(tight_y.rows())), c_p));

    section("Quadratic programming and least squares");
    randM(TM("seed"), Mm(5489.0));
    Mm qx, qlambda, qhow;
    qp((BR(2.0), 0.0, semi, 0.0, 2.0), (BR(-2.0), semi, -4.0), (BR(1.0), 1.0, semi, 1.0, -1.0), (BR(2.0), semi, 5.0),
       i_o, qx, qlambda, qhow);
    qv_printf(">> [x, lambda, how] = qp(2 * eye(2), [-2; -4], [1 1; 1 -1], [2; 5])\n");
    display(Mm(qx, "x"));
    display(Mm(qlambda, "lambda"));
    display(Mm(qhow, "how"));
    expect(elements_are(qx, {0.5, 1.5}, 1e-6), "qp");
    show("nnls([1 0; 0 1], [1; -1])", nullptr, nnls((BR(1.0), 0.0, semi, 0.0, 1.0), (BR(1.0), semi, -1.0)));
    expect(elements_are(nnls((BR(1.0), 0.0, semi, 0.0, 1.0), (BR(1.0), semi, -1.0)), {1, 0}), "nnls");

    exitM();
    std::printf("\n(%d lines through the print hook)\n", lines_shown);
    if (mismatches)
        std::fprintf(stderr, "tour: %d wrong result(s)\n", mismatches);
    return mismatches == 0 ? 0 : 1;
}
