'use strict';
// Stress: the add-on against the reference host with everything at once, for a bounded time.
// Worker threads make synchronous and Promise calls (some aborted) whose answers must be
// their own, and short-lived ones register callbacks and end; the host fires callbacks
// with data into the main thread; the main thread cleans up and initializes again, and
// kills the host and starts it again. Every few
// seconds, and at the end, it prints the calls made, crossed answers (an answer that is not
// the call's own), Promises not settled, callbacks with wrong data, the process's thread
// count and resident memory. Exits 1 if any answer crossed, any Promise stayed unsettled,
// any callback brought wrong data, or threads were left behind.
//   npm run stress                           (after npm run setup; 60 seconds)
//   npm run stress -- --seconds 20 [--workers 3] [--json]
// HOSTLINK_ADDON and HOSTLINK_BUILD_DIR select other builds, as for the tests.

const fs = require('node:fs');
const path = require('node:path');
const { Worker, isMainThread, parentPort, workerData } = require('node:worker_threads');

const repoRoot = path.resolve(__dirname, '..');
const hostlink = require(repoRoot);

const API_TIMEOUT_SECONDS = 5;
const sleeper = new Int32Array(new SharedArrayBuffer(4));
const sleepSync = (ms) => Atomics.wait(sleeper, 0, 0, ms);
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// An error's message without what varies from call to call, so that like errors count
// together.
function errorKind(error) {
  if (error && error.name === 'AbortError') return 'AbortError';
  const message = String(error && error.message);
  return message.replace(/\d+/g, 'N').slice(0, 120);
}

function count(map, key) {
  map[key] = (map[key] || 0) + 1;
}

// ---- A worker thread: calls until told to stop, then waits for its Promises to settle.
async function workerMain() {
  const { index, stopAt, shortLived } = workerData;
  const stats = { sync: 0, async: 0, aborted: 0, crossed: 0, unsettled: 0, shapes: 0, errors: {} };
  // A short-lived worker holds a callback of its own, which its end deregisters.
  if (shortLived) {
    try {
      hostlink.RegisterCallback(`Worker${index}`, () => {});
    } catch (error) {
      count(stats.errors, errorKind(error));
    }
  }
  const pending = new Set();
  let app = null;
  let bench = null;
  let serial = 0;
  const token = () => `w${index}-${(serial += 1)}-${Math.random().toString(36).slice(2, 8)}`;

  // The root and the bench again after a failure: a restarted host knows no old object.
  const refresh = () => {
    app = hostlink.GetKestrel();
    bench = app.GetBench();
  };
  const failed = (error) => {
    count(stats.errors, errorKind(error));
    app = null;
    sleepSync(5);
  };

  while (Date.now() < stopAt) {
    try {
      if (app === null) refresh();
      // Synchronous calls: a string and a table, each must come back as sent.
      for (let i = 0; i < 20; i += 1) {
        const sent = token();
        const back = bench.Echo(sent);
        stats.sync += 1;
        if (back !== sent) stats.crossed += 1;
        const table = bench.Echo({ id: sent, n: i });
        stats.sync += 1;
        if (!table || table.id !== sent || table.n !== i) stats.crossed += 1;
      }
      // A document with a shape: the host fires "DocumentChanged" with data at the main thread.
      const doc = app.GetDocuments().Create(`stress-${index}-${serial}`);
      doc.AddShape('rectangle', 1, 2, 3, 4);
      stats.shapes += 1;
      doc.Close();
      // Promise calls, half of the bursts aborted at once.
      const controller = new AbortController();
      const async$ = hostlink.Async(bench, { signal: controller.signal });
      for (let i = 0; i < 10; i += 1) {
        const sent = token();
        const promise = async$.Echo(sent).then((back) => {
          stats.async += 1;
          if (back !== sent) stats.crossed += 1;
        }, (error) => {
          if (error && error.name === 'AbortError') stats.aborted += 1;
          else count(stats.errors, errorKind(error));
        });
        pending.add(promise);
        promise.finally(() => pending.delete(promise));
      }
      if (serial % 2 === 0) controller.abort();
      // The thread lets its Promises settle now and then.
      if (pending.size > 200) await Promise.race([Promise.all(pending), pause(1000)]);
      else await pause(0);
    } catch (error) {
      failed(error);
      await pause(0);
    }
  }
  // Every Promise must settle: a lost host fails them within the API time-out.
  await Promise.race([Promise.all(pending), pause((API_TIMEOUT_SECONDS + 5) * 1000)]);
  stats.unsettled = pending.size;
  parentPort.postMessage(stats);
}

// ---- The main thread.
function option(name, fallback) {
  const at = process.argv.indexOf(name);
  if (at < 0) return fallback;
  const value = Number(process.argv[at + 1]);
  if (!Number.isInteger(value) || value <= 0) throw new Error(`${name} needs a positive whole number`);
  return value;
}

function processFigures() {
  try {
    const status = fs.readFileSync('/proc/self/status', 'utf8');
    const field = (name) => Number((new RegExp(`^${name}:\\s+(\\d+)`, 'm').exec(status) || [])[1]);
    return { threads: field('Threads'), rssMB: Math.round(field('VmRSS') / 1024), peakRssMB: Math.round(field('VmHWM') / 1024) };
  } catch {
    return { threads: null, rssMB: Math.round(process.memoryUsage().rss / 1048576), peakRssMB: null };
  }
}

async function main() {
  const { startHost, uniquePluginId } = require('../test/js/helpers/host');
  const seconds = option('--seconds', 60);
  const workerCount = option('--workers', 3);
  const asJson = process.argv.includes('--json');
  const log = (line) => { if (!asJson) console.log(line); };

  const pluginId = uniquePluginId('stress');
  const newHost = () => startHost({ pluginId, control: false, keepRunning: true });
  let host = newHost();
  const totals = { cleanUps: 0, hostRestarts: 0, callbacks: 0, badCallbacks: 0, mainAsync: 0, mainAborted: 0, mainCrossed: 0, mainErrors: {} };

  const onChanged = (document, change) => {
    totals.callbacks += 1;
    if (!document || document.constructor.name !== 'Document' || typeof change !== 'string') totals.badCallbacks += 1;
  };
  const connect = () => {
    hostlink.Initialize(pluginId);
    hostlink.SetAPITimeout(API_TIMEOUT_SECONDS);
    hostlink.RegisterCallback('DocumentChanged', onChanged);
  };
  const cleanUp = () => {
    try {
      hostlink.CleanUp();
    } catch (error) {
      count(totals.mainErrors, errorKind(error));
    }
  };
  connect();
  // The add-on's one thread for Promise calls lives as long as the process: started first,
  // it is counted at the start as at the end.
  await hostlink.Async(hostlink.GetKestrel()).GetName();
  const start = processFigures();

  const stopAt = Date.now() + seconds * 1000;
  const workers = [];
  const results = [];
  const startWorker = (index, until, shortLived) => {
    const worker = new Worker(__filename, { workerData: { index, stopAt: until, shortLived } });
    workers.push(new Promise((resolve, reject) => {
      worker.once('message', (stats) => { results.push(stats); resolve(); });
      worker.once('error', reject);
    }).then(() => worker.terminate()));
  };
  for (let index = 0; index < workerCount; index += 1) startWorker(index, stopAt, false);
  // Besides them, a worker of two seconds is started every three.
  let nextShortLived = Date.now();
  let shortLivedCount = 0;

  // The main thread's own Promise calls, with aborts; its CleanUps and host restarts.
  const mainPending = new Set();
  let nextCleanUp = Date.now() + 1500;
  let nextRestart = Date.now() + 5000;
  let nextReport = Date.now() + 5000;
  let serial = 0;
  let bench = null;
  while (Date.now() < stopAt) {
    try {
      if (bench === null) bench = hostlink.GetKestrel().GetBench();
      const controller = new AbortController();
      const async$ = hostlink.Async(bench, { signal: controller.signal });
      for (let i = 0; i < 5; i += 1) {
        const sent = `main-${(serial += 1)}`;
        const promise = async$.Echo(sent).then((back) => {
          totals.mainAsync += 1;
          if (back !== sent) totals.mainCrossed += 1;
        }, (error) => {
          if (error && error.name === 'AbortError') totals.mainAborted += 1;
          else count(totals.mainErrors, errorKind(error));
        });
        mainPending.add(promise);
        promise.finally(() => mainPending.delete(promise));
      }
      if (serial % 3 === 0) controller.abort();
    } catch (error) {
      count(totals.mainErrors, errorKind(error));
      bench = null;
    }
    if (Date.now() >= nextRestart) {
      host.kill();
      await pause(300);
      host = newHost();
      // The new host knows none of the old registrations: a new session registers again.
      cleanUp();
      connect();
      bench = null;
      totals.hostRestarts += 1;
      nextRestart = Date.now() + 5000;
    } else if (Date.now() >= nextCleanUp) {
      cleanUp();
      connect();
      totals.cleanUps += 1;
      nextCleanUp = Date.now() + 1500;
    }
    if (Date.now() >= nextShortLived && Date.now() + 2000 < stopAt) {
      startWorker(workerCount + shortLivedCount, Date.now() + 2000, true);
      shortLivedCount += 1;
      nextShortLived = Date.now() + 3000;
    }
    if (Date.now() >= nextReport) {
      const now = processFigures();
      log(`${Math.round((Date.now() - stopAt) / 1000 + seconds)} s: callbacks ${totals.callbacks}, ` +
        `CleanUps ${totals.cleanUps}, host restarts ${totals.hostRestarts}, threads ${now.threads}, RSS ${now.rssMB} MB`);
      nextReport = Date.now() + 5000;
    }
    await pause(10);
  }

  await Promise.all(workers);
  await Promise.race([Promise.all(mainPending), pause((API_TIMEOUT_SECONDS + 5) * 1000)]);
  const unsettledMain = mainPending.size;
  hostlink.DeregisterCallback('DocumentChanged');
  cleanUp();
  host.stop();
  // Threads the add-on started for the session end with it.
  await pause(500);
  const end = processFigures();

  const sum = (key) => results.reduce((n, stats) => n + stats[key], 0);
  const errors = { ...totals.mainErrors };
  for (const stats of results) for (const [kind, n] of Object.entries(stats.errors)) errors[kind] = (errors[kind] || 0) + n;
  const report = {
    seconds,
    workers: workerCount,
    shortLivedWorkers: shortLivedCount,
    syncCalls: sum('sync'),
    promiseCalls: sum('async') + totals.mainAsync,
    aborted: sum('aborted') + totals.mainAborted,
    crossed: sum('crossed') + totals.mainCrossed,
    unsettled: sum('unsettled') + unsettledMain,
    shapesAdded: sum('shapes'),
    callbacks: totals.callbacks,
    badCallbacks: totals.badCallbacks,
    cleanUps: totals.cleanUps,
    hostRestarts: totals.hostRestarts,
    threads: { start: start.threads, end: end.threads },
    rssMB: { start: start.rssMB, end: end.rssMB, peak: end.peakRssMB },
    errors,
  };
  if (asJson) {
    console.log(JSON.stringify(report));
  } else {
    log(`calls: ${report.syncCalls} synchronous, ${report.promiseCalls} Promise, ${report.aborted} aborted`);
    log(`crossed answers: ${report.crossed}, unsettled Promises: ${report.unsettled}`);
    log(`callbacks: ${report.callbacks} for ${report.shapesAdded} shapes added, ${report.badCallbacks} with wrong data`);
    log(`CleanUp and Initialize: ${report.cleanUps}, host killed and restarted: ${report.hostRestarts}, ` +
      `short-lived workers: ${report.shortLivedWorkers}`);
    log(`threads: ${report.threads.start} at start, ${report.threads.end} at end`);
    log(`RSS: ${report.rssMB.start} MB at start, ${report.rssMB.end} MB at end, ${report.rssMB.peak} MB peak`);
    log('errors (expected around CleanUp and restarts):');
    for (const [kind, n] of Object.entries(errors).sort((a, b) => b[1] - a[1])) log(`  ${String(n).padStart(7)}  ${kind}`);
  }
  const threadsLeft = start.threads !== null && end.threads > start.threads;
  if (report.crossed || report.unsettled || report.badCallbacks || threadsLeft) process.exitCode = 1;
}

if (isMainThread) {
  main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
  });
} else {
  workerMain().catch((error) => {
    parentPort.postMessage({ sync: 0, async: 0, aborted: 0, crossed: 0, unsettled: 0, shapes: 0, errors: { [`worker failed: ${error.message}`]: 1 } });
  });
}
