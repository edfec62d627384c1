// Finding the seed a world was generated from, among the clock seconds the
// game could have seeded it with.
#pragma once

#include <cstdint>

#include "world/world.h"

// The seconds searched back from a save's last change: a year and a day.
constexpr std::int64_t SEED_SEARCH_SECONDS = 366LL * 24 * 60 * 60;

// How many informative cells a candidate seed is first tested on.
constexpr int SEED_SAMPLE_CELLS = 128;

struct SeedSearch {
  bool found;
  std::uint32_t seed;
  std::int64_t seeded_at;  // the clock second that gives `seed`
  int changed_cells;       // cells of the world that differ from the seed's world
  int sampled_cells;       // informative cells the world still had; below SEED_SAMPLE_CELLS nothing is searched
};

// Tries every seed from `latest` down to `earliest` (clock seconds, both
// included; times before 1970 are never tried) and returns the newest whose
// generated world matches `grid` but for at most a tenth of its cells, the
// ones play changed. Generates worlds with `table`.
SeedSearch find_world_seed(const WorldGrid *grid, const BlockKindTable *table, std::int64_t latest,
                           std::int64_t earliest);
