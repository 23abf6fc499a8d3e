// The document entry: a file the finish page has opened once setup is done,
// with whatever program Windows associates with it.
//
// The shell is asked first. When it cannot open the file, the association is
// read from HKEY_CLASSES_ROOT by hand (extension -> type name -> the type's
// "shell\open\command") and that command line is started with the path in
// place of its "%1". Everything after the placeholder is dropped, switches
// included: older setups behave that way and programs registered for them
// expect it. The path is quoted when the placeholder was, or when it holds a
// blank, so that a program never receives half a path. Nothing is reported:
// a document that cannot be opened is simply not shown.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// Opens the document entry the install run remembered
// (`context.run.documentEntry`), if there is one and its file can be read.
void OpenDocumentEntry(SetupContext& context);

// Opens `path`, whose extension (with its dot) is `extension`. Returns the
// last Windows call's result: above 32 when the shell or WinExec started
// something, a registry error code when the association could not be read,
// or 0 (as WinExec reports a lack of resources) when the command line would
// not fit its buffer.
uintptr_t OpenWithAssociation(Platform& platform, const char* path, const char* extension);

// Reads the default value of HKEY_CLASSES_ROOT\`keyPath` into `out` (260
// bytes, always terminated). Returns 0, or the error of opening the key or of
// reading its value; a value that does not fit gives kErrorMoreData.
long ReadClassesRootDefault(Platform& platform, const char* keyPath, char* out);

}  // namespace setup
