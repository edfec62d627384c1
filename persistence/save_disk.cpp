// Reading and writing the save file on disk: links followed, permissions
// kept, and never half a save in the file's place.
#include "persistence/save_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "persistence/save_format.h"

namespace {

// The reason of the last failed system call, for the console.
SaveCheck system_failure() { return save_check(SAVE_UNREADABLE, "%s", std::strerror(errno)); }

bool write_all(int fd, const unsigned char *bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Reads until `size` bytes or the end of the file; returns the count, or -1 on error.
ssize_t read_up_to(int fd, unsigned char *bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = read(fd, bytes + done, size - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// A new file gets the permissions an ordinary fopen(..., "wb") would give it.
mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// Links are followed by hand, as the kernel would (at most 40 of them), so
// that the new file replaces the file the link names and the link stays.
constexpr int MAX_LINK_HOPS = 40;

// The folder of `path` with its slash ("" for a bare name).
std::string folder_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a save at `path` really is: links and chains of links followed,
// relative ones from their own folder. It need not exist yet.
bool resolve_links(const char *path, std::string *target) {
  *target = path;
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (lstat(target->c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISLNK(info.st_mode)) return true;
    if (hops == MAX_LINK_HOPS) {
      errno = ELOOP;
      return false;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(target->c_str(), &link[0], link.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) == link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    *target = link[0] == '/' ? link : folder_of(*target) + link;
  }
}

// The folder itself refuses new files, as opposed to a full disk or a bad path.
bool folder_refuses(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Takes a flock, waiting for it. A file system without locks (NFS without its
// lock service) still gets its saves, only without the guard.
bool take_lock(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return errno == ENOLCK || errno == EOPNOTSUPP;
  }
  return true;
}

bool same_file(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Every save writes under a name of its own, "<file>.<8 lowercase hex digits>.tmp",
// so that two games saving into one folder never share a temporary file.
constexpr std::size_t TEMP_DIGITS = 8;
constexpr const char *TEMP_SUFFIX = ".tmp";
constexpr int MAX_TEMP_ATTEMPTS = 64;

// The process, the moment and the attempt mixed into eight hex digits.
std::string temp_path_for(const std::string &target, int attempt) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t mix = static_cast<std::uint64_t>(getpid()) << 32;
  mix ^= static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
  mix ^= static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15u;
  mix = (mix ^ (mix >> 33)) * 0xFF51AFD7ED558CCDu;  // so that nearby inputs give unrelated digits
  mix = (mix ^ (mix >> 33)) * 0xC4CEB9FE1A85EC53u;
  char digits[TEMP_DIGITS + 1];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>((mix ^ (mix >> 33)) & 0xFFFFFFFFu));
  return target + "." + digits + TEMP_SUFFIX;
}

// "<save name>.<8 lowercase hex digits>.tmp", as temp_path_for makes them.
bool is_temp_name_of(const std::string &entry, const std::string &save_name) {
  const std::size_t digits_at = save_name.size() + 1;
  return entry.size() == digits_at + TEMP_DIGITS + std::strlen(TEMP_SUFFIX) &&
         entry.compare(0, digits_at, save_name + ".") == 0 &&
         entry.find_first_not_of("0123456789abcdef", digits_at) == digits_at + TEMP_DIGITS &&
         entry.compare(digits_at + TEMP_DIGITS, std::string::npos, TEMP_SUFFIX) == 0;
}

// A save killed half-way leaves its temporary file behind, unlocked: the next
// save of any game removes it. A live save holds its file locked, so a file
// whose lock cannot be had is never touched. Best effort: the save does not
// depend on it.
void remove_stale_temps(const std::string &target) {
  const std::string folder = folder_of(target);
  const std::string save_name = target.substr(folder.size());
  DIR *listing = opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return;
  const int folder_fd = dirfd(listing);
  for (const dirent *entry = readdir(listing); entry != nullptr; entry = readdir(listing)) {
    if (!is_temp_name_of(entry->d_name, save_name)) continue;
    const int fd = openat(folder_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    // Once locked, the name must still be that file: it may have been removed
    // and made again by another save meanwhile.
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(folder_fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(opened, named)) {
      unlinkat(folder_fd, entry->d_name, 0);
    }
    close(fd);
  }
  closedir(listing);
}

// This save's own temporary file, created exclusively (O_EXCL also refuses a
// link planted under the name) and locked until it is renamed into place.
// Returns -1 with errno set when none can be made.
int create_own_temp(const std::string &target, std::string *temp_path) {
  for (int attempt = 0; attempt < MAX_TEMP_ATTEMPTS; ++attempt) {
    *temp_path = temp_path_for(target, attempt);
    const int fd = open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    if (!take_lock(fd, LOCK_EX)) {
      const int lock_errno = errno;
      unlink(temp_path->c_str());
      close(fd);
      errno = lock_errno;
      return -1;
    }
    // Between the creation and the lock another save's cleaning may have taken
    // the file for a dead game's and removed it: then make another.
    struct stat opened {};
    struct stat named {};
    if (fstat(fd, &opened) == 0 && lstat(temp_path->c_str(), &named) == 0 && same_file(opened, named)) return fd;
    close(fd);
  }
  errno = EEXIST;
  return -1;
}

// The new file takes over the old save's owner, group and permission bits,
// as far as this process may set them; a new save gets the usual ones.
bool give_old_attributes(int fd, const struct stat *old_save) {
  if (old_save == nullptr) return fchmod(fd, new_file_mode()) == 0;
  if (fchown(fd, old_save->st_uid, old_save->st_gid) != 0) {
    if (errno != EPERM) return false;
    if (fchown(fd, static_cast<uid_t>(-1), old_save->st_gid) != 0 && errno != EPERM) return false;
  }
  return fchmod(fd, old_save->st_mode & 07777) == 0;
}

// Makes the rename itself durable.
bool sync_folder(const std::string &folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0 || errno == EINVAL;  // EINVAL: this file system cannot sync a folder
  const int sync_errno = errno;
  close(fd);
  errno = sync_errno;
  return synced;
}

// For a folder that refuses new files: the save is rewritten where it is. It
// is cut to nothing first, so a write that fails half-way leaves a file too
// short to be a save, which the next load refuses whole, never a mix of the
// old world and the new one that would load.
SaveCheck write_in_place(const std::string &target, const std::vector<unsigned char> &bytes) {
  const int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return system_failure();
  // Two games rewriting one save in place take turns, and a load waits for the
  // one writing (read_save_file takes the shared lock).
  if (!take_lock(fd, LOCK_EX) || ftruncate(fd, 0) != 0 || !write_all(fd, bytes.data(), bytes.size()) ||
      fsync(fd) != 0) {
    const SaveCheck check = system_failure();
    close(fd);
    return check;
  }
  if (close(fd) != 0) return system_failure();
  return save_sound();
}

// A load waits a little for a save being rewritten in place, so that it never
// reads half of one, but never hangs on a lock someone else keeps forever.
constexpr int LOCK_WAIT_TRIES = 200;
constexpr long LOCK_WAIT_STEP_NS = 10000000;  // 10 ms, 2 s in all

bool wait_for_shared_lock(int fd) {
  for (int tries = 0; tries < LOCK_WAIT_TRIES; ++tries) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return true;  // no locks on this file system: read unguarded
    const timespec step{0, LOCK_WAIT_STEP_NS};
    nanosleep(&step, nullptr);
  }
  errno = EWOULDBLOCK;
  return false;
}

}  // namespace

SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid) {
  // Non-blocking so that a FIFO in the save's place cannot hang the game.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return system_failure();
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const SaveCheck check = system_failure();
    close(fd);
    return check;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return save_check(SAVE_UNREADABLE, "not a regular file");
  }
  if (!wait_for_shared_lock(fd) || fstat(fd, &info) != 0) {
    const SaveCheck check = system_failure();
    close(fd);
    return check;
  }
  if (static_cast<std::size_t>(info.st_size) != SAVE_FILE_BYTES) {
    close(fd);
    return save_check(SAVE_DAMAGED, "the file is %lld bytes long, not %zu", static_cast<long long>(info.st_size),
                      SAVE_FILE_BYTES);
  }
  // One byte more than a save, so that a file that grew meanwhile is caught too.
  std::vector<unsigned char> bytes(SAVE_FILE_BYTES + 1);
  const ssize_t got = read_up_to(fd, bytes.data(), bytes.size());
  const int read_errno = errno;
  close(fd);
  if (got < 0) return save_check(SAVE_DAMAGED, "it could not be read (%s)", std::strerror(read_errno));
  return decode_save(bytes.data(), static_cast<std::size_t>(got), table, state, grid);
}

SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state) {
  // A link to the save (into a synced folder, say) stays a link: the file it
  // names is the one replaced, by a temporary file in that file's own folder.
  std::string target;
  if (!resolve_links(path, &target)) return system_failure();
  struct stat old_save {};
  const bool have_old_save = lstat(target.c_str(), &old_save) == 0;
  if (!have_old_save && errno != ENOENT) return system_failure();
  if (have_old_save) {
    if (S_ISDIR(old_save.st_mode)) return save_check(SAVE_UNREADABLE, "%s", std::strerror(EISDIR));
    // A save the player may not write to (chmod 444, say) is theirs to keep.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return system_failure();
  }

  std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
  encode_save(grid, state, bytes.data());

  // The new save is complete and on disk under this save's own temporary name
  // before the rename replaces the old one, so a failure never costs a world
  // and a reader only ever finds a whole save.
  remove_stale_temps(target);
  std::string temp_path;
  const int fd = create_own_temp(target, &temp_path);
  if (fd < 0) {
    if (folder_refuses(errno) && have_old_save && S_ISREG(old_save.st_mode)) return write_in_place(target, bytes);
    return system_failure();
  }
  // The lock is held through the rename, so no cleaner takes the file first;
  // while it is held the name is this save's alone to remove.
  if (!give_old_attributes(fd, have_old_save ? &old_save : nullptr) || !write_all(fd, bytes.data(), bytes.size()) ||
      fsync(fd) != 0 || rename(temp_path.c_str(), target.c_str()) != 0) {
    const SaveCheck check = system_failure();
    unlink(temp_path.c_str());
    close(fd);
    return check;
  }
  close(fd);  // the data is on disk already: nothing a failed close could report is lost
  // The new save is in place but not known to survive a power cut: say so.
  if (!sync_folder(folder_of(target))) return system_failure();
  return save_sound();
}
