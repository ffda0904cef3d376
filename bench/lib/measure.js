'use strict';
// Timing loops for the suite: each call is timed on its own with the monotonic clock,
// after a warm-up. A loop gives a timing, {samples, seconds, calls}: the per-call times
// in microseconds, the wall time of the loop and the calls made in it. Timings of the same
// case taken in several rounds are pooled into one figure: median, 99th percentile and
// calls per second.

function nowNs() {
  return process.hrtime.bigint();
}

// {median_us, p99_us, calls_per_s} from per-call times in microseconds, the wall time in
// seconds, and the calls made in it (one a sample unless said).
function summarize(samples, seconds, calls = samples.length) {
  const sorted = Float64Array.from(samples).sort();
  const at = (fraction) => sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * fraction))];
  return {
    median_us: round(at(0.5)),
    p99_us: round(at(0.99)),
    calls_per_s: Math.round(calls / seconds),
  };
}

// One figure from the timings of one case, whatever rounds they were taken in.
function pooled(timings) {
  const count = timings.reduce((sum, timing) => sum + timing.samples.length, 0);
  const samples = new Float64Array(count);
  let at = 0;
  let seconds = 0;
  let calls = 0;
  for (const timing of timings) {
    samples.set(timing.samples, at);
    at += timing.samples.length;
    seconds += timing.seconds;
    calls += timing.calls ?? timing.samples.length;
  }
  return summarize(samples, seconds, calls);
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
  return { samples, seconds: Number(nowNs() - begin) / 1e9 };
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
  return { samples, seconds: Number(nowNs() - begin) / 1e9 };
}

module.exports = { nowNs, summarize, pooled, timeSync, timeAsync };
