// Reading a package project from JSON.
//
// Texts in the project are UTF-8 and become 8-bit (Windows-1252) texts in the
// package. Paths of source files are relative to the project file. Every
// problem is reported as a ProjectError that names the field, e.g.
// "components[1].files[3].source: cannot read files/app.exe".
//
// {
//   "settings": {"fullScreen": false, "removePrevious": false},
//   "start": {"page": 4, "component": 0},
//   "title": "Example", "titleFont": {"face": "Arial", "height": -32, "weight": 700},
//   "wizardBitmap": "wizard.bmp", "backgroundBitmap": "back.bmp",
//   "uninstaller": "uninstall.exe",
//   "dialogs": {"5": { ...a dialog template... }},   (a replacement keeps every
//                             control the page uses; frames and pages are visible
//                             children, pages with DS_CONTROL)
//   "strings": {"6": {"0": "Example Setup"}, "1": ["Information", "Read me."]},
//   "volumeSize": 1457664,   (largest size of a volume file; the setup file keeps
//                             what fits in the same size, or nothing)
//   "compression": {"compressor": "libdeflate", "level": 12},
//   "components": [{
//     "displayName": "Example", "choiceLabel": "Full",   (choiceLabel: displayName if absent)
//     "defaultFolder": "#Program Files#\\Example",
//     "folderEditable": true, "folderToRegistry": false, "folderToIni": false,
//     "folderRegistry": {"root": "HKLM", "key": "Software\\Example", "value": "Path"},
//     "folderIni": {"file": "#Windows#\\example.ini", "section": "Setup", "key": "Path"},
//     "strings": { ... },
//     "files": [{
//       "source": "bin/app.exe", "name": "app.exe", "folder": "install",
//       "placement": "uninstall", "role": "program", "special": "none",
//       "shared": false, "iconIndex": 0,
//       "shortcut": {"folder": "Example", "name": "Example", "args": ""},
//       "desktop": {"name": "Example", "args": ""},
//       "checkVersion": true, "checkLanguage": false,
//       "version": {"file": "1.0.0.0", "product": "1.0.0.0", "language": 1033},
//       "times": "source",
//       "uninstaller": false,
//       "patchFrom": {"component": 0, "name": "app.exe"}
//     }],
//     "ini": [{"file": "...", "section": "...", "key": "...", "value": "...", "onlyIfMissing": false}],
//     "registry": [{"root": "HKCU", "key": "...", "value": "", "data": "...", "keepExisting": false}],
//     "filePatches": [{"file": "...", "offset": 0, "text": "..."},
//                     {"file": "...", "after": "pattern text", "text": "..."}]
//   }]
// }
#pragma once

#include <stdexcept>
#include <string>

#include "tools/mkpkg/project.h"

namespace setup::tools {

class ProjectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the project file and every source file it names.
Project ReadProject(const std::string& path);

// The same from JSON text; `baseDir` is where relative source paths start.
Project ParseProject(const std::string& json, const std::string& baseDir);

}  // namespace setup::tools
