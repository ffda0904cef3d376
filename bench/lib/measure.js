'use strict';
// Timing loops for the suite: each call is timed on its own with the monotonic clock,
// after a warm-up, and summed up as median, 99th percentile and calls per second.

function nowNs() {
  return process.hrtime.bigint();
}

// {median_us, p99_us, calls_per_s} from per-call times in microseconds and the wall time
// of the whole measured loop in seconds.
function summarize(samples, seconds) {
  const sorted = Float64Array.from(samples).sort();
  const at = (fraction) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * fraction))];
  return {
    median_us: round(at(0.5)),
    p99_us: round(at(0.99)),
    calls_per_s: Math.round(samples.length / seconds),
  };
}

function round(value) {
  return Math.round(value * 100) / 100;
}

// Times call() calls times after warmUp untimed ones; call is synchronous.
function timeSync(call, { calls, warmUp }) {
  for (let i = 0; i < warmUp; i += 1) call();
  const samples = new Float64Array(calls);
  const begin = nowNs();
  for (let i = 0; i < calls; i += 1) {
    const start = nowNs();
    call();
    samples[i] = Number(nowNs() - start) / 1000;
  }
  return summarize(samples, Number(nowNs() - begin) / 1e9);
}

// The same for a call that returns a promise: awaited one at a time.
async function timeAsync(call, { calls, warmUp }) {
  for (let i = 0; i < warmUp; i += 1) await call();
  const samples = new Float64Array(calls);
  const begin = nowNs();
  for (let i = 0; i < calls; i += 1) {
    const start = nowNs();
    await call();
    samples[i] = Number(nowNs() - start) / 1000;
  }
  return summarize(samples, Number(nowNs() - begin) / 1e9);
}

module.exports = { nowNs, summarize, timeSync, timeAsync };
