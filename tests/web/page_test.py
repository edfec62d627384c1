"""The page in each browser engine against the Linux game under Xvfb.

One Linux run gives the references: the start-up lines, the menu, the frame
of seed SEED's save, then (through the HUD's Load) the frame of a pocket deep
down and the save it writes of it. In each engine (browsers.py: headless
Chromium, Firefox and WebKitGTK in windows), one browser compares the
start-up, the menu and a ?seed= world; another opens the pocket's save,
refuses damaged ones, loads, saves, plays with the keys and buttons, and
reloads. Chromium also plays the page as an app from a sub-folder: installable,
offline with its server stopped, and updated whole to a second build.

Usage: page_test.py PAGE_FOLDER LINUX_BUILD_DIR [ENGINE...]   (all of them by default)
"""

import contextlib
import hashlib
import itertools
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
import game_session as gs  # noqa: E402
import play_session_test as play  # noqa: E402
import same_on_both_systems_test as both  # noqa: E402
import browsers  # noqa: E402

W, H = both.WIDTH, both.HEIGHT
STONE = (125, 125, 125)
# The pocket's player stands at (3600, 3590) in the window's centre, so cell
# (c, r) is drawn from (10 c - 2880, 10 r - 3140), where clicks name it too.
POCKET_X = W // 2
KEYS = 36  # where the held keys are in a save
# Records how the tab was when the HUD's Save, clicked by a timer, was stored.
SAVE_WHEN_HIDDEN = """new MutationObserver(() => {
  if (!window.savedWhile && document.getElementById("log").textContent.includes("Saved the world!"))
    window.savedWhile = document.visibilityState;
}).observe(document.getElementById("log"), {childList: true, characterData: true, subtree: true});
setTimeout(() => {
  const canvas = document.getElementById("canvas"), box = canvas.getBoundingClientRect();
  for (const type of ["mousemove", "mousedown", "mouseup"])
    canvas.dispatchEvent(new MouseEvent(type, {bubbles: true, clientX: box.left + %d, clientY: box.top + %d}));
}, 2000);"""
# A same-origin script does what the game's own code may do; DevTools' scripts' errors are muted.
IN_PAGE = """const script = document.createElement("script");
script.textContent = %s;
document.head.append(script);"""
KEPT = " Reload the page to play on: your last save is kept, and can still be downloaded."
FAULTS = (
    ("a fault inside the running game is said, with what to do",
     IN_PAGE % repr("requestAnimationFrame = () => { throw new Error('no frames') }"),
     "Clodmere stopped on a fault (Error: no frames)." + KEPT),
    ("a lost WebGL context is said, with what to do",
     "Module.canvas.getContext('webgl').getExtension('WEBGL_lose_context').loseContext()",
     "Clodmere lost its picture: the browser took back its graphics (WebGL)." + KEPT),
)
# How the browser's storage may refuse a save: at the put, or as the transaction commits (a full disk).
REFUSED_PUTS = ("IDBObjectStore.prototype.put = () => { throw new DOMException('', 'QuotaExceededError') }",
                """IDBObjectStore.prototype.put = function (...args) {
                     const request = window.realPut.apply(this, args), transaction = this.transaction;
                     request.addEventListener("success", () => {
                       Object.defineProperty(transaction, "error", {value: new DOMException("", "QuotaExceededError")});
                       transaction.abort();
                     });
                     return request;
                   }""")


def at_rest(source, left, what, top=H // 2):
    """A still frame with the player's box at screen (`left`, `top`), standing on something solid."""
    def resting():
        shot = play.wait_still(source, what)
        return shot if shot.all_of(left, top, left + 10, top + 20, gs.PLAYER) and \
            shot.pixel(left + 5, top + 20) not in (gs.SKY, gs.BLACK) else None
    return gs.wait_until(resting, gs.LONG, what)


def wait_for_frame(grab, expected, what):
    """Waits until `grab()` has `expected`'s pixels (a screen may still show what came before)."""
    deadline = time.monotonic() + gs.LONG
    while True:
        try:
            return gs.check_same_pixels(grab(), expected, what)
        except gs.TestFailure:
            if time.monotonic() > deadline:
                raise
        time.sleep(0.5)


@contextlib.contextmanager
def linux_game(build, save, size=(1920, 1200)):
    """The Linux game on a screen of `size` in a folder holding `save`: (game, its painted menu, the folder)."""
    server = gs.Xvfb(*size)
    workdir = gs.make_workdir(os.path.join(build, "data", "arial.ttf"))
    game = None
    try:
        shutil.copyfile(save, os.path.join(workdir, gs.SAVE_FILE))
        game = gs.Game(server, os.path.join(build, "clodmere"), workdir)
        yield game, game.find_menu(), workdir
    finally:
        if game is not None:
            game.stop()
        server.close()
        shutil.rmtree(workdir, ignore_errors=True)


def linux_full_screen(build, seed_save, size):
    """The Linux game's frame of seed SEED's save, full screen on a screen of `size`, as the screen shows it."""
    with linux_game(build, seed_save, size) as (game, menu, _):
        menu.click(*gs.MENU_POINTS["Fullscreen"])
        menu.click(*gs.MENU_POINTS["Load World"])
        window = game.find_window(size[0] + 1, size[1] + 1)
        game.wait_for_line("Loaded the world!")
        return at_rest(window, 30, "the Linux player full screen", top=(size[1] + 1) // 2)


class Linux:
    """The reference run: seed SEED's save through the menu, then the pocket through the HUD's Load."""

    def __init__(self, build, seed_save, pocket_save):
        with linux_game(build, seed_save) as (game, menu, workdir):
            self.menu = play.wait_still(menu, "the Linux menu to be still")
            game.wait_for_line(gs.STARTUP_LINES[-1])
            self.startup = game.output()
            menu.click(*gs.MENU_POINTS["1440x900"])
            menu.click(*gs.MENU_POINTS["Load World"])
            window = game.find_window(W, H)
            game.wait_for_line("Loaded the world!")
            self.seed_frame = at_rest(window, 30, "the Linux player on the surface")
            shutil.copyfile(pocket_save, os.path.join(workdir, gs.SAVE_FILE))
            window.click(W - 20, H - 10)
            game.wait_for_line("Loaded the world!", count=2)
            self.pocket_frame = at_rest(window, POCKET_X, "the Linux player in the pocket")
            window.click(W - 80, H - 10)
            game.wait_for_line("Saved the world!")
            self.pocket_save = play.read_save(workdir)


def startup_menu_and_seed_world(new_page, linux):
    page = new_page()
    try:
        yield "start-up lines in #log are the Linux game's, byte for byte"
        page.open("?seed=%d" % both.SEED)
        gs.expect_lines(linux.startup, gs.STARTUP_LINES)
        startup = "".join(line + "\n" for line in linux.startup)
        gs.check(page.log() == startup, "#log holds %r, the Linux game printed %r" % (page.log(), startup))
        gs.check(not page.failure_shown(), "#failure is shown")

        yield "the menu's pixels are the Linux game's"
        gs.check_same_pixels(play.wait_still(page, "the page's menu to be still"), linux.menu, "the menu")

        yield "?seed=%d's new world is the frame of the Linux game's save of that seed" % both.SEED
        for label in ("1440x900", "New World"):
            page.click(*gs.MENU_POINTS[label])
        page.wait_for_line("Starting to Draw.")
        gs.check(page.log() == startup + "Selected Resolution: 1440x900!\nLoading Blocks\nGenerating a New World\n"
                 "Starting to Draw.\n", "the log after the menu: %r" % page.log()[len(startup):])
        gs.check_same_pixels(at_rest(page, 30, "the page's player on the surface"), linux.seed_frame,
                             "the seed's world")
    finally:
        page.close()


def saves_in_and_out_and_controls(new_page, linux, pocket_save, seed_save, workdir):
    page = new_page()
    with open(pocket_save, "rb") as f:
        pocket = f.read()
    try:
        yield "a desktop save opened with #open-save becomes the page's save, byte for byte"
        page.open()
        page.set_file("open-save", pocket_save)
        page.wait_for_line("Opened pocket.wld as the page's save: Load World starts it.")
        gs.check(page.stored_hash() == hashlib.sha256(pocket).hexdigest(), "the stored save differs from the file")

        yield "damaged saves are refused with the reason and the page's save kept"
        wrong_kind = bytearray(pocket)
        struct.pack_into("<i", wrong_kind, play.cell_offset(200, 300) + 8, 9)
        for name, data, reason in (("short.wld", pocket[:-1], "the file is 9677079 bytes long, not 9677080"),
                                   ("kind.wld", wrong_kind, "the cell at column 200, row 300 has kind 9")):
            with open(os.path.join(workdir, name), "wb") as f:
                f.write(data)
            page.set_file("open-save", os.path.join(workdir, name))
            page.wait_for_line("Could not open %s: %s" % (name, reason))
        gs.check(page.stored_hash() == hashlib.sha256(pocket).hexdigest(), "a refused file changed the page's save")

        yield "Load World shows the opened save as the Linux game does"
        page.open(menu=("1440x900", "Load World"))
        page.wait_for_line("Loaded the world!")
        gs.check_same_pixels(at_rest(page, POCKET_X, "the page's player in the pocket"), linux.pocket_frame,
                             "the pocket")

        yield "the HUD's Save downloads the Linux game's save of that world"
        page.click(W - 80, H - 10)
        page.wait_for_line("Saved the world!")
        saved = page.download()
        gs.check(hashlib.sha256(saved).hexdigest() == page.stored_hash(), "the download is not the stored save")
        gs.check(len(saved) == gs.SAVE_SIZE and play.comparable(saved) == play.comparable(linux.pocket_save),
                 "the page saved another world (%d bytes)" % len(saved))

        yield "number keys select, the left button digs, the right places with no menu, arrows walk and jump"
        page.run("addEventListener('contextmenu', e => { window.menuKept = e.defaultPrevented })")

        def click_cell(x, y, button):
            page.click(x, y, button)
            page.wait_for_line("Clicked block coords: %d.000000x%d.000000" % (2880 + x // 10 * 10, 3140 + y // 10 * 10))
        # Two Stone floor cells right of the player, then one Stone into the pocket's top row. The canvas takes
        # the keys once it is clicked (the download button has the focus), so Stone is chosen after the first dig.
        click_cell(735, 475, "left")
        page.key_down("3")
        page.key_up("3")
        # In a world otherwise still, the key alone moves the HUD's marker.
        gs.wait_until(lambda: page.screenshot().all_of(138, H - 18, 148, H - 8, STONE), gs.LONG,
                      "the HUD's marker on Stone")
        click_cell(745, 475, "left")
        click_cell(745, 435, "right")
        gs.check(page.run("return window.menuKept") is True, "the right button opens a menu")
        placed = gs.wait_until(lambda: (lambda s: s if s.all_of(730, 470, 750, 480, gs.BLACK) and s.all_of(
            740, 430, 750, 440, STONE) else None)(page.screenshot()), gs.LONG, "the dug and placed cells drawn")
        page.key_down("ArrowLeft")
        gs.wait_until(lambda: page.screenshot().data != placed.data, gs.LONG, "the player to walk left")
        page.key_up("ArrowLeft")
        page.key_down("ArrowUp")
        gs.wait_until(lambda: page.screenshot().pixel(POCKET_X + 5, H // 2 + 20) != STONE, gs.LONG,
                      "the player to leave the floor")
        # Tab goes on to the page's controls, and the key held goes up with the canvas's focus.
        page.key_down("Tab")
        page.key_up("Tab")
        gs.check(page.run("return document.activeElement !== Module.canvas"), "Tab left the focus on the canvas")
        played = at_rest(page, POCKET_X, "the player to land")
        page.key_up("ArrowUp")
        page.click(W - 80, H - 10)
        page.wait_for_line("Saved the world!", count=2)
        saved = page.download()
        state = play.save_state(saved)
        gs.check([play.save_cell(saved, *cell) for cell in ((361, 361), (362, 361), (362, 357))] == [
            {"id": 6, "passable": 1}] * 2 + [{"id": 4, "passable": 0}], "the dug and placed cells are not saved so")
        gs.check(3570 <= state["x"] < 3600 and state["y"] == 3590, "the player is saved at %r" % state)
        gs.check((state["dirt"], state["grass"], state["stone"], state["gold"], state["selected"]) == (0, 0, 1, 0, 3),
                 "saved counts and selection %r: two Stone dug, one placed, Stone selected" % state)
        gs.check(not any(saved[KEYS:KEYS + 227]), "a key is saved as held")

        yield "the save outlives a reload: Load World brings back the same frame"
        page.open(menu=("1440x900", "Load World"))
        page.wait_for_line("Loaded the world!")
        gs.check_same_pixels(at_rest(page, POCKET_X, "the reloaded player"), played, "the reloaded world")

        yield "the HUD's Load reads the storage afresh: a save opened since is the one it loads"
        page.set_file("open-save", seed_save)
        page.wait_for_line("Opened seed.wld as the page's save: Load World starts it.")
        page.click(W - 20, H - 10)
        page.wait_for_line("Loaded the world!", count=2)
        gs.check_same_pixels(at_rest(page, 30, "the opened save's player"), linux.seed_frame, "the opened save")

        yield "saves the browser's storage refuses, at once or as it commits, say why and leave the stored save"
        kept = page.stored_hash()
        page.run("window.realPut = IDBObjectStore.prototype.put")
        for count, refusal in enumerate(REFUSED_PUTS, 1):
            page.run("IDBObjectStore.prototype.put = window.realPut; " + refusal)
            page.click(W - 80, H - 10)
            gs.wait_until(lambda: page.log().count("Could not save the world: the browser's storage for this site is "
                                                   "full\n") == count, gs.LONG, "the refused save's line")
        gs.check("Saved the world!" not in page.log() and page.stored_hash() == kept, "a refused save counted")

        yield "a load that cannot read the storage says that the world may still be there"
        page.run("IDBObjectStore.prototype.get = () => { throw new DOMException('', 'UnknownError') }")
        page.click(W - 20, H - 10)
        gs.wait_until(lambda: "The page's storage could not be read (UnknownError): the saved world may still be "
                      "there, so reload the page before you save.\nNo save found\n" in page.log(), gs.LONG,
                      "the unreadable storage's line")
    finally:
        page.close()


def failures_and_a_hidden_tab(url, linux):
    startup = "".join(line + "\n" for line in linux.startup)
    page = browsers.Chromium(url, flags=["--disable-3d-apis"])
    try:
        yield "without WebGL start-up ends with its line, and the page says what to do"
        page.goto(url)
        gs.wait_until(page.failure_shown, gs.LONG, "#failure")
        gs.check(page.log() == startup.split("Loading Font")[0] + "Failed to create display!\n", "the log: %r" % page.log())
        gs.check(page.failure().startswith("Clodmere cannot draw in this browser: it has no WebGL. Turn on hardware "
                                           "acceleration"), "#failure says %r" % page.failure())
    finally:
        page.close()

    page = browsers.Chromium(url)
    try:
        yield "a page whose font is missing starts without its HUD and says so, as the desktop game does"
        page.driver.execute_cdp_cmd("Network.enable", {})
        page.driver.execute_cdp_cmd("Network.setBlockedURLs", {"urls": ["*/arial.ttf"]})
        page.open("?seed=%d" % both.SEED, menu=("1440x900", "New World"))
        page.wait_for_line("Starting to Draw.")
        remark = startup.index("Initializing Event Sources")
        gs.check(page.log().startswith(startup[:remark] + "Unable to find font, you cocked something up... dropping "
                                       "HUD elements :(\n" + startup[remark:]), "the log: %r" % page.log())
        frame = at_rest(page, 30, "the player on the surface")
        gs.check_same_pixels(frame, linux.seed_frame, "the world above the HUD", bottom=H - 50)
        gs.check(frame.region(0, H - 50, W, H) != linux.seed_frame.region(0, H - 50, W, H), "a HUD is drawn")
        page.driver.execute_cdp_cmd("Network.setBlockedURLs", {"urls": []})

        yield "a hidden tab's game goes on: a Save clicked while it is hidden is stored while it is hidden"
        page.open("?seed=%d" % both.SEED, menu=("1440x900", "New World"))
        page.wait_for_line("Starting to Draw.")
        page.run(SAVE_WHEN_HIDDEN % (W - 80, H - 10))
        shown = page.driver.current_window_handle
        page.driver.switch_to.new_window("tab")
        time.sleep(8)  # the other tab is in front meanwhile
        page.driver.switch_to.window(shown)
        gs.check(page.run("return window.savedWhile") == "hidden", "the save was stored once the tab was shown "
                 "(%r); the log: %r" % (page.run("return window.savedWhile"), page.log()))

        for name, fault, failure in FAULTS:
            yield name
            page.open()
            page.run(fault)
            gs.wait_until(page.failure_shown, gs.LONG, "#failure")
            gs.check(page.failure() == failure, "#failure says %r" % page.failure())
    finally:
        page.close()


def pixel_ratios(url, linux, build, seed_save):
    """Chromium in a window on the X screen, at a device pixel ratio of each scale."""
    full_screen = {}
    for scale in (1, 1.5, 2):
        k = int(scale)
        yield "at pixel ratio %s the menu and a world fill the screen in crisp %d x %d squares" % (scale, k, k)
        size = (1920 // k, 1200 // k)
        if size not in full_screen:
            full_screen[size] = linux_full_screen(build, seed_save, size)
        screen = browsers.Screen()
        page = browsers.Chromium(url, screen, scale=scale)
        try:
            page.open("?seed=%d" % both.SEED)
            gs.check_same_pixels(play.wait_still(page, "the menu to be still"), linux.menu, "the menu")
            for label in ("Fullscreen", "New World"):
                page.click(*gs.MENU_POINTS[label])
            page.wait_for_line("Starting to Draw.")
            gs.wait_until(lambda: page.run("return document.fullscreenElement !== null"), gs.LONG, "full-screen mode")
            gs.check(page.run("return [canvas.width, canvas.height]") == [size[0] + 1, size[1] + 1],
                     "the canvas is %r, not the screen's game pixels plus one" % page.run(
                         "return [canvas.width, canvas.height]"))
            wait_for_frame(lambda: browsers.game_pixels(screen.shot(0, 0, screen.width, screen.height), k) or
                           gs.Shot(b"", 0, 1), full_screen[size], "the screen full of the game")
        finally:
            page.close()
            screen.close()


# The page's caches, its worker, and the new build's files the page is not served as the host's list has them.
AS_SERVED = """const done = arguments[0], hex = hash => Array.from(new Uint8Array(hash), b => b.toString(16).padStart(2, "0"));
fetch("files.sha256", {cache: "no-store"}).then(r => r.text()).then(list => Promise.all(list.trim().split("\\n")
  .map(line => line.split("  ")).map(([sum, name]) => fetch(name).then(r => r.arrayBuffer())
    .then(b => crypto.subtle.digest("SHA-256", b)).then(hash => hex(hash).join("") === sum ? [] : [name]))))
  .then(async stale => done([await caches.keys(), navigator.serviceWorker.controller.scriptURL, stale.flat()]), done);"""
# The manifest's icons as the browser loads them: [size declared, width, height].
ICONS = """const done = arguments[0];
fetch("manifest.webmanifest").then(r => r.json()).then(manifest => Promise.all(manifest.icons.map(icon => {
  const image = new Image();
  image.src = icon.src;
  return image.decode().then(() => [icon.sizes, image.naturalWidth, image.naturalHeight]);
}))).then(done, error => done(String(error)));"""


def serve(folder, first_port):
    """scripts/serve_web.py serving `folder`: (its process, the page's address)."""
    server = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                            "scripts", "serve_web.py"), folder,
                               "--first-port", str(first_port)], stdout=subprocess.PIPE, text=True)
    return server, server.stdout.readline().strip()


def an_app_offline_and_updated(folder, linux, seed_save, workdir):
    """The page as an app, from a sub-folder of its server: installed, without the network, then a new build."""
    site = os.path.join(workdir, "site")
    os.makedirs(os.path.join(site, "games"))
    served = os.path.join(site, "games", "clodmere")
    os.symlink(folder, served)
    server, url = serve(site, 8760)
    page = browsers.Chromium(url.replace("/index.html", "/games/clodmere/index.html"))
    try:
        yield "from a sub-folder the page is installable, its icons load, and its build is kept"
        page.open()
        page.run_async("navigator.serviceWorker.ready.then(() => arguments[0]())")
        errors = page.driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"]
        gs.check(errors == [], "Chromium would not install it: %r" % errors)
        gs.wait_until(lambda: page.run('return !document.getElementById("install").hidden'), gs.LONG,
                      "the Install Clodmere button")
        icons = page.run_async(ICONS)
        gs.check(icons == [["192x192", 192, 192], ["512x512", 512, 512], ["512x512", 512, 512]], "the icons %r" % icons)

        yield "with the server stopped a ?seed= link starts, Load World shows the stored save, and Save stores"
        page.set_file("open-save", seed_save)
        page.wait_for_line("Opened seed.wld as the page's save: Load World starts it.")
        gs.end(server)
        page.open("?seed=%d" % both.SEED, menu=("1440x900", "Load World"))
        page.wait_for_line("Loaded the world!")
        gs.check_same_pixels(at_rest(page, 30, "the player offline"), linux.seed_frame, "the stored save offline")
        page.click(W - 80, H - 10)
        page.wait_for_line("Saved the world!")
        gs.wait_until(lambda: page.run('return !document.getElementById("kept").hidden'), gs.LONG,
                      "the line on how long the save is kept")

        yield "a new build served in the old one's place is said to be ready, then runs whole at the next load"
        # Another build of the same files' times: a server that answers by the time cannot tell them apart.
        update = os.path.join(workdir, "update")
        shutil.copytree(folder, update)
        changed = os.path.join(update, "page.js")
        times = os.stat(changed)
        with open(changed, "a") as f:
            f.write('window.clodmereBuild = "the update";\n')
        os.utime(changed, ns=(times.st_atime_ns, times.st_mtime_ns))
        subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                                     "list_web_files.sh"), update], check=True)
        os.remove(served)
        os.symlink(update, served)
        server, _ = serve(site, 8760)
        page.open()
        gs.wait_until(lambda: page.run('return !document.getElementById("version").hidden'), gs.LONG,
                      "the new version's line")
        gs.check(page.run("return window.clodmereBuild") is None, "the new build ran before the next load")
        page.open()
        gs.check(page.run("return window.clodmereBuild") == "the update", "the old build ran at the next load")
        gs.check_same_pixels(play.wait_still(page, "the new build's menu to be still"), linux.menu, "the menu")
        caches, worker, stale = page.run_async(AS_SERVED)
        with open(os.path.join(update, "files.sha256"), "rb") as f:
            build = hashlib.sha256(f.read()).hexdigest()[:16]
        gs.check(worker.endswith("?build=" + build) and len(caches) == 1 and caches[0].endswith(" " + build),
                 "the page runs with the worker %s and the caches %r, not build %s's" % (worker, caches, build))
        gs.check(not stale, "files served that are not the new build's: %r" % stale)
    finally:
        page.close()
        gs.end(server)


def report(results, name, why=None):
    results.append(why is None)
    print(("PASS " + name) if why is None else ("FAIL %s\n    %s" % (name, why)), flush=True)


def run_cases(cases, results, engine):
    """`cases` yields each case's name before running it; a failure ends its group."""
    name = None
    try:
        for following in itertools.chain(cases, [None]):
            if name is not None:
                report(results, "%s: %s" % (engine, name))
            name = following
    except Exception as error:
        report(results, "%s: %s" % (engine, name or "starting the browser"),
               str(error) if isinstance(error, gs.TestFailure) else traceback.format_exc())


def in_engine(engine, url, folder, linux, build, seed_save, pocket_save, workdir, results):
    """Every case in one engine; a windowed one gets an X server of its own, made with its first page."""
    screens = []

    def new_page():
        if engine in browsers.WINDOWED and not screens:
            screens.append(browsers.Screen())
        return browsers.ENGINES[engine](url, *screens)
    started = time.monotonic()
    try:
        run_cases(startup_menu_and_seed_world(new_page, linux), results, engine)
        run_cases(saves_in_and_out_and_controls(new_page, linux, pocket_save, seed_save, workdir), results, engine)
        if engine == "chromium":  # its flags and its DevTools make these
            run_cases(failures_and_a_hidden_tab(url, linux), results, engine)
            run_cases(pixel_ratios(url, linux, build, seed_save), results, engine)
            run_cases(an_app_offline_and_updated(folder, linux, seed_save, workdir), results, engine)
    finally:
        for screen in screens:
            screen.close()
    print("%s: %.0f s" % (engine, time.monotonic() - started), flush=True)


def main():
    folder, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    engines = sys.argv[3:] or list(browsers.ENGINES)
    unknown = [engine for engine in engines if engine not in browsers.ENGINES]
    if unknown:
        sys.exit("page_test: no engine %s (there are %s)" % (", ".join(unknown), ", ".join(browsers.ENGINES)))
    os.environ["ASAN_OPTIONS"] = "detect_leaks=0"
    workdir = tempfile.mkdtemp(prefix="clodmere-web-")
    seed_save, pocket_save = os.path.join(workdir, "seed.wld"), os.path.join(workdir, "pocket.wld")
    tool = os.path.join(build, "tools", "clodmere-save")
    server, url = serve(folder, 8700)
    results = []
    try:
        subprocess.run([tool, "new", "--seed", str(both.SEED), seed_save], check=True, capture_output=True)
        both.make_save(tool, pocket_save)
        linux = Linux(build, seed_save, pocket_save)
    except Exception:
        report(results, "the Linux reference run", traceback.format_exc())
    else:
        for engine in engines:
            in_engine(engine, url, folder, linux, build, seed_save, pocket_save, workdir, results)
    finally:
        server.kill()
        server.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
