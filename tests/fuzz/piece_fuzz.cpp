// libFuzzer targets for the pieces of a save file, through the entry points
// the whole-file decoder is made of. A whole file costs a 9.7 MB decode per
// input; a piece costs microseconds, so these reach far more inputs a second.
// Built three times (tests/fuzz/CMakeLists.txt):
//   state_fuzz     FUZZ_STATE      the 280-byte state section
//   cell_fuzz      FUZZ_CELLS=1    one cell record at any place in the grid
//   cell_run_fuzz  FUZZ_CELLS=512  a run of up to 512 cells starting anywhere
// The input is laid over a sound piece with XOR, so the empty input and any
// zero bytes stay sound and every check is reached. Each verdict is compared
// with a plain restatement of the rules below; an accepted piece must encode
// back to the bytes it came from (flags as 0 or 1, meaningless bytes as 0), a
// refused one must leave its outputs untouched and name its first bad cell.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "persistence/save_format.h"
#include "state/game_state.h"
#include "world/world.h"

namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "piece_fuzz: %s\n", what);
  std::abort();
}

std::uint32_t le32(const unsigned char *in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// Byte for byte, padding included: a refused piece must not have touched its outputs at all.
bool same_bytes(const void *a, const void *b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

void lay_over(unsigned char *piece, std::size_t piece_size, const std::uint8_t *data, std::size_t size) {
  for (std::size_t i = 0; i < piece_size && i < size; ++i) piece[i] ^= data[i];
}

void check_reason(const SaveCheck &check) {
  if (check.status != SAVE_DAMAGED) fail("a piece was refused as other than damaged");
  if (check.reason[0] == '\0' || std::memchr(check.reason, '\0', sizeof check.reason) == nullptr) {
    fail("a refusal without a terminated reason");
  }
}

#if defined(FUZZ_STATE)

float le_float(const unsigned char *in) {
  const std::uint32_t bits = le32(in);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Bytes that the encoder writes as 0 whatever the record holds: the bitmap slot and padding.
bool meaningless_state_byte(std::size_t at) {
  return (at >= 24 && at < 28) || (at >= 29 && at < 32) || at == 263 || (at >= 273 && at < 276);
}
bool state_flag_byte(std::size_t at) { return at == 28 || (at >= 36 && at < 263) || at == 272; }

bool state_sound(const unsigned char *bytes) {
  const float x = le_float(bytes);
  const float y = le_float(bytes + 4);
  if (!(x >= 0.0f && x <= 7190.0f && y >= -4800.0f && y <= 4780.0f)) return false;
  for (std::size_t count = 8; count <= 20; count += 4) {
    if ((le32(bytes + count) & 0x80000000u) != 0) return false;
  }
  return true;
}

int fuzz_one(const std::uint8_t *data, std::size_t size) {
  unsigned char bytes[SAVE_STATE_BYTES];
  encode_state_section(start_game_state(), bytes);
  lay_over(bytes, sizeof bytes, data, size);

  GameState state;
  std::memset(&state, 0xa5, sizeof state);
  const GameState before = state;
  const SaveCheck check = decode_state_section(bytes, &state);
  if ((check.status == SAVE_OK) != state_sound(bytes)) fail("the state verdict breaks the rules");
  if (check.status != SAVE_OK) {
    check_reason(check);
    if (!same_bytes(&state, &before, sizeof state)) fail("a refused state changed the record");
    return 0;
  }
  unsigned char again[SAVE_STATE_BYTES];
  encode_state_section(state, again);
  for (std::size_t at = 0; at < SAVE_STATE_BYTES; ++at) {
    const unsigned expected = meaningless_state_byte(at) ? 0u
                              : state_flag_byte(at)      ? (bytes[at] != 0 ? 1u : 0u)
                                                         : bytes[at];
    if (again[at] != expected) fail("an accepted state does not encode back to its bytes");
  }
  return 0;
}

#elif defined(FUZZ_CELLS)

constexpr int MAX_CELLS = FUZZ_CELLS;

void put_le32(unsigned char *out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t float_bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Distinct stand-ins for the tile handles, compared and never drawn.
struct FakeTiles {
  BlockKindTable table;
  char marks[BLOCK_KIND_COUNT];
};

FakeTiles *fake_tiles() {
  static FakeTiles tiles{};
  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
    tiles.table.kinds[id].tile = reinterpret_cast<ALLEGRO_BITMAP *>(&tiles.marks[id]);
  }
  return &tiles;
}

bool kind_open(std::int32_t id) { return id == BLOCK_AIR || id == BLOCK_UNDERGROUND; }

// A sound record for cell `index`, of a kind that depends on the place.
void put_sound_cell(unsigned char *record, int index) {
  std::memset(record, 0, SAVE_CELL_BYTES);
  const std::int32_t id = index % BLOCK_KIND_COUNT;
  std::memcpy(record, "Cell\0\0\0", 8);
  put_le32(record + 8, static_cast<std::uint32_t>(id));
  record[16] = kind_open(id) ? 1 : 0;
  put_le32(record + 20, float_bits(static_cast<float>(index / WORLD_ROWS * CELL_SIZE)));
  put_le32(record + 24, float_bits(static_cast<float>(index % WORLD_ROWS * CELL_SIZE)));
}

bool cell_sound(const unsigned char *record, int index) {
  const std::int32_t id = static_cast<std::int32_t>(le32(record + 8));
  if (id < 0 || id >= BLOCK_KIND_COUNT) return false;
  if ((record[16] != 0) != kind_open(id)) return false;
  return le32(record + 20) == float_bits(static_cast<float>(index / WORLD_ROWS * CELL_SIZE)) &&
         le32(record + 24) == float_bits(static_cast<float>(index % WORLD_ROWS * CELL_SIZE));
}

// Input: the first cell (3 bytes), with runs the count (2 bytes), then the bytes laid over the records.
int fuzz_one(const std::uint8_t *data, std::size_t size) {
  const std::size_t header = MAX_CELLS > 1 ? 5 : 3;
  if (size < header) return 0;
  const int first = static_cast<int>((data[0] | data[1] << 8 | data[2] << 16) % WORLD_CELL_COUNT);
  int count = MAX_CELLS > 1 ? 1 + (data[3] | data[4] << 8) % MAX_CELLS : 1;
  if (count > WORLD_CELL_COUNT - first) count = WORLD_CELL_COUNT - first;
  data += header;
  size -= header;

  std::vector<unsigned char> records(static_cast<std::size_t>(count) * SAVE_CELL_BYTES);
  for (int i = 0; i < count; ++i) put_sound_cell(&records[static_cast<std::size_t>(i) * SAVE_CELL_BYTES], first + i);
  lay_over(records.data(), records.size(), data, size);

  int first_bad = -1;
  for (int i = 0; i < count && first_bad < 0; ++i) {
    if (!cell_sound(&records[static_cast<std::size_t>(i) * SAVE_CELL_BYTES], first + i)) first_bad = first + i;
  }

  const FakeTiles *tiles = fake_tiles();
  std::vector<Block> cells(static_cast<std::size_t>(count));
  std::memset(cells.data(), 0x5a, cells.size() * sizeof(Block));
  const std::vector<Block> before = cells;
  const SaveCheck check = decode_cell_records(records.data(), first, count, &tiles->table, cells.data());
  if ((check.status == SAVE_OK) != (first_bad < 0)) fail("the cell verdict breaks the rules");
  if (check.status != SAVE_OK) {
    check_reason(check);
    if (!same_bytes(cells.data(), before.data(), cells.size() * sizeof(Block))) {
      fail("refused cells changed the grid");
    }
    char place[64];
    std::snprintf(place, sizeof place, "at column %d, row %d ", first_bad / WORLD_ROWS, first_bad % WORLD_ROWS);
    if (std::strstr(check.reason, place) == nullptr) fail("the refusal does not name the first bad cell");
    return 0;
  }
  std::vector<unsigned char> again(records.size());
  encode_cell_records(cells.data(), count, again.data());
  for (int i = 0; i < count; ++i) {
    const unsigned char *in = &records[static_cast<std::size_t>(i) * SAVE_CELL_BYTES];
    const unsigned char *out = &again[static_cast<std::size_t>(i) * SAVE_CELL_BYTES];
    const Block &cell = cells[static_cast<std::size_t>(i)];
    if (cell.tile != tiles->table.kinds[cell.id].tile) fail("a cell has another kind's tile");
    // Name, id and position as they came, the flag as 0 or 1, tile slot and padding as 0.
    const bool same = std::memcmp(out, in, 12) == 0 && le32(out + 12) == 0 && out[16] == (in[16] != 0 ? 1 : 0) &&
                      out[17] == 0 && out[18] == 0 && out[19] == 0 && std::memcmp(out + 20, in + 20, 8) == 0;
    if (!same) fail("an accepted cell does not encode back to its bytes");
  }
  return 0;
}

#else
#error "build with FUZZ_STATE or FUZZ_CELLS=<most cells in a run>"
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) { return fuzz_one(data, size); }
