'use strict';
// Soak: a million proxy calls with table and proxy results through the real add-on and
// the reference host, printing the plug-in's resident memory at the start and every
// 100000 calls. Memory must level off: it may grow by less than 5 MB from the sample at
// 100000 calls to the end, or the command exits with status 1.
// With --objects it calls Bench.NewObject() instead, which makes a new host object per call,
// keeps none, and checks the host's side: its registry size (objects it holds for the
// plug-in, which the add-on's releases keep small) and its resident memory must level off.
//   npm run soak                      (after npm run setup)
//   npm run soak -- --objects
//   node --expose-gc bench/soak.js [--objects] [--calls N] [--every N] [--json]
// HOSTLINK_ADDON and HOSTLINK_BUILD_DIR select other builds, as for the tests.

const fs = require('node:fs');
const { startHost } = require('../test/js/helpers/host');
const hostlink = require('..');

const MB = 1024 * 1024;
const ALLOWED_GROWTH_MB = 5;

function option(name, fallback) {
  const at = process.argv.indexOf(name);
  if (at < 0) return fallback;
  const value = Number(process.argv[at + 1]);
  if (!Number.isInteger(value) || value <= 0) throw new Error(`${name} needs a positive whole number`);
  return value;
}

// Resident memory of another process, where the system shows it (Linux); else null.
function residentOf(pid) {
  try {
    const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
    const match = /^VmRSS:\s+(\d+) kB$/m.exec(status);
    return match ? Number(match[1]) * 1024 : null;
  } catch {
    return null;
  }
}

const totalCalls = option('--calls', 1000000);
const every = option('--every', 100000);
const asJson = process.argv.includes('--json');
const objects = process.argv.includes('--objects');
// --objects: the registry may hold at most this many objects at the end (those whose
// proxies await collection or whose release is on its way).
const ALLOWED_REGISTRY = 20000;
// Collecting first makes the samples compare what is held, not what awaits collection.
const collect = typeof global.gc === 'function' ? global.gc : () => {};

// Node-API runs the finalizers of collected objects (the native half of each proxy) from
// the event loop, not during collection, so a loop that never yields keeps them all until
// it ends. A plug-in's calls run in event handlers; so do these, a thousand at a time.
const CALLS_PER_TURN = 1000;
const turn = () => new Promise((resolve) => setImmediate(resolve));

async function soak(host, samples) {
  hostlink.Initialize(host.pluginId);
  hostlink.SetAPITimeout(60);
  const app = hostlink.GetKestrel();
  const bench = app.GetBench();

  // One round of four calls: a proxy, a table (an object), a list of tables (an array
  // of objects), and a proxy passed to the host and back.
  const round = objects ? () => (bench.NewObject().constructor.name === 'Temp' ? 1 : 0) : () => {
    const documents = app.GetDocuments();
    const table = bench.MakeTable(16);
    const list = bench.MakeList(4);
    const echoed = bench.Echo(documents);
    return table.k15 + list[3].index + (echoed.constructor.name === 'Documents' ? 1 : 0);
  };
  const started = process.hrtime.bigint();
  const sample = async (calls) => {
    collect();
    await turn();
    const usage = process.memoryUsage();
    const entry = {
      calls,
      seconds: Number(process.hrtime.bigint() - started) / 1e9,
      rssMB: usage.rss / MB,
      heapUsedMB: usage.heapUsed / MB,
      hostRssMB: residentOf(host.pid) === null ? null : residentOf(host.pid) / MB,
      hostRegistry: objects ? bench.RegistrySize() : undefined,
    };
    samples.push(entry);
    if (!asJson) {
      const hostRss = (entry.hostRssMB === null ? '' : `  host rss ${entry.hostRssMB.toFixed(1).padStart(7)} MB`) +
        (objects ? `  host registry ${String(entry.hostRegistry).padStart(7)}` : '');
      console.log(`${String(calls).padStart(9)} calls  ${entry.seconds.toFixed(1).padStart(7)} s  ` +
        `rss ${entry.rssMB.toFixed(1).padStart(7)} MB  heap ${entry.heapUsedMB.toFixed(1).padStart(6)} MB${hostRss}`);
    }
  };

  await sample(0);
  let calls = 0;
  let check = 0;
  while (calls < totalCalls) {
    check += round();
    calls += objects ? 1 : 4;
    if (calls % every === 0) await sample(calls);
    else if (calls % CALLS_PER_TURN === 0) await turn();
  }
  if (calls % every !== 0) await sample(calls);
  if (check <= 0) throw new Error('the host answered with unexpected values');
}

function report(samples) {
  const base = samples.find((entry) => entry.calls >= every) || samples[0];
  const last = samples[samples.length - 1];
  // --objects watches the host, the plain soak the plug-in.
  const growthMB = objects ? last.hostRssMB - base.hostRssMB : last.rssMB - base.rssMB;
  const failed = growthMB >= ALLOWED_GROWTH_MB || (objects && last.hostRegistry > ALLOWED_REGISTRY);
  const verdict = {
    callsPerSecond: last.calls / last.seconds,
    growthAfterFirstSampleMB: growthMB,
    allowedGrowthMB: ALLOWED_GROWTH_MB,
    levelsOff: !failed,
  };
  if (asJson) {
    console.log(JSON.stringify({ samples, ...verdict }, null, 2));
  } else {
    const registry = objects ? `; host registry ${last.hostRegistry} at the end (allowed: ${ALLOWED_REGISTRY})` : '';
    console.log(`${Math.round(verdict.callsPerSecond)} calls/s; ${objects ? 'host ' : ''}rss grew ${growthMB.toFixed(2)} MB after ` +
      `${base.calls} calls (allowed: under ${ALLOWED_GROWTH_MB} MB)${registry}: ${failed ? 'LEAK' : 'levels off'}`);
  }
  process.exitCode = failed ? 1 : 0;
}

async function main() {
  const host = startHost({ control: false, keepRunning: true });
  const samples = [];
  try {
    await soak(host, samples);
  } finally {
    try {
      hostlink.CleanUp();
    } finally {
      host.stop();
    }
  }
  report(samples);
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 2;
});
