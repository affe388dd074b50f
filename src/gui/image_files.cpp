// Image files: the engine holds the codecs; the library hands it the pixel
// data and the file facts through a hidden image-file object.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/report.h"
#include "vizmo4510.h"

namespace {

// Deletes the image-file object on every way out, so an error part way
// through never leaves an engine object behind.
class image_file_object {
public:
    image_file_object() : handle_(vizmo_create_object("axes", -1)) {}
    ~image_file_object() { set(Mm(handle_), pn_Kill, Mm(0.0)); }
    image_file_object(const image_file_object&) = delete;
    image_file_object& operator=(const image_file_object&) = delete;
    Mm handle() const { return Mm(handle_); }

private:
    double handle_;
};

} // namespace

Mm imwrite(const Mm& args)
{
    const int n = args.size();
    if (n == 0) {
        error("imwrite: need to have at least one parameter");
        return x_M;
    }
    Mm map = colormap();
    Mm name;
    Mm format = TM("");
    int first = 3;
    if (n == 2) {
        name = args.mr(2);
    } else if (n >= 3) {
        if (args.mr(2).isstr()) {
            name = args.mr(2);
            format = args.mr(3);
            first = 4;
        } else {
            map = args.mr(2);
            name = args.mr(3);
            first = 5 - n % 2;
        }
    }
    // Converted before the object exists: a refused image makes none.
    const Mm data = im2double(args.mr(1));
    if (data.size() == 0 && args.mr(1).size() > 0)
        return x_M;  // refused under an error hook that returns
    const image_file_object file;
    const Mm h = file.handle();
    set(h, pn_CData, data);
    set(h, pn_Colormap, map);
    set(h, pn_Format, format);
    set(h, pn_Filename, name);
    set_props_from(h, args, first);
    set(h, pn_Store, Mm(0.0));
    return x_M;
}
