// Points the log sink at another stream for as long as the object lives and
// back at the stream it had before when it goes. Redirections nest: each one
// restores what it found, so they must end in the reverse order of their
// start (as scoped objects do).
#ifndef VEXIL_BASE_VX_LOGREDIRECT_H
#define VEXIL_BASE_VX_LOGREDIRECT_H

#include <cstdio>

class VX_LogRedirect {
public:
    // A null `stream` leaves the sink where it is (a caller whose file could
    // not be opened loses nothing).
    explicit VX_LogRedirect(FILE *stream);
    ~VX_LogRedirect();
    VX_LogRedirect(const VX_LogRedirect &) = delete;
    VX_LogRedirect &operator=(const VX_LogRedirect &) = delete;

private:
    FILE *saved_;  // the sink's stream when this redirection began
};

#endif
