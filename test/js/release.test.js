'use strict';
// Host objects let go: with a host whose root announces "release", the add-on tells it
// once the last proxy of an object is collected, counting the descriptions it received,
// so a release that crosses a new answer naming the same object never loses it.
const test = require('node:test');
const assert = require('node:assert/strict');
const v8 = require('node:v8');
const vm = require('node:vm');
const { addon, connect } = require('./helpers/addon');

v8.setFlagsFromString('--expose-gc');
const gc = vm.runInNewContext('gc');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

test('releases racing new answers for the same object never lose the one the plug-in holds', async () => {
  const host = connect();
  try {
    const bench = addon.GetKestrel().GetBench();
    const base = bench.RegistrySize();
    let held = bench.NewObject();
    const serial = held.GetSerial();
    for (let i = 0; i < 300; i += 1) {
      // A new description of the same object, while the old proxy goes and its release
      // may be on its way.
      held = bench.Echo(held);
      gc();
      if (i % 10 === 0) await sleep(25);
      assert.equal(held.GetSerial(), serial);
    }
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
