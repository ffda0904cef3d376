'use strict';
// Prints what a proxy method call costs through the real add-on and the reference host:
// round trips with small values, and large arguments and results.
//   node bench/proxy-calls.js        (after npm run setup; HOSTLINK_ADDON and
//                                     HOSTLINK_BUILD_DIR select other builds)

const { startHost } = require('../test/js/helpers/host');
const hostlink = require('..');

function measure(label, rounds, call) {
  call();
  const started = process.hrtime.bigint();
  for (let i = 0; i < rounds; i += 1) call();
  const micros = Number(process.hrtime.bigint() - started) / 1000 / rounds;
  console.log(`${label.padEnd(40)} ${micros.toFixed(1).padStart(10)} us/call`);
}

const host = startHost({ control: false, keepRunning: true });
try {
  hostlink.Initialize(host.pluginId);
  hostlink.SetAPITimeout(60);
  const bench = hostlink.GetKestrel().GetBench();
  const list = Array.from({ length: 10000 }, (_, i) => i);
  // Varied text: a message may hold at most 100 times its compressed size.
  let text = '';
  for (let i = 0; text.length < 100000; i += 1) text += (i * 2654435761 % 4294967296).toString(36);
  text = text.slice(0, 100000);
  measure('Noop()', 5000, () => bench.Noop());
  measure('Add(1, 2)', 5000, () => bench.Add(1, 2));
  measure('Echo("short text")', 5000, () => bench.Echo('short text'));
  measure('TakeString(100000 characters)', 200, () => bench.TakeString(text));
  measure('MakeString(100000)', 200, () => bench.MakeString(100000));
  measure('Noop(10000-element array)', 50, () => bench.Noop(list));
  measure('MakeList(10000)', 10, () => bench.MakeList(10000));
} finally {
  try {
    hostlink.CleanUp();
  } finally {
    host.stop();
  }
}
