// The page's offline copy: every file of one version in a cache of its own, served from there.
'use strict';
// The site's version and each file's SHA-256, written in by make-site.mjs.
const Site = "@SITE@";
const Prefix = 'marrowdale-';
const Cache = Prefix + Site.version;
const scope = new URL(self.registration.scope);

function hex(digest) {
  return Array.from(new Uint8Array(digest), (byte) => byte.toString(16).padStart(2, '0')).join('');
}

// Every file, checked against this version's digest: a server caught half-way through an
// update fails the install, and the version in use stays whole.
async function fetchVersion(cache) {
  for (const [name, digest] of Object.entries(Site.files)) {
    // The page as the browser asked for it at the folder's address, so a first visit's copy
    // is only checked, not fetched again.
    const response = await fetch(new URL(name === 'index.html' ? './' : name, scope), {cache: 'no-cache'});
    if (!response.ok) throw new Error(`${name}: ${response.status}`);
    const bytes = await response.clone().arrayBuffer();
    if (hex(await crypto.subtle.digest('SHA-256', bytes)) !== digest) {
      throw new Error(`${name} is not this version's`);
    }
    await cache.put(new URL(name, scope), response);
  }
}

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(Cache).then(fetchVersion).catch(async (error) => {
    await caches.delete(Cache);
    throw error;
  }));
});

// A waiting version takes over when a page that has all its files asks it to; the older
// versions' caches go.
self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((names) => Promise.all(names
    .filter((name) => name.startsWith(Prefix) && name !== Cache)
    .map((name) => caches.delete(name)))).then(() => self.clients.claim()));
});

// The site's files from this version's cache (the page at its folder's address, whatever its
// query); anything else, such as a journal to replay, from the network.
self.addEventListener('fetch', (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== 'GET' || url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname)) {
    return;
  }
  const name = url.pathname === scope.pathname ? 'index.html' : url.pathname.substring(scope.pathname.length);
  if (!(name in Site.files)) return;
  event.respondWith(caches.open(Cache)
    .then((cache) => cache.match(new URL(name, scope)))
    .then((response) => response || fetch(event.request)));
});
