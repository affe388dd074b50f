// The native byte order that unformatted reads and writes compare against.
#include "platform/byte_order.hpp"

int native_format = -1;

void init_native_format()
{
    if (native_format == -1)
        native_format = 0;
}
