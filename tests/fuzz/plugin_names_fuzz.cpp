// Plug-in module names: call_plu, module_bucket and clear_plu of fuzzed
// names and output counts. Under an error hook that returns, a call that
// fails leaves all 64 output slots empty, never a stale pointer.
#include "fuzz_support.hpp"

#include "host/plugins.hpp"

#include <plu.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool failed = false;
void note_failure(const char*) { failed = true; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const double nlhs = in.number();
    const std::string name = in.text();
    const int bucket = module_bucket(name.c_str());
    if (bucket < 0 || bucket >= 31)
        std::abort();

    std::vector<Mm*> slots(64, reinterpret_cast<Mm*>(0x1));
    Mm x(1.0);
    Mm* inputs[1];
    call_plu_prhs(inputs[0], x);
    failed = false;
    qv_text_handler previous = qv_set_error_handler(note_failure);
    call_plu(name.c_str(), nlhs, slots.data(), 1, inputs);
    qv_set_error_handler(previous);
    if (failed) {
        // A module found and run may have filled slots before reporting.
        bool loaded = false;
        for (Mm* p : slots)
            loaded = loaded || (p && p != reinterpret_cast<Mm*>(0x1));
        for (Mm* p : slots)
            if (!loaded && p)
                std::abort();
    }
    for (Mm* p : slots) {
        if (p && p != reinterpret_cast<Mm*>(0x1)) {
            Mm out;
            call_plu_plhs(out, p);
        }
    }
    clear_plu(name.c_str());
    return 0;
}
