// Asking for the disk that holds a volume of package data. The package reader
// only finds that a volume is missing; whoever runs the session decides
// whether a person can be asked, how, and what giving up means for the rest
// of the setup.
#pragma once

#include <cstdint>

namespace setup {

enum class DiskAnswer {
  kTryAgain,  // look for the volume again: a disk may have been inserted
  kGaveUp,    // the user gave up; the reader reports ERR_DISK_CANCELLED
  kNotAsked,  // nobody can insert a disk (fixed media): the volume is missing
};

class DiskPrompt {
 public:
  virtual ~DiskPrompt() = default;
  // `disk` counts from 1: volume 0, the setup file, is on disk 1.
  virtual DiskAnswer AskForDisk(uint32_t disk) = 0;
};

}  // namespace setup
