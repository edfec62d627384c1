"""The browsers page_test.py plays the page in, each behind one Page.

Chromium runs headless (its SwiftShader WebGL), through Selenium. Firefox
(headless it has no WebGL) and WebKitGTK's MiniBrowser run in a window on
their own Xvfb server with openbox, where llvmpipe gives them WebGL; Firefox
through puppeteer-core (firefox.js), MiniBrowser through Selenium and
WebKitWebDriver. The windowed ones' element screenshots of a WebGL canvas are
not its frame, so their screenshots are read off the X screen.
"""

import io
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading

from PIL import Image
from selenium.webdriver import Chrome, ChromeOptions, Keys
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.mouse_button import MouseButton
from selenium.webdriver.common.by import By
from selenium.webdriver.remote.webdriver import WebDriver as Remote
from selenium.webdriver.webkitgtk.options import Options as WebKitOptions
from selenium.webdriver.webkitgtk.service import Service as WebKitService
from Xlib import X

import game_session as gs

HERE = os.path.dirname(os.path.abspath(__file__))
FIREFOX = "/usr/lib/firefox-esr/firefox-esr"  # the program itself: /usr/bin/firefox-esr is a link to it
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
# The window holds a 1440x900 canvas and the page's panel below the toolbar.
WINDOW = (1700, 1150)
# Software WebGL, and no calls home.
CHROMIUM_FLAGS = ["--no-sandbox", "--use-gl=angle", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                  "--ignore-gpu-blocklist", "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--no-first-run", "--disable-quic"]
# Lines that end a wait for another: no test expects them.
REFUSALS = ("No save found", "Save file is damaged", "Could not save", "Could not download")
# The SHA-256 of the page's stored save: 9 MB is too much to pass back whole.
STORED_HASH = """const done = arguments[arguments.length - 1];
Module.storage.read("ClodmereSave.wld").then(bytes => bytes && crypto.subtle.digest("SHA-256", bytes)).then(
  hash => done(hash && Array.from(new Uint8Array(hash), b => b.toString(16).padStart(2, "0")).join("")), done);"""
# Where the canvas is in the viewport, in CSS pixels, and how many game pixels wide.
CANVAS_BOX = """const canvas = document.getElementById("canvas"), box = canvas.getBoundingClientRect();
return [box.left, box.top, box.width, box.height, devicePixelRatio, canvas.width];"""
# A square at the viewport's corner, in a colour the game never draws, tells where the page is on the screen.
MARKER = (3, 141, 59)
SHOW_MARKER = """const marker = document.createElement("div");
marker.id = "test-marker";
marker.style.cssText = "position: fixed; left: 0; top: 0; width: 16px; height: 16px; z-index: 2147483647; " +
  "background: rgb(%d, %d, %d)";
document.documentElement.appendChild(marker);""" % MARKER
HIDE_MARKER = 'document.getElementById("test-marker").remove()'
SELENIUM_KEYS = {"ArrowLeft": Keys.LEFT, "ArrowRight": Keys.RIGHT, "ArrowUp": Keys.UP, "ArrowDown": Keys.DOWN,
                 " ": Keys.SPACE, "Tab": Keys.TAB}


def game_pixels(shot, k):
    """The game's pixels of a capture that shows each as k x k device pixels, or None where a block is not
    of one colour (not crisp)."""
    if k == 1:
        return shot
    image = Image.frombytes("RGBX", (shot.width, shot.height), shot.data, "raw", "BGRX", shot.stride)
    width, height = shot.width // k, shot.height // k
    image = image.crop((0, 0, width * k, height * k))
    small = image.resize((width, height), Image.NEAREST)
    if small.resize(image.size, Image.NEAREST).tobytes() != image.tobytes():
        return None
    return gs.Shot(small.tobytes("raw", "BGRX"), width, height)


def held_open(path):
    """Whether any process has the file open."""
    path = os.path.realpath(path)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            fds = os.listdir("/proc/%s/fd" % pid)
        except OSError:
            continue
        for fd in fds:
            try:
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == path:
                    return True
            except OSError:
                pass
    return False


class Screen:
    """An Xvfb server with openbox, for the windowed browsers of one engine."""

    def __init__(self, width=1920, height=1200):
        self.server = gs.Xvfb(width, height)
        self.root = self.server.x.screen().root
        self.width, self.height = width, height
        self.openbox = subprocess.Popen(["openbox", "--sm-disable"], env=self.server.env(),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check = self.server.x.intern_atom("_NET_SUPPORTING_WM_CHECK")
        gs.wait_until(lambda: self.root.get_full_property(check, X.AnyPropertyType), gs.LONG, "openbox to start")

    def env(self, **extra):
        return dict(self.server.env(), **extra)

    def shot(self, left, top, width, height):
        """The pixels of a rectangle of the screen, cut to the screen."""
        left, top = max(left, 0), max(top, 0)
        width, height = min(width, self.width - left), min(height, self.height - top)
        image = self.root.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF)
        return gs.Shot(image.data, width, height)

    def find(self, colour):
        """The top-left pixel of the first run of eight pixels of `colour`, or None."""
        shot = self.shot(0, 0, self.width, self.height)
        rgb = bytearray(shot.data)
        del rgb[3::4]  # the filler byte
        run, start = bytes(reversed(colour)) * 8, 0
        while True:
            found = rgb.find(run, start)
            if found < 0:
                return None
            if found % 3 == 0:
                return (found // 3 % (shot.stride // 4), found // 3 // (shot.stride // 4))
            start = found + 1

    def close(self):
        gs.end(self.openbox)
        self.server.close()


class Page:
    """One browser with a profile of its own (a reused one would run a cached
    clodmere.wasm), and what the tests do with the page in it. Coordinates
    passed to click() are the canvas's, in game pixels. Each engine brings
    goto(url), run(function body) and run_async(body handing its result to its
    last argument), click_at(x, y, button) at a point of the viewport in CSS
    pixels, key_down(key), key_up(key) and set_file(element id, path)."""

    def __init__(self, url, screen=None):
        self.url = url
        self.screen = screen
        self.origin = None  # where the viewport's corner is on the screen
        self.profile = tempfile.mkdtemp(prefix="clodmere-%s-" % self.name)
        self.downloads = os.path.join(self.profile, "downloads")
        os.makedirs(self.downloads)

    def close(self):
        shutil.rmtree(self.profile, ignore_errors=True)

    # The same in every engine.
    def open(self, query="", menu=()):
        """Loads the page (its storage stays), waits for the painted menu and clicks `menu`."""
        self.goto(self.url + query)
        if self.screen is not None and self.origin is None:
            self.find_origin()
        self.wait_for_line("Initializing Player")
        gs.wait_until(lambda: self.screenshot().pixel(55, 55) == gs.FACE_GREY, gs.LONG, "the start menu's buttons")
        for label in menu:
            self.click(*gs.MENU_POINTS[label])

    def find_origin(self):
        self.run(SHOW_MARKER)
        self.origin = gs.wait_until(lambda: self.screen.find(MARKER), gs.LONG, "the page on the X screen")
        self.run(HIDE_MARKER)
        gs.wait_until(lambda: self.screen.find(MARKER) is None, gs.LONG, "the marker to go")

    def log(self):
        return self.run('return document.getElementById("log").textContent')

    def failure(self):
        return self.run('return document.getElementById("failure").textContent')

    def failure_shown(self):
        return self.run('return document.getElementById("failure").getClientRects().length > 0')

    def wait_for_line(self, text, count=1):
        def seen():
            lines, failed = self.log().splitlines(), self.failure_shown()
            refused = [line for line in lines if line.startswith(REFUSALS)]
            if failed or refused:
                raise gs.TestFailure("waiting for %r: %s; the log:\n%s"
                                     % (text, "#failure is shown" if failed else refused[0], "\n".join(lines)))
            return lines.count(text) >= count
        gs.wait_until(seen, gs.LONG, "the log line %r" % text, interval=0.2)

    def stored_hash(self):
        return self.run_async(STORED_HASH)

    def screenshot(self):
        """The canvas's game pixels on the screen (the part of it on the screen), which must be crisp."""
        def crisp():
            left, top, width, height, ratio, _ = self.run(CANVAS_BOX)
            shot = self.screen.shot(self.origin[0] + round(left * ratio), self.origin[1] + round(top * ratio),
                                    round(width * ratio), round(height * ratio))
            return game_pixels(shot, max(1, int(ratio)))
        # A frame being resized may show for a moment at the size before.
        return gs.wait_until(crisp, 10, "the canvas's pixels as crisp squares of device pixels")

    def click(self, x, y, button="left"):
        left, top, width, _, _, pixels = self.run(CANVAS_BOX)
        scale = width / pixels
        self.click_at(int(left + (x + 0.5) * scale), int(top + (y + 0.5) * scale), button)

    def click_element(self, element_id):
        left, top, width, height = self.run('const box = document.getElementById("%s").getBoundingClientRect(); '
                                            'return [box.left, box.top, box.width, box.height]' % element_id)
        self.click_at(int(left + width / 2), int(top + height / 2), "left")

    def download(self):
        """The bytes the download button gives, once the browser has finished the file."""
        path = os.path.join(self.downloads, gs.SAVE_FILE)
        self.click_element("download-save")
        # Chromium and Firefox write a download under another name; MiniBrowser writes it in place.
        def finished():
            partial = [name for name in os.listdir(self.downloads) if name.endswith((".part", ".crdownload"))]
            return os.path.exists(path) and not partial and not held_open(path)
        gs.wait_until(finished, gs.LONG, "the downloaded save")
        with open(path, "rb") as f:
            data = f.read()
        os.remove(path)  # the next download gets the same name
        if self.screen is not None:
            self.find_origin()  # MiniBrowser lists its downloads above the page, which moves it down
        return data


class SeleniumPage(Page):
    def goto(self, url):
        self.driver.get(url)

    def run(self, script):
        return self.driver.execute_script(script)

    def run_async(self, script):
        return self.driver.execute_async_script(script)

    def click_at(self, x, y, button):
        actions = ActionBuilder(self.driver)
        pressed = MouseButton.LEFT if button == "left" else MouseButton.RIGHT
        actions.pointer_action.move_to_location(x, y).pointer_down(pressed).pointer_up(pressed)
        actions.perform()

    def _key(self, key, down):
        actions = ActionBuilder(self.driver)
        key = SELENIUM_KEYS.get(key, key)
        (actions.key_action.key_down if down else actions.key_action.key_up)(key)
        actions.perform()

    def key_down(self, key):
        self._key(key, True)

    def key_up(self, key):
        self._key(key, False)

    def set_file(self, element_id, path):
        self.driver.find_element(By.ID, element_id).send_keys(path)

    def click_element(self, element_id):
        self.driver.find_element(By.ID, element_id).click()

    def close(self):
        try:
            self.driver.quit()
        finally:
            Page.close(self)


class Chromium(SeleniumPage):
    """Headless, or in a window on `screen` at a device pixel ratio of `scale`."""
    name = "chromium"

    def __init__(self, url, screen=None, scale=None, flags=()):
        Page.__init__(self, url, screen)
        options = ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        flags = CHROMIUM_FLAGS + list(flags) + ["--user-data-dir=" + os.path.join(self.profile, "user")]
        if screen is None:
            flags.append("--headless=new")
        else:
            # No infobars: they would push the page down after its place on the screen is known.
            flags += ["--test-type", "--window-position=0,0", "--window-size=%d,%d" % WINDOW]
            options.add_experimental_option("excludeSwitches", ["enable-automation"])
            # Nor the downloads bubble, which opens over the page.
            options.add_experimental_option("prefs", {"download_bubble.partial_view_enabled": False})
        if scale is not None:
            flags.append("--force-device-scale-factor=%s" % scale)
        for flag in flags:
            options.add_argument(flag)
        service = ChromeService("/usr/bin/chromedriver", env=None if screen is None else screen.env())
        self.driver = Chrome(service=service, options=options)
        if screen is None:
            self.driver.set_window_size(*WINDOW)
        self.driver.set_script_timeout(gs.LONG)
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": self.downloads})

    def screenshot(self):
        if self.screen is not None:
            return Page.screenshot(self)
        image = Image.open(io.BytesIO(self.driver.find_element(By.ID, "canvas").screenshot_as_png)).convert("RGB")
        return gs.Shot(image.tobytes("raw", "BGRX"), image.width, image.height)


class WebKit(SeleniumPage):
    """MiniBrowser, with its home, data and cache in the profile."""
    name = "webkit"

    def __init__(self, url, screen):
        Page.__init__(self, url, screen)
        home = {"HOME": self.profile}
        for variable, folder in (("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"), ("XDG_CONFIG_HOME", "config")):
            home[variable] = os.path.join(self.profile, folder)
        # MiniBrowser saves downloads, unasked, in the desktop's download folder.
        os.makedirs(home["XDG_CONFIG_HOME"])
        with open(os.path.join(home["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
            f.write('XDG_DOWNLOAD_DIR="%s"\n' % self.downloads)
        self.service = WebKitService("/usr/bin/WebKitWebDriver", env=screen.env(**home))
        self.service.start()
        try:
            options = WebKitOptions()
            options.binary_location = MINIBROWSER
            options.add_argument("--automation")
            self.driver = Remote(command_executor=self.service.service_url, options=options)
            self.driver._is_remote = False  # the driver is on this machine: files go by their path, not uploaded
            self.driver.set_window_size(*WINDOW)
            self.driver.set_script_timeout(gs.LONG)
        except BaseException:
            self.service.stop()
            raise

    def close(self):
        try:
            SeleniumPage.close(self)
        finally:
            self.service.stop()


class Firefox(Page):
    """Firefox ESR through firefox.js."""
    name = "firefox"

    def __init__(self, url, screen):
        Page.__init__(self, url, screen)
        self.answers = queue.Queue()
        self.bridge = subprocess.Popen(["node", os.path.join(HERE, "firefox.js")], cwd=HERE, env=screen.env(),
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()
        try:
            self._ask("launch", executable=FIREFOX, profile=os.path.join(self.profile, "user"),
                      downloads=self.downloads, width=WINDOW[0], height=WINDOW[1])
            # Its page has the focus, and sends focus and blur events, only once the window has been clicked,
            # as a player does: here, in the page's empty lower right corner.
            subprocess.run(["xdotool", "mousemove", str(WINDOW[0] - 100), str(WINDOW[1] - 50), "click", "1"],
                           env=screen.env(), check=True)
            gs.wait_until(lambda: self.run("return document.hasFocus()"), gs.LONG, "Firefox's page to have the focus")
        except BaseException:
            self._end()
            raise

    def _read(self):
        for line in self.bridge.stdout:
            self.answers.put(json.loads(line))
        self.answers.put(None)

    def _ask(self, do, **request):
        try:
            self.bridge.stdin.write(json.dumps(dict(request, do=do)) + "\n")
            self.bridge.stdin.flush()
        except OSError:
            pass  # it ended: said below
        try:
            answer = self.answers.get(timeout=gs.LONG)
        except queue.Empty:
            raise gs.TestFailure("firefox.js did not answer %s within %.0f s" % (do, gs.LONG))
        if answer is None:
            raise gs.TestFailure("firefox.js ended (exit %s) before answering %s" % (self.bridge.wait(), do))
        if "error" in answer:
            raise gs.TestFailure("firefox.js could not %s: %s" % (do, answer["error"]))
        return answer["value"]

    def _end(self):
        try:
            self.bridge.stdin.close()
            self.bridge.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            gs.end(self.bridge)  # puppeteer ends Firefox on the way out

    def goto(self, url):
        self._ask("goto", url=url)

    def run(self, script):
        return self._ask("run", script=script)

    def run_async(self, script):
        return self._ask("runAsync", script=script)

    def click_at(self, x, y, button):
        self._ask("click", x=x, y=y, button=button)

    def key_down(self, key):
        self._ask("keyDown", key=key)

    def key_up(self, key):
        self._ask("keyUp", key=key)

    def set_file(self, element_id, path):
        self._ask("setFile", selector="#" + element_id, path=path)

    def close(self):
        try:
            self._ask("close")
        except gs.TestFailure:
            pass  # ended below all the same
        finally:
            self._end()
            Page.close(self)


ENGINES = {"chromium": Chromium, "firefox": Firefox, "webkit": WebKit}
WINDOWED = {"firefox", "webkit"}
