#include "engine/VX_Layout.h"

#include "engine/VX_LayoutLoader.h"

VX_Layout::VX_Layout(VX_Engine *owner) : engine(owner) {}

VX_Layout::~VX_Layout() = default;

const char *VX_Layout::displayName() const { return name ? name.get() : "NoName"; }

bool VX_Layout::load(const char *layoutName) { return VX_LayoutLoader(*this).load(layoutName); }
