'use strict';
// Faults of the host as a plug-in sees them: a host killed in the middle of a call, a host
// that hangs past the API timeout and answers late, a flood of callbacks, and the plug-in
// process ending while its callback worker reads.
const test = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const { startHost } = require('./helpers/host');
const { addon, connect, disconnect, runChild, logLines, loggedTimes, repoRoot } = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

const FAILED_READ = 'IPC | Error | IPCHandler : Failed to read response after sending request';
const DROPPED_EARLY = 'IPC | Error | IPCHandler : Discarded a message that arrived before the request';
const DROPPED_LATE = 'IPC | Error | IPCHandler : Discarded a late response to a timed-out request';

// Kills pid with SIGKILL after ms, from another process: the test's own thread is blocked
// in the call by then.
function killLater(pid, ms) {
  const killer = childProcess.spawn(process.execPath,
    ['-e', `setTimeout(() => { try { process.kill(${pid}, 'SIGKILL'); } catch {} }, ${ms});`],
    { stdio: 'ignore' });
  killer.unref();
}

test('a host killed in the middle of a call fails it at once; a new host under the same id serves the next', () => {
  // The API timeout stays at 30 s: the failure must come from the broken pipe, not from it.
  const host = connect();
  let again;
  try {
    const app = addon.GetKestrel();
    host.noReply();
    killLater(host.pid, 300);
    const started = Date.now();
    assert.throws(() => app.GetName(), { message: 'GetName: Failed to communicate with host' });
    const waited = Date.now() - started;
    assert.ok(waited < 15000, `the call failed only after ${waited} ms`);

    // Nothing serves the pipe: the next call fails as well, just as promptly.
    assert.throws(() => app.GetVersion(), { message: 'GetVersion: Failed to communicate with host' });

    again = startHost({ pluginId: host.pluginId });
    assert.equal(app.GetName(), 'Hostlink Reference Host');
    assert.equal(addon.GetKestrel().GetVersion(), '1.0.0');
    assert.deepEqual(again.takeRequests().map((text) => JSON.parse(text).request.name),
      ['GetName', 'GetKestrel', 'GetVersion']);
  } finally {
    host.dispose();
    // Whatever happened, a host under the id takes the unload, so later tests start afresh.
    disconnect(again || startHost({ pluginId: host.pluginId }));
  }
});

test('a hanging host fails the call after the API timeout; its late answer goes to no later call', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(2);
    const app = addon.GetKestrel();
    const outcome = (fn) => { try { return fn(); } catch (error) { return error.message; } };

    // The late answer comes while the next request is already waiting for its own.
    host.answer({ delay: 2500 });
    let started = Date.now();
    const hung = outcome(() => app.GetName());
    const waited = Date.now() - started;
    const next = outcome(() => app.GetVersion());

    // The late answer is already on the pipe when the next request goes out.
    host.answer({ delay: 2500 });
    const hungAgain = outcome(() => app.GetName());
    sleepSync(1500);
    const after = outcome(() => app.GetVersion());
    const later = outcome(() => app.GetName());
    process.stdout.write(JSON.stringify({ hung, waited, next, hungAgain, after, later }));
    addon.CleanUp();
    host.stop();
  `);
  assert.equal(child.status, 0, child.stderr);
  const result = JSON.parse(child.stdout);
  assert.equal(result.hung, 'GetName: Failed to communicate with host');
  assert.ok(result.waited >= 1900 && result.waited < 12000, `waited ${result.waited} ms`);
  assert.equal(result.next, '1.0.0');
  assert.equal(result.hungAgain, 'GetName: Failed to communicate with host');
  assert.equal(result.after, '1.0.0');
  assert.equal(result.later, 'Hostlink Reference Host');
  assert.deepEqual(logLines(child.stderr), [FAILED_READ, DROPPED_LATE, FAILED_READ, DROPPED_EARLY]);
});

test('a flood of 10000 callbacks is delivered whole while the JavaScript thread keeps running', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const bench = addon.GetKestrel().GetBench();
    let calls = 0;
    let callsWhenImmediateRan = null;
    let echoedInTheMiddle = null;
    addon.RegisterCallback('Flood', () => {
      calls += 1;
      // A call to the host from inside the flood.
      if (calls === 5000) echoedInTheMiddle = bench.Echo('still here');
    });
    // An unknown name and malformed messages mixed in are dropped, costing nothing else.
    host.sendCallbackText('{"response":{"status":true,"result":"Unknown"}}');
    for (let i = 0; i < 10000; i += 1) {
      bench.FireAfter('Flood', 0);
      if (i % 2500 === 0) host.sendCallbackText('{"response":');
    }
    // Runs after the first batch of queued callbacks, not after all of them.
    setImmediate(() => { callsWhenImmediateRan = calls; });
    const deadline = Date.now() + 120000;
    const poll = () => {
      if (calls < 10000 && Date.now() < deadline) return setTimeout(poll, 5);
      // A moment longer, to see that nothing arrives twice.
      setTimeout(() => {
        addon.DeregisterCallback('Flood');
        addon.CleanUp();
        host.stop();
        process.stdout.write(JSON.stringify({ calls, callsWhenImmediateRan, echoedInTheMiddle }));
      }, 200);
    };
    poll();
  `, { timeoutMs: 180000 });
  assert.equal(child.status, 0, child.stderr);
  const result = JSON.parse(child.stdout);
  assert.equal(result.calls, 10000);
  assert.equal(result.echoedInTheMiddle, 'still here');
  assert.ok(result.callsWhenImmediateRan !== null &&
    (result.callsWhenImmediateRan < 10000 || differs('floodInOneTurn')),
    `the event loop ran other work only after ${result.callsWhenImmediateRan} callbacks`);
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - ';
  const parseFailed = `${prefix}Failed to parse callback message from host`;
  const lines = logLines(child.stderr).filter((line) => !line.includes('KvVariantMap'));
  assert.equal(lines[0], `${prefix}No JS callback function found for callback:Unknown`);
  // The first whole, the repeats counted.
  assert.equal(lines[1], parseFailed);
  assert.equal(loggedTimes(lines.slice(1), parseFailed), 4, lines.join('\n'));
});

// Each exit case runs a few times: the callback worker is caught at a different point of
// its read each time.
const EXIT_ROUNDS = 3;

function runExitCase(script, expectedStatus, env = {}) {
  for (let round = 1; round <= EXIT_ROUNDS; round += 1) {
    const child = runChild(script, {
      timeoutMs: 30000,
      // An exit that leaves the engine's heap to the system is about exiting, not leaks.
      env: { ASAN_OPTIONS: `${process.env.ASAN_OPTIONS || ''}:detect_leaks=0`, ...env },
    });
    assert.equal(child.signal, null, `round ${round}: ${child.stderr}`);
    assert.equal(child.status, expectedStatus, `round ${round}: ${child.stderr}`);
    assert.equal(child.stdout, 'exiting', `round ${round}: ${child.stderr}`);
    // The host is gone by the time the process ends, and a callback worker still running
    // may have looked for it once; a tick that came while its environment was ending is
    // dropped with its line, and so is one the worker read just as its name was
    // deregistered. A worker torn down by the exit deregisters its names with the host, which
    // was killed by then, so that exchange may fail with its line. Nothing else is logged.
    const expected = [
      'Open : Client IPC object open failed', 'thread-safe function has been marked as closing',
      'No JS callback function found for callback:Tick',
      'IPCHandler : Failed to read response after sending request',
    ];
    const lines = logLines(child.stderr).filter((line) => !expected.some((text) => line.includes(text)));
    assert.deepEqual(lines, [], `round ${round}`);
  }
}

test('the process ends after its callbacks are deregistered while they fire', () => {
  runExitCase(`
    const host = startHost({ tick: 1 });
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let ticks = 0;
    addon.RegisterCallback('Tick', () => {
      ticks += 1;
      if (ticks === 10) {
        addon.DeregisterCallback('Tick');
        addon.CleanUp();
        host.kill();
        process.stdout.write('exiting');
      }
    });
  `, 0);
});

test('an uncaught exception ends the process with callbacks registered and firing', () => {
  runExitCase(`
    const host = startHost({ tick: 1 });
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let ticks = 0;
    addon.RegisterCallback('Tick', () => {
      ticks += 1;
      if (ticks === 10) {
        host.kill();
        process.stdout.write('exiting');
        setImmediate(() => { throw new Error('the plug-in failed'); });
      }
    });
  `, 1);
});

const WORKER_SCRIPT = `
  const { Worker } = require('node:worker_threads');
  const host = startHost({ tick: 1 });
  addon.Initialize(host.pluginId);
  addon.SetAPITimeout(30);
  const worker = new Worker(\`
    const { parentPort, workerData } = require('node:worker_threads');
    const addon = require(workerData.root);
    let ticks = 0;
    addon.RegisterCallback('Tick', () => {
      ticks += 1;
      if (ticks === 10) {
        parentPort.postMessage('ticking');
        if (workerData.how === 'worker-exit') process.exit(0);
      }
    });
  \`, { eval: true, workerData: { root: process.env.HOSTLINK_ROOT, how: process.env.HOW } });
  worker.once('message', () => {
    if (process.env.HOW === 'main-exit') {
      host.kill();
      process.stdout.write('exiting');
      process.exit(0);
    }
  });
  worker.once('exit', () => {
    // The worker ended its own thread: the main thread goes on using the add-on.
    let done = false;
    addon.RegisterCallback('Tick', () => {
      if (done) return;
      done = true;
      addon.DeregisterCallback('Tick');
      addon.CleanUp();
      host.kill();
      process.stdout.write('exiting');
    });
  });
`;

test('the process exits while a worker thread that loaded the add-on has callbacks firing', () => {
  runExitCase(WORKER_SCRIPT, 0, { HOSTLINK_ROOT: repoRoot, HOW: 'main-exit' });
});

test('a worker thread that exits with callbacks firing leaves the main thread working', () => {
  runExitCase(WORKER_SCRIPT, 0, { HOSTLINK_ROOT: repoRoot, HOW: 'worker-exit' });
});
