// The save file in a page: the browser's storage for the site (IndexedDB,
// through the page's Module.storage) is the game's working folder. Each file
// is one record, written whole in one transaction, so storage never holds half
// a save, and a save counts as done only once the browser has stored it.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"

namespace {

constexpr int REASON_BYTES = static_cast<int>(sizeof(SaveCheck::reason));

struct FreeBytes {
  void operator()(unsigned char *bytes) const { std::free(bytes); }
};

}  // namespace

enum StoredFile { STORED_FILE_READ, STORED_FILE_ABSENT, STORED_FILE_UNREADABLE };

// Reads the stored file `name` into *bytes (malloc'ed) and *size; else, with
// the reason, says whether there is none or the storage could not be read.
// clang-format off
EM_ASYNC_JS(int, read_stored_file, (const char *name, unsigned char **bytes, int *size, char *reason, int room), {
  try {
    const data = await Module.storage.read(UTF8ToString(name));
    if (data === null) {
      stringToUTF8("No such file or directory", reason, room);
      return 1;
    }
    const copy = _malloc(Math.max(data.length, 1));
    if (copy === 0) {
      stringToUTF8("the page has no memory left to read it", reason, room);
      return 2;
    }
    HEAPU8.set(data, copy);
    HEAPU32[bytes >> 2] = copy;
    HEAP32[size >> 2] = data.length;
    return 0;
  } catch (error) {
    stringToUTF8(Module.storage.why(error), reason, room);
    return 2;
  }
});
// clang-format on

// Stores `size` bytes as the file `name`, replacing the old one whole; false,
// with the reason, when the browser refuses (full, denied, a private window).
// clang-format off
EM_ASYNC_JS(bool, write_stored_file, (const char *name, const unsigned char *bytes, int size, char *reason, int room), {
  try {
    await Module.storage.write(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size));
    return true;
  } catch (error) {
    stringToUTF8(Module.storage.why(error), reason, room);
    return false;
  }
});
// clang-format on

SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid) {
  unsigned char *stored = nullptr;
  int size = 0;
  char reason[REASON_BYTES] = {};
  const int found = read_stored_file(path, &stored, &size, reason, REASON_BYTES);
  if (found == STORED_FILE_UNREADABLE) {
    // Not the same as no save: the world may still be there, and a save now would replace it.
    std::printf(
        "The page's storage could not be read (%s): the saved world may still be there, so reload the page "
        "before you save.\n",
        reason);
  }
  if (found != STORED_FILE_READ) return save_check(SAVE_UNREADABLE, "%s", reason);
  const std::unique_ptr<unsigned char, FreeBytes> bytes(stored);
  return decode_save(bytes.get(), static_cast<std::size_t>(size), table, state, grid);
}

SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state) {
  std::vector<unsigned char> bytes(SAVE_FILE_BYTES);
  encode_save(grid, state, bytes.data());
  char reason[REASON_BYTES] = {};
  if (!write_stored_file(path, bytes.data(), static_cast<int>(bytes.size()), reason, REASON_BYTES)) {
    return save_check(SAVE_UNREADABLE, "%s", reason);
  }
  return save_sound();
}

// The size of every save, for the page to refuse other files before reading them.
extern "C" EMSCRIPTEN_KEEPALIVE int save_file_size() { return static_cast<int>(SAVE_FILE_BYTES); }

// For the page's control that takes a save from the player's disk: checks the
// file as loading does. Returns null when it is sound, else why not (valid
// until the next call).
extern "C" EMSCRIPTEN_KEEPALIVE const char *check_save_file(const unsigned char *bytes, int size) {
  static SaveCheck check;
  GameState state{};
  const auto grid = std::make_unique<WorldGrid>();
  check = decode_save(bytes, static_cast<std::size_t>(size), nullptr, &state, grid.get());
  return check.status == SAVE_OK ? nullptr : check.reason;
}
