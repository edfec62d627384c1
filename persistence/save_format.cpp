// The save file's byte layout: encoding, checking and decoding a whole file
// image, and reading and writing it on disk without ever leaving half a save.
#include "persistence/save_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- Layout -----------------------------------------------------------------
// NOTE: the offsets below are the file format. They must never change.

// State section, at offset 0.
constexpr std::size_t STATE_PLAYER_X = 0;
constexpr std::size_t STATE_PLAYER_Y = 4;
constexpr std::size_t STATE_DIRT_COUNT = 8;
constexpr std::size_t STATE_GRASS_COUNT = 12;
constexpr std::size_t STATE_STONE_COUNT = 16;
constexpr std::size_t STATE_GOLD_COUNT = 20;
constexpr std::size_t STATE_PLAYER_BITMAP = 24;  // 4-byte slot, meaningless in a file
constexpr std::size_t STATE_ON_GROUND = 28;      // then 3 bytes of zero padding
constexpr std::size_t STATE_SELECTED_BLOCK = 32;
constexpr std::size_t STATE_KEYS = 36;  // KEY_SLOT_COUNT bytes, then 1 byte of zero padding
constexpr std::size_t STATE_SCREEN_WIDTH = 264;
constexpr std::size_t STATE_SCREEN_HEIGHT = 268;
constexpr std::size_t STATE_LOAD_SAVED_WORLD = 272;  // then 3 bytes of zero padding
constexpr std::size_t STATE_LOAD_FAILED = 276;
static_assert(STATE_KEYS + KEY_SLOT_COUNT + 1 == STATE_SCREEN_WIDTH, "the key table ends at offset 263");
static_assert(STATE_LOAD_FAILED + 4 == SAVE_STATE_BYTES, "the state section is 280 bytes");

// One 28-byte cell record; cells follow the grid's own column-major order.
constexpr std::size_t CELL_NAME = 0;  // 8 bytes as the cell holds them
constexpr std::size_t CELL_ID = 8;
constexpr std::size_t CELL_TILE = 12;      // 4-byte slot, meaningless in a file
constexpr std::size_t CELL_PASSABLE = 16;  // then 3 bytes of padding
constexpr std::size_t CELL_X = 20;
constexpr std::size_t CELL_Y = 24;
static_assert(CELL_Y + 4 == SAVE_CELL_BYTES, "a cell record is 28 bytes");
static_assert(SAVE_FILE_BYTES == 9677080, "the save file is 9,677,080 bytes");

// The range of player positions a file may hold. The game keeps the box
// between x 0 and 7187.5 and never lets it sink below y 4720; building up to
// the top row lets it stand and jump a few rows above y 0. The bounds are
// deliberately wider than that (the box inside the world's width, at most one
// world height above its top, never below its bottom) so that no save the game
// can write is ever refused; they only keep absurd values out of the camera.
constexpr float MIN_PLAYER_X = 0.0f;
constexpr float MAX_PLAYER_X = static_cast<float>(WORLD_WIDTH - CELL_SIZE);
constexpr float MIN_PLAYER_Y = -static_cast<float>(WORLD_HEIGHT);
constexpr float MAX_PLAYER_Y = static_cast<float>(WORLD_HEIGHT - 2 * CELL_SIZE);

// ---- Little-endian fields ---------------------------------------------------

// On little-endian machines the file's byte order is the machine's own, and a
// plain copy lets the compiler use whole-word stores and loads.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool HOST_IS_LITTLE_ENDIAN = true;
#else
constexpr bool HOST_IS_LITTLE_ENDIAN = false;
#endif

void put_u32(unsigned char *out, std::uint32_t value) {
  if (HOST_IS_LITTLE_ENDIAN) {
    std::memcpy(out, &value, sizeof value);
    return;
  }
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}

void put_i32(unsigned char *out, std::int32_t value) { put_u32(out, static_cast<std::uint32_t>(value)); }

void put_f32(unsigned char *out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put_u32(out, bits);
}

void put_flag(unsigned char *out, Flag value) { out[0] = value != 0 ? 1 : 0; }

std::uint32_t get_u32(const unsigned char *in) {
  if (HOST_IS_LITTLE_ENDIAN) {
    std::uint32_t value;
    std::memcpy(&value, in, sizeof value);
    return value;
  }
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

std::int32_t get_i32(const unsigned char *in) {
  const std::uint32_t bits = get_u32(in);
  std::int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float get_f32(const unsigned char *in) {
  const std::uint32_t bits = get_u32(in);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Any non-zero byte is a set flag; the record only ever holds 0 or 1.
Flag get_flag(const unsigned char *in) { return in[0] != 0 ? 1 : 0; }

// ---- Checking ---------------------------------------------------------------

SaveCheck check_result(SaveStatus status, const char *format, ...) __attribute__((format(printf, 2, 3)));

SaveCheck check_result(SaveStatus status, const char *format, ...) {
  SaveCheck check{};
  check.status = status;
  va_list args;
  va_start(args, format);
  std::vsnprintf(check.reason, sizeof check.reason, format, args);
  va_end(args);
  return check;
}

SaveCheck sound() { return SaveCheck{SAVE_OK, {}}; }

// Air and Underground are the open kinds; a cell must say so exactly when its kind is open.
constexpr bool kind_is_passable(std::uint32_t id) { return id == BLOCK_AIR || id == BLOCK_UNDERGROUND; }

const char *const KIND_NAMES[BLOCK_KIND_COUNT] = {"NULL", "Air", "Dirt", "Grass", "Stone", "Gold", "Underground"};

bool in_range(float value, float low, float high) { return value >= low && value <= high; }  // false for NaN

SaveCheck check_state(const unsigned char *bytes) {
  const float x = get_f32(bytes + STATE_PLAYER_X);
  const float y = get_f32(bytes + STATE_PLAYER_Y);
  if (!std::isfinite(x) || !std::isfinite(y))
    return check_result(SAVE_DAMAGED, "the player's position is not a number");
  if (!in_range(x, MIN_PLAYER_X, MAX_PLAYER_X) || !in_range(y, MIN_PLAYER_Y, MAX_PLAYER_Y)) {
    return check_result(SAVE_DAMAGED, "the player's position (%g, %g) is outside the world", static_cast<double>(x),
                        static_cast<double>(y));
  }
  // Counts only grow by digging and shrink by placing down to 0.
  const struct {
    const char *kind;
    std::size_t offset;
  } counts[] = {{"Dirt", STATE_DIRT_COUNT},
                {"Grass", STATE_GRASS_COUNT},
                {"Stone", STATE_STONE_COUNT},
                {"Gold", STATE_GOLD_COUNT}};
  for (const auto &count : counts) {
    const std::int32_t value = get_i32(bytes + count.offset);
    if (value < 0) return check_result(SAVE_DAMAGED, "the %s count is %d", count.kind, static_cast<int>(value));
  }
  // selected_block is taken as it is: a value outside 1 to 4 selects nothing,
  // which the HUD and placing handle on purpose.
  return sound();
}

// Bit (id << 1 | passable) is set for each kind id and the passable flag it must carry.
constexpr std::uint32_t sound_kind_flags() {
  std::uint32_t bits = 0;
  for (std::uint32_t id = 0; id < BLOCK_KIND_COUNT; ++id) bits |= 1u << (id << 1 | (kind_is_passable(id) ? 1 : 0));
  return bits;
}
constexpr std::uint32_t SOUND_KIND_FLAGS = sound_kind_flags();
static_assert(BLOCK_KIND_COUNT <= 8, "kind ids fit in three bits");

// The bits of the position a cell at that column or row holds: every cell
// keeps its own place for good, and movement measures walls by it.
std::uint32_t position_bits(int cells) {
  const float position = static_cast<float>(cells * CELL_SIZE);
  std::uint32_t bits;
  std::memcpy(&bits, &position, sizeof bits);
  return bits;
}

// True when every cell has a known kind, the passable flag of that kind and
// its own position. Branch-free, since a load spends most of its time here
// and every cell is sound in any file the game wrote.
bool cells_sound(const unsigned char *records, int first, int count) {
  int column = first / WORLD_ROWS;
  int row = first % WORLD_ROWS;
  std::uint32_t x_bits = position_bits(column);
  std::uint32_t faults = 0;
  for (int done = 0; done < count; ++done, records += SAVE_CELL_BYTES) {
    const std::uint32_t id = get_u32(records + CELL_ID);
    const std::uint32_t key = (id << 1 | (records[CELL_PASSABLE] != 0 ? 1u : 0u)) & 15u;
    faults |= (id >> 3) | ((~SOUND_KIND_FLAGS >> key) & 1u);  // id 8 and above, or a wrong flag (id 7 has none)
    faults |= (get_u32(records + CELL_X) ^ x_bits) | (get_u32(records + CELL_Y) ^ position_bits(row));
    if (++row == WORLD_ROWS) {
      row = 0;
      x_bits = position_bits(++column);
    }
  }
  return faults == 0;
}

// Names the first unsound cell.
SaveCheck check_cells(const unsigned char *records, int first, int count) {
  if (cells_sound(records, first, count)) return sound();
  for (int index = first; index < first + count; ++index, records += SAVE_CELL_BYTES) {
    const int column = index / WORLD_ROWS;
    const int row = index % WORLD_ROWS;
    const std::int32_t id = get_i32(records + CELL_ID);
    if (id < 0 || id >= BLOCK_KIND_COUNT) {
      return check_result(SAVE_DAMAGED, "the cell at column %d, row %d has kind %d", column, row, static_cast<int>(id));
    }
    const bool open = kind_is_passable(static_cast<std::uint32_t>(id));
    if ((records[CELL_PASSABLE] != 0) != open) {
      return check_result(SAVE_DAMAGED, "the %s cell at column %d, row %d is marked %s", KIND_NAMES[id], column, row,
                          open ? "solid" : "passable");
    }
    if (get_u32(records + CELL_X) != position_bits(column) || get_u32(records + CELL_Y) != position_bits(row)) {
      return check_result(SAVE_DAMAGED, "the cell at column %d, row %d says it lies at (%g, %g)", column, row,
                          static_cast<double>(get_f32(records + CELL_X)),
                          static_cast<double>(get_f32(records + CELL_Y)));
    }
  }
  return sound();
}

// ---- Decoding (only once the whole image is known to be sound) --------------

GameState decode_state(const unsigned char *bytes) {
  GameState state{};
  state.player_x = get_f32(bytes + STATE_PLAYER_X);
  state.player_y = get_f32(bytes + STATE_PLAYER_Y);
  state.dirt_count = get_i32(bytes + STATE_DIRT_COUNT);
  state.grass_count = get_i32(bytes + STATE_GRASS_COUNT);
  state.stone_count = get_i32(bytes + STATE_STONE_COUNT);
  state.gold_count = get_i32(bytes + STATE_GOLD_COUNT);
  state.player_bitmap = nullptr;  // a handle from another run means nothing here
  state.on_ground = get_flag(bytes + STATE_ON_GROUND);
  state.selected_block = get_i32(bytes + STATE_SELECTED_BLOCK);
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) state.keys[code] = get_flag(bytes + STATE_KEYS + code);
  state.screen_width = get_i32(bytes + STATE_SCREEN_WIDTH);
  state.screen_height = get_i32(bytes + STATE_SCREEN_HEIGHT);
  state.load_saved_world = get_flag(bytes + STATE_LOAD_SAVED_WORLD);
  state.load_failed = get_i32(bytes + STATE_LOAD_FAILED);
  return state;
}

void decode_cells(const unsigned char *records, int count, const BlockKindTable *table, Block *cells) {
  for (int index = 0; index < count; ++index, records += SAVE_CELL_BYTES) {
    Block &cell = cells[index];
    std::memcpy(cell.name, records + CELL_NAME, sizeof cell.name);
    cell.id = get_i32(records + CELL_ID);
    cell.tile = table != nullptr ? table->kinds[cell.id].tile : nullptr;
    cell.passable = get_flag(records + CELL_PASSABLE);
    cell.x = get_f32(records + CELL_X);
    cell.y = get_f32(records + CELL_Y);
  }
}

// ---- Files ------------------------------------------------------------------

// The reason of the last failed system call, for the console.
SaveCheck system_failure() { return check_result(SAVE_UNREADABLE, "%s", std::strerror(errno)); }

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

// The folder part of `path` with its slash ("" for a bare name).
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

// The one temporary name beside the save. A save killed half-way leaves it
// behind; the next save removes it before creating its own, so there is never
// more than one. O_EXCL also refuses a link planted under that name.
int create_temp(const std::string &temp_path) {
  if (unlink(temp_path.c_str()) != 0 && errno != ENOENT) return -1;
  return open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
  if (ftruncate(fd, 0) != 0 || !write_all(fd, bytes.data(), bytes.size()) || fsync(fd) != 0) {
    const SaveCheck check = system_failure();
    close(fd);
    return check;
  }
  if (close(fd) != 0) return system_failure();
  return sound();
}

}  // namespace

void encode_state_section(GameState state, unsigned char *out) {
  std::memset(out, 0, SAVE_STATE_BYTES);  // handle slot and padding are zero
  put_f32(out + STATE_PLAYER_X, state.player_x);
  put_f32(out + STATE_PLAYER_Y, state.player_y);
  put_i32(out + STATE_DIRT_COUNT, state.dirt_count);
  put_i32(out + STATE_GRASS_COUNT, state.grass_count);
  put_i32(out + STATE_STONE_COUNT, state.stone_count);
  put_i32(out + STATE_GOLD_COUNT, state.gold_count);
  put_u32(out + STATE_PLAYER_BITMAP, 0);
  put_flag(out + STATE_ON_GROUND, state.on_ground);
  put_i32(out + STATE_SELECTED_BLOCK, state.selected_block);
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) put_flag(out + STATE_KEYS + code, state.keys[code]);
  put_i32(out + STATE_SCREEN_WIDTH, state.screen_width);
  put_i32(out + STATE_SCREEN_HEIGHT, state.screen_height);
  put_flag(out + STATE_LOAD_SAVED_WORLD, state.load_saved_world);
  put_i32(out + STATE_LOAD_FAILED, state.load_failed);
}

void encode_cell_records(const Block *cells, int count, unsigned char *out) {
  for (int index = 0; index < count; ++index, out += SAVE_CELL_BYTES) {
    const Block &cell = cells[index];
    std::memcpy(out + CELL_NAME, cell.name, sizeof cell.name);
    put_i32(out + CELL_ID, cell.id);
    put_u32(out + CELL_TILE, 0);
    put_u32(out + CELL_PASSABLE, 0);  // the flag and its three bytes of padding
    put_flag(out + CELL_PASSABLE, cell.passable);
    put_f32(out + CELL_X, cell.x);
    put_f32(out + CELL_Y, cell.y);
  }
}

void encode_save(const WorldGrid *grid, GameState state, unsigned char *out) {
  encode_state_section(state, out);
  encode_cell_records(grid->cells, WORLD_CELL_COUNT, out + SAVE_STATE_BYTES);
}

SaveCheck decode_state_section(const unsigned char *bytes, GameState *state) {
  const SaveCheck check = check_state(bytes);
  if (check.status == SAVE_OK) *state = decode_state(bytes);
  return check;
}

SaveCheck decode_cell_records(const unsigned char *records, int first, int count, const BlockKindTable *table,
                              Block *cells) {
  const SaveCheck check = check_cells(records, first, count);
  if (check.status == SAVE_OK) decode_cells(records, count, table, cells);
  return check;
}

SaveCheck decode_save(const unsigned char *bytes, std::size_t size, const BlockKindTable *table, GameState *state,
                      WorldGrid *grid) {
  if (size != SAVE_FILE_BYTES) {
    return check_result(SAVE_DAMAGED, "the file is %zu bytes long, not %zu", size, SAVE_FILE_BYTES);
  }
  GameState loaded{};
  SaveCheck check = decode_state_section(bytes, &loaded);
  if (check.status != SAVE_OK) return check;
  check = decode_cell_records(bytes + SAVE_STATE_BYTES, 0, WORLD_CELL_COUNT, table, grid->cells);
  if (check.status == SAVE_OK) *state = loaded;
  return check;
}

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
    return check_result(SAVE_UNREADABLE, "not a regular file");
  }
  if (static_cast<std::size_t>(info.st_size) != SAVE_FILE_BYTES) {
    close(fd);
    return check_result(SAVE_DAMAGED, "the file is %lld bytes long, not %zu", static_cast<long long>(info.st_size),
                        SAVE_FILE_BYTES);
  }
  // One byte more than a save, so that a file that grew meanwhile is caught too.
  std::vector<unsigned char> bytes(SAVE_FILE_BYTES + 1);
  const ssize_t got = read_up_to(fd, bytes.data(), bytes.size());
  const int read_errno = errno;
  close(fd);
  if (got < 0) return check_result(SAVE_DAMAGED, "it could not be read (%s)", std::strerror(read_errno));
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
    if (S_ISDIR(old_save.st_mode)) return check_result(SAVE_UNREADABLE, "%s", std::strerror(EISDIR));
    // A save the player may not write to (chmod 444, say) is theirs to keep.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return system_failure();
  }

  std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
  encode_save(grid, state, bytes.data());

  // The new save is complete and on disk under the temporary name before the
  // rename replaces the old one, so a failure never costs a world.
  const std::string temp_path = target + ".tmp";
  const int fd = create_temp(temp_path);
  if (fd < 0) {
    if (folder_refuses(errno) && have_old_save && S_ISREG(old_save.st_mode)) return write_in_place(target, bytes);
    return system_failure();
  }
  if (!give_old_attributes(fd, have_old_save ? &old_save : nullptr) || !write_all(fd, bytes.data(), bytes.size()) ||
      fsync(fd) != 0) {
    const SaveCheck check = system_failure();
    close(fd);
    unlink(temp_path.c_str());
    return check;
  }
  if (close(fd) != 0 || rename(temp_path.c_str(), target.c_str()) != 0) {
    const SaveCheck check = system_failure();
    unlink(temp_path.c_str());
    return check;
  }
  // The new save is in place but not known to survive a power cut: say so.
  if (!sync_folder(folder_of(target))) return system_failure();
  return sound();
}
