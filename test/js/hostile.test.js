'use strict';
// Hostile host input: responses that are not JSON or not objects, nested far too deep,
// 10 MB large, with NUL bytes and invalid UTF-8, with proxy identifiers out of range; and
// a pipe name held by another user's process. Each gives its error, never a crash.
const test = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { uniquePluginId, hostBinary } = require('./helpers/host');
const { addon, connect, disconnect, runChild, logLines, repoRoot } = require('./helpers/addon');

const PARSE_FAILED = 'IPC | Error | KvVariantMap : JSON parse failed';

let host;
let proxy;

test.before(() => {
  host = connect();
  host.replyJson({
    response: { status: true, result: { type: 'proxy', value: { proxyId: 3, uniqueId: '', name: 'Hostile', functions: ['f'] } } },
  });
  proxy = addon.GetKestrel();
});

test.after(() => disconnect(host));

// What proxy.f() gives when the host answers with these bytes: {value} or {error}.
function outcome(answer) {
  host.reply(answer);
  try {
    return { value: proxy.f() };
  } catch (error) {
    return { error: error.message };
  }
}

// The same as a response with this result text.
function resultOutcome(resultText) {
  return outcome(Buffer.from(`{"response":{"status":true,"result":${resultText}}}`, 'latin1'));
}

// A value nested `levels` deep, each level an array or a one-member object at random.
function deeplyNested(levels) {
  let state = 2463534242;
  const opens = [];
  const closes = [];
  for (let i = 0; i < levels; i += 1) {
    state ^= state << 13; state >>>= 0;
    state ^= state >>> 17;
    state ^= state << 5; state >>>= 0;
    opens.push(state & 1 ? '[' : '{"a":');
    closes.push(state & 1 ? ']' : '}');
  }
  return `${opens.join('')}1${closes.reverse().join('')}`;
}

// `length` characters, almost all "a", with a letter from b to y at random places, a
// fraction `rate` of them. The rate sets how well bzip2 compresses it.
function sparseText(length, rate) {
  const threshold = Math.floor(2 ** 32 * rate);
  const bytes = Buffer.alloc(length, 'a');
  let state = 2463534242;
  for (let i = 0; i < length; i += 1) {
    state ^= state << 13; state >>>= 0;
    state ^= state >>> 17;
    state ^= state << 5; state >>>= 0;
    if (state < threshold) bytes[i] = 98 + (state % 25);
  }
  return bytes.toString('latin1');
}

// A string response whose whole text is `length` bytes.
function stringResponse(length, rate) {
  const head = '{"response":{"status":true,"result":"';
  const tail = '"}}';
  const body = sparseText(length - head.length - tail.length, rate);
  return { text: head + body + tail, body };
}

test('responses that are not JSON objects give the invalid-response error with their text', () => {
  const texts = [' ', '[1,2]', '5', '"s"', 'null', 'true', '{"response":[1]}', '{"response":"x"}',
    '{"response":{"status":true,"result":1}}garbage', '{"response":{"status":true,"result":1}',
    '\ufeff{"response":{"status":true,"result":1}}', '{"response":{"status":true,"result":NaN}}',
    '{"response":{"status":true,"result":"\\ud800"}}'];
  for (const text of texts) {
    assert.deepEqual(outcome(text), { error: `f: Invalid response: ${text}` }, text);
  }
  // The next call is answered as ever.
  assert.deepEqual(resultOutcome('7'), { value: 7 });
});

test('a response nested 100000 levels deep is refused as invalid, on any thread', () => {
  const text = `{"response":{"status":true,"result":${deeplyNested(100000)}}}`;
  const result = outcome(text);
  assert.equal(result.error.length, 'f: Invalid response: '.length + text.length);
  assert.ok(result.error === `f: Invalid response: ${text}`);

  // A table nested as deep as the parser allows converts whole, also on a worker
  // thread, whose stack is smaller; the same text nested further is refused there too.
  const child = runChild(`
    const { Worker } = require('node:worker_threads');
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const table = (levels) => levels === 0 ? '1' : '{"type":"table","value":{"a":' + table(levels - 1) + '}}';
    host.answer();  // the worker's GetKestrel
    host.reply('{"response":{"status":true,"result":' + table(250) + '}}');
    host.reply('{"response":{"status":true,"result":' + table(260) + '}}');
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      const addon = require(workerData);
      const app = addon.GetKestrel();
      const depth = (value) => { let n = 0; while (typeof value === 'object') { value = value.a; n += 1; } return [n, value]; };
      const outcomes = [];
      for (let i = 0; i < 2; i += 1) {
        try { outcomes.push(depth(app.GetName())); } catch (error) { outcomes.push(error.message.slice(0, 30)); }
      }
      parentPort.postMessage(outcomes);
    \`, { eval: true, workerData: process.env.HOSTLINK_ROOT });
    worker.once('message', (outcomes) => {
      process.stdout.write(JSON.stringify(outcomes));
      worker.terminate().then(() => { addon.CleanUp(); host.stop(); });
    });
  `, { env: { HOSTLINK_ROOT: repoRoot } });
  assert.equal(child.signal, null, child.stderr);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), [[250, 1], 'GetName: Invalid response: {"r']);
});

test('a 10 MB response that the channel can carry arrives whole', () => {
  // 10000000 bytes compress to 101126: under the 102400 a message may take, and above
  // the hundredth of its size that the decompression limit needs.
  const { text, body } = stringResponse(10000000, 0.00563);
  const result = outcome(text);
  assert.equal(result.error, undefined);
  assert.equal(result.value.length, body.length);
  assert.ok(result.value === body);
});

test('a 10 MiB response is refused by the channel at one end or the other, never taken in part', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(2);
    const app = addon.GetKestrel();
    const outcome = (fn) => { try { return fn(); } catch (error) { return error.message; } };
    // Repetitive: it compresses to far less than a hundredth of its size, and the
    // plug-in's channel refuses to decompress it.
    host.reply('x'.repeat(10 * 1024 * 1024));
    const bomb = outcome(() => app.GetName());
    // Varied enough for the ratio, it no longer fits in one message: the host cannot send
    // it, and the plug-in waits until its time-out.
    ${sparseText}
    ${stringResponse}
    host.reply(stringResponse(10 * 1024 * 1024, 0.00563).text);
    const tooLong = outcome(() => app.GetName());
    const next = outcome(() => app.GetVersion());
    process.stdout.write(JSON.stringify({ bomb, tooLong, next, hostErr: host.stderr() }));
    addon.CleanUp();
    host.stop();
  `);
  assert.equal(child.status, 0, child.stderr);
  const result = JSON.parse(child.stdout);
  assert.equal(result.bomb, 'GetName: Failed to communicate with host');
  assert.equal(result.tooLong, 'GetName: Failed to communicate with host');
  assert.equal(result.next, '1.0.0');
  const lines = logLines(child.stderr);
  assert.match(lines[0], /^IPC \| Error \| Read : Failed to decompress {2}\(error: \(PluginId:[^)]+\) \(Mode:3\) \(Error:4294967288\)$/);
  assert.deepEqual(lines.slice(1), [
    'IPC | Error | IPCHandler : Failed to read response after sending request',
    'IPC | Error | IPCHandler : Failed to read response after sending request',
  ]);
  assert.match(result.hostErr, /Write : Failed to write as input buffer is too long \(Size:1\d{5}\)/);
});

test('NUL bytes and invalid UTF-8 in responses never crash and give fixed outcomes', () => {
  const cases = [
    // The parser reads a text up to its first zero byte.
    ['{"response":{"status":true,"result":1}}\0garbage', { value: 1 }],
    ['{"response":{"status":true,"result":"a\0b"}}', { error: 'f: Invalid response: {"response":{"status":true,"result":"a' }],
    // A string value is taken up to its first zero byte, and a member name too.
    ['{"response":{"status":true,"result":"a\\u0000b"}}', { value: 'a' }],
    ['{"response":{"status":true,"result":{"type":"table","value":{"a\\u0000b":1}}}}', { value: { a: 1 } }],
    // Bytes that are not UTF-8 reach JavaScript as replacement characters.
    ['{"response":{"status":true,"result":"a\xff\xfeb"}}', { value: 'a\ufffd\ufffdb' }],
    ['{"response":{"status":true,"result":"\xc0\x80"}}', { value: '\ufffd\ufffd' }],
    ['{"response":{"status":true,"result":"\\udc00x"}}', { value: '\ufffd\ufffd\ufffdx' }],
    ['{"response":{"status":true,"result":{"type":"table","value":{"k\xff":1}}}}', { value: { 'k\ufffd': 1 } }],
    ['{"response":{"status":false,"error":{"errorStr":"e\xff"}}}', { error: 'f: Error response (errorStr:e\ufffd)' }],
  ];
  for (const [text, expected] of cases) {
    assert.deepEqual(outcome(Buffer.from(text, 'latin1')), expected, JSON.stringify(text));
  }
});

test('a table of plain values builds the same through JSON.parse as value by value, at every edge', () => {
  // A repeated name sends a table down the value-by-value road (it keeps the first
  // member); without one the same table is built from plain text by JSON.parse.
  const members = [
    '0.1', '-0.0', '-0', '5e-324', '1.7976931348623157e308', '2.2250738585072011e-308',
    '9007199254740993', '18446744073709551615', '-9223372036854775808', '123456789012345678901234567890',
    'true', '"a\\u0000b"', '"\xff\xfe"', '"\xc0\x80"', '"x\xe2\x82"', '"\\u2028\\ud83d\\ude00"', '"\\"\\\\/\\b\\f\\n\\r\\t"',
    '{"type":"table","value":{"__proto__":1,"2":"two","1":"one","k\xff":2}}',
    '{"value":{"0":[1],"1":{"type":"table","value":{}}},"type":"table\\u0000x","isList":[true]}',
    '{"type":"table","value":{"0":1},"isList":"true"}',
    '{"type":"table","value":{},"isList":true}',
  ];
  for (const member of members) {
    const plain = resultOutcome(`{"type":"table","value":{"a":${member},"b":${member}}}`);
    const byValue = resultOutcome(`{"type":"table","value":{"a":${member},"b":${member},"a":0}}`);
    assert.deepStrictEqual(plain, byValue, member);
    assert.ok('value' in plain, `${member}: ${plain.error}`);
    const list = resultOutcome(`{"type":"table","value":{"0":${member},"1":${member}},"isList":true}`);
    const listByValue = resultOutcome(`{"type":"table","value":{"0":${member},"0":${member}},"isList":true}`);
    assert.deepStrictEqual(list, listByValue, member);
  }
});

test('proxy identifiers out of range are refused; the largest one is taken', () => {
  const description = (id) => `{"type":"proxy","value":{"proxyId":${id},"uniqueId":"","name":"Far","functions":["g"]}}`;
  for (const id of ['0', '-1', '2147483648', '4294967297', '-2147483649', '1e20', '1.5', '"7"', 'true', 'null']) {
    assert.deepEqual(resultOutcome(description(id)), { error: 'f: ParseProxyObject - Invalid proxyId' }, id);
  }
  const far = resultOutcome(description('2147483647')).value;
  host.replyJson({ response: { status: true, result: 1 } });
  far.g();
  assert.equal(JSON.parse(host.requests().at(-1)).request.proxyId, 2147483647);

  const text = JSON.stringify({ response: { status: true, result: JSON.parse(description('4294967297')) } });
  host.reply(text);
  assert.throws(() => addon.GetKestrel(), { message: `GetKestrel: Invalid proxy info received in response: ${text}` });
});

test('hostile callback messages are dropped and registered callbacks still arrive', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    let calls = 0;
    addon.RegisterCallback('Known', () => { calls += 1; });
    ${deeplyNested}
    const texts = [
      '{"response":{"status":true,"result":' + deeplyNested(100000) + '}}',
      '{"response":{"status":true,"result":"Kno\\\\u0000wn"}}',
      '{"response":{"status":true,"result":"Known\\xff"}}',
      '{"response":{"status":true,"result":"Known"}}\\0trailing',
    ];
    for (const text of texts) host.sendCallbackText(Buffer.from(text, 'latin1'));
    host.fire('Known');
    const waitUntil = Date.now() + 20000;
    const poll = () => {
      if (calls < 2 && Date.now() < waitUntil) return setTimeout(poll, 5);
      process.stdout.write(String(calls));
      addon.DeregisterCallback('Known');
      addon.CleanUp();
      host.stop();
    };
    poll();
  `);
  assert.equal(child.status, 0, child.stderr);
  // The last text is the name itself, up to the parser's first zero byte.
  assert.equal(child.stdout, '2');
  const prefix = 'IPC | Error | CallbackMessageProcessor : ProcessCallbackMessage - ';
  assert.deepEqual(logLines(child.stderr).filter((line) => !line.startsWith('IPC | Error | KvVariantMap')), [
    `${prefix}Failed to parse callback message from host`,
    `${prefix}No JS callback function found for callback:Kno`,
    // A second unknown name is counted, not written: a host repeating a fault cannot flood.
    `${prefix}No JS callback function found for callback (1 more like it)`,
  ].map((line) => Buffer.from(line, 'latin1').toString('utf8')));
});

test('a pipe name held by another user is refused, and nothing is sent there', async (t) => {
  if (process.platform !== 'linux' || process.getuid() !== 0) {
    t.skip('needs root on Linux to run a host as another user');
    return;
  }
  const pluginId = uniquePluginId('squat');
  // The checkout may sit in a folder that only root may enter: nobody runs a copy of the
  // host from a folder of its own that everyone may read.
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-squat-'));
  fs.chmodSync(folder, 0o755);
  const binary = path.join(folder, path.basename(hostBinary()));
  fs.copyFileSync(hostBinary(), binary);
  fs.chmodSync(binary, 0o755);
  // The reference host, run as nobody, serves the plug-in's pipe names first.
  // setpriv rather than spawn's uid option, which Deno refuses with EPERM once its test
  // runner is under way.
  const squatter = childProcess.spawn('setpriv',
    ['--reuid=65534', '--regid=65534', '--clear-groups', binary, '--plugin-id', pluginId],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  try {
    await new Promise((resolve, reject) => {
      squatter.once('error', reject);
      squatter.once('exit', (code) => reject(new Error(`the other user's host exited with ${code}`)));
      squatter.stdout.once('data', resolve);
    });
    const child = runChild(`
      let message = 'no error';
      try { addon.Initialize(process.env.PLUGIN_ID); } catch (error) { message = error.message; }
      process.stdout.write(message);
    `, { env: { PLUGIN_ID: pluginId } });
    assert.equal(child.status, 0, child.stderr);
    assert.equal(child.stdout, 'Initialize: Failed to initialize communication with host');
    // EACCES: refused for its owner at the first attempt, not for want of a server.
    assert.deepEqual(logLines(child.stderr),
      [`IPC | Error | Open : Client IPC object open failed (PluginId:${pluginId}) (Mode:3) (Error:13)`]);
  } finally {
    squatter.stdout.destroy();
    squatter.kill('SIGKILL');
    fs.rmSync(folder, { recursive: true, force: true });
  }
});

// Each new kind name defines a class that lives as long as the environment; a host that
// sends new ones without end is refused past the bounds, with known kinds still working.
test('a host sending ever new kinds is refused past 1000 classes, 1000 functions or 64 KB of names per class', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(30);
    const app = addon.GetKestrel();
    const kind = (name, functions) => ({ type: 'proxy', value: { proxyId: 5, uniqueId: '', name, functions } });
    const outcome = (result) => {
      host.replyJson({ response: { status: true, result } });
      try {
        const value = app.GetName();
        return value && value.constructor ? value.constructor.name : typeof value;
      } catch (error) {
        return error.message;
      }
    };
    const letters = (length, seed) => {
      let state = seed;
      let text = '';
      for (let i = 0; i < length; i += 1) {
        state ^= state << 13; state >>>= 0; state ^= state >>> 17; state ^= state << 5; state >>>= 0;
        text += String.fromCharCode(97 + (state % 26));
      }
      return text;
    };
    const results = [];
    results.push(outcome(kind('Wide', Array.from({ length: 1001 }, (_, i) => 'f' + i))));
    results.push(outcome(kind('Wordy', Array.from({ length: 10 }, (_, i) => letters(7000, i + 1)))));
    // With Application, 999 classes; one more makes the 1000 kept, the next is refused.
    const many = {};
    for (let i = 0; i < 998; i += 1) many[i] = kind('Kind' + i, ['g']);
    host.replyJson({ response: { status: true, result: { type: 'table', value: many } } });
    results.push(Object.keys(app.GetName()).length);
    results.push(outcome(kind('Last', ['g'])));
    results.push(outcome(kind('OneTooMany', ['g'])));
    results.push(outcome(kind('Kind5', ['g'])));
    process.stdout.write(JSON.stringify(results));
    addon.CleanUp();
    host.stop();
  `, { timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), [
    'GetName: Proxy class refused: 1001 functions, more than the 1000 a proxy class may have',
    'GetName: Proxy class refused: its names take 70005 bytes, more than the 65536 a proxy class may have',
    998,
    'Last',
    'GetName: Proxy class refused: this environment holds 1000 proxy classes, the most it keeps',
    'Kind5',
  ]);
});

test('a host whose kinds bring ever more functions is refused past 50000 per environment', () => {
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(60);
    const app = addon.GetKestrel();
    const functions = Array.from({ length: 1000 }, (_, i) => 'f' + i);
    const outcome = (name, list) => {
      host.replyJson({ response: { status: true, result: { type: 'proxy', value: { proxyId: 5, uniqueId: '', name, functions: list } } } });
      try {
        return app.GetName().constructor.name;
      } catch (error) {
        return error.message;
      }
    };
    const results = [];
    // Application's functions count too: 49 full classes fit beside it, the 50th does not.
    for (let i = 0; i < 50; i += 1) results.push(outcome('Full' + i, functions));
    results.push(outcome('Small', ['g']));
    process.stdout.write(JSON.stringify(results.slice(-3)));
    addon.CleanUp();
    host.stop();
  `, { timeoutMs: 120000 });
  assert.equal(child.status, 0, child.stderr);
  const [lastFitting, refused, small] = JSON.parse(child.stdout);
  assert.equal(lastFitting, 'Full48');
  assert.match(refused, /^GetName: Proxy class refused: this environment's proxy classes have 4\d{4} functions, and 1000 more would pass the 50000 it keeps$/);
  assert.equal(small, 'Small');
});
