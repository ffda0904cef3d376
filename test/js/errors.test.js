'use strict';
// The error convention: every failure is one plain Error whose message is the
// operation's name, ": " and a fixed text, with the host's details where it gave some.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect } = require('./helpers/addon');

function thrown(fn) {
  try {
    fn();
  } catch (error) {
    return error;
  }
  assert.fail('nothing was thrown');
}

test('failures are plain Errors without a code, prefixed with the operation', () => {
  const NOT_INITIALIZED = 'Not initialized, call Initialize(<pluginId>) first';
  const cases = [
    [() => addon.Initialize(), "Initialize: Missing '<pluginId>' string argument"],
    [() => addon.GetKestrel(), `GetKestrel: ${NOT_INITIALIZED}`],
    [() => addon.RegisterCallback('a', () => {}), `RegisterCallback: ${NOT_INITIALIZED}`],
    [() => addon.DeregisterCallback('a'), `DeregisterCallback: ${NOT_INITIALIZED}`],
    [() => addon.SetAPITimeout('1'), 'SetAPITimeout: Invalid timeout value'],
  ];
  for (const [fn, message] of cases) {
    const error = thrown(fn);
    assert.equal(Object.getPrototypeOf(error), Error.prototype);
    assert.equal(error.message, message);
    assert.equal(error.code, undefined);
  }
});

test('error responses carry the host text and code in fixed forms', () => {
  const host = connect();
  try {
    host.replyJson({ response: { status: true, result: { type: 'proxy', value: { proxyId: 4, uniqueId: '', name: 'ErrKind', functions: ['f'] } } } });
    const proxy = addon.GetKestrel();
    const cases = [
      [{ errorStr: 'a', errorCode: 0 }, 'f: Error response (errorStr:a) (errorCode:0)'],
      [{ errorStr: 'bad "thing"', errorCode: -12 }, 'f: Error response (errorStr:bad "thing") (errorCode:-12)'],
      [{ errorStr: 'only text' }, 'f: Error response (errorStr:only text)'],
      [{ errorStr: 'minus one', errorCode: -1 }, 'f: Error response (errorStr:minus one)'],
    ];
    for (const [error, message] of cases) {
      host.replyJson({ response: { requestId: 9, status: false, error } });
      const thrownError = thrown(() => proxy.f());
      assert.equal(thrownError.message, message);
      assert.equal(thrownError.code, undefined);
    }
  } finally {
    disconnect(host);
  }
});

test('a host error text that is not UTF-8 keeps the operation, its text and code', () => {
  // One Latin-1 byte (0xE9) in the text: invalid UTF-8, which some runtimes' Node-API drop
  // whole. Each ill-formed sequence becomes U+FFFD.
  const host = connect();
  try {
    host.replyJson({ response: { status: true, result: { type: 'proxy', value: { proxyId: 4, uniqueId: '', name: 'ErrKind8', functions: ['f'] } } } });
    const proxy = addon.GetKestrel();
    host.reply(Buffer.concat([
      Buffer.from('{"response":{"requestId":9,"status":false,"error":{"errorStr":"caf'),
      Buffer.from([0xe9]),
      Buffer.from(' \xf0\x9f\x98 ok","errorCode":7}}}', 'latin1'),
    ]));
    const error = thrown(() => proxy.f());
    assert.equal(error.message, 'f: Error response (errorStr:caf\ufffd \ufffd ok) (errorCode:7)');
  } finally {
    disconnect(host);
  }
});

test('an answer that comes after the timeout is dropped; the next request gets its own', async () => {
  const host = connect({ safetyTimeout: false });
  try {
    const app = addon.GetKestrel();
    addon.SetAPITimeout(1);
    host.replyJson({ response: { status: true, result: 'late' } }, { delay: 1500 });
    assert.throws(() => app.GetName(), { message: 'GetName: Failed to communicate with host' });
    await new Promise((resolve) => setTimeout(resolve, 1000));
    assert.equal(app.GetVersion(), '1.0.0');
    assert.equal(app.GetName(), 'Hostlink Reference Host');
  } finally {
    disconnect(host);
  }
});
