#include "base/VX_LogRedirect.h"

#include "base/VX_Log.h"

VX_LogRedirect::VX_LogRedirect(FILE *stream) : saved_(vxLog.stream)
{
    if (stream)
        vxLog.stream = stream;
}

VX_LogRedirect::~VX_LogRedirect() { vxLog.stream = saved_; }
