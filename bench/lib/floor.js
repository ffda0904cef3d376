'use strict';
// Runs hostlink_wire_floor: two C++ processes exchanging the recorded texts over a
// SEQPACKET socket pair with the channel's bzip2 work and nothing else. Returns a timing
// (see measure.js).

const childProcess = require('node:child_process');

function measureFloor(binary, texts, { calls, warmUp }, placement, { sleepPollMs = 0 } = {}) {
  const args = ['--request', texts.request, '--answer', texts.answer, '--calls', String(calls),
    '--warmup', String(warmUp), '--client-cpu', String(placement.client),
    '--server-cpu', String(placement.server), '--samples', '1'];
  if (sleepPollMs > 0) args.push('--sleep-poll-ms', String(sleepPollMs));
  const result = childProcess.spawnSync(binary, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'] });
  if (result.status !== 0) throw new Error(`hostlink_wire_floor failed (${result.status ?? result.error})`);
  const figures = JSON.parse(result.stdout);
  return { samples: figures.samples_us, seconds: figures.seconds };
}

module.exports = { measureFloor };
