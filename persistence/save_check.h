// The outcome of checking, reading or writing a save: a status and, when it
// is not sound, a reason for the console.
#pragma once

enum SaveStatus {
  SAVE_OK,
  SAVE_DAMAGED,     // read whole, but not a save this game could have written
  SAVE_UNREADABLE,  // cannot be opened, read or written
};

struct SaveCheck {
  SaveStatus status;
  char reason[160];  // for the console when status is not SAVE_OK, e.g. "cell 12 has kind 9"
};

// A check with its reason formatted like printf (cut to fit the record).
// MinGW's C++ library formats with its own C99 printf (%zu works), which GCC
// checks as gnu_printf there; plain printf would mean Microsoft's.
#ifdef __MINGW32__
SaveCheck save_check(SaveStatus status, const char *format, ...) __attribute__((format(gnu_printf, 2, 3)));
#else
SaveCheck save_check(SaveStatus status, const char *format, ...) __attribute__((format(printf, 2, 3)));
#endif

// The check of something sound.
inline SaveCheck save_sound() { return SaveCheck{SAVE_OK, {}}; }
