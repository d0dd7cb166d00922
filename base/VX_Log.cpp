#include "base/VX_Log.h"

#include <cstdarg>

VX_Log vxLog = {stdout};

namespace {

void writeFlushed(FILE *stream, const char *format, va_list args)
{
    vfprintf(stream, format, args);
    fflush(stream);
}

}  // namespace

void VX_Log::print(const char *format, ...)
{
    ++diagnostics;
    va_list args;
    va_start(args, format);
    writeFlushed(stream, format, args);
    va_end(args);
}

void VX_Log::info(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    writeFlushed(stream, format, args);
    va_end(args);
}
