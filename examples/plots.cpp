// Pictures of a run: a program that draws a line plot with a legend, a grid
// of small plots, an image with its colormap, a mesh and a bar chart. Run
// with VIZMO_OUTPUT_DIR set, it leaves each figure as PNG and SVG files
// there (figure-<n>.png at the end, figure-<n>-<k>.png after each drawnow).
// Figures come from the library; axes and series are made through the
// engine's own operations, as the plotting commands do.
#include <velkor.h>

#include <vizmo4510.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void put(double h, const char* name, std::vector<double> v, int rows = 1)
{
    miniM m{2, {rows, static_cast<int>(v.size()) / rows, 1, 1}, 0, v.data()};
    vizmo_set_property(h, name, &m);
}

// Texts go as character matrices, one row per text, blank-padded.
void put_text(double h, const char* name, std::vector<std::string> rows)
{
    std::size_t width = 0;
    for (const std::string& r : rows)
        width = std::max(width, r.size());
    std::vector<double> v(rows.size() * width, ' ');
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows[i].size(); ++j)
            v[j * rows.size() + i] = static_cast<unsigned char>(rows[i][j]);
    miniM m{2, {static_cast<int>(rows.size()), static_cast<int>(width), 1, 1}, 1, v.data()};
    vizmo_set_property(h, name, &m);
}

double new_figure(double width, double height)
{
    const double f = figure().r(1.0);
    set(Mm(f), TM("Position"), (BR(100.0), 100.0, width, height));
    set(Mm(f), TM("ColorMap"), jet());
    return f;
}

double new_axes(double fig, std::vector<double> position)
{
    const double ax = vizmo_create_object("Axes", -1);
    put(ax, "Parent", {fig});
    put(ax, "Position", std::move(position));
    return ax;
}

double series(double ax, const char* chart, double colour, const std::vector<double>& x, const std::vector<double>& y,
              double marker = -1, double style = 0)
{
    const double h = vizmo_create_object("line", -1);
    put_text(h, "ChartType", {chart});
    put(h, "Parent", {ax});
    put(h, "Color", {colour});
    put(h, "Marker", {marker});
    put(h, "LineStyle", {style});
    vizmo_set_data(h, static_cast<int>(x.size()), x.data(), 1, y.data(), 1, nullptr, 0);
    return h;
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));
    qv_set_default_error_flags(0x10, 1);

    // A line plot with a legend: two waves, one dashed with markers.
    const double f1 = new_figure(640, 480);
    double ax = new_axes(f1, {0, 0, 1, 1});
    std::vector<double> x(101), s(101), c(101);
    for (int k = 0; k <= 100; ++k) {
        x[k] = 2 * M_PI * k / 100;
        s[k] = std::sin(x[k]);
        c[k] = std::cos(x[k]);
    }
    series(ax, "plot", -105, x, s);
    std::vector<double> xs, cs;
    for (int k = 0; k <= 100; k += 5) {
        xs.push_back(x[k]);
        cs.push_back(c[k]);
    }
    series(ax, "plot", -103, xs, cs, 1, 3);
    put_text(ax, "Title", {"sin and cos"});
    put_text(ax, "XLabel", {"x"});
    put_text(ax, "YLabel", {"y"});
    put_text(ax, "XGrid", {"on"});
    put_text(ax, "YGrid", {"on"});
    put_text(ax, "LegendString", {"sin", "cos"});
    drawnow();

    // A 2 x 2 grid of small plots: stairs, stems, an area and a bar chart.
    const double f2 = new_figure(640, 480);
    const char* charts[] = {"stairs", "stem", "area", "bar"};
    std::vector<double> k8(8), v8(8);
    for (int k = 0; k < 8; ++k) {
        k8[k] = k + 1;
        v8[k] = 1 + std::sin(0.8 * k) * (k % 3 + 1);
    }
    for (int p = 0; p < 4; ++p) {
        const double a = new_axes(f2, {0.08 + 0.5 * (p % 2), 0.56 - 0.5 * (p / 2), 0.38, 0.36});
        series(a, charts[p], -105 + p, k8, v8, p == 1 ? 1 : -1);
        put_text(a, "Title", {charts[p]});
    }
    drawnow();

    // An image scaled into the colormap, with a colour bar beside it.
    const double f3 = new_figure(560, 420);
    ax = new_axes(f3, {0.1, 0.1, 0.65, 0.8});
    const int n = 64;
    std::vector<double> img(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            img[static_cast<std::size_t>(j) * n + i] = std::sin(i / 8.0) * std::cos(j / 10.0);
    put(ax, "CData", img, n);
    put_text(ax, "CDataMapping", {"scaled"});
    put(ax, "CLim", {-1, 1});
    put(ax, "XLim", {1, double(n)});
    put(ax, "YLim", {double(n), 1});
    put(ax, "IMLim", {1, double(n), 1, double(n)});
    put_text(ax, "Title", {"sin(i/8) cos(j/10)"});
    const double bar = new_axes(f3, {0.82, 0.1, 0.05, 0.8});
    std::vector<double> ramp(64);
    for (int k = 0; k < 64; ++k)
        ramp[k] = k + 1;
    put(bar, "CData", ramp, 64);
    put(bar, "XLim", {0.5, 1.5});
    put(bar, "YLim", {-1, 1});
    put(bar, "IMLim", {1, 1, -1, 1});
    drawnow();

    // A mesh of a saddle seen from the default 3-D view.
    const double f4 = new_figure(560, 420);
    ax = new_axes(f4, {0.05, 0.05, 0.9, 0.85});
    put(ax, "View", {-37.5, 30});
    put_text(ax, "Title", {"z = x^2 - y^2"});
    const double mesh = vizmo_create_object("surface", -1);
    put(mesh, "Parent", {ax});
    put_text(mesh, "ChartType", {"mesh"});
    std::vector<double> gx, gy, gz;
    for (int j = 0; j < 21; ++j)
        for (int i = 0; i < 21; ++i) {
            gx.push_back(-1 + j / 10.0);
            gy.push_back(-1 + i / 10.0);
            gz.push_back(gx.back() * gx.back() - gy.back() * gy.back());
        }
    vizmo_set_data(mesh, static_cast<int>(gx.size()), gx.data(), 1, gy.data(), 1, gz.data(), 0);
    drawnow();

    std::printf("figures %g, %g, %g and %g drawn\n", f1, f2, f3, f4);
    exitM();
    return 0;
}
