// The world table in the browser's page as marrowdale-scores serves it (--site): a challenge
// asked for before the game loads, a kept game offered and sent with the challenge's token
// (refused: the journal given was not played on it), one kept at an earlier visit offered
// again and sent without one until the table answered, the table's best beside the game, and a
// game of the table replayed in the page from its link with every frame checked.
// Usage: node world-page.mjs SERVER-URL KEPT-JOURNAL (a table that lists nothing yet; the
// journal one of the golden game's 2280 points as REX)
import {readFileSync} from 'node:fs';
import {startBrowser, waitFor} from '../web/browser.mjs';

const [url, keptPath] = process.argv.slice(2);
const kept = readFileSync(keptPath).toString('base64');
let failed = 0;
function check(name, ok, detail = '') {
  if (!ok) ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? ` (${detail})` : ''}`);
}
const listed = `[...document.querySelectorAll('#world li')].map((item) => item.textContent).join(' / ')`;

const browser = await startBrowser();
const {page, evaluate} = browser;
try {
  await page('Page.navigate', {url: `${url}play/?server=/`});
  const note = await waitFor(() => evaluate(`(note => note && note.textContent)(document.getElementById('world-note'))`),
                             30000);
  check('the page shows the world table beside the game, empty', note === 'No game has been sent yet.', note);
  await waitFor(() => evaluate('Module.firstFrameMs !== undefined'), 60000);
  const tick = await evaluate('Module.challengeTick');
  check('the page asked the table for a challenge before the game loaded', Number.isInteger(tick), tick);
  // What the game hands the page at a name's DONE (WebGameKept).
  await evaluate(`Module.onGameKept('kept.mdj', Uint8Array.from(atob('${kept}'), (c) => c.charCodeAt(0)), true)`);
  const offered = await evaluate(`!document.getElementById('offer').hidden && document.querySelector('#offer span').textContent`);
  check('a kept game is offered to the world table', /high score/.test(offered || ''), offered);
  await evaluate(`document.querySelector('#offer button').click()`);
  const answer = await waitFor(() => evaluate(`(text => /lists|refused|reached/.test(text) && text)(
    document.querySelector('#offer span').textContent)`), 60000);
  check('sent with the challenge\'s token, a game not played on it is refused',
        /refused the game: The game was not played on the challenge/.test(answer || ''), answer);
  // A game kept at an earlier visit and never sent is offered at the next, and no more once the
  // table answered for it.
  const offer = `(shown => !!shown && !shown.hidden && shown.firstElementChild.textContent)(
    document.getElementById('offer'))`;
  await evaluate(`localStorage.setItem('marrowdale/games/earlier.mdj', '${kept}')`);
  await page('Page.navigate', {url: `${url}play/?server=/`});
  const again = await waitFor(() => evaluate(offer), 30000);
  check('a kept game never sent is offered at the next visit', /earlier\.mdj.*not been sent/.test(again || ''), again);
  await evaluate(`document.querySelector('#offer button').click()`);
  const resent = await waitFor(() => evaluate(`(text => /lists|refused|reached/.test(text) && text)(
    document.querySelector('#offer span').textContent)`), 60000);
  check('sent at the next visit without a token, the table lists it',
        /lists the game: rank 1, 2280 points, REX\.$/.test(resent || ''), resent);
  await page('Page.navigate', {url: `${url}play/?server=/`});
  const shown = await waitFor(() => evaluate(listed), 30000);
  check('the table beside the game shows it', shown === '2280 REX', shown);
  check('once answered, it is offered no more', (await evaluate(offer)) === false);
  const link = await evaluate(`document.querySelector('#world li a').href`);
  await page('Page.navigate', {url: `${link}&verify`});
  const status = await waitFor(() => evaluate(`typeof Module == 'object' && Module.exitStatus !== undefined &&
    [Module.exitStatus, Module.log.join(' / ')]`), 180000);
  check('the table\'s best replays in the page from its link, every frame checked',
        status && status[0] === 0, `${JSON.stringify(status)} ${link}`);
} finally {
  await browser.close();
}
process.exit(failed ? 1 : 0);
