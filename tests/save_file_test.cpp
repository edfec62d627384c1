#include "persistence/save_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"
#include "world_test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes read_bytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const fs::path &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void put_le32(Bytes *bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t float_bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::size_t cell_offset(int column, int row) { return SAVE_STATE_BYTES + cell_index(column, row) * SAVE_CELL_BYTES; }

// The save code takes UTF-8 paths on every system.
std::string utf8(const fs::path &path) { return path.u8string(); }

// On Windows the read-only attribute shows as 0444.
unsigned mode_of(const fs::path &path) { return static_cast<unsigned>(fs::status(path).permissions()) & 07777u; }

#ifndef _WIN32

// Root passes every permission check, so when the tests run as root the
// player is nobody, and the files the player owns are nobody's.
constexpr uid_t PLAYER = 65534;

void give_to_player(const fs::path &path) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), PLAYER, PLAYER), 0) << path;
  }
}

bool become_player() {
  return geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(PLAYER) == 0 && setuid(PLAYER) == 0);
}

enum AtFileLimit { LIMIT_FAILS_WRITE, LIMIT_KILLS };

// save_world in `dir`, run by the player in a child process; returns its
// console, or "killed\n". With a file size limit a write past it fails, or
// kills the save half-way as kill -9 would.
std::string save_as_player(const fs::path &dir, const WorldGrid *grid, const GameState &state,
                           rlim_t file_limit = RLIM_INFINITY, AtFileLimit at_limit = LIMIT_FAILS_WRITE) {
  int console[2];
  if (pipe(console) != 0) return "no pipe";
  static_cast<void>(std::fflush(stdout));  // nothing buffered may be printed twice
  const pid_t child = fork();
  if (child == 0) {
    dup2(console[1], STDOUT_FILENO);
    close(console[0]);
    close(console[1]);
    bool ready = chdir(dir.c_str()) == 0 && become_player();
    if (ready && file_limit != RLIM_INFINITY) {
      if (at_limit == LIMIT_FAILS_WRITE) std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{file_limit, file_limit};
      ready = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    if (ready) save_world(grid, state);
    static_cast<void>(std::fflush(stdout));
    _exit(ready ? 0 : 1);
  }
  close(console[1]);
  std::string text;
  char buffer[256];
  ssize_t got = 0;
  while ((got = read(console[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  close(console[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return "no child";
  if (WIFSIGNALED(status)) return text + "killed\n";
  return WEXITSTATUS(status) == 0 ? text : text + "could not become the player\n";
}
#else
// Windows has no other user to become: the player is this process.
void give_to_player(const fs::path &) {}

std::string save_as_player(const fs::path &dir, const WorldGrid *grid, const GameState &state) {
  fs::current_path(dir);
  testing::internal::CaptureStdout();
  save_world(grid, state);
  return testing::internal::GetCapturedStdout();
}
#endif

void expect_same_cells(const WorldGrid &a, const WorldGrid &b) {
  int differences = 0;
  for (int i = 0; i < WORLD_CELL_COUNT && differences < 5; ++i) {
    const Block &x = a.cells[i];
    const Block &y = b.cells[i];
    const bool same = std::memcmp(x.name, y.name, 8) == 0 && x.id == y.id && x.tile == y.tile &&
                      x.passable == y.passable && x.x == y.x && x.y == y.y;
    if (!same) {
      ADD_FAILURE() << "cell " << i << " differs";
      ++differences;
    }
  }
}

void expect_same_state(const GameState &a, const GameState &b) {
  EXPECT_EQ(a.player_x, b.player_x);
  EXPECT_EQ(a.player_y, b.player_y);
  EXPECT_EQ(a.dirt_count, b.dirt_count);
  EXPECT_EQ(a.grass_count, b.grass_count);
  EXPECT_EQ(a.stone_count, b.stone_count);
  EXPECT_EQ(a.gold_count, b.gold_count);
  EXPECT_EQ(a.player_bitmap, b.player_bitmap);
  EXPECT_EQ(a.on_ground, b.on_ground);
  EXPECT_EQ(a.selected_block, b.selected_block);
  EXPECT_EQ(std::memcmp(a.keys, b.keys, sizeof a.keys), 0);
  EXPECT_EQ(a.screen_width, b.screen_width);
  EXPECT_EQ(a.screen_height, b.screen_height);
  EXPECT_EQ(a.load_saved_world, b.load_saved_world);
  EXPECT_EQ(a.load_failed, b.load_failed);
}

class SaveFile : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    // Every kind in a varied pattern, each cell at its own position.
    for (int column = 0; column < WORLD_COLUMNS; ++column) {
      for (int row = 0; row < WORLD_ROWS; ++row) {
        put(column, row, static_cast<BlockKind>((column * 5 + row * 3) % BLOCK_KIND_COUNT));
      }
    }
    state = start_game_state();
    state.player_x = 1002.5f;
    state.player_y = 317.5f;
    state.dirt_count = 12;
    state.grass_count = 3;
    state.stone_count = 40000;
    state.gold_count = 1;
    state.selected_block = 3;
    state.on_ground = 1;
    state.keys[83] = 1;
    state.load_saved_world = 1;
    state.player_bitmap = table->kinds[BLOCK_DIRT].tile;  // any live handle
    state.screen_width = 1680;
    state.screen_height = 1050;

    dir = make_scratch_dir("clodmere-save");
    ASSERT_FALSE(dir.empty());
    old_cwd = fs::current_path();
  }

  void TearDown() override {
    fs::current_path(old_cwd);
    remove_scratch_dir(dir);
  }

  // The game's own save, written and read in `dir` as the working directory.
  std::string save_in_dir() {
    fs::current_path(dir);
    testing::internal::CaptureStdout();
    save_world(grid.get(), state);
    return testing::internal::GetCapturedStdout();
  }

  GameState load_in_dir(WorldGrid *into, GameState running, std::string *console) {
    fs::current_path(dir);
    testing::internal::CaptureStdout();
    const GameState loaded = load_world(into, running, table.get());
    *console = testing::internal::GetCapturedStdout();
    return loaded;
  }

  std::vector<std::string> entries() const { return entries(dir); }
  static std::vector<std::string> entries(const fs::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  Bytes encoded() const {
    Bytes bytes(SAVE_FILE_BYTES);
    encode_save(grid.get(), state, bytes.data());
    return bytes;
  }

  GameState state{};
  fs::path dir;
  fs::path old_cwd;
};

TEST_F(SaveFile, SavingThenLoadingRestoresTheWorldAndKeepsTheRunningDisplay) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});  // no temporary file left behind

  auto loaded_grid = std::make_unique<WorldGrid>();
  GameState running = start_game_state();
  running.player_bitmap = table->kinds[BLOCK_GOLD].tile;
  running.screen_width = 1200;
  running.screen_height = 700;
  running.load_failed = 1;
  std::string console;
  const GameState loaded = load_in_dir(loaded_grid.get(), running, &console);
  EXPECT_EQ(console, "Loaded the world!\n");

  GameState expected = state;
  expected.player_bitmap = running.player_bitmap;
  expected.screen_width = 1200;
  expected.screen_height = 700;
  expected.load_failed = 0;
  expect_same_state(loaded, expected);
  expect_same_cells(*loaded_grid, *grid);  // tiles come from the table, Underground's shared one included
}

TEST_F(SaveFile, TheFileIsTheFixedLittleEndianLayout) {
  // A distinct value in every field, so that two fields trading places show.
  state.gold_count = 0;
  state.selected_block = -9;  // any number loads; outside 1 to 4 it selects nothing
  state.on_ground = 0x80;     // any set flag is stored as 1
  for (int key : {0, 82, 85, 226}) state.keys[key] = 0xFF;
  state.load_failed = 77;
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");

  // The same file written by hand from the layout, not by the encoder.
  Bytes expected(9677080, 0);  // the two handle slots and all padding are 0
  put_le32(&expected, 0, float_bits(1002.5f));
  put_le32(&expected, 4, float_bits(317.5f));
  put_le32(&expected, 8, 12);      // Dirt
  put_le32(&expected, 12, 3);      // Grass
  put_le32(&expected, 16, 40000);  // Stone; Gold at 20 is 0
  expected[28] = 1;                // on the ground
  put_le32(&expected, 32, static_cast<std::uint32_t>(-9));
  for (std::size_t key : {0u, 82u, 83u, 85u, 226u}) expected[36 + key] = 1;  // left arrow at 118, down at 121
  put_le32(&expected, 264, 1680);
  put_le32(&expected, 268, 1050);
  expected[272] = 1;  // load_saved_world
  put_le32(&expected, 276, 77);
  for (std::size_t column = 0; column < 720; ++column) {
    for (std::size_t row = 0; row < 480; ++row) {
      const std::size_t at = 280 + (column * 480 + row) * 28;
      const std::size_t kind = (column * 5 + row * 3) % 7;  // as SetUp fills the grid
      std::memcpy(&expected[at], table->kinds[kind].name, 8);
      put_le32(&expected, at + 8, static_cast<std::uint32_t>(kind));
      expected[at + 16] = kind == 1 || kind == 6 ? 1 : 0;  // Air and Underground are passable
      put_le32(&expected, at + 20, float_bits(static_cast<float>(column) * 10.0f));
      put_le32(&expected, at + 24, float_bits(static_cast<float>(row) * 10.0f));
    }
  }
  const Bytes file = read_bytes(dir / "ClodmereSave.wld");
  EXPECT_EQ(std::mismatch(file.begin(), file.end(), expected.begin(), expected.end()).first - file.begin(), 9677080)
      << "the offset of the first wrong byte";

  // Those bytes decode to every field of the record and the grid.
  GameState decoded{};
  auto decoded_grid = std::make_unique<WorldGrid>();
  const SaveCheck check = decode_save(expected.data(), expected.size(), table.get(), &decoded, decoded_grid.get());
  ASSERT_EQ(check.status, SAVE_OK) << check.reason;
  GameState stored = state;
  stored.player_bitmap = nullptr;
  stored.on_ground = 1;
  for (int key : {0, 82, 85, 226}) stored.keys[key] = 1;
  expect_same_state(decoded, stored);
  expect_same_cells(*decoded_grid, *grid);
}

TEST_F(SaveFile, AnyNonZeroFlagByteLoadsAsSetAndMeaninglessSlotsAreIgnored) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  Bytes file = read_bytes(dir / SAVE_FILE_NAME);
  file[28] = 0x80;                                  // on_ground
  file[121] = 0x02;                                 // down arrow
  file[272] = 0xFF;                                 // load_saved_world
  put_le32(&file, 24, 0xDEADBEEF);                  // player bitmap slot
  const std::size_t open_cell = cell_offset(0, 2);  // Underground in the test world
  file[open_cell + 16] = 0x7F;
  put_le32(&file, open_cell + 12, 0x12345678);  // tile slot
  file[open_cell + 17] = 0xAB;                  // cell padding
  write_bytes(dir / SAVE_FILE_NAME, file);

  auto loaded_grid = std::make_unique<WorldGrid>();
  std::string console;
  const GameState loaded = load_in_dir(loaded_grid.get(), state, &console);
  EXPECT_EQ(console, "Loaded the world!\n");
  EXPECT_EQ(loaded.on_ground, 1);
  EXPECT_EQ(loaded.keys[85], 1);
  EXPECT_EQ(loaded.load_saved_world, 1);
  EXPECT_EQ(loaded.player_bitmap, state.player_bitmap);
  ASSERT_EQ(cell_at(grid.get(), 0, 2).id, BLOCK_UNDERGROUND);
  const Block &cell = cell_at(loaded_grid.get(), 0, 2);
  EXPECT_EQ(cell.id, BLOCK_UNDERGROUND);
  EXPECT_EQ(cell.passable, 1);
  EXPECT_EQ(cell.tile, table->kinds[BLOCK_NULL].tile);
}

TEST_F(SaveFile, LoadClickWithNoFileThenSaveThenStartUpLoad) {
  std::string console;
  auto before = std::make_unique<WorldGrid>(*grid);
  GameState after_failed = load_in_dir(grid.get(), state, &console);
  EXPECT_EQ(console, "No save found\n");
  GameState expected = state;
  expected.load_failed = 1;
  expect_same_state(after_failed, expected);
  expect_same_cells(*grid, *before);

  state = after_failed;
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME)[276], 1);

  // A second save replaces the first whole.
  set_cell_kind(&cell_at(grid.get(), 5, 5), table->kinds[BLOCK_GOLD]);
  state.gold_count = 77;
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");

  auto start_up_grid = std::make_unique<WorldGrid>();
  GameState start_up = start_game_state();
  start_up.load_saved_world = 1;
  const GameState loaded = load_in_dir(start_up_grid.get(), start_up, &console);
  EXPECT_EQ(console, "Loaded the world!\n");
  EXPECT_EQ(loaded.load_failed, 0);
  EXPECT_EQ(loaded.gold_count, 77);
  EXPECT_EQ(cell_at(start_up_grid.get(), 5, 5).id, BLOCK_GOLD);
}

TEST_F(SaveFile, DamagedFilesAreRefusedAndChangeNothing) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  const Bytes good = read_bytes(dir / SAVE_FILE_NAME);
  struct Damage {
    const char *reason;  // on the console after "Save file is damaged, not loaded: "
    void (*apply)(Bytes *file);
  };
  const Damage damages[] = {
      {"the file is 9677079 bytes long, not 9677080", [](Bytes *f) { f->resize(f->size() - 1); }},
      {"the file is 0 bytes long, not 9677080", [](Bytes *f) { f->clear(); }},
      {"the file is 9677081 bytes long, not 9677080", [](Bytes *f) { f->push_back(0); }},
      {"the cell at column 719, row 479 has kind 7", [](Bytes *f) { put_le32(f, cell_offset(719, 479) + 8, 7); }},
      {"the cell at column 300, row 0 has kind -1", [](Bytes *f) { put_le32(f, cell_offset(300, 0) + 8, ~0u); }},
      // In the test world column 0 holds, from row 0 down: NULL, Grass, Underground, Dirt, Gold, Air, Stone.
      {"the NULL cell at column 0, row 0 is marked passable", [](Bytes *f) { (*f)[cell_offset(0, 0) + 16] = 1; }},
      {"the Grass cell at column 0, row 1 is marked passable", [](Bytes *f) { (*f)[cell_offset(0, 1) + 16] = 2; }},
      {"the Underground cell at column 0, row 2 is marked solid", [](Bytes *f) { (*f)[cell_offset(0, 2) + 16] = 0; }},
      {"the Dirt cell at column 0, row 3 is marked passable", [](Bytes *f) { (*f)[cell_offset(0, 3) + 16] = 1; }},
      {"the Gold cell at column 0, row 4 is marked passable", [](Bytes *f) { (*f)[cell_offset(0, 4) + 16] = 1; }},
      {"the Air cell at column 0, row 5 is marked solid", [](Bytes *f) { (*f)[cell_offset(0, 5) + 16] = 0; }},
      {"the Stone cell at column 0, row 6 is marked passable", [](Bytes *f) { (*f)[cell_offset(0, 6) + 16] = 1; }},
      {"the player's position is not a number",
       [](Bytes *f) { put_le32(f, 0, float_bits(std::numeric_limits<float>::quiet_NaN())); }},
      {"the player's position is not a number",
       [](Bytes *f) { put_le32(f, 4, float_bits(std::numeric_limits<float>::infinity())); }},
      // Just past each bound of the player's position (which %g rounds to the bound itself).
      {"the player's position (-1.4013e-45, 317.5) is outside the world",
       [](Bytes *f) { put_le32(f, 0, float_bits(std::nextafter(0.0f, -1.0f))); }},
      {"the player's position (7190, 317.5) is outside the world",
       [](Bytes *f) { put_le32(f, 0, float_bits(std::nextafter(7190.0f, 1e9f))); }},
      {"the player's position (1002.5, 4780) is outside the world",
       [](Bytes *f) { put_le32(f, 4, float_bits(std::nextafter(4780.0f, 1e9f))); }},
      {"the player's position (1002.5, -4800) is outside the world",
       [](Bytes *f) { put_le32(f, 4, float_bits(std::nextafter(-4800.0f, -1e9f))); }},
      {"the Dirt count is -1", [](Bytes *f) { put_le32(f, 8, ~0u); }},
      {"the Grass count is -2", [](Bytes *f) { put_le32(f, 12, ~1u); }},
      {"the Stone count is -2147483648", [](Bytes *f) { put_le32(f, 16, 0x80000000u); }},
      {"the Gold count is -3", [](Bytes *f) { put_le32(f, 20, ~2u); }},
      // Walls are measured by the cells' own positions: a moved wall would let the player through.
      {"the cell at column 40, row 130 says it lies at (10000, 1300)",
       [](Bytes *f) { put_le32(f, cell_offset(40, 130) + 20, float_bits(10000.0f)); }},
      {"the cell at column 0, row 479 says it lies at (0, nan)",
       [](Bytes *f) { put_le32(f, cell_offset(0, 479) + 24, float_bits(std::nanf(""))); }},
  };
  ASSERT_EQ(cell_at(grid.get(), 0, 0).id, BLOCK_NULL);
  ASSERT_EQ(cell_at(grid.get(), 0, 5).id, BLOCK_AIR);

  auto running_grid = std::make_unique<WorldGrid>(*grid);
  for (auto &cell : running_grid->cells) cell = table->kinds[BLOCK_STONE];  // unlike the file's world
  const auto untouched = std::make_unique<WorldGrid>(*running_grid);
  for (const Damage &damage : damages) {
    SCOPED_TRACE(damage.reason);
    Bytes file = good;
    damage.apply(&file);
    write_bytes(dir / SAVE_FILE_NAME, file);
    std::string console;
    const GameState result = load_in_dir(running_grid.get(), state, &console);
    EXPECT_EQ(console, std::string("Save file is damaged, not loaded: ") + damage.reason + "\n");
    GameState expected = state;
    expected.load_failed = 1;
    expect_same_state(result, expected);
    expect_same_cells(*running_grid, *untouched);
    EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME), file) << "the refused file stays as it was";
  }
}

TEST_F(SaveFile, PositionsTheGameReachesAreAccepted) {
  // The walking limits, standing on the floor, and jumping off blocks built up to the top row.
  // The bounds themselves are accepted too.
  const float positions[][2] = {{0.0f, 4720.0f}, {7187.5f, 4720.0f}, {30.0f, -77.5f},
                                {3600.0f, 0.0f}, {7190.0f, 4780.0f}, {0.0f, -4800.0f}};
  // In a player's folder whose name is not ASCII, as C:\Users\Zo\u00eb is.
  const fs::path zoe = dir / fs::u8path(u8"Zo\u00eb");
  fs::create_directory(zoe);
  const std::string edge = utf8(zoe / "edge.wld");
  for (const auto &position : positions) {
    state.player_x = position[0];
    state.player_y = position[1];
    ASSERT_EQ(write_save_file(edge.c_str(), grid.get(), state).status, SAVE_OK);
    GameState loaded{};
    auto loaded_grid = std::make_unique<WorldGrid>();
    const SaveCheck check = read_save_file(edge.c_str(), table.get(), &loaded, loaded_grid.get());
    EXPECT_EQ(check.status, SAVE_OK) << position[0] << ", " << position[1] << ": " << check.reason;
    EXPECT_EQ(loaded.player_x, position[0]);
    EXPECT_EQ(loaded.player_y, position[1]);
  }
}

TEST_F(SaveFile, AFailedSaveSaysSoAndKeepsThePreviousSave) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  const Bytes previous = read_bytes(dir / SAVE_FILE_NAME);
  state.dirt_count = 999;

#ifdef _WIN32
  // Another program holds the save open without sharing its deletion (an editor, say): the rename fails.
  const HANDLE holder = CreateFileW((dir / SAVE_FILE_NAME).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string console = save_in_dir();
  CloseHandle(holder);
  EXPECT_EQ(console, "Could not save the world: Permission denied\n");
#else
  // A file system that takes only a megabyte more.
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 1 << 20;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string console = save_in_dir();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(console, "Could not save the world: File too large\n");
#endif
  EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME), previous);
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME}) << "the temporary file is removed";

  // A directory where no file can be created.
  const fs::path nowhere = dir / "missing" / SAVE_FILE_NAME;
  const SaveCheck check = write_save_file(utf8(nowhere).c_str(), grid.get(), state);
  EXPECT_EQ(check.status, SAVE_UNREADABLE);
  EXPECT_STREQ(check.reason, "No such file or directory");
  EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME), previous);
}

TEST_F(SaveFile, ASaveThatCannotReplaceTheFileLeavesNoTemporaryBehind) {
  // A directory stands where the save should go: the rename fails.
  fs::create_directories(dir / SAVE_FILE_NAME / "keep");
  EXPECT_EQ(save_in_dir(), "Could not save the world: Is a directory\n");
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});
  EXPECT_TRUE(fs::exists(dir / SAVE_FILE_NAME / "keep"));

  // Nor is a directory taken for a save.
  std::string console;
  const GameState result = load_in_dir(grid.get(), state, &console);
  EXPECT_EQ(console, "No save found\n");
  EXPECT_EQ(result.load_failed, 1);
}

#ifndef _WIN32
TEST_F(SaveFile, ALinkedSaveStaysALinkAndTheFileItNamesIsReplaced) {
  // ClodmereSave.wld -> DIR/links/hop (absolute) -> ../sync/world.wld (relative to links/), not there yet.
  fs::create_directories(dir / "links");
  fs::create_directories(dir / "sync");
  fs::create_symlink(dir / "links" / "hop", dir / SAVE_FILE_NAME);
  fs::create_symlink("../sync/world.wld", dir / "links" / "hop");
  const fs::path target = dir / "sync" / "world.wld";

  const mode_t old_mask = umask(027);
  const std::string first = save_in_dir();
  umask(old_mask);
  ASSERT_EQ(first, "Saved the world!\n");
  EXPECT_EQ(read_bytes(target), encoded());
  EXPECT_EQ(mode_of(target), 0640u) << "a new save gets the usual permissions";

  fs::permissions(target, fs::perms(0604));
  state.gold_count = 5;
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(read_bytes(target), encoded());
  EXPECT_EQ(mode_of(target), 0604u);
  EXPECT_EQ(fs::read_symlink(dir / SAVE_FILE_NAME), dir / "links" / "hop");
  EXPECT_EQ(fs::read_symlink(dir / "links" / "hop"), "../sync/world.wld");
  EXPECT_EQ(entries(), (std::vector<std::string>{SAVE_FILE_NAME, "links", "sync"}));
  EXPECT_EQ(entries(dir / "sync"), std::vector<std::string>{"world.wld"});

  // Links are followed 40 deep, as the system follows them; one more, or a loop, is refused.
  for (int hop = 40; hop >= 0; --hop) {
    fs::create_symlink(hop == 40 ? target : dir / ("hop" + std::to_string(hop + 1)),
                       dir / ("hop" + std::to_string(hop)));
  }
  EXPECT_EQ(write_save_file((dir / "hop1").c_str(), grid.get(), state).status, SAVE_OK);
  EXPECT_STREQ(write_save_file((dir / "hop0").c_str(), grid.get(), state).reason, "Too many levels of symbolic links");
}
#endif

TEST_F(SaveFile, AReadOnlySaveIsRefusedAndTheSavesOwnerAndModeAreKept) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  const fs::path save = dir / SAVE_FILE_NAME;
  const Bytes previous = read_bytes(save);
  give_to_player(dir);
  give_to_player(save);
  fs::permissions(save, fs::perms(0444));
  state.dirt_count = 999;
  EXPECT_EQ(save_as_player(dir, grid.get(), state), "Could not save the world: Permission denied\n");
  EXPECT_EQ(read_bytes(save), previous);
  EXPECT_EQ(mode_of(save), 0444u);
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});
  fs::permissions(save, fs::perms(0664));

#ifdef _WIN32
  // A hidden save stays hidden.
  ASSERT_NE(SetFileAttributesW(save.c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(read_bytes(save), encoded());
  EXPECT_NE(GetFileAttributesW(save.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#else
  // Someone allowed to write it (root, here, when the tests run as root) keeps the player's file the player's.
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(read_bytes(save), encoded());
  EXPECT_EQ(mode_of(save), 0664u);
  struct stat info {};
  ASSERT_EQ(stat(save.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, geteuid() == 0 ? PLAYER : geteuid());
  EXPECT_EQ(info.st_gid, geteuid() == 0 ? PLAYER : getegid());
#endif
}

#ifndef _WIN32
TEST_F(SaveFile, AFolderThatRefusesNewFilesGetsTheSaveRewrittenInPlace) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  const fs::path save = dir / SAVE_FILE_NAME;
  give_to_player(dir);
  give_to_player(save);
  fs::permissions(dir, fs::perms(0555));
  state.gold_count = 4242;
  EXPECT_EQ(save_as_player(dir, grid.get(), state), "Saved the world!\n");
  EXPECT_EQ(read_bytes(save), encoded());
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});

  // Failing half-way in place cannot keep the old save: it says so, and what is left is refused whole.
  state.gold_count = 1;
  EXPECT_EQ(save_as_player(dir, grid.get(), state, 1 << 20), "Could not save the world: File too large\n");
  std::string console;
  const GameState result = load_in_dir(grid.get(), state, &console);
  EXPECT_EQ(console, "Save file is damaged, not loaded: the file is 1048576 bytes long, not 9677080\n");
  EXPECT_EQ(result.load_failed, 1);
  fs::permissions(dir, fs::perms(0755));
}

TEST_F(SaveFile, ASaveKilledHalfWayLeavesItsOwnTemporaryFileThatTheNextSaveRemovesUnlessLocked) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  const Bytes previous = read_bytes(dir / SAVE_FILE_NAME);
  give_to_player(dir);
  give_to_player(dir / SAVE_FILE_NAME);
  state.stone_count = 1;
  for (int kill = 0; kill < 2; ++kill) {
    EXPECT_EQ(save_as_player(dir, grid.get(), state, 1 << 20, LIMIT_KILLS), "killed\n");
    ASSERT_EQ(entries().size(), 2u) << "the next save removes a dead game's file and leaves its own";
    const std::string left = entries()[1];
    EXPECT_EQ(left.substr(0, 17) + "|" + left.substr(25), "ClodmereSave.wld.|.tmp");
    EXPECT_EQ(left.find_first_not_of("0123456789abcdef", 17), 25u) << left;
  }
  EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME), previous);

  // A live game's file (locked through another open file) and the one name older games used are left alone.
  const std::string live = "ClodmereSave.wld.0123abcd.tmp", older = "ClodmereSave.wld.tmp";
  write_bytes(dir / live, {1});
  write_bytes(dir / older, {2});
  const int held = open((dir / live).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{SAVE_FILE_NAME, live, older}));
  close(held);
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  EXPECT_EQ(entries(), (std::vector<std::string>{SAVE_FILE_NAME, older}));
}
#endif

// Game 1 or 2 of two saving `worlds[game]` into `dir` at once, the player at x = 1000 x game + save, each save
// checked against the file read right after it. Returns what went wrong.
std::string save_beside_another_game(const fs::path &dir, const WorldGrid *const *worlds, GameState state, int game) {
  const std::string path = (dir / SAVE_FILE_NAME).string();
  auto found_grid = std::make_unique<WorldGrid>();
  std::string faults;
  for (int save = 0; save < 12; ++save) {
    state.player_x = static_cast<float>(1000 * game + save);
    const SaveCheck saved = write_save_file(path.c_str(), worlds[game], state);
    GameState found{};
    const SaveCheck read = read_save_file(path.c_str(), nullptr, &found, found_grid.get());
    const int found_game = static_cast<int>(found.player_x) / 1000;
    // The file holds this save or one of the other game's, whole.
    bool truthful = found.player_x == state.player_x || found_game == 3 - game;
    for (int i = 0; truthful && i < WORLD_CELL_COUNT; ++i)
      truthful = found_grid->cells[i].id == worlds[found_game]->cells[i].id;
    if (saved.status != SAVE_OK || read.status != SAVE_OK || !truthful)
      faults += std::string(saved.reason) + " / " + read.reason + " / x " + std::to_string(found.player_x) + "\n";
  }
  return faults;
}

TEST_F(SaveFile, TwoGamesSavingIntoOneFolderAtOnceEachCompleteWholeAndReportTruly) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  give_to_player(dir);
  give_to_player(dir / SAVE_FILE_NAME);
  const auto patterned = std::make_unique<WorldGrid>(*grid);
  fill(BLOCK_STONE);
  const WorldGrid *const worlds[3] = {nullptr, patterned.get(), grid.get()};
#ifdef _WIN32
  // The games as two threads: each opens the file on its own, and share modes and locks hold between two opens
  // as between two processes.
  std::string faults[2];
  std::thread games[2];
  for (int game = 1; game <= 2; ++game) {
    games[game - 1] = std::thread([&, game] { faults[game - 1] = save_beside_another_game(dir, worlds, state, game); });
  }
  for (std::thread &game : games) game.join();
  EXPECT_EQ(faults[0] + faults[1], "");
  EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});
#else
  // A folder that takes new files, then one that refuses them (each game rewrites the save in place).
  for (const unsigned folder_mode : {0755u, 0555u}) {
    SCOPED_TRACE(folder_mode);
    fs::permissions(dir, fs::perms(folder_mode));
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t games[2];
    for (int game = 1; game <= 2; ++game) {
      games[game - 1] = fork();
      if (games[game - 1] == 0) {
        close(go[1]);
        char start = 0;
        const bool ready = become_player() && read(go[0], &start, 1) == 0;  // both start when the pipe closes
        const std::string faults = ready ? save_beside_another_game(dir, worlds, state, game) : "not ready";
        static_cast<void>(std::fprintf(stderr, "%s", faults.c_str()));
        _exit(faults.empty() ? 0 : 1);
      }
    }
    close(go[0]);
    close(go[1]);
    for (const pid_t game : games) {
      int status = -1;
      ASSERT_EQ(waitpid(game, &status, 0), game);
      EXPECT_EQ(status, 0) << "a game's faults are on its standard error";
    }
    EXPECT_EQ(entries(), std::vector<std::string>{SAVE_FILE_NAME});
  }
  fs::permissions(dir, fs::perms(0755));
#endif
}

#ifdef _WIN32
TEST_F(SaveFile, BesideOtherGamesASaveRemovesOnlyAKilledOnesFileAndWaitsOutALoad) {
  ASSERT_EQ(save_in_dir(), "Saved the world!\n");
  // Killed while saving: the system closed its files and dropped its lock.
  const std::string killed = std::string(SAVE_FILE_NAME) + ".0badf00d.tmp";
  write_bytes(dir / killed, Bytes(1 << 20, 7));
  // Still writing in another game: it holds the lock, one byte past the end of any save.
  const std::string live = std::string(SAVE_FILE_NAME) + ".1234abcd.tmp";
  const HANDLE writing =
      CreateFileW((dir / live).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writing, INVALID_HANDLE_VALUE);
  OVERLAPPED lock_at{};
  lock_at.Offset = SAVE_FILE_BYTES + 1;
  ASSERT_NE(LockFileEx(writing, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lock_at), 0);

  // Loading the save meanwhile, a third game holds it open for a moment: Windows cannot replace it then.
  const HANDLE loading =
      CreateFileW((dir / SAVE_FILE_NAME).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(loading, INVALID_HANDLE_VALUE);
  std::thread load_ends([loading] {
    Sleep(300);
    CloseHandle(loading);
  });

  state.stone_count = 3;
  const std::string console = save_in_dir();
  load_ends.join();
  EXPECT_EQ(console, "Saved the world!\n");
  EXPECT_EQ(read_bytes(dir / SAVE_FILE_NAME), encoded());
  // Marked for deletion, it would go with the other game's last handle.
  UnlockFileEx(writing, 0, 1, 0, &lock_at);
  CloseHandle(writing);
  EXPECT_EQ(entries(), (std::vector<std::string>{SAVE_FILE_NAME, live}));
}
#endif

}  // namespace
