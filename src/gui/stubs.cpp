// Entry points of functions the library does not carry out: they exist so
// that programs naming them link and run, and answer with a fixed text.
#include "velkor/gui.h"

namespace {

Mm stub_called() { return TM("Stub called."); }

} // namespace

#define NUMRUN_STUB_DEFINE(name)                                                                   \
    Mm name(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
NUMRUN_STUB_DEFINE(frame2im)
NUMRUN_STUB_DEFINE(im2frame)
NUMRUN_STUB_DEFINE(movie)
NUMRUN_STUB_DEFINE(spinmap)
NUMRUN_STUB_DEFINE(contourc)
NUMRUN_STUB_DEFINE(doc)
NUMRUN_STUB_DEFINE(getline)
NUMRUN_STUB_DEFINE(getrect)
NUMRUN_STUB_DEFINE(helpfun)
NUMRUN_STUB_DEFINE(hthelp)
NUMRUN_STUB_DEFINE(htpp)
NUMRUN_STUB_DEFINE(light)
NUMRUN_STUB_DEFINE(lightangle)
NUMRUN_STUB_DEFINE(lighting)
NUMRUN_STUB_DEFINE(loadhtml)
NUMRUN_STUB_DEFINE(material)
NUMRUN_STUB_DEFINE(uirestore)
NUMRUN_STUB_DEFINE(uisuspend)
NUMRUN_STUB_DEFINE(web)
NUMRUN_STUB_DEFINE(rbbox)
NUMRUN_STUB_DEFINE(dragrect)
NUMRUN_STUB_DEFINE(copyobj)
NUMRUN_STUB_DEFINE(selectmoveresize)
NUMRUN_STUB_DEFINE(setptr)
NUMRUN_STUB_DEFINE(struct2handle)
NUMRUN_STUB_DEFINE(handle2struct)
NUMRUN_STUB_DEFINE(hardcopy)
NUMRUN_STUB_DEFINE(pagedlg)
NUMRUN_STUB_DEFINE(ctlpanel)
#undef NUMRUN_STUB_DEFINE

Mm getline(Mm, Mm, i_o_t, Mm&, Mm&) { return stub_called(); }
