// The browser's Marrowdale in headless Chromium, used as a person would, against the desktop's
// frames: the menu after the intro, a tap that starts a game, keys, the exit icon, a hidden
// page, sound that starts at the first tap, high scores that outlast the page; and the golden
// games, recorded in the desktop's window, replayed in the page with every frame checked.
// Usage: node web-test.mjs BUILD-WEB REFERENCE-FOLDER (the folder web_reference filled, with
// the golden games beside its frames).
import {readdirSync, readFileSync} from 'node:fs';
import {join, resolve} from 'node:path';
import {serveFolder, startBrowser, waitFor} from './browser.mjs';

const [site, frames] = process.argv.slice(2).map((path) => resolve(path));
const Width = 240;
const Height = 320;
const reference = (name) => readFileSync(join(frames, name));
const menuFrame = reference('menu.rgb');
const playFrame = reference('play.rgb');
const scoreFrames = [...Array(8).keys()].map((n) => reference(`scores-${n}.rgb`));
// The desktop's sound from its start, 16-bit stereo samples (the data chunk of its WAV file).
const tuneWave = reference('tune.wav');
const tune = tuneWave.subarray(tuneWave.indexOf('data') + 8);
const TuneCheckFrames = 44100;

let passed = 0;
let failed = 0;
function check(name, ok, detail = '') {
  ok ? ++passed : ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? ` (${detail})` : ''}`);
}

// Every journal there replays; the exit game's with the start tick one on (the game then seeds
// its random numbers differently) must not.
const journals = {};
readdirSync(frames).filter((name) => name.endsWith('.mdj')).forEach((name) => {
  journals[`/${name}`] = readFileSync(join(frames, name));
});
const wrongJournal = Buffer.from(journals['/exit-muted.mdj']);
wrongJournal.writeUInt32LE(wrongJournal.readUInt32LE(26) + 1, 26);
const replays = Object.keys(journals).map((path) => [path.substring(1), 0]).concat([['wrong.mdj', 1]]);
const server = await serveFolder(site, {...journals, '/wrong.mdj': wrongJournal});
const browser = await startBrowser();
browser.onEvent((message) => {
  if (message.method === 'Runtime.exceptionThrown') {
    const details = message.params.exceptionDetails;
    console.log(`page exception: ${details.exception ? details.exception.description : details.text}`);
  }
});
const {page, evaluate} = browser;

// The canvas's 240 x 320 pixels as RGB bytes, read back from the page (black before it loaded).
async function canvasPixels() {
  const rgba = Buffer.from(await evaluate(`(() => {
    const canvas = document.getElementById('game');
    if (!canvas) return '';
    const data = canvas.getContext('2d').getImageData(0, 0, 240, 320).data;
    let text = '';
    for (let i = 0; i < data.length; i += 8192) text += String.fromCharCode.apply(null, data.subarray(i, i + 8192));
    return btoa(text);
  })()`), 'base64');
  const rgb = Buffer.alloc(Width * Height * 3);
  for (let i = 0; i * 4 < rgba.length; ++i) rgba.copy(rgb, i * 3, i * 4, i * 4 + 3);
  return rgb;
}

// Waits until the canvas shows one of the frames; how many pixels differed at the last look.
async function waitForFrame(candidates, timeoutMs) {
  let differing = Width * Height;
  const shown = await waitFor(async () => {
    const pixels = await canvasPixels();
    for (const frame of candidates) {
      let count = 0;
      for (let i = 0; i < pixels.length; i += 3) {
        if (pixels[i] !== frame[i] || pixels[i + 1] !== frame[i + 1] || pixels[i + 2] !== frame[i + 2]) ++count;
      }
      differing = Math.min(differing, count);
      if (count === 0) return true;
    }
    return false;
  }, timeoutMs);
  return {shown: !!shown, detail: shown ? '' : `${differing} pixels differ`};
}

// The page point at the middle of a screen pixel, wherever the canvas stands.
async function pagePoint(x, y) {
  const box = await evaluate(`(() => { const r = document.getElementById('game').getBoundingClientRect();
    return [r.left, r.top, r.width, r.height]; })()`);
  return {x: box[0] + (x + 0.5) * box[2] / Width, y: box[1] + (y + 0.5) * box[3] / Height};
}

async function touch(x, y) {
  const point = await pagePoint(x, y);
  await page('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [point]});
  await page('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
}

async function click(x, y) {
  const point = await pagePoint(x, y);
  for (const type of ['mousePressed', 'mouseReleased']) {
    await page('Input.dispatchMouseEvent', {type, ...point, button: 'left', clickCount: 1});
  }
}

async function holdKey(key, virtualKey, holdMs) {
  const event = {key, code: key, windowsVirtualKeyCode: virtualKey};
  await page('Input.dispatchKeyEvent', {type: 'rawKeyDown', ...event});
  await pause(holdMs);
  await page('Input.dispatchKeyEvent', {type: 'keyUp', ...event});
}

// A gamepad in the browsers' standard layout that the test holds: pressPad(13, true) presses
// its d-pad down. The page sees it through navigator.getGamepads, as it would a real one.
const FakePad = `window.testPad = {id: 'test pad', index: 0, connected: true, mapping: 'standard',
  timestamp: 0, axes: [0, 0, 0, 0], buttons: Array.from({length: 17}, () => ({pressed: false, value: 0}))};
  navigator.getGamepads = () => [window.testPad];`;
const pressPad = (button, pressed) => evaluate(`window.testPad.buttons[${button}] =
  {pressed: ${pressed}, value: ${pressed ? 1 : 0}}; window.testPad.timestamp += 1`);

// Pretends the page went behind another tab, or came back.
async function setHidden(hidden) {
  await evaluate(`Object.defineProperty(document, 'hidden', {value: ${hidden}, configurable: true});
    Object.defineProperty(document, 'visibilityState', {value: '${hidden ? 'hidden' : 'visible'}', configurable: true});
    document.dispatchEvent(new Event('visibilitychange'))`);
}

const audio = () => evaluate(`Module.audio ? {state: Module.audio.context.state,
  mixed: Module.audio.mixedFrames, loudest: Module.audio.loudest} : null`);
// Keeps what the page's sound output plays, as 16-bit samples, in window.heard.
const Listen = `(() => {
  const node = Module.audio.node;
  const play = node.onaudioprocess;
  window.heard = [];
  node.onaudioprocess = (event) => {
    play(event);
    const left = event.outputBuffer.getChannelData(0);
    const right = event.outputBuffer.getChannelData(1);
    for (let i = 0; i < left.length; ++i) heard.push(Math.round(left[i] * 32768), Math.round(right[i] * 32768));
  };
})()`;
const storedScores = () => evaluate(`localStorage.getItem('marrowdale/highscores.dat')`);
const pause = (ms) => new Promise((done) => setTimeout(done, ms));
// On the title, at the dog's middle (as web_reference taps): a finger still down when play
// begins leaves the dog where it stands.
const Title = [120, 176];

try {
  // A first visit: the intro, then the menu the desktop draws.
  await page('Page.addScriptToEvaluateOnNewDocument', {source: FakePad});
  await page('Page.navigate', {url: server.url});
  const menu = await waitForFrame([menuFrame], 20000);
  check('after the intro the canvas shows the desktop\'s menu frame pixel for pixel', menu.shown, menu.detail);
  const before = await audio();
  check('before the first key or tap the sound waits and nothing is mixed',
        before && before.state !== 'running' && before.mixed === 0, JSON.stringify(before));
  // C, which the menu ignores, is the first key: the sound starts, the tune from its start.
  await evaluate(Listen);
  await holdKey('c', 67, 50);
  const heard = await waitFor(() => evaluate(`heard.length >= ${2 * TuneCheckFrames} && heard.slice(0, ${2 * TuneCheckFrames})`), 5000);
  const played = heard ? Buffer.from(Int16Array.from(heard).buffer) : Buffer.alloc(0);
  check('the first key starts the sound: the tune from its first sample, as the desktop plays it',
        played.length > 0 && played.equals(tune.subarray(0, played.length)) && played.some((byte) => byte !== 0),
        `${played.length / 4} frames heard`);

  await touch(...Title);
  const play = await waitForFrame([playFrame], 3000);
  check('a tap on the title starts a game: the desktop\'s first play frame', play.shown, play.detail);

  await pressPad(13, true);
  await pause(200);
  await pressPad(13, false);
  const padMoved = await waitFor(async () => !(await canvasPixels()).equals(playFrame), 500);
  check('a gamepad\'s d-pad moves the dog', !!padMoved);
  await click(232, 5);
  const back = await waitForFrame([menuFrame], 3000);
  check('the exit icon returns to the menu', back.shown, back.detail);

  await setHidden(true);
  await touch(...Title);
  await pause(500);
  check('a hidden page is inactive: the game runs on but its display is closed',
        (await canvasPixels()).equals(menuFrame));
  await setHidden(false);
  const shownAgain = await waitForFrame([playFrame], 2000);
  check('coming back shows the game again', shownAgain.shown, shownAgain.detail);
  await holdKey('ArrowLeft', 37, 200);
  const keyMoved = await waitFor(async () => !(await canvasPixels()).equals(playFrame), 500);
  check('the left arrow key moves the dog', !!keyMoved);
  await click(232, 5);
  await waitForFrame([menuFrame], 3000);

  // Quitting saves the table at shutdown, into the page's storage: a first start's defaults.
  await click(232, 5);
  const ended = await waitFor(() => evaluate('Module.ended === true'), 15000);
  const saved = Buffer.from((await storedScores()) || '', 'base64');
  const defaults = saved.length === 128 && [...Array(8).keys()].every((n) =>
    saved.readInt32LE(16 * n) === 0 && saved.toString('latin1', 16 * n + 4, 16 * n + 13) === 'QUINTAVEX');
  check('the exit icon ends the game after the credits and its save is kept in the page\'s storage',
        ended && defaults, `ended ${!!ended}, ${saved.length} bytes kept`);

  // A later visit reads what an earlier one kept.
  await evaluate(`localStorage.setItem('marrowdale/highscores.dat', '${reference('highscores.dat').toString('base64')}')`);
  await page('Page.reload');
  await waitForFrame([menuFrame], 20000);
  await touch(15, 300);
  const table = await waitForFrame(scoreFrames, 3000);
  check('after a reload the score table shows the kept scores, as the desktop draws them', table.shown, table.detail);
  const tapped = await waitFor(async () => {
    const now = await audio();
    return now && now.state === 'running' && now.mixed > 0 && now.loudest > 0 && now;
  }, 3000);
  check('there the first tap started the sound', !!tapped, JSON.stringify(tapped || await audio()));

  // The golden games, replayed and checked in the page.
  for (const [name, verdict] of replays) {
    const started = Date.now();
    await page('Page.navigate', {url: `${server.url}?replay=${name}&verify`});
    const ended = await waitFor(() => evaluate(`location.search.includes('${name}') && typeof Module == 'object' &&
      Module.exitStatus !== undefined && [Module.exitStatus]`), 180000);
    const status = ended ? ended[0] : 'none';
    const said = await evaluate('Module.log.join(" / ")');
    check(verdict === 0 ? `${name}, recorded on the desktop, replays in the page with every frame checksum equal`
                        : 'a journal the game does not follow is reported as diverging',
          status === verdict, `status ${status} after ${Date.now() - started} ms${said ? ': ' + said : ''}`);
  }

  // An odd command line in the page's address: the game's one line, on the page.
  await page('Page.navigate', {url: `${server.url}?display=7`});
  const refused = await waitFor(() => evaluate(`location.search === '?display=7' && typeof Module == 'object' &&
    Module.exitStatus !== undefined && [Module.exitStatus, document.getElementById('note').textContent]`), 20000);
  check('an odd address gets the game\'s one line on the page, and no game',
        refused && refused[0] === 2 && /^marrowdale: .*'7'/.test(refused[1]),
        JSON.stringify(refused));
} catch (error) {
  check('the browser test ran to its end', false, error.stack);
} finally {
  await browser.close();
  server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
