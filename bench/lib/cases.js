'use strict';
// The calls the suite measures through the add-on, with their call counts. The same
// calls, made once through a recorder, give the wire floor its texts.

// Number of calls per case: [full run, --quick run]; warm-up is a tenth of it.
const COUNTS = {
  trivial: [20000, 2000],
  table: [3000, 300],
  large_result: [300, 40],
  large_arg: [500, 60],
  callback: [2000, 200],
  async_trivial: [20000, 2000],
  // bursts of 1000 calls, and blocks of 1000 synchronous ones
  async_burst: [100, 10],
  sync_block: [100, 10],
  peer: [10000, 1000],
  polling: [400, 40],
  memory: [1000000, 50000],
};

// Tables in the large result: about 100 KB of JSON text after decompression.
const LARGE_LIST_LENGTH = 1400;
const LARGE_ARGUMENT_BYTES = 50 * 1024;

// Word-like text: compresses as prose does, not as a run of one letter.
function wordText(length) {
  const words = ['host', 'plug', 'pipe', 'shape', 'table', 'proxy', 'call', 'value', 'list', 'title'];
  let state = 2463534242;
  let text = '';
  while (text.length < length) {
    state ^= state << 13;
    state ^= state >>> 17;
    state ^= state << 5;
    state >>>= 0;
    text += `${words[state % words.length]}${String.fromCharCode(97 + ((state >>> 8) % 26))} `;
  }
  return text.slice(0, length);
}

const largeArgument = wordText(LARGE_ARGUMENT_BYTES);

// Each measured call on the host's Bench object; the order is the order of capture.
const CALL_CASES = [
  { key: 'trivial', title: 'trivial call: Echo(42)', call: (bench) => bench.Echo(42), check: (r) => r === 42 },
  {
    key: 'table',
    title: 'table result: MakeList(100)',
    call: (bench) => bench.MakeList(100),
    check: (r) => Array.isArray(r) && r.length === 100 && r[99].name === 'item-99',
  },
  {
    key: 'large_result',
    title: `large result: MakeList(${LARGE_LIST_LENGTH})`,
    call: (bench) => bench.MakeList(LARGE_LIST_LENGTH),
    check: (r) => Array.isArray(r) && r.length === LARGE_LIST_LENGTH,
  },
  {
    key: 'large_arg',
    title: 'large argument: TakeString(50 KB)',
    call: (bench) => bench.TakeString(largeArgument),
    check: (r) => r === LARGE_ARGUMENT_BYTES,
  },
];

function countsFor(key, quick) {
  const calls = COUNTS[key][quick ? 1 : 0];
  return { calls, warmUp: Math.max(10, Math.floor(calls / 10)) };
}

module.exports = { CALL_CASES, countsFor };
