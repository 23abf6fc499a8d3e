#include "base/text_format.h"

namespace setup {

namespace {

class Output {
 public:
  Output(char* out, uint32_t size) : out_(out), size_(size) {}
  void Put(char c) {
    if (size_ != 0 && length_ + 1 < size_) out_[length_++] = c;
  }
  uint32_t Finish() {
    if (size_ != 0) out_[length_] = '\0';
    return length_;
  }

 private:
  char* out_;
  uint32_t size_;
  uint32_t length_ = 0;
};

void PutNumber(Output& out, int32_t value, bool isSigned, bool leftAlign, bool zeroPad,
               uint32_t width, uint32_t precision) {
  char digits[12];
  uint32_t count = 0;
  bool negative = isSigned && value < 0;
  uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  uint32_t zeros = precision > count ? precision - count : 0;
  uint32_t body = count + zeros + (negative ? 1 : 0);
  uint32_t pad = width > body ? width - body : 0;
  if (!leftAlign && !zeroPad) {
    for (; pad > 0; --pad) out.Put(' ');
  }
  if (negative) out.Put('-');
  if (!leftAlign && zeroPad) {
    for (; pad > 0; --pad) out.Put('0');
  }
  for (; zeros > 0; --zeros) out.Put('0');
  while (count > 0) out.Put(digits[--count]);
  for (; pad > 0; --pad) out.Put(' ');
}

// At most `precision` characters of `text`, padded with spaces to `width`.
void PutText(Output& out, const char* text, bool leftAlign, uint32_t width, uint32_t precision) {
  uint32_t length = 0;
  while (length < precision && text[length] != '\0') ++length;
  uint32_t pad = width > length ? width - length : 0;
  if (!leftAlign) {
    for (; pad > 0; --pad) out.Put(' ');
  }
  for (uint32_t i = 0; i < length; ++i) out.Put(text[i]);
  for (; pad > 0; --pad) out.Put(' ');
}

}  // namespace

bool HasTextConversion(const char* text) {
  for (; text[0] != '\0'; ++text) {
    if (text[0] == '%' && text[1] == 's') return true;
  }
  return false;
}

bool IsSingleTextFormat(const char* text) {
  int conversions = 0;
  for (; text[0] != '\0'; ++text) {
    if (text[0] != '%') continue;
    if (text[1] == '%') {
      ++text;
    } else if (text[1] == 's') {
      ++conversions;
      ++text;
    } else {
      return false;
    }
  }
  return conversions == 1;
}

uint32_t FormatText(char* out, uint32_t size, const char* format, const char* text,
                    int32_t number) {
  Output o(out, size);
  if (text == nullptr) text = "";
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      o.Put(*p);
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      o.Put('%');
      continue;
    }
    bool leftAlign = false, zeroPad = false;
    for (; *p == '-' || *p == '0'; ++p) (*p == '-' ? leftAlign : zeroPad) = true;
    uint32_t width = 0, precision = 0;
    bool hasPrecision = false;
    for (; *p >= '0' && *p <= '9'; ++p) width = width < 1000 ? width * 10 + (*p - '0') : width;
    if (*p == '.') {
      hasPrecision = true;
      for (++p; *p >= '0' && *p <= '9'; ++p) {
        precision = precision < 1000 ? precision * 10 + (*p - '0') : precision;
      }
    }
    if (*p == 'l') ++p;
    if (*p == 's') {
      PutText(o, text, leftAlign, width, hasPrecision ? precision : UINT32_MAX);
    } else if (*p == 'd' || *p == 'i' || *p == 'u') {
      PutNumber(o, number, *p != 'u', leftAlign, zeroPad, width, precision);
    } else {
      // Not ours to interpret: copy the sequence as it stands.
      for (const char* q = start; q < p; ++q) o.Put(*q);
      if (*p == '\0') break;
      o.Put(*p);
    }
  }
  return o.Finish();
}

}  // namespace setup
