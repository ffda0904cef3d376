'use strict';
// One placement of the suite, in a process that bench/run.js has put on its CPU: records
// the texts of each call, then measures the wire floors, the seed design's polling, the
// add-on's calls and callbacks against the reference host, and the peers. Prints one
// JSON object of figures on stdout; progress goes to stderr.
//
//   node bench/measure-placement.js '{"placement":{...},"quick":false,"memory":true,"buildDir":"..."}'

const fs = require('node:fs');
const path = require('node:path');
const { measureCalls, measureCallback, measureMemory, measureAsyncCalls } = require('./lib/addon-cases');
const { CALL_CASES, countsFor } = require('./lib/cases');
const { measureFloor } = require('./lib/floor');
const { timeAsync } = require('./lib/measure');
const { pinProcess } = require('./lib/placement');
const { captureTexts, temporaryDirectory } = require('./lib/texts');
const peers = require('./peers');

const repoRoot = path.resolve(__dirname, '..');

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

    progress(`${placement.name}: wire floors`);
    const floorBinary = path.join(benchDir, 'hostlink_wire_floor');
    for (const testCase of CALL_CASES) {
      figures.floor[testCase.key] = measureFloor(floorBinary, texts[testCase.key], countsFor(testCase.key, quick), placement);
    }
    figures.polling_reference.trivial = measureFloor(floorBinary, texts.trivial, countsFor('polling', quick), placement, {
      sleepPollMs: 5,
    });

    progress(`${placement.name}: add-on calls`);
    addon.Initialize(host.pluginId);
    try {
      const bench = addon.GetKestrel().GetBench();
      Object.assign(figures.cases, measureCalls(bench, quick));
      progress(`${placement.name}: Promise calls`);
      Object.assign(figures.cases, await measureAsyncCalls(addon, bench, quick));
      progress(`${placement.name}: callback latency`);
      figures.cases.callback = await measureCallback(addon, bench, quick);
      if (options.memory) {
        progress(`${placement.name}: resident memory over ${countsFor('memory', quick).calls} calls`);
        figures.memory = measureMemory(bench, quick);
      }
    } finally {
      addon.CleanUp();
    }
  } finally {
    host.stop();
    fs.rmSync(directory, { recursive: true, force: true });
  }

  for (const [key, peer] of Object.entries(peers)) {
    progress(`${placement.name}: ${key}`);
    const connection = await peer.start(placement.server);
    try {
      if ((await connection.call()) !== 42) throw new Error(`${key}: unexpected answer`);
      figures.peers[key] = await timeAsync(connection.call, countsFor('peer', quick));
    } finally {
      await connection.close();
    }
  }
  process.stdout.write(`${JSON.stringify(figures)}\n`);
}

main().catch((error) => {
  process.stderr.write(`bench: ${error.stack || error}\n`);
  process.exit(1);
});
