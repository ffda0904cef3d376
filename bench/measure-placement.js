'use strict';
// One placement of the suite, in a process that bench/run.js has put on its CPU: records
// the texts of each call, measures the seed design's polling, then the wire floors, the
// add-on's calls and callbacks against the reference host, and the peers, in rounds. Each
// round measures a share of every case, each call case right after its floor: a machine
// whose speed drifts (a busy one moves by half within seconds) then weighs on a case and
// on what it is compared with alike. Prints one JSON object of figures on stdout; progress
// goes to stderr.
//
//   node bench/measure-placement.js '{"placement":{...},"quick":false,"memory":true,"buildDir":"..."}'

const fs = require('node:fs');
const path = require('node:path');
const {
  CALLBACK_NAME, FIRE_DELAY_MS, measureCall, measureCallback, measureMemory, measureAwaited, measureBurst, measureSyncBlock,
} = require('./lib/addon-cases');
const { CALL_CASES, countsFor } = require('./lib/cases');
const { measureFloor } = require('./lib/floor');
const { pooled, timeAsync } = require('./lib/measure');
const { pinProcess } = require('./lib/placement');
const { captureTexts, writeCallbackText, temporaryDirectory } = require('./lib/texts');
const peers = require('./peers');

const repoRoot = path.resolve(__dirname, '..');

// Every case is measured in this many rounds, a share of its calls in each.
const ROUNDS = 5;

// One round's share of a case's calls and warm-up.
function roundCounts(key, quick) {
  const { calls, warmUp } = countsFor(key, quick);
  return { calls: Math.ceil(calls / ROUNDS), warmUp: Math.max(2, Math.ceil(warmUp / ROUNDS)) };
}

// The timings of each case, by group and key, pooled into figures at the end.
class Timings {
  constructor() {
    this.groups = { cases: {}, floor: {}, peers: {} };
  }

  add(group, key, timing) {
    (this.groups[group][key] ??= []).push(timing);
  }

  figures(into) {
    for (const [group, byKey] of Object.entries(this.groups)) {
      for (const [key, timings] of Object.entries(byKey)) into[group][key] = pooled(timings);
    }
  }
}

function progress(text) {
  process.stderr.write(`bench: ${text}\n`);
}

async function main() {
  const options = JSON.parse(process.argv[2]);
  const { placement, quick } = options;
  // The add-on and the host of the build being measured.
  process.env.HOSTLINK_BUILD_DIR = options.buildDir;
  process.env.HOSTLINK_ADDON = path.resolve(repoRoot, options.buildDir, 'Hostlink.node');
  const addon = require(repoRoot);
  const { startHost } = require('../test/js/helpers/host');
  const benchDir = path.resolve(repoRoot, options.buildDir, 'bench');
  const directory = temporaryDirectory();
  const figures = { texts: {}, cases: {}, floor: {}, polling_reference: {}, peers: {} };

  const host = startHost({ control: false, keepRunning: true });
  try {
    pinProcess(host.pid, placement.server);
    progress(`${placement.name}: recording the texts of each call`);
    const texts = await captureTexts({
      addon, host, recorderBinary: path.join(benchDir, 'hostlink_text_recorder'), directory,
    });
    for (const [key, text] of Object.entries(texts)) {
      figures.texts[key] = { request_bytes: text.requestBytes, answer_bytes: text.answerBytes };
    }
    const callbackText = writeCallbackText(directory, CALLBACK_NAME);
    figures.texts.callback = { answer_bytes: callbackText.answerBytes };

    const floorBinary = path.join(benchDir, 'hostlink_wire_floor');
    progress(`${placement.name}: the seed design's polling`);
    figures.polling_reference.trivial = pooled([
      measureFloor(floorBinary, texts.trivial, countsFor('polling', quick), placement, { sleepPollMs: 5 }),
    ]);

    addon.Initialize(host.pluginId);
    const connections = {};
    try {
      const bench = addon.GetKestrel().GetBench();
      const bench$ = addon.Async(bench);
      for (const [key, peer] of Object.entries(peers)) {
        connections[key] = await peer.start(placement.server);
        if ((await connections[key].call()) !== 42) throw new Error(`${key}: unexpected answer`);
      }
      const timings = new Timings();
      for (let round = 1; round <= ROUNDS; round += 1) {
        progress(`${placement.name}: round ${round} of ${ROUNDS}`);
        for (const testCase of CALL_CASES) {
          const counts = roundCounts(testCase.key, quick);
          timings.add('floor', testCase.key, measureFloor(floorBinary, texts[testCase.key], counts, placement));
          timings.add('cases', testCase.key, measureCall(bench, testCase, counts));
          if (testCase.key !== 'trivial') continue;
          // What is compared with the trivial call follows it.
          timings.add('cases', 'async_trivial', await measureAwaited(bench$, roundCounts('async_trivial', quick)));
          timings.add('cases', 'sync_block', await measureSyncBlock(bench, roundCounts('sync_block', quick)));
          timings.add('cases', 'async_burst', await measureBurst(bench$, roundCounts('async_burst', quick)));
          for (const [key, connection] of Object.entries(connections)) {
            timings.add('peers', key, await timeAsync(connection.call, roundCounts('peer', quick)));
          }
        }
        const callbackCounts = roundCounts('callback', quick);
        timings.add('floor', 'callback', measureFloor(floorBinary, callbackText, callbackCounts, placement, { fireAfterMs: FIRE_DELAY_MS }));
        timings.add('cases', 'callback', await measureCallback(addon, bench, callbackCounts));
      }
      timings.figures(figures);
      if (options.memory) {
        progress(`${placement.name}: resident memory over ${countsFor('memory', quick).calls} calls`);
        figures.memory = measureMemory(bench, quick);
      }
    } finally {
      for (const connection of Object.values(connections)) await connection.close();
      addon.CleanUp();
    }
  } finally {
    host.stop();
    fs.rmSync(directory, { recursive: true, force: true });
  }
  process.stdout.write(`${JSON.stringify(figures)}\n`);
}

main().catch((error) => {
  process.stderr.write(`bench: ${error.stack || error}\n`);
  process.exit(1);
});
