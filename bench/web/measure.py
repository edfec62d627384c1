#!/usr/bin/python3
"""Frames drawn and processor time of the browser game in headless Chromium.

Frames drawn per second at 1440x900 with Up held (every tick then wants a
frame), at the surface of a new world and in a pocket deep down, against
limit.html; the whole browser's processor time at the menu and in a still
world, against empty.html. Measures and prints only.

Usage: bench/web/measure.py [BUILD_WEB_DIR]   (default build-web)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # keep tests/ clean
sys.path.insert(0, os.path.join(ROOT, "tests", "window"))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import browsers  # noqa: E402
import page_test  # noqa: E402
import same_on_both_systems_test as pocket  # noqa: E402

MENU = page_test.gs.MENU_POINTS
# Put in every page before its own scripts: the page's animation-frame requests
# (each one wake-up of the game's wait) and the animation frames in which the
# window's framebuffer was cleared, that is drawn. Allegro clears boxes several
# times a frame, so clears alone would overcount.
COUNTERS = """(() => {
  const c = window.bench = {waits: 0, drawn: 0};
  let frame = 0, lastDrawn = -1;
  const raf = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = callback => { ++c.waits; return raf(callback); };
  raf(function tick() { ++frame; raf(tick); });
  const clear = WebGLRenderingContext.prototype.clear;
  WebGLRenderingContext.prototype.clear = function (mask) {
    if (frame !== lastDrawn && this.getParameter(this.FRAMEBUFFER_BINDING) === null) { lastDrawn = frame; ++c.drawn; }
    return clear.call(this, mask);
  };
})();"""
SNAPSHOT = "return [performance.now() / 1000, window.bench.drawn, window.bench.waits]"


def browser_cpu(root):
    """Processor seconds of root's descendants, with their children already reaped."""
    stats = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue  # gone meanwhile
        stats[int(pid)] = (int(fields[1]), sum(map(int, fields[11:15])))  # ppid; utime, stime, cutime, cstime

    def below(pid):
        return pid in stats and (stats[pid][0] == root or below(stats[pid][0]))
    return sum(cpu for pid, (_, cpu) in stats.items() if below(pid)) / os.sysconf("SC_CLK_TCK")


def serve(folder, port):
    server = subprocess.Popen([os.path.join(ROOT, "scripts", "serve_web.py"), folder, "--first-port", str(port)],
                              stdout=subprocess.PIPE, text=True)
    return server, server.stdout.readline().strip().rsplit("/", 1)[0]


def wait_for(what, condition, seconds=180):
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            raise TimeoutError("waiting for " + what)
        time.sleep(0.25)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build-web"))
    folder = next(os.path.join(build, name) for name in sorted(os.listdir(build)) if name.endswith("-web"))
    workdir = tempfile.mkdtemp(prefix="clodmere-measure-")
    save = os.path.join(workdir, "pocket.wld")
    loads = [open("/proc/loadavg").read().split()[0]]
    servers = [serve(folder, 8600), serve(HERE, 8700)]
    (_, game), (_, bench) = servers
    page = None
    rows = []

    def sample(seconds):  # wall seconds; frames drawn, frame waits and browser CPU seconds per second
        browser = page.driver.service.process.pid
        start, cpu = page.driver.execute_script(SNAPSHOT), browser_cpu(browser)
        time.sleep(seconds)
        end, cpu = page.driver.execute_script(SNAPSHOT), browser_cpu(browser) - cpu
        wall = end[0] - start[0]
        return wall, (end[1] - start[1]) / wall, (end[2] - start[2]) / wall, cpu / wall

    def measure(name, seconds, settle):
        time.sleep(settle)
        rows.append((name, *sample(seconds)))

    def play(query, button, ready, where, save=None):
        page.open(query)
        wait_for("the page's controls", lambda: page.driver.find_element(By.ID, "open-save").is_enabled())
        if where == "surface":
            measure("game at its menu", 20, 3)
        if save:
            page.set_file("open-save", save)
            wait_for("the save to open", lambda: "as the page's save" in page.log())
        page.click(*MENU["1440x900"])
        page.click(*MENU[button])
        wait_for(ready, lambda: ready in page.log())
        wait_for("the player at rest", lambda: sample(1)[1] == 0)
        measure("still world, " + where, 20, 2)
        ActionChains(page.driver).key_down(Keys.UP).perform()
        measure("Up held, " + where, 10, 3)
        ActionChains(page.driver).key_up(Keys.UP).perform()

    try:
        pocket.make_save(os.path.join(ROOT, "build-test", "tools", "clodmere-save"), save)
        page = browsers.Chromium(game + "/index.html")  # a fresh profile, or the game comes from cache
        page.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": COUNTERS})
        page.driver.get(bench + "/empty.html")
        measure("empty.html", 20, 3)
        play("?seed=%d" % pocket.SEED, "New World", "Starting to Draw.", "surface")
        play("", "Load World", "Loaded the world!", "deep down", save)
        page.driver.get(bench + "/limit.html")
        measure("limit.html", 10, 3)
        loads.append(open("/proc/loadavg").read().split()[0])
        version = page.driver.capabilities["browserVersion"]
    finally:
        if page:
            page.close()
        for server, _ in servers:
            server.kill()
        shutil.rmtree(workdir)
    print("%s in Chromium %s; 1-minute load average %s before, %s after" % (os.path.relpath(folder), version, *loads))
    print("%-24s %6s %14s %14s %16s" % ("", "wall s", "frames drawn/s", "frame waits/s", "browser CPU s/s"))
    for row in rows:
        print("%-24s %6.1f %14.1f %14.1f %16.3f" % row)


if __name__ == "__main__":
    main()
