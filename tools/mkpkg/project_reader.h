// Reading a package project from JSON.
//
// Texts in the project are UTF-8 and become 8-bit (Windows-1252) texts in the
// package. Paths of source files are relative to the project file. Every
// problem is reported as a ProjectError that names the field, e.g.
// "components[1].files[3].source: cannot read files/app.exe".
//
// docs/project-format.md describes every field (type, default, limits, what
// the setup does with it) and docs/project.schema.json is the same format as
// a JSON Schema. A field added or changed here goes into both: the
// project_schema test compares the ExpectObject and Choice lists of
// project_reader.cpp with them, and checks that mkpkg refuses what the
// schema refuses.
#pragma once

#include <stdexcept>
#include <string>

#include "tools/mkpkg/project.h"

namespace setup::tools {

class ProjectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A problem at a known place of the project's text (the JSON itself).
class TextError : public ProjectError {
 public:
  TextError(int line, int column, const std::string& message)
      : ProjectError(std::to_string(line) + ":" + std::to_string(column) + ": " + message) {}
};

// A problem with one field of the project: `field` is its path
// ("components[1].files[3].folder"), by which ReadProject finds its line
// and column in the file.
class FieldError : public ProjectError {
 public:
  FieldError(std::string field, const std::string& message)
      : ProjectError(message), field_(std::move(field)) {}
  const std::string& field() const { return field_; }

 private:
  std::string field_;
};

// Reads the project file and every source file it names.
Project ReadProject(const std::string& path);

// The same from JSON text; `baseDir` is where relative source paths start.
Project ParseProject(const std::string& json, const std::string& baseDir);

}  // namespace setup::tools
