// libFuzzer target for the save loader: the bytes of a save file go through
// decode_save (and, when asked, read_save_file), the checks every load runs.
//
// A file must be exactly 9,677,080 bytes to get past the size check, and
// random bytes of that size fail at the first cell, so raw inputs alone
// never reach most of the checks. Every input is therefore used twice:
//   1. as a whole file image, as is;
//   2. as an edit script applied to a real save (a generated world):
//        byte 0        flags: FLAG_RESIZE, FLAG_VIA_FILE, FLAG_DEEP_CHECKS
//        bytes 1 to 3  with FLAG_RESIZE, the file's new length (24-bit little-endian)
//        then edits until the input ends, each a tag byte and, by tag % 3:
//          0  state edit: offset (2 bytes, mod 280), length (1 byte), the bytes
//          1  cell edit: cell index (3 bytes, mod 345,600), offset in the
//             record (1 byte, mod 28), length (1 byte), the bytes
//          2  file edit: offset (3 bytes), length (1 byte), the bytes
// The empty script is the real save itself; seeds/ holds truncated saves,
// bad kinds, NaN positions and the like in this form (make_seeds.py).
//
// Besides crashes, leaks and undefined behaviour, the target fails when a
// refused file changed the caller's record or grid, when an accepted file
// does not come back the same through encode and decode, or when reading it
// from disk gives another verdict than decoding it from memory.
#include <allegro5/allegro.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"
#include "state/game_state.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

constexpr unsigned FLAG_RESIZE = 1;
constexpr unsigned FLAG_VIA_FILE = 2;
constexpr unsigned FLAG_DEEP_CHECKS = 4;

// Edits may also reach a little past the end of a save, for longer files.
constexpr std::size_t IMAGE_CAPACITY = SAVE_FILE_BYTES + 64;

struct Fixture {
  BlockKindTable table;
  std::vector<unsigned char> real_save;  // IMAGE_CAPACITY bytes, zero past the save
  std::vector<unsigned char> image;      // the real save with the current input's edits
  std::unique_ptr<WorldGrid> grid;       // what decode_save writes into
  std::unique_ptr<WorldGrid> untouched;  // what `grid` holds until a decode succeeds
  bool grid_dirty;                       // `grid` no longer equals `untouched`
  std::unique_ptr<WorldGrid> round_trip;
  std::string directory;  // scratch folder for the file reader, removed at exit
  std::string file_path;
  bool verbose;  // SAVE_FUZZ_VERBOSE set: print each script's verdict (to see what a seed reaches)
};

std::unique_ptr<Fixture> fixture;  // made once, lives for the whole run

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "save_fuzz: %s\n", what);
  std::abort();
}

// A record whose every byte is known, so that any change by a refused decode shows.
GameState sentinel_state() {
  GameState state;
  std::memset(&state, 0xa5, sizeof state);
  return state;
}

bool same_bytes(const void *a, const void *b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

std::uint32_t read_le(const std::uint8_t *data, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  return value;
}

struct Span {
  std::size_t offset, length;
};

// Applies the edit script to fixture->image; returns the edited spans (to undo
// them afterwards) and sets *size to the file length to decode.
std::vector<Span> apply_script(const std::uint8_t *data, std::size_t size, unsigned flags, std::size_t *file_size) {
  std::vector<Span> edits;
  std::size_t at = 1;
  *file_size = SAVE_FILE_BYTES;
  if ((flags & FLAG_RESIZE) != 0 && size >= 4) {
    *file_size = std::min<std::size_t>(read_le(data + 1, 3), IMAGE_CAPACITY);
    at = 4;
  }
  while (at < size) {
    const unsigned tag = data[at++] % 3;
    std::size_t offset = 0;
    if (tag == 0 && at + 2 <= size) {
      offset = read_le(data + at, 2) % SAVE_STATE_BYTES;
      at += 2;
    } else if (tag == 1 && at + 4 <= size) {
      const std::size_t cell = read_le(data + at, 3) % WORLD_CELL_COUNT;
      offset = SAVE_STATE_BYTES + cell * SAVE_CELL_BYTES + data[at + 3] % SAVE_CELL_BYTES;
      at += 4;
    } else if (tag == 2 && at + 3 <= size) {
      offset = read_le(data + at, 3) % IMAGE_CAPACITY;
      at += 3;
    } else {
      break;
    }
    if (at >= size) break;
    std::size_t length = data[at++];
    length = std::min({length, size - at, IMAGE_CAPACITY - offset});
    std::memcpy(fixture->image.data() + offset, data + at, length);
    edits.push_back({offset, length});
    at += length;
  }
  return edits;
}

// Decodes `bytes` and checks what the loader promises about its outputs. The
// deep checks (grid untouched by a refusal, tiles, round trip) cost a few
// whole-grid passes, so the script's flags ask for them.
SaveCheck decode_and_check(const unsigned char *bytes, std::size_t size, bool deep) {
  if (deep && fixture->grid_dirty) {
    std::memcpy(fixture->grid.get(), fixture->untouched.get(), sizeof(WorldGrid));
    fixture->grid_dirty = false;
  }
  GameState state = sentinel_state();
  const GameState before = state;
  const SaveCheck check = decode_save(bytes, size, &fixture->table, &state, fixture->grid.get());
  if (check.status != SAVE_OK) {
    if (check.status != SAVE_DAMAGED) fail("a file image in memory was called unreadable");
    if (check.reason[0] == '\0' || std::memchr(check.reason, '\0', sizeof check.reason) == nullptr) {
      fail("a refusal without a terminated reason");
    }
    if (!same_bytes(&state, &before, sizeof state)) fail("a refused file changed the record");
    if (deep && !same_bytes(fixture->grid.get(), fixture->untouched.get(), sizeof(WorldGrid))) {
      fail("a refused file changed the grid");
    }
    return check;
  }
  fixture->grid_dirty = true;
  if (size != SAVE_FILE_BYTES) fail("a file of the wrong size was accepted");
  if (!deep) return check;

  // Every cell's tile is its own kind's tile of the table.
  for (const Block &cell : fixture->grid->cells) {
    if (cell.id < 0 || cell.id >= BLOCK_KIND_COUNT) fail("an accepted file holds an unknown kind");
    if (cell.tile != fixture->table.kinds[cell.id].tile) fail("a cell has another kind's tile");
  }
  // What was accepted must survive another save and load unchanged.
  std::vector<unsigned char> again(SAVE_FILE_BYTES);
  encode_save(fixture->grid.get(), state, again.data());
  GameState reloaded = sentinel_state();
  const SaveCheck check_again =
      decode_save(again.data(), again.size(), &fixture->table, &reloaded, fixture->round_trip.get());
  if (check_again.status != SAVE_OK) fail("a re-encoded accepted file was refused");
  std::vector<unsigned char> third(SAVE_FILE_BYTES);
  encode_save(fixture->round_trip.get(), reloaded, third.data());
  if (!same_bytes(again.data(), third.data(), SAVE_FILE_BYTES)) fail("save and load do not round-trip");
  return check;
}

// The same image through the file reader must get the same verdict.
void check_file_reader(const unsigned char *bytes, std::size_t size, const SaveCheck &in_memory) {
  FILE *file = std::fopen(fixture->file_path.c_str(), "wb");
  if (file == nullptr) fail("cannot write the scratch file");
  if (size > 0 && std::fwrite(bytes, 1, size, file) != size) fail("cannot write the scratch file");
  if (std::fclose(file) != 0) fail("cannot write the scratch file");
  GameState state = sentinel_state();
  const SaveCheck from_file = read_save_file(fixture->file_path.c_str(), &fixture->table, &state, fixture->grid.get());
  if (from_file.status != in_memory.status) fail("the file reader and the decoder disagree");
  if (from_file.status == SAVE_OK) fixture->grid_dirty = true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!al_init()) fail("al_init failed");
  al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
  fixture = std::make_unique<Fixture>();
  fixture->verbose = std::getenv("SAVE_FUZZ_VERBOSE") != nullptr;
  load_block_kinds(&fixture->table);

  // A real save: a generated world, a player who has dug a little and holds a key.
  auto world = std::make_unique<WorldGrid>();
  generate_world(world.get(), &fixture->table, 69u);
  for (int row = 60; row < 90; ++row)
    set_cell_kind(&cell_at(world.get(), 100, row), fixture->table.kinds[BLOCK_UNDERGROUND]);
  GameState state = start_game_state();
  state.dirt_count = 12;
  state.selected_block = 2;
  state.keys[ALLEGRO_KEY_RIGHT] = 1;
  fixture->real_save.assign(IMAGE_CAPACITY, 0);
  encode_save(world.get(), state, fixture->real_save.data());
  fixture->image = fixture->real_save;

  fixture->grid = std::make_unique<WorldGrid>();
  std::memset(fixture->grid.get(), 0x5a, sizeof(WorldGrid));
  fixture->untouched = std::make_unique<WorldGrid>();
  std::memcpy(fixture->untouched.get(), fixture->grid.get(), sizeof(WorldGrid));
  fixture->round_trip = std::make_unique<WorldGrid>();

  char directory[] = "/tmp/save_fuzz-XXXXXX";
  if (mkdtemp(directory) == nullptr) fail("cannot make a scratch folder");
  fixture->directory = directory;
  fixture->file_path = fixture->directory + "/ClodmereSave.wld";
  std::atexit([] {
    unlink(fixture->file_path.c_str());
    rmdir(fixture->directory.c_str());
  });

  GameState loaded = sentinel_state();
  if (decode_save(fixture->real_save.data(), SAVE_FILE_BYTES, &fixture->table, &loaded, fixture->grid.get()).status !=
      SAVE_OK) {
    fail("the real save is refused");
  }
  fixture->grid_dirty = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // 1. The bytes as a whole file.
  decode_and_check(data, size, size == SAVE_FILE_BYTES);
  if (size > 0xffff) return 0;  // big inputs are files, not scripts

  // 2. The bytes as edits of the real save.
  const unsigned flags = size > 0 ? data[0] : 0;
  std::size_t file_size = SAVE_FILE_BYTES;
  const std::vector<Span> edits = apply_script(data, size, flags, &file_size);
  const SaveCheck check = decode_and_check(fixture->image.data(), file_size, (flags & FLAG_DEEP_CHECKS) != 0);
  if ((flags & FLAG_VIA_FILE) != 0) check_file_reader(fixture->image.data(), file_size, check);
  if (fixture->verbose) std::fprintf(stderr, "save_fuzz: %s\n", check.status == SAVE_OK ? "loads" : check.reason);
  for (const Span &edit : edits) {
    std::memcpy(fixture->image.data() + edit.offset, fixture->real_save.data() + edit.offset, edit.length);
  }
  return 0;
}
