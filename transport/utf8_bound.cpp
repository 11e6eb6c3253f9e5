#include "transport/utf8_bound.h"

std::string Utf8BoundUtf16Units(const std::string& text, size_t units) {
  size_t used = 0;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t bytes = 1;
    if (lead >= 0xF0 && lead <= 0xF7) {
      bytes = 4;
    } else if (lead >= 0xE0) {
      bytes = 3;
    } else if (lead >= 0xC0) {
      bytes = 2;
    }
    if (i + bytes > text.size()) bytes = 1;
    const size_t cost = bytes == 4 ? 2 : 1;  // a surrogate pair
    if (used + cost > units) break;
    used += cost;
    i += bytes;
  }
  return text.substr(0, i);
}
