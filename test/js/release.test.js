'use strict';
// Host objects let go: with a host whose root announces "release", the add-on tells it
// once the last proxy of an object is collected, counting the descriptions it received,
// so a release that crosses a new answer naming the same object never loses it.
const test = require('node:test');
const assert = require('node:assert/strict');
const v8 = require('node:v8');
const vm = require('node:vm');
const { addon, connect } = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

v8.setFlagsFromString('--expose-gc');
// Bun's engine takes no V8 flags; it has a collector call of its own.
const gc = process.versions.bun ? () => globalThis.Bun.gc(true) : vm.runInNewContext('gc');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const turn = () => new Promise((resolve) => setImmediate(resolve));

test('releases racing new answers for the same object never lose the one the plug-in holds', { skip: differs('conservativeCollector') }, async () => {
  const host = connect();
  try {
    const bench = addon.GetKestrel().GetBench();
    const base = bench.RegistrySize();
    let held = bench.NewObject();
    let kept = 0;
    for (let i = 0; i < 200; i += 1) {
      const serial = held.GetSerial();
      // The last proxy goes, and its release is queued; before it is sent, a new answer
      // names the same object. The host must keep it for the new proxy.
      held = null;
      gc();
      await turn();
      await turn();
      held = bench.LastObject();
      if (held === undefined) {
        held = bench.NewObject();  // the release came first and the object is gone: fine
        continue;
      }
      kept += 1;
      await sleep(i % 2 === 0 ? 40 : 5);  // the release arrives, or is still on its way
      assert.equal(held.GetSerial(), serial);
    }
    assert.ok(kept > 50, `only ${kept} of 200 rounds raced a release`);
    held = null;
    // Once the last proxy is collected the host lets the object go.
    const deadline = Date.now() + 10000;
    let size = bench.RegistrySize();
    while (size > base && Date.now() < deadline) {
      gc();
      await sleep(25);
      size = bench.RegistrySize();
    }
    assert.equal(size, base);
  } finally {
    addon.CleanUp();
    host.stop();
  }
});

test('a host that does not announce releases never gets one; unknown description members are ignored', async () => {
  const host = connect();
  try {
    // A root without "features", with a member no plug-in knows; then a non-root object
    // whose description claims features and more, which mean nothing there.
    host.replyJson({ response: { status: true, result: { type: 'proxy', value: {
      proxyId: 1, uniqueId: 'app', name: 'Application', functions: ['GetBench'], color: 'blue' } } } });
    let app = addon.GetKestrel();
    host.replyJson({ response: { status: true, result: { type: 'proxy', value: {
      proxyId: 7, uniqueId: 'x', name: 'Extra', functions: ['Ping'], features: ['release'], more: [1] } } } });
    let extra = app.GetBench();
    assert.equal(extra.constructor.name, 'Extra');
    assert.equal(extra.uniqueId, 'x');
    host.takeRequests();
    app = null;
    extra = null;
    for (let i = 0; i < 5; i += 1) {
      gc();
      await sleep(30);
    }
    assert.deepEqual(host.takeRequests().filter((text) => text.includes('ReleaseObjects')), []);
  } finally {
    addon.CleanUp();
    host.stop();
  }
});

test('objects a terminated worker held are released', { skip: differs('workerTeardownAfterTerminate') }, async () => {
  const { Worker } = require('node:worker_threads');
  const path = require('node:path');
  const host = connect();
  try {
    const bench = addon.GetKestrel().GetBench();
    const base = bench.RegistrySize();
    // The worker keeps its objects until it is terminated, mid-life, without collecting.
    const worker = new Worker(
      `const { parentPort } = require('node:worker_threads');
       const addon = require(${JSON.stringify(path.resolve(__dirname, '..', '..'))});
       const bench = addon.GetKestrel().GetBench();
       globalThis.kept = Array.from({ length: 50 }, () => bench.NewObject());
       parentPort.postMessage('ready');
       setInterval(() => {}, 1000);`,
      { eval: true });
    await new Promise((resolve, reject) => {
      worker.once('message', resolve);
      worker.once('error', reject);
    });
    assert.equal(bench.RegistrySize(), base + 50);
    await worker.terminate();
    const deadline = Date.now() + 10000;
    let size = bench.RegistrySize();
    while (size > base && Date.now() < deadline) {
      await sleep(25);
      size = bench.RegistrySize();
    }
    assert.equal(size, base);
  } finally {
    addon.CleanUp();
    host.stop();
  }
});

test('proxies of an earlier connection collected after CleanUp and Initialize are not released to the new host', async () => {
  const first = connect();
  let old = addon.GetKestrel().GetBench().NewObject();
  assert.equal(old.GetSerial(), 1);
  addon.CleanUp();
  first.stop();
  const second = connect();
  try {
    const app = addon.GetKestrel();  // kept, as every proxy of this connection until later
    const bench = app.GetBench();
    second.takeRequests();
    old = null;
    for (let i = 0; i < 5; i += 1) {
      gc();
      await sleep(30);
    }
    assert.deepEqual(second.takeRequests().filter((text) => text.includes('ReleaseObjects')), []);
    // The new connection's own objects are released as usual.
    let fresh = bench.NewObject();
    const base = bench.RegistrySize() - 1;
    fresh = null;
    const deadline = Date.now() + 10000;
    let size = base + 1;
    while (size > base && Date.now() < deadline) {
      gc();
      await sleep(25);
      size = bench.RegistrySize();
    }
    assert.equal(size, base);
    assert.equal(app.constructor.name, 'Application');
  } finally {
    addon.CleanUp();
    second.stop();
  }
});
