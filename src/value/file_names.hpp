// The language keeps file names in its backslash form and turns them into
// '/' only at the system calls; texts it shows (an error report naming a
// file, a name found on the path) are written back in that form.
#pragma once

// Every '/' of the text becomes '\', in place.
inline void to_backslashes(char* text)
{
    for (char* c = text; *c; ++c)
        if (*c == '/')
            *c = '\\';
}
