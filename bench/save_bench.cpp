// Saving and loading the whole game against a plain write and read of the
// same 9,677,080 bytes, measured in the same run on the same file system.
#include <benchmark/benchmark.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"

namespace {

// One scratch directory for the whole run, beside where a game would save.
const std::string &scratch_dir() {
  static const std::string dir = [] {
#ifdef _WIN32
    // No mkdtemp there: a name of this process's own in the user's temporary folder.
    const std::filesystem::path made =
        std::filesystem::temp_directory_path() / ("clodmere-save-bench-" + std::to_string(_getpid()));
    if (!std::filesystem::create_directory(made)) std::abort();
    return made.u8string();
#else
    char pattern[] = "/tmp/clodmere-save-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    return std::string(pattern);
#endif
  }();
  return dir;
}

std::string scratch_file(const char *name) { return scratch_dir() + "/" + name; }

// A plausible world: sky, a Dirt band, Stone below, the NULL floor.
std::unique_ptr<WorldGrid> sample_world() {
  auto grid = std::make_unique<WorldGrid>();
  for (int column = 0; column < WORLD_COLUMNS; ++column) {
    for (int row = 0; row < WORLD_ROWS; ++row) {
      Block &cell = cell_at(grid.get(), column, row);
      const BlockKind kind = row == WORLD_ROWS - 1 ? BLOCK_NULL
                             : row <= 120          ? BLOCK_AIR
                             : row < 200           ? BLOCK_DIRT
                                                   : BLOCK_STONE;
      cell.id = kind;
      cell.passable = kind == BLOCK_AIR ? 1 : 0;
      cell.x = static_cast<float>(column * CELL_SIZE);
      cell.y = static_cast<float>(row * CELL_SIZE);
    }
  }
  return grid;
}

// A plain buffered write of the whole image; false when any step fails.
bool write_plain(const std::string &path, const std::vector<unsigned char> &bytes, bool synced) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
#ifdef _WIN32
  if (synced) ok = ok && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;  // FlushFileBuffers
#else
  if (synced) ok = ok && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
#endif
  return std::fclose(file) == 0 && ok;
}

void BM_PlainWrite(benchmark::State &bench) {
  const std::vector<unsigned char> bytes(SAVE_FILE_BYTES, 7);
  const std::string path = scratch_file("plain.bin");
  for (auto _ : bench) {
    if (!write_plain(path, bytes, false)) bench.SkipWithError("plain write failed");
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

// The same write made durable, as any save that must survive a power cut is.
void BM_PlainWriteSynced(benchmark::State &bench) {
  const std::vector<unsigned char> bytes(SAVE_FILE_BYTES, 7);
  const std::string path = scratch_file("plain-synced.bin");
  for (auto _ : bench) {
    if (!write_plain(path, bytes, true)) bench.SkipWithError("synced write failed");
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

void BM_SaveWorld(benchmark::State &bench) {
  const auto grid = sample_world();
  GameState state = start_game_state();
  const std::string path = scratch_file("ClodmereSave.wld");
  for (auto _ : bench) {
    const SaveCheck check = write_save_file(path.c_str(), grid.get(), state);
    if (check.status != SAVE_OK) bench.SkipWithError(check.reason);
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

void BM_PlainRead(benchmark::State &bench) {
  const std::string path = scratch_file("plain-read.bin");
  if (!write_plain(path, std::vector<unsigned char>(SAVE_FILE_BYTES, 7), false)) std::abort();
  std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
  for (auto _ : bench) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      bench.SkipWithError("plain read failed");
    }
    if (file != nullptr && std::fclose(file) != 0) bench.SkipWithError("close failed");
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

void BM_LoadWorld(benchmark::State &bench) {
  const std::string path = scratch_file("load.wld");
  {
    const auto grid = sample_world();
    if (write_save_file(path.c_str(), grid.get(), start_game_state()).status != SAVE_OK) std::abort();
  }
  auto grid = std::make_unique<WorldGrid>();
  BlockKindTable table{};  // no tiles needed to measure the reading and checking
  for (auto _ : bench) {
    GameState state{};
    const SaveCheck check = read_save_file(path.c_str(), &table, &state, grid.get());
    if (check.status != SAVE_OK) bench.SkipWithError(check.reason);
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

// For comparison: the stream-per-record way, one buffered call per cell.
void BM_LoadPerCellReads(benchmark::State &bench) {
  const std::string path = scratch_file("load.wld");
  std::vector<unsigned char> record(SAVE_CELL_BYTES);
  unsigned char state_bytes[SAVE_STATE_BYTES];
  for (auto _ : bench) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      bench.SkipWithError("open failed");
      break;
    }
    bool ok = std::fread(state_bytes, 1, sizeof state_bytes, file) == sizeof state_bytes;
    for (int cell = 0; cell < WORLD_CELL_COUNT; ++cell) {
      ok = std::fread(record.data(), 1, record.size(), file) == record.size() && ok;
    }
    if (std::fclose(file) != 0 || !ok) bench.SkipWithError("per-cell read failed");
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * static_cast<int64_t>(SAVE_FILE_BYTES));
}

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainWriteSynced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveWorld)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadWorld)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPerCellReads)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Leave nothing behind in /tmp.
  for (const char *name : {"plain.bin", "plain-synced.bin", "ClodmereSave.wld", "plain-read.bin", "load.wld"}) {
    static_cast<void>(std::remove(scratch_file(name).c_str()));  // best effort
  }
  std::error_code error;
  std::filesystem::remove(std::filesystem::u8path(scratch_dir()), error);
  return 0;
}
