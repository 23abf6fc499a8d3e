#include "tools/mkpkg/default_texts.h"

#include <stdexcept>

namespace setup::tools {

StringGroups DefaultTexts() {
  StringGroups g;

  // Page groups: index 0 is the page title, 1 to 4 fill controls 1000 to 1003.

  // Welcome (template 5).
  g[0] = {
      "Welcome",
      "Welcome to Setup",
      "This program will install the software on your computer.",
      "It is strongly recommended that you close all other programs before you continue.",
      "Click Next to continue, or Cancel to exit Setup.",
  };

  // Information (template 3). 1000 is the text box; the page is shown only
  // when a project puts its text in index 1.
  g[1] = {
      "Information",
      "",
      "Please read the following information before you continue.",
      "Use the scroll bar to see the rest of the text.",
      "When you are ready to continue, click Next.",
  };

  // Destination folder (template 2). 5 and 6 label the space lines, 7 formats
  // a number of megabytes (unsigned).
  g[2] = {
      "Choose Destination Folder",
      "Setup will install the files in the following folder.",
      "To install in a different folder, type its name below or click Browse and choose "
      "another folder.",
      "If the folder does not exist, Setup will offer to create it.",
      "Click Next to continue.",
      "Space required:",
      "Space available:",
      "%lu MB",
  };

  // Ready to install (template 5). Index 2 gets the destination folder.
  g[3] = {
      "Ready to Install",
      "Setup is now ready to install the files on your computer.",
      "The files will be installed in the following folder:\n%s",
      "Click Install to begin the installation, or Back to review or change the folder.",
      "To exit Setup without installing anything, click Cancel.",
  };

  // Progress (template 4). Index 1 labels the file being installed.
  g[4] = {
      "Installing",
      "Installing:",
      "Please wait while Setup installs the files on your computer. This may take a few "
      "minutes.",
      "Each file is checked after it has been copied.",
      "To stop the installation, click Cancel.",
  };

  // Finish (template 6). 2 and 3 go with the open button and the run check
  // box; they stay empty so that a package without a document or a program
  // shows no stray lines. 4 is the error format, 5 and 6 the captions of the
  // button and the check box, 7 the restart notice.
  g[5] = {
      "Setup Complete",
      "Setup has finished installing the files on your computer.",
      "",
      "",
      "Setup could not complete the installation.\n\n%s",
      "Open Document",
      "Start the program when Setup closes",
      "Windows must be restarted to complete the installation. Click Restart to restart "
      "Windows now.",
  };

  // The setup caption, the folder chooser and the messages. An index that is
  // also a setup error number holds that error's text; "%s" there is the
  // file or path the error is about.
  g[6] = {
      /* 0 */ "Setup",
      /* 1 */ "Choose Folder",
      /* 2 */ "&Folder:",
      /* 3 */ "Dri&ves:",
      /* 4 */ "Checking the disk space, please wait...",
      /* 5 */ "The folder cannot be used. Please choose another folder.",
      /* 6 */ "The folder does not exist.\n\nDo you want Setup to create it?",
      /* 7 */
      "Some of the files to be installed will replace read-only files.\n\n"
      "Do you want to replace them anyway?",
      /* 8 */ "Setup cannot install in this folder.",
      /* 9 */ "The following file is write-protected and cannot be replaced:\n%s",
      /* 10 */ "",
      /* 11 */ "There is not enough free space on the disk.\n\nDo you want to install anyway?",
      /* 12 */ "There is not enough memory to continue the installation.",
      /* 13 */
      "You are currently in the process of installing components.\n"
      "If you exit now, these components will not be installed correctly.\n\n"
      "Are you sure you want to cancel?",
      /* 14 */ "The installation is not complete.\n\nDo you want to exit Setup anyway?",
      /* 15 */ "The Install wizard did not complete the installation successfully.",
      /* 16 */ "Cannot open the following file:\n%s",
      /* 17 */ "Cannot create the following file:\n%s",
      /* 18 */ "File corrupt or unreadable:\n%s",
      /* 19 */ "Cannot write to the following file:\n%s",
      /* 20 */ "The disk is full. Cannot write the following file:\n%s",
      /* 21 */ "CRC error - cannot install the following file:\n%s",
      // Asked with Abort, Retry and Ignore while the file is in use, and shown
      // on the finish page as the error when the user aborts: it names no button.
      /* 22 */ "The following file is in use by another program and cannot be replaced:\n%s",
      /* 23 */ "",
      /* 24 */ "",
      /* 25 */ "",
      /* 26 */ "",
      /* 27 */ "",
      /* 28 */ "Please insert disk number %d and click OK.",
      /* 29 */
      "A newer version of the following file is already installed:\n%s\n\n"
      "Do you want to replace it anyway?",
      /* 30 */
      "The following file is already installed in another language:\n%s\n\n"
      "Do you want to replace it anyway?",
      /* 31 */
      "The setup file contains invalid data; it may be damaged or incomplete.\n\n"
      "Please obtain a new copy of the setup file.",
  };

  // Button captions: the frame's Back, Next and Cancel, Next on the ready
  // page, the folder chooser's OK and Cancel (Cancel also on the progress
  // page), and Back on the finish page when Windows must restart.
  g[7] = {"< Back", "Next >", "Cancel", "Install", "OK", "Cancel", "Restart"};

  // Component choice (template 8).
  g[9] = {
      "Choose Components",
      "This package can install different sets of components.",
      "Choose what you want to install:",
      "The next page shows how much disk space your choice needs.",
      "Click Next to continue.",
  };

  return g;
}

std::vector<uint8_t> EncodeStringGroup(const std::vector<std::string>& texts) {
  if (texts.size() > 0xFFFF) {
    throw std::runtime_error("string group holds " + std::to_string(texts.size()) +
                             " texts; at most 65535 fit");
  }
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(texts.size()));
  out.push_back(static_cast<uint8_t>(texts.size() >> 8));
  for (size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].find('\0') != std::string::npos) {
      throw std::runtime_error("string group: text " + std::to_string(i) +
                               " contains a NUL character");
    }
    out.insert(out.end(), texts[i].begin(), texts[i].end());
    out.push_back(0);
  }
  return out;
}

}  // namespace setup::tools
