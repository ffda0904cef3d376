'use strict';
// Host callbacks: registration and deregistration with the host, delivery on the
// JavaScript thread, the callback pipe's life, and the process's end around them.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { startHost, uniquePluginId, sleepSync } = require('./helpers/host');
const {
  addon, connect, disconnect, takeParsed, runChild, startMinimalHost, minimalHostBinary, logLines, loggedTimes, repoRoot,
} = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

const NOT_INITIALIZED = 'Not initialized, call Initialize(<pluginId>) first';

// The process's open sockets, where the system shows them (Linux); else null, and the
// checks on them pass trivially.
function openSockets() {
  // Under Wine, /proc is the Linux process's own and shows no Windows pipe handles.
  if (process.platform !== 'linux') return null;
  // Sockets, not descriptors: an event loop may watch a duplicate of the same connection.
  const sockets = new Set();
  for (const fd of fs.readdirSync('/proc/self/fd')) {
    try {
      const target = fs.readlinkSync(`/proc/self/fd/${fd}`);
      if (target.startsWith('socket:')) sockets.add(target);
    } catch {
      // closed meanwhile
    }
  }
  return sockets.size;
}

// Resolves once check() is true; rejects after timeoutMs.
async function eventually(check, what, timeoutMs = 10000) {
  const deadline = Date.now() + timeoutMs;
  while (!check()) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 5));
  }
}

function accept() {
  return { response: { requestId: 1, status: true, result: true } };
}

test('both functions need an initialized plug-in', () => {
  assert.throws(() => addon.RegisterCallback('A', () => {}), { message: `RegisterCallback: ${NOT_INITIALIZED}` });
  assert.throws(() => addon.DeregisterCallback('A'), { message: `DeregisterCallback: ${NOT_INITIALIZED}` });
});

test('arguments are checked before the host is asked', () => {
  const host = connect();
  try {
    const cases = [
      [['A'], 'RegisterCallback: Missing required arguments'],
      [[], 'RegisterCallback: Missing required arguments'],
      [[42, () => {}], "RegisterCallback: Missing '<callbackName>' string argument"],
      [['A', 42], "RegisterCallback: Missing '<callbackFunction>' function argument"],
      [['A', {}], "RegisterCallback: Missing '<callbackFunction>' function argument"],
    ];
    for (const [args, message] of cases) assert.throws(() => addon.RegisterCallback(...args), { message });
    assert.throws(() => addon.DeregisterCallback(), { message: "DeregisterCallback: Missing '<callbackName>' argument" });
    assert.throws(() => addon.DeregisterCallback(7), { message: "DeregisterCallback: Missing '<callbackName>' argument" });
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

test('a fired callback runs with no arguments and no receiver; deregistration closes the pipe', async () => {
  const host = connect();
  try {
    const before = openSockets();
    const calls = [];
    assert.equal(addon.RegisterCallback('DocumentChanged', function (...args) {
      calls.push({ args, receiver: this });
    }), true);
    assert.match(host.takeRequests()[0],
      /^\{"request":\{"requestId":\d+,"name":"RegisterCallback","args":\{"0":"DocumentChanged"\}\}\}$/);
    assert.equal(openSockets(), before === null ? null : before + 1);
    assert.deepEqual(host.status().callbacks, ['DocumentChanged']);

    assert.equal(host.fire('DocumentChanged'), true);
    assert.equal(host.fire('DocumentChanged'), true);
    await eventually(() => calls.length === 2, 'two deliveries');
    assert.deepEqual(calls, [{ args: [], receiver: undefined }, { args: [], receiver: undefined }]);

    assert.equal(addon.DeregisterCallback('DocumentChanged'), true);
    assert.match(host.takeRequests()[0],
      /^\{"request":\{"requestId":\d+,"name":"DeregisterCallback","args":\{"0":"DocumentChanged"\}\}\}$/);
    assert.equal(openSockets(), before);

    // A later registration opens the pipe again and is delivered again.
    let again = 0;
    assert.equal(addon.RegisterCallback('DocumentChanged', () => { again += 1; }), true);
    assert.equal(openSockets(), before === null ? null : before + 1);
    host.fire('DocumentChanged');
    await eventually(() => again === 1, 'a delivery after registering again');
    assert.equal(addon.DeregisterCallback('DocumentChanged'), true);
  } finally {
    disconnect(host);
  }
});

test('registering a name again replaces its function without asking the host', async () => {
  const host = connect();
  try {
    const calls = [];
    addon.RegisterCallback('A', () => calls.push('first'));
    assert.equal(addon.RegisterCallback('A', () => calls.push('second')), true);
    assert.deepEqual(takeParsed(host).map((r) => r.request.name), ['RegisterCallback']);
    host.fire('A');
    await eventually(() => calls.length === 1, 'a delivery');
    await new Promise((resolve) => setTimeout(resolve, 50));
    assert.deepEqual(calls, ['second']);
    assert.equal(addon.DeregisterCallback('A'), true);
  } finally {
    disconnect(host);
  }
});

test('deregistering a name never registered returns false without asking the host', () => {
  const host = connect();
  try {
    assert.equal(addon.DeregisterCallback('Never'), false);
    addon.RegisterCallback('Other', () => {});
    host.takeRequests();
    assert.equal(addon.DeregisterCallback('Never'), false);
    assert.deepEqual(host.takeRequests(), []);
    assert.equal(addon.DeregisterCallback('Other'), true);
  } finally {
    disconnect(host);
  }
});

test('a registration the host refuses throws and registers nothing', () => {
  const host = connect();
  const before = openSockets();
  try {
    const cases = [
      [{ response: { status: true, result: false } }, 'RegisterCallback: Failed to register callback with host'],
      [{ response: { status: true, result: 'true' } }, 'RegisterCallback: Failed to register callback with host'],
      [{ response: { status: false, error: { errorStr: 'no', errorCode: 2 } } },
        'RegisterCallback: Error response (errorStr:no) (errorCode:2)'],
      [{ response: { status: true } }, 'RegisterCallback: Bad response: {"response":{"status":true}}'],
      ['garbage', 'RegisterCallback: Invalid response: garbage'],
    ];
    for (const [answer, message] of cases) {
      if (typeof answer === 'string') host.reply(answer); else host.replyJson(answer);
      assert.throws(() => addon.RegisterCallback('A', () => {}), { message });
    }
    host.drop();
    assert.throws(() => addon.RegisterCallback('A', () => {}), {
      message: 'RegisterCallback: Failed to communicate with host',
    });
    host.listen();
    addon.GetKestrel(); // reconnects the request pipe
    assert.equal(openSockets(), before);
    host.takeRequests();
    assert.equal(addon.DeregisterCallback('A'), false);
    assert.deepEqual(host.takeRequests(), []);
  } finally {
    disconnect(host);
  }
});

test('a deregistration the host refuses throws and keeps the callback', async () => {
  const host = connect();
  try {
    let calls = 0;
    addon.RegisterCallback('A', () => { calls += 1; });
    host.replyJson({ response: { status: true, result: false } });
    assert.throws(() => addon.DeregisterCallback('A'), {
      message: 'DeregisterCallback: Failed to deregister callback with host',
    });
    host.replyJson({ response: { status: false, error: { errorStr: 'busy' } } });
    assert.throws(() => addon.DeregisterCallback('A'), { message: 'DeregisterCallback: Error response (errorStr:busy)' });
    host.fire('A');
    await eventually(() => calls === 1, 'a delivery');
    assert.equal(addon.DeregisterCallback('A'), true);
  } finally {
    disconnect(host);
  }
});

test('CleanUp deregisters every callback with the host and closes the callback pipe', async () => {
  const host = connect();
  try {
    const before = openSockets();
    let calls = 0;
    addon.RegisterCallback('A', () => { calls += 1; });
    addon.RegisterCallback('B', () => {});
    host.fire('A');
    await eventually(() => calls === 1, 'a delivery before CleanUp');
    host.takeRequests();
    addon.CleanUp();
    const asked = takeParsed(host).map((r) => [r.request.name, r.request.args]);
    assert.deepEqual(asked, [
      ['DeregisterCallback', { 0: 'A' }],
      ['DeregisterCallback', { 0: 'B' }],
      ['UnloadPlugin', { id: host.pluginId }],
    ]);
    assert.deepEqual(host.status().callbacks, []);
    // Both pipes are closed: the request pipe by the unload, the callback pipe before it.
    assert.equal(openSockets(), before === null ? null : before - 1);
    // Registered nowhere any more: a new plug-in session asks the host again.
    addon.Initialize(host.pluginId);
    host.takeRequests();
    assert.equal(addon.DeregisterCallback('A'), false);
    assert.equal(addon.RegisterCallback('A', () => {}), true);
    assert.deepEqual(takeParsed(host).map((r) => r.request.name), ['RegisterCallback']);
    assert.equal(addon.DeregisterCallback('A'), true);
  } finally {
    disconnect(host);
  }
});

test('a host that refuses the deregistrations at CleanUp still ends the callback side; a CleanUp that fails keeps it', () => {
  const host = connect();
  try {
    const before = openSockets();
    addon.RegisterCallback('A', () => {});
    addon.RegisterCallback('B', () => {});
    host.replyJson({ response: { status: true, result: false } });
    addon.CleanUp();
    assert.equal(openSockets(), before === null ? null : before - 1);
  } finally {
    disconnect(host);
  }
  // (A host that kept a name expects no new callback client: the second half has its own.)
  const other = startHost();
  try {
    addon.Initialize(other.pluginId);
    assert.equal(addon.RegisterCallback('C', () => {}), true);
    other.drop();
    // The host is gone for the deregistration, and for the unload after it: the plug-in
    // stays as it was, its callback registered.
    assert.throws(() => addon.CleanUp(), { message: 'CleanUp: Failed to stop communication with host' });
    other.listen();
    other.takeRequests();
    assert.equal(addon.DeregisterCallback('C'), true);
    assert.deepEqual(takeParsed(other).map((r) => [r.request.name, r.request.args]), [['DeregisterCallback', { 0: 'C' }]]);
  } finally {
    disconnect(other);
  }
});

test('a plug-in that registered callbacks and cleaned up ends by itself, and registers with the next host', () => {
  const child = runChild(`
    const first = startHost();
    const second = startHost();
    addon.Initialize(first.pluginId);
    addon.SetAPITimeout(30);
    addon.RegisterCallback('DocumentChanged', () => process.stdout.write('first '));
    addon.CleanUp();
    addon.Initialize(second.pluginId);
    addon.SetAPITimeout(30);
    const firedAtFirst = first.fire('DocumentChanged');
    addon.RegisterCallback('DocumentChanged', () => {
      process.stdout.write('second');
      addon.CleanUp();
      first.stop();
      second.stop();
      // Nothing is left to keep the process alive: it ends by itself.
    });
    process.stdout.write(JSON.stringify([firedAtFirst, second.status().callbacks]) + ' ');
    second.fire('DocumentChanged');
  `, { timeoutMs: 20000 });
  assert.equal(child.signal, null, 'the process did not end by itself');
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, '[false,["DocumentChanged"]] second');
  assert.deepEqual(logLines(child.stderr), []);
});

test('callback messages that cannot be delivered are logged and dropped; later ones arrive', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let calls = 0;
    addon.RegisterCallback('Known', () => { calls += 1; });
    for (const text of [
      '{"response":{"status":true,"result":"Unknown"}}',
      '{"response":{"status":true,"result":""}}',
      '{"response":{"status":true,"result":5}}',
      '{"response":{"status":false,"result":"Known"}}',
      'not json',
    ]) host.sendCallbackText(text);
    host.fire('Known');
    const waitUntil = Date.now() + 10000;
    const poll = () => {
      if (calls === 1 || Date.now() > waitUntil) {
        process.stdout.write(String(calls));
        addon.DeregisterCallback('Known');
        addon.CleanUp();
        host.stop();
      } else setTimeout(poll, 5);
    };
    poll();
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, '1');
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - ';
  const lines = logLines(child.stderr).filter((line) => !line.includes('KvVariantMap'));
  // A line the host causes is written once, its repeats counted; CleanUp ends the run.
  assert.deepEqual(lines, [
    `${prefix}No JS callback function found for callback:Unknown`,
    `${prefix}callbackName is empty`,
    `${prefix}Failed to parse callback message from host`,
    `${prefix}Failed to parse callback message from host (2 more like it)`,
  ]);
});

test('a callback fired as soon as the host accepts the registration is delivered', async () => {
  const pluginId = uniquePluginId('early');
  const host = await startMinimalHost(pluginId, 'fire-on-register');
  try {
    addon.Initialize(pluginId);
    // The race is narrow: each round opens the callback pipe anew with a message waiting.
    for (let round = 1; round <= 30; round += 1) {
      let calls = 0;
      assert.equal(addon.RegisterCallback('Early', () => { calls += 1; }), true);
      await eventually(() => calls === 1, `the early callback of round ${round}`);
      assert.equal(addon.DeregisterCallback('Early'), true);
    }
    addon.CleanUp();
  } finally {
    // A failed round must not leave the plug-in initialized for the tests after it.
    try { addon.CleanUp(); } catch (error) { /* the host may be gone already */ }
    host.kill();
  }
});

test('a registration whose callback pipe cannot be opened returns false and keeps nothing', () => {
  const pluginId = uniquePluginId('nopipe');
  // In a child, so that a function left behind would keep the process from ending.
  const child = runChild(`
    const childProcess = require('node:child_process');
    const host = childProcess.spawn(process.env.MINIMAL_HOST, [${JSON.stringify(pluginId)}, 'no-callback-pipe'],
      { stdio: ['ignore', 'pipe', 'inherit'] });
    host.stdout.once('data', () => {
      addon.Initialize(${JSON.stringify(pluginId)});
      const first = addon.RegisterCallback('A', () => {});
      const second = addon.RegisterCallback('A', () => {});
      const deregistered = addon.DeregisterCallback('A');
      addon.CleanUp();
      host.kill();
      process.stdout.write(JSON.stringify([first, second, deregistered]));
    });
  `, { env: { MINIMAL_HOST: minimalHostBinary() } });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), [false, false, false]);
});

test('an exception thrown by a callback reaches the process as an uncaught exception', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    process.on('uncaughtException', (error) => {
      process.stdout.write(error.message);
      addon.DeregisterCallback('A');
      addon.CleanUp();
      host.stop();
    });
    addon.RegisterCallback('A', () => { throw new Error('thrown in a callback'); });
    host.fire('A');
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, 'thrown in a callback');
});

test('a script that deregisters its callbacks ends by itself', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    addon.RegisterCallback('A', () => {
      addon.RegisterCallback('B', () => {});
      addon.DeregisterCallback('A');
      addon.DeregisterCallback('B');
      addon.CleanUp();
      host.stop();
      process.stdout.write('delivered');
    });
    host.fire('A');
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, 'delivered');
});

test('process.exit with callbacks registered and firing exits cleanly', () => {
  const child = runChild(`
    const host = startHost({ tick: 1 });
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let ticks = 0;
    addon.RegisterCallback('Tick', () => {
      ticks += 1;
      if (ticks === 20) {
        host.kill();
        process.stdout.write('ticked');
        process.exit(0);
      }
    });
    addon.RegisterCallback('Other', () => {});
  `, {
    // process.exit leaves the engine's heap for the system to reclaim, which a leak
    // checker would report; this case is about exiting, not about leaks.
    env: { ASAN_OPTIONS: `${process.env.ASAN_OPTIONS || ''}:detect_leaks=0` },
  });
  assert.equal(child.signal, null, child.stderr);
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, 'ticked');
});

test('a worker thread torn down with callbacks registered leaves the process working', { skip: differs('workerTeardownAfterTerminate') }, () => {
  const child = runChild(`
    const { Worker } = require('node:worker_threads');
    const host = startHost({ tick: 2 });
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      const addon = require(workerData);
      let ticks = 0;
      addon.RegisterCallback('Tick', () => { ticks += 1; if (ticks === 5) parentPort.postMessage(ticks); });
    \`, { eval: true, workerData: process.env.HOSTLINK_ROOT });
    worker.once('message', async () => {
      await worker.terminate();
      // The worker's registration went with it: registering here asks the host anew.
      host.takeRequests();
      let ticks = 0;
      addon.RegisterCallback('Tick', () => {
        ticks += 1;
        if (ticks === 5) {
          const asked = host.takeRequests().map((text) => JSON.parse(text).request.name);
          addon.DeregisterCallback('Tick');
          addon.CleanUp();
          host.stop();
          process.stdout.write(JSON.stringify(asked));
        }
      });
    });
  `, { env: { HOSTLINK_ROOT: repoRoot } });
  assert.equal(child.signal, null, child.stderr);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), ['RegisterCallback']);
});

test('the reference host\'s DocumentChanged brings the document as a working proxy and what changed', async () => {
  const host = connect();
  try {
    const documents = addon.GetKestrel().GetDocuments();
    const sketch = documents.Create('Sketch');
    const seen = [];
    addon.RegisterCallback('DocumentChanged', (document, change, ...rest) => {
      seen.push({ kind: document.constructor.name, title: document.GetTitle(), change, rest });
    });
    sketch.AddShape('rectangle', 10, 10, 200, 100);
    await eventually(() => seen.length === 1, 'the shapeAdded callback');
    assert.deepEqual(seen, [{ kind: 'Document', title: 'Sketch', change: 'shapeAdded', rest: [] }]);
    assert.equal(addon.DeregisterCallback('DocumentChanged'), true);
  } finally {
    disconnect(host);
  }
});

test('callback arguments arrive as results do: tables as objects and arrays, proxies as proxies', async () => {
  const host = connect();
  try {
    const calls = [];
    addon.RegisterCallback('A', (...args) => calls.push(args));
    const proxy = { type: 'proxy', value: { proxyId: 7, uniqueId: 'u7', name: 'Thing', functions: ['Run'] } };
    host.sendCallbackText(JSON.stringify({
      response: {
        status: true,
        result: 'A',
        args: {
          0: { type: 'table', value: { x: 1, y: 'two', inner: proxy } },
          1: { type: 'table', value: { 0: 1.5, 1: true }, isList: true },
          2: proxy,
          3: 'text',
        },
      },
    }));
    host.fire('A');
    await eventually(() => calls.length === 2, 'two deliveries');
    const [[table, list, thing, text], none] = calls;
    assert.deepEqual({ x: table.x, y: table.y }, { x: 1, y: 'two' });
    assert.equal(table.inner.uniqueId, 'u7');
    assert.deepEqual(list, [1.5, true]);
    assert.equal(text, 'text');
    assert.equal(thing.constructor.name, 'Thing');
    host.replyJson({ response: { status: true, result: 3 } });
    assert.equal(thing.Run(), 3);
    assert.equal(JSON.parse(host.requests().at(-1)).request.proxyId, 7);
    assert.deepEqual(none, []);
    assert.equal(addon.DeregisterCallback('A'), true);
  } finally {
    disconnect(host);
  }
});

test('a table argument built by JSON.parse holds the values, names and order of the value-by-value road', async () => {
  const host = connect();
  try {
    const calls = [];
    addon.RegisterCallback('A', (...args) => calls.push(args));
    const proxy = '{"type":"proxy","value":{"proxyId":7,"uniqueId":"u7","name":"Thing","functions":["Run"]}}';
    // [members of the table's value, list length or -1 for a map]; the same table with a
    // proxy member added can only go value by value, and is compared without that member.
    const cases = [
      ['"0":1.5,"1":-0.0,"2":1e21,"3":12345678901234567890,"4":-9223372036854775808,"5":0.1e-5,' +
        '"6":-0,"7":2.5e-290,"8":123456789012345678,"9":0.30000000000000004,"10":4.9e-324', 11],
      ['"s":"a\\"b\\\\c\\/d\\b\\f\\n\\r\\t\\u0001","r":"\xc3\xa9\xf0\x9f\x98\x80","u":"\\ud83d\\ude00"', -1],
      ['"z":"x\\u0000y","bad":"a\xff\xe2b\xc3","":"empty name"', -1],
      ['"a":1,"b":2,"a":3,"10":"ten","2":"two","__proto__":{"type":"table","value":{"p":1}}', -1],
      ['"0":{"type":"table","value":{"0":true,"1":false},"isList":true},"1":{"type":"table","value":{}}', 2],
      ['"1":"b","0":"a"', 2],
      ['"1":"b","0":"a"', -1],
    ];
    const table = (members, list) => `{"type":"table","value":{${members}}${list >= 0 ? ',"isList":true' : ''}}`;
    for (const [members, list] of cases) {
      const forced = `${members},"${list >= 0 ? list : 'extra'}":${proxy}`;
      host.sendCallbackText(Buffer.from(`{"response":{"status":true,"result":"A","args":{"0":${table(members, list)},` +
        `"1":${table(forced, list)}}}}`, 'latin1'));
    }
    await eventually(() => calls.length === cases.length, 'every callback');
    for (const [index, [plain, valueByValue]] of calls.entries()) {
      if (Array.isArray(valueByValue)) valueByValue.pop();
      else delete valueByValue.extra;
      assert.deepStrictEqual(plain, valueByValue, cases[index][0]);
    }
    assert.deepStrictEqual(Object.keys(calls[3][0]), ['2', '10', 'a', 'b', '__proto__']);
    assert.equal(Object.getPrototypeOf(calls[3][0]), Object.prototype);
    assert.equal(calls[2][0].bad, 'a\ufffd\ufffdb\ufffd');
  } finally {
    disconnect(host);
  }
});

test('callbacks of different names run in the order the host fired them', async () => {
  const host = connect();
  try {
    const order = [];
    // A's road would be older than B's if each name had its own.
    addon.RegisterCallback('A', (i) => order.push(`A${i}`));
    addon.RegisterCallback('B', (i) => order.push(`B${i}`));
    const fired = [];
    // The JavaScript thread is busy while all of them arrive, as it is under load.
    for (let i = 0; i < 20; i += 1) {
      const name = i % 3 === 0 ? 'A' : 'B';
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: name, args: { 0: i } } }));
      fired.push(`${name}${i}`);
    }
    await eventually(() => order.length === fired.length, 'every delivery');
    assert.deepEqual(order, fired);
    addon.DeregisterCallback('A');
    addon.DeregisterCallback('B');
  } finally {
    disconnect(host);
  }
});

test('each callback\'s ticks and microtasks run before the next callback, however many arrive at once', async () => {
  const host = connect();
  try {
    const order = [];
    addon.RegisterCallback('A', (i) => {
      order.push(`cb${i}`);
      process.nextTick(() => order.push(`tick${i}`));
      queueMicrotask(() => order.push(`micro${i}`));
    });
    const expected = [];
    for (let i = 0; i < 5; i += 1) {
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'A', args: { 0: i } } }));
      expected.push(`cb${i}`, `tick${i}`, `micro${i}`);
    }
    // All five wait in the pipe when the loop next looks, and are read in one go.
    sleepSync(300);
    await eventually(() => order.length === expected.length, 'every delivery');
    if (differs('ticksBetweenCallbacks')) {
      assert.deepEqual(order.filter((entry) => entry.startsWith('cb')), ['cb0', 'cb1', 'cb2', 'cb3', 'cb4']);
      assert.deepEqual([...order].sort(), [...expected].sort());
    } else {
      assert.deepEqual(order, expected);
    }
    addon.DeregisterCallback('A');
  } finally {
    disconnect(host);
  }
});

test('a callback whose arguments cannot be converted is logged and dropped; the next one runs', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const calls = [];
    addon.RegisterCallback('A', (...args) => calls.push(args));
    const bad = { type: 'proxy', value: { proxyId: 0, uniqueId: '', name: 'K', functions: ['f'] } };
    for (const args of [{ 0: bad }, { 1: 'skips 0' }, { 0: 1, 0: 2, x: 3 }]) {
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'A', args } }));
    }
    host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'A', args: { 0: 'fine' } } }));
    const waitUntil = Date.now() + 10000;
    const poll = () => {
      if (calls.length < 1 && Date.now() < waitUntil) return setTimeout(poll, 5);
      setTimeout(() => {
        process.stdout.write(JSON.stringify(calls));
        addon.CleanUp();
        host.stop();
      }, 100);
    };
    poll();
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), [['fine']]);
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - ';
  // Parsed on the callback worker, converted on the JavaScript thread: the lines of the
  // two may come in either order.
  assert.deepEqual(logLines(child.stderr).sort(), [
    `${prefix}Failed to convert the arguments of callback:A (A: ParseProxyObject - Invalid proxyId)`,
    `${prefix}Failed to parse callback message from host`,
    `${prefix}Failed to parse callback message from host (1 more like it)`,
  ]);
});

// `length` letters from a fixed pseudo-random sequence: they compress as text does.
function randomLetters(length) {
  let state = 2463534242;
  let text = '';
  for (let i = 0; i < length; i += 1) {
    state ^= state << 13; state >>>= 0;
    state ^= state >>> 17;
    state ^= state << 5; state >>>= 0;
    text += String.fromCharCode(97 + (state % 26));
  }
  return text;
}

test('a callback name the host chose cannot forge or flood log lines', () => {
  const child = runChild(`
    ${randomLetters}
    const host = startHost();
    // Long, and varied enough that the channel does not refuse it as too repetitive.
    const long = randomLetters(100000);
    // One name per session: CleanUp ends the run of such lines, so each is written whole.
    const names = ['Evil\\nIPC | Error | forged line\\u001b[2K\\r', long];
    const next = () => {
      if (names.length === 0) return host.stop();
      addon.Initialize(host.pluginId);
      addon.SetAPITimeout(30);
      let calls = 0;
      addon.RegisterCallback('Known', () => { calls += 1; });
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: names.shift() } }));
      host.fire('Known');
      const waitUntil = Date.now() + 10000;
      const poll = () => {
        if (calls < 1 && Date.now() < waitUntil) return setTimeout(poll, 5);
        addon.CleanUp();
        next();
      };
      poll();
    };
    next();
  `);
  assert.equal(child.status, 0, child.stderr);
  // Every line of the add-on starts "IPC | ": a forged one would show up among them.
  const lines = logLines(child.stderr);
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - No JS callback function found for callback:';
  assert.deepEqual(lines, [
    `${prefix}Evil\\nIPC | Error | forged line\\x1b[2K\\r`,
    `${prefix}${randomLetters(200)}... (100000 bytes)`,
  ]);
});

test('a host away while callbacks are registered is logged once when lost and once when back', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    addon.RegisterCallback('A', () => {});
    host.kill();
    // About ten attempts to reopen the callback pipe while the host is away.
    setTimeout(() => {
      const again = startHost({ pluginId: host.pluginId });
      setTimeout(() => {
        addon.CleanUp();
        again.stop();
      }, 500);
    }, 1000);
  `);
  assert.equal(child.status, 0, child.stderr);
  const lines = logLines(child.stderr);
  assert.equal(lines.length, 2, child.stderr);
  assert.match(lines[0], /^IPC \| Error \| Open : Client IPC object open failed \(PluginId:[^)]*_callback\) \(Mode:4\) \(Error:\d+\)$/);
  assert.match(lines[1], /^IPC \| Info \| Open : Client IPC object open again \(PluginId:[^)]*_callback\) \(Mode:4\)$/);
});

test('a callback that arrived before an asynchronous call\'s answer runs before the call settles', async () => {
  const host = connect();
  try {
    const bench = addon.GetKestrel().GetBench();
    const order = [];
    addon.RegisterCallback('A', (text) => order.push(text));
    host.answer({ delay: 300 });
    const settled = addon.Async(bench).Echo(1).then((value) => order.push(`settled ${value}`));
    host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'A', args: { 0: 'callback' } } }));
    // Both arrive while the JavaScript thread is busy: the callback first, then the answer.
    sleepSync(800);
    await settled;
    assert.deepEqual(order, ['callback', 'settled 1']);
    addon.DeregisterCallback('A');
  } finally {
    disconnect(host);
  }
});

test('registering again after the last callback went, none ever fired, opens the callback pipe anew', () => {
  const host = connect();
  try {
    // The first callback client was never accepted by the host: nothing was sent to it.
    assert.equal(addon.RegisterCallback('A', () => {}), true);
    assert.equal(addon.DeregisterCallback('A'), true);
    assert.equal(addon.RegisterCallback('A', () => {}), true);
    assert.equal(host.fire('A'), true);
    assert.equal(addon.DeregisterCallback('A'), true);
  } finally {
    disconnect(host);
  }
});

// A child script's part that floods the plug-in's callback pipe from a worker thread of its
// own while the main thread is blocked: `count` callbacks named `name`, each with one
// argument of 1 MB (runs of one letter: about 16 KB compressed, as a document's text might
// be), then one "FloodDone" callback for the worker, which wakes the main thread.
const FLOOD = `
  const { Worker } = require('node:worker_threads');
  const { Host } = require(${JSON.stringify(require.resolve('./helpers/host'))});
  function floodWhileBlocked(host, name, count) {
    const shared = new Int32Array(new SharedArrayBuffer(8));
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      const addon = require(workerData.root);
      const { Host } = require(workerData.helper);
      const shared = workerData.shared;
      const host = Object.assign(Object.create(Host.prototype), workerData.host,
        { seq: 1e9, stopped: false, control: true, timeoutMs: 30000 });
      addon.RegisterCallback('FloodDone', () => { Atomics.store(shared, 0, 1); Atomics.notify(shared, 0); });
      parentPort.postMessage('ready');
      while (Atomics.load(shared, 1) === 0) Atomics.wait(shared, 1, 0, 10);
      let big = '';
      let state = 2463534242;
      while (big.length < 1048576) {
        state ^= state << 13; state >>>= 0; state ^= state >>> 17; state ^= state << 5; state >>>= 0;
        big += String.fromCharCode(97 + (state % 26)).repeat(40);
      }
      const text = (body) => Buffer.from(JSON.stringify({ response: { status: true, ...body } })).toString('base64');
      const data = text({ result: workerData.name, args: { 0: big.slice(0, 1048576) } });
      for (let i = 0; i < workerData.count; i += 1) host.command('callbackText', { data });
      host.command('callbackText', { data: text({ result: 'FloodDone' }) });
    \`, { eval: true, workerData: {
      root: process.env.HOSTLINK_ROOT, helper: ${JSON.stringify(require.resolve('./helpers/host'))},
      shared, name, count, host: { directory: host.directory, pid: host.pid } } });
    return new Promise((resolve) => {
      worker.once('message', () => {
        Atomics.store(shared, 1, 1);
        // The main thread is busy (as in a long synchronous call) until the worker has had
        // every message of the flood.
        Atomics.wait(shared, 0, 0, 120000);
        resolve(worker);
      });
    });
  }
`;

test('a host flooding callbacks while JavaScript is busy fills the plug-in only to its bound, with one line per run of drops', () => {
  const child = runChild(`
    ${FLOOD}
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let delivered = 0;
    let after = 0;
    addon.RegisterCallback('Flood', (text) => { if (text.length === 1048576) delivered += 1; else after += 1; });
    floodWhileBlocked(host, 'Flood', 40).then(async (worker) => {
      const peak = Number(/VmHWM:\\s+(\\d+)/.exec(require('node:fs').readFileSync('/proc/self/status', 'utf8'))[1]);
      // What was queued runs now; then the bound is free again and a callback gets through.
      for (let last = -1; last !== delivered;) {
        last = delivered;
        await new Promise((resolve) => setTimeout(resolve, 300));
      }
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'Flood', args: { 0: 'after' } } }));
      while (after === 0) await new Promise((resolve) => setTimeout(resolve, 20));
      await worker.terminate();
      addon.CleanUp();
      host.stop();
      process.stdout.write(JSON.stringify({ queued: delivered, peakMB: Math.round(peak / 1024) }));
    });
  `, { env: { HOSTLINK_ROOT: repoRoot }, timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  const { queued } = JSON.parse(child.stdout);
  // 16 MB of messages of a little more than 1 MB each.
  assert.equal(queued, 15, child.stdout);
  assert.deepEqual(logLines(child.stderr), [
    'IPC | Error | CallbackRegistry : Dropping callback messages, the JavaScript thread is not taking them',
  ]);
});

test('a host repeating faulty callback messages gets each kind of line written once, then counted', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let calls = 0;
    addon.RegisterCallback('Known', () => { calls += 1; });
    const bad = { type: 'proxy', value: { proxyId: 0, uniqueId: '', name: 'K', functions: ['f'] } };
    const started = Date.now();
    for (let i = 0; i < 100; i += 1) {
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'Unknown' + i } }));
      host.sendCallbackText('not json ' + i);
      host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'Known', args: { 0: bad } } }));
    }
    host.fire('Known');
    const poll = () => {
      if (calls < 1) return setTimeout(poll, 5);
      addon.CleanUp();
      host.stop();
      process.stdout.write(String(Date.now() - started));
    };
    poll();
  `);
  assert.equal(child.status, 0, child.stderr);
  const seconds = Math.ceil(Number(child.stdout) / 1000);
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - ';
  const kinds = {
    [`${prefix}No JS callback function found for callback`]: /^:Unknown\d+$/,
    [`${prefix}Failed to parse callback message from host`]: /^$/,
    [`${prefix}Failed to convert the arguments of callback`]: /^:Known \(Known: ParseProxyObject - Invalid proxyId\)$/,
  };
  const lines = logLines(child.stderr);
  for (const [kind, whole] of Object.entries(kinds)) {
    const own = lines.filter((line) => line.startsWith(kind));
    assert.match(own[0].slice(kind.length), whole);
    // Every message is accounted for: a whole line, or counted in a summary.
    assert.equal(loggedTimes(own, kind), 100, own.join('\n'));
    // The first line whole, then at most one summary a second and one at CleanUp.
    assert.ok(own.length <= seconds + 2, `${own.length} lines in ${seconds} s:\n${own.join('\n')}`);
  }
  // What the layers below write about text that is no JSON is throttled the same way.
  const others = lines.filter((line) => !Object.keys(kinds).some((kind) => line.startsWith(kind)));
  const otherKinds = new Set(others.map((line) => line.replace(/ \(\d+ more like it\)$/, '')));
  for (const kind of otherKinds) {
    assert.match(kind, /^IPC \| Error \| KvVariantMap : /);
    assert.equal(loggedTimes(others, kind), 100, others.join('\n'));
    assert.ok(others.filter((line) => line.startsWith(kind)).length <= seconds + 2, others.join('\n'));
  }
});

test('a worker that ends deregisters its names with the host and drops its queued callbacks without a line', { skip: differs('workerTeardownAfterTerminate') }, () => {
  const child = runChild(`
    const { Worker } = require('node:worker_threads');
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    addon.RegisterCallback('Kept', () => {});
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      const addon = require(workerData);
      addon.RegisterCallback('Busy', (text) => {
        const until = Date.now() + 20;
        while (Date.now() < until);
      });
      addon.RegisterCallback('Quiet', () => {});
      parentPort.postMessage('registered');
    \`, { eval: true, workerData: process.env.HOSTLINK_ROOT });
    worker.once('message', async () => {
      host.takeRequests();
      // The worker runs them more slowly than they come: some are still queued at its end.
      for (let i = 0; i < 100; i += 1) {
        const table = { type: 'table', value: { index: i, text: 'text' } };
        const proxy = { type: 'proxy', value: { proxyId: 7, uniqueId: 'u7', name: 'Thing' + (i % 50), functions: ['Run'] } };
        host.sendCallbackText(JSON.stringify({ response: { status: true, result: 'Busy', args: { 0: table, 1: proxy } } }));
      }
      await worker.terminate();
      const asked = host.takeRequests().map((text) => JSON.parse(text).request);
      const registered = host.status().callbacks;
      addon.CleanUp();
      host.stop();
      process.stdout.write(JSON.stringify({ asked, registered }));
    });
  `, { env: { HOSTLINK_ROOT: repoRoot } });
  assert.equal(child.signal, null, child.stderr);
  assert.equal(child.status, 0, child.stderr);
  const { asked, registered } = JSON.parse(child.stdout);
  assert.deepEqual(registered, ['Kept']);
  // (Releases of the proxies the worker was given may go too.)
  assert.deepEqual(asked.filter((r) => r.name.endsWith('Callback')).map((r) => [r.name, r.args]).sort(),
    [['DeregisterCallback', { 0: 'Busy' }], ['DeregisterCallback', { 0: 'Quiet' }]]);
  // Callbacks the host sent before it heard of the end arrive for a name no longer known;
  // nothing else is logged.
  const unknown = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - No JS callback function found for callback';
  assert.deepEqual(logLines(child.stderr).filter((line) => !line.startsWith(unknown)), []);
});
