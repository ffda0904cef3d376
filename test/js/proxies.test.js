'use strict';
// The root object and proxy objects: their classes, properties and method calls, and
// every error a method call or GetKestrel reports.
const test = require('node:test');
const assert = require('node:assert/strict');
const { addon, connect, disconnect, takeParsed, runChild, repoRoot } = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

const NOT_INITIALIZED = 'Not initialized, call Initialize(<pluginId>) first';

let kindCounter = 0;
function uniqueKind() {
  kindCounter += 1;
  return `Kind${kindCounter}`;
}

function proxyValue(fields) {
  return {
    type: 'proxy',
    value: { proxyId: 7, uniqueId: 'u-7', name: uniqueKind(), functions: ['Run'], ...fields },
  };
}

function success(result) {
  return { response: { requestId: 1, status: true, result } };
}

// A proxy of a new kind with the given functions, as the host would describe it.
function makeProxy(host, functions = ['Run'], fields = {}) {
  host.replyJson(success(proxyValue({ functions, ...fields })));
  const proxy = addon.GetKestrel();
  host.takeRequests();
  return proxy;
}

test('GetKestrel before Initialize throws the not-initialized text', () => {
  assert.throws(() => addon.GetKestrel(), { name: 'Error', message: `GetKestrel: ${NOT_INITIALIZED}` });
});

test('GetKestrel asks for the root object and returns it as a proxy', () => {
  const host = connect();
  try {
    const app = addon.GetKestrel('ignored', 1);
    const [text, ...rest] = host.takeRequests();
    assert.deepEqual(rest, []);
    assert.match(text, /^\{"request":\{"requestId":\d+,"name":"GetKestrel"\}\}$/);
    assert.equal(app.constructor.name, 'Application');
    assert.equal(typeof app.GetName, 'function');
    assert.equal(app.GetName(), 'Hostlink Reference Host');
    const again = addon.GetKestrel();
    assert.notEqual(again, app);
    assert.equal(Object.getPrototypeOf(again), Object.getPrototypeOf(app));
  } finally {
    disconnect(host);
  }
});

test('GetKestrel rejects a result that is not a proxy with the whole response text', () => {
  const host = connect();
  try {
    const answers = [
      { type: 'table', value: { a: 1 } },
      { type: 'proxyref', value: 3 },
      { value: { proxyId: 3, uniqueId: '', name: 'X', functions: ['f'] } },
      { type: 'proxy' },
      5,
    ];
    for (const result of answers) {
      const text = JSON.stringify(success(result));
      host.reply(text);
      assert.throws(() => addon.GetKestrel(), { message: `GetKestrel: Failed to parse response: ${text}` });
    }
  } finally {
    disconnect(host);
  }
});

test('GetKestrel rejects an unusable proxy description with the whole response text', () => {
  const host = connect();
  try {
    for (const fields of [{ proxyId: 0 }, { proxyId: -4 }, { name: '' }, { functions: [] }]) {
      const text = JSON.stringify(success(proxyValue(fields)));
      host.reply(text);
      assert.throws(() => addon.GetKestrel(), {
        message: `GetKestrel: Invalid proxy info received in response: ${text}`,
      });
    }
  } finally {
    disconnect(host);
  }
});

test('GetKestrel reports host errors and unusable responses', () => {
  const host = connect();
  try {
    host.replyJson({ response: { status: false, error: { errorStr: 'x' } } });
    assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Error response (errorStr:x)' });
    host.replyJson({ response: { status: false } });
    assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Error response' });
    host.reply('{"response":5}');
    assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Invalid response: {"response":5}' });
    host.reply('{"response":{"status":true}}');
    assert.throws(() => addon.GetKestrel(), { message: 'GetKestrel: Bad response: {"response":{"status":true}}' });
  } finally {
    disconnect(host);
  }
});

test('a unique identifier shows as a read-only, non-enumerable property; an empty one not at all', () => {
  const host = connect();
  try {
    const withId = makeProxy(host, ['Run'], { uniqueId: 'doc-1' });
    assert.equal(withId.uniqueId, 'doc-1');
    assert.deepEqual(Object.getOwnPropertyDescriptor(withId, 'uniqueId'), {
      value: 'doc-1', writable: false, enumerable: false, configurable: false,
    });
    assert.deepEqual(Object.keys(withId), []);
    const withoutId = makeProxy(host, ['Run'], { uniqueId: '' });
    assert.equal('uniqueId' in withoutId, false);
    assert.deepEqual(Object.keys(withoutId), []);
    // eslint-disable-next-line guard-for-in
    for (const key in withId) assert.fail(`enumerable property ${key}`);
  } finally {
    disconnect(host);
  }
});

test('methods sit on the class prototype, one per function, in order, not enumerable or writable', () => {
  const host = connect();
  try {
    const proxy = makeProxy(host, ['Beta', 'Alpha', 'Beta', 'Gamma']);
    const prototype = Object.getPrototypeOf(proxy);
    assert.deepEqual(Object.getOwnPropertyNames(prototype), ['Beta', 'Alpha', 'Gamma', 'constructor']);
    for (const name of ['Alpha', 'Beta', 'Gamma']) {
      assert.deepEqual(
        { ...Object.getOwnPropertyDescriptor(prototype, name), value: undefined },
        { value: undefined, writable: Boolean(differs('writableMethods')), enumerable: false, configurable: false },
      );
    }
  } finally {
    disconnect(host);
  }
});

test('a kind keeps the functions it was first defined with', () => {
  const host = connect();
  try {
    const name = uniqueKind();
    const first = makeProxy(host, ['Open'], { name });
    const second = makeProxy(host, ['Close'], { name, proxyId: 8 });
    assert.equal(Object.getPrototypeOf(first), Object.getPrototypeOf(second));
    assert.equal(typeof second.Open, 'function');
    assert.throws(() => second.Close(), TypeError);
    assert.deepEqual(host.takeRequests(), []);
    host.replyJson(success(3));
    assert.equal(second.Open(), 3);
    assert.equal(takeParsed(host)[0].request.proxyId, 8);
  } finally {
    disconnect(host);
  }
});

test('a method call sends its name, arguments and the proxy identifier', () => {
  const host = connect();
  try {
    const proxy = makeProxy(host, ['Run'], { proxyId: 42 });
    host.replyJson(success('done'));
    assert.equal(proxy.Run('x', 2), 'done');
    const [text] = host.takeRequests();
    assert.match(text, /^\{"request":\{"requestId":\d+,"name":"Run","args":\{"0":"x","1":2\},"proxyId":42\}\}$/);
    host.replyJson(success(true));
    proxy.Run();
    assert.match(host.takeRequests()[0], /^\{"request":\{"requestId":\d+,"name":"Run","proxyId":42\}\}$/);
  } finally {
    disconnect(host);
  }
});

test('a method reports host errors and unusable responses under its own name', () => {
  const host = connect();
  try {
    const proxy = makeProxy(host, ['Run']);
    host.replyJson({ response: { status: false, error: { errorStr: 'x', errorCode: 3 } } });
    assert.throws(() => proxy.Run(), { name: 'Error', message: 'Run: Error response (errorStr:x) (errorCode:3)' });
    host.replyJson({ response: { status: false, error: { errorStr: '', errorCode: -7 } } });
    assert.throws(() => proxy.Run(), { message: 'Run: Error response (errorCode:-7)' });
    host.replyJson({ response: { status: false } });
    assert.throws(() => proxy.Run(), { message: 'Run: Error response' });
    host.reply('this is not json');
    assert.throws(() => proxy.Run(), { message: 'Run: Invalid response: this is not json' });
    host.drop();
    assert.throws(() => proxy.Run(), { message: 'Run: Failed to communicate with host' });
    host.listen();
    // A success without a result is undefined, not an error.
    host.replyJson({ response: { status: true } });
    assert.equal(proxy.Run(), undefined);
  } finally {
    disconnect(host);
  }
});

test('errors from the reference host reach the caller', () => {
  const host = connect();
  try {
    const documents = addon.GetKestrel().GetDocuments();
    assert.throws(() => documents.Open('no such title'), /^Error: Open: Error response \(errorStr:.+\)/);
  } finally {
    disconnect(host);
  }
});

test('proxies outlive the connection and work again after a new Initialize', () => {
  const host = connect();
  const proxy = makeProxy(host, ['Run'], { proxyId: 9 });
  addon.CleanUp();
  host.takeRequests();
  try {
    assert.throws(() => proxy.Run(1), { message: `Execute: ${NOT_INITIALIZED}` });
    assert.deepEqual(host.takeRequests(), []);
    addon.Initialize(host.pluginId);
    host.replyJson(success(1));
    assert.equal(proxy.Run(), 1);
    assert.equal(takeParsed(host)[0].request.proxyId, 9);
  } finally {
    disconnect(host);
  }
});

// A method called on a receiver its class never built: V8 refuses it before the add-on
// runs ("Illegal invocation"); engines that let it through (Bun's) meet the add-on's check.
function refusedReceiver(error) {
  return (error instanceof TypeError && error.message === 'Illegal invocation') ||
    (error.name === 'Error' && error.message === 'Execute: Receiver is not a proxy object');
}

test('a method called on something that is not a proxy throws and sends nothing', () => {
  const host = connect();
  try {
    const proxy = makeProxy(host, ['Run']);
    const method = Object.getPrototypeOf(proxy).Run;
    for (const receiver of [{}, Object.create(proxy), undefined, 5, function f() {}]) {
      assert.throws(() => method.call(receiver), refusedReceiver);
    }
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

// An object made by Object with a proxy class's prototype looks like a proxy to
// instanceof but was never built by the class, so it carries no type tag. As a method's
// receiver the engine's own check refuses it first (Node-API methods are bound to their
// class; in Bun the add-on's own check does); everywhere else the add-on's type-tag check
// is what refuses it.
test('an object that only inherits from a proxy class is refused by the type-tag check', () => {
  const host = connect();
  try {
    const proxy = makeProxy(host, ['Run']);
    const ProxyClass = proxy.constructor;
    const fake = Reflect.construct(Object, [], ProxyClass);
    assert.equal(fake instanceof ProxyClass, true);
    assert.throws(() => Reflect.apply(ProxyClass.prototype.Run, fake, []), refusedReceiver);
    assert.throws(() => proxy.Run(fake), { name: 'Error', message: 'Run: GetArgument - Unknown object type detected for key:0' });
    assert.throws(() => addon.Async(fake), { name: 'Error', message: "Async: Missing '<proxy>' proxy object argument" });
    assert.deepEqual(host.takeRequests(), []);
    // With properties of its own it is a table, never a reference to a host object.
    host.replyJson(success(1));
    proxy.Run(Object.assign(fake, { a: 1 }), proxy);
    assert.deepEqual(takeParsed(host)[0].request.args, {
      0: { type: 'table', value: { a: 1 } },
      1: { type: 'proxyref', value: 7 },
    });
  } finally {
    disconnect(host);
  }
});

test('a proxy class constructed from JavaScript makes a working proxy', () => {
  const host = connect();
  try {
    const ProxyClass = makeProxy(host, ['Run']).constructor;
    const made = new ProxyClass('Any', 5, '');
    assert.equal('uniqueId' in made, false);
    host.replyJson(success(2));
    assert.equal(made.Run(), 2);
    assert.equal(takeParsed(host)[0].request.proxyId, 5);
    const tagged = new ProxyClass('Any', 6.9, 'u');
    assert.equal(tagged.uniqueId, 'u');
    host.replyJson(success(2));
    tagged.Run();
    assert.equal(takeParsed(host)[0].request.proxyId, 6);
    // Arguments of the wrong types leave the defaults: no proxy identifier at all.
    const bare = new ProxyClass(1, 'x', 2);
    host.replyJson(success(2));
    bare.Run();
    assert.equal(takeParsed(host)[0].request.proxyId, undefined);
    if (!differs('classCallWithoutNew')) {
      assert.throws(() => ProxyClass('Any', 5, ''), {
        name: 'TypeError',
        message: "Class constructors cannot be invoked without 'new'",
      });
    }
  } finally {
    disconnect(host);
  }
});

// Deno's Node-API runs a class's constructor when it is called without `new`, with the
// global object as its receiver: that must not make globalThis a proxy.
test('the global object never becomes a proxy, and a method called on it sends nothing', () => {
  const host = connect();
  try {
    const ProxyClass = makeProxy(host, ['Run']).constructor;
    assert.throws(() => ProxyClass('Any', 5, ''), {
      name: 'TypeError',
      message: "Class constructors cannot be invoked without 'new'",
    });
    // V8 refuses the receiver itself; elsewhere the add-on does.
    assert.throws(() => ProxyClass.prototype.Run.call(globalThis),
      (error) => ['Illegal invocation', 'Execute: Receiver is not a proxy object'].includes(error.message));
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

test('a worker thread gets proxy classes of its own and both threads keep working', () => {
  const child = runChild(`
    const { Worker } = require('node:worker_threads');
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const app = addon.GetKestrel();
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      const addon = require(workerData);
      const app = addon.GetKestrel();
      parentPort.postMessage([app.constructor.name, app.GetName(), app.GetDocuments().Count()]);
    \`, { eval: true, workerData: process.env.HOSTLINK_ROOT });
    worker.on('message', (fromWorker) => {
      worker.terminate().then(() => {
        const again = addon.GetKestrel();
        process.stdout.write(JSON.stringify({ fromWorker, main: [again.constructor.name, app.GetName()] }));
        addon.CleanUp();
        host.stop();
      });
    });
  `, { env: { HOSTLINK_ROOT: repoRoot } });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), {
    fromWorker: ['Application', 'Hostlink Reference Host', 0],
    main: ['Application', 'Hostlink Reference Host'],
  });
});
