// Headless Chromium driven over the DevTools protocol on a pipe, and a static server for a folder.
import {spawn} from 'node:child_process';
import {createServer} from 'node:http';
import {mkdtempSync, readFileSync, rmSync, statSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {extname, join, normalize} from 'node:path';

const Types = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.mdj': 'application/octet-stream',
};

// Serves folder on 127.0.0.1 at a free port, as any static file server would, with extra files
// (page path to bytes) beside it.
export async function serveFolder(folder, extra = {}) {
  const server = createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const path = normalize(join(folder, name));
    const file = path.endsWith('/') ? join(path, 'index.html') : path;
    try {
      if (!extra[name] && (!file.startsWith(folder) || !statSync(file).isFile())) throw new Error('not a file');
      response.writeHead(200, {'Content-Type': Types[extname(file)] || 'application/octet-stream'});
      response.end(extra[name] || readFileSync(file));
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close()};
}

// A fresh headless Chromium with one page; commands go to the page's session.
export async function startBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'marrowdale-chromium-'));
  const child = spawn('chromium', [
    '--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--remote-debugging-pipe', `--user-data-dir=${profile}`, '--window-size=600,800',
  ], {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
  let stderr = '';
  child.stderr.on('data', (chunk) => { stderr += chunk; });
  const pending = new Map();
  const listeners = [];
  let nextId = 1;
  let buffered = '';
  child.stdio[4].on('data', (chunk) => {
    buffered += chunk.toString();
    let end;
    while ((end = buffered.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffered.slice(0, end));
      buffered = buffered.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const {resolve, reject} = pending.get(message.id);
        pending.delete(message.id);
        message.error ? reject(new Error(JSON.stringify(message.error))) : resolve(message.result);
      } else if (message.method) {
        listeners.forEach((listen) => listen(message));
      }
    }
  });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, {resolve, reject});
    child.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + '\0');
  });
  const {targetId} = await send('Target.createTarget', {url: 'about:blank'});
  const {sessionId} = await send('Target.attachToTarget', {targetId, flatten: true});
  const page = (method, params) => send(method, params, sessionId);
  await page('Page.enable');
  await page('Runtime.enable');
  return {
    pid: child.pid,
    page,
    // Runs an expression in the page; its value (awaited when it is a promise).
    evaluate: async (expression) => {
      const result = await page('Runtime.evaluate', {expression, awaitPromise: true, returnByValue: true});
      if (result.exceptionDetails) throw new Error(`${expression}: ${JSON.stringify(result.exceptionDetails)}`);
      return result.result.value;
    },
    onEvent: (listen) => listeners.push(listen),
    stderr: () => stderr,
    close: async () => {
      send('Browser.close').catch(() => {});
      const timer = setTimeout(() => child.kill('SIGKILL'), 5000);
      await exited;
      clearTimeout(timer);
      rmSync(profile, {recursive: true, force: true});
    },
  };
}

// Calls probe every 20 ms until it gives a truthy value or timeoutMs passes (then null).
export async function waitFor(probe, timeoutMs) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > end) return null;
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}
