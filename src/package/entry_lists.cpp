#include "package/entry_lists.h"

#include "base/bytes.h"

namespace setup {

ListCursor::ListCursor(const uint8_t* payload, uint32_t size)
    : pos_(payload), end_(payload != nullptr ? payload + size : nullptr) {
  if (payload != nullptr && size >= 2) {
    count_ = ReadU16(payload);
    pos_ += 2;
  } else if (payload != nullptr && size != 0) {
    damaged_ = true;
  }
}

bool ListCursor::Fail() {
  damaged_ = true;
  read_ = count_;
  return false;
}

bool ListCursor::Begin() {
  if (damaged_ || read_ >= count_) return false;
  ++read_;
  return true;
}

bool ListCursor::Byte(uint8_t* value) {
  if (end_ - pos_ < 1) return Fail();
  *value = *pos_++;
  return true;
}

bool ListCursor::Word(uint32_t* value) {
  if (end_ - pos_ < 4) return Fail();
  *value = ReadU32(pos_);
  pos_ += 4;
  return true;
}

bool ListCursor::Text(const char** text) {
  int32_t length = BoundedTextLength(pos_, end_);
  if (length < 0) return Fail();
  *text = reinterpret_cast<const char*>(pos_);
  pos_ += length + 1;
  return true;
}

bool ListCursor::Next(IniEntry* e) {
  return Begin() && Byte(&e->flags) && Text(&e->file) && Text(&e->section) && Text(&e->key) &&
         Text(&e->value);
}

bool ListCursor::Next(RegistryEntry* e) {
  return Begin() && Word(&e->root) && Byte(&e->flags) && Text(&e->key) &&
         Text(&e->valueName) && Text(&e->data);
}

bool ListCursor::Next(FilePatchEntry* e) {
  uint32_t offset, reserved;
  uint8_t reservedByte;
  if (!(Begin() && Word(&offset) && Word(&e->patternLength) && Word(&reserved) &&
        Byte(&reservedByte) && Text(&e->file) && Text(&e->text))) {
    return false;
  }
  if (static_cast<uint32_t>(end_ - pos_) < e->patternLength) return Fail();
  e->offset = static_cast<int32_t>(offset);
  e->pattern = pos_;
  pos_ += e->patternLength;
  return true;
}

namespace {

template <typename Entry>
bool ValidateList(const uint8_t* payload, uint32_t size) {
  ListCursor cursor(payload, size);
  Entry entry;
  while (cursor.Next(&entry)) {
  }
  return !cursor.damaged();
}

}  // namespace

bool ValidateIniList(const uint8_t* payload, uint32_t size) {
  return ValidateList<IniEntry>(payload, size);
}
bool ValidateRegistryList(const uint8_t* payload, uint32_t size) {
  return ValidateList<RegistryEntry>(payload, size);
}
bool ValidateFilePatchList(const uint8_t* payload, uint32_t size) {
  return ValidateList<FilePatchEntry>(payload, size);
}

}  // namespace setup
