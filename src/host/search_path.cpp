// Search-path text helpers.
#include "host/search_path.hpp"

#include <cstring>

// Every '/' becomes '\', in place.
void to_backslashes(char* text)
{
    for (char* c = text; *c; ++c)
        if (*c == '/')
            *c = '\\';
}
