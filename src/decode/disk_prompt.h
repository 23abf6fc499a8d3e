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

// A function and the session it answers for; `disk` counts from 1 (volume 0,
// the setup file, is on disk 1). A null function: nobody can be asked. It is
// a plain pair rather than a class with a virtual method so that the prompt's
// code is linked only into programs that hand one over, not into every one
// that builds a reader.
struct DiskPrompt {
  DiskAnswer (*askForDisk)(void* session, uint32_t disk);
  void* session;
};

}  // namespace setup
