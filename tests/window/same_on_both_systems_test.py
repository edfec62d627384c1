"""The Windows game (under wine) and the Linux game, given one save, show the
same frame and write the same save.

A new world of a fixed seed, made by the Linux clodmere-save, with the player
put deep down in a pocket dug out of the rock, some blocks of every kind
placed around it. Each game loads it at 1440x900 and waits for the player to
come to rest; every pixel above the HUD must then be the same in both. Each
then saves, and the two files must be the same but for the bytes that belong
to the saving process.

Usage: same_on_both_systems_test.py WINDOWS_GAME FONT LINUX_GAME
"""

import os
import shutil
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import game_session as gs  # noqa: E402
import play_session_test as play  # noqa: E402

SEED = 20261209
WIDTH, HEIGHT = 1440, 900
POCKET_COLUMN, POCKET_FLOOR_ROW = 360, 361  # the player stands at (3600, 3590)
KINDS = {"Air": (1, 1), "Dirt": (2, 0), "Grass": (3, 0), "Stone": (4, 0), "Gold": (5, 0), "Underground": (6, 1)}


def put_cell(save, column, row, kind):
    """A whole cell record of `kind`, in its own place, as the game would copy it."""
    kind_id, passable = KINDS[kind]
    struct.pack_into("<8siIB3xff", save, play.cell_offset(column, row), kind.encode()[:8], kind_id, 0, passable,
                     10.0 * column, 10.0 * row)


def make_save(tool, path):
    run = subprocess.run([tool, "new", "--seed", str(SEED), path], capture_output=True, text=True,
                         env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"), timeout=gs.LONG)
    gs.check(run.returncode == 0, "clodmere-save new failed: %s%s" % (run.stdout, run.stderr))
    with open(path, "rb") as f:
        save = bytearray(f.read())
    struct.pack_into("<ff", save, 0, 10.0 * POCKET_COLUMN, 10.0 * POCKET_FLOOR_ROW - 20.0)
    for column in range(POCKET_COLUMN - 3, POCKET_COLUMN + 4):
        for row in range(POCKET_FLOOR_ROW - 4, POCKET_FLOOR_ROW):
            put_cell(save, column, row, "Underground")
        put_cell(save, column, POCKET_FLOOR_ROW, "Stone")
    for i, kind in enumerate(("Dirt", "Grass", "Stone", "Gold", "Air", "Grass", "Gold")):
        put_cell(save, POCKET_COLUMN - 30 + 9 * i, POCKET_FLOOR_ROW - 20 + 3 * i, kind)
    with open(path, "wb") as f:
        f.write(save)


def frame_and_save(server, executable, font, save):
    """The still frame above the HUD, and the save the game writes of the loaded world."""
    workdir = gs.make_workdir(font)
    game = None
    try:
        shutil.copyfile(save, os.path.join(workdir, gs.SAVE_FILE))
        game, window = gs.start_game(server, executable, workdir, ["Load World"], (WIDTH, HEIGHT))
        game.wait_for_line("Loaded the world!")
        shot = gs.wait_until(lambda: (lambda s: s if s.pixel(WIDTH // 2 + 5, HEIGHT // 2 + 10) == gs.PLAYER
                                      else None)(play.wait_still(window, "a still frame")),
                             gs.LONG, "the player at rest in the middle of the window")
        window.click(WIDTH - 80, HEIGHT - 10)
        game.wait_for_line("Saved the world!")
        written = play.read_save(workdir)
        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        return shot, written
    finally:
        if game is not None:
            game.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(windows_game, font):
    linux_game = os.path.abspath(sys.argv[3])
    server = gs.Xvfb()
    save = os.path.join(gs.make_workdir(font), "made.wld")
    try:
        make_save(os.path.join(os.path.dirname(linux_game), "tools", "clodmere-save"), save)
        linux_shot, linux_save = frame_and_save(server, linux_game, font, save)
        windows_shot, windows_save = frame_and_save(server, windows_game, font, save)
        gs.check_same_pixels(windows_shot, linux_shot, "the Windows frame above the HUD", HEIGHT - 50)
        gs.check(play.comparable(windows_save) == play.comparable(linux_save),
                 "the two games saved the same world differently")
    finally:
        server.close()
        shutil.rmtree(os.path.dirname(save), ignore_errors=True)


if __name__ == "__main__":
    gs.run(main)
