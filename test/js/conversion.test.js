'use strict';
// Values across the boundary: JavaScript arguments to the request's argument map, and
// the response's result back to JavaScript, with every failure and its outcome.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { addon, connect, disconnect, runChild } = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

const EXCEPTION = 'Execute: Exception occured while performing operation';

let host;
let proxy;
let kindCounter = 0;

function success(result) {
  return JSON.stringify({ response: { requestId: 1, status: true, result } });
}

// A proxy of a fresh kind with the single function f, addressed to host object 3.
function makeProxy(proxyId = 3) {
  kindCounter += 1;
  host.reply(success({
    type: 'proxy',
    value: { proxyId, uniqueId: '', name: `Conv${kindCounter}`, functions: ['f'] },
  }));
  const made = addon.GetKestrel();
  host.takeRequests();
  return made;
}

// Calls f(...args) with the host answering `answer` (a result text); returns what the
// call returned or threw, and the "args" text of the request (null when none was sent,
// '' when it had no arguments).
function call(args, answer = '0') {
  host.reply(`{"response":{"status":true,"result":${answer}}}`);
  let outcome;
  try {
    outcome = { value: proxy.f(...args) };
  } catch (error) {
    outcome = { error: error.message };
  }
  const sent = host.takeRequests();
  if (sent.length === 0) {
    host.clear();
    return { ...outcome, args: null };
  }
  assert.equal(sent.length, 1);
  const match = /"name":"f"(?:,"args":(.*))?,"proxyId":3\}\}$/.exec(sent[0]);
  assert.ok(match, sent[0]);
  return { ...outcome, args: match[1] || '' };
}

function sentArgs(...args) {
  const result = call(args);
  assert.equal(result.error, undefined);
  return result.args;
}

function resultOf(answer) {
  const result = call([], answer);
  if (result.error) throw new Error(result.error);
  return result.value;
}

test.before(() => {
  host = connect();
  proxy = makeProxy();
});
test.after(() => disconnect(host));

test('scalars travel as booleans, integers, doubles and strings, keyed by position', () => {
  assert.equal(sentArgs(true, 2, 2.5, 's'), '{"0":true,"1":2,"2":2.5,"3":"s"}');
  assert.equal(sentArgs(false, -0, 'é\n"\\'), '{"0":false,"1":0,"2":"é\\n\\"\\\\"}');
  const eleven = Array.from({ length: 11 }, (_, i) => i);
  assert.equal(sentArgs(...eleven), `{${eleven.map((i) => `"${i}":${i}`).join(',')}}`);
});

test('whole numbers in the 32-bit range are integers, everything else doubles', () => {
  assert.equal(sentArgs(2147483647, -2147483648), '{"0":2147483647,"1":-2147483648}');
  assert.equal(sentArgs(2147483648, -2147483649, 3000000000), '{"0":2147483648.0,"1":-2147483649.0,"2":3000000000.0}');
  // Within 1e-6 of a whole number: that integer; further away: a double.
  assert.equal(sentArgs(1e-7, 2.0000005, -3.0000005, 1.9999995), '{"0":0,"1":2,"2":-3,"3":1.9999995}');
  assert.equal(sentArgs(0.5, -2147483648.5), '{"0":0.5,"1":-2147483648.5}');
});

test('objects and arrays with enumerable properties travel as tables, never as lists', () => {
  assert.equal(sentArgs({ a: 1, b: { c: 'x' } }),
    '{"0":{"type":"table","value":{"a":1,"b":{"type":"table","value":{"c":"x"}}}}}');
  assert.equal(sentArgs([10, 20]), '{"0":{"type":"table","value":{"0":10,"1":20}}}');
  // Integer-like names first, ascending, then the others in creation order.
  assert.equal(sentArgs({ b: 1, 2: 'x', a: 3, 1: 'y' }),
    '{"0":{"type":"table","value":{"1":"y","2":"x","b":1,"a":3}}}');
  // Inherited enumerable properties count too.
  const child = Object.create({ inherited: 1 });
  child.own = 2;
  assert.match(sentArgs(child), /^\{"0":\{"type":"table","value":\{(?=.*"own":2)(?=.*"inherited":1).*\}\}\}$/);
  // A function with an enumerable property is a table as well.
  const fn = () => {};
  fn.k = true;
  assert.equal(sentArgs(fn), '{"0":{"type":"table","value":{"k":true}}}');
  // The same object twice is no cycle.
  const shared = { v: 1 };
  assert.equal(sentArgs({ a: shared, b: shared }),
    '{"0":{"type":"table","value":{"a":{"type":"table","value":{"v":1}},"b":{"type":"table","value":{"v":1}}}}}');
});

test('proxy objects travel as proxy references, unless given enumerable properties', () => {
  const seven = makeProxy(7);
  assert.equal(sentArgs(seven, proxy), '{"0":{"type":"proxyref","value":7},"1":{"type":"proxyref","value":3}}');
  seven.note = 'x';
  assert.equal(sentArgs(seven), '{"0":{"type":"table","value":{"note":"x"}}}');
});

test('unconvertible arguments raise their error and nothing is sent', () => {
  const cases = [
    [[null], 'f: GetArgument - Invalid input key/value  (key:0)'],
    [[undefined], 'f: GetArgument - Unknown argument type detected for key:0'],
    [[Symbol('s')], 'f: GetArgument - Unknown argument type detected for key:0'],
    [[10n], 'f: GetArgument - Unknown argument type detected for key:0'],
    [[{}], 'f: GetArgument - Unknown object type detected for key:0'],
    [[[]], 'f: GetArgument - Unknown object type detected for key:0'],
    [[function named() {}], 'f: GetArgument - Unknown object type detected for key:0'],
    [[new Date(0)], 'f: GetArgument - Unknown object type detected for key:0'],
    [[1, { '': 1 }], 'f: GetArgument - Invalid input key/value  (key:)'],
    [[1, { a: undefined }], 'f: GetArgument - Unknown argument type detected for key:a'],
  ];
  for (const [args, message] of cases) {
    const result = call(args, '5');
    assert.equal(result.error, message);
    assert.equal(result.value, undefined);
    assert.equal(result.args, null, message);
  }
  assert.equal(call([1, { '': 1 }]).args, null);
  assert.equal(call([null, 5, 's']).args, null);
  assert.equal(call([{ a: 1, b: null }]).args, null);
});

test('a failed argument followed by an object, or by another member, ends the call unsent with its own error', () => {
  const cases = [
    [[null, { a: 1 }], 'f: GetArgument - Invalid input key/value  (key:0)'],
    [[{ a: null, b: 1 }], 'f: GetArgument - Invalid input key/value  (key:a)'],
    [[[undefined, 2]], 'f: GetArgument - Unknown argument type detected for key:0'],
    [[undefined, [1]], 'f: GetArgument - Unknown argument type detected for key:0'],
  ];
  for (const [args, message] of cases) {
    const result = call(args);
    assert.equal(result.error, message);
    assert.equal(result.args, null);
  }
});

test('a failed argument keeps its own error whatever the result would have been', () => {
  const table = call([null], '{"type":"table","value":{"a":1}}');
  assert.equal(table.error, 'f: GetArgument - Invalid input key/value  (key:0)');
  assert.equal(table.args, null);
  const scalar = call([null], '"fine"');
  assert.equal(scalar.error, 'f: GetArgument - Invalid input key/value  (key:0)');
  assert.equal(scalar.args, null);
});

test('NaN and infinite arguments fail the call before anything is sent, naming the key', () => {
  const cases = [
    [[NaN], 'f: GetArgument - Number is not finite (NaN or Infinity) for key:0'],
    [[1, Infinity], 'f: GetArgument - Number is not finite (NaN or Infinity) for key:1'],
    [[{ deep: [-Infinity] }], 'f: GetArgument - Number is not finite (NaN or Infinity) for key:0'],
    [[{ x: NaN }], 'f: GetArgument - Number is not finite (NaN or Infinity) for key:x'],
  ];
  for (const [args, message] of cases) {
    const result = call(args);
    assert.equal(result.error, message);
    assert.equal(result.args, null);
  }
});

test('typed arrays, buffers, maps and sets are refused before their contents are read', () => {
  const refused = [new Uint8Array(4), new Float64Array(2), new ArrayBuffer(8),
    new DataView(new ArrayBuffer(4)), new Map([['a', 1]]), new Set([1]), Buffer.from('ab')];
  for (const value of refused) {
    // Given an enumerable property, any of them would otherwise travel as a table.
    value.extra = 1;
    const result = call([value]);
    assert.equal(result.error, 'f: GetArgument - Unknown object type detected for key:0',
      Object.prototype.toString.call(value));
    assert.equal(result.args, null);
  }
  // A huge typed array is refused at once, not enumerated element by element.
  const huge = new Uint8Array(16 * 1024 * 1024);
  const started = process.hrtime.bigint();
  assert.equal(call([huge]).error, 'f: GetArgument - Unknown object type detected for key:0');
  assert.ok(process.hrtime.bigint() - started < 2_000_000_000n, 'refused without enumerating');
});

test('an array longer than the value bound is refused by its length before it is enumerated', () => {
  const long = [];
  long.length = 2 ** 21;  // sparse: only its length is large
  long[0] = 1;
  const result = call([{ a: 1, list: long }]);
  assert.equal(result.error, 'f: GetArgument - Too many values in the arguments at key:list');
  assert.equal(result.args, null);
});

test('an argument that contains itself raises an error instead of recursing', () => {
  const cyclic = { x: 1 };
  cyclic.self = cyclic;
  const result = call([cyclic]);
  assert.equal(result.error, 'f: GetArgument - Circular reference detected for key:self');
  assert.equal(result.args, null);
  const list = [1];
  list.push(list);
  assert.equal(call([list]).error, 'f: GetArgument - Circular reference detected for key:1');
});

test('arguments nest up to 64 objects deep', () => {
  const nest = (levels) => {
    let value = { v: 1 };
    for (let i = 1; i < levels; i += 1) value = { d: value };
    return value;
  };
  const deepest = call([nest(64)]);
  assert.equal(deepest.error, undefined);
  assert.equal((deepest.args.match(/"type":"table"/g) || []).length, 64);
  const tooDeep = call([nest(65)]);
  assert.equal(tooDeep.error, 'f: GetArgument - Object nested deeper than 64 levels for key:d');
  assert.equal(tooDeep.args, null);
});

test('an argument that shares objects many times over is refused, not expanded without end', () => {
  let shared = { leaf: 1 };
  for (let i = 0; i < 40; i += 1) shared = { a: shared, b: shared };
  const result = call([shared]);
  assert.equal(result.error, 'f: GetArgument - Too many values in the arguments at key:leaf');
  assert.equal(result.args, null);
});

test('scalar results become booleans, numbers and strings', () => {
  assert.equal(resultOf('true'), true);
  assert.equal(resultOf('false'), false);
  assert.equal(resultOf('"s"'), 's');
  assert.equal(resultOf('"é✓"'), 'é✓');
  assert.equal(resultOf('7'), 7);
  assert.equal(resultOf('-2147483648'), -2147483648);
  assert.equal(resultOf('1.5'), 1.5);
  assert.equal(resultOf('2.0'), 2);
  assert.equal(resultOf('[5,6]'), 5);
});

test('integer results beyond 32 bits keep their value', () => {
  assert.equal(resultOf('2147483648'), 2147483648);
  assert.equal(resultOf('4294967295'), 4294967295);
  assert.equal(resultOf('-3000000000'), -3000000000);
  assert.equal(resultOf('9007199254740991'), Number.MAX_SAFE_INTEGER);
  assert.equal(resultOf('-9007199254740991'), Number.MIN_SAFE_INTEGER);
  assert.equal(resultOf('18446744073709551615'), 18446744073709551615);
});

test('table results become objects in member order, or arrays when they are lists', () => {
  const list = resultOf('{"type":"table","value":{"b":1,"a":2},"isList":true}');
  assert.deepEqual(list, [1, 2]);
  const object = resultOf('{"type":"table","value":{"b":1,"a":2}}');
  assert.deepEqual(object, { b: 1, a: 2 });
  assert.deepEqual(Object.keys(object), ['b', 'a']);
  assert.deepEqual(resultOf('{"type":"table","value":{}}'), {});
  assert.deepEqual(resultOf('{"type":"table","value":{},"isList":true}'), []);
  assert.deepEqual(resultOf('{"type":"table","value":{"a":1},"isList":false}'), { a: 1 });
  const nested = resultOf(JSON.stringify({
    type: 'table',
    value: {
      items: { type: 'table', isList: true, value: { x: 's', y: { type: 'table', value: { deep: true } } } },
      doc: { type: 'proxy', value: { proxyId: 9, uniqueId: 'd9', name: 'NestedDoc', functions: ['g'] } },
    },
  }));
  assert.deepEqual(nested.items, ['s', { deep: true }]);
  assert.equal(nested.doc.constructor.name, 'NestedDoc');
  assert.equal(nested.doc.uniqueId, 'd9');
  assert.equal(typeof nested.doc.g, 'function');
});

test('a member name given twice reads as its first member, as every keyed access does', () => {
  assert.deepEqual(resultOf('{"type":"table","value":{"a":1,"b":2,"a":3},"isList":true}'), [1, 2, 1]);
  assert.deepEqual(resultOf('{"type":"table","value":{"a":1,"b":2,"a":3}}'), { a: 1, b: 2 });
  // The same in a table long enough to be looked up by hashing.
  const members = Array.from({ length: 40 }, (_, i) => `"k${i % 30}":${i}`).join(',');
  const expected = Array.from({ length: 40 }, (_, i) => i % 30);
  assert.deepEqual(resultOf(`{"type":"table","isList":true,"value":{${members}}}`), expected);
});

// What f() gives (or the kind of error it throws) when the host answers with the result
// bytes; with viaParsedMessage, an extra member in the outer table sends the answer down the
// road that reads the whole message first, which ignores that member.
function resultThroughRoad(result, viaParsedMessage) {
  const bytes = Buffer.from(result, 'latin1');
  const table = viaParsedMessage ? Buffer.concat([Buffer.from('{"x":0,'), bytes.subarray(1)]) : bytes;
  host.reply(Buffer.concat([Buffer.from('{"response":{"requestId":5,"status":true,"result":'), table,
    Buffer.from('}}')]));
  try {
    return { value: proxy.f() };
  } catch (error) {
    return { error: error.message.replace(/: \{.*$/s, '') };
  } finally {
    host.takeRequests();
  }
}

test('a table result read straight from the text gives the values, and errors, of the parsed message', () => {
  const tables = [
    '{"type":"table","value":{"0":1.5,"1":-0.0,"2":1e21,"3":12345678901234567890,"4":0.1e-5,"5":1E+2,' +
      '"6":-123,"7":0,"8":2.5e-290,"9":123456789012345678,"10":0.30000000000000004},"isList":true}',
    '{"type":"table","value":{"n":-0}}',
    '{"type":"table","value":{"n":1e400}}',
    '{"type":"table","value":{"a":1e-400,"b":-1e-400,"c":4.9e-324}}',
    '{"type":"table","value":{"s":"a\\"b\\\\c\\/d\\b\\f\\n\\r\\t","r":"\xc3\xa9\xf0\x9f\x98\x80"}}',
    '{"type":"table","value":{"u":"\\u00e9\\ud83d\\ude00","z":"x\\u0000y"}}',
    '{"type":"table","value":{"bad":"a\xff\xe2b\xc3"}}',
    '{"type":"table","value":{"c":"a\x01b"}}',
    '{"type":"table","value":{"a":1,"b":2,"a":3}}',
    '{"type":"table","value":{"\\/":1,"/":2}}',
    '{"type":"table","value":{"__proto__":{"type":"table","value":{"p":1}},"constructor":2}}',
    '{"type":"table","isList":true,"value":{"0":{"type":"table","value":{"k":[1]}}}}',
    '{"type":"table","value":{"1":"b","0":"a"},"isList":true}',
    '{"type":"table","value":{"a":{"type":"table","value":{"0":true,"1":false},"isList":true}},"isList":false}',
  ];
  for (const table of tables) {
    const straight = resultThroughRoad(table, false);
    assert.deepStrictEqual(straight, resultThroughRoad(table, true), table);
  }
  assert.deepStrictEqual(resultThroughRoad(tables[0], false).value,
    [1.5, -0, 1e21, 12345678901234567890, 0.1e-5, 100, -123, 0, 2.5e-290, 123456789012345678, 0.30000000000000004]);
  assert.match(resultThroughRoad(tables[2], false).error, /Invalid response/);
  assert.equal(resultThroughRoad(tables[6], false).value.bad, 'a\ufffd\ufffdb\ufffd');
});

test('a result read as a list reads its first element, as every keyed access does', () => {
  assert.equal(resultOf('[7,8]'), 7);
  assert.deepEqual(resultOf('[{"type":"table","value":{"a":1}}]'), { a: 1 });
  assert.deepEqual(resultOf('{"type":"table","value":[{"a":1},{"b":2}]}'), { a: 1 });
  assert.deepEqual(resultOf('{"type":"table","value":[],"isList":[true]}'), []);
  assert.deepEqual(resultOf('{"type":"table","value":5,"isList":true}'), []);
  assert.throws(() => resultOf('[]'), /Unknown data type detected for key:result/);
});

test('large arrays convert whole in both directions', () => {
  const size = 20000;
  const big = Array.from({ length: size }, (_, i) => i * 2);
  const sent = call([big]).args;
  assert.ok(sent.startsWith('{"0":{"type":"table","value":{"0":0,"1":2,'), sent.slice(0, 60));
  assert.ok(sent.endsWith(`"${size - 1}":${(size - 1) * 2}}}}`), sent.slice(-60));
  const members = big.map((v, i) => `"${i}":${v}`).join(',');
  assert.deepEqual(resultOf(`{"type":"table","isList":true,"value":{${members}}}`), big);
});

test('a result member named __proto__ stays a plain data property', () => {
  const object = resultOf('{"type":"table","value":{"__proto__":{"type":"table","value":{"polluted":true}},"a":1}}');
  assert.equal(Object.getPrototypeOf(object), Object.prototype);
  assert.deepEqual(Object.keys(object), ['__proto__', 'a']);
  assert.equal(object.polluted, undefined);
  assert.deepEqual(Object.getOwnPropertyDescriptor(object, '__proto__').value, { polluted: true });
});

test('list elements are defined as own data properties, never passed to a setter on a prototype', () => {
  // A list holding a proxy is built value by value, as callback arguments are.
  const proxyValue = '{"type":"proxy","value":{"proxyId":12,"uniqueId":"","name":"ListedKind","functions":["g"]}}';
  let captured = '';
  const plant = (target, key) => Object.defineProperty(target, key, {
    set(value) { captured += ` ${key}=${String(value)}`; }, configurable: true,
  });
  host.reply(success({ type: 'table', isList: true, value: { a: 'secret', b: JSON.parse(proxyValue), c: 3 } }));
  let list;
  plant(Array.prototype, '0');
  plant(Object.prototype, '1');
  try {
    list = proxy.f();
  } finally {
    delete Array.prototype[0];
    delete Object.prototype[1];
  }
  host.takeRequests();
  assert.equal(captured, '');
  assert.ok(Array.isArray(list));
  assert.equal(list.length, 3);
  assert.deepEqual(Object.keys(list), ['0', '1', '2']);
  assert.deepEqual(Object.getOwnPropertyDescriptor(list, '0'),
    { value: 'secret', writable: true, enumerable: true, configurable: true });
  assert.equal(list[1].constructor.name, 'ListedKind');
  assert.equal(list[2], 3);
});

test('proxy results become new proxy objects, each call a new object', () => {
  const answer = '{"type":"proxy","value":{"proxyId":11,"uniqueId":"","name":"ResultKind","functions":["g"]}}';
  const first = resultOf(answer);
  const second = resultOf(answer);
  assert.notEqual(first, second);
  assert.equal(first.constructor, second.constructor);
  assert.equal(first.constructor.name, 'ResultKind');
  assert.equal('uniqueId' in first, false);
  host.reply(success(1));
  first.g();
  assert.match(host.takeRequests()[0], /"name":"g","proxyId":11\}\}$/);
});

test('results that cannot be converted raise their error', () => {
  const cases = [
    ['null', 'f: Parse - Unknown data type detected for key:result'],
    ['[]', 'f: Parse - Unknown data type detected for key:result'],
    ['{}', 'f: Parse - Unknown object type detected for key:result (type:-1)'],
    ['{"type":"Table","value":{}}', 'f: Parse - Unknown object type detected for key:result (type:-1)'],
    ['{"type":"proxyref","value":2}', 'f: Parse - Unknown object type detected for key:result (type:2)'],
    ['{"type":"table"}', 'f: ParseTableObject - Failed to parse table object'],
    ['{"type":"proxy"}', 'f: ParseProxyObject - Failed to parse proxy object info'],
    ['{"type":"proxy","value":{"proxyId":0,"uniqueId":"","name":"P","functions":["g"]}}',
      'f: ParseProxyObject - Invalid proxyId'],
    ['{"type":"proxy","value":{"proxyId":4,"uniqueId":"","name":"","functions":["g"]}}',
      'f: ParseProxyObject - proxy name is empty'],
    ['{"type":"proxy","value":{"proxyId":4,"uniqueId":"","name":"P","functions":[]}}',
      'f: ParseProxyObject - function list is empty'],
  ];
  for (const [answer, message] of cases) {
    assert.throws(() => resultOf(answer), { message }, answer);
  }
});

test('a failing member of a result table or list gives the catch-all error', () => {
  for (const answer of [
    '{"type":"table","value":{"a":1,"b":null}}',
    '{"type":"table","value":{"a":{"type":"proxyref","value":1}},"isList":true}',
    '{"type":"table","value":{"a":{"type":"table","value":{"deep":null}}}}',
  ]) {
    assert.throws(() => resultOf(answer), { message: EXCEPTION }, answer);
  }
});

test('the reference host echoes converted values back unchanged', () => {
  const app = addon.GetKestrel();
  const value = { name: 'x', list: [1, 2.5, 'three', { four: true }], nested: { n: -7 } };
  assert.deepEqual(app.Echo(value), { ...value, list: { 0: 1, 1: 2.5, 2: 'three', 3: { four: true } } });
  const documents = app.GetDocuments();
  assert.equal(app.Echo(documents).constructor.name, 'Documents');
});

test('doubles come back from the reference host bit for bit', () => {
  const app = addon.GetKestrel();
  // Random bit patterns, every exponent. A number within 1e-6 of a whole number in the
  // 32-bit range (every number below 1e-6 among them) travels as that integer, so those
  // are left out.
  const bits = new BigUint64Array(1);
  const view = new Float64Array(bits.buffer);
  let seed = 0x9e3779b97f4a7c15n;
  const doubles = [0.1 + 0.2, 1.7976931348623157e308, -123456.789];
  while (doubles.length < 6000) {
    seed = (seed * 6364136223846793005n + 1442695040888963407n) & 0xffffffffffffffffn;
    bits[0] = seed ^ (seed >> 29n);
    const d = view[0];
    const whole = Math.trunc(d);
    const travelsAsInteger = Math.abs(d - whole) <= 9.999999974752427e-7 &&
      whole >= -2147483648 && whole <= 2147483647;
    if (Number.isFinite(d) && !travelsAsInteger) doubles.push(d);
  }
  const changed = [];
  // One at a time (the add-on reads a scalar result), then as tables of 1,000 (the host
  // reads them all in one request).
  for (const d of doubles.slice(0, 2000)) {
    const back = app.Echo(d);
    if (!Object.is(back, d)) changed.push(`${d} -> ${back}`);
  }
  for (let at = 0; at < doubles.length; at += 1000) {
    const sent = doubles.slice(at, at + 1000);
    const back = app.Echo(sent);
    sent.forEach((d, i) => {
      if (!Object.is(back[i], d)) changed.push(`${d} -> ${back[i]} (in a table)`);
    });
  }
  assert.deepEqual(changed.slice(0, 10), [], `${changed.length} of ${doubles.length + 2000} changed`);
});

test('a JSON.parse replaced before the add-on loaded is not used for results', { skip: differs('nodeOptionsRequire') }, () => {
  // A date reviver, put in place before the add-on is required.
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-parse-'));
  const preload = path.join(folder, 'dates.js');
  fs.writeFileSync(preload, `
    const original = JSON.parse;
    JSON.parse = (text, reviver) => original(text, (key, value) =>
      typeof value === 'string' && /^\\d{4}-\\d\\d-\\d\\dT/.test(value) ? new Date(value) : value);
  `);
  let child;
  try {
    child = runChild(`
      const host = startHost();
      addon.Initialize(host.pluginId);
      addon.SetAPITimeout(30);
      const app = addon.GetKestrel();
      const when = '2020-01-01T00:00:00.000Z';
      const plain = app.Echo({ when, n: 1 });               // a table of plain values
      const withProxy = app.Echo({ when, n: 1, app });      // built value by value
      process.stdout.write(JSON.stringify({
        replaced: JSON.parse('"2020-01-01T00:00:00.000Z"') instanceof Date,
        plain: typeof plain.when, withProxy: typeof withProxy.when,
      }));
      addon.CleanUp();
      host.stop();
    `, { env: { NODE_OPTIONS: `--require ${preload}` } });
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), { replaced: true, plain: 'string', withProxy: 'string' });
});
