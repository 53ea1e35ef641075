// The browser's figures beside the desktop's, measured in one run: what a first visit downloads
// from python's http.server (the files raw, and the bytes sent), the time from asking for the
// page to its first frame in headless Chromium, and the processor that every Chromium process
// together uses on the menu with its music, in play and paused, beside a blank page and the
// desktop build on its menu.
// Usage: node bench/web-figures.mjs SITE BUILD-DIR (build-web/site; the desktop build, with marrowdale)
import {spawn} from 'node:child_process';
import {mkdtempSync, readdirSync, readFileSync, rmSync, statSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {servePython, startBrowser, waitFor} from '../tests/web/browser.mjs';

const [site, desktop] = process.argv.slice(2).map((path) => resolve(path));
const Loads = 5;
const MeasureMs = 10000;
const pause = (ms) => new Promise((done) => setTimeout(done, ms));
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

async function share(pid) {
  const before = cpuSeconds(pid);
  await pause(MeasureMs);
  return `${(100 * (cpuSeconds(pid) - before) / (MeasureMs / 1000)).toFixed(1)} % of one core`;
}

// ---- Download: a first visit, to the end of its offline copy ------------------------------
const server = await servePython(site);
let browser = await startBrowser();
await browser.page('Page.navigate', {url: server.url});
await waitFor(() => browser.evaluate('!!navigator.serviceWorker.controller'), 30000);
const files = readdirSync(site);
const stored = files.reduce((sum, name) => sum + statSync(join(site, name)).size, 0);
const page = JSON.parse(/const Site = (\{.*\});/.exec(readFileSync(join(site, 'index.html'), 'utf8'))[1]);
const unpacked = Object.values(page.files).reduce((sum, file) => sum + file.size - file.sent, stored);
console.log('A first visit, from python\'s http.server:');
console.log(`  the site's ${files.length} files: ${unpacked} bytes unpacked, ${stored} bytes as stored`);
console.log(`  sent: ${server.sent()} bytes in ${server.answered.length} answers ` +
            `(${server.answered.filter(([, status]) => status === 304).length} of them "not modified")`);

// ---- First frame, a first visit then reloads past every cache ------------------------------
const firsts = [];
for (let load = 0, origin = 0; load < Loads; ++load) {
  if (load > 0) await browser.page('Page.reload', {ignoreCache: true});
  const [first, loaded] = await waitFor(() => browser.evaluate(`performance.timeOrigin !== ${origin} &&
    typeof Module == 'object' && Module.firstFrameMs !== undefined && [Module.firstFrameMs, performance.timeOrigin]`), 20000);
  firsts.push(first);
  origin = loaded;
}
console.log(`First frame after the page is asked for, headless Chromium: median ${Math.round([...firsts].sort((a, b) => a - b)[Loads >> 1])} ms ` +
            `(${firsts.map(Math.round).join(', ')}; the first with a cold cache)`);
await browser.close();

// ---- Processor: a blank page, the page on its menu and in play, the desktop's menu ----------
console.log(`Processor over ${MeasureMs / 1000} s, every Chromium process together:`);
browser = await startBrowser();
await pause(3000);
console.log(`  a blank page: ${await share(browser.pid)}`);
await browser.close();

browser = await startBrowser();
await browser.page('Page.navigate', {url: server.url});
await pause(6000);
// C is a key the menu ignores; as a gesture it starts the page's sound.
for (const type of ['rawKeyDown', 'keyUp']) {
  await browser.page('Input.dispatchKeyEvent', {type, key: 'c', code: 'KeyC', windowsVirtualKeyCode: 67});
}
await pause(1000);
console.log(`  the page on its menu, music playing: ${await share(browser.pid)}`);
// A tap on the title's dog starts a game.
const [x, y] = await browser.evaluate(`(() => { const box = document.getElementById('game').getBoundingClientRect();
  return [box.left + box.width / 2, box.top + box.height * 176 / 320]; })()`);
await browser.page('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x, y}]});
await browser.page('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
await pause(500);
console.log(`  the page in play: ${await share(browser.pid)}`);
// P pauses the game: the page should then cost what a blank page does, once Chromium has let
// the suspended sound's output go (some seconds).
for (const type of ['rawKeyDown', 'keyUp']) {
  await browser.page('Input.dispatchKeyEvent', {type, key: 'p', code: 'KeyP', windowsVirtualKeyCode: 80});
}
await pause(10000);
console.log(`  the page paused in play: ${await share(browser.pid)}`);
await browser.close();
server.close();

const runtime = mkdtempSync(join(tmpdir(), 'marrowdale-figures-'));
const game = spawn(join(desktop, 'marrowdale'), [], {
  stdio: 'ignore',
  env: {...process.env, SDL_VIDEODRIVER: 'dummy', SDL_AUDIODRIVER: 'dummy', XDG_RUNTIME_DIR: runtime},
});
await pause(6000);
console.log(`  the desktop build on its menu (SDL's dummy video and audio): ${await share(game.pid)}`);
game.kill('SIGTERM');
await new Promise((done) => game.on('exit', done));
rmSync(runtime, {recursive: true, force: true});
