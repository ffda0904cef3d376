'use strict';
// Result conversion alone: the decompressed answer to MakeList(1400) (about 100 KB of
// JSON text) turned into JavaScript values by the add-on, beside V8's own JSON.parse of
// the same text, which creates about as many objects. Prints both medians and the
// conversion's speed as a fraction of JSON.parse's; --json prints them as one object.
//
//   node bench/conversion.js [--quick] [--json]   (HOSTLINK_BUILD_DIR, default build/)
const path = require('node:path');

const LIST_LENGTH = 1400;

function median(samples) {
  const sorted = [...samples].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

function timeEach(count, fn) {
  const samples = [];
  for (let i = 0; i < count; i += 1) {
    const started = process.hrtime.bigint();
    fn();
    samples.push(Number(process.hrtime.bigint() - started) / 1000);
  }
  return samples;
}

function measureConversion({ quick = false, buildDir } = {}) {
  const dir = buildDir || process.env.HOSTLINK_BUILD_DIR || 'build';
  const bench = require(path.resolve(__dirname, '..', dir, 'hostlink_conversion_bench.node'));
  const text = bench.makeListText(LIST_LENGTH);
  const converted = bench.convert(text);
  if (!Array.isArray(converted) || converted.length !== LIST_LENGTH ||
      converted[LIST_LENGTH - 1].name !== `item-${LIST_LENGTH - 1}`) {
    throw new Error('conversion bench: MakeList result did not convert');
  }
  const calls = quick ? 100 : 1000;
  timeEach(Math.floor(calls / 5), () => bench.convert(text));
  timeEach(Math.floor(calls / 5), () => JSON.parse(text));
  // Interleaved rounds, so that both see the same machine.
  const convert = [];
  const parse = [];
  for (let round = 0; round < 10; round += 1) {
    convert.push(...timeEach(calls / 10, () => bench.convert(text)));
    parse.push(...timeEach(calls / 10, () => JSON.parse(text)));
  }
  const convertUs = median(convert);
  const parseUs = median(parse);
  return { text_bytes: Buffer.byteLength(text), convert_us: convertUs, json_parse_us: parseUs,
    speed_vs_json_parse: parseUs / convertUs };
}

if (require.main === module) {
  const args = process.argv.slice(2);
  const result = measureConversion({ quick: args.includes('--quick') });
  if (args.includes('--json')) {
    console.log(JSON.stringify(result));
  } else {
    console.log(`result conversion, MakeList(${LIST_LENGTH}) (${result.text_bytes} B of JSON text):`);
    console.log(`  add-on conversion   median ${result.convert_us.toFixed(1)} µs`);
    console.log(`  V8 JSON.parse       median ${result.json_parse_us.toFixed(1)} µs`);
    console.log(`  conversion speed: ${result.speed_vs_json_parse.toFixed(2)} × JSON.parse's`);
  }
}

module.exports = { measureConversion };
