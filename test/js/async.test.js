'use strict';
// Promise calls: Async(proxy) and GetKestrelAsync against the reference host: their
// order among synchronous calls, a JavaScript thread left free while they wait, their
// rejections, abort signals, CleanUp with calls queued, and the process's life around them.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect, takeParsed, runChild } = require('./helpers/addon');

const NOT_INITIALIZED = 'Not initialized, call Initialize(<pluginId>) first';

// Resolves once check() is true; rejects after timeoutMs.
async function eventually(check, what, timeoutMs = 10000) {
  const deadline = Date.now() + timeoutMs;
  while (!check()) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 2));
  }
}

// The message a synchronous call throws, or null when it returns.
function thrownBy(fn) {
  try {
    fn();
    return null;
  } catch (error) {
    return error.message;
  }
}

test('sync and async calls go out in the order they were made, each with its own answer', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    const app$ = addon.Async(app);
    host.takeRequests();
    host.answer({ delay: 100 });
    const first = app$.Echo('a1');
    const second = app$.Echo('a2');
    // Waits for both async calls before it, then goes out third.
    assert.equal(app.Echo('s3'), 's3');
    const fourth = app$.Echo('a4');
    assert.deepEqual(await Promise.all([first, second, fourth]), ['a1', 'a2', 'a4']);
    const sent = takeParsed(host).map((r) => r.request.args[0]);
    assert.deepEqual(sent, ['a1', 'a2', 's3', 'a4']);
  } finally {
    disconnect(host);
  }
});

test('a timer and a host callback run while an async call waits, the callback before it settles', async () => {
  const host = connect();
  try {
    const app$ = addon.Async(addon.GetKestrel());
    const events = [];
    addon.RegisterCallback('DocumentChanged', () => events.push('callback'));
    host.takeRequests();
    host.answer({ delay: 600 });
    const call = app$.Echo(7).then((value) => events.push(`settled ${value}`));
    await new Promise((resolve) => setTimeout(resolve, 20));
    events.push('timer');
    assert.equal(host.fire('DocumentChanged'), true);
    await call;
    assert.deepEqual(events, ['timer', 'callback', 'settled 7']);
    addon.DeregisterCallback('DocumentChanged');
  } finally {
    disconnect(host);
  }
});

test('every failure rejects with the message the synchronous call throws', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    const app$ = addon.Async(app);
    host.takeRequests();
    const scenarios = [
      ['bad argument', () => {}, (target) => target.Echo(null)],
      ['non-finite argument', () => {}, (target) => target.Echo(NaN)],
      ['too repetitive to send', () => {}, (target) => target.Echo('a'.repeat(20000))],
      ['error response', () => host.replyJson({ response: { status: false, error: { errorStr: 'x', errorCode: 3 } } }),
        (target) => target.Echo(1)],
      ['unreadable response', () => host.reply('not json'), (target) => target.Echo(1)],
      ['lost connection', () => host.drop(), (target) => target.Echo(1)],
    ];
    for (const [what, script, invoke] of scenarios) {
      script();
      const expected = thrownBy(() => invoke(app));
      assert.notEqual(expected, null, what);
      script();
      let promise;
      assert.doesNotThrow(() => { promise = invoke(app$); }, what);
      await assert.rejects(promise, (error) => error instanceof Error && error.message === expected, what);
      host.listen();
    }
    assert.deepEqual(host.takeRequests().filter((text) => text.includes('aaaa')), []);
    // A timeout counts from the write of the request.
    addon.SetAPITimeout(0.2);
    host.noReply(2);
    const expected = thrownBy(() => app.Echo(1));
    await assert.rejects(app$.Echo(1), { message: expected });
    assert.equal(expected, 'Echo: Failed to communicate with host');
    // The root object: a bad proxy, then a good one.
    host.replyJson({ response: { status: true, result: 5 } });
    const rootExpected = thrownBy(() => addon.GetKestrel());
    host.replyJson({ response: { status: true, result: 5 } });
    await assert.rejects(addon.GetKestrelAsync(), { message: rootExpected });
    assert.match(rootExpected, /^GetKestrel: Failed to parse response: /);
  } finally {
    disconnect(host);
  }
  // Not initialized: both entries reject, nothing throws.
  const app$ = addon.Async(makeOrphanProxy());
  await assert.rejects(app$.Echo(1), { message: `Execute: ${NOT_INITIALIZED}` });
  await assert.rejects(addon.GetKestrelAsync(), { message: `GetKestrel: ${NOT_INITIALIZED}` });
});

// A proxy that outlives its session (proxies survive CleanUp).
function makeOrphanProxy() {
  const host = connect();
  try {
    return addon.GetKestrel();
  } finally {
    disconnect(host);
  }
}

test('a failed argument sends nothing, sync or async', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    host.takeRequests();
    assert.throws(() => app.Echo(1, { a: undefined }), { message: 'Echo: GetArgument - Unknown argument type detected for key:a' });
    await assert.rejects(addon.Async(app).Echo(1, null), { message: 'Echo: GetArgument - Invalid input key/value  (key:1)' });
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

test('results are ordinary proxies, usable synchronously and with Async again', async () => {
  const host = connect();
  try {
    const app$ = addon.Async(await addon.GetKestrelAsync());
    const documents = await app$.GetDocuments();
    assert.equal(documents.constructor.name, 'Documents');
    const count = documents.Count();
    assert.equal(await addon.Async(documents).Count(), count);
    assert.deepEqual(Object.keys(app$).sort(), ['Echo', 'GetBench', 'GetDocuments', 'GetInfo', 'GetName', 'GetVersion']);
  } finally {
    disconnect(host);
  }
});

test('Async refuses what is not a proxy, and a signal that is not one, at once', () => {
  for (const value of [undefined, null, {}, 5]) {
    assert.throws(() => addon.Async(value), { message: "Async: Missing '<proxy>' proxy object argument" });
  }
  const proxy = makeOrphanProxy();
  assert.throws(() => addon.Async(proxy, { signal: {} }), { message: "Async: Invalid 'signal' option, an AbortSignal expected" });
  assert.throws(() => addon.Async(proxy, 5), { message: "Async: Invalid '<options>' argument, an object expected" });
});

test('an abort rejects the calls not yet sent with an AbortError and lets the sent one finish', async () => {
  const host = connect();
  try {
    const controller = new AbortController();
    // Held, so that no release of it is sent while the test counts the requests.
    const app = addon.GetKestrel();
    const app$ = addon.Async(app, { signal: controller.signal });
    host.takeRequests();
    host.answer({ delay: 300 });
    const calls = [app$.Echo(1), app$.Echo(2), app$.Echo(3)];
    await eventually(() => host.requests().length > host.taken, 'the first request');
    controller.abort();
    const [sent, ...queued] = await Promise.allSettled(calls);
    assert.deepEqual(sent, { status: 'fulfilled', value: 1 });
    for (const outcome of queued) {
      assert.equal(outcome.status, 'rejected');
      assert.ok(outcome.reason instanceof DOMException);
      assert.equal(outcome.reason.name, 'AbortError');
    }
    // Aborted for good: later calls reject at once and send nothing.
    await assert.rejects(app$.Echo(4), { name: 'AbortError' });
    assert.deepEqual(takeParsed(host).map((r) => r.request.args[0]), [1]);
    // A signal aborted before Async was called sends nothing either.
    const early = addon.Async(addon.GetKestrel(), { signal: AbortSignal.abort() });
    host.takeRequests();
    await assert.rejects(early.Echo(5), { name: 'AbortError' });
    assert.deepEqual(host.takeRequests(), []);
    assert.ok(app);
  } finally {
    disconnect(host);
  }
});

test('CleanUp lets the call in flight finish and rejects the queued ones as not initialized', async () => {
  const host = connect();
  const app$ = addon.Async(addon.GetKestrel());
  host.takeRequests();
  host.answer({ delay: 300 });
  const calls = [app$.Echo(1), app$.Echo(2), app$.Echo(3)];
  await eventually(() => host.requests().length > host.taken, 'the first request');
  try {
    assert.equal(addon.CleanUp(), true);
    const [inFlight, ...queued] = await Promise.allSettled(calls);
    assert.deepEqual(inFlight, { status: 'fulfilled', value: 1 });
    for (const outcome of queued) {
      assert.equal(outcome.status, 'rejected');
      assert.equal(outcome.reason.message, `Execute: ${NOT_INITIALIZED}`);
    }
    assert.deepEqual(takeParsed(host).map((r) => r.request.name), ['Echo', 'UnloadPlugin']);
  } finally {
    host.stop();
  }
});

test('a callback the host fires inside a call runs before that Promise call settles', async () => {
  const host = connect();
  try {
    const doc = addon.GetKestrel().GetDocuments().Create('Ordered');
    const doc$ = addon.Async(doc);
    let added = 0;
    addon.RegisterCallback('DocumentChanged', (_document, change) => {
      if (change === 'shapeAdded') added += 1;
    });
    // AddShape fires "DocumentChanged" before it answers: its callback has reached the
    // plug-in before the answer, on the other pipe, read by another thread.
    let settledFirst = 0;
    for (let i = 1; i <= 2000; i += 1) {
      await doc$.AddShape('rectangle', i, i, 10, 10);
      if (added < i) settledFirst += 1;
    }
    assert.equal(settledFirst, 0, `${settledFirst} of 2000 calls settled before their callback ran`);
  } finally {
    disconnect(host);
  }
});

test('answers waiting for a blocked JavaScript thread stop at the bound; a synchronous call behind them gets its turn', () => {
  // 160 answers of 500 KB (80 MB) against the 64 MB bound, all for a JavaScript thread
  // blocked in the synchronous call made after them.
  const calls = 160;
  const bytes = 500000;
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(60);
    const bench = addon.GetKestrel().GetBench();
    const bench$ = addon.Async(bench);
    host.takeRequests();
    let whole = 0;
    const calls = [];
    for (let i = 0; i < ${calls}; i += 1) {
      calls.push(bench$.MakeString(${bytes}).then((text) => { if (text.length === ${bytes}) whole += 1; }));
    }
    const echoed = bench.Echo('sync');
    const sent = host.takeRequests().map((text) => JSON.parse(text).request.name);
    Promise.all(calls).then(() => {
      console.log(JSON.stringify({ echoed, whole, syncAt: sent.indexOf('Echo') }));
      addon.CleanUp();
      host.stop();
    });
  `, { timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  const { echoed, whole, syncAt } = JSON.parse(child.stdout);
  assert.equal(echoed, 'sync');
  assert.equal(whole, calls);
  // Sent once the held answers reached the bound, ahead of the Promise calls not yet sent.
  assert.ok(syncAt > 0 && syncAt < calls, `the synchronous call went out after ${syncAt} Promise calls`);
  assert.ok(syncAt * bytes >= 64 * 1024 * 1024, `paused after only ${syncAt} answers`);
});

test('10000 async calls made at once all settle, in the order they were made', async () => {
  const host = connect();
  try {
    const app$ = addon.Async(addon.GetKestrel());
    const settled = [];
    const calls = [];
    for (let i = 0; i < 10000; i += 1) calls.push(app$.Echo(i).then((value) => settled.push(value)));
    await Promise.all(calls);
    assert.equal(settled.length, 10000);
    assert.ok(settled.every((value, i) => value === i), 'settled out of order');
  } finally {
    disconnect(host);
  }
});

test('a pending call keeps the process alive until it settles; nothing pending lets it exit', () => {
  const pending = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    const app$ = addon.Async(addon.GetKestrel());
    host.answer({ delay: 300 });
    app$.Echo(5).then((value) => { console.log('settled', value); addon.CleanUp(); host.stop(); });
  `);
  assert.equal(pending.status, 0, pending.stderr);
  assert.equal(pending.stdout.trim(), 'settled 5');
  const idle = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.Async(addon.GetKestrel()).Echo(1).then(() => console.log('done'));
  `, { timeoutMs: 20000 });
  assert.equal(idle.status, 0, idle.stderr);
  assert.equal(idle.stdout.trim(), 'done');
});
