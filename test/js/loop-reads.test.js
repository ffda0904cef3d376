'use strict';
// Promise calls whose answers the JavaScript thread takes from its own event loop, which
// watches a duplicate of the request connection: the connection's end and its loss must
// reach both sides as they do without the watch.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect, runChild, logLines, repoRoot } = require('./helpers/addon');
const { startHost } = require('./helpers/host');

test('CleanUp after Promise calls ends the connection at once, with the JavaScript thread kept from its loop', () => {
  // The watched duplicate must not hold the host's one connection open: a second plug-in
  // connects while the first one's thread is still blocked after its CleanUp.
  const { status, stdout, stderr } = runChild(`
    const host = startHost({ control: false, keepRunning: true });
    addon.Initialize(host.pluginId);
    (async () => {
      const app$ = addon.Async(addon.GetKestrel());
      for (let i = 0; i < 3; i += 1) await app$.GetName();
      addon.CleanUp();
      const source = 'const addon = require(' + JSON.stringify(${JSON.stringify(repoRoot)}) + ');' +
        'addon.Initialize(' + JSON.stringify(host.pluginId) + ');' +
        'console.log(addon.GetKestrel().GetName());' +
        'addon.CleanUp();';
      const other = require('node:child_process').spawnSync(process.execPath, ['-e', source],
        { encoding: 'utf8', timeout: 20000 });
      host.stop();
      console.log(JSON.stringify({ status: other.status, out: other.stdout.trim(), err: other.stderr }));
    })();
  `);
  assert.equal(status, 0, stderr);
  const other = JSON.parse(stdout.trim().split('\n').pop());
  assert.equal(other.status, 0, other.err);
  assert.equal(other.out, 'Hostlink Reference Host');
  assert.deepEqual(logLines(other.err), []);
});

test('a host killed while the loop waits for an answer rejects the call at once; the next call reaches a new host', async () => {
  // No API time-out: the rejection must come from the lost connection itself.
  const host = connect({ safetyTimeout: false });
  let again;
  try {
    const app$ = addon.Async(addon.GetKestrel());
    host.noReply();
    const started = Date.now();
    setTimeout(() => host.kill(), 300);
    await assert.rejects(app$.GetName(), { message: 'GetName: Failed to communicate with host' });
    assert.ok(Date.now() - started < 10000, `the call failed only after ${Date.now() - started} ms`);

    again = startHost({ pluginId: host.pluginId });
    // Each needs the connection made anew, and the new one watched rather than the old.
    assert.equal(await app$.GetName(), 'Hostlink Reference Host');
    assert.equal(await app$.GetName(), 'Hostlink Reference Host');
  } finally {
    host.dispose();
    disconnect(again || startHost({ pluginId: host.pluginId }));
  }
});

test('an answer later than the API time-out rejects the call in time, and is not taken for the next call', async () => {
  const host = connect({ safetyTimeout: false });
  try {
    addon.SetAPITimeout(1);
    const app$ = addon.Async(addon.GetKestrel());
    host.answer({ delay: 3000 });
    const started = Date.now();
    await assert.rejects(app$.GetName(), { message: 'GetName: Failed to communicate with host' });
    const waited = Date.now() - started;
    assert.ok(waited >= 900 && waited < 2500, `the call failed after ${waited} ms`);
    // The late answer arrives meanwhile.
    await new Promise((resolve) => setTimeout(resolve, 3000 - waited + 300));
    assert.equal(await app$.GetVersion(), '1.0.0');
  } finally {
    disconnect(host);
  }
});

test('callbacks arrive whole and in order while a worker loading the add-on takes the pipe back from the loop', async () => {
  const { Worker } = require('node:worker_threads');
  const host = connect();
  let worker;
  try {
    const seen = [];
    addon.RegisterCallback('Seq', (n) => { seen.push(n); });
    const send = (from, to) => {
      for (let i = from; i < to; i += 1) {
        host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'Seq', args: { 0: i } } }));
      }
    };
    send(0, 300);
    // Loaded while the first messages may still wait unread: from then on the callback thread
    // reads them, behind whatever the loop took.
    worker = new Worker(`require(${JSON.stringify(repoRoot)});
      require('node:worker_threads').parentPort.postMessage('loaded');`, { eval: true });
    send(300, 600);
    await new Promise((resolve) => worker.once('message', resolve));
    send(600, 900);
    const deadline = Date.now() + 10000;
    while (seen.length < 900 && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 5));
    assert.deepEqual(seen, Array.from({ length: 900 }, (_, i) => i));
    addon.DeregisterCallback('Seq');
  } finally {
    if (worker) await worker.terminate();
    disconnect(host);
  }
});
