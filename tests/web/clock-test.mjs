// The browser's game clock against the page's own in headless Chromium, the player's input
// arriving all the while: the pointer moving over the menu (about 150 moves a second), taps in
// a game (about 8 a second), a held key's repeats in the game (about 40 a second), ten seconds
// each. The game's time over each stretch keeps within 2% of the real time; and since the game's
// tick is the browser's performance.now() where its schedule began, and the page is never
// paused here, the tick (the place of the pass running or waiting) never leads the page's time.
// Then Escape on the menu, a held key's repeats through the credits, and the page ends eight
// seconds later (within 0.3 s).
// Usage: node clock-test.mjs SITE
import {existsSync} from 'node:fs';
import {join, resolve} from 'node:path';
import {servePython, startBrowser, waitFor} from './browser.mjs';

const site = resolve(process.argv[2]);
if (!existsSync(join(site, 'sw.js'))) {
  console.log(`SKIPPED: no browser build in ${site} (scripts/build-web makes it)`);
  process.exit(77);
}
const StretchMs = 10000;
// The tick is whole milliseconds, the page's time a fraction.
const RoundingMs = 1;
const pause = (ms) => new Promise((done) => setTimeout(done, ms));

let failed = 0;
function check(name, ok, detail = '') {
  if (!ok) ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? ` (${detail})` : ''}`);
}

const server = await servePython(site);
const browser = await startBrowser();
const {page, evaluate} = browser;

// The page's time and the game's tick, read at one moment.
const clocks = () => evaluate('[performance.now(), Module._WebGameTick()]');

// Runs act every everyMs for a stretch, looking at both clocks every tenth time; how far the
// game's clock moved against the page's, and how far it ever led it.
async function stretch(name, everyMs, act) {
  const [wallBefore, tickBefore] = await clocks();
  let lead = tickBefore - wallBefore;
  const end = Date.now() + StretchMs;
  for (let n = 0; Date.now() < end; ++n) {
    await act(n);
    if (n % 10 === 0) {
      const [wall, tick] = await clocks();
      lead = Math.max(lead, tick - wall);
    }
    await pause(everyMs);
  }
  const [wallAfter, tickAfter] = await clocks();
  const wall = wallAfter - wallBefore;
  const game = tickAfter - tickBefore;
  lead = Math.max(lead, tickAfter - wallAfter);
  check(`${name}: the game's clock keeps to the page's within 2% and never leads it`,
        Math.abs(game - wall) <= 0.02 * wall && lead <= RoundingMs,
        `${(game / 1000).toFixed(2)} s of game time in ${(wall / 1000).toFixed(2)} s, leading by at most ${lead.toFixed(1)} ms`);
}

async function pagePoint(x, y) {
  const box = await evaluate(`(() => { const r = document.getElementById('game').getBoundingClientRect();
    return [r.left, r.top, r.width, r.height]; })()`);
  return {x: box[0] + (x + 0.5) * box[2] / 240, y: box[1] + (y + 0.5) * box[3] / 320};
}

// Whether the picture stood still for half a second within timeoutMs (the menu; play moves on).
async function pictureStandsStill(timeoutMs) {
  const picture = () => evaluate(`document.getElementById('game').toDataURL()`);
  const end = Date.now() + timeoutMs;
  let last = await picture();
  let since = Date.now();
  while (Date.now() < end) {
    await pause(100);
    const now = await picture();
    if (now !== last) [last, since] = [now, Date.now()];
    else if (Date.now() - since >= 500) return true;
  }
  return false;
}

const key = (type, name, code, repeat = false) => page('Input.dispatchKeyEvent',
  {type, key: name, code: name, windowsVirtualKeyCode: code, autoRepeat: repeat});

try {
  await page('Page.navigate', {url: server.url});
  const started = await waitFor(() => evaluate('typeof Module === "object" && Module.firstFrameMs !== undefined'), 30000);
  check('the page starts the game', !!started);
  await pause(5000);

  const over = await pagePoint(120, 150);
  await stretch('the pointer moving over the menu', 6, (n) => page('Input.dispatchMouseEvent',
    {type: 'mouseMoved', x: over.x + (n % 40), y: over.y + (n % 25)}));

  await key('rawKeyDown', 'Enter', 13);
  await key('keyUp', 'Enter', 13);
  await pause(500);
  const fire = [await pagePoint(10, 160), await pagePoint(230, 160)];
  await stretch('taps in a game', 120, async (n) => {
    const point = fire[n % 2];
    await page('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [point]});
    await page('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  });
  await stretch('a held key\'s repeats in a game', 25, (n) => key('rawKeyDown', 'ArrowLeft', 37, n > 0));
  await key('keyUp', 'ArrowLeft', 37);

  // Back to the menu by the exit icon, then Escape there quits into the credits.
  const exit = await pagePoint(232, 5);
  for (const type of ['mousePressed', 'mouseReleased']) {
    await page('Input.dispatchMouseEvent', {type, ...exit, button: 'left', clickCount: 1});
  }
  // A starved page may take its time: Escape must come once the menu shows, as in a game it
  // would pause instead.
  check('the exit icon leaves the game for the menu, whose picture stands still', await pictureStandsStill(15000));
  await evaluate(`(() => { let ended = Module.ended;
    Object.defineProperty(Module, 'ended', {configurable: true, get: () => ended,
      set: (value) => { ended = value; window.endedAt = performance.now(); }}); })()`);
  const quitAt = await evaluate('performance.now()');
  await key('rawKeyDown', 'Escape', 27);
  await key('keyUp', 'Escape', 27);
  const end = Date.now() + 15000;
  for (let n = 0; Date.now() < end && !(await evaluate('window.endedAt !== undefined')); ++n) {
    await key('rawKeyDown', 'ArrowUp', 38, n > 0);
    await pause(25);
  }
  const credits = ((await evaluate('window.endedAt')) - quitAt) / 1000;
  check('Escape on the menu, a held key through the credits: the page ends 8 s later (within 0.3 s)',
        Math.abs(credits - 8) <= 0.3, `${credits.toFixed(2)} s`);
} catch (error) {
  check('the test ran to its end', false, error.stack);
} finally {
  await browser.close();
  server.close();
}
console.log(failed ? `${failed} checks FAILED` : 'PASSED');
process.exit(failed ? 1 : 0);
