// The seed search. Generating a whole world per candidate would take a day
// for a year of seconds; instead each candidate is first tested on a few
// cells, each computed straight from the seed: after n steps the generator's
// state is A_n * seed + B_n (mod 2^32), with A_n and B_n the same for every
// seed. Only a candidate that passes is generated whole and compared.
#include "tools/seed_search.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "world/random.h"
#include "world/terrain.h"

namespace {

constexpr int DRAWS = 100;  // terrain uses rand() % 100

// Play changes cells, so the true seed may miss a few sampled cells: a block
// placed where another kind was generated. With one in 20 of the sampled
// rows' cells changed so, the true seed still misses more than 16 of 128
// less than once in 4,000 worlds. A wrong seed matches each sampled cell
// with a chance of at most 65 in 100, so it fails after two or three dozen
// cells and passes less than once in 10^8 tries; the whole-world comparison
// then turns it down.
constexpr unsigned SAMPLE_MISSES_ALLOWED = 16;
// A wrong seed's world differs in about 98,000 cells (neighbouring seconds
// too); a played world in a few thousand.
constexpr int CHANGED_CELLS_ALLOWED = WORLD_CELL_COUNT / 10;

// A cell tells seeds apart when its kind comes from 35 to 65 of the 100
// draws: Dirt against Stone from row 335 down, Grass against Dirt in the
// middle of the surface band. On those rows both kinds qualify, so a cell
// changed from one to the other is no likelier to be sampled than any
// other. Kinds no draw gives at the cell's row (a dug cell) never qualify.
constexpr int FEWEST_FITTING_DRAWS = 35;
constexpr int MOST_FITTING_DRAWS = 65;

struct DrawSet {
  std::uint64_t bits[2];  // bit v set when draw v gives the kind
  int count;
};

// The draws that give `kind` on `row`.
DrawSet fitting_draws(int row, int kind) {
  DrawSet set{};
  for (int v = 0; v < DRAWS; ++v) {
    if (terrain_kind(row, v) != kind) continue;
    set.bits[v / 64] |= std::uint64_t{1} << (v % 64);
    ++set.count;
  }
  return set;
}

struct SampleCell {
  int index;  // in the grid's order, which is the order of the draws
  DrawSet fits;
  std::uint32_t a, b;  // the state at this cell's draw is a * seed + b
};

// One informative cell from the middle of each of SEED_SAMPLE_CELLS
// stretches of the grid, so that no one built-over place decides; in the
// order they are tested, the most telling first.
std::vector<SampleCell> sample_cells(const WorldGrid *grid) {
  std::vector<DrawSet> fits_by_row_and_kind;
  for (int row = 0; row < WORLD_ROWS; ++row) {
    for (int kind = 0; kind < BLOCK_KIND_COUNT; ++kind) fits_by_row_and_kind.push_back(fitting_draws(row, kind));
  }
  std::vector<SampleCell> candidates;  // in the grid's order
  for (int index = 0; index < WORLD_CELL_COUNT; ++index) {
    const int id = grid->cells[index].id;
    if (id < 0 || id >= BLOCK_KIND_COUNT) continue;
    const DrawSet &fits = fits_by_row_and_kind[index % WORLD_ROWS * BLOCK_KIND_COUNT + id];
    if (fits.count >= FEWEST_FITTING_DRAWS && fits.count <= MOST_FITTING_DRAWS) {
      candidates.push_back(SampleCell{index, fits, 0, 0});
    }
  }

  std::vector<SampleCell> sample;
  if (candidates.size() < static_cast<std::size_t>(SEED_SAMPLE_CELLS)) return sample;
  const std::size_t stretch = candidates.size() / SEED_SAMPLE_CELLS;
  for (std::size_t i = 0; i < static_cast<std::size_t>(SEED_SAMPLE_CELLS); ++i) {
    sample.push_back(candidates[i * stretch + stretch / 2]);
  }

  // Cell k (from 0) takes draw k + 1: step the affine map along the grid once.
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  int steps = 0;
  for (SampleCell &cell : sample) {
    for (; steps <= cell.index; ++steps) {
      a *= RANDOM_MULTIPLIER;
      b = b * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    }
    cell.a = a;
    cell.b = b;
  }
  std::sort(sample.begin(), sample.end(),
            [](const SampleCell &p, const SampleCell &q) { return p.fits.count < q.fits.count; });
  return sample;
}

// Misses are counted a block of cells at a time without a branch: whether a
// wrong seed's draw fits is a coin toss, which the processor cannot predict.
constexpr std::size_t BLOCK_CELLS = 16;
static_assert(SEED_SAMPLE_CELLS % BLOCK_CELLS == 0, "the sample is whole blocks");

bool fits_sample(const std::vector<SampleCell> &sample, std::uint32_t seed) {
  unsigned misses = 0;
  for (std::size_t first = 0; first < sample.size(); first += BLOCK_CELLS) {
    for (std::size_t i = first; i < first + BLOCK_CELLS; ++i) {
      const SampleCell &cell = sample[i];
      const std::uint32_t state = cell.a * seed + cell.b;
      const auto v = static_cast<unsigned>(random_value(state) % DRAWS);
      misses += static_cast<unsigned>(((cell.fits.bits[v / 64] >> (v % 64)) & 1u) ^ 1u);
    }
    if (misses > SAMPLE_MISSES_ALLOWED) return false;
  }
  return true;
}

int changed_cells(const WorldGrid *grid, const WorldGrid *generated) {
  int changed = 0;
  for (int i = 0; i < WORLD_CELL_COUNT; ++i) changed += grid->cells[i].id != generated->cells[i].id ? 1 : 0;
  return changed;
}

}  // namespace

SeedSearch find_world_seed(const WorldGrid *grid, const BlockKindTable *table, std::int64_t latest,
                           std::int64_t earliest) {
  SeedSearch result{};
  const std::vector<SampleCell> sample = sample_cells(grid);
  result.sampled_cells = static_cast<int>(sample.size());
  if (sample.empty()) return result;

  auto generated = std::make_unique<WorldGrid>();
  for (std::int64_t second = latest; second >= std::max<std::int64_t>(earliest, 0); --second) {
    // The game seeds with the low 32 bits of the time.
    const auto seed = static_cast<std::uint32_t>(second);
    if (!fits_sample(sample, seed)) continue;
    generate_world(generated.get(), table, seed);
    const int changed = changed_cells(grid, generated.get());
    if (changed <= CHANGED_CELLS_ALLOWED) {
      result.found = true;
      result.seed = seed;
      result.seeded_at = second;
      result.changed_cells = changed;
      return result;
    }
  }
  return result;
}
