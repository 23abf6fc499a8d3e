// The disk prompt as the session answers it: on removable media the user is
// asked for the disk and may give up, which ends the wizard and forgets the
// after-install entries; on fixed media nobody is asked.
#pragma once

#include <cstdint>

#include "decode/disk_prompt.h"

namespace setup {

struct SetupContext;

class SessionDiskPrompt final : public DiskPrompt {
 public:
  explicit SessionDiskPrompt(SetupContext& context) : context_(context) {}
  DiskAnswer AskForDisk(uint32_t disk) override;

 private:
  SetupContext& context_;
};

}  // namespace setup
