// Refused allocations in the image-file functions: writing, reading back and
// describing a file, with the hidden engine object gone after each run.
#include "alloc_sweep.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"
#include "vizmo_test.h"

namespace {

TEST(AllocationFailure, ImageFiles)
{
    vizmo::test::reset();
    test::temp_dir dir;
    const Mm X = test::bytes(2, 3, {0, 1, 2, 3, 4, 5});
    const Mm map = test::real(6, 3, {0, 0.2, 0.4, 0.6, 0.8, 1, 1, 0.8, 0.6, 0.4, 0.2, 0, 0, 0, 0, 1, 1, 1});
    const Mm write_args = test::cell_row({X, map, test::text("a.bmp")});
    const Mm png_args = test::cell_row({X, map, test::text("a.png")});
    imwrite(write_args);
    imwrite(png_args);
    test::sweep_allocations({
        {"imwrite", Mm(), [=](Mm&) { imwrite(write_args); }},
        {"imread", Mm(), [](Mm& x) { x = imread(test::text("a.bmp")); }},
        {"bmpread", Mm(), [](Mm& x) {
             Mm m;
             bmpread(test::text("a.bmp"), i_o, x, m);
         }},
        {"imfinfo", Mm(), [](Mm& x) { x = imfinfo(test::text("a.bmp")); }},
        {"imwrite png", Mm(), [=](Mm&) { imwrite(png_args); }},
        {"imread png", Mm(), [](Mm& x) { x = imread(test::text("a.png")); }},
    });
    vizmo::test::reset();
}

} // namespace
