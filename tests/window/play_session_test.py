"""A short play session in the real game, checked through screenshots, the
console and the save file.

Run 1, 1440x900, New World: the player falls onto the surface (row 121, all
Grass); sky, surface, player box and HUD are where they belong; a left click
digs the Grass under the player, the HUD's Grass count becomes 1 and Save
writes it to the file; the player jumps out of the hole and walks right;
Save again.
Run 2, 1200x700, Load World: the same world (the dug cell), the same player
position and counts on screen, laid out for the new size; saving again gives
the same file apart from the bytes that belong to the running process.

With CLODMERE_SCREENSHOT=path set, run 1's screenshot after the walk is
written there as a small PNG.
"""

import os
import shutil
import struct
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import game_session as gs  # noqa: E402

SURFACE_ROW = 121
START_COLUMN = 3  # the player starts at x 30


def cell_offset(column, row):
    return 280 + (column * 480 + row) * 28


def read_save(workdir):
    with open(os.path.join(workdir, gs.SAVE_FILE), "rb") as f:
        data = f.read()
    gs.check(len(data) == gs.SAVE_SIZE, "the save file has %d bytes" % len(data))
    return data


def save_state(data):
    x, y, dirt, grass, stone, gold = struct.unpack_from("<ffiiii", data, 0)
    return {"x": x, "y": y, "dirt": dirt, "grass": grass, "stone": stone, "gold": gold,
            "selected": struct.unpack_from("<i", data, 32)[0]}


def save_cell(data, column, row):
    offset = cell_offset(column, row)
    return {"id": struct.unpack_from("<i", data, offset + 8)[0], "passable": data[offset + 16]}


def comparable(data):
    """The file without what belongs to the saving process: the bitmap
    handles, the window size and the cells' padding."""
    masked = bytearray(data)
    masked[24:28] = bytes(4)
    masked[264:272] = bytes(8)
    for k in range(12, 20):
        masked[280 + k::28] = bytes(len(masked[280 + k::28]))
    return bytes(masked)


def player_left(shot, y):
    """The screen x of the player's box on row y, or None."""
    for x in range(0, shot.width):
        if shot.pixel(x, y) == gs.PLAYER:
            return x
    return None


def standing_on_surface(shot, hh):
    """The player rests at y 1190 on row 121: with the camera centred on it
    (screen y H / 2), row 121 is drawn at exactly H / 2 + 20 to H / 2 + 29."""
    x = player_left(shot, hh + 10)
    if x is None or not shot.all_of(x, hh, x + 10, hh + 20, gs.PLAYER):
        return None
    if shot.pixel(x + 5, hh - 1) != gs.SKY:
        return None
    beside = x + 20 if x + 20 < shot.width else x - 20
    if shot.pixel(beside, hh + 19) != gs.SKY or shot.pixel(beside, hh + 20) != gs.GRASS \
            or shot.pixel(beside, hh + 29) != gs.GRASS:
        return None
    return x


def wait_still(window, what):
    """A screenshot once two in a row, a third of a second apart, agree."""
    previous = [None]

    def still():
        shot = window.screenshot()
        same = previous[0] is not None and shot.data == previous[0].data
        previous[0] = shot
        return shot if same else None
    return gs.wait_until(still, gs.LONG, what, interval=0.33)


def check_start_of_play(shot):
    """The first resting frame at 1440x900: player at (30, 1190) on row 121."""
    w = shot.width
    gs.check(shot.all_of(30, 450, 40, 470, gs.PLAYER), "the player's box is not at (30, 450)")
    for x in range(0, w, 7):
        for y in range(0, 470, 13):
            if not (30 <= x < 40 and y >= 450):
                gs.check(shot.pixel(x, y) == gs.SKY, "no sky at (%d, %d): %r" % (x, y, shot.pixel(x, y)))
    gs.check(shot.all_of(0, 470, w, 480, gs.GRASS), "the surface row is not all Grass")
    # Rows 122 to 158 hold only Grass and Dirt.
    for y in range(480, 850, 10):
        for x in range(0, w, 10):
            gs.check(shot.pixel(x, y) in (gs.GRASS, gs.DIRT), "(%d, %d) is neither Grass nor Dirt" % (x, y))
    check_hud(shot)


def check_hud(shot):
    w, h = shot.width, shot.height
    gs.check(shot.all_of(0, h - 50, w, h - 40, gs.BLACK), "no black bar at y %d to %d" % (h - 50, h - 41))
    gs.check(shot.all_of(138, h - 38, 148, h - 28, gs.DIRT), "no Dirt marker at (138, %d)" % (h - 38))
    for x in (w - 40, w - 1, w - 100, w - 61):
        gs.check(shot.pixel(x, h - 25) == gs.FACE_GREY and shot.pixel(x, h - 1) == gs.FACE_GREY,
                 "no grey button face at x %d" % x)
    gs.check(shot.all_of(w - 60, h - 25, w - 40, h, gs.BLACK), "the gap between the buttons is not black")
    gs.check(not shot.all_of(w - 40, h - 25, w, h, gs.FACE_GREY), "the Load button has no label")
    gs.check(not shot.all_of(w - 100, h - 25, w - 60, h, gs.FACE_GREY), "the Save button has no label")
    for (x, y) in ((10, h - 40), (10, h - 20), (150, h - 40), (250, h - 40), (150, h - 20), (250, h - 20)):
        gs.check(shot.light_pixels(x, y, x + 60, y + 16) > 20, "no white text at (%d, %d)" % (x, y))
    # Nothing light between the two columns of counts and right of them.
    gs.check(shot.light_pixels(360, h - 40, w - 100, h) == 0, "stray text in the HUD")


def grass_box(shot):
    h = shot.height
    return shot.region(250, h - 40, 350, h - 24)


def dirt_box(shot):
    h = shot.height
    return shot.region(150, h - 40, 248, h - 24)


def first_run(server, executable, workdir):
    game, window = gs.start_game(server, executable, workdir, ["1440x900", "New World"], (1440, 900))
    try:
        shot = gs.wait_until(lambda: (lambda s: s if standing_on_surface(s, 450) == 30 else None)(window.screenshot()),
                             gs.LONG, "the player standing on the surface at (30, 1190)", interval=0.2)
        check_start_of_play(shot)
        before = grass_box(shot)

        # Dig the Grass under the player: at this camera the click maps to
        # column mx / 10 and row 74 + my / 10, the drawn cell itself. The
        # press digs; the button is still down when the game reports it.
        window.mouse_down(35, 475)
        game.wait_for_line("Clicked block coords: 30.000000x1210.000000")
        window.mouse_up()
        dug = gs.wait_until(lambda: (lambda s: s if grass_box(s) != before else None)(window.screenshot()),
                            gs.LONG, "the HUD's Grass count to change")
        dug = wait_still(window, "the player to settle in the hole")
        gs.check(grass_box(dug) != before, "the Grass count went back")
        # "2) Grass: 1" ends in the glyph that "1) Dirt: 0" starts with.
        grass_glyphs = dug.glyphs(250, 860, 350, 876)
        dirt_glyphs = dug.glyphs(150, 860, 248, 876)
        gs.check(grass_glyphs[-1] == dirt_glyphs[0], "the Grass count does not read 1")
        gs.check(dirt_glyphs[-1] != dirt_glyphs[0] and grass_glyphs[-1] != dirt_glyphs[-1],
                 "the Dirt count is not 0")
        # In the hole the player's box covers the dug cell; Grass both sides of it.
        gs.check(dug.all_of(30, 450, 40, 470, gs.PLAYER), "the player is not in the hole")
        gs.check(dug.all_of(20, 460, 30, 470, gs.GRASS) and dug.all_of(40, 460, 50, 470, gs.GRASS),
                 "the surface beside the hole is not Grass")

        window.click(1360, 890)
        game.wait_for_line("Saved the world!")
        data = read_save(workdir)
        gs.check(struct.unpack_from("<i", data, 12)[0] == 1, "the save file's Grass count is not 1")
        state = save_state(data)
        gs.check((state["x"], state["y"]) == (30.0, 1200.0), "saved position %r, not in the hole" % state)
        gs.check(save_cell(data, START_COLUMN, SURFACE_ROW) == {"id": 6, "passable": 1},
                 "the dug cell is not Underground in the file")

        # Jump out of the hole (walking alone cannot leave it) and walk right.
        window.key_down("Up")
        window.key_down("Right")
        airborne = [False]

        def out_and_away():
            s = window.screenshot()
            # In the air the surface is drawn lower than under a standing player.
            airborne[0] = airborne[0] or s.pixel(600, 470) == gs.SKY
            x = player_left(s, 460)
            return airborne[0] and x is not None and x >= 60
        gs.wait_until(out_and_away, gs.LONG, "the player to jump out of the hole and walk right", interval=0.05)
        window.key_up("Up")
        window.key_up("Right")
        walked = wait_still(window, "the player to land")
        x = standing_on_surface(walked, 450)
        gs.check(x is not None and x >= 60, "the player is not standing on the surface right of the hole")
        gs.check(walked.all_of(30, 470, 40, 480, gs.BLACK), "the dug cell is not black Underground")
        gs.check(walked.all_of(20, 470, 30, 480, gs.GRASS) and walked.all_of(40, 470, 50, 480, gs.GRASS),
                 "the cells beside the dug one are not Grass")
        check_hud(walked)
        screenshot_path = os.environ.get("CLODMERE_SCREENSHOT")
        if screenshot_path:
            walked.write_png(screenshot_path)

        window.click(1360, 890)
        game.wait_for_line("Saved the world!", count=2)
        data = read_save(workdir)
        state = save_state(data)
        gs.check(state["y"] == 1190.0 and int(state["x"]) == x,
                 "saved position %r, the screen shows the player at x %d" % (state, x))
        gs.check((state["dirt"], state["grass"], state["stone"], state["gold"]) == (0, 1, 0, 0),
                 "saved counts %r" % state)

        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        gs.expect_lines(gs.without_handler_lines(game.output()), gs.STARTUP_LINES + [
            "Selected Resolution: 1440x900!", "Loading Blocks", "Generating a New World", "Starting to Draw.",
            "Destroying all that we worked so hard to create :(", "Quitting, Thanks for playing!"])
        return data, state, grass_box(walked), dirt_box(walked)
    finally:
        game.stop()


def second_run(server, executable, workdir, saved, state, grass_pixels, dirt_pixels):
    game, window = gs.start_game(server, executable, workdir, ["1200x700", "Load World"], (1200, 700))
    try:
        # At 1200x700 the camera is centred on y 1190 (screen y 350): row 121
        # is drawn at y 370 to 379, columns from the left edge.
        x = int(state["x"])
        shot = gs.wait_until(lambda: (lambda s: s if standing_on_surface(s, 350) == x else None)(window.screenshot()),
                             gs.LONG, "the loaded player standing at screen x %d" % x, interval=0.2)
        gs.check(shot.all_of(30, 370, 40, 380, gs.BLACK), "the dug cell is not there")
        gs.check(shot.all_of(0, 370, 30, 380, gs.GRASS) and shot.all_of(40, 370, x, 380, gs.GRASS),
                 "the loaded surface differs")
        check_hud(shot)
        gs.check(grass_box(shot) == grass_pixels, "the HUD's Grass count differs from the saved one")
        gs.check(dirt_box(shot) == dirt_pixels, "the HUD's Dirt count differs from the saved one")

        os.rename(os.path.join(workdir, gs.SAVE_FILE), os.path.join(workdir, "first.wld"))
        window.click(1130, 690)
        game.wait_for_line("Saved the world!")
        again = read_save(workdir)
        gs.check(struct.unpack_from("<ii", again, 264) == (1200, 700), "the running window's size is not saved")
        gs.check(comparable(again) == comparable(saved), "saving the loaded game gives another world")

        window.close()
        code = game.wait_exit()
        gs.check(code == 0, "exit code %s\n%s" % (code, game.report()))
        lines = gs.without_handler_lines(game.output())
        gs.expect_lines(lines, gs.STARTUP_LINES + [
            "Selected Resolution: 1200x700!", "Loading Blocks", "Loading a saved world", "Starting to Draw.",
            "Destroying all that we worked so hard to create :(", "Quitting, Thanks for playing!"])
        gs.check(game.output().count("Loaded the world!") == 1, "no \"Loaded the world!\" line")
    finally:
        game.stop()


def main(executable, font):
    server = gs.Xvfb()
    workdir = gs.make_workdir(font)
    try:
        started = time.monotonic()
        saved, state, grass_pixels, dirt_pixels = first_run(server, executable, workdir)
        print("first run: %.1f s" % (time.monotonic() - started))
        second_run(server, executable, workdir, saved, state, grass_pixels, dirt_pixels)
    finally:
        server.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    gs.run(main)
