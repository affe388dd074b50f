// A figure as the renderer draws it, read back through the engine's
// "Capture", with the few questions the picture tests of the library ask
// of it: the colour of a pixel, which pixels have a colour, how many
// colours there are.
#pragma once

#include "vizmo_test.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace test {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

inline bool near(const Rgb& a, const Rgb& b, double tol = 2.0 / 255)
{
    return std::fabs(a.r - b.r) <= tol && std::fabs(a.g - b.g) <= tol && std::fabs(a.b - b.b) <= tol;
}

struct Spot {
    int i, j;  // row from the top, column from the left
};

struct Picture {
    int rows = 0, cols = 0;
    std::vector<double> data;  // planes blue, green, red, column-major

    // The picture of figure (or of the figure an object lies in); empty
    // when the engine draws nothing.
    static Picture of(double h)
    {
        const vizmo::test::Value v = vizmo::test::prop(h, "Capture");
        Picture p;
        if (v.ndims == 3 && v.dims[2] == 3) {
            p.rows = v.dims[0];
            p.cols = v.dims[1];
            p.data = v.data;
        }
        return p;
    }
    Rgb at(int i, int j) const
    {
        const std::size_t n = static_cast<std::size_t>(rows) * cols, k = static_cast<std::size_t>(j) * rows + i;
        return {data[2 * n + k], data[n + k], data[k]};
    }
    std::vector<Spot> where(const std::function<bool(const Rgb&)>& test) const
    {
        std::vector<Spot> out;
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i)
                if (test(at(i, j)))
                    out.push_back({i, j});
        return out;
    }
    std::size_t colours() const
    {
        std::set<std::tuple<long, long, long>> seen;
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i) {
                const Rgb c = at(i, j);
                seen.emplace(std::lround(c.r * 255), std::lround(c.g * 255), std::lround(c.b * 255));
            }
        return seen.size();
    }
};

// The box of a flat axes as drawn: the outermost columns and rows in which
// the black frame runs for at least a third of the picture; none (left
// -1) when no frame is drawn.
struct Frame {
    int left = -1, right = -1, top = -1, bottom = -1;
    bool found() const { return left >= 0 && right > left && top >= 0 && bottom > top; }
};

// Within rows i0..i1 and columns j0..j1 (the whole picture by default),
// the frame runs for a fraction (a third by default) of that rectangle.
inline Frame frame_of(const Picture& p, int i0 = 0, int i1 = -1, int j0 = 0, int j1 = -1, double fraction = 1.0 / 3)
{
    i1 = i1 < 0 ? p.rows - 1 : i1;
    j1 = j1 < 0 ? p.cols - 1 : j1;
    // The first and last columns (or rows) black for the fraction.
    auto outermost = [&](bool rows, int& first, int& last) {
        const int a0 = rows ? i0 : j0, a1 = rows ? i1 : j1, b0 = rows ? j0 : i0, b1 = rows ? j1 : i1;
        for (int a = a0; a <= a1; ++a) {
            int n = 0;
            for (int b = b0; b <= b1; ++b) {
                const Rgb c = rows ? p.at(a, b) : p.at(b, a);
                n += c.r + c.g + c.b < 0.15;
            }
            if (n >= fraction * (b1 - b0 + 1)) {
                first = first < 0 ? a : first;
                last = a;
            }
        }
    };
    Frame f;
    outermost(false, f.left, f.right);
    outermost(true, f.top, f.bottom);
    return f;
}

// The smallest rectangle holding every pixel that passes test; rows and
// columns -1 when none does.
struct Ink {
    int top = -1, bottom = -1, left = -1, right = -1;
    bool any() const { return top >= 0; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

inline Ink ink_of(const Picture& p, const std::function<bool(const Rgb&)>& test, int i0 = 0, int i1 = -1,
                  int j0 = 0, int j1 = -1)
{
    Ink k;
    i1 = i1 < 0 ? p.rows - 1 : i1;
    j1 = j1 < 0 ? p.cols - 1 : j1;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i)
            if (test(p.at(i, j))) {
                k.top = k.top < 0 ? i : std::min(k.top, i);
                k.bottom = std::max(k.bottom, i);
                k.left = k.left < 0 ? j : std::min(k.left, j);
                k.right = std::max(k.right, j);
            }
    return k;
}

// Mostly one primary colour, as the edges of an antialiased stroke still are.
inline bool reddish(const Rgb& c) { return c.r > 0.7 && c.g < 0.4 && c.b < 0.4; }
inline bool bluish(const Rgb& c) { return c.b > 0.7 && c.r < 0.4 && c.g < 0.4; }
inline bool greenish(const Rgb& c) { return c.g > 0.7 && c.r < 0.4 && c.b < 0.4; }
inline bool dark(const Rgb& c) { return c.r + c.g + c.b < 1.2; }

// The rows (or the columns) of a rectangle, bounds included, that hold a
// pixel passing test; of any picture whose at(i, j) gives the colour.
template <class Image, class Test>
std::vector<int> lines_with(const Image& p, int i0, int i1, int j0, int j1, bool rows, const Test& test)
{
    std::vector<int> out;
    for (int a = rows ? i0 : j0; a <= (rows ? i1 : j1); ++a) {
        bool any = false;
        for (int b = rows ? j0 : i0; b <= (rows ? j1 : i1) && !any; ++b)
            any = rows ? test(p.at(a, b)) : test(p.at(b, a));
        if (any)
            out.push_back(a);
    }
    return out;
}

// Runs of a sorted list of indices, joined across gaps of at most gap.
inline std::vector<std::pair<int, int>> runs(const std::vector<int>& at, int gap = 1)
{
    std::vector<std::pair<int, int>> out;
    for (int k : at) {
        if (!out.empty() && k - out.back().second <= gap)
            out.back().second = k;
        else
            out.emplace_back(k, k);
    }
    return out;
}

// A text an SVG picture shows: cairo writes each glyph as an outline placed
// on its own, so the characters are read back through a key.
struct SvgText {
    double x = 0, y = 0;  // the first glyph's origin, pixels from the top left
    std::string text;     // '?' for a glyph the key does not hold
};

// The texts of an SVG picture: the glyphs along one baseline, split where a
// gap wider than gap pixels opens. The key is a known text drawn in the
// same picture at the same size (the run of exactly its glyphs), without
// blanks; its outlines name the characters of every other run. A glyph of
// no outline reads as a blank.
inline std::vector<SvgText> svg_texts(const std::string& svg, const std::string& key, double gap = 18)
{
    std::map<std::string, std::string> outline;  // glyph id -> path
    const std::regex symbol("<symbol[^>]*id=\"([^\"]+)\"[^>]*>\\s*<path[^>]*d=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), symbol); it != std::sregex_iterator(); ++it)
        outline[(*it)[1]] = (*it)[2];
    struct Glyph {
        double x, y;
        std::string path;
    };
    std::vector<Glyph> glyphs;
    const std::regex use("<use xlink:href=\"#([^\"]+)\" x=\"([^\"]+)\" y=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), use); it != std::sregex_iterator(); ++it)
        glyphs.push_back({std::stod((*it)[2]), std::stod((*it)[3]), outline[(*it)[1]]});
    std::stable_sort(glyphs.begin(), glyphs.end(),
                     [](const Glyph& a, const Glyph& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    std::vector<std::vector<Glyph>> runs;
    for (const Glyph& g : glyphs) {
        if (runs.empty() || runs.back().back().y != g.y || g.x - runs.back().back().x > gap)
            runs.emplace_back();
        runs.back().push_back(g);
    }
    std::string letters;
    for (char c : key)
        if (c != ' ')
            letters.push_back(c);
    std::map<std::string, char> character;
    for (const auto& run : runs)
        if (run.size() == letters.size() && character.empty())
            for (std::size_t k = 0; k < run.size(); ++k)
                character.emplace(run[k].path, letters[k]);
    std::vector<SvgText> out;
    for (const auto& run : runs) {
        SvgText t{run.front().x, run.front().y, ""};
        for (const Glyph& g : run) {
            const auto found = character.find(g.path);
            t.text.push_back(g.path.empty() ? ' ' : found == character.end() ? '?' : found->second);
        }
        out.push_back(t);
    }
    return out;
}

} // namespace test
