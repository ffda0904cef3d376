'use strict';
// Runs hostlink_wire_floor: two C++ processes exchanging the recorded texts over a
// SEQPACKET socket pair with the channel's bzip2 work and nothing else. Returns a timing
// (see measure.js). With fireAfterMs the exchange is one way, as a callback is: texts.answer
// alone, sent that many milliseconds after the last, timed from the sender's clock reading.

const childProcess = require('node:child_process');

function measureFloor(binary, texts, { calls, warmUp }, placement, { sleepPollMs = 0, fireAfterMs = 0 } = {}) {
  const args = ['--answer', texts.answer, '--calls', String(calls),
    '--warmup', String(warmUp), '--client-cpu', String(placement.client),
    '--server-cpu', String(placement.server), '--samples', '1'];
  if (texts.request) args.push('--request', texts.request);
  if (sleepPollMs > 0) args.push('--sleep-poll-ms', String(sleepPollMs));
  if (fireAfterMs > 0) args.push('--fire-after-ms', String(fireAfterMs));
  const result = childProcess.spawnSync(binary, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
  if (result.status !== 0) throw new Error(`hostlink_wire_floor failed (${result.status ?? result.error})`);
  const figures = JSON.parse(result.stdout);
  return { samples: figures.samples_us, seconds: figures.seconds };
}

module.exports = { measureFloor };
