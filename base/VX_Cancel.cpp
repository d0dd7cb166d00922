#include "base/VX_Cancel.h"

volatile std::sig_atomic_t VX_Cancel::signal_ = 0;

void VX_Cancel::request(int signal) { signal_ = signal != 0 ? signal : SIGTERM; }
