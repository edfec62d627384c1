// Reading and writing the save file on Windows: paths in UTF-8 through the
// wide-character API, links followed, the old save's attributes and
// permissions kept, and never half a save in the file's place.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"

namespace {

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The failure reasons the Linux build gives for the same causes, in its words.
struct Reason {
  DWORD error;
  const char *text;
};
constexpr Reason REASONS[] = {
    {ERROR_FILE_NOT_FOUND, "No such file or directory"},
    {ERROR_PATH_NOT_FOUND, "No such file or directory"},
    {ERROR_INVALID_DRIVE, "No such file or directory"},
    {ERROR_BAD_NETPATH, "No such file or directory"},
    {ERROR_BAD_NET_NAME, "No such file or directory"},
    {ERROR_ACCESS_DENIED, "Permission denied"},
    {ERROR_SHARING_VIOLATION, "Permission denied"},  // another program holds the file, as Microsoft's C library says
    {ERROR_LOCK_VIOLATION, "Permission denied"},
    {ERROR_WRITE_PROTECT, "Read-only file system"},
    {ERROR_DISK_FULL, "No space left on device"},
    {ERROR_HANDLE_DISK_FULL, "No space left on device"},
    {ERROR_FILE_TOO_LARGE, "File too large"},
    {ERROR_FILENAME_EXCED_RANGE, "File name too long"},
    {ERROR_CANT_RESOLVE_FILENAME, "Too many levels of symbolic links"},
    {ERROR_NOT_ENOUGH_MEMORY, "Cannot allocate memory"},
    {ERROR_OUTOFMEMORY, "Cannot allocate memory"},
    {ERROR_NO_UNICODE_TRANSLATION, "Invalid or incomplete multibyte or wide character"},
};

// The reason of a failed system call, for the console: Linux's words where the
// cause is the same, otherwise the system's own message without its line end.
SaveCheck failure(DWORD error) {
  for (const Reason &reason : REASONS) {
    if (reason.error == error) return save_check(SAVE_UNREADABLE, "%s", reason.text);
  }
  wchar_t message[256];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, message,
                                sizeof message / sizeof message[0], nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L' ')) {
    --length;
  }
  char text[sizeof SaveCheck{}.reason] = {};
  const int bytes = length == 0 ? 0
                                : WideCharToMultiByte(CP_UTF8, 0, message, static_cast<int>(length), text,
                                                      static_cast<int>(sizeof text - 1), nullptr, nullptr);
  if (bytes <= 0) return save_check(SAVE_UNREADABLE, "system error %lu", error);
  return save_check(SAVE_UNREADABLE, "%s", text);
}

SaveCheck last_failure() { return failure(GetLastError()); }

// Every path the game and its tool hand over is UTF-8; Windows' wide API takes
// UTF-16, so that a folder such as C:\Users\Zoë works.
bool widen(const char *utf8, std::wstring *wide) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &(*wide)[0], length) <= 0) return false;
  wide->resize(static_cast<std::size_t>(length - 1));
  return true;
}

// The lock of a file being written: a live save holds it on its temporary
// file, a save rewritten in place on the save itself, where a load takes it
// shared. It is one byte past the end of any save, so that it never stands in
// the way of reading the file. The system drops it when a game is killed.
constexpr std::uint64_t LOCK_OFFSET = SAVE_FILE_BYTES + 1;

bool lock_byte(HANDLE file, DWORD flags) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(LOCK_OFFSET & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(LOCK_OFFSET >> 32);
  return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

void unlock_byte(HANDLE file) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(LOCK_OFFSET & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(LOCK_OFFSET >> 32);
  UnlockFileEx(file, 0, 1, 0, &at);
}

bool write_all(HANDLE file, const unsigned char *bytes, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (WriteFile(file, bytes, chunk, &written, nullptr) == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Reads until `size` bytes or the end of the file; false on an error.
bool read_up_to(HANDLE file, unsigned char *bytes, std::size_t size, std::size_t *done) {
  *done = 0;
  while (*done < size) {
    DWORD got = 0;
    const std::size_t left = size - *done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    if (ReadFile(file, bytes + *done, chunk, &got, nullptr) == 0) return false;
    if (got == 0) break;
    *done += got;
  }
  return true;
}

// The folder of `path` with its separator ("" for a bare name).
std::wstring folder_of(const std::wstring &path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// What a save keeps of the one it replaces.
struct OldSave {
  bool exists;
  DWORD attributes;
  PSECURITY_DESCRIPTOR security;  // the old file's permissions (LocalFree), or null
  PACL permissions;               // inside `security`
  bool permissions_protected;     // set on the file itself, none inherited from the folder
};

// Attributes the new save takes over (read-only saves are refused instead).
constexpr DWORD KEPT_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Opens the save through any links: *target becomes the file it really is, so
// that the new file replaces that file in its own folder and a link stays a
// link. A missing save is no failure.
bool inspect_old_save(std::wstring *target, OldSave *old) {
  *old = OldSave{};
  const HANDLE file = CreateFileW(target->c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, SHARE_ALL, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok = GetFileInformationByHandle(file, &info) != 0;
  if (ok) {
    old->exists = true;
    old->attributes = info.dwFileAttributes;
    std::wstring final_path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &final_path[0], static_cast<DWORD>(final_path.size()), 0);
    if (length >= final_path.size()) {
      final_path.assign(length, L'\0');
      length = GetFinalPathNameByHandleW(file, &final_path[0], static_cast<DWORD>(final_path.size()), 0);
    }
    ok = length > 0 && length < final_path.size();
    if (ok) *target = final_path.substr(0, length);
  }
  if (ok && GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old->permissions,
                            nullptr, &old->security) == ERROR_SUCCESS) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(old->security, &control, &revision) != 0) {
      old->permissions_protected = (control & SE_DACL_PROTECTED) != 0;
    }
  }
  const DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
  return ok;
}

// A save whose permissions the player set on the file itself (inheritance from
// the folder turned off) passes them on; any other new file takes the folder's,
// as the old one did. Copying inherited permissions would gain nothing, and
// wine turns a copied list into wider Unix modes (0600 became 0775).
void give_old_permissions(HANDLE file, const OldSave &old) {
  if (old.security == nullptr || old.permissions == nullptr || !old.permissions_protected) return;
  SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                  nullptr, old.permissions, nullptr);
}

// Each save's temporary file is "<save>.<8 hex digits>.tmp" beside the save.
constexpr std::size_t TEMP_SUFFIX_LENGTH = 13;

std::wstring temp_name(const std::wstring &target, std::uint32_t id) {
  std::wstring name = target + L".00000000.tmp";
  for (std::size_t digit = 0; digit < 8; ++digit) {
    name[target.size() + 8 - digit] = L"0123456789abcdef"[(id >> (4 * digit)) & 0xFu];
  }
  return name;
}

bool is_temp_name(const std::wstring &name, const std::wstring &save_name) {
  if (name.size() != save_name.size() + TEMP_SUFFIX_LENGTH || name.compare(0, save_name.size(), save_name) != 0) {
    return false;
  }
  const std::wstring suffix = name.substr(save_name.size());
  if (suffix[0] != L'.' || suffix.compare(9, 4, L".tmp") != 0) return false;
  for (std::size_t i = 1; i <= 8; ++i) {
    if (!((suffix[i] >= L'0' && suffix[i] <= L'9') || (suffix[i] >= L'a' && suffix[i] <= L'f'))) return false;
  }
  return true;
}

// A temporary file whose lock this process can take was left by a game killed
// while saving: it goes. A live save's is never touched: until it holds its
// lock it keeps deletion from being shared, and then it holds the lock.
void remove_if_abandoned(const std::wstring &path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | DELETE, SHARE_ALL, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  if (lock_byte(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
    unlock_byte(file);
  }
  CloseHandle(file);
}

void remove_abandoned_temps(const std::wstring &target) {
  const std::wstring folder = folder_of(target);
  const std::wstring save_name = target.substr(folder.size());
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((target + L".*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (is_temp_name(found.cFileName, save_name)) remove_if_abandoned(folder + found.cFileName);
  } while (FindNextFileW(search, &found) != 0);
  FindClose(search);
}

// A load waits a little for a save being rewritten in place, so that it never
// reads half of one, but never hangs on a lock someone else keeps for ever.
constexpr int LOCK_WAIT_TRIES = 200;
constexpr DWORD LOCK_WAIT_STEP_MS = 10;  // 2 s in all

bool wait_for_shared_lock(HANDLE file) {
  for (int tries = 0; tries < LOCK_WAIT_TRIES; ++tries) {
    if (lock_byte(file, LOCKFILE_FAIL_IMMEDIATELY)) return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return true;  // no locks here
    Sleep(LOCK_WAIT_STEP_MS);
  }
  return false;
}

// Windows does not replace a file that anyone has open, even for a moment
// (another game loading it, a virus scanner): the rename is tried again for up
// to 2 s before the save fails.
bool replace_save(const std::wstring &temp, const std::wstring &target) {
  for (int tries = 0;; ++tries) {
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || tries == LOCK_WAIT_TRIES) return false;
    Sleep(LOCK_WAIT_STEP_MS);
    SetLastError(error);
  }
}

// For a folder whose permissions refuse new files but allow writing the save:
// the save is rewritten where it is, one game at a time (the lock), cut to
// nothing first, so that a write that fails half-way leaves a file too short
// to be a save, which the next load refuses whole.
SaveCheck write_in_place(const std::wstring &target, const std::vector<unsigned char> &bytes) {
  const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, SHARE_ALL, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_failure();
  const bool locked = lock_byte(file, LOCKFILE_EXCLUSIVE_LOCK);
  const bool written =
      locked && SetEndOfFile(file) != 0 && write_all(file, bytes.data(), bytes.size()) && FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  if (locked) unlock_byte(file);
  const bool closed = CloseHandle(file) != 0;
  if (!written) return failure(error);
  return closed ? save_sound() : last_failure();
}

// Creates this save's own temporary file, exclusively, and locks it; *writer
// writes it, *lock holds the lock until the file has replaced the save.
DWORD create_temp(const std::wstring &target, const OldSave &old, std::wstring *temp, HANDLE *writer, HANDLE *lock) {
  std::random_device random;
  const DWORD attributes = old.attributes & KEPT_ATTRIBUTES;
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 16 && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS); ++attempt) {
    *temp = temp_name(target, static_cast<std::uint32_t>(random()));
    // No deletion shared: until the lock below is held, no other save can take
    // this file for an abandoned one.
    *writer = CreateFileW(temp->c_str(), GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_NEW, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    error = *writer == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  }
  if (error != ERROR_SUCCESS) return error;
  // The lock's handle shares deletion, so that the rename can take the file while it is held.
  *lock = CreateFileW(temp->c_str(), GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING, 0, nullptr);
  if (*lock != INVALID_HANDLE_VALUE && lock_byte(*lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY))
    return ERROR_SUCCESS;
  error = GetLastError();
  if (*lock != INVALID_HANDLE_VALUE) CloseHandle(*lock);
  *lock = INVALID_HANDLE_VALUE;
  FILE_DISPOSITION_INFO gone{TRUE};
  SetFileInformationByHandle(*writer, FileDispositionInfo, &gone, sizeof gone);
  CloseHandle(*writer);
  return error;
}

}  // namespace

SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid) {
  std::wstring wide;
  if (!widen(path, &wide)) return last_failure();
  // Folders open too, to be refused as what they are.
  const HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_failure();
  // A device (CON, NUL) or a pipe is never read from: it could wait for ever.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileInformationByHandle(file, &info) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return save_check(SAVE_UNREADABLE, "not a regular file");
  }
  if (!wait_for_shared_lock(file)) {
    CloseHandle(file);
    return save_check(SAVE_UNREADABLE, "Resource temporarily unavailable");
  }
  // Its size once no one rewrites it.
  if (GetFileInformationByHandle(file, &info) == 0) {
    const SaveCheck check = last_failure();
    unlock_byte(file);
    CloseHandle(file);
    return check;
  }
  const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size != SAVE_FILE_BYTES) {
    unlock_byte(file);
    CloseHandle(file);
    return save_check(SAVE_DAMAGED, "the file is %llu bytes long, not %llu", static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(SAVE_FILE_BYTES));
  }
  // One byte more than a save, so that a file that grew meanwhile is caught too.
  std::vector<unsigned char> bytes(SAVE_FILE_BYTES + 1);
  std::size_t got = 0;
  const bool read = read_up_to(file, bytes.data(), bytes.size(), &got);
  const DWORD error = GetLastError();
  unlock_byte(file);
  CloseHandle(file);
  if (!read) return save_check(SAVE_DAMAGED, "it could not be read (%s)", failure(error).reason);
  return decode_save(bytes.data(), got, table, state, grid);
}

SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state) {
  std::wstring target;
  if (!widen(path, &target)) return last_failure();
  OldSave old{};
  if (!inspect_old_save(&target, &old)) return last_failure();
  if (old.exists && (old.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    LocalFree(old.security);
    return save_check(SAVE_UNREADABLE, "Is a directory");
  }
  // A read-only save is the player's to keep.
  if (old.exists && (old.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    LocalFree(old.security);
    return failure(ERROR_ACCESS_DENIED);
  }

  std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
  encode_save(grid, state, bytes.data());

  remove_abandoned_temps(target);
  std::wstring temp;
  HANDLE writer = INVALID_HANDLE_VALUE;
  HANDLE lock = INVALID_HANDLE_VALUE;
  const DWORD created = create_temp(target, old, &temp, &writer, &lock);
  if (created != ERROR_SUCCESS) {
    LocalFree(old.security);
    if (created == ERROR_ACCESS_DENIED && old.exists) return write_in_place(target, bytes);
    return failure(created);
  }
  give_old_permissions(writer, old);
  LocalFree(old.security);

  // The new save is complete and on disk under its temporary name before one
  // rename replaces the old one, so a failure never costs a world. The lock is
  // held across the rename, so no other save can take the file meanwhile.
  bool saved = write_all(writer, bytes.data(), bytes.size()) && FlushFileBuffers(writer) != 0;
  DWORD error = GetLastError();
  saved = CloseHandle(writer) != 0 && saved;
  if (saved) {
    saved = replace_save(temp, target);
    error = GetLastError();
  }
  if (!saved) DeleteFileW(temp.c_str());  // gone once the lock's handle closes
  unlock_byte(lock);
  CloseHandle(lock);
  return saved ? save_sound() : failure(error);
}
