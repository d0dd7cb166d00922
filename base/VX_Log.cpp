#include "base/VX_Log.h"

#include <cstdarg>

VX_Log vxLog = {stdout};

void VX_Log::print(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(stream, format, args);
    va_end(args);
    fflush(stream);
}
