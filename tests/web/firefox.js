// Drives Firefox for page_test.py, which has no WebDriver client for it: one
// JSON request a line on stdin, one JSON answer a line on stdout ({"value": ...}
// or {"error": "..."}), in order. Firefox speaks WebDriver BiDi to puppeteer-core.
"use strict";
const readline = require("readline");
const puppeteer = require("puppeteer-core");

let browser = null;
let page = null;
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

const requests = {
  async launch({executable, profile, downloads, width, height}) {
    browser = await puppeteer.launch({
      browser: "firefox", executablePath: executable, headless: false, userDataDir: profile,
      // The window's own size, not an emulated 800x600 viewport.
      defaultViewport: null, args: ["--width=" + width, "--height=" + height],
      extraPrefsFirefox: {
        "browser.download.dir": downloads, "browser.download.folderList": 2, "browser.download.useDownloadDir": true,
        "browser.download.always_ask_before_handling_new_types": false,
        // The downloads panel would open over the canvas.
        "browser.download.alwaysOpenPanel": false, "browser.download.panel.shown": true,
        // Nor the question whether the site may keep its storage, asked at the first save: answered no.
        "dom.storageManager.prompt.testing": true, "dom.storageManager.prompt.testing.allow": false,
      },
    });
    [page] = await browser.pages();
    return browser.version();
  },
  async goto({url}) {
    await page.goto(url, {waitUntil: "load"});
  },
  // Selenium's execute_script and execute_async_script: a function body, the
  // asynchronous one given its callback as its last argument.
  run({script}) {
    return page.evaluate(`(function () { ${script} })()`);
  },
  runAsync({script}) {
    return page.evaluate(`new Promise(done => { (function () { ${script} }).call(null, done) })`);
  },
  // Firefox drops a press that comes with the move that brings the pointer there.
  async click({x, y, button}) {
    await page.mouse.move(x, y);
    await sleep(50);
    await page.mouse.down({button});
    await page.mouse.up({button});
  },
  keyDown({key}) {
    return page.keyboard.down(key);
  },
  keyUp({key}) {
    return page.keyboard.up(key);
  },
  async setFile({selector, path}) {
    const input = await page.$(selector);
    await input.uploadFile(path);
    await input.dispose();
  },
  async close() {
    if (browser) await browser.close();
    browser = null;
  },
};

async function main() {
  const lines = readline.createInterface({input: process.stdin});
  for await (const line of lines) {
    const request = JSON.parse(line);
    let answer;
    try {
      const value = await requests[request.do](request);
      answer = {value: value === undefined ? null : value};
    } catch (error) {
      answer = {error: String(error && error.stack || error)};
    }
    process.stdout.write(JSON.stringify(answer) + "\n");
    if (request.do === "close") break;
  }
  if (browser) await browser.close();
}

main().catch(error => {
  process.stderr.write(String(error && error.stack || error) + "\n");
  process.exit(1);
});
