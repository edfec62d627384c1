// Shared set-up for tests on a world: the loaded block table, a grid, cells
// placed as the game places them, and scratch directories for files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "allegro_test_support.h"
#include "world/world.h"

// Each test gets a freshly loaded block table and a grid of zeroed cells.
// Fixtures that need more call WorldTest::SetUp() first.
class WorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    init_allegro_for_tests();
    table = std::make_unique<BlockKindTable>();
    load_block_kinds(table.get());
    grid = std::make_unique<WorldGrid>();
  }

  // Copies the table's entry for `kind` over the cell and gives the cell its
  // own position, as terrain generation does (walls are measured by it).
  void put(int column, int row, BlockKind kind) {
    Block &cell = cell_at(grid.get(), column, row);
    cell = table->kinds[kind];
    cell.x = static_cast<float>(CELL_SIZE * column);
    cell.y = static_cast<float>(CELL_SIZE * row);
  }

  void fill(BlockKind kind) {
    for (int column = 0; column < WORLD_COLUMNS; ++column) {
      for (int row = 0; row < WORLD_ROWS; ++row) put(column, row, kind);
    }
  }

  std::unique_ptr<BlockKindTable> table;
  std::unique_ptr<WorldGrid> grid;
};

// Makes a new empty directory /tmp/PREFIX-XXXXXX (on Windows in the user's
// temporary folder) for the files a test writes; an empty path when it cannot
// (the caller asserts on that).
inline std::filesystem::path make_scratch_dir(const char *prefix) {
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / (std::string(prefix) + "-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(dir, error)) return dir;
  }
  return {};
#else
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
#endif
}

// Removes the directory and all it holds; true when nothing is left of it.
inline bool remove_scratch_dir(const std::filesystem::path &dir) {
  std::error_code error;
  std::filesystem::remove_all(dir, error);
  return !error;
}
