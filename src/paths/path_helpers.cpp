#include "paths/path_helpers.h"

namespace setup {

void AppendBackslash(char* path, uint32_t size) {
  uint32_t n = TextLength(path);
  if (n != 0 && path[n - 1] != '\\' && n + 1 < size) {
    path[n] = '\\';
    path[n + 1] = '\0';
  }
}

void StripBackslash(char* path) {
  uint32_t n = TextLength(path);
  if (n >= 4 && path[n - 1] == '\\') path[n - 1] = '\0';
}

}  // namespace setup
