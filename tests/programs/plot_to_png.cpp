// A curve computed point by point into vectors that grow, plotted, titled
// and written to a PNG file: the line holds exactly the collected data, and
// the file is a PNG image of the figure's size (its signature and header
// read with the C library).
#include "check.hpp"

#include <algorithm>
#include <cmath>
#include <string>

using program::held;
using program::near;
using program::same;

namespace {

unsigned big_endian(const unsigned char* p) { return (unsigned(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));

    Mm xs, ys;
    std::vector<double> c_x, c_y;
    for (int k = 0; k <= 40; ++k) {
        const double v = k / 8.0;
        xs(k + 1) = v;
        ys(ys.size() + 1) = std::exp(-v / 2) * std::cos(3 * v);
        c_x.push_back(v);
        c_y.push_back(std::exp(-v / 2) * std::cos(3 * v));
        held("a point computed", {&xs, &ys});
    }

    Mm fig = figure();
    set(fig, TM("Position"), (BR(0.0), 0.0, 320.0, 240.0));
    Mm line = plot(Mm((CL(xs), ys, TM("r-"))));
    title(Mm(CL(TM("damped cosine"))));
    held("plotted", {&fig, &line});
    same("XData", get(line, TM("XData")), 1, 41, c_x);
    same("YData", get(line, TM("YData")), 1, 41, c_y);

    // Written by print, read back through the library's own file functions
    // (file names are kept in the language's form).
    Mm file = strcat((CL(tempname()), ".png"));
    print(Mm(CL(file)));
    Mm fid = fopen(file, TM("r"));
    program::record(fid.r() >= 0, "the PNG file was written");
    Mm head = fread(fid, Mm(24.0), TM("uint8"));
    fclose(fid);
    deleteM(file);
    held("the header read", {&head});
    near("bytes read", head.size(), 24);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char bytes[24] = {};
    for (int k = 0; k < 24 && k < head.size(); ++k)
        bytes[k] = static_cast<unsigned char>(head.addr()[k]);
    program::record(std::equal(signature, signature + 8, bytes), "the PNG signature");
    program::record(std::string(reinterpret_cast<const char*>(bytes + 12), 4) == "IHDR", "the header chunk");
    Mm frame = getframe(fig);
    held("getframe", {&frame});
    near("PNG width is the figure's", big_endian(bytes + 16), size(frame, 2.0).r());
    near("PNG height is the figure's", big_endian(bytes + 20), size(frame, 1.0).r());
    near("figure width", size(frame, 2.0).r(), 320);
    figure_close(TM("all"));

    exitM();
    return program::finish("plot_to_png");
}
