// The save file's byte layout: encoding, checking and decoding a whole file
// image and its pieces.
#include "persistence/save_format.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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

// Air and Underground are the open kinds; a cell must say so exactly when its kind is open.
constexpr bool kind_is_passable(std::uint32_t id) { return id == BLOCK_AIR || id == BLOCK_UNDERGROUND; }

const char *const KIND_NAMES[BLOCK_KIND_COUNT] = {"NULL", "Air", "Dirt", "Grass", "Stone", "Gold", "Underground"};

bool in_range(float value, float low, float high) { return value >= low && value <= high; }  // false for NaN

SaveCheck check_state(const unsigned char *bytes) {
  const float x = get_f32(bytes + STATE_PLAYER_X);
  const float y = get_f32(bytes + STATE_PLAYER_Y);
  if (!std::isfinite(x) || !std::isfinite(y)) return save_check(SAVE_DAMAGED, "the player's position is not a number");
  if (!in_range(x, MIN_PLAYER_X, MAX_PLAYER_X) || !in_range(y, MIN_PLAYER_Y, MAX_PLAYER_Y)) {
    return save_check(SAVE_DAMAGED, "the player's position (%g, %g) is outside the world", static_cast<double>(x),
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
    if (value < 0) return save_check(SAVE_DAMAGED, "the %s count is %d", count.kind, static_cast<int>(value));
  }
  // selected_block is taken as it is: a value outside 1 to 4 selects nothing,
  // which the HUD and placing handle on purpose.
  return save_sound();
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
  if (cells_sound(records, first, count)) return save_sound();
  for (int index = first; index < first + count; ++index, records += SAVE_CELL_BYTES) {
    const int column = index / WORLD_ROWS;
    const int row = index % WORLD_ROWS;
    const std::int32_t id = get_i32(records + CELL_ID);
    if (id < 0 || id >= BLOCK_KIND_COUNT) {
      return save_check(SAVE_DAMAGED, "the cell at column %d, row %d has kind %d", column, row, static_cast<int>(id));
    }
    const bool open = kind_is_passable(static_cast<std::uint32_t>(id));
    if ((records[CELL_PASSABLE] != 0) != open) {
      return save_check(SAVE_DAMAGED, "the %s cell at column %d, row %d is marked %s", KIND_NAMES[id], column, row,
                        open ? "solid" : "passable");
    }
    if (get_u32(records + CELL_X) != position_bits(column) || get_u32(records + CELL_Y) != position_bits(row)) {
      return save_check(SAVE_DAMAGED, "the cell at column %d, row %d says it lies at (%g, %g)", column, row,
                        static_cast<double>(get_f32(records + CELL_X)), static_cast<double>(get_f32(records + CELL_Y)));
    }
  }
  return save_sound();
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
    return save_check(SAVE_DAMAGED, "the file is %zu bytes long, not %zu", size, SAVE_FILE_BYTES);
  }
  GameState loaded{};
  SaveCheck check = decode_state_section(bytes, &loaded);
  if (check.status != SAVE_OK) return check;
  check = decode_cell_records(bytes + SAVE_STATE_BYTES, 0, WORLD_CELL_COUNT, table, grid->cells);
  if (check.status == SAVE_OK) *state = loaded;
  return check;
}
