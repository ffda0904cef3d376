'use strict';
// Records the exact texts each measured call exchanges: the add-on talks to the reference
// host through hostlink_text_recorder, which writes every request and answer down.

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { CALL_CASES } = require('./cases');

// The records file: per text, its decimal length, a line feed, the bytes, a line feed.
function parseRecords(buffer) {
  const records = [];
  let position = 0;
  while (position < buffer.length) {
    const lineEnd = buffer.indexOf(0x0a, position);
    if (lineEnd < 0) break;
    const length = Number(buffer.toString('latin1', position, lineEnd));
    records.push(buffer.subarray(lineEnd + 1, lineEnd + 1 + length));
    position = lineEnd + 1 + length + 1;
  }
  return records;
}

function waitForLine(child, line, what) {
  return new Promise((resolve, reject) => {
    let output = '';
    const early = (code) => reject(new Error(`${what} exited (${code}) before it was ready`));
    child.once('exit', early);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      if (output.includes(line)) {
        child.off('exit', early);
        resolve();
      }
    });
  });
}

// Returns {caseKey: {request: file, answer: file, requestBytes, answerBytes}} in directory.
async function captureTexts({ addon, host, recorderBinary, directory }) {
  const recordFile = path.join(directory, 'exchanges');
  const relayId = `${host.pluginId}-recorded`;
  const recorder = childProcess.spawn(recorderBinary, [relayId, host.pluginId, recordFile], {
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  const ended = new Promise((resolve) => recorder.once('exit', resolve));
  await waitForLine(recorder, 'ready', 'hostlink_text_recorder');

  addon.Initialize(relayId);
  let bench;
  try {
    bench = addon.GetKestrel().GetBench();
    for (const testCase of CALL_CASES) testCase.call(bench);
  } finally {
    addon.CleanUp();
  }
  await ended;

  // GetKestrel and GetBench come first, then one exchange per case.
  const records = parseRecords(fs.readFileSync(recordFile));
  const texts = {};
  CALL_CASES.forEach((testCase, index) => {
    const request = records[2 * (2 + index)];
    const answer = records[2 * (2 + index) + 1];
    if (!request || !answer) throw new Error(`no recorded exchange for ${testCase.key}`);
    const files = { request: path.join(directory, `${testCase.key}.request`), answer: path.join(directory, `${testCase.key}.answer`) };
    fs.writeFileSync(files.request, request);
    fs.writeFileSync(files.answer, answer);
    texts[testCase.key] = { ...files, requestBytes: request.length, answerBytes: answer.length };
  });
  return texts;
}

// The message the host writes on the callback pipe to fire a callback without arguments
// (docs/protocol.md, section 6), for the callback's one-way floor.
function writeCallbackText(directory, name) {
  const text = JSON.stringify({ response: { status: true, result: name } });
  const answer = path.join(directory, 'callback.answer');
  fs.writeFileSync(answer, text);
  return { answer, answerBytes: Buffer.byteLength(text) };
}

function temporaryDirectory() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-bench-'));
}

module.exports = { captureTexts, writeCallbackText, temporaryDirectory };
