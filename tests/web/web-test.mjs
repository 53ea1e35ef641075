// The browser's Marrowdale in headless Chromium, served by python's http.server and used as a
// person would, against the desktop's frames: a first visit's bytes, the menu after the intro,
// the sign and the sound at the first key, taps, keys, a gamepad, the exit icon, a hidden page,
// full screen, the ended page, high scores that outlast the page and damaged ones set aside,
// a high score's game the storage would not keep, the golden games replayed with every frame
// checked, a shared link's parameters and an unusable one, a phone held sideways and upright,
// a replay's caption, a paused page's wakes, failures said on the page, then offline play and
// an update taking over.
// Usage: node web-test.mjs SITE REFERENCE-FOLDER (the folder web_reference filled, with the
// golden games beside its frames).
import {cpSync, mkdirSync, readdirSync, readFileSync, rmSync, truncateSync, writeFileSync} from 'node:fs';
import {spawnSync} from 'node:child_process';
import {dirname, join, resolve} from 'node:path';
import {fileURLToPath} from 'node:url';
import {servePython, startBrowser, waitFor} from './browser.mjs';

const [site, frames, desktop] = process.argv.slice(2).map((path) => resolve(path));
const makeSite = join(dirname(fileURLToPath(import.meta.url)), '../../web/make-site.mjs');
const Width = 240;
const Height = 320;
const FirstVisitMostBytes = 350000;
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

// The site served with the journals beside it: every journal replays; the exit game's with
// the start tick one on (the game then seeds its random numbers differently) must not.
const served = join(frames, 'site');
cpSync(site, served, {recursive: true});
const journals = readdirSync(frames).filter((name) => name.endsWith('.mdj'));
journals.forEach((name) => cpSync(join(frames, name), join(served, name)));
const wrongJournal = reference('exit-muted.mdj');
wrongJournal.writeUInt32LE(wrongJournal.readUInt32LE(26) + 1, 26);
writeFileSync(join(served, 'wrong.mdj'), wrongJournal);
const replays = journals.map((name) => [name, 0]).concat([['wrong.mdj', 1]]);
const server = await servePython(served);
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

// A frame with the keyboard's cursor over it round a target (edges included): white round it,
// black inside.
function withCursor(frame, [left, top, right, bottom]) {
  const shown = Buffer.from(frame);
  const ring = (l, t, r, b, value) => {
    for (let y = t; y <= b; ++y) {
      for (let x = l; x <= r; ++x) {
        if (y === t || y === b || x === l || x === r) shown.fill(value, (y * Width + x) * 3, (y * Width + x + 1) * 3);
      }
    }
  };
  ring(left, top, right, bottom, 255);
  ring(left + 1, top + 1, right - 1, bottom - 1, 0);
  return shown;
}

// Waits until the canvas shows one of the frames; how many pixels differed at the last look.
// A page that loads again meanwhile is looked at again.
async function waitForFrame(candidates, timeoutMs) {
  let differing = Width * Height;
  const shown = await waitFor(async () => {
    const pixels = await canvasPixels().catch(() => null);
    if (!pixels) return false;
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
// its d-pad down. The page sees it through navigator.getGamepads, as it would a real one, and
// hears of it at a press while it listens, as browsers tell of a pad: the press is told again
// every 100 ms until the page has heard, as a held button is, for at most the 4 s the page
// may take to listen again.
const FakePad = `window.testPad = {id: 'test pad', index: 0, connected: true, mapping: 'standard',
  timestamp: 0, axes: [0, 0, 0, 0], buttons: Array.from({length: 17}, () => ({pressed: false, value: 0}))};
  navigator.getGamepads = () => [window.testPad];`;
const pressPad = (button, pressed) => evaluate(`window.testPad.buttons[${button}] =
  {pressed: ${pressed}, value: ${pressed ? 1 : 0}}; window.testPad.timestamp += 1;
  new Promise((heard) => {
    const end = performance.now() + 4500;
    const tell = () => {
      window.dispatchEvent(new Event('gamepadconnected'));
      if (Module.padsSeen || performance.now() > end) heard(Module.padsSeen);
      else setTimeout(tell, 100);
    };
    tell();
  })`);

// Pretends the page went behind another tab, or came back.
async function setHidden(hidden) {
  await evaluate(`Object.defineProperty(document, 'hidden', {value: ${hidden}, configurable: true});
    Object.defineProperty(document, 'visibilityState', {value: '${hidden ? 'hidden' : 'visible'}', configurable: true});
    document.dispatchEvent(new Event('visibilitychange'))`);
}

const audio = () => evaluate(`Module.audio ? {state: Module.audio.context.state,
  mixed: Module.audio.mixedFrames, loudest: Module.audio.loudest} : null`);
// Keeps what the page hands its sound output, in order, as 16-bit samples in window.heard.
const Listen = `(() => {
  window.heard = [];
  const port = Module.audio.node.port;
  const post = port.postMessage.bind(port);
  port.postMessage = (samples, transfer) => { heard.push(...samples); post(samples, transfer); };
})()`;
const storedScores = () => evaluate(`(() => { try { return localStorage.getItem('marrowdale/highscores.dat'); } catch { return null; } })()`);
const signs = () => evaluate(`document.getElementById('signs').textContent`);
const message = () => evaluate(`(() => { const shown = document.getElementById('message'); return shown && !shown.hidden ? shown.textContent : ''; })()`);
const pause = (ms) => new Promise((done) => setTimeout(done, ms));
// On the title, at the dog's middle (as web_reference taps): a finger still down when play
// begins leaves the dog where it stands.
const Title = [120, 176];

// The exit icon, through the credits to the ended page; the table it saved.
async function exitGame() {
  await click(232, 5);
  const ended = await waitFor(() => evaluate('Module.ended === true'), 15000);
  return {ended: !!ended, saved: Buffer.from((await storedScores()) || '', 'base64')};
}
const isDefaultTable = (saved) => saved.length === 128 && [...Array(8).keys()].every((n) =>
  saved.readInt32LE(16 * n) === 0 && saved.toString('latin1', 16 * n + 4, 16 * n + 13) === 'QUINTAVEX');

async function visit(url) {
  await page('Page.navigate', {url});
  return waitForFrame([menuFrame], 20000);
}

try {
  // A first visit: the intro, then the menu the desktop draws; the offline copy made.
  await page('Page.addScriptToEvaluateOnNewDocument', {source: FakePad});
  const menu = await visit(server.url);
  check('after the intro the canvas shows the desktop\'s menu frame pixel for pixel', menu.shown, menu.detail);
  const copied = await waitFor(() => evaluate('!!navigator.serviceWorker.controller'), 10000);
  const missing = server.answered.filter(([, status]) => status === 404);
  const {installabilityErrors} = await page('Page.getInstallabilityErrors');
  check(`a first visit downloads under ${FirstVisitMostBytes} bytes from python's http.server, none answered 404, ` +
        'and leaves an app to install that plays offline',
        copied && server.sent() < FirstVisitMostBytes && missing.length === 0 && installabilityErrors.length === 0,
        `${server.sent()} bytes in ${server.answered.length} answers, offline copy ${!!copied}, 404: ${missing.join(' ')}, ` +
        `not installable: ${JSON.stringify(installabilityErrors)}`);
  const before = await audio();
  const sign = await signs();
  check('before the first key or tap the sound waits, nothing is mixed and the page says a tap or key starts it',
        before && before.state !== 'running' && before.mixed === 0 && /first tap or key/.test(sign), `${JSON.stringify(before)} "${sign}"`);
  // C, which the menu ignores, is the first key: the sound starts, the tune from its start.
  await evaluate(Listen);
  await holdKey('c', 67, 50);
  const heard = await waitFor(() => evaluate(`heard.length >= ${2 * TuneCheckFrames} && heard.slice(0, ${2 * TuneCheckFrames})`), 5000);
  const played = heard ? Buffer.from(Int16Array.from(heard).buffer) : Buffer.alloc(0);
  const starved = await evaluate('Module.audio.starvedFrames');
  check('the first key starts the sound and takes the sign down: the tune from its first sample, as the desktop plays it, without a gap',
        played.length > 0 && played.equals(tune.subarray(0, played.length)) && played.some((byte) => byte !== 0) &&
        starved === 0 && !/first tap/.test(await signs()), `${played.length / 4} frames heard, ${starved} frames short`);

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

  // The cursor an arrow shows is drawn by the host over the desktop's menu frame.
  await holdKey('ArrowLeft', 37, 30);
  const cursor = await waitForFrame([withCursor(menuFrame, [63, 279, 94, 318])], 3000);
  check('the left arrow on the menu shows its cursor over the picture round HELP', cursor.shown, cursor.detail);
  await holdKey('ArrowRight', 39, 30);
  // A key starts a game with no stylus down, so the dog stands as after a tap on its middle.
  await holdKey('Enter', 13, 30);
  const keyed = await waitForFrame([playFrame], 3000);
  check('Enter starts a game from the menu: the desktop\'s first play frame', keyed.shown, keyed.detail);
  await holdKey('ArrowLeft', 37, 200);
  const keyMoved = await waitFor(async () => !(await canvasPixels()).equals(playFrame), 500);
  check('the left arrow key moves the dog', !!keyMoved);

  // Hidden mid-game, the game waits: nothing moves and nothing is mixed, and back it waits for
  // a key, with its sign over the picture; then it plays on from there.
  await pause(1500);
  await setHidden(true);
  await pause(100);
  const hiddenAt = await canvasPixels();
  const mixedAt = (await audio()).mixed;
  await pause(3000);
  const mixedAfter = (await audio()).mixed;
  await setHidden(false);
  await pause(500);
  const pausedSign = () => evaluate(`(() => { const sign = document.getElementById('paused');
    return sign && !sign.hidden ? sign.textContent : ''; })()`);
  const backSign = await pausedSign();
  const unchanged = (await canvasPixels()).equals(hiddenAt);
  check('a page hidden mid-game for 3 s shows the picture, the score and the plants unchanged when shown again, mixed no sound meanwhile and says a key plays on',
        unchanged && mixedAfter === mixedAt && /PAUSED.*ANY KEY/.test(backSign), `unchanged ${unchanged}, mixed ${mixedAt} then ${mixedAfter}, "${backSign}"`);
  await holdKey('c', 67, 30);
  const signAfter = await pausedSign();
  const playsOn = await waitFor(async () => !(await canvasPixels()).equals(hiddenAt), 3000);
  check('a key plays on from there', !!playsOn && !signAfter, `moved ${!!playsOn}, "${signAfter}"`);

  // P, and a gamepad's Start, pause and play on; Escape pauses, and again leaves for the menu.
  await holdKey('p', 80, 30);
  const keySign = await waitFor(pausedSign, 1000);
  const heldAt = await canvasPixels();
  await pause(700);
  const stood = (await canvasPixels()).equals(heldAt);
  await pressPad(9, true);
  await pause(100);
  await pressPad(9, false);
  const padSign = await pausedSign();
  const padPlays = await waitFor(async () => !(await canvasPixels()).equals(heldAt), 3000);
  check('P pauses with its sign and the picture stands; a gamepad\'s Start plays on',
        /P OR START/.test(keySign || '') && stood && !padSign && !!padPlays,
        `"${keySign}", stood ${stood}, then "${padSign}", moved ${!!padPlays}`);
  await holdKey('Escape', 27, 30);
  await holdKey('Escape', 27, 30);
  // The arrows showed the menu's cursor before this game: it stands on PLAY.
  const left = await waitForFrame([withCursor(menuFrame, [96, 279, 238, 318])], 3000);
  check('Escape pauses a game, and Escape again leaves it for the menu', left.shown, left.detail);

  // A game in play outlives its page: reloaded, then its tab dropped, the page goes on with it
  // at the next load, paused under its sign, and a key plays on; the journal the page keeps is one
  // game that the desktop replays, every pass it holds matching.
  const stored = () => evaluate(`Object.keys(localStorage).filter((key) => key.startsWith('marrowdale-playing/'))
    .map((key) => localStorage.getItem(key))`);
  const storedGrows = async (than) => waitFor(async () => {
    const kept = await stored();
    return kept.length === 1 && kept[0].length > than && kept[0];
  }, 5000);
  const size = async () => ((await stored())[0] || '').length;
  const resumedOnLoad = async (load, than) => {
    await load();
    const sign = await waitFor(async () => /RESUMED.*ANY KEY/.test(await pausedSign()) && await pausedSign(), 20000);
    const said = await evaluate('Module.log.join(" / ")');
    const shown = await canvasPixels();
    await holdKey('c', 67, 30);
    const moved = await waitFor(async () => !(await canvasPixels()).equals(shown), 3000);
    const kept = await storedGrows(than);
    return {ok: !!sign && /^marrowdale: resumed the game .* \(pass \d+\)$/.test(said) && !!moved && !!kept,
            detail: `"${sign}", said "${said}", moved ${!!moved}, kept ${kept ? kept.length : 'nothing'}`, kept};
  };
  // The journal kept as it stood a second or more into the game.
  const keptBefore = await size();
  await holdKey('Enter', 13, 30);
  await holdKey('ArrowLeft', 37, 300);
  const started = await storedGrows(keptBefore);
  const playing = started && await storedGrows(started.length);
  const reloaded = await resumedOnLoad(() => page('Page.reload'), playing ? playing.length : 0);
  check('a page reloaded mid-game goes on with the game at the next load, paused under its sign, and a key plays on',
        !!playing && reloaded.ok, reloaded.detail);
  await browser.dropTab();
  const crashed = await resumedOnLoad(() => page('Page.navigate', {url: server.url}), reloaded.kept ? reloaded.kept.length : 0);
  const journalPath = join(frames, 'resumed.mdj');
  writeFileSync(journalPath, Buffer.from(crashed.kept || '', 'base64'));
  const replayed = spawnSync(join(desktop, 'marrowdale'), ['--replay', journalPath, '--verify'], {encoding: 'utf8'});
  check('a dropped tab goes on with the game at the next load too, and its journal, kept through two resumes, replays on the desktop',
        crashed.ok && replayed.status === 3 && /every pass it holds matched/.test(replayed.stderr),
        `${crashed.detail}; the desktop's replay: status ${replayed.status}, ${replayed.stderr.trim()}`);
  await holdKey('Escape', 27, 30);
  await holdKey('Escape', 27, 30);
  // Enter started the game from the menu, so its cursor, replayed with the rest, stands on PLAY.
  const leftAgain = await waitForFrame([withCursor(menuFrame, [96, 279, 238, 318])], 3000);
  await page('Page.reload');
  const menuAgain = await waitForFrame([menuFrame], 20000);
  const signAgain = await pausedSign();
  check('a resumed game left for the menu is not offered again: the next load shows the menu',
        leftAgain.shown && menuAgain.shown && !signAgain, `${leftAgain.detail} ${menuAgain.detail} "${signAgain}"`);

  // F11 as on the desktop: the bar steps aside and the picture takes the largest whole scale
  // the screen holds; F11 again gives the page back.
  await holdKey('F11', 122, 20);
  const full = await waitFor(() => evaluate(`!!document.fullscreenElement && [innerWidth, innerHeight,
    document.getElementById('game').getBoundingClientRect().height, getComputedStyle(document.getElementById('bar')).display]`), 3000);
  const fullScale = full && Math.min(Math.floor(full[0] / Width), Math.floor(full[1] / Height));
  await holdKey('F11', 122, 20);
  const windowed = await waitFor(() => evaluate('!document.fullscreenElement'), 3000);
  check('F11 shows the page full screen at the largest whole scale, without its bar, and F11 again leaves it',
        full && full[2] === fullScale * Height && full[3] === 'none' && windowed, JSON.stringify(full));

  // Quitting saves the table at shutdown, into the page's storage: a first start's defaults.
  // Then any key on the ended page starts the game again.
  const quit = await exitGame();
  check('the exit icon ends the game after the credits and its save is kept in the page\'s storage',
        quit.ended && isDefaultTable(quit.saved), `ended ${quit.ended}, ${quit.saved.length} bytes kept`);
  const endedSign = await signs();
  await holdKey('c', 67, 20);
  const again = await waitForFrame([menuFrame], 20000);
  check('the ended page says so, and any key starts the game again', /has ended/.test(endedSign) && again.shown, endedSign);

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

  // Stored tables the game could not have written: set aside whole under a key of their own,
  // said on the page, the game starts from the defaults and its next save is kept.
  const Damaged = [
    ['junk', '!!not a table'],
    ['short', Buffer.from('BROWSER').toString('base64')],
    ['random', Buffer.from(Array.from({length: 128}, (_, i) => (i * 151 + 7) % 256)).toString('base64')],
  ];
  for (const [kind, value] of Damaged) {
    await evaluate(`localStorage.clear(); localStorage.setItem('marrowdale/highscores.dat', '${value}')`);
    await page('Page.reload');
    await waitForFrame([menuFrame], 20000);
    const said = await evaluate('Page.notices.join(" / ")');
    const aside = await evaluate(`Object.keys(localStorage).filter((key) =>
      key.startsWith('marrowdale-set-aside/highscores.dat/')).map((key) => localStorage.getItem(key))`);
    const {ended, saved} = await exitGame();
    check(`a ${kind} stored table is kept aside whole, the page says so once, and the next save is kept`,
          /damaged/.test(said) && !said.includes(' / ') && aside.length === 1 && aside[0] === value && ended && isDefaultTable(saved),
          `"${said}", ${aside.length} kept aside, ended ${ended}, ${saved.length} bytes saved`);
  }

  // Storage the page may not use: one line on the page, and the game plays on.
  const Refusals = [
    ['forbidden', `Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('no', 'SecurityError'); }})`, /forbids/],
    ['full', `Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); }`, /full/],
  ];
  // A high score's game there is never said to be kept: the page offers it to download.
  const KeptGame = [77, 68, 74, 79, 85, 82, 78, 76];
  const keepGame = `(() => {
    const at = _malloc(64);
    stringToUTF8('kept.mdj', at, 16);
    HEAPU8.set(${JSON.stringify(KeptGame)}, at + 16);
    _WebGameKept(at, at + 16, ${KeptGame.length});
    _free(at);
    const offer = document.getElementById('offer');
    const file = offer.querySelector('a');
    return offer.hidden || file.hidden ? [offer.textContent] :
      fetch(file.href).then((response) => response.arrayBuffer()).then((bytes) =>
        [offer.firstElementChild.textContent, file.download, [...new Uint8Array(bytes)]]);
  })()`;
  for (const [kind, source, says] of Refusals) {
    const {identifier} = await page('Page.addScriptToEvaluateOnNewDocument', {source});
    await page('Page.reload');
    const plays = await waitForFrame([menuFrame], 20000);
    const offered = await evaluate(keepGame);
    const {ended} = await exitGame();
    const said = await evaluate('Page.notices');
    check(`storage that is ${kind} gets one line on the page, and the game plays on to its end`,
          plays.shown && ended && said.length === 1 && says.test(said[0]), JSON.stringify(said));
    check(`with storage that is ${kind}, a high score's game is not said to be kept: the page offers it to download, whole`,
          /could not be kept.*download/.test(offered[0]) && offered[1] === 'kept.mdj' &&
          JSON.stringify(offered[2]) === JSON.stringify(KeptGame) && !said.some((line) => /is kept/.test(line)),
          JSON.stringify(offered));
    await page('Page.removeScriptToEvaluateOnNewDocument', {identifier});
  }

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

  // A link as the web shares it: the parameters newsletters and social sites add are none of
  // the game's, each passed over with a line in the console, and the game plays.
  await page('Page.navigate', {url: `${server.url}?utm_source=newsletter&fbclid=IwAR0x&x=1`});
  const shared = await waitForFrame([menuFrame], 20000);
  const passedOver = await evaluate('Module.log.filter((line) => /passed over/.test(line))');
  check('a shared link\'s parameters (utm_source, fbclid, x) are passed over, each said in the console, and the game plays',
        shared.shown && passedOver.length === 3 && !(await message()), `${shared.detail} ${JSON.stringify(passedOver)}`);

  // A value of the game's own that it cannot use: one line on the page that names it as the
  // address does and says where to mend it, and no game.
  await page('Page.navigate', {url: `${server.url}?display=7`});
  const refused = await waitFor(() => evaluate(`location.search === '?display=7' && typeof Module == 'object' &&
    Module.exitStatus !== undefined && [Module.exitStatus, document.getElementById('message').textContent]`), 20000);
  check('an unusable value in the address gets one line on the page that names it and says to mend the address, and no game',
        refused && refused[0] === 2 && /^Display needs .*not '7' in the page's address/.test(refused[1]) &&
        !refused[1].includes('--'), JSON.stringify(refused));

  // A phone held sideways (844 x 390): the page's signs (that the sound waits, when the browser
  // has it wait; a notice) stand beside the picture, over none of it (the menu's PLAY and help
  // buttons stay clear). Held upright (390 x 844) with a world table, the world's best show
  // under the game.
  const phone = (width, height) => page('Emulation.setDeviceMetricsOverride', {width, height, deviceScaleFactor: 3, mobile: true});
  const box = (selector) => `(() => { const r = document.querySelector('${selector}').getBoundingClientRect();
    return [r.left, r.top, r.right, r.bottom]; })()`;
  await phone(844, 390);
  await visit(server.url);
  await evaluate(`Page.notice('a notice of the page')`);
  const sideways = await waitFor(() => evaluate(`!!document.querySelector('[id^=sign-notice-]') && [${box('#game')}, ${box('#signs')}]`), 5000);
  const [picture, soundSign] = sideways || [[0, 0, 844, 390], [0, 0, 844, 390]];
  check('on a phone held sideways the page\'s signs cover none of the picture',
        (soundSign[0] >= picture[2] || soundSign[2] <= picture[0] || soundSign[1] >= picture[3] ||
         soundSign[3] <= picture[1]) && soundSign[2] <= 844,
        JSON.stringify(sideways));
  mkdirSync(join(served, 'api'), {recursive: true});
  writeFileSync(join(served, 'api', 'table'), JSON.stringify([
    {rank: 1, score: 2280, name: 'REX', game: 'highscore.mdj', when: '2026-12-07T20:14:55Z'}]));
  await phone(390, 844);
  await page('Page.navigate', {url: `${server.url}?server=/`});
  const upright = await waitFor(() => evaluate(`typeof Module == 'object' && Module.firstFrameMs !== undefined &&
    document.getElementById('world').textContent.includes('2280 REX') && [${box('#game')}, ${box('#world')}, innerHeight]`), 20000);
  check('on a phone held upright the world\'s best show under the game',
        upright && upright[1][1] >= upright[0][3] && upright[1][3] <= upright[2] && upright[1][3] > upright[1][1],
        JSON.stringify(upright));
  await page('Emulation.clearDeviceMetricsOverride');

  // A replay from the world table's link says whose game it is while it plays, with the way
  // back to a game of one's own at the same table.
  await page('Page.navigate', {url: `${server.url}?replay=${encodeURIComponent(`${server.url}highscore.mdj`)}&server=%2F`});
  const caption = await waitFor(() => evaluate(`(() => { const sign = document.getElementById('replay');
    return typeof Module == 'object' && Module.firstFrameMs !== undefined && Module.exitStatus === undefined &&
      !sign.hidden && /REX/.test(sign.textContent) && [sign.firstElementChild.textContent, sign.lastElementChild.href]; })()`), 20000);
  check('a replay from the world table shows "Replay: REX, 2280" while it plays, and a link back to playing at that table',
        caption && caption[0] === 'Replay: REX, 2280' && caption[1] === `${server.url}?server=%2F`, JSON.stringify(caption));

  // Paused, the page sleeps till the player's input: no timer every pass, no frame asked for,
  // no gamepad listened for (listening polls the devices).
  await visit(server.url);
  await holdKey('Enter', 13, 30);
  const pauseGame = await waitForFrame([playFrame], 3000);
  await holdKey('p', 80, 30);
  const pausedNow = await waitFor(pausedSign, 1000);
  await evaluate(`(() => {
    window.wakes = {timers: 0, frames: 0};
    const timeout = window.setTimeout;
    window.setTimeout = (...given) => { ++wakes.timers; return timeout(...given); };
    const frame = window.requestAnimationFrame;
    window.requestAnimationFrame = (...given) => { ++wakes.frames; return frame(...given); };
  })()`);
  await pause(3000);
  const wakes = await evaluate('wakes');
  const stoodAt = await canvasPixels();
  await holdKey('p', 80, 30);
  const woke = await waitFor(async () => !(await canvasPixels()).equals(stoodAt), 3000);
  check('paused, the page wakes no more than once a second (no timer every pass, no frame asked for, no gamepad listened for), and P plays on',
        pauseGame.shown && !!pausedNow && wakes.timers <= 6 && wakes.frames === 0 && !!woke, `${JSON.stringify(wakes)}, played on ${!!woke}`);
  // Left for the menu, the game is not one the next load goes on with.
  await holdKey('Escape', 27, 30);
  await holdKey('Escape', 27, 30);
  await waitForFrame([menuFrame], 3000);

  // Failures, each on a site of its own (no offline copy there): what the page must say.
  const broken = join(frames, 'broken');
  const brokenServer = await servePython(broken);
  const Failures = [
    ['a missing .data file', () => rmSync(join(broken, 'marrowdale.data.gz')), '', /marrowdale\.data\.gz is missing/],
    ['a damaged .wasm file', () => truncateSync(join(broken, 'marrowdale.wasm.gz'), 5000), '', /marrowdale\.wasm\.gz is damaged/],
    ['a browser without WebAssembly', () => {}, 'delete window.WebAssembly', /cannot run WebAssembly/],
    ['the page opened as a file', () => {}, '', /from a web server/, `file://${broken}/index.html`],
  ];
  // Each row's files anew, never a copy the browser kept of the row before.
  await page('Network.enable');
  await page('Network.setCacheDisabled', {cacheDisabled: true});
  for (const [what, damage, source, says, url = brokenServer.url] of Failures) {
    rmSync(broken, {recursive: true, force: true});
    cpSync(site, broken, {recursive: true});
    damage();
    const script = source && await page('Page.addScriptToEvaluateOnNewDocument', {source});
    await page('Page.navigate', {url});
    const said = await waitFor(message, 10000);
    check(`${what}: the page says what went wrong and what to do`, says.test(said), said);
    if (script) await page('Page.removeScriptToEvaluateOnNewDocument', script);
  }
  await page('Network.setCacheDisabled', {cacheDisabled: false});
  await page('Network.disable');
  brokenServer.close();

  // With the network cut the page comes from its offline copy, and plays.
  await visit(server.url);
  server.cut();
  const offline = await visit(server.url);
  await touch(...Title);
  const offlinePlay = await waitForFrame([playFrame], 3000);
  check('with the network cut, a reload comes from the offline copy and a game starts',
        offline.shown && offlinePlay.shown, `${offline.detail} ${offlinePlay.detail}`);
  server.restore();

  // A new version served while a page plays: it installs whole beside the one in use, takes
  // over without stopping the game, and the next load is the new version alone.
  const pagePath = join(served, 'index.html');
  writeFileSync(pagePath, readFileSync(pagePath, 'utf8').replace('<title>', '<meta name="version" content="second"><title>'));
  spawnSync(process.execPath, [makeSite, '--seal', served]);
  await evaluate('navigator.serviceWorker.getRegistration().then((registration) => registration.update())');
  const told = await waitFor(() => evaluate('Page.notices.some((text) => /new version/.test(text))'), 10000);
  const stillPlaying = await evaluate('Module.exitStatus === undefined && Module.ended !== true');
  const versions = await waitFor(async () => { const names = await evaluate('caches.keys()'); return names.length === 1 && names; }, 5000) || await evaluate('caches.keys()');
  const next = await visit(`${server.url}?no-resume`);
  const second = await evaluate(`!!document.querySelector('meta[name=version]')`);
  check('an update served while the page plays takes over whole: the game plays on, one version is kept, the next load is new',
        told && stillPlaying && versions.length === 1 && next.shown && second,
        `told ${!!told}, playing ${stillPlaying}, caches ${versions}, next ${next.shown} ${second}`);
} catch (error) {
  check('the browser test ran to its end', false, error.stack);
} finally {
  await browser.close();
  server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
