// The tool's command line and file facts on POSIX systems.
#include "tools/tool_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::vector<std::string> utf8_arguments(int argc, char **argv) { return std::vector<std::string>(argv, argv + argc); }

bool same_file(const char *a, const char *b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool name_exists(const char *path) {
  struct stat info {};
  return lstat(path, &info) == 0;
}

const char *last_change(const char *path, std::int64_t *second) {
  struct stat info {};
  if (stat(path, &info) != 0) return std::strerror(errno);
  *second = info.st_mtime;
  return nullptr;
}

bool utc_time(std::int64_t second, std::tm *parts) {
  const auto time = static_cast<std::time_t>(second);
  return gmtime_r(&time, parts) != nullptr;
}

void remove_file(const char *path) { static_cast<void>(std::remove(path)); }
