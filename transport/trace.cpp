#include "transport/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void KeyTrace(const char* format, ...) {
  static const bool enabled = std::getenv("QUILLMARK_TRACE") != nullptr;
  if (!enabled) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}
