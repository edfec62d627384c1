// The page around the game: its console log, its save in the browser's storage
// for the site, and the controls that move a save to and from the player's disk.
// Only Module, which the game's script reads, is global.
(() => {
  "use strict";

  const SAVE_FILE_NAME = "ClodmereSave.wld";
  const canvas = document.getElementById("canvas");
  const logView = document.getElementById("log");
  const downloadButton = document.getElementById("download-save");
  const openInput = document.getElementById("open-save");

  // One console line, as the desktop game prints it, here and in the browser's console.
  function log(line) {
    logView.append(line + "\n");
    console.log(line);
  }

  // The game cannot start or went down: say so plainly, under its last line.
  // The save in the site's storage can still be downloaded.
  function showFailure() {
    document.getElementById("failure").style.display = "block";
    openInput.disabled = true;
  }

  // The site's IndexedDB as the game's working folder: one record a file, each
  // written whole in one transaction that counts only once the browser has it.
  const storage = {
    open() {
      return new Promise((resolve, reject) => {
        if (typeof indexedDB === "undefined") throw new Error("this browser keeps no storage for the page");
        const request = indexedDB.open("clodmere", 1);
        request.onupgradeneeded = () => request.result.createObjectStore("files");
        request.onsuccess = () => resolve(request.result);
        request.onerror = () => reject(request.error);
        request.onblocked = () => reject(new Error("the page's storage is held by an older page"));
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

    async write(name, bytes) {
      const db = await this.open();
      try {
        await new Promise((resolve, reject) => {
          const transaction = db.transaction("files", "readwrite", { durability: "strict" });
          transaction.objectStore("files").put(bytes.buffer, name);
          transaction.oncomplete = () => resolve();
          transaction.onerror = () => reject(transaction.error);
          transaction.onabort = () => reject(transaction.error || new Error("the browser's storage gave up the save"));
        });
      } finally {
        db.close();
      }
    },

    // A refusal in the words the console shows after "Could not save the world: ".
    why(error) {
      if (error && error.name === "QuotaExceededError") return "the browser's storage for this site is full";
      return String((error && error.message) || error || "the browser's storage refused");
    },
  };

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

  // A save from the player's disk becomes the page's save, once the game's own
  // loader has found it sound; anything else leaves the page's save as it was.
  async function openSave(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const copy = Module._malloc(Math.max(bytes.length, 1));
    let reason;
    try {
      Module.HEAPU8.set(bytes, copy);
      const text = Module._check_save_file(copy, bytes.length);
      reason = text === 0 ? null : Module.UTF8ToString(text);
    } finally {
      Module._free(copy);
    }
    if (reason !== null) {
      log("Could not open " + file.name + ": " + reason);
      return;
    }
    try {
      await storage.write(SAVE_FILE_NAME, bytes);
    } catch (error) {
      log("Could not open " + file.name + ": " + storage.why(error));
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

  // The right button places a block: no menu over the game. Keys that would
  // scroll the page belong to the game.
  canvas.addEventListener("contextmenu", event => event.preventDefault());
  const GAME_KEYS = new Set(["ArrowUp", "ArrowDown", "ArrowLeft", "ArrowRight", " ", "PageUp", "PageDown", "Home", "End"]);
  window.addEventListener("keydown", event => {
    if (GAME_KEYS.has(event.key) && event.target.tagName !== "INPUT") event.preventDefault();
  });

  // On a screen with more device pixels than page pixels, the canvas is shrunk
  // back so that one pixel of the game is one pixel of the screen.
  new MutationObserver(() => {
    const ratio = window.devicePixelRatio || 1;
    canvas.style.width = ratio === 1 ? "" : canvas.width / ratio + "px";
    canvas.style.height = ratio === 1 ? "" : canvas.height / ratio + "px";
  }).observe(canvas, { attributes: true, attributeFilter: ["width", "height"] });

  window.Module = {
    canvas,
    storage,
    print: log,
    printErr: text => console.warn(text),
    preRun: [() => {
      // The game gives control back to the browser at each wait for an event;
      // SDL need not do it again at every flip.
      ENV.SDL_EMSCRIPTEN_ASYNCIFY = "0";
      // The game's fallback font, where it looks for "./data/arial.ttf".
      FS.mkdir("/data");
      FS.createPreloadedFile("/data", "arial.ttf", "data/arial.ttf", true, false);
      FS.chdir("/");
    }],
    onRuntimeInitialized() {
      downloadButton.disabled = false;
      openInput.disabled = false;
    },
    // exit(1) after a failed start-up: the console line is in the log already.
    quit(status, toThrow) {
      if (status !== 0) showFailure();
      throw toThrow;
    },
    onAbort: showFailure,
  };

  if (typeof WebAssembly === "undefined") showFailure();
  // Anything thrown out of the game has ended it.
  window.addEventListener("error", showFailure);
})();
