'use strict';
// SetAPITimeout: its arithmetic, its exchange with the host, and a host that does not
// answer within the timeout.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect, takeParsed, runChild, logLines } = require('./helpers/addon');

function sentTimeouts(host) {
  return takeParsed(host).map((r) => {
    assert.equal(r.request.name, 'SetAPITimeout');
    assert.equal(r.request.proxyId, undefined);
    assert.deepEqual(Object.keys(r.request.args), ['timeout']);
    return r.request.args.timeout;
  });
}

test('SetAPITimeout without arguments keeps no limit and needs no host', () => {
  assert.equal(addon.SetAPITimeout(), true);
  const host = connect({ safetyTimeout: false });
  try {
    assert.equal(addon.SetAPITimeout(), true);
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

test('SetAPITimeout with a non-number throws the invalid-value text, before anything else', () => {
  for (const value of [undefined, '5', null, {}, 5n]) {
    assert.throws(() => addon.SetAPITimeout(value), { message: 'SetAPITimeout: Invalid timeout value' });
  }
});

test('SetAPITimeout with a new value while not initialized throws', () => {
  assert.throws(() => addon.SetAPITimeout(5), {
    message: 'SetAPITimeout: Not initialized, call Initialize(<pluginId>) first',
  });
});

test('SetAPITimeout sends seconds in milliseconds, a fraction rounded up, never wrapped', () => {
  const host = connect({ safetyTimeout: false });
  try {
    const cases = [
      [2.9, 2900],
      [0.5, 500],
      [0.3, 300],
      [7, 7000],
      [4294967, 4294967000],
      [4294967.295, 4294967295],
      [0, 0],
    ];
    for (const [seconds] of cases) assert.equal(addon.SetAPITimeout(seconds), true);
    // Less than a millisecond is sent as 1 ms, never as 0 (no limit). The host declines these,
    // so the plug-in keeps its limit: a 1 ms limit would fail the next exchange on a slow machine.
    const tiny = [[0.0001, 1], [1e-9, 1]];
    for (const [seconds] of tiny) {
      host.replyJson({ response: { status: true, result: false } });
      assert.throws(() => addon.SetAPITimeout(seconds), {
        message: 'SetAPITimeout: Failed to set API timeout with host',
      });
    }
    assert.deepEqual(sentTimeouts(host), [...cases, ...tiny].map(([, ms]) => ms));
    const [text] = (addon.SetAPITimeout(1), host.takeRequests());
    assert.match(text, /^\{"request":\{"requestId":\d+,"name":"SetAPITimeout","args":\{"timeout":1000\}\}\}$/);
  } finally {
    disconnect(host);
  }
});

test('SetAPITimeout refuses a negative, non-finite or too large value with nothing sent', () => {
  const host = connect({ safetyTimeout: false });
  try {
    for (const seconds of [-1, -0.001, 4294968, 4294967.296, 4294967296 + 3, Infinity, -Infinity, NaN]) {
      assert.throws(() => addon.SetAPITimeout(seconds), {
        message: 'SetAPITimeout: Timeout out of range, a number of seconds from 0 to 4294967.295 expected',
      });
    }
    assert.deepEqual(host.takeRequests(), []);
    assert.equal(host.status().apiTimeout, 0);
  } finally {
    disconnect(host);
  }
});

test('a host that does not confirm with a true result leaves the timeout unchanged', () => {
  const host = connect({ safetyTimeout: false });
  try {
    for (const result of [false, 'true', 1, { type: 'table', value: { a: true } }]) {
      host.replyJson({ response: { status: true, result } });
      assert.throws(() => addon.SetAPITimeout(5), {
        message: 'SetAPITimeout: Failed to set API timeout with host',
      });
    }
    // Still 0: the same value needs no request, a new one asks again.
    assert.equal(addon.SetAPITimeout(), true);
    assert.equal(addon.SetAPITimeout(5), true);
    assert.deepEqual(sentTimeouts(host), [5000, 5000, 5000, 5000, 5000]);
  } finally {
    disconnect(host);
  }
});

test('SetAPITimeout reports unusable responses with the response check texts', () => {
  const host = connect({ safetyTimeout: false });
  try {
    host.reply('not json');
    assert.throws(() => addon.SetAPITimeout(5), { message: 'SetAPITimeout: Invalid response: not json' });
    host.replyJson({ response: { status: false, error: { errorStr: 'x', errorCode: 3 } } });
    assert.throws(() => addon.SetAPITimeout(5), {
      message: 'SetAPITimeout: Error response (errorStr:x) (errorCode:3)',
    });
    host.reply('{"response":{"requestId":4,"status":true}}');
    assert.throws(() => addon.SetAPITimeout(5), {
      message: 'SetAPITimeout: Bad response: {"response":{"requestId":4,"status":true}}',
    });
    host.drop();
    assert.throws(() => addon.SetAPITimeout(5), { message: 'SetAPITimeout: Failed to communicate with host' });
    host.listen();
  } finally {
    disconnect(host);
  }
});

test('a host that does not answer within the timeout fails the call and logs once', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(1);
    host.noReply();
    const started = Date.now();
    let message = 'no error';
    try { addon.GetKestrel(); } catch (error) { message = error.message; }
    const waited = Date.now() - started;
    host.noReply();
    let second = 'no error';
    try { addon.GetKestrel(); } catch (error) { second = error.message; }
    process.stdout.write(JSON.stringify({ message, second, waited }));
    addon.CleanUp();
    host.stop();
  `);
  assert.equal(child.status, 0, child.stderr);
  const result = JSON.parse(child.stdout);
  assert.equal(result.message, 'GetKestrel: Failed to send message to host');
  assert.equal(result.second, 'GetKestrel: Failed to send message to host');
  assert.ok(result.waited >= 900, `waited ${result.waited} ms`);
  assert.deepEqual(logLines(child.stderr), [
    'IPC | Error | IPCHandler : Failed to read response after sending request',
    'IPC | Error | IPCHandler : Failed to read response after sending request',
  ]);
});

test('a timeout of 0 waits for a late answer without limit', () => {
  const host = connect({ safetyTimeout: false });
  try {
    host.answer({ delay: 1500 });
    assert.equal(addon.GetKestrel().constructor.name, 'Application');
  } finally {
    disconnect(host);
  }
});
