'use strict';
// The add-on's side of the suite: the proxy calls, callback latency and resident memory,
// against the reference host.

const { CALL_CASES, countsFor } = require('./cases');
const { nowNs, summarize, timeAsync, timeSync } = require('./measure');

const CALLBACK_NAME = 'BenchCallback';
// Late enough that the JavaScript thread is idle in its event loop when the host fires.
const FIRE_DELAY_MS = 1;

function measureCalls(bench, quick) {
  const figures = {};
  for (const testCase of CALL_CASES) {
    const result = testCase.call(bench);
    if (!testCase.check(result)) throw new Error(`${testCase.key}: unexpected result`);
    figures[testCase.key] = timeSync(() => testCase.call(bench), countsFor(testCase.key, quick));
  }
  return figures;
}

// From the host's fire (its monotonic clock, taken before the message is queued) to the
// first line of the JavaScript function (process.hrtime reads the same clock). calls/s
// is the rate back-to-back callbacks would reach at that latency: 1 / mean latency.
async function measureCallback(addon, bench, quick) {
  const { calls, warmUp } = countsFor('callback', quick);
  const ranAt = [];
  let arrived = null;
  addon.RegisterCallback(CALLBACK_NAME, () => {
    ranAt.push(nowNs());
    arrived();
  });
  try {
    for (let i = 0; i < warmUp + calls; i += 1) {
      const ran = new Promise((resolve) => {
        arrived = resolve;
      });
      bench.FireAfter(CALLBACK_NAME, FIRE_DELAY_MS);
      await ran;
    }
  } finally {
    addon.DeregisterCallback(CALLBACK_NAME);
  }
  const firedAt = bench.TakeFireTimes();
  if (firedAt.length !== ranAt.length) throw new Error('callback: fires and runs do not pair up');
  const latencies = [];
  for (let i = warmUp; i < ranAt.length; i += 1) {
    latencies.push(Number(ranAt[i] / 1000n) - firedAt[i]);
  }
  const meanSeconds = latencies.reduce((sum, value) => sum + value, 0) / 1e6;
  return summarize(latencies, meanSeconds);
}

function residentMb() {
  return Math.round((process.memoryUsage.rss() / (1024 * 1024)) * 10) / 10;
}

// Resident memory of this process around many trivial calls, after a warm-up.
function measureMemory(bench, quick) {
  const { calls, warmUp } = countsFor('memory', quick);
  for (let i = 0; i < warmUp; i += 1) bench.Echo(42);
  const rssStart = residentMb();
  for (let i = 0; i < calls; i += 1) bench.Echo(42);
  return { calls, rss_start_mb: rssStart, rss_end_mb: residentMb() };
}

// Promise calls: [full run, --quick run] of trivial calls awaited one by one, and of
// bursts of ASYNC_BURST calls made at once and awaited together.
const ASYNC_COUNTS = { async_trivial: [20000, 2000], async_burst: [100, 10] };
const ASYNC_BURST = 1000;

// The trivial call through Async(bench), each awaited before the next; and bursts of
// 1000 calls made at once, timed from the first call to the last settled, per call.
async function measureAsyncCalls(addon, bench, quick) {
  const bench$ = addon.Async(bench);
  if ((await bench$.Echo(42)) !== 42) throw new Error('async_trivial: unexpected result');
  const trivialCalls = ASYNC_COUNTS.async_trivial[quick ? 1 : 0];
  const trivial = await timeAsync(() => bench$.Echo(42), { calls: trivialCalls, warmUp: trivialCalls / 10 });
  const bursts = ASYNC_COUNTS.async_burst[quick ? 1 : 0];
  const burst = async () => {
    const calls = new Array(ASYNC_BURST);
    for (let i = 0; i < ASYNC_BURST; i += 1) calls[i] = bench$.Echo(i);
    const results = await Promise.all(calls);
    if (results[ASYNC_BURST - 1] !== ASYNC_BURST - 1) throw new Error('async_burst: unexpected result');
  };
  for (let i = 0; i < Math.max(2, bursts / 10); i += 1) await burst();
  const samples = new Float64Array(bursts);
  const begin = nowNs();
  for (let i = 0; i < bursts; i += 1) {
    const start = nowNs();
    await burst();
    samples[i] = Number(nowNs() - start) / 1000 / ASYNC_BURST;
  }
  const perCall = summarize(samples, Number(nowNs() - begin) / 1e9);
  perCall.calls_per_s *= ASYNC_BURST;
  return { async_trivial: trivial, async_burst: perCall };
}

module.exports = { measureCalls, measureCallback, measureMemory, measureAsyncCalls, ASYNC_BURST };
