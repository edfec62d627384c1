// Cost of generating a world, beside the cost of just writing the grid's memory.
#include <allegro5/allegro.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "world/random.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

// The kinds with memory-bitmap tiles; generation only copies the records.
const BlockKindTable *block_kinds() {
  static const std::unique_ptr<BlockKindTable> table = [] {
    al_init();
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    auto made = std::make_unique<BlockKindTable>();
    load_block_kinds(made.get());
    return made;
  }();
  return table.get();
}

void BM_GenerateWorld(benchmark::State &state) {
  const BlockKindTable *table = block_kinds();
  auto grid = std::make_unique<WorldGrid>();
  std::uint32_t seed = 1;
  for (auto _ : state) {
    generate_world(grid.get(), table, seed++);
    benchmark::DoNotOptimize(grid->cells[WORLD_CELL_COUNT / 2].id);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sizeof(WorldGrid)));
}
BENCHMARK(BM_GenerateWorld)->Unit(benchmark::kMillisecond);

// The floor: the grid's bytes written at memset speed.
void BM_MemsetGrid(benchmark::State &state) {
  auto grid = std::make_unique<WorldGrid>();
  int value = 0;
  for (auto _ : state) {
    std::memset(static_cast<void *>(grid.get()), value++ & 0xFF, sizeof(WorldGrid));
    benchmark::DoNotOptimize(grid->cells[WORLD_CELL_COUNT / 2].id);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sizeof(WorldGrid)));
}
BENCHMARK(BM_MemsetGrid)->Unit(benchmark::kMillisecond);

// One pass copying a record into every cell, as the clearing pass does.
void BM_FillGridWithOneRecord(benchmark::State &state) {
  const BlockKindTable *table = block_kinds();
  auto grid = std::make_unique<WorldGrid>();
  for (auto _ : state) {
    std::fill(std::begin(grid->cells), std::end(grid->cells), table->kinds[BLOCK_NULL]);
    benchmark::DoNotOptimize(grid->cells[WORLD_CELL_COUNT / 2].id);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sizeof(WorldGrid)));
}
BENCHMARK(BM_FillGridWithOneRecord)->Unit(benchmark::kMillisecond);

// The world's 345,600 random draws alone.
void BM_RandomDrawsOfAWorld(benchmark::State &state) {
  clodmere_srand(1);
  for (auto _ : state) {
    int sum = 0;
    for (int k = 0; k < WORLD_CELL_COUNT; ++k) sum += clodmere_rand() % 100;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_RandomDrawsOfAWorld)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
