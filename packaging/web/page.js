// The page around the game: its console log, the canvas's size on any screen,
// the keys it shares with the browser, its save in the browser's storage for
// the site, the controls that move a save to and from the player's disk, and
// what the player is told when the game cannot go on, and the page kept as an
// app: installed, playing offline, updated whole, its save kept.
// Only Module, which the game's script reads, is global.
(() => {
  "use strict";

  const SAVE_FILE_NAME = "ClodmereSave.wld";
  const canvas = document.getElementById("canvas");
  const logView = document.getElementById("log");
  const failureView = document.getElementById("failure");
  const downloadButton = document.getElementById("download-save");
  const openInput = document.getElementById("open-save");
  const keptView = document.getElementById("kept");
  const versionView = document.getElementById("version");
  const offlineView = document.getElementById("offline");
  const startVersionButton = document.getElementById("start-version");
  const installButton = document.getElementById("install");

  // One console line, as the desktop game prints it, here and in the browser's console.
  function log(line) {
    logView.append(line + "\n");
    console.log(line);
  }

  // --- When the game cannot go on ---------------------------------------

  const KEPT = " Reload the page to play on: your last save is kept, and can still be downloaded.";
  const FAILURES = {
    noWebAssembly: "Clodmere cannot run in this browser: it has no WebAssembly. Open this page in another browser.",
    noWebGL: "Clodmere cannot draw in this browser: it has no WebGL. Turn on hardware acceleration (graphics " +
      "acceleration) in the browser's settings and reload, or open this page in another browser.",
    notStarted: "Clodmere could not start: the last line of the log says why. Reload the page to try again.",
    contextLost: "Clodmere lost its picture: the browser took back its graphics (WebGL)." + KEPT,
    stopped: what => "Clodmere stopped on a fault (" + what + ")." + KEPT,
  };

  // Says what happened, once: what follows a failure (the game's own exit
  // unwinding, say) is its consequence, not news.
  function showFailure(text) {
    if (failureView.textContent !== "") return;
    failureView.textContent = text;
    failureView.hidden = false;
    openInput.disabled = true;
  }

  function hasWebGL() {
    try {
      return !!document.createElement("canvas").getContext("webgl");
    } catch (error) {
      return false;
    }
  }

  function described(error) {
    if (error instanceof Error || error instanceof DOMException) return error.name + ": " + error.message;
    return String(error);
  }

  // --- The site's storage -------------------------------------------------

  // The site's IndexedDB as the game's working folder: one record a file, each
  // written whole in one transaction that counts only once the browser has it.
  const storage = {
    open() {
      return new Promise((resolve, reject) => {
        if (typeof indexedDB === "undefined") throw new Error("this browser keeps no storage for the page");
        const request = indexedDB.open("clodmere", 1);
        let blocked = false;
        request.onupgradeneeded = () => request.result.createObjectStore("files");
        request.onsuccess = () => {
          const db = request.result;
          if (blocked) return db.close();
          // A newer page in another tab needs the storage changed: let it.
          db.onversionchange = () => {
            db.close();
            log("A newer copy of the page in another tab took over the page's storage: reload this tab.");
          };
          resolve(db);
        };
        request.onerror = () => reject(request.error);
        request.onblocked = () => {
          blocked = true;
          reject(new Error("another tab of the page holds its storage: close that tab and try again"));
        };
      });
    },

    // The file's bytes, or null when there is none.
    async read(name) {
      const db = await this.open();
      try {
        return await new Promise((resolve, reject) => {
          const request = db.transaction("files", "readonly").objectStore("files").get(name);
          request.onsuccess = () => resolve(request.result === undefined ? null : new Uint8Array(request.result));
          request.onerror = () => reject(request.error);
        });
      } finally {
        db.close();
      }
    },

    // Settles only when the transaction has completed (stored) or aborted
    // (refused, also at its commit, as a full disk refuses it).
    async write(name, bytes) {
      askToKeep();
      const db = await this.open();
      try {
        await new Promise((resolve, reject) => {
          const transaction = db.transaction("files", "readwrite", { durability: "strict" });
          transaction.objectStore("files").put(bytes.buffer, name);
          transaction.oncomplete = () => resolve();
          transaction.onerror = event => reject(event.target.error || transaction.error);
          transaction.onabort = () => reject(transaction.error || new Error("the browser's storage gave up the save"));
        });
      } finally {
        db.close();
      }
    },

    // A refusal in the words the console shows after "Could not save the world: ".
    why(error) {
      if (error && error.name === "QuotaExceededError") return "the browser's storage for this site is full";
      if (error && error.name === "VersionError") return "a newer copy of the page changed its storage: reload the page";
      if (error && error.message) return error.message;
      return (error && error.name) || String(error || "the browser's storage refused");
    },
  };

  // --- A save the browser keeps -----------------------------------------

  // Browsers clear a site's storage when short of room unless the site asked
  // to keep it, and Safari after seven days without a visit unless it is an
  // app: asked once, at the first save, a moment the player chose.
  const KEEPING = {
    kept: "Your save is kept until you clear this site's data in the browser.",
    mayBeCleared: "The browser may clear your save when it is short of room, or, in Safari, after seven days " +
      "without a visit. To keep it, install Clodmere (the Install button, or Safari's Add to Dock, whose app has " +
      "a storage of its own: open a downloaded save there), or download the save.",
  };
  let askedToKeep = false;

  function askToKeep() {
    if (askedToKeep) return;
    askedToKeep = true;
    const asked = navigator.storage && navigator.storage.persist ? navigator.storage.persist() : Promise.resolve(false);
    asked.catch(() => false).then(kept => {
      keptView.textContent = kept ? KEEPING.kept : KEEPING.mayBeCleared;
      keptView.hidden = false;
    });
  }

  // --- Saves to and from the player's disk ------------------------------

  // The page's save onto the player's disk, byte for byte the file the desktop game writes.
  async function downloadSave() {
    let bytes;
    try {
      bytes = await storage.read(SAVE_FILE_NAME);
    } catch (error) {
      log("Could not download the save: " + storage.why(error));
      return;
    }
    if (bytes === null) {
      log("No save found");
      return;
    }
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    link.download = SAVE_FILE_NAME;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // The game's own loader checks the file; only a sound one replaces the page's save.
  async function checkedSave(file) {
    const size = Module._save_file_size();
    // Refused before it is read: a large wrong file costs no memory.
    if (file.size !== size) return { reason: "the file is " + file.size + " bytes long, not " + size };
    const copy = Module._malloc(size);
    if (copy === 0) return { reason: "the page has no memory left to check it" };
    try {
      const bytes = new Uint8Array(await file.arrayBuffer());
      Module.HEAPU8.set(bytes, copy);
      const text = Module._check_save_file(copy, bytes.length);
      return text === 0 ? { bytes } : { reason: Module.UTF8ToString(text) };
    } finally {
      Module._free(copy);
    }
  }

  async function openSave(file) {
    const checked = await checkedSave(file).catch(error => ({ reason: described(error) }));
    if (checked.reason === undefined) {
      try {
        await storage.write(SAVE_FILE_NAME, checked.bytes);
      } catch (error) {
        checked.reason = storage.why(error);
      }
    }
    if (checked.reason !== undefined) {
      log("Could not open " + file.name + ": " + checked.reason);
      return;
    }
    log("Opened " + file.name + " as the page's save: Load World starts it.");
  }

  downloadButton.addEventListener("click", downloadSave);
  openInput.addEventListener("change", () => {
    const file = openInput.files[0];
    openInput.value = "";
    if (file) openSave(file);
  });

  // --- The canvas on any screen -----------------------------------------

  // Device pixels a game pixel takes: a whole number, so that every game pixel
  // is a crisp square, and the most that a page pixel holds, so that the game
  // has its usual size (at a ratio of 2 it is drawn 2 by 2).
  function devicePixelsPerGamePixel() {
    return Math.max(1, Math.floor(window.devicePixelRatio || 1));
  }

  // The canvas holds the game's pixels; shown at this size each is k by k device pixels.
  function fitCanvas() {
    const scale = devicePixelsPerGamePixel() / (window.devicePixelRatio || 1);
    canvas.style.width = canvas.width * scale + "px";
    canvas.style.height = canvas.height * scale + "px";
  }

  // A zoom or another monitor changes the ratio: follow it at once.
  function followPixelRatio() {
    fitCanvas();
    matchMedia("(resolution: " + (window.devicePixelRatio || 1) + "dppx)").addEventListener(
      "change", followPixelRatio, { once: true });
  }
  new MutationObserver(fitCanvas).observe(canvas, { attributes: true, attributeFilter: ["width", "height"] });
  followPixelRatio();

  // The screen as the game's Fullscreen choice sees it, in game pixels.
  function screenInGamePixels() {
    const ratio = window.devicePixelRatio || 1;
    const k = devicePixelsPerGamePixel();
    return { width: Math.floor(Math.round(screen.width * ratio) / k),
             height: Math.floor(Math.round(screen.height * ratio) / k) };
  }

  // --- Keys and the mouse -----------------------------------------------

  // The game has the keys while its canvas has the focus (the game tells SDL
  // so), which it takes at the start and at a click. The browser's own
  // shortcuts over it never reach SDL, which would cancel them: Ctrl, Cmd or
  // Alt with a key, the function keys and Tab. Releases always reach it, so
  // that no key stays held in the game. SDL cancels every other key, so that
  // none scrolls the page.
  window.addEventListener("keydown", event => {
    if (event.target !== canvas) return;
    if (event.ctrlKey || event.metaKey || event.altKey || /^(F\d+|Tab)$/.test(event.key)) {
      event.stopImmediatePropagation();
    }
  }, true);
  canvas.addEventListener("mousedown", () => canvas.focus());
  // A key held as the canvas loses the focus is released, as on the desktop:
  // SDL releases every held key when the window loses it.
  canvas.addEventListener("blur", () => window.dispatchEvent(new FocusEvent("blur")));
  // The right button places a block: no menu over the game.
  canvas.addEventListener("contextmenu", event => event.preventDefault());

  // --- Failures ---------------------------------------------------------

  canvas.addEventListener("webglcontextlost", () => showFailure(FAILURES.contextLost));
  // After its first wait the game runs inside promises: what it throws there is a rejection.
  window.addEventListener("error", event => showFailure(FAILURES.stopped(event.error ? described(event.error)
                                                                                      : event.message)));
  window.addEventListener("unhandledrejection", event => showFailure(FAILURES.stopped(described(event.reason))));
  if (typeof WebAssembly === "undefined") showFailure(FAILURES.noWebAssembly);

  // --- The page as an app ----------------------------------------------

  // Where the browser offers to install the page, the panel does too.
  let installPrompt = null;
  window.addEventListener("beforeinstallprompt", event => {
    event.preventDefault();
    installPrompt = event;
    installButton.hidden = false;
  });
  window.addEventListener("appinstalled", () => { installButton.hidden = true; });
  installButton.addEventListener("click", () => {
    installButton.hidden = true;
    if (installPrompt) installPrompt.prompt().catch(() => {});
    installPrompt = null;
  });

  // The manifest makes the page installable. It is linked only once the game
  // starts: while Chromium checks a page's manifest it holds its worker, and a
  // page that starts a new build first would wait for it.
  function startGame() {
    const manifest = document.createElement("link");
    manifest.rel = "manifest";
    manifest.href = "manifest.webmanifest";
    document.head.append(manifest);
    const script = document.createElement("script");
    script.src = "clodmere.js";
    document.body.append(script);
  }

  // The build on the host is named by its list of files' checksum.
  async function buildOnHost() {
    const response = await fetch("files.sha256", { cache: "no-store" });
    if (!response.ok) throw new Error("files.sha256 is not there (" + response.status + ")");
    const hash = new Uint8Array(await crypto.subtle.digest("SHA-256", await response.arrayBuffer()));
    return Array.from(hash, byte => byte.toString(16).padStart(2, "0")).join("").slice(0, 16);
  }

  // A new build kept whole and waiting: the page starts it, and loads again
  // once the old build's files are gone (or, should it fail, as it was).
  function startVersion(worker) {
    worker.addEventListener("statechange", () => {
      if (worker.state === "activated" || worker.state === "redundant") location.reload();
    });
    worker.postMessage("start");
  }

  function sayVersionReady(registration) {
    versionView.hidden = false;
    startVersionButton.onclick = () => (registration.waiting ? startVersion(registration.waiting) : location.reload());
  }

  // Keeps the host's build, as a new worker when it is not the one kept;
  // offline, or from a host without the list, the kept build plays on.
  async function keepHostBuild() {
    const registration = await navigator.serviceWorker.register("service-worker.js?build=" + await buildOnHost());
    // A first build starts at once; a later one waits for the next load.
    const sayIfWaiting = () => {
      if (registration.waiting && navigator.serviceWorker.controller) sayVersionReady(registration);
    };
    const follow = worker => worker && worker.addEventListener("statechange", sayIfWaiting);
    follow(registration.installing);
    registration.addEventListener("updatefound", () => follow(registration.installing));
    sayIfWaiting();
  }

  // The new build a controlled page starts before the kept one, if one is waiting.
  async function waitingBuild() {
    if (!navigator.serviceWorker.controller) return null;
    const registration = await navigator.serviceWorker.getRegistration();
    return registration ? registration.waiting : null;
  }

  // The kept build runs, or the waiting one is started first. Where the
  // browser keeps no workers (an insecure address, some private windows) the
  // page plays from the host.
  async function startKeptBuild() {
    if (!("serviceWorker" in navigator)) return startGame();
    // Setting onmessage lets the workers' messages in.
    navigator.serviceWorker.onmessage = event => {
      if (!event.data || !event.data.notKept) return;
      offlineView.textContent = "Clodmere could not be kept for playing offline (" + event.data.notKept +
        "): it plays on from the network, and the next visit tries again.";
      offlineView.hidden = false;
    };
    const waiting = await waitingBuild().catch(() => null);
    if (waiting) return startVersion(waiting);
    startGame();
    keepHostBuild().catch(error => console.warn("The host's build is not kept:", error));
  }

  // --- The game's module ------------------------------------------------

  window.Module = {
    canvas,
    storage,
    hasWebGL,
    screenInGamePixels,
    print: log,
    printErr: text => console.warn(text),
    preRun: [() => {
      // The game gives control back to the browser at each wait for an event;
      // SDL need not do it again at every flip.
      ENV.SDL_EMSCRIPTEN_ASYNCIFY = "0";
      // The game's fallback font, where it looks for "./data/arial.ttf". A page
      // without it starts all the same, without a HUD, as the desktop game does.
      FS.mkdir("/data");
      FS.chdir("/");
      addRunDependency("font");
      fetch("data/arial.ttf")
        .then(response => (response.ok ? response.arrayBuffer() : null))
        .then(font => font && FS.writeFile("/data/arial.ttf", new Uint8Array(font)))
        .catch(() => {})
        .finally(() => removeRunDependency("font"));
    }],
    onRuntimeInitialized() {
      downloadButton.disabled = false;
      openInput.disabled = false;
    },
    // exit(1) after a failed start-up: the console line is in the log already.
    quit(status, toThrow) {
      if (status !== 0) showFailure(hasWebGL() ? FAILURES.notStarted : FAILURES.noWebGL);
      throw toThrow;
    },
    onAbort: what => showFailure(FAILURES.stopped(String(what))),
  };

  startKeptBuild();
})();
