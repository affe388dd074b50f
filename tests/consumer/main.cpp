// A program of a user of the installed library: starts it, computes, and
// takes an error as a C++ exception.
#include <velkor.h>

#include <cstdio>

int main()
{
    initM2(4510, sizeof(Mm));
    // Errors as exceptions: the default error hook throws the message text.
    qv_set_default_error_flags(0x10, 1);
    qv_set_default_error_flags(0x3, 0);

    Mm a = reshape(colon(1.0, 16.0), Mm(4.0), Mm(4.0));
    Mm total = sum(sum(a));
    Mm s = sprintf(TM("%g"), total);
    char text[64];
    Mstr(s, text, sizeof text);
    std::printf("sum %s\n", text);

    int status = 1;
    try {
        Mm b = a(Mm(17.0));
    } catch (const char* message) {
        std::printf("caught: %s\n", message);
        status = total.r() == 136 ? 0 : 1;
    }
    exitM();
    return status;
}
