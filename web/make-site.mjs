// Lays out the page's own folder from the game's build: the page, its files compressed, the
// app's icons and manifest, and the service worker sealed with every file's digest.
// Usage: node make-site.mjs GAME-DIR ICON-DIR SITE-DIR (GAME-DIR holds marrowdale.js, .wasm and
//        .data; ICON-DIR the content tool's Icons/)
//        node make-site.mjs --seal SITE-DIR (seals a site again after one of its files changed)
import {createHash} from 'node:crypto';
import {copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {constants, gzipSync} from 'node:zlib';

const web = dirname(fileURLToPath(import.meta.url));
// The game's files, sent gzip-compressed and unpacked in the page.
const Packed = ['marrowdale.js', 'marrowdale.wasm', 'marrowdale.data'];
// The page's files taken as they are, and the game build's page of the licences.
const Plain = ['manifest.webmanifest'];
const Legal = 'legal.html';
const AppIcons = [192, 512];
// favicon.ico holds these sizes, each as a PNG.
const FaviconSizes = [16, 32, 48];

function sha256(bytes) {
  return createHash('sha256').update(bytes).digest('hex');
}

// An ICO file of PNG images: the header, one 16-byte entry each, then the images.
function icoOf(pngs) {
  const header = Buffer.alloc(6 + 16 * pngs.length);
  header.writeUInt16LE(1, 2);
  header.writeUInt16LE(pngs.length, 4);
  let offset = header.length;
  pngs.forEach(({size, bytes}, i) => {
    const entry = 6 + 16 * i;
    header.writeUInt8(size % 256, entry);
    header.writeUInt8(size % 256, entry + 1);
    header.writeUInt16LE(1, entry + 4);
    header.writeUInt16LE(32, entry + 6);
    header.writeUInt32LE(bytes.length, entry + 8);
    header.writeUInt32LE(offset, entry + 12);
    offset += bytes.length;
  });
  return Buffer.concat([header, ...pngs.map(({bytes}) => bytes)]);
}

// The service worker names every file of the site but itself with its digest, and the site's
// version, the digest of them all. Folders (the sources beside the page) are no part of it:
// they are downloaded only when asked for.
function seal(site) {
  const files = {};
  for (const entry of readdirSync(site, {withFileTypes: true}).sort((a, b) => a.name < b.name ? -1 : 1)) {
    if (entry.isFile() && entry.name !== 'sw.js') files[entry.name] = sha256(readFileSync(join(site, entry.name)));
  }
  const version = sha256(JSON.stringify(files)).substring(0, 16);
  const worker = readFileSync(join(web, 'sw.js'), 'utf8');
  writeFileSync(join(site, 'sw.js'), worker.replace('"@SITE@"', JSON.stringify({version, files})));
  return version;
}

function build(game, icons, site) {
  rmSync(site, {recursive: true, force: true});
  mkdirSync(site, {recursive: true});
  const packed = {};
  for (const name of Packed) {
    const bytes = readFileSync(join(game, name));
    const sent = gzipSync(bytes, {level: constants.Z_BEST_COMPRESSION});
    writeFileSync(join(site, `${name}.gz`), sent);
    packed[name] = {size: bytes.length, sent: sent.length};
  }
  const legal = existsSync(join(game, Legal));
  const page = readFileSync(join(web, 'index.html'), 'utf8');
  writeFileSync(join(site, 'index.html'), page.replace('"@FILES@"', JSON.stringify({files: packed, legal})));
  for (const name of Plain) copyFileSync(join(web, name), join(site, name));
  if (legal) copyFileSync(join(game, Legal), join(site, Legal));
  for (const size of AppIcons) copyFileSync(join(icons, `${size}.png`), join(site, `icon-${size}.png`));
  writeFileSync(join(site, 'favicon.ico'),
                icoOf(FaviconSizes.map((size) => ({size, bytes: readFileSync(join(icons, `${size}.png`))}))));
  return seal(site);
}

const args = process.argv.slice(2);
try {
  if (args[0] === '--seal' && args.length === 2) {
    console.log(`${args[1]}: version ${seal(args[1])}`);
  } else if (args.length === 3) {
    console.log(`${args[2]}: version ${build(...args)}`);
  } else {
    console.error('usage: make-site.mjs GAME-DIR ICON-DIR SITE-DIR | --seal SITE-DIR');
    process.exit(2);
  }
} catch (error) {
  console.error(`make-site: ${error.message}`);
  process.exit(1);
}
