// The recording hooks of the engine's tests.
#include "vizmo_support.hpp"

namespace vizmo_testing {

Seen& seen()
{
    static Seen s;
    return s;
}

void record_callback(miniM* m)
{
    std::string text;
    const int n = m->dims[0] * m->dims[1];
    for (int k = 0; k < n; ++k)
        text.push_back(static_cast<char>(m->data[k]));
    seen().callbacks.push_back(text);
    if (seen().on_callback)
        seen().on_callback(text);
    if (!seen().throw_on_callback.empty() && text == seen().throw_on_callback)
        throw std::runtime_error("callback failed");
}

void record_error(const char* message)
{
    seen().errors.emplace_back(message);
    if (seen().throw_on_error)
        throw std::runtime_error(message);
}

void record_destroy(Mm* value) { seen().destroyed.push_back(reinterpret_cast<std::uintptr_t>(value)); }

} // namespace vizmo_testing
