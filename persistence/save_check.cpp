// Formatting the reason of a save check.
#include "persistence/save_check.h"

#include <cstdarg>
#include <cstdio>

SaveCheck save_check(SaveStatus status, const char *format, ...) {
  SaveCheck check{};
  check.status = status;
  va_list args;
  va_start(args, format);
  std::vsnprintf(check.reason, sizeof check.reason, format, args);
  va_end(args);
  return check;
}
