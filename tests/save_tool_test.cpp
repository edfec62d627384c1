// clodmere-save, run as a player would: on a real save, on damaged ones and with bad arguments.
#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <sys/utime.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"
#include "world/terrain.h"
#include "world/world.h"
#include "world_test_support.h"

namespace {

struct ToolRun {
  int exit_code;
  std::string output;  // standard output and standard error together
};

#ifdef _WIN32
// Runs the built tool with `arguments` (already quoted for cmd.exe, which
// strips one more pair around the whole line), in UTF-8 through the wide API.
ToolRun run_tool(const std::string &arguments) {
  std::string tool = CLODMERE_SAVE_TOOL;
  if (tool[0] == '/') tool = "Z:" + tool;  // a cross build names it by its Linux path, which wine shows as Z:
  const std::string command = "\"\"" + tool + "\" " + arguments + " 2>&1\"";
  std::wstring wide(command.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1));
  FILE *pipe = _wpopen(wide.c_str(), L"r");
#else
// Runs the built tool with `arguments` (already quoted for the shell); a run
// that hangs is stopped after two minutes and fails with exit code 124.
ToolRun run_tool(const std::string &arguments) {
  const std::string command = std::string("timeout 120 '") + CLODMERE_SAVE_TOOL + "' " + arguments + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return {-1, "popen failed"};
  ToolRun run{-1, {}};
  char buffer[512];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
#ifdef _WIN32
  run.exit_code = _pclose(pipe);
#else
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return run;
}

#ifdef _WIN32
std::string shell_quoted(const std::string &path) { return "\"" + path + "\""; }
#else
std::string shell_quoted(const std::string &path) { return "'" + path + "'"; }
#endif

bool file_exists(const std::string &path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

void write_bytes(const std::string &path, const std::vector<unsigned char> &bytes) {
  FILE *file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fclose(file), 0);
}

void put_le32(std::vector<unsigned char> *bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

constexpr std::size_t cell_offset(int column, int row) {
  return SAVE_STATE_BYTES + static_cast<std::size_t>(cell_index(column, row)) * SAVE_CELL_BYTES;
}

class SaveTool : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    ASSERT_TRUE(al_init_image_addon());
    generate_world(grid.get(), table.get(), 20261208u);
    // A few dug cells, so that every kind is in the world.
    for (int row = 200; row < 203; ++row)
      set_cell_kind(&cell_at(grid.get(), 400, row), table->kinds[BLOCK_UNDERGROUND]);

    state = start_game_state();
    state.player_x = 1234.5f;
    state.player_y = 795.0f;
    state.dirt_count = 3;
    state.grass_count = 1;
    state.stone_count = 4;
    state.gold_count = 1;
    state.on_ground = 1;
    state.selected_block = 3;
    for (int key : {ALLEGRO_KEY_LEFT, ALLEGRO_KEY_RIGHT, ALLEGRO_KEY_UP, ALLEGRO_KEY_DOWN}) state.keys[key] = 1;

    directory = make_scratch_dir("clodmere-save-test").string();
    ASSERT_FALSE(directory.empty());
    // A name that is not ASCII, as in C:\\Users\\Zo\u00eb, written by the game's own save.
    save_path = directory + u8"/Zo\u00eb.wld";
    image.resize(SAVE_FILE_BYTES);
    encode_save(grid.get(), state, image.data());
    ASSERT_EQ(write_save_file(save_path.c_str(), grid.get(), state).status, SAVE_OK);
  }

  void TearDown() override { EXPECT_TRUE(remove_scratch_dir(directory)); }

  // Writes the real save with one change and returns its path.
  std::string damaged_save(const char *name, std::size_t offset, std::uint32_t value) {
    std::vector<unsigned char> bytes = image;
    put_le32(&bytes, offset, value);
    std::string path = directory + "/" + name;
    write_bytes(path, bytes);
    return path;
  }

  // Writes the fixture's grid and record as the save `name`, last changed at clock second `changed_at`.
  std::string write_world(const char *name, time_t changed_at) {
    std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
    encode_save(grid.get(), state, bytes.data());
    std::string path = directory + "/" + name;
    write_bytes(path, bytes);
#ifdef _WIN32
    __utimbuf64 times{changed_at, changed_at};
    EXPECT_EQ(_utime64(path.c_str(), &times), 0);
#else
    const timespec times[2] = {{changed_at, 0}, {changed_at, 0}};
    EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
    return path;
  }

  GameState state{};
  std::string directory;
  std::string save_path;
  std::vector<unsigned char> image;
};

// Every run must end by itself: a sanitizer report would also exit non-zero and could pass for "damaged".
void expect_clean(const ToolRun &run) { EXPECT_EQ(run.output.find("Sanitizer"), std::string::npos) << run.output; }

TEST_F(SaveTool, InfoDescribesARealSave) {
  const ToolRun run = run_tool("info " + shell_quoted(save_path));
  expect_clean(run);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find(save_path + ": valid save\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("player: x 1234.50, y 795.00 (column 123, row 79), on the ground\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("counts: Dirt 3, Grass 1, Stone 4, Gold 1\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("selected: 3 (Stone)\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("keys held: 82 (left), 83 (right), 84 (up), 85 (down)\n"), std::string::npos) << run.output;

  int cells[BLOCK_KIND_COUNT] = {};
  for (const Block &cell : grid->cells) ++cells[cell.id];
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "cells: NULL %d, Air %d, Dirt %d, Grass %d, Stone %d, Gold %d, Undergro %d\n", cells[0], cells[1],
                cells[2], cells[3], cells[4], cells[5], cells[6]);
  EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;

  // A save may hold any selected number; outside 1 to 4 it names no kind.
  const ToolRun odd = run_tool("info " + shell_quoted(damaged_save("selected.wld", 32, 0x7fffffff)));
  expect_clean(odd);
  EXPECT_EQ(odd.exit_code, 0) << odd.output;
  EXPECT_NE(odd.output.find("selected: 2147483647\n"), std::string::npos) << odd.output;
}

TEST_F(SaveTool, InfoGivesTheReasonAndExitCodeForDamagedAndUnreadableFiles) {
  std::vector<unsigned char> truncated(image.begin(), image.end() - 1);
  const std::string truncated_path = directory + "/truncated.wld";
  write_bytes(truncated_path, truncated);
  std::uint32_t nan_bits = 0x7fc00000u;
#ifdef _WIN32
  // A pipe with no writer: opened without care, the read would wait for ever.
  const std::string fifo_path = "\\\\.\\pipe\\clodmere-save-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE fifo = CreateNamedPipeA(fifo_path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(fifo, INVALID_HANDLE_VALUE);
#else
  // A FIFO with no writer: opened without care, the read would wait for ever.
  const std::string fifo_path = directory + "/fifo.wld";
  ASSERT_EQ(mkfifo(fifo_path.c_str(), 0600), 0);
#endif
  const struct {
    std::string path;
    int exit_code;
    const char *reason;
  } cases[] = {
      {truncated_path, 1, "damaged: the file is 9677079 bytes long, not 9677080"},
      {damaged_save("bad-id.wld", cell_offset(5, 7) + 8, 9), 1, "damaged: the cell at column 5, row 7 has kind 9"},
      {damaged_save("nan.wld", 4, nan_bits), 1, "damaged: the player's position is not a number"},
      {directory + "/missing.wld", 2, "unreadable: No such file or directory"},
      {directory, 2, "unreadable: not a regular file"},
      {fifo_path, 2, "unreadable: not a regular file"},
  };
  for (const auto &c : cases) {
    const ToolRun run = run_tool("info " + shell_quoted(c.path));
    expect_clean(run);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.path << "\n" << run.output;
    EXPECT_NE(run.output.find(c.path + ": " + c.reason), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("player:"), std::string::npos) << "a refused file shows no contents";
  }
#ifdef _WIN32
  CloseHandle(fifo);
#endif
}

TEST_F(SaveTool, MapDrawsEveryCellInItsTileColourAndMarksThePlayer) {
  const std::string png = directory + u8"/Zo\u00eb.png";
  const ToolRun run = run_tool("map " + shell_quoted(save_path) + " " + shell_quoted(png));
  expect_clean(run);
  ASSERT_EQ(run.exit_code, 0) << run.output;

  ALLEGRO_BITMAP *map = al_load_bitmap(png.c_str());
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(al_get_bitmap_width(map), WORLD_COLUMNS);
  ASSERT_EQ(al_get_bitmap_height(map), WORLD_ROWS);

  // The player's box (x 1234.5 to 1244.5, y 795 to 815) covers columns 123-124, rows 79-81.
  const Rgb red{255, 0, 0};
  for (int x = 123; x <= 124; ++x) {
    for (int y = 79; y <= 81; ++y) EXPECT_EQ(pixel_at(map, x, y), red) << x << ", " << y;
  }
  EXPECT_EQ(pixel_at(map, 120, 76), red) << "ring corner";
  EXPECT_EQ(pixel_at(map, 127, 84), red) << "ring corner";

  int mismatches = 0;
  for (int column = 0; column < WORLD_COLUMNS; ++column) {
    for (int row = 0; row < WORLD_ROWS; ++row) {
      if (column >= 120 && column <= 127 && row >= 76 && row <= 84) continue;  // the mark
      const Rgb tile = pixel_at(table->kinds[cell_at(grid.get(), column, row).id].tile, 0, 0);
      if (!(pixel_at(map, column, row) == tile) && ++mismatches <= 5) {
        ADD_FAILURE() << "cell " << column << ", " << row << " is " << pixel_at(map, column, row) << ", tile " << tile;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(pixel_at(map, 400, 201), (Rgb{0, 0, 0})) << "a dug cell is black";
  al_destroy_bitmap(map);
}

TEST_F(SaveTool, MapRefusesDamagedFilesAndUnwritablePicturesWithoutWritingAnything) {
  const std::string png = directory + "/world.png";
  const std::string bad_id = damaged_save("bad-id.wld", cell_offset(719, 479) + 8, 0xffffffffu);
  const struct {
    std::string arguments;
    int exit_code;
    std::string message;
  } cases[] = {
      {shell_quoted(bad_id) + " " + shell_quoted(png), 1,
       "damaged, no picture written: the cell at column 719, row 479 has kind -1"},
      {shell_quoted(directory + "/missing.wld") + " " + shell_quoted(png), 2, "unreadable, no picture written"},
      {shell_quoted(save_path) + " " + shell_quoted(directory + "/no/such/folder.png"), 3, "cannot write"},
      {shell_quoted(save_path) + " " + shell_quoted(save_path), 3, "would overwrite the save file"},
  };
  for (const auto &c : cases) {
    const ToolRun run = run_tool("map " + c.arguments);
    expect_clean(run);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
  }
  EXPECT_FALSE(file_exists(png));
  EXPECT_EQ(run_tool("info " + shell_quoted(save_path)).exit_code, 0) << "the save survived";
}

TEST_F(SaveTool, NewWritesTheStartOfANewGameInTheWorldOfItsSeed) {
  const std::string path = directory + "/new.wld";
  const ToolRun run = run_tool("new --seed 4294967295 " + shell_quoted(path));
  expect_clean(run);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("new world from seed 4294967295 written"), std::string::npos) << run.output;

  // The game's loader takes it, and it holds exactly what New World starts
  // with for that seed: the start record (at 30, 800, falling, counts 0,
  // Dirt selected, no key held) and the seed's world.
  GameState loaded{};
  auto saved = std::make_unique<WorldGrid>();
  ASSERT_EQ(read_save_file(path.c_str(), table.get(), &loaded, saved.get()).status, SAVE_OK);
  generate_world(grid.get(), table.get(), 4294967295u);
  std::vector<unsigned char> expected(SAVE_FILE_BYTES), got(SAVE_FILE_BYTES);
  encode_save(grid.get(), start_game_state(), expected.data());
  encode_save(saved.get(), loaded, got.data());
  EXPECT_TRUE(got == expected);

  const ToolRun again = run_tool("new " + shell_quoted(path));
  EXPECT_EQ(again.exit_code, 3) << again.output;
  EXPECT_NE(again.output.find("exists; --force replaces it"), std::string::npos) << again.output;
  const ToolRun forced = run_tool("new --force --seed 7 " + shell_quoted(path));
  EXPECT_EQ(forced.exit_code, 0) << forced.output;
  EXPECT_NE(forced.output.find("new world from seed 7 written"), std::string::npos) << forced.output;
}

TEST_F(SaveTool, SeedNamesTheSeedOfAPlayedWorldOrSaysThereIsNone) {
  const std::uint32_t seed = 1765000000u;
  generate_world(grid.get(), table.get(), seed);
  // Play: 180 cells dug out, 360 built over with the other kind.
  for (int column = 0; column < WORLD_COLUMNS; column += 4) {
    for (int row = 400; row < 403; ++row) {
      Block &cell = cell_at(grid.get(), column, row);
      const BlockKind other = cell.id == BLOCK_DIRT ? BLOCK_STONE : BLOCK_DIRT;
      set_cell_kind(&cell, table->kinds[row == 400 ? BLOCK_UNDERGROUND : other]);
    }
  }
  const ToolRun found = run_tool("seed " + shell_quoted(write_world("played.wld", seed + 5)));
  expect_clean(found);
  EXPECT_EQ(found.exit_code, 0) << found.output;
  EXPECT_NE(found.output.find("seed 1765000000, a world generated at 2025-12-06 05:46:40 UTC; 540 cells differ"),
            std::string::npos)
      << found.output;

  fill(BLOCK_DIRT);
  const ToolRun none = run_tool("seed " + shell_quoted(write_world("dirt.wld", 1000)));
  expect_clean(none);
  EXPECT_EQ(none.exit_code, 4) << none.output;
  EXPECT_NE(
      none.output.find("no seed found: not a world the game generated in the year before 1970-01-01 00:16:40 UTC"),
      std::string::npos)
      << none.output;
}

TEST_F(SaveTool, ArgumentsAreCheckedAndHelpIsAvailable) {
  const ToolRun help = run_tool("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("Usage: clodmere-save info FILE"), std::string::npos) << help.output;
  EXPECT_EQ(run_tool("map --help").exit_code, 0);

  const struct {
    const char *arguments;
    const char *message;
  } cases[] = {
      {"", "missing command"},
      {"frobnicate x", "unknown command: frobnicate"},
      {"info", "info takes one save file"},
      {"info a b", "info takes one save file"},
      {"map a", "map takes a save file and the picture to write"},
      {"new --seed 4294967296 a", "the seed must be a whole number from 0 to 4294967295: 4294967296"},
      {"new --seed -1 a", "the seed must be a whole number from 0 to 4294967295: -1"},
      {"new --seed 1", "new needs the save file to write"},
      {"seed", "seed takes one save file"},
  };
  for (const auto &c : cases) {
    const ToolRun run = run_tool(c.arguments);
    expect_clean(run);
    EXPECT_EQ(run.exit_code, 3) << c.arguments;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("--help"), std::string::npos) << run.output;
  }
}

}  // namespace
