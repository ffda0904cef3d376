'use strict';
// Initialize and CleanUp: argument checks, the connection's life, and a host that goes
// away and comes back.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startHost, uniquePluginId } = require('./helpers/host');
const { addon, connect, disconnect, takeParsed } = require('./helpers/addon');

const NOT_INITIALIZED = 'Not initialized, call Initialize(<pluginId>) first';

test('Initialize without a string identifier throws the missing-argument text', () => {
  for (const args of [[], [42], [undefined], [null], [{}]]) {
    assert.throws(() => addon.Initialize(...args), {
      name: 'Error',
      message: "Initialize: Missing '<pluginId>' string argument",
    });
  }
});

test('Initialize with an empty identifier throws the empty-argument text', () => {
  assert.throws(() => addon.Initialize(''), { message: "Initialize: Empty '<pluginId>' string argument" });
});

test('Initialize with no host listening throws and leaves the plug-in uninitialized', () => {
  assert.throws(() => addon.Initialize(uniquePluginId('nohost')), {
    message: 'Initialize: Failed to initialize communication with host',
  });
  assert.throws(() => addon.GetKestrel(), { message: `GetKestrel: ${NOT_INITIALIZED}` });
  // A later attempt tries again with a new channel.
  const host = startHost();
  try {
    assert.equal(addon.Initialize(host.pluginId), true);
  } finally {
    disconnect(host);
  }
});

test('Initialize while connected returns true, ignores its arguments and keeps the connection', () => {
  const host = connect({ safetyTimeout: false });
  try {
    assert.equal(addon.Initialize('another-id'), true);
    assert.equal(addon.Initialize(), true);
    assert.equal(addon.Initialize(42), true);
    assert.equal(addon.Initialize(''), true);
    assert.deepEqual(host.takeRequests(), []);
    addon.GetKestrel();
    assert.equal(takeParsed(host)[0].request.name, 'GetKestrel');
  } finally {
    disconnect(host);
  }
});

test('CleanUp before any Initialize returns true', () => {
  assert.equal(addon.CleanUp(), true);
  assert.equal(addon.CleanUp('extra', 1), true);
});

test('CleanUp sends UnloadPlugin with the identifier, then the plug-in is disconnected', () => {
  const host = connect();
  try {
    assert.equal(addon.CleanUp(), true);
    const [text, ...rest] = host.takeRequests();
    assert.deepEqual(rest, []);
    assert.match(text, new RegExp(`^\\{"request":\\{"requestId":\\d+,"name":"UnloadPlugin","args":\\{"id":"${host.pluginId}"\\}\\}\\}$`));
    assert.throws(() => addon.GetKestrel(), { message: `GetKestrel: ${NOT_INITIALIZED}` });
    assert.equal(addon.CleanUp(), true);
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    host.stop();
  }
});

test('CleanUp drops the API timeout with the plug-in state', () => {
  const host = connect();
  try {
    addon.CleanUp();
    // The new plug-in state starts at 0 (no limit), so 30 s is a change that needs a connection.
    assert.throws(() => addon.SetAPITimeout(30), { message: `SetAPITimeout: ${NOT_INITIALIZED}` });
    assert.equal(addon.SetAPITimeout(), true);
  } finally {
    host.stop();
  }
});

test('CleanUp succeeds even when the host answers UnloadPlugin with an error', () => {
  const host = connect();
  try {
    host.replyJson({ response: { status: false, error: { errorStr: 'refused', errorCode: 9 } } });
    assert.equal(addon.CleanUp(), true);
    assert.throws(() => addon.GetKestrel(), { message: `GetKestrel: ${NOT_INITIALIZED}` });
  } finally {
    host.stop();
  }
});

test('CleanUp whose unload gets no answer throws, stays connected and may be retried', () => {
  const host = connect({ safetyTimeout: false });
  try {
    addon.SetAPITimeout(1);
    host.takeRequests();
    host.noReply();
    assert.throws(() => addon.CleanUp(), { message: 'CleanUp: Failed to stop communication with host' });
    addon.GetKestrel();
    assert.equal(addon.CleanUp(), true);
    const names = takeParsed(host).map((r) => r.request.name);
    assert.deepEqual(names, ['UnloadPlugin', 'GetKestrel', 'UnloadPlugin']);
  } finally {
    host.stop();
  }
});

test('after CleanUp, Initialize connects again, to another host', () => {
  const first = connect();
  const second = startHost();
  try {
    assert.equal(addon.CleanUp(), true);
    first.takeRequests();
    assert.equal(addon.Initialize(second.pluginId), true);
    addon.GetKestrel();
    assert.deepEqual(first.takeRequests(), []);
    assert.deepEqual(takeParsed(second).map((r) => r.request.name), ['GetKestrel']);
  } finally {
    first.stop();
    disconnect(second);
  }
});

test('a host that drops the connection fails the call; the next call reconnects', () => {
  const host = connect();
  try {
    host.drop();
    assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Failed to send message to host' });
    host.listen();
    assert.equal(addon.GetKestrel().constructor.name, 'Application');
  } finally {
    disconnect(host);
  }
});

test('a host that stops and starts again under the same identifier is reached again', () => {
  const first = connect();
  const pluginId = first.pluginId;
  first.stop();
  assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Failed to send message to host' });
  const second = startHost({ pluginId });
  try {
    assert.equal(addon.GetKestrel().constructor.name, 'Application');
    assert.equal(takeParsed(second).map((r) => r.request.name).join(), 'GetKestrel');
  } finally {
    disconnect(second);
  }
});
