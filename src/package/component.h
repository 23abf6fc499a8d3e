// Component descriptors and the current component.
#pragma once

#include <cstdint>

#include "package/package_state.h"

namespace setup {

// Turns the descriptor's offsets into pointers. False when a field points
// outside the descriptor, a text has no NUL before its end, or a string group
// runs past it; the descriptor is then unusable.
bool ParseComponentDescriptor(const uint8_t* block, uint32_t size, ComponentDescriptor* out);

// Makes component `index` current: its strings, file list and destination
// folder, keeping the folder of the component that was current until now.
void SelectComponent(PackageState& package, CurrentComponent& current, int index);

}  // namespace setup
