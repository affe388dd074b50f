// Pictures of a run: a compiled program drawing a line plot with a legend,
// a grid of small charts, an image with its colour bar, a mesh, level lines
// and a bar chart through the library's plotting commands. Run with VIZMO_OUTPUT_DIR
// set, it leaves each figure there as PNG and SVG files (figure-<n>.png at
// the end, figure-<n>-<k>.png after each drawnow).
#include <velkor.h>

#include <vizmo4510.h>

#include <cmath>
#include <cstdio>
#include <vector>

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

// A surface in the current axes made through the engine, as the surface
// commands make one: the saddle z = x^2 - y^2 on a 21 x 21 grid.
void saddle(const char* chart)
{
    const double h = vizmo_create_object("surface", -1);
    set(Mm(h), TM("Parent"), gca());
    set(Mm(h), TM("ChartType"), TM(chart));
    std::vector<double> gx, gy, gz;
    for (int j = 0; j < 21; ++j)
        for (int i = 0; i < 21; ++i) {
            gx.push_back(-1 + j / 10.0);
            gy.push_back(-1 + i / 10.0);
            gz.push_back(gx.back() * gx.back() - gy.back() * gy.back());
        }
    vizmo_set_data(h, static_cast<int>(gx.size()), gx.data(), 1, gy.data(), 1, gz.data(), 0);
    set(Mm(h), TM("Colormap"), jet());
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
    plot(Mm((CL(x), sin(x), TM("b-"), xs, cos(xs), TM("r--o"))));
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
    imagesc(Mm(CL(peaks(Mm(64.0)))));
    colorbar();
    labels("peaks(64)", "column", "row");
    drawnow();

    // A mesh of a saddle from the standard 3-D view. Surfaces have no
    // plotting command yet: the mesh is made through the engine, and the
    // view through view(3).
    new_figure(560, 420);
    axes();
    saddle("mesh");
    view(Mm(3.0));
    labels("z = x^2 - y^2", "x", "y");
    zlabel(Mm(CL(TM("z"))));
    drawnow();

    // The saddle's level lines seen from above, made the same way until the
    // contour command lands (its labels come with it).
    new_figure(560, 420);
    axes();
    saddle("contour");
    view(Mm(2.0));
    labels("levels of x^2 - y^2", "x", "y");
    drawnow();

    // A bar chart of three series side by side.
    new_figure(560, 420);
    bar((BR(3.0), 5.0, 2.0, semi, 4.0, 1.0, 3.0, semi, 2.0, 4.0, 5.0, semi, 5.0, 3.0, 4.0));
    labels("three series by quarter", "quarter", "sales");
    axis((BR(0.5), 4.5, 0.0, 7.0));
    legend(Mm((CL(TM("north")), TM("south"), TM("west"))));
    drawnow();

    exitM();
    std::printf("six figures drawn\n");
    return 0;
}
