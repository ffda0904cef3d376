'use strict';
// The add-on's side of the suite: the proxy calls, callback latency and resident memory,
// against the reference host.

const { CALL_CASES, countsFor } = require('./cases');
const { nowNs, summarize, timeSync } = require('./measure');

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

module.exports = { measureCalls, measureCallback, measureMemory };
