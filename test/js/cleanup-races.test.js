'use strict';
// CleanUp against what other threads do meanwhile, and a CleanUp that fails: after CleanUp
// returns nothing of the old session is left, and a failed one leaves everything as it was.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, runChild, logLines, repoRoot, connect, disconnect } = require('./helpers/addon');

// A worker thread of the child that runs `body` (with `addon` and `round` in scope) each time
// the main thread calls go(round), and reports through the shared slot 0 when it is done.
const WORKER = `
  const { Worker } = require('node:worker_threads');
  const shared = new Int32Array(new SharedArrayBuffer(8));
  function startWorker(body) {
    const worker = new Worker(\`
      const { workerData } = require('node:worker_threads');
      const addon = require(workerData.root);
      const shared = workerData.shared;
      for (let round = 1; ; round += 1) {
        while (Atomics.load(shared, 1) < round) Atomics.wait(shared, 1, round - 1, 50);
        if (Atomics.load(shared, 1) < 0) break;
        let outcome = 1;
        try { \${body} } catch (error) { outcome = 2; }
        Atomics.store(shared, 0, outcome);
        Atomics.notify(shared, 0);
      }
    \`, { eval: true, workerData: { root: process.env.HOSTLINK_ROOT, shared } });
    return {
      go(round) { Atomics.store(shared, 0, 0); Atomics.store(shared, 1, round); Atomics.notify(shared, 1); },
      // 1: the body returned, 2: it threw.
      done() { while (Atomics.load(shared, 0) === 0) Atomics.wait(shared, 0, 0, 50); return Atomics.load(shared, 0); },
      stop() { Atomics.store(shared, 1, -1); Atomics.notify(shared, 1); return worker.terminate(); },
    };
  }
  // Initialize, tried again when refused: on a loaded machine the host may not yet have taken
  // the previous connection off its one-place queue within the 300 ms an open waits.
  function initialize(pluginId) {
    for (let attempt = 1; ; attempt += 1) {
      try { return addon.Initialize(pluginId); } catch (error) { if (attempt === 5) throw error; }
    }
  }
  // Waits until the host has received a request named name (its answer may come later).
  function waitForRequest(host, name) {
    const deadline = Date.now() + 10000;
    while (!host.requests().some((text) => JSON.parse(text).request.name === name)) {
      if (Date.now() > deadline) throw new Error('no ' + name + ' request');
      sleepSync(1);
    }
  }
`;

test('a registration racing CleanUp is deregistered by it, and the next registration reaches the new host', () => {
  const child = runChild(`
    ${WORKER}
    const hosts = [startHost(), startHost()];
    const worker = startWorker("addon.RegisterCallback('Late', () => {});");
    const faults = [];
    for (let round = 1; round <= 12; round += 1) {
      const [old, next] = round % 2 ? hosts : [hosts[1], hosts[0]];
      initialize(old.pluginId);
      addon.SetAPITimeout(30);
      old.takeRequests();
      old.answer({ delay: 300 });
      worker.go(round);
      waitForRequest(old, 'RegisterCallback');
      addon.CleanUp();
      worker.done();
      if (old.status().callbacks.length !== 0) faults.push(round + ': the old host keeps ' + old.status().callbacks);
      initialize(next.pluginId);
      addon.SetAPITimeout(30);
      next.takeRequests();
      let fired = 0;
      addon.RegisterCallback('Late', () => { fired += 1; });
      const asked = next.takeRequests().map((text) => JSON.parse(text).request.name);
      if (!asked.includes('RegisterCallback')) faults.push(round + ': the new host was not asked');
      if (!next.fire('Late')) faults.push(round + ': the new host cannot fire it');
      addon.CleanUp();
    }
    worker.stop().then(() => {
      for (const host of hosts) host.stop();
      process.stdout.write(JSON.stringify(faults));
    });
  `, { env: { HOSTLINK_ROOT: repoRoot }, timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), []);
});

// `length` letters in runs of 40: text that compresses about 60:1, within what the channel
// takes, and takes the plug-in some milliseconds to read.
function runsOfLetters(length) {
  let state = 2463534242;
  let text = '';
  while (text.length < length) {
    state ^= state << 13; state >>>= 0;
    state ^= state >>> 17;
    state ^= state << 5; state >>>= 0;
    text += String.fromCharCode(97 + (state % 26)).repeat(40);
  }
  return text.slice(0, length);
}

test('SetAPITimeout racing CleanUp cannot undo the reset of the time-out', () => {
  const child = runChild(`
    ${WORKER}
    ${runsOfLetters}
    const host = startHost();
    const worker = startWorker('addon.SetAPITimeout(5);');
    // An accepting answer that takes a while to read after the exchange: the window in which
    // the time-out used to be stored after the request's turn had ended.
    const padded = JSON.stringify({ response: { requestId: 1, status: true, result: true, pad: runsOfLetters(4000000) } });
    const faults = [];
    for (let round = 1; round <= 10; round += 1) {
      initialize(host.pluginId);
      host.takeRequests();
      host.reply(padded, { delay: 100 });
      worker.go(round);
      waitForRequest(host, 'SetAPITimeout');
      addon.CleanUp();
      worker.done();
      // With no time-out stored, setting none asks the host nothing.
      initialize(host.pluginId);
      host.takeRequests();
      addon.SetAPITimeout();
      if (host.takeRequests().length !== 0) faults.push(round);
      addon.CleanUp();
    }
    worker.stop().then(() => {
      host.stop();
      process.stdout.write(JSON.stringify(faults));
    });
  `, { env: { HOSTLINK_ROOT: repoRoot }, timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), []);
});

test('a CleanUp whose unload fails keeps every callback registered with the host and delivered', async () => {
  const host = connect();
  try {
    const calls = [];
    addon.RegisterCallback('A', (text) => calls.push(`A ${text}`));
    addon.RegisterCallback('B', (text) => calls.push(`B ${text}`));
    host.takeRequests();
    addon.SetAPITimeout(0.3);
    host.answer();    // DeregisterCallback A
    host.answer();    // DeregisterCallback B
    host.noReply();   // the unload is never answered: CleanUp fails
    assert.throws(() => addon.CleanUp(), { message: 'CleanUp: Failed to stop communication with host' });
    addon.SetAPITimeout(30);
    assert.deepEqual(host.status().callbacks, ['A', 'B']);
    // The host renews its callback pipe at a first registration: the plug-in reconnects.
    const deadline = Date.now() + 10000;
    for (let i = 0; calls.length === 0 && Date.now() < deadline; i += 1) {
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'A', args: { 0: String(i) } } }));
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'B', args: { 0: 'after' } } }));
    while (!calls.includes('B after') && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 10));
    assert.ok(calls.length > 0 && calls.at(-1) === 'B after', calls.join(', '));
  } finally {
    disconnect(host);
  }
});
