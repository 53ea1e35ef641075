// Headless Chromium driven over the DevTools protocol on a pipe, and python's static server.
import {spawn} from 'node:child_process';
import {connect, createServer} from 'node:net';
import {mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

// Python's http.server for folder on 127.0.0.1, as the README serves the page, behind a
// counter of the bytes it sends (headers and bodies, as on the wire). cut() stops answering,
// as a network that is gone; restore() answers again at the same address.
export async function servePython(folder) {
  const python = spawn('python3', ['-u', '-m', 'http.server', '-b', '127.0.0.1', '0', '-d', folder],
                       {stdio: ['ignore', 'pipe', 'pipe']});
  const port = await new Promise((resolve, reject) => {
    let said = '';
    python.stdout.on('data', (chunk) => {
      said += chunk;
      const found = / port (\d+)/.exec(said);
      if (found) resolve(Number(found[1]));
    });
    python.on('exit', () => reject(new Error(`python's http.server did not start: ${said}`)));
  });
  // Each request's path and status, from the server's log.
  const answered = [];
  python.stderr.on('data', (chunk) => {
    for (const [, path, status] of chunk.toString().matchAll(/"GET (\S+) [^"]*" (\d+)/g)) answered.push([path, Number(status)]);
  });
  let sent = 0;
  let offline = false;
  const proxy = createServer((client) => {
    if (offline) return client.destroy();
    const upstream = connect(port, '127.0.0.1');
    upstream.on('data', (chunk) => { sent += chunk.length; });
    client.pipe(upstream).pipe(client);
    client.on('error', () => upstream.destroy());
    upstream.on('error', () => client.destroy());
  });
  await new Promise((resolve) => proxy.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${proxy.address().port}/`,
    sent: () => sent,
    answered,
    cut: () => { offline = true; },
    restore: () => { offline = false; },
    close: () => { proxy.close(); python.kill(); },
  };
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
  // The page: a tab of its own, and the session its commands go to.
  let targetId;
  let sessionId;
  const page = (method, params) => send(method, params, sessionId);
  const openTab = async () => {
    ({targetId} = await send('Target.createTarget', {url: 'about:blank'}));
    ({sessionId} = await send('Target.attachToTarget', {targetId, flatten: true}));
    await page('Page.enable');
    await page('Runtime.enable');
  };
  await openTab();
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
    // The tab goes as a browser drops one (its page gets no word of it), and a new one opens.
    dropTab: async () => {
      await send('Target.closeTarget', {targetId});
      await openTab();
    },
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
