'use strict';
// Argument conversion runs user code (getters, Proxy traps). Whatever that code does
// with the module (CleanUp, Initialize, SetAPITimeout, another call), the outer call
// either goes out after it in a live session or fails as not initialized, sync or async.
// Run under the sanitizer build too (npm run test:sanitize).
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect, takeParsed } = require('./helpers/addon');

const NOT_INITIALIZED = 'Execute: Not initialized, call Initialize(<pluginId>) first';

// An argument whose conversion runs action first.
function argumentRunning(action) {
  return { get x() { action(); return 1; } };
}

test('a getter that calls CleanUp fails the outer call as not initialized, with nothing sent', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    const app$ = addon.Async(app);
    host.takeRequests();
    assert.throws(() => app.Echo(argumentRunning(() => addon.CleanUp())), { message: NOT_INITIALIZED });
    addon.Initialize(host.pluginId);
    await assert.rejects(app$.Echo(argumentRunning(() => addon.CleanUp())), { message: NOT_INITIALIZED });
    // A Proxy trap does the same.
    addon.Initialize(host.pluginId);
    const trap = new Proxy({ a: 1 }, { get(target, key) { addon.CleanUp(); return target[key]; } });
    assert.throws(() => app.Echo(trap), { message: NOT_INITIALIZED });
    const names = takeParsed(host).map((r) => r.request.name);
    assert.deepEqual(names, ['UnloadPlugin', 'UnloadPlugin', 'UnloadPlugin']);
  } finally {
    disconnect(host);
  }
});

test('a getter that calls another method or SetAPITimeout sends it first, then the outer call', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    host.takeRequests();
    const inner = () => {
      assert.equal(app.Echo('inner'), 'inner');
      addon.SetAPITimeout(7);
    };
    assert.deepEqual(app.Echo(argumentRunning(inner)), { x: 1 });
    assert.deepEqual(await addon.Async(app).Echo(argumentRunning(() => app.Echo('inner'))), { x: 1 });
    const sent = takeParsed(host).map((r) => [r.request.name, r.request.args]);
    assert.deepEqual(sent, [
      ['Echo', { 0: 'inner' }],
      ['SetAPITimeout', { timeout: 7000 }],
      ['Echo', { 0: { type: 'table', value: { x: 1 } } }],
      ['Echo', { 0: 'inner' }],
      ['Echo', { 0: { type: 'table', value: { x: 1 } } }],
    ]);
  } finally {
    disconnect(host);
  }
});

test('a getter that cleans up and initializes again lets the outer call go to the new session', async () => {
  const host = connect();
  try {
    const app = addon.GetKestrel();
    const again = () => {
      addon.CleanUp();
      addon.Initialize(host.pluginId);
    };
    assert.deepEqual(app.Echo(argumentRunning(again)), { x: 1 });
    assert.deepEqual(await addon.Async(app).Echo(argumentRunning(again)), { x: 1 });
    // Initialize while initialized changes nothing.
    assert.deepEqual(app.Echo(argumentRunning(() => addon.Initialize('elsewhere'))), { x: 1 });
  } finally {
    disconnect(host);
  }
});
