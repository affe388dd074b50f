// Chart commands over the series engine: each names its chart type for the
// engine's drawing and writes a few axes properties after the series.
#include "graphics/property_names.hpp"
#include "velkor/graphics.h"
#include "velkor/list.h"

Mm stem(const Mm& args) { return plot2("stem", 2, args); }
Mm stairs(const Mm& args) { return plot2("stairs", 2, args); }
Mm area(const Mm& args) { return plot2("area", 2, args); }
Mm pie(const Mm& args) { return plot2("pie", 2, args); }

Mm polar(const Mm& args)
{
    const Mm h = plot2("polar", 2, args);
    grid(pv_on);
    return h;
}

Mm semilogx(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("XScale"), TM("log"));
    return h;
}

Mm semilogy(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("YScale"), TM("log"));
    return h;
}

Mm loglog(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("XScale"), TM("log"));
    set(gca(), TM("YScale"), TM("log"));
    return h;
}

Mm plot3(const Mm& args)
{
    const Mm h = plot2("plot3", 3, args);
    view(Mm(3.0));
    return h;
}

Mm pie3(const Mm& args)
{
    const Mm h = plot2("pie", 2, args);
    view(Mm(3.0));
    return h;
}
