"""Start-up and shut-down of the real game in a real window.

- Without any display (on Linux: Windows always has a desktop): three
  console lines and exit code 1.
- Keys pressed and a click outside every button over the menu, then
  1440x900 with the right button and New World with the middle one, then a
  user's close of the game window: the console lines of a run in their order
  (the keys and the stray click add none), exit code 0; the window has a
  frame; the first frames show the player's box and the HUD's button faces,
  so the bitmaps made while the menu window existed are still drawn on the
  game window.
- A user's close of the start menu: its texts where they belong, "Quitting."
  and exit code 1.
- Fullscreen then Load World with no save file: a new world in a frameless
  window one pixel larger than the monitor each way, the HUD at its right
  edge; a save then records no failed load.
- No font at all: the menu still works, the world is drawn, the HUD is not.
- On Windows (the .exe under wine) with the system's Arial: no remark between
  "Loading Font" and "Initializing Event Sources", and the HUD is drawn.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import game_session as gs  # noqa: E402

# After the start menu: a new world, then a user's close of the game window.
NEW_WORLD_LINES = ["Loading Blocks", "Generating a New World", "Starting to Draw.",
                   "Destroying all that we worked so hard to create :(", "Quitting, Thanks for playing!"]


def without_a_display_it_says_so_and_exits_1(executable, font):
    workdir = gs.make_workdir(font)
    try:
        env = {name: value for name, value in os.environ.items() if name not in ("DISPLAY", "WAYLAND_DISPLAY")}
        run = subprocess.run(gs.command(executable), cwd=workdir, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=gs.LONG)
        gs.check(run.returncode == 1, "exit code %s without a display" % run.returncode)
        gs.check(run.stdout == b"Starting Clodmere 0.69! Please note that this is mainly a debug window.\n"
                 b"Initializing System\nFailed to create display!\n", "console without a display: %r" % run.stdout)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def game_run_prints_its_stages_and_exits_0(server, executable, font):
    workdir = gs.make_workdir(font)
    game = None
    try:
        game = gs.Game(server, executable, workdir)
        menu = game.find_menu()
        # The menu answers to no key: ";" and "=" are typed characters whose
        # key codes and characters, read as a click's x and y, would lie on the
        # 1200x700 button. A click outside every button does nothing either.
        for key in ("semicolon", "equal", "Return"):
            menu.key_down(key)
            menu.key_up(key)
        menu.click(10, 10)
        # Any mouse button chooses, on its press.
        menu.mouse_down(*gs.MENU_POINTS["1440x900"], button=3)
        game.wait_for_line("Selected Resolution: 1440x900!")
        menu.mouse_up(button=3)
        menu.click(*gs.MENU_POINTS["New World"], button=2)
        window = game.find_window(1440, 900)
        game.wait_for_line("Starting to Draw.")
        gs.check(not window.frameless(), "the 1440x900 window has no frame")

        # The player falls from y 800 with the camera centred on it: its box
        # stays at screen (30, 450) until it lands. Both the player's bitmap and
        # the HUD's box bitmap were made on the menu window that is gone now.
        def first_frame():
            shot = window.screenshot()
            return shot if shot.pixel(35, 460) == gs.PLAYER else None
        shot = gs.wait_until(first_frame, gs.LONG, "the player's box at (30, 450)")
        gs.check(shot.all_of(30, 450, 40, 470, gs.PLAYER), "the player's box is not 10 x 20 at (30, 450)")
        gs.check(shot.pixel(29, 455) != gs.PLAYER and shot.pixel(40, 455) != gs.PLAYER,
                 "the player's box is wider than 10 pixels")
        gs.check(shot.pixel(100, 100) == gs.SKY, "no sky at (100, 100): %r" % (shot.pixel(100, 100),))
        gs.check(not shot.all_of(1400, 875, 1440, 900, gs.FACE_GREY), "the Load face has no label")
        for x in (1400, 1439, 1340, 1379):
            gs.check(shot.pixel(x, 875) == gs.FACE_GREY, "no grey button face at (%d, 875)" % x)
        gs.check(shot.pixel(1390, 880) == gs.BLACK, "the gap between the buttons is not black")

        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s after closing the game window\n%s" % (code, game.report()))
        gs.expect_lines(gs.without_handler_lines(game.output()),
                        gs.STARTUP_LINES + ["Selected Resolution: 1440x900!"] + NEW_WORLD_LINES)
        gs.check(not os.path.exists(os.path.join(workdir, gs.SAVE_FILE)), "a save file appeared unasked")
    finally:
        if game is not None:
            game.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def check_menu_texts(shot):
    """Each label's dark ink is centred on its 80 x 40 face and starts 13
    pixels below the face's top; the white headings are centred on x 320 from
    y 10 and 120. Glyphs start the same distance below every line's top."""
    def ink(left, top, right, bottom, inked):
        spots = [(x, y) for y in range(top, bottom) for x in range(left, right) if inked(shot.pixel(x, y))]
        gs.check(spots, "no text in (%d, %d) .. (%d, %d)" % (left, top, right, bottom))
        xs = [x for x, _ in spots]
        return (min(xs) + max(xs)) / 2.0, min(y for _, y in spots)

    texts = []  # (what, ink centre, ink top, line centre, line top)
    for label, (x, y) in gs.MENU_POINTS.items():
        left, top = x - 40, y - 20  # the click points are the faces' centres
        texts.append((label,) + ink(left, top, left + 80, top + 40, lambda c: max(c) < 80) + (left + 40, top + 13))
    for top in (10, 120):
        texts.append(("heading at %d" % top,) + ink(0, top - 8, 640, top + 30, lambda c: min(c) >= 128) + (320, top))
    drops = set(ink_top - line_top for _, _, ink_top, _, line_top in texts)
    gs.check(len(drops) == 1 and 0 <= min(drops) <= 4, "menu texts start at different depths: %r" % texts)
    for what, ink_centre, _, line_centre, _ in texts:
        gs.check(abs(ink_centre - line_centre) <= 1, "%s is centred on %.1f, not %d" % (what, ink_centre, line_centre))


def closing_the_menu_quits_with_1(server, executable, font):
    workdir = gs.make_workdir(font)
    game = gs.Game(server, executable, workdir)
    try:
        menu = game.find_menu()
        gs.check(not menu.frameless(), "the menu window has no frame")
        check_menu_texts(menu.screenshot())
        menu.close()
        code = game.wait_exit()
        gs.check(code == 1, "exit code %s after closing the menu\n%s" % (code, game.report()))
        gs.expect_lines(game.output(), gs.STARTUP_LINES + ["Quitting."])
        gs.check(os.listdir(workdir) == ["data"], "closing the menu left files: %r" % os.listdir(workdir))
    finally:
        game.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def full_screen_load_without_a_save_starts_a_new_world(server, executable, font):
    """Xvfb's monitor is 1920x1200: the full-screen window is one pixel larger
    each way, and the HUD follows its right and bottom edges."""
    workdir = gs.make_workdir(font)
    game = None
    try:
        game, window = gs.start_game(server, executable, workdir, ["Fullscreen", "Load World"], (1921, 1201))
        w, h = 1921, 1201
        gs.check(window.frameless(), "the full-screen window has a frame")

        def hud_drawn():
            shot = window.screenshot()
            return shot if shot.pixel(w - 40, h - 25) == gs.FACE_GREY else None
        shot = gs.wait_until(hud_drawn, gs.LONG, "the Load face at (%d, %d)" % (w - 40, h - 25))
        gs.check((shot.width, shot.height) == (1920, 1200), "the screen shows %dx%d" % (shot.width, shot.height))
        for x in (w - 40, w - 2, w - 100, w - 61):
            gs.check(shot.pixel(x, h - 25) == gs.FACE_GREY, "no grey button face at (%d, %d)" % (x, h - 25))
        gs.check(shot.pixel(w - 50, h - 10) == gs.BLACK, "the gap between the buttons is not black")
        gs.check(shot.all_of(0, h - 50, shot.width, h - 40, gs.BLACK), "the bar does not span the window")
        gs.check(shot.all_of(30, 600, 40, 620, gs.PLAYER), "the player's box is not at (30, 600)")

        # The failed load is over once the new world stands: a save now keeps
        # the menu's Load World choice (offset 272) but no failed load (276).
        window.click(w - 80, h - 10)
        game.wait_for_line("Saved the world!")
        with open(os.path.join(workdir, gs.SAVE_FILE), "rb") as save:
            save.seek(272)
            flags = struct.unpack("<B3xi", save.read(8))
        gs.check(flags == (1, 0), "load_saved_world and load_failed saved as %r" % (flags,))

        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        clicks = ("Clicked block coords: ", "Saved the world!")
        gs.expect_lines([line for line in game.output() if not line.startswith(clicks)], gs.STARTUP_LINES + [
            "Selected Resolution: Fullscreen!",
            "Loading Blocks",
            "Loading a saved world",
            "No save found",
            "Error Loading, making a new world instead.",
            "Starting to Draw.",
            "Destroying all that we worked so hard to create :(",
            "Quitting, Thanks for playing!",
        ])
    finally:
        if game is not None:
            game.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def without_a_font_the_game_runs_with_no_hud(server, executable):
    workdir = tempfile.mkdtemp(prefix="clodmere-window-")
    game = None
    try:
        # The menu stays usable with Allegro's built-in font.
        game, window = gs.start_game(server, executable, workdir, ["New World"], (1440, 900))

        def frame():
            shot = window.screenshot()
            return shot if shot.pixel(35, 460) == gs.PLAYER else None
        shot = gs.wait_until(frame, gs.LONG, "a frame with the player's box at (30, 450)")
        gs.check(shot.pixel(100, 100) == gs.SKY, "no world drawn")
        gs.check(shot.all_of(0, 860, 1440, 900, gs.BLACK), "something drawn where the HUD would be")

        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        gs.expect_lines(game.output(), gs.STARTUP_LINES[:4] + [
            "Unable to find font, you cocked something up... dropping HUD elements :(",
        ] + gs.STARTUP_LINES[4:] + NEW_WORLD_LINES)
    finally:
        if game is not None:
            game.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def the_system_font_comes_first_on_windows(server, executable, font):
    """The prefix's C:\\Windows\\Fonts\\Arial.ttf, in a folder with no data of its own."""
    system_font = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "Fonts", "arial.ttf")
    shutil.copyfile(font, system_font)
    workdir = tempfile.mkdtemp(prefix="clodmere-window-")
    game = None
    try:
        game, window = gs.start_game(server, executable, workdir, ["New World"], (1440, 900))
        gs.wait_until(lambda: not window.screenshot().all_of(1400, 875, 1440, 900, gs.FACE_GREY), gs.LONG,
                      "the Load face's label")
        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        gs.expect_lines(gs.without_handler_lines(game.output()),
                        [line for line in gs.STARTUP_LINES if line != gs.FONT_REMARK_PREFIX] + NEW_WORLD_LINES)
    finally:
        if game is not None:
            game.stop()
        os.remove(system_font)
        shutil.rmtree(workdir, ignore_errors=True)


def main(executable, font):
    # Windows always has a desktop; wine without an X display only waits for one.
    if not executable.endswith(".exe"):
        without_a_display_it_says_so_and_exits_1(executable, font)
    server = gs.Xvfb()
    try:
        closing_the_menu_quits_with_1(server, executable, font)
        game_run_prints_its_stages_and_exits_0(server, executable, font)
        full_screen_load_without_a_save_starts_a_new_world(server, executable, font)
        if executable.endswith(".exe"):
            the_system_font_comes_first_on_windows(server, executable, font)
            # The Windows game also looks beside itself: a copy alone in a folder has no font.
            alone = tempfile.mkdtemp(prefix="clodmere-program-")
            try:
                without_a_font_the_game_runs_with_no_hud(server, shutil.copy(executable, alone))
            finally:
                shutil.rmtree(alone, ignore_errors=True)
        # An installed copy of the game finds its installed font from any folder.
        elif not any(os.path.exists(os.path.join(prefix, "share/games/clodmere/arial.ttf"))
                     for prefix in ("/usr", "/usr/local")):
            without_a_font_the_game_runs_with_no_hud(server, executable)
    finally:
        server.close()


if __name__ == "__main__":
    gs.run(main)
