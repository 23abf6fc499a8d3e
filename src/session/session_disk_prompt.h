// The disk prompt as the session answers it: on removable media the user is
// asked for the disk and may give up, which ends the wizard and forgets the
// after-install entries; on fixed media nobody is asked.
#pragma once

#include "decode/disk_prompt.h"

namespace setup {

struct SetupContext;

// The prompt that answers for `context`, for its package reader.
DiskPrompt SessionDiskPrompt(SetupContext& context);

}  // namespace setup
