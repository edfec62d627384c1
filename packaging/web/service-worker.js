// Keeps one build of the page in the browser, so that the game starts without
// the network, and never with two builds' files mixed, whatever the host and
// the caches on the way send. The page registers this worker with the build's
// name (the checksum of the build's list of files, files.sha256), so every new
// build comes as a new worker. It fetches the whole build, each file checked
// against the list, into a cache of its own while the build before plays on,
// waits until a page starts it, and then deletes the caches of the builds before.
"use strict";

const LIST = "files.sha256";
const BUILD = new URL(self.location.href).searchParams.get("build");
// Caches belong to the whole site: each folder holding a copy of the game keeps its own.
const FOLDER_CACHES = "clodmere " + self.registration.scope + " ";
const CACHE = FOLDER_CACHES + BUILD;

async function sha256(bytes) {
  const hash = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
  return Array.from(hash, byte => byte.toString(16).padStart(2, "0")).join("");
}

// The build's files and their checksums, as the host has them now: only the build this worker is for.
async function buildFiles() {
  const response = await fetch(LIST, { cache: "no-store" });
  if (!response.ok) throw new Error(LIST + " is not there (" + response.status + ")");
  const list = await response.arrayBuffer();
  if ((await sha256(list)).slice(0, 16) !== BUILD) throw new Error("the host holds another build now");
  return new TextDecoder().decode(list).split("\n").filter(line => line !== "").map(line => {
    const file = /^([0-9a-f]{64}) [ *](.+)$/.exec(line);
    if (file === null) throw new Error(LIST + " has a line that is not a file's checksum");
    return { sum: file[1], name: file[2] };
  });
}

// Every file fresh from the host (no cache on the way may answer), kept only if it is the build's.
async function keepBuild() {
  const files = await buildFiles();
  const cache = await caches.open(CACHE);
  await Promise.all(files.map(async ({ sum, name }) => {
    const response = await fetch(name, { cache: "no-store" });
    if (!response.ok) throw new Error(name + " is not there (" + response.status + ")");
    if ((await sha256(await response.clone().arrayBuffer())) !== sum) {
      throw new Error(name + " is not the build's: the host may be updating the game");
    }
    await cache.put(name, response);
  }));
}

// A build that cannot be kept whole is not kept at all; the page says why.
self.addEventListener("install", event => event.waitUntil(keepBuild().catch(async error => {
  await caches.delete(CACHE);
  const pages = await self.clients.matchAll({ type: "window", includeUncontrolled: true });
  for (const page of pages) {
    if (page.url.startsWith(self.registration.scope)) page.postMessage({ notKept: error.message || String(error) });
  }
  throw error;
})));

// A page starts the new build before it runs any of the old one's files.
self.addEventListener("message", event => {
  if (event.data === "start") self.skipWaiting();
});

self.addEventListener("activate", event => event.waitUntil((async () => {
  const names = await caches.keys();
  await Promise.all(names.filter(name => name.startsWith(FOLDER_CACHES) && name !== CACHE)
    .map(name => caches.delete(name)));
})()));

// The page, whatever its link's query (?seed=N), and every file of the build
// come from the cache; anything else (the list, above all) from the host.
self.addEventListener("fetch", event => {
  const request = event.request;
  if (request.method !== "GET" || !request.url.startsWith(self.registration.scope)) return;
  const path = new URL(request.url).pathname, folder = new URL(self.registration.scope).pathname;
  const page = request.mode === "navigate" && (path === folder || path === folder + "index.html");
  const key = page ? new URL("index.html", self.registration.scope).href : request;
  event.respondWith(caches.match(key, { cacheName: CACHE }).then(kept => kept || fetch(request)));
});
