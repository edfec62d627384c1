// The tool's command line and file facts on Windows, through the wide API.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "tools/tool_system.h"

namespace {

std::wstring widen(const char *utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::string narrow(const wchar_t *wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(length - 1));
  return utf8;
}

// Windows counts file times in 100 ns steps from 1601.
constexpr std::int64_t TICKS_A_SECOND = 10000000;
constexpr std::int64_t SECONDS_FROM_1601_TO_1970 = 11644473600;

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char **argv) {
  // What the tool prints holds the paths it was given: a console shows them as UTF-8 too.
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool same_file(const char *a, const char *b) {
  BY_HANDLE_FILE_INFORMATION info[2]{};
  const char *paths[2] = {a, b};
  for (int i = 0; i < 2; ++i) {
    const HANDLE file = CreateFileW(widen(paths[i]).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info[i]) != 0;
    CloseHandle(file);
    if (!known) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool name_exists(const char *path) { return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

const char *last_change(const char *path, std::int64_t *second) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data) == 0) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "No such file or directory"
                                                                          : "Permission denied";
  }
  const std::int64_t ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
  *second = ticks / TICKS_A_SECOND - SECONDS_FROM_1601_TO_1970;
  return nullptr;
}

bool utc_time(std::int64_t second, std::tm *parts) {
  const auto time = static_cast<__time64_t>(second);
  return _gmtime64_s(parts, &time) == 0;
}

void remove_file(const char *path) { DeleteFileW(widen(path).c_str()); }
