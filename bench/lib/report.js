'use strict';
// The suite's printed table, one block per placement, and its JSON object.

const { CALL_CASES } = require('./cases');

const PEER_TITLES = {
  vscode_jsonrpc: 'vscode-jsonrpc, Unix socket',
  grpc: '@grpc/grpc-js, unix://',
  fork_ipc: 'child_process fork IPC',
  ndjson_socket: 'newline JSON, net Unix socket',
};

function number(value, digits) {
  return value === undefined ? '' : value.toFixed(digits);
}

function row(title, figures, floor) {
  const ratio = floor ? number(figures.median_us / floor.median_us, 2) : '';
  return [title, number(figures.median_us, 1), number(figures.p99_us, 1), String(figures.calls_per_s), ratio];
}

function formatTable(rows) {
  const header = ['case', 'median µs', 'p99 µs', 'calls/s', '× floor'];
  const all = [header, ...rows];
  const widths = header.map((_, column) => Math.max(...all.map((cells) => cells[column].length)));
  const line = (cells) => cells.map((cell, column) => (column === 0 ? cell.padEnd(widths[column]) : cell.padStart(widths[column]))).join('  ');
  return [line(header), widths.map((width) => '-'.repeat(width)).join('  '), ...rows.map(line)].join('\n');
}

function placementBlock(placement, figures) {
  const rows = [];
  for (const testCase of CALL_CASES) {
    const texts = figures.texts[testCase.key];
    const sizes = `${texts.request_bytes} B out, ${texts.answer_bytes} B back`;
    rows.push(row(`${testCase.title} (${sizes})`, figures.cases[testCase.key], figures.floor[testCase.key]));
    rows.push(row('  wire floor, same texts', figures.floor[testCase.key], figures.floor[testCase.key]));
  }
  if (figures.cases.async_trivial) {
    rows.push(row('async trivial call: Async(bench).Echo(42), awaited', figures.cases.async_trivial, figures.floor.trivial));
    rows.push(row('async burst: 1000 Echo calls at once, per call', figures.cases.async_burst, figures.floor.trivial));
    if (figures.cases.sync_block) {
      rows.push(row('  the same 1000 calls one by one, synchronous, per call', figures.cases.sync_block, figures.floor.trivial));
    }
  }
  const callbackFloor = figures.floor.callback;
  const callbackBytes = figures.texts.callback ? ` (${figures.texts.callback.answer_bytes} B)` : '';
  rows.push(row(`callback: host fires -> JS function runs${callbackBytes}`, figures.cases.callback, callbackFloor));
  if (callbackFloor) rows.push(row('  wire floor, same text one way, receiver asleep in poll', callbackFloor, callbackFloor));
  const trivialFloor = figures.floor.trivial;
  rows.push(row('seed design, 5 ms polling (trivial)', figures.polling_reference.trivial, trivialFloor));
  for (const [key, title] of Object.entries(PEER_TITLES)) {
    rows.push(row(`peer: ${title} (trivial)`, figures.peers[key], trivialFloor));
  }
  const lines = [`Placement: ${placement.title}`, formatTable(rows)];
  if (figures.memory) {
    const { calls, rss_start_mb: start, rss_end_mb: end } = figures.memory;
    lines.push(`Resident memory of the plug-in process: ${start.toFixed(1)} MB before, ${end.toFixed(1)} MB after ${calls} trivial calls (${(end - start).toFixed(1)} MB growth)`);
  }
  return lines.join('\n');
}

// The figures of one placement in the shape other tools read.
function jsonObject(figures) {
  const pick = ({ median_us, p99_us, calls_per_s }) => ({ median_us, p99_us, calls_per_s });
  const mapped = (group) => Object.fromEntries(Object.entries(group).map(([key, value]) => [key, pick(value)]));
  return {
    cases: mapped(figures.cases),
    floor: mapped(figures.floor),
    polling_reference: mapped(figures.polling_reference),
    peers: mapped(figures.peers),
    ...(figures.memory && {
      memory: { rss_start_mb: figures.memory.rss_start_mb, rss_end_mb: figures.memory.rss_end_mb },
    }),
  };
}

module.exports = { placementBlock, jsonObject };
