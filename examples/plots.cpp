// Pictures of a run: a compiled program drawing a line plot with a legend,
// a grid of small charts, an image with its colour bar, a mesh, level lines,
// bar charts (grouped, stacked and horizontal), two y axes, an image shown
// as it is with polar series, piled areas and a long log axis, a
// horizontal colour bar, a sparsity pattern beside list controls, a grid
// of nine titled charts, a legend of thirty entries with aligned texts and
// list boxes of several chosen items,
// through the library's plotting commands. Run with
// VIZMO_OUTPUT_DIR set, it leaves each figure there as PNG and SVG files
// (figure-<n>.png at the end, figure-<n>-<k>.png after each drawnow).
#include <velkor.h>

#include <cmath>
#include <cstdio>

namespace {

Mm new_figure(double width, double height)
{
    Mm f = figure();
    set(f, TM("Position"), (BR(100.0), 100.0, width, height));
    return f;
}

// The labels of the current axes, as a program writes them.
void labels(const char* t, const char* x, const char* y)
{
    title(Mm(CL(TM(t))));
    if (*x)
        xlabel(Mm(CL(TM(x))));
    if (*y)
        ylabel(Mm(CL(TM(y))));
}

// What the pictures are drawn from is checked where a check is cheap; a
// mismatch is reported and the program ends with status 1.
int mismatches = 0;

void expect(bool ok, const char* what)
{
    if (ok)
        return;
    ++mismatches;
    std::fprintf(stderr, "plots: wrong result: %s\n", what);
}

bool sizes_are(const Mm& x, double rows, double cols)
{
    const Mm s = size(x);
    return s.size() >= 2 && s.addr()[0] == rows && s.addr()[1] == cols;
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));
    qv_set_default_error_flags(0x10, 1);

    // A line plot with a legend: a sine, and a cosine dashed with markers.
    new_figure(640, 480);
    Mm x = linspace(0.0, 2 * M_PI, 101.0);
    Mm xs = linspace(0.0, 2 * M_PI, 21.0);
    Mm curves = plot(Mm((CL(x), sin(x), TM("b-"), xs, cos(xs), TM("r--o"))));
    expect(curves.size() == 2, "two lines from one plot");
    if (curves.size() == 2) {
        const Mm sine = get(Mm(curves.addr()[0]), TM("YData"));
        expect(sizes_are(sine, 1, 101), "the sine's YData is 1x101");
        bool exact = sine.size() == 101;
        for (int k = 0; exact && k < 101; ++k)
            exact = sine.addr()[k] == std::sin(x.addr()[k]);
        expect(exact, "the sine's YData holds sin(x)");
    }
    labels("sin and cos", "x", "y");
    grid(TM("on"));
    legend(Mm((CL(TM("sin")), TM("cos"), 3.0)));
    drawnow();

    // A 2 x 2 grid of small charts: stairs, stems, an area and bars.
    new_figure(640, 480);
    Mm k = linspace(1.0, 8.0, 8.0);
    Mm v = 1.0 + times(sin(0.8 * k), rem(k - 1.0, 3.0) + 1.0);
    subplot(2.0, 2.0, 1.0);
    stairs(Mm((CL(k), v, TM("g"))));
    labels("stairs", "", "");
    subplot(2.0, 2.0, 2.0);
    stem(Mm((CL(k), v, TM("m"))));
    labels("stem", "", "");
    subplot(2.0, 2.0, 3.0);
    area(Mm((CL(k), v)));
    labels("area", "k", "");
    subplot(2.0, 2.0, 4.0);
    bar(k, v, TM("c"));
    labels("bar", "k", "");
    drawnow();

    // An image scaled into the colormap, with a colour bar beside it.
    new_figure(560, 420);
    colormap(TM("jet"));
    const Mm map = colormap();
    expect(map.cols() == 3 && map.rows() > 1 && istrue(all(all(map >= 0.0))) && istrue(all(all(map <= 1.0))),
           "the jet map has rows of three values in [0, 1]");
    imagesc(Mm(CL(peaks(Mm(64.0)))));
    colorbar();
    labels("peaks(64)", "column", "row");
    drawnow();

    // A mesh of a saddle from the standard 3-D view (surface grids take
    // positive coordinates).
    new_figure(560, 420);
    Mm gx, gy;
    meshgrid(linspace(1.0, 3.0, 21.0), i_o, gx, gy);
    Mm saddle = times(gx - 2.0, gx - 2.0) - times(gy - 2.0, gy - 2.0);
    mesh(Mm((CL(gx), gy, saddle)));
    labels("z = (x-2)^2 - (y-2)^2", "x", "y");
    zlabel(Mm(CL(TM("z"))));
    drawnow();

    // The saddle's level lines, each labelled with its level.
    new_figure(560, 420);
    Mm levels, lines;
    contour(Mm((CL(gx), gy, saddle, linspace(-0.75, 0.75, 7.0))), i_o, levels, lines);
    clabel(levels);
    labels("levels of the saddle", "x", "y");
    drawnow();

    // A bar chart of three series side by side.
    new_figure(560, 420);
    bar((BR(3.0), 5.0, 2.0, semi, 4.0, 1.0, 3.0, semi, 2.0, 4.0, 5.0, semi, 5.0, 3.0, 4.0));
    labels("three series by quarter", "quarter", "sales");
    axis((BR(0.5), 4.5, 0.0, 7.0));
    const Mm limits = axis();
    expect(limits.size() >= 4 && limits.addr()[0] == 0.5 && limits.addr()[1] == 4.5 && limits.addr()[2] == 0 &&
               limits.addr()[3] == 7,
           "axis() gives the limits set");
    legend(Mm((CL(TM("north")), TM("south"), TM("west"))));
    drawnow();

    // Stacked bars whose parts may be negative (piled down from 0), and
    // horizontal bars of a row.
    new_figure(640, 360);
    subplot(1.0, 2.0, 1.0);
    bar((BR(3.0), 2.0, -1.0, semi, 1.0, 4.0, 2.0, semi, 2.0, -2.0, 3.0, semi, 4.0, 1.0, -1.5), TM("stacked"));
    labels("stacked, negative parts below 0", "quarter", "");
    subplot(1.0, 2.0, 2.0);
    barh((BR(3.0), 1.0, 2.0, 5.0));
    labels("barh([3 1 2 5])", "value", "row");
    drawnow();

    // Two series on two y axes: the second (100..300) on its own scale at
    // the right, so the first (1..3) keeps the left one's full height.
    new_figure(560, 420);
    Mm t = linspace(0.0, 10.0, 101.0);
    plotyy(t, 2.0 + sin(t), t, 200.0 + 100.0 * cos(0.5 * t));
    labels("plotyy", "t", "2 + sin t");
    drawnow();

    // An image shown as it is, two polar series on one radial scale, the
    // columns of a matrix as areas piled on each other, and a log axis over
    // thirty decades.
    new_figure(800, 600);
    subplot(2.0, 2.0, 1.0);
    Mm ramp = reshape(linspace(1.0, 600.0, 600.0), 20.0, 30.0) / 600.0;
    const Mm shown = imshow(Mm(CL(ramp)));
    expect(sizes_are(get(shown, TM("CData")), 20, 30), "imshow keeps the 20 x 30 picture");
    title(Mm(CL(TM("imshow of a 20 x 30 ramp"))));
    subplot(2.0, 2.0, 2.0);
    Mm angle = linspace(0.0, 2 * M_PI, 73.0);
    polar(Mm((CL(angle), 2.0 + cos(angle), TM("r"), angle, 1.0 + 0.0 * angle, TM("b"))));
    legend(Mm((CL(TM("2 + cos t")), TM("1"))));
    title(Mm(CL(TM("polar: one radial scale"))));
    subplot(2.0, 2.0, 3.0);
    Mm day = transpose(linspace(1.0, 12.0, 12.0));
    Mm piles = horzcat(1.0 + 0.5 * sin(0.5 * day), horzcat(1.5 + 0.5 * cos(0.4 * day), 0.75 + 0.0 * day));
    area(Mm((CL(day), piles)));
    const Mm piled = get(gca(), TM("YLim"));
    expect(piled.size() == 2 && piled.addr()[1] >= 3.75, "the areas' limits reach the top of the pile");
    labels("area of three columns, piled", "month", "");
    subplot(2.0, 2.0, 4.0);
    Mm exponent = linspace(-15.0, 15.0, 61.0);
    semilogy(Mm((CL(exponent), power(Mm(10.0), exponent))));
    expect(istrue(strcmp(get(gca(), TM("YScale")), TM("log"))), "semilogy makes the y axis logarithmic");
    labels("semilogy over 30 decades", "exponent", "10^x");
    drawnow();

    // An image with a horizontal colour bar under it.
    new_figure(560, 420);
    colormap(TM("hot"));
    imagesc(Mm(CL(peaks(Mm(32.0)))));
    colorbar(TM("horiz"));
    labels("peaks(32), colour bar below", "", "");
    drawnow();
    expect(sizes_are(getframe(gcf()), 420, 560), "the picture is 560 by 420");

    // A sparsity pattern, row 1 at the top, beside a list box and a pop-up
    // menu that name the parts of the matrix.
    new_figure(640, 360);
    subplot(1.0, 2.0, 1.0);
    const Mm pattern = eye(Mm(20.0)) + diag(ones(Mm(19.0), Mm(1.0)), Mm(1.0)) + diag(ones(Mm(15.0), Mm(1.0)), Mm(-5.0));
    spy(pattern);
    expect(istrue(strcmp(get(gca(), TM("YDir")), TM("inverted"))), "spy turns the y axis downwards");
    labels("spy: diagonal, superdiagonal, band below", "column", "row");
    const Mm parts = Mm((CL(TM("diagonal")), TM("superdiagonal"), TM("band 5 below")));
    const Mm list = uicontrol(Mm((CL(TM("Style")), TM("listbox"), TM("String"), parts, TM("Value"), 2.0, TM("Units"),
                                  TM("normalized"), TM("Position"), (BR(0.6), 0.3, 0.3, 0.35))));
    uicontrol(Mm((CL(TM("Style")), TM("popupmenu"), TM("String"), TM("20 x 20|40 x 40"), TM("Units"),
                  TM("normalized"), TM("Position"), (BR(0.6), 0.8, 0.3, 0.08))));
    uicontrol(Mm((CL(TM("Style")), TM("text"), TM("String"), strvcat(TM("parts of the"), TM("matrix")), TM("Units"),
                  TM("normalized"), TM("Position"), (BR(0.6), 0.66, 0.3, 0.08))));
    expect(iscell(get(list, TM("String"))) && get(list, TM("String")).size() == 3, "the list keeps its three items");
    drawnow();

    // A grid of nine small charts, each with its title, and a line on a
    // log axis whose written limits start at 0.
    new_figure(560, 420);
    for (int k = 1; k <= 9; ++k) {
        subplot(3.0, 3.0, static_cast<double>(k));
        plot(Mm((CL(colon(0.0, 10.0)), power(colon(0.0, 10.0), Mm(k / 3.0)))));
        char t[32];
        std::snprintf(t, sizeof t, "x^{%d/3}", k);
        title(Mm(CL(TM(t))));
        if (k == 9) {
            set(gca(), TM("XLim"), (BR(0.0), 10.0));
            set(gca(), TM("XScale"), TM("log"));
            title(Mm((CL(TM("log x from 0")), TM("Color"), TM("r"), TM("FontWeight"), TM("bold"))));
        }
    }
    drawnow();

    // Thirty series under a legend taller than the figure, one entry of
    // two lines, and texts aligned and turned about their anchors.
    new_figure(560, 300);
    hold(TM("on"));
    Mm names = cell(Mm(1.0), Mm(30.0));
    for (int k = 1; k <= 30; ++k) {
        plot(Mm((CL(colon(1.0, 10.0)), Mm(static_cast<double>(k)) * ones(Mm(1.0), Mm(10.0)))));
        char n[32];
        std::snprintf(n, sizeof n, k == 2 ? "level %d\nsecond line" : "level %d", k);
        names.mr(k) = TM(n);
    }
    legend(names);
    text(Mm((CL(5.0), 15.0, TM("centred, turned 90"), TM("HorizontalAlignment"), TM("center"), TM("Rotation"),
             90.0)));
    text(Mm((CL(4.5), 28.0, TM("right, top"), TM("HorizontalAlignment"), TM("right"), TM("VerticalAlignment"),
             TM("top"))));
    labels("legend of 30 entries", "x", "level");
    drawnow();

    // A 10-item list box of six rows with items 2 and 9 chosen: it shows
    // item 9, and both are marked when the list starts at item 2.
    new_figure(400, 200);
    const Mm items = TM("a|b|c|d|e|f|g|h|i|j");
    uicontrol(Mm((CL(TM("Style")), TM("listbox"), TM("String"), items, TM("Max"), 2.0, TM("Value"), 9.0,
                  TM("Position"), (BR(20.0), 40.0, 120.0, 98.0))));
    uicontrol(Mm((CL(TM("Style")), TM("listbox"), TM("String"), items, TM("Max"), 2.0, TM("Value"), (BR(2.0), 5.0),
                  TM("ListboxTop"), 2.0, TM("Position"), (BR(200.0), 40.0, 120.0, 98.0))));
    drawnow();
    expect(findobj(Mm((CL(TM("Type")), TM("figure")))).size() == 14, "fourteen figures");

    exitM();
    std::printf("fourteen figures drawn\n");
    if (mismatches)
        std::fprintf(stderr, "plots: %d wrong result(s)\n", mismatches);
    return mismatches == 0 ? 0 : 1;
}
