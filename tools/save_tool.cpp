// clodmere-save: looks inside a save file without starting the game, makes
// new worlds and finds the seed a world came from. It reads and writes files
// only through the game's own checked loader and safe save, so it accepts
// and refuses exactly what the game does.
#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "persistence/save_disk.h"
#include "persistence/save_format.h"
#include "state/game_state.h"
#include "tools/seed_search.h"
#include "tools/tool_system.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

// Exit codes of every command.
constexpr int EXIT_VALID = 0;
constexpr int EXIT_DAMAGED = 1;
constexpr int EXIT_UNREADABLE = 2;
constexpr int EXIT_USAGE = 3;    // bad arguments, or a picture or save that could not be written
constexpr int EXIT_NO_SEED = 4;  // a valid save, but of no world the clock seeded in the year searched

constexpr const char *USAGE =
    "Usage: clodmere-save info FILE\n"
    "       clodmere-save map FILE OUT.png\n"
    "       clodmere-save new [--seed N] [--force] FILE\n"
    "       clodmere-save seed FILE\n"
    "       clodmere-save --help\n"
    "\n"
    "Looks inside a Clodmere save file (ClodmereSave.wld) with the game's own loader,\n"
    "makes new worlds and finds the seed a world was generated from.\n"
    "\n"
    "  info FILE         the player's position, block counts, selected kind and held keys,\n"
    "                    the number of cells of each kind, and whether the game would load\n"
    "                    the file (with the reason when it would not)\n"
    "  map FILE OUT.png  writes the whole world as a 720 x 480 PNG picture, one pixel per\n"
    "                    cell in the colours of the game's tiles, the player marked in red\n"
    "  new [--seed N] [--force] FILE\n"
    "                    writes a save of a new world generated from seed N (0 to 4294967295;\n"
    "                    by default the clock, as the game does), the player where a new game\n"
    "                    starts; an existing FILE is replaced only with --force\n"
    "  seed FILE         names the seed of a world the game generated: a second of the clock\n"
    "                    in the year before the file's last change (a few seconds' search)\n"
    "\n"
    "Exit status: 0 valid save (and picture or save written, or seed found), 1 damaged save,\n"
    "2 unreadable file, 3 bad arguments or a picture or save that could not be written,\n"
    "4 no seed found.\n";

// The player mark: the player's own cells and a square ring around them.
const unsigned char MARK_RED = 255, MARK_GREEN = 0, MARK_BLUE = 0;
constexpr int MARK_RING_DISTANCE = 3;

struct LoadedSave {
  SaveCheck check;
  GameState state;
  std::unique_ptr<WorldGrid> grid;  // 13 MB: never on the stack
};

int exit_code_of(SaveStatus status) {
  switch (status) {
    case SAVE_OK:
      return EXIT_VALID;
    case SAVE_DAMAGED:
      return EXIT_DAMAGED;
    case SAVE_UNREADABLE:
      break;
  }
  return EXIT_UNREADABLE;
}

int usage_error(const char *message, const char *detail) {
  std::fprintf(stderr, "clodmere-save: %s%s\n", message, detail);
  std::fprintf(stderr, "Try 'clodmere-save --help'.\n");
  return EXIT_USAGE;
}

// Allegro without a window: the block table's tiles become memory bitmaps.
bool start_allegro(BlockKindTable *table) {
  if (!al_init()) {
    std::fprintf(stderr, "clodmere-save: cannot initialise Allegro\n");
    return false;
  }
  al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
  load_block_kinds(table);
  return true;
}

LoadedSave load_save(const char *path, const BlockKindTable *table) {
  LoadedSave save{};
  save.state = start_game_state();
  save.grid = std::make_unique<WorldGrid>();
  save.check = read_save_file(path, table, &save.state, save.grid.get());
  return save;
}

// Says why the save at `path` cannot be loaded; returns the exit code for it.
int report_unloadable(const char *path, const SaveCheck &check) {
  std::printf("%s: %s: %s\n", path, check.status == SAVE_DAMAGED ? "damaged" : "unreadable", check.reason);
  return exit_code_of(check.status);
}

// The kind name as the table stores it: up to 8 bytes, maybe without a terminator.
void print_kind_name(const BlockKindTable &table, int id) {
  std::printf("%.*s", static_cast<int>(sizeof table.kinds[id].name), table.kinds[id].name);
}

const char *key_name(int keycode) {
  switch (keycode) {
    case ALLEGRO_KEY_LEFT:
      return "left";
    case ALLEGRO_KEY_RIGHT:
      return "right";
    case ALLEGRO_KEY_UP:
      return "up";
    case ALLEGRO_KEY_DOWN:
      return "down";
    default:
      return nullptr;
  }
}

void print_save(const GameState &state, const WorldGrid &grid, const BlockKindTable &table) {
  std::printf("player: x %.2f, y %.2f (column %d, row %d), %s\n", static_cast<double>(state.player_x),
              static_cast<double>(state.player_y), cell_of_pixel(state.player_x), cell_of_pixel(state.player_y),
              state.on_ground != 0 ? "on the ground" : "in the air");
  std::printf("counts: Dirt %d, Grass %d, Stone %d, Gold %d\n", state.dirt_count, state.grass_count, state.stone_count,
              state.gold_count);

  // Keys 1 to 4 choose Dirt to Gold, the kinds 2 to 5 of the table; a save
  // may hold any other number, which selects nothing.
  std::printf("selected: %d", state.selected_block);
  if (state.selected_block >= 1 && state.selected_block <= 4) {
    std::printf(" (");
    print_kind_name(table, state.selected_block + 1);
    std::printf(")");
  }
  std::printf("\n");

  std::printf("keys held:");
  int held = 0;
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) {
    if (state.keys[code] == 0) continue;
    const char *name = key_name(code);
    std::printf("%s %d", held == 0 ? "" : ",", code);
    if (name != nullptr) std::printf(" (%s)", name);
    ++held;
  }
  std::printf("%s\n", held == 0 ? " none" : "");

  int cells[BLOCK_KIND_COUNT] = {};
  for (const Block &cell : grid.cells) {
    // A sound save holds only the seven kinds; anything else would have been refused.
    if (cell.id >= 0 && cell.id < BLOCK_KIND_COUNT) ++cells[cell.id];
  }
  std::printf("cells:");
  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
    std::printf("%s ", id == 0 ? "" : ",");
    print_kind_name(table, id);
    std::printf(" %d", cells[id]);
  }
  std::printf("\n");
}

int run_info(const char *path) {
  BlockKindTable table{};
  if (!start_allegro(&table)) return EXIT_USAGE;
  const LoadedSave save = load_save(path, &table);
  if (save.check.status != SAVE_OK) return report_unloadable(path, save.check);
  std::printf("%s: valid save\n", path);
  print_save(save.state, *save.grid, table);
  return EXIT_VALID;
}

void put_mark(int x, int y) {
  if (cell_in_grid(x, y)) al_put_pixel(x, y, al_map_rgb(MARK_RED, MARK_GREEN, MARK_BLUE));
}

// One pixel per cell, column c and row r at (c, r), in the colour of the cell's tile.
ALLEGRO_BITMAP *draw_map(const GameState &state, const WorldGrid &grid, const BlockKindTable &table) {
  ALLEGRO_BITMAP *map = al_create_bitmap(WORLD_COLUMNS, WORLD_ROWS);
  if (map == nullptr) return nullptr;
  ALLEGRO_COLOR colours[BLOCK_KIND_COUNT];
  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) colours[id] = al_get_pixel(table.kinds[id].tile, 0, 0);

  al_set_target_bitmap(map);
  al_lock_bitmap(map, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_WRITEONLY);
  for (int column = 0; column < WORLD_COLUMNS; ++column) {
    for (int row = 0; row < WORLD_ROWS; ++row) {
      const int id = cell_at(&grid, column, row).id;
      al_put_pixel(column, row, id >= 0 && id < BLOCK_KIND_COUNT ? colours[id] : colours[BLOCK_NULL]);
    }
  }

  // The player's 10 x 20 box covers one or two columns and two or three rows.
  const int left = cell_of_pixel(state.player_x);
  const int top = cell_of_pixel(state.player_y);
  const int right = cell_of_pixel(state.player_x + static_cast<float>(CELL_SIZE - 1));
  const int bottom = cell_of_pixel(state.player_y + static_cast<float>(2 * CELL_SIZE - 1));
  if (cell_in_grid(left, top) || cell_in_grid(right, bottom)) {
    for (int x = left; x <= right; ++x) {
      for (int y = top; y <= bottom; ++y) put_mark(x, y);
    }
    const int d = MARK_RING_DISTANCE;
    for (int x = left - d; x <= right + d; ++x) {
      put_mark(x, top - d);
      put_mark(x, bottom + d);
    }
    for (int y = top - d; y <= bottom + d; ++y) {
      put_mark(left - d, y);
      put_mark(right + d, y);
    }
  }
  al_unlock_bitmap(map);
  return map;
}

int run_map(const char *path, const char *out_path) {
  if (same_file(path, out_path)) return usage_error("the picture would overwrite the save file: ", out_path);
  BlockKindTable table{};
  if (!start_allegro(&table)) return EXIT_USAGE;
  if (!al_init_image_addon()) {
    std::fprintf(stderr, "clodmere-save: cannot initialise Allegro's image add-on\n");
    return EXIT_USAGE;
  }
  const LoadedSave save = load_save(path, &table);
  if (save.check.status != SAVE_OK) {
    std::fprintf(stderr, "clodmere-save: %s: %s, no picture written: %s\n", path,
                 save.check.status == SAVE_DAMAGED ? "damaged" : "unreadable", save.check.reason);
    return exit_code_of(save.check.status);
  }

  ALLEGRO_BITMAP *map = draw_map(save.state, *save.grid, table);
  if (map == nullptr) {
    std::fprintf(stderr, "clodmere-save: cannot create a %d x %d picture\n", WORLD_COLUMNS, WORLD_ROWS);
    return EXIT_USAGE;
  }
  // PNG whatever the name ends in; the file is opened here so that a bad path gets its own message.
  ALLEGRO_FILE *out = al_fopen(out_path, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "clodmere-save: cannot write %s: %s\n", out_path, std::strerror(al_get_errno()));
    al_destroy_bitmap(map);
    return EXIT_USAGE;
  }
  const bool saved = al_save_bitmap_f(out, ".png", map);
  const bool closed = al_fclose(out);
  al_destroy_bitmap(map);
  if (!saved || !closed) {
    remove_file(out_path);  // a half-written picture is worse than none
    std::fprintf(stderr, "clodmere-save: cannot write %s\n", out_path);
    return EXIT_USAGE;
  }
  std::printf("%s: map of the world written to %s\n", path, out_path);
  return EXIT_VALID;
}

struct NewWorld {
  const char *path;
  bool seeded;
  std::uint32_t seed;
  bool force;
};

// Reads `new`'s arguments into *world; the usage exit code and a reason when they are wrong, else 0.
int parse_new(int count, char **arguments, NewWorld *world) {
  for (int i = 0; i < count; ++i) {
    const char *argument = arguments[i];
    if (std::strcmp(argument, "--force") == 0) {
      world->force = true;
    } else if (std::strcmp(argument, "--seed") == 0) {
      if (++i == count) return usage_error("--seed needs a number", "");
      if (!parse_seed(arguments[i], &world->seed)) {
        return usage_error("the seed must be a whole number from 0 to 4294967295: ", arguments[i]);
      }
      world->seeded = true;
    } else if (argument[0] == '-' && argument[1] != '\0') {
      return usage_error("unknown option: ", argument);
    } else if (world->path != nullptr) {
      return usage_error("new takes one save file", "");
    } else {
      world->path = argument;
    }
  }
  if (world->path == nullptr) return usage_error("new needs the save file to write", "");
  return 0;
}

int run_new(const NewWorld &world) {
  if (!world.force && name_exists(world.path)) {
    std::fprintf(stderr, "clodmere-save: %s exists; --force replaces it\n", world.path);
    return EXIT_USAGE;
  }
  BlockKindTable table{};
  if (!start_allegro(&table)) return EXIT_USAGE;
  const std::uint32_t seed = world.seeded ? world.seed : clock_seed();
  auto grid = std::make_unique<WorldGrid>();
  generate_world(grid.get(), &table, seed);
  // The record a new game starts with, so that loading it is starting New World.
  const SaveCheck check = write_save_file(world.path, grid.get(), start_game_state());
  if (check.status != SAVE_OK) {
    std::fprintf(stderr, "clodmere-save: cannot write %s: %s\n", world.path, check.reason);
    return EXIT_USAGE;
  }
  std::printf("%s: new world from seed %u written\n", world.path, static_cast<unsigned>(seed));
  return EXIT_VALID;
}

// A second of the clock as a date, in UTC so that it reads the same everywhere.
struct DateText {
  char text[40];
};
DateText date_of(std::int64_t second) {
  DateText date{};
  std::tm parts{};
  if (!utc_time(second, &parts) || std::strftime(date.text, sizeof date.text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) {
    std::snprintf(date.text, sizeof date.text, "second %lld", static_cast<long long>(second));
  }
  return date;
}

int run_seed(const char *path) {
  BlockKindTable table{};
  if (!start_allegro(&table)) return EXIT_USAGE;
  const LoadedSave save = load_save(path, &table);
  if (save.check.status != SAVE_OK) return report_unloadable(path, save.check);
  // The world was generated no later than the save that holds it was written.
  std::int64_t changed_at = 0;
  if (const char *reason = last_change(path, &changed_at)) {
    std::printf("%s: unreadable: %s\n", path, reason);
    return EXIT_UNREADABLE;
  }
  const SeedSearch search = find_world_seed(save.grid.get(), &table, changed_at, changed_at - SEED_SEARCH_SECONDS);
  if (search.sampled_cells < SEED_SAMPLE_CELLS) {
    std::printf("%s: no seed found: too few cells are left as any seed generates them\n", path);
    return EXIT_NO_SEED;
  }
  if (!search.found) {
    std::printf("%s: no seed found: not a world the game generated in the year before %s (the file's last change)\n",
                path, date_of(changed_at).text);
    return EXIT_NO_SEED;
  }
  std::printf("%s: seed %u, a world generated at %s; %d cells differ from it\n", path,
              static_cast<unsigned>(search.seed), date_of(search.seeded_at).text, search.changed_cells);
  return EXIT_VALID;
}

}  // namespace

int main(int argc, char **argv) {
  // From here on every argument, paths included, is UTF-8.
  std::vector<std::string> arguments = utf8_arguments(argc, argv);
  std::vector<char *> pointers;
  pointers.reserve(arguments.size());
  for (std::string &argument : arguments) pointers.push_back(&argument[0]);
  argc = static_cast<int>(pointers.size());
  argv = pointers.data();
  if (argc < 2) return usage_error("missing command", "");
  const char *command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 || std::strcmp(command, "help") == 0) {
    std::printf("%s", USAGE);
    return EXIT_VALID;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf("%s", USAGE);
      return EXIT_VALID;
    }
  }
  if (std::strcmp(command, "info") == 0) {
    if (argc != 3) return usage_error("info takes one save file", "");
    return run_info(argv[2]);
  }
  if (std::strcmp(command, "map") == 0) {
    if (argc != 4) return usage_error("map takes a save file and the picture to write", "");
    return run_map(argv[2], argv[3]);
  }
  if (std::strcmp(command, "new") == 0) {
    NewWorld world{};
    const int wrong = parse_new(argc - 2, argv + 2, &world);
    return wrong != 0 ? wrong : run_new(world);
  }
  if (std::strcmp(command, "seed") == 0) {
    if (argc != 3) return usage_error("seed takes one save file", "");
    return run_seed(argv[2]);
  }
  return usage_error("unknown command: ", command);
}
