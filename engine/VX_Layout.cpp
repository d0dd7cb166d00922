#include "engine/VX_Layout.h"

VX_Layout::VX_Layout(VX_Engine *owner) : engine(owner) {}

VX_Layout::~VX_Layout() = default;

const char *VX_Layout::displayName() const { return name ? name.get() : "NoName"; }
