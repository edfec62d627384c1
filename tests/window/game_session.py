"""Drives the real game under a private Xvfb server: start-up, clicks, keys,
closing the window the way a user does, screenshots and the live console.

Every wait is a poll with a generous time-out: under Xvfb frames are drawn by
the software OpenGL rasteriser, and the sanitized build is slower still.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

from Xlib import X, display as xdisplay, protocol

TITLE = "Clodmere 0.69 - Raraded"
SAVE_FILE = "ClodmereSave.wld"
SAVE_SIZE = 9677080

# Colours of the game, (red, green, blue).
SKY = (125, 125, 255)
GRASS = (0, 255, 0)
DIRT = (160, 100, 25)
BLACK = (0, 0, 0)
PLAYER = (0, 125, 125)
FACE_GREY = (165, 165, 165)

# Menu click points: inside each button, away from its exclusive edges.
MENU_POINTS = {
    "1200x700": (90, 70),
    "1440x900": (240, 70),
    "1680x1050": (390, 70),
    "Fullscreen": (540, 70),
    "New World": (255, 180),
    "Load World": (380, 180),
}

# With the font found in ./data (the Windows font folder does not exist here).
STARTUP_LINES = [
    "Starting Clodmere 0.69! Please note that this is mainly a debug window.",
    "Initializing System",
    "Loading Font",
    "Windows font not found, ",
    "Initializing Event Sources",
    "Initializing Player",
]
FONT_REMARK_PREFIX = "Windows font not found, "

# Lines the game prints while it is played; tests of the start-up order skip them.
HANDLER_LINE_PREFIXES = ("Clicked block coords: ", "Test", "Saved the world!", "Loaded the world!",
                         "No save found", "Could not save", "Save file is damaged")

LONG = 120.0  # seconds: the generous bound of every wait

# A Windows build runs under wine, in the prefix the caller's WINEPREFIX names.
WINE = "/usr/lib/wine/wine64"


def command(executable):
    """How to start `executable`: a Windows program through wine."""
    return [WINE, executable] if executable.endswith(".exe") else [executable]


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def end(process):
    """Asks `process` to end, and makes it if it will not within 10 s."""
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wait_until(predicate, timeout, what, interval=0.1):
    """Polls `predicate` until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TestFailure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class Xvfb:
    """A private X server on a display number it picks itself."""

    def __init__(self, width=1920, height=1200):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        check(number.strip(), "Xvfb did not report its display number")
        self.name = ":" + number.decode().strip()
        self.x = xdisplay.Display(self.name)

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def close(self):
        try:
            self.x.close()
        except Exception:
            pass
        end(self.process)


class Game:
    """One run of the executable in `workdir`, with its console read live."""

    def __init__(self, server, executable, workdir):
        self.server = server
        self.workdir = workdir
        self.lines = []
        self.errors = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(command(executable), cwd=workdir, env=server.env(), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.readers = [threading.Thread(target=self._read, args=(self.process.stdout, self.lines), daemon=True),
                        threading.Thread(target=self._read, args=(self.process.stderr, self.errors), daemon=True)]
        for reader in self.readers:
            reader.start()

    def _read(self, stream, into):
        for raw in iter(stream.readline, b""):
            with self.lock:
                into.append(raw.decode("utf-8", "replace").rstrip("\n"))

    def output(self):
        with self.lock:
            return list(self.lines)

    def wait_for_line(self, text, timeout=LONG, count=1):
        """Waits until `text` has been printed `count` times in all."""
        def seen():
            if self.process.poll() is not None and self.output().count(text) < count:
                raise TestFailure("the game ended (exit %s) before printing %r\n%s"
                                  % (self.process.returncode, text, self.report()))
            return self.output().count(text) >= count
        wait_until(seen, timeout, "the console line %r" % text)

    def wait_exit(self, timeout=LONG):
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure("the game did not end within %.0f s\n%s" % (timeout, self.report()))
        for reader in self.readers:
            reader.join(timeout=10)
        return code

    def report(self):
        with self.lock:
            return ("--- console ---\n" + "\n".join(self.lines) +
                    "\n--- stderr (last lines) ---\n" + "\n".join(self.errors[-40:]))

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    # --- windows -------------------------------------------------------

    def find_window(self, width, height, timeout=LONG):
        """The mapped game window of this size, found by its title."""
        def search():
            if self.process.poll() is not None:
                raise TestFailure("the game ended (exit %s) before its %dx%d window appeared\n%s"
                                  % (self.process.returncode, width, height, self.report()))
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE],
                                   env=self.server.env(), capture_output=True, text=True)
            for wid in found.stdout.split():
                try:
                    window = self.server.x.create_resource_object("window", int(wid))
                    geometry = window.get_geometry()
                except Exception:
                    continue
                if (geometry.width, geometry.height) == (width, height):
                    return Window(self, int(wid), width, height)
            return None
        return wait_until(search, timeout, "a %dx%d window titled %r" % (width, height, TITLE), interval=0.2)


    def find_menu(self):
        """The start menu's window, once it is painted: the window opens before
        its events are routed to the game, so a click or close counts only then."""
        menu = self.find_window(640, 240)
        wait_until(lambda: menu.screenshot().pixel(55, 55) == FACE_GREY, LONG, "the start menu's buttons")
        return menu


class Window:
    def __init__(self, game, wid, width, height):
        self.game = game
        self.wid = wid
        self.width = width
        self.height = height
        self.x = game.server.x
        self.window = self.x.create_resource_object("window", wid)

    def _xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.game.server.env(), check=True,
                       capture_output=True)

    def click(self, x, y, button=1):
        self._xdotool("mousemove", "--window", self.wid, x, y, "click", button)

    def mouse_down(self, x, y, button=1):
        self._xdotool("mousemove", "--window", self.wid, x, y, "mousedown", button)

    def mouse_up(self, button=1):
        self._xdotool("mouseup", button)

    def key_down(self, key):
        self._xdotool("keydown", "--window", self.wid, key)

    def key_up(self, key):
        self._xdotool("keyup", "--window", self.wid, key)

    def close(self):
        """Asks the window to close as a window manager does for the user."""
        protocols = self.x.intern_atom("WM_PROTOCOLS")
        delete = self.x.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=self.window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        self.window.send_event(event, event_mask=X.NoEventMask)
        self.x.flush()

    def frameless(self):
        """True when the window asks the window manager for no frame and title
        bar (decorations 0 in its Motif hints); absent hints mean a frame."""
        hints = self.window.get_full_property(self.x.intern_atom("_MOTIF_WM_HINTS"), X.AnyPropertyType)
        decorations_flag = 2
        return hints is not None and bool(hints.value[0] & decorations_flag) and hints.value[2] == 0

    def screenshot(self):
        """The part of the window on the screen (X refuses to read beyond it:
        the full-screen window is one pixel larger than the monitor)."""
        root = self.x.screen().root
        origin = self.window.translate_coords(root, 0, 0)
        screen = root.get_geometry()
        width = min(self.width, screen.width + origin.x)
        height = min(self.height, screen.height + origin.y)
        image = self.window.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF)
        return Shot(image.data, width, height)


class Shot:
    """A screenshot of the window: 32-bit BGRX rows."""

    def __init__(self, data, width, height):
        self.data = bytes(data)
        self.width = width
        self.height = height
        self.stride = len(self.data) // height

    def pixel(self, x, y):
        i = y * self.stride + x * 4
        b, g, r = self.data[i], self.data[i + 1], self.data[i + 2]
        return (r, g, b)

    def region(self, left, top, right, bottom):
        """The raw pixels of a rectangle (right and bottom exclusive), for comparing."""
        return b"".join(self.data[y * self.stride + left * 4:y * self.stride + right * 4] for y in range(top, bottom))

    def all_of(self, left, top, right, bottom, colour):
        return all(self.pixel(x, y) == colour for y in range(top, bottom) for x in range(left, right))

    def light_pixels(self, left, top, right, bottom):
        return sum(1 for y in range(top, bottom) for x in range(left, right) if min(self.pixel(x, y)) >= 128)

    def glyphs(self, left, top, right, bottom):
        """The pixels of each glyph of a line of light text on black, left to
        right: runs of columns with ink, split at empty columns."""
        inked = [any(max(self.pixel(x, y)) > 40 for y in range(top, bottom)) for x in range(left, right)]
        runs, start = [], None
        for i, ink in enumerate(inked + [False]):
            if ink and start is None:
                start = i
            elif not ink and start is not None:
                runs.append(self.region(left + start, top, left + i, bottom))
                start = None
        return runs

    def write_png(self, path, scale=2):
        """A small PNG, scaled down by averaging scale x scale blocks."""
        width, height = self.width // scale, self.height // scale
        rows = []
        for y in range(height):
            row = bytearray(b"\x00")  # filter type: none
            for x in range(width):
                total = [0, 0, 0]
                for dy in range(scale):
                    for dx in range(scale):
                        pixel = self.pixel(x * scale + dx, y * scale + dy)
                        for c in range(3):
                            total[c] += pixel[c]
                row.extend(t // (scale * scale) for t in total)
            rows.append(bytes(row))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                      chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def make_workdir(font):
    """A fresh working directory holding data/arial.ttf, as the game expects."""
    workdir = tempfile.mkdtemp(prefix="clodmere-window-")
    os.makedirs(os.path.join(workdir, "data"))
    shutil.copyfile(font, os.path.join(workdir, "data", "arial.ttf"))
    return workdir


def start_game(server, executable, workdir, menu_clicks, size):
    """Starts the game, works the start menu and returns (game, game window)."""
    game = Game(server, executable, workdir)
    try:
        menu = game.find_menu()
        for label in menu_clicks:
            menu.click(*MENU_POINTS[label])
        window = game.find_window(*size)
        game.wait_for_line("Starting to Draw.")
    except BaseException:
        game.stop()
        raise
    return game, window


def without_handler_lines(lines):
    return [line for line in lines if not line.startswith(HANDLER_LINE_PREFIXES)]


def check_same_pixels(shot, expected, what, bottom=None):
    """Every pixel of `shot` above row `bottom` (all of them by default) is `expected`'s."""
    bottom = shot.height if bottom is None else bottom
    check((shot.width, shot.height) == (expected.width, expected.height), "%s: %dx%d, not %dx%d"
          % (what, shot.width, shot.height, expected.width, expected.height))

    def colours(source):  # the fourth byte of a pixel is filler, which X and PIL fill differently
        data = bytearray(source.region(0, 0, source.width, bottom))
        del data[3::4]
        return data
    if colours(shot) == colours(expected):
        return
    differing = [(x, y) for y in range(bottom) for x in range(shot.width) if shot.pixel(x, y) != expected.pixel(x, y)]
    x, y = differing[0]
    raise TestFailure("%s: %d pixels differ, the first at (%d, %d): %r, not %r"
                      % (what, len(differing), x, y, shot.pixel(x, y), expected.pixel(x, y)))


def expect_lines(actual, expected):
    """`actual` equals `expected`; the font remark's wording after its prefix is free."""
    same = len(actual) == len(expected) and all(
        a.startswith(e) if e == FONT_REMARK_PREFIX else a == e for a, e in zip(actual, expected))
    check(same, "console lines differ:\nexpected %r\nactual   %r" % (expected, actual))


def run(test):
    """Runs `test(executable, font)` and turns its result into an exit code."""
    executable, font = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    started = time.monotonic()
    try:
        test(executable, font)
    except TestFailure as failure:
        print("FAILED: %s" % failure)
        sys.exit(1)
    print("passed in %.1f s" % (time.monotonic() - started))
