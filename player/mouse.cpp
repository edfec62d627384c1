// Mouse actions: digging, placing, and the HUD's Save and Load buttons.
#include "player/mouse.h"

#include <cstdio>

#include "persistence/save_file.h"

namespace {

constexpr int LEFT_BUTTON = 1;
constexpr float REACH = 50.0f;     // pixels from the player's top-left corner, exclusive
constexpr int LAST_SKY_ROW = 120;  // dug cells up to here open to the sky
// The HUD's Save and Load areas, measured from the window's bottom-right corner.
constexpr int BUTTON_AREA_HEIGHT = 25;
constexpr int LOAD_AREA_WIDTH = 40;
constexpr int SAVE_AREA_WIDTH = 100;

struct CellRef {
  int column, row;
};

// The cell under the pointer. The pointer is cut to whole cells before the
// camera's offset is added, so clicks near a cell's right or lower edge can
// name the cell before it; this is the mapping players' clicks have always
// had, and it deliberately differs from the drawing's camera.
CellRef cell_under_pointer(GameState state, int mx, int my) {
  const int w = state.screen_width;
  const int h = state.screen_height;
  const int a = mx / CELL_SIZE;
  const int b = my / CELL_SIZE;
  CellRef cell{};
  if (state.player_x - static_cast<float>(w / 2) < 0.0f) {
    cell.column = a;
  } else if (state.player_x > static_cast<float>(WORLD_WIDTH - w / 2)) {
    cell.column = a + WORLD_COLUMNS - w / CELL_SIZE;
  } else {
    cell.column = whole_part((state.player_x - static_cast<float>(w / 2)) / 10.0f + static_cast<float>(a));
  }
  if (state.player_y - static_cast<float>(h / 2) < 0.0f) {
    cell.row = b;
  } else if (state.player_y > static_cast<float>(WORLD_HEIGHT - h / 2)) {
    std::printf("Test\n");
    cell.row = b + WORLD_ROWS - h / CELL_SIZE;
  } else {
    cell.row = whole_part((state.player_y - static_cast<float>(h / 2)) / 10.0f + static_cast<float>(b));
  }
  return cell;
}

// The count that digging or placing kind `id` changes, or null for other kinds.
std::int32_t *count_of_kind(GameState *state, std::int32_t id) {
  switch (id) {
    case BLOCK_DIRT:
      return &state->dirt_count;
    case BLOCK_GRASS:
      return &state->grass_count;
    case BLOCK_STONE:
      return &state->stone_count;
    case BLOCK_GOLD:
      return &state->gold_count;
    default:
      return nullptr;
  }
}

// Neighbours beyond the world's edges count as solid: the edges are walls.
bool open_cell(const WorldGrid *grid, int column, int row) {
  return cell_in_grid(column, row) && cell_at(grid, column, row).passable != 0;
}

GameState dig(WorldGrid *grid, const BlockKindTable *table, GameState state, CellRef at, std::int32_t kind) {
  if (!cell_in_reach(grid, state, at.column, at.row)) return state;
  std::int32_t *count = count_of_kind(&state, kind);
  if (count != nullptr && *count < INT32_MAX) *count += 1;
  const int left_behind = at.row <= LAST_SKY_ROW ? BLOCK_AIR : BLOCK_UNDERGROUND;
  set_cell_kind(&cell_at(grid, at.column, at.row), table->kinds[left_behind]);
  return state;
}

GameState place(WorldGrid *grid, const BlockKindTable *table, GameState state, CellRef at) {
  const Block &cell = cell_at(grid, at.column, at.row);
  if (!cell_in_reach(grid, state, at.column, at.row) || cell.passable == 0 || cell.id == BLOCK_NULL) return state;
  if (state.selected_block < 1 || state.selected_block > 4) return state;
  const std::int32_t kind = state.selected_block + 1;  // 1 Dirt .. 4 Gold are kinds 2 .. 5
  std::int32_t *count = count_of_kind(&state, kind);
  if (*count <= 0) return state;  // a load never brings a negative count; never place from one
  *count -= 1;
  set_cell_kind(&cell_at(grid, at.column, at.row), table->kinds[kind]);
  return state;
}

}  // namespace

GameState handle_mouse_down(ALLEGRO_EVENT event, WorldGrid *grid, const BlockKindTable *table, GameState state) {
  const int mx = event.mouse.x;
  const int my = event.mouse.y;
  const bool left = event.mouse.button == LEFT_BUTTON;
  const CellRef at = cell_under_pointer(state, mx, my);

  if (cell_in_grid(at.column, at.row)) {
    const Block &cell = cell_at(grid, at.column, at.row);
    std::printf("Clicked block coords: %fx%f\n", static_cast<double>(cell.x), static_cast<double>(cell.y));
    const std::int32_t kind = cell.passable == 0 ? cell.id : BLOCK_NULL;
    if (left && kind != BLOCK_NULL) {
      state = dig(grid, table, state, at, kind);
    } else if (!left) {
      state = place(grid, table, state, at);
    }
  } else {
    // Beyond the grid there is no cell to read: report where it would lie, and act on nothing.
    std::printf("Clicked block coords: %fx%f\n", static_cast<double>(at.column) * CELL_SIZE,
                static_cast<double>(at.row) * CELL_SIZE);
  }

  if (left && my > state.screen_height - BUTTON_AREA_HEIGHT) {
    if (mx > state.screen_width - LOAD_AREA_WIDTH) {
      state = load_world(grid, state, table);
    } else if (mx > state.screen_width - SAVE_AREA_WIDTH) {
      save_world(grid, state);
    }
  }
  return state;
}

int cell_in_reach(const WorldGrid *grid, GameState state, int column, int row) {
  if (!cell_in_grid(column, row)) return 0;
  const float x = static_cast<float>(column * CELL_SIZE);
  const float y = static_cast<float>(row * CELL_SIZE);
  if (!(x > state.player_x - REACH && x < state.player_x + REACH)) return 0;
  if (!(y > state.player_y - REACH && y < state.player_y + REACH)) return 0;
  const bool exposed = open_cell(grid, column, row + 1) || open_cell(grid, column, row - 1) ||
                       open_cell(grid, column - 1, row) || open_cell(grid, column + 1, row);
  return exposed ? 1 : 0;
}
