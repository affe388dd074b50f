// The progress bar's update and a control's construction against the
// engine writes they are made of: the library's share is the two handle
// checks of waitbar and the argument lookups of uicontrol.
#include "bench_util.hpp"

#include "graphics/property_names.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <vector>

namespace {

bench::library_started started;

void WaitbarUpdate(benchmark::State& state)
{
    vizmo::test::reset();
    waitbar(Mm(0.0), TM("bench"));
    const Mm bar = waitbar_bar;
    double x = 0;
    bench::run_with_baseline(
        state,
        [&] {
            x = x < 1 ? x + 0.001 : 0;
            waitbar(Mm(x));
        },
        [&] {
            x = x < 1 ? x + 0.001 : 0;
            set(bar, pn_Value, Mm(100 * x));
        });
    state.SetLabel("baseline: set(bar, 'Value', v)");
    vizmo::test::reset();
    waitbar_figure = Mm(-1.0);
    waitbar_bar = Mm(-1.0);
}
BENCHMARK(WaitbarUpdate);

// The writes uicontrol makes for a text control, straight to the engine.
void TextControl(benchmark::State& state)
{
    vizmo::test::reset();
    double fig = *figure().addr(1);
    const Mm args = Mm((CL(pn_Style), pv_text));
    double off_codes[] = {'o', 'f', 'f'}, on_codes[] = {'o', 'n'}, text_codes[] = {'t', 'e', 'x', 't'};
    double bg[] = {0.8, 0.8, 0.8}, fg[] = {0, 0, 0};
    miniM off{2, {1, 3, 1, 1}, 1, off_codes}, on{2, {1, 2, 1, 1}, 1, on_codes}, style{2, {1, 4, 1, 1}, 1, text_codes};
    miniM parent{2, {1, 1, 1, 1}, 0, &fig}, back{2, {1, 3, 1, 1}, 0, bg}, fore{2, {1, 3, 1, 1}, 0, fg};
    miniM none{2, {1, 0, 1, 1}, 1, nullptr};
    int made = 0;
    bench::run_with_baseline(
        state,
        [&] {
            uicontrol(args);
            if (++made % 4096 == 0)
                set(Mm(fig), pn_KillChilds, Mm(0.0));
        },
        [&] {
            const double h = vizmo_create_object("text", -1);
            vizmo_set_property(h, "Visible", &off);
            vizmo_set_property(h, "Parent", &parent);
            vizmo_set_property(h, "BackgroundColor", &back);
            vizmo_set_property(h, "ForegroundColor", &fore);
            vizmo_set_property(h, "Style", &style);
            vizmo_set_property(h, "Visible", &on);
            vizmo_set_property(h, "CreateFcn", &none);
            vizmo_set_property(h, "DeleteFcn", &none);
            if (++made % 4096 == 0)
                set(Mm(fig), pn_KillChilds, Mm(0.0));
        });
    state.SetLabel("baseline: vizmo_create_object and the same writes");
    vizmo::test::reset();
}
BENCHMARK(TextControl);

} // namespace

BENCHMARK_MAIN();
