// The browser's figures beside the desktop's, measured in one run: what a player downloads
// (raw, gzip, brotli), the time from asking for the page to its first frame in headless
// Chromium, and the processor each uses while idle on the menu with its sound running.
// Usage: node bench/web-figures.mjs BUILD-WEB BUILD-DIR (the desktop build, with marrowdale)
import {spawn} from 'node:child_process';
import {mkdtempSync, readdirSync, readFileSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {brotliCompressSync, constants, gzipSync} from 'node:zlib';
import {serveFolder, startBrowser, waitFor} from '../tests/web/browser.mjs';

const [site, desktop] = process.argv.slice(2).map((path) => resolve(path));
const Loads = 5;
const IdleMs = 10000;
const pause = (ms) => new Promise((done) => setTimeout(done, ms));
const kib = (bytes) => `${(bytes / 1024).toFixed(1)} KiB`;
const ticksPerSecond = 100;

// Processor seconds used so far by pid and every process under it.
function cpuSeconds(pid) {
  const parents = new Map();
  const used = new Map();
  for (const entry of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const fields = readFileSync(`/proc/${entry}/stat`, 'utf8').split(') ')[1].split(' ');
      parents.set(Number(entry), Number(fields[1]));
      used.set(Number(entry), (Number(fields[11]) + Number(fields[12])) / ticksPerSecond);
    } catch {
      // The process ended while we looked.
    }
  }
  let total = 0;
  for (const [process, seconds] of used) {
    for (let p = process; p > 1; p = parents.get(p)) {
      if (p === pid) {
        total += seconds;
        break;
      }
    }
  }
  return total;
}

async function idleShare(pid) {
  const before = cpuSeconds(pid);
  await pause(IdleMs);
  return `${(100 * (cpuSeconds(pid) - before) / (IdleMs / 1000)).toFixed(1)} % of one core`;
}

// ---- Download --------------------------------------------------------------------------
console.log('What a player downloads:');
let totals = [0, 0, 0];
for (const name of ['index.html', 'marrowdale.js', 'marrowdale.wasm', 'marrowdale.data']) {
  const bytes = readFileSync(join(site, name));
  const sizes = [bytes.length, gzipSync(bytes, {level: 9}).length,
                 brotliCompressSync(bytes, {params: {[constants.BROTLI_PARAM_QUALITY]: 11}}).length];
  totals = totals.map((total, i) => total + sizes[i]);
  console.log(`  ${name.padEnd(16)} ${sizes.map(kib).join(' / ')}  (raw / gzip / brotli)`);
}
console.log(`  ${'all'.padEnd(16)} ${totals.map(kib).join(' / ')}`);

// ---- The page: first frame, then idle on the menu ----------------------------------------
const server = await serveFolder(site);
const browser = await startBrowser();
const firsts = [];
await browser.page('Page.navigate', {url: server.url});
for (let load = 0, origin = 0; load < Loads; ++load) {
  if (load > 0) await browser.page('Page.reload', {ignoreCache: true});
  const [first, loaded] = await waitFor(() => browser.evaluate(`performance.timeOrigin !== ${origin} &&
    typeof Module == 'object' && Module.firstFrameMs !== undefined && [Module.firstFrameMs, performance.timeOrigin]`), 20000);
  firsts.push(first);
  origin = loaded;
}
firsts.sort((a, b) => a - b);
console.log(`First frame after the page is asked for, headless Chromium: median ${Math.round(firsts[Loads >> 1])} ms ` +
            `(${firsts.map(Math.round).join(', ')})`);
await browser.page('Page.navigate', {url: server.url});
await pause(6000);
// C is a key the menu ignores; as a gesture it starts the page's sound.
for (const type of ['rawKeyDown', 'keyUp']) {
  await browser.page('Input.dispatchKeyEvent', {type, key: 'c', code: 'KeyC', windowsVirtualKeyCode: 67});
}
await pause(1000);
console.log(`Idle on the menu, sound on, for ${IdleMs / 1000} s:`);
console.log(`  the page (every Chromium process): ${await idleShare(browser.pid)}`);
await browser.close();
server.close();

// ---- The desktop, in the same run --------------------------------------------------------
const runtime = mkdtempSync(join(tmpdir(), 'marrowdale-figures-'));
const game = spawn(join(desktop, 'marrowdale'), [], {
  stdio: 'ignore',
  env: {...process.env, SDL_VIDEODRIVER: 'dummy', SDL_AUDIODRIVER: 'dummy', XDG_RUNTIME_DIR: runtime},
});
await pause(6000);
console.log(`  the desktop build (SDL's dummy video and audio): ${await idleShare(game.pid)}`);
game.kill('SIGTERM');
await new Promise((done) => game.on('exit', done));
rmSync(runtime, {recursive: true, force: true});
