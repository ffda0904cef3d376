'use strict';
// The add-on's side of the suite: the proxy calls, callback latency and resident memory,
// against the reference host.

const { countsFor } = require('./cases');
const { nowNs, timeAsync, timeSync } = require('./measure');

const ASYNC_BURST = 1000;

const CALLBACK_NAME = 'BenchCallback';
// Late enough that the JavaScript thread is idle in its event loop when the host fires.
const FIRE_DELAY_MS = 1;

// The timing of one call case; its first call's result is checked.
function measureCall(bench, testCase, counts) {
  if (!testCase.check(testCase.call(bench))) throw new Error(`${testCase.key}: unexpected result`);
  return timeSync(() => testCase.call(bench), counts);
}

// From the host's fire (its monotonic clock, taken before the message is queued) to the
// first line of the JavaScript function (process.hrtime reads the same clock). calls/s
// is the rate back-to-back callbacks would reach at that latency: 1 / mean latency.
async function measureCallback(addon, bench, { calls, warmUp }) {
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
  return { samples: latencies, seconds: latencies.reduce((sum, value) => sum + value, 0) / 1e6 };
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

// Promise calls through Async(bench): the trivial call, each awaited before the next.
async function measureAwaited(bench$, counts) {
  if ((await bench$.Echo(42)) !== 42) throw new Error('async_trivial: unexpected result');
  return timeAsync(() => bench$.Echo(42), counts);
}

// Bursts of ASYNC_BURST calls made at once and awaited together, each timed from the
// first call to the last settled; a sample is the time per call. A burst's time holds every
// call's, the slow ones too, so it is held against the same calls made synchronously one
// after another and timed the same way (measureSyncBlock), not against one call's median.
async function measureBurst(bench$, counts) {
  return timeBlocks(async () => {
    const calls = new Array(ASYNC_BURST);
    for (let i = 0; i < ASYNC_BURST; i += 1) calls[i] = bench$.Echo(i);
    const results = await Promise.all(calls);
    if (results[ASYNC_BURST - 1] !== ASYNC_BURST - 1) throw new Error('async_burst: unexpected result');
  }, counts);
}

// ASYNC_BURST synchronous trivial calls one after another, timed as one block per sample.
async function measureSyncBlock(bench, counts) {
  return timeBlocks(() => {
    for (let i = 0; i < ASYNC_BURST; i += 1) {
      if (bench.Echo(i) !== i) throw new Error('sync_block: unexpected result');
    }
  }, counts);
}

async function timeBlocks(block, { calls: blocks, warmUp }) {
  for (let i = 0; i < warmUp; i += 1) await block();
  const samples = new Float64Array(blocks);
  const begin = nowNs();
  for (let i = 0; i < blocks; i += 1) {
    const start = nowNs();
    await block();
    samples[i] = Number(nowNs() - start) / 1000 / ASYNC_BURST;
  }
  return { samples, seconds: Number(nowNs() - begin) / 1e9, calls: blocks * ASYNC_BURST };
}

module.exports = { CALLBACK_NAME, FIRE_DELAY_MS, measureCall, measureCallback, measureMemory, measureAwaited, measureBurst, measureSyncBlock };
