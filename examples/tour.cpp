// A walk along the main road of the library, written the way a compiled
// program calls it: start-up, values of every element type, copies that
// share storage, an error caught as an exception, indexing, brackets, cells
// and structs, text through the print hook, shut-down.
#include <velkor.h>

#include <cmath>
#include <cstdio>

namespace {

int lines_shown = 0;

// The host's print hook: numbers each line the library writes.
void host_print(const char* text)
{
    for (const char* c = text; *c; ++c) {
        std::fputc(*c, stdout);
        if (*c == '\n')
            ++lines_shown;
    }
}

void show(const char* label, const Mm& x)
{
    char line[256];
    std::snprintf(line, sizeof line, "  %-26s %dx%d  type %d%s%s%s\n", label, x.rows(), x.cols(), x.gettype(),
                  x.isc() ? "  complex" : "", x.isstr() ? "  text" : "", x.islogical() ? "  logical" : "");
    qv_print_handler(line);
}

Mm nan_row()
{
    Mm x(0, 0, 0, 1, 4, qv_double);
    const double values[] = {3, NAN, 5, 1};
    for (int k = 0; k < 4; ++k)
        x.addr()[k] = values[k];
    return x;
}

void section(const char* title)
{
    qv_print_handler("\n");
    qv_print_handler(title);
    qv_print_handler("\n");
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
    show("x = 3.5", x);
    Mm m(0, 0, 0, 2, 3, qv_double);
    double* p = m.getpr((double*)nullptr);
    for (int k = 0; k < 6; ++k)
        p[k] = k + 1;
    show("m = [1 3 5; 2 4 6]", m);
    show("i", i);
    Mm b(0, 0, 0, 1, 4, qv_uint8);
    show("b = uint8 row", b);
    Mm c(0, 0, 0, 1, 2, qv_cell);
    show("c = cell(1, 2)", c);
    Mm s = TM("hello");
    show("s = 'hello'", s);
    char back[16];
    Mstr(s, back, sizeof back);
    char line[128];
    std::snprintf(line, sizeof line, "  Mstr(s) reads back \"%s\"\n", back);
    qv_print_handler(line);

    section("Copies share storage");
    Mm y = m;
    std::snprintf(line, sizeof line, "  y = m: m is shared by %d other holder(s), same data: %s\n", m.dirty(),
                  y.getpr((double*)nullptr) == m.getpr((double*)nullptr) ? "yes" : "no");
    qv_print_handler(line);

    section("Errors");
    try {
        initM2(4500, sizeof(Mm));
    } catch (const char* text) {
        std::snprintf(line, sizeof line, "  caught: %s\n", text);
        qv_print_handler(line);
    }
    Mm last = lasterr();
    Mstr(last, line, sizeof line);
    qv_print_handler("  lasterr: ");
    qv_print_handler(line);

    section("Indexing");
    Mm r = colon(1.0, 10.0);
    Mm part(r(colon(2.0, 5.0)));
    show("r = 1:10; r(2:5)", part);
    std::snprintf(line, sizeof line, "    elements %g %g %g %g\n", part.r(1), part.r(2), part.r(3), part.r(4));
    qv_print_handler(line);
    Mm g(x_M, "g");
    g(Mm(3.0)) = Mm(7.0);
    show("g = []; g(3) = 7", g);
    std::snprintf(line, sizeof line, "    elements %g %g %g (new ones are 0)\n", g.r(1), g.r(2), g.r(3));
    qv_print_handler(line);
    r(colon(1.0, 2.0, 9.0)) = x_M;
    show("r(1:2:9) = []", r);
    std::snprintf(line, sizeof line, "    elements %g %g ... %g\n", r.r(1), r.r(2), r.r(5));
    qv_print_handler(line);
    Mm st(i_o, "st", 0);
    st.member("name") = TM("tour");
    st.member("count") = Mm(3.0);
    Mm name(st.member("name"));
    Mstr(name, back, sizeof back);
    show("st.name = 'tour'", st);
    std::snprintf(line, sizeof line, "    struct with %d fields: st.name is \"%s\", st.count is %g\n", st.getnfields(),
                  back, Mm(st.member("count")).r());
    qv_print_handler(line);

    section("Brackets, cells and structs");
    Mm mb = (BR(1.0), 2.0, 3.0, semi, 4.0, 5.0, 6.0);
    show("mb = [1 2 3; 4 5 6]", mb);
    std::snprintf(line, sizeof line, "    rows %g %g %g / %g %g %g\n", mb.r(1, 1), mb.r(1, 2), mb.r(1, 3), mb.r(2, 1),
                  mb.r(2, 2), mb.r(2, 3));
    qv_print_handler(line);
    Mm wide = (BR(mb), (BR(7.0), semi, 8.0));
    show("[mb, [7; 8]]", wide);
    Mm rows2 = (BR("abc"), semi, "xyz");
    show("['abc'; 'xyz']", rows2);
    show("reshape(1:6, [3 2])", reshape(colon(1.0, 6.0), (BR(3.0), 2.0)));
    Mm ce = (CL(1.0), "two", semi, mb);
    show("ce = {1, 'two'; mb}", ce);
    std::snprintf(line, sizeof line, "    ce{2, 1} is %dx%d, ce{2, 2} is empty: %s\n", ce.mr(2, 1).rows(),
                  ce.mr(2, 1).cols(), ce.mr(2, 2).size() == 0 ? "yes" : "no");
    qv_print_handler(line);
    Mm sa = mstruct((CL("name"), "tour", "size", (CL(1.0), 2.0, 3.0)));
    show("struct('name', 'tour', 'size', {1, 2, 3})", sa);
    Mm names = fieldnames(sa);
    char first[16], second[16];
    Mstr(names.mr(1), first, sizeof first);
    Mstr(names.mr(2), second, sizeof second);
    std::snprintf(line, sizeof line, "    fields %s, %s; element 3 has size %g\n", first, second,
                  Mm(Mm(sa(Mm(3.0))).member("size")).r());
    qv_print_handler(line);

    section("Operations");
    Mm xs = colon(1.0, 6.0);
    Mm w = sin(Mm(xs(colon(2.0, 5.0)))) + Mm(1.0);
    std::snprintf(line, sizeof line, "  x = 1:6; y = sin(x(2:5)) + 1 = [%.4f %.4f %.4f %.4f]\n", w.r(1), w.r(2),
                  w.r(3), w.r(4));
    qv_print_handler(line);
    Mm root = msqrt(Mm(-4.0));
    std::snprintf(line, sizeof line, "  sqrt(-4) = %g%+gi, abs(3+4i) = %g\n", root.r(), root.i(),
                  abs(Mm(3.0) + times(i, Mm(4.0))).r());
    qv_print_handler(line);
    Mm mx, at;
    max(nan_row(), i_o, mx, at);
    std::snprintf(line, sizeof line, "  [m, k] = max([3 NaN 5 1]) gives m = %g at k = %g; sum = %g\n", mx.r(), at.r(),
                  sum(nan_row()).r());
    qv_print_handler(line);

    section("Scalar kernels");
    std::snprintf(line, sizeof line, "  rem(-5, 3) = %g, mod(-5, 3) = %g, fix(-2.7) = %g, round(-2.5) = %g\n",
                  rem(-5.0, 3.0), mod(-5.0, 3.0), fix(-2.7), round(-2.5));
    qv_print_handler(line);

    exitM();
    std::printf("\n(%d lines through the print hook)\n", lines_shown);
    return 0;
}
