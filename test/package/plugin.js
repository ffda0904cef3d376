'use strict';
// A plug-in as its author would write it, run from a project that installed the packed
// package: it loads require('hostlink') from that project's node_modules and drives the
// reference host through the root object, a method call with a table, Promise calls, a
// callback, a worker thread and CleanUp; each step prints "plugin: <what>: ...". Exits 0 only when every step gave the expected answer. plugin.mjs runs the same
// steps with the package's ES-module imports.
//
//   node plugin.js PATH_TO_HOSTLINK_HOST     (hostlink-host or hostlink-host.exe)

const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const STEP_TIMEOUT_MS = 20000;

function waitUntil(check, what) {
  return new Promise((resolve, reject) => {
    const deadline = Date.now() + STEP_TIMEOUT_MS;
    const poll = () => {
      if (check()) resolve();
      else if (Date.now() > deadline) reject(new Error(`plugin: no ${what} within ${STEP_TIMEOUT_MS} ms`));
      else setTimeout(poll, 10);
    };
    poll();
  });
}

// The host writes to files rather than pipes: the Windows node.exe under Wine cannot
// read a child's pipe reliably, and files can be read back after the host has ended.
function startHost(binary, pluginId) {
  const directory = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-plugin-'));
  const out = fs.openSync(path.join(directory, 'stdout'), 'w');
  const err = fs.openSync(path.join(directory, 'stderr'), 'w');
  const child = childProcess.spawn(binary, ['--plugin-id', pluginId], { stdio: ['ignore', out, err] });
  fs.closeSync(out);
  fs.closeSync(err);
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  const read = (name) => fs.readFileSync(path.join(directory, name), 'utf8');
  return { child, exited, read, directory };
}

// Runs source in a worker thread, with the package's entry as workerData; resolves with the
// first message it posts.
function inWorker(source) {
  const { Worker } = require('node:worker_threads');
  const worker = new Worker(source, { eval: true, workerData: require.resolve('hostlink') });
  const posted = new Promise((resolve, reject) => {
    worker.once('message', resolve);
    worker.once('error', reject);
    worker.once('exit', (code) => reject(new Error(`plugin: the worker ended (${code}) without an answer`)));
  });
  return posted.finally(() => worker.terminate());
}

// The steps, with `hostlink` the package's functions however they were loaded.
async function run(hostlink, binary) {
  if (!binary) throw new Error('usage: node plugin.js PATH_TO_HOSTLINK_HOST');
  const pluginId = `package-${process.pid}-${Date.now()}`;
  const host = startHost(path.resolve(binary), pluginId);
  try {
    await waitUntil(() => host.read('stdout').includes('hostlink-host: ready'), 'ready line from the host');

    assert.equal(hostlink.Initialize(pluginId), true);
    assert.equal(hostlink.SetAPITimeout(10), true);

    const app = hostlink.GetKestrel();
    assert.equal(app.constructor.name, 'Application');
    console.log(`plugin: loads: root object ${app.constructor.name} "${app.GetName()}"`);

    let changes = 0;
    assert.equal(hostlink.RegisterCallback('DocumentChanged', () => { changes += 1; }), true);

    const drawing = app.GetDocuments().Create('Package check');
    const shape = drawing.AddShape({ type: 'ellipse', x: 5, y: 6, width: 70, height: 80 });
    assert.deepEqual(shape, { id: 1, type: 'ellipse', x: 5, y: 6, width: 70, height: 80 });
    console.log(`plugin: sync calls: AddShape with a table gave ${JSON.stringify(shape)}`);

    const root = await hostlink.GetKestrelAsync();
    const [echoed, count] = await Promise.all([
      hostlink.Async(root).Echo('awaited'),
      hostlink.Async(root.GetDocuments()).Count(),
    ]);
    assert.deepEqual([echoed, count], ['awaited', 1]);
    console.log(`plugin: Promise calls: Echo gave "${echoed}", Count gave ${count}`);

    await waitUntil(() => changes > 0, 'DocumentChanged callback');
    console.log(`plugin: callbacks: DocumentChanged ran ${changes} time(s)`);
    assert.equal(hostlink.DeregisterCallback('DocumentChanged'), true);

    const fromWorker = await inWorker(`
      const { parentPort, workerData } = require('node:worker_threads');
      const hostlink = require(workerData);
      parentPort.postMessage(hostlink.GetKestrel().GetDocuments().Open('Package check').GetTitle());
    `);
    assert.equal(fromWorker, 'Package check');
    console.log(`plugin: workers: a worker thread's own proxies gave "${fromWorker}"`);

    assert.equal(hostlink.CleanUp(), true);
    const code = await Promise.race([
      host.exited,
      // Unreferenced: a pending limit would keep the process alive once every step is done.
      new Promise((resolve) => setTimeout(() => resolve('still running'), STEP_TIMEOUT_MS).unref()),
    ]);
    assert.equal(code, 0, `the host did not stop cleanly on UnloadPlugin: ${host.read('stderr')}`);
    assert.match(host.read('stdout'), /hostlink-host: stopped/);
    console.log('plugin: CleanUp unloaded the plug-in and the host stopped');
  } finally {
    if (host.child.exitCode === null) host.child.kill();
    await host.exited;
    fs.rmSync(host.directory, { recursive: true, force: true });
  }
}

// Runs the steps and sets the exit code from them.
function main(hostlink, binary) {
  return run(hostlink, binary).then(
    () => console.log('plugin: all steps passed'),
    (error) => {
      console.error(error && error.stack ? error.stack : error);
      process.exitCode = 1;
    },
  );
}

module.exports = { main };
if (require.main === module) main(require('hostlink'), process.argv[2]);
