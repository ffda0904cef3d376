'use strict';
// The wire trace: NODE_DEBUG=hostlink on the plug-in's side and --trace on the host's
// write the same exchange as one line per message, in one form.
const test = require('node:test');
const assert = require('node:assert');
const { runChild } = require('./helpers/addon');
const { startHost } = require('./helpers/host');

const TRACE_LINE = /^HOSTLINK \d+: /;

function traceLines(stderr) {
  return stderr.split('\n').filter((line) => TRACE_LINE.test(line));
}

function runPlugin(pluginId, env) {
  return runChild(
    `addon.Initialize(${JSON.stringify(pluginId)});
     addon.GetKestrel();
     addon.CleanUp();`,
    { env },
  );
}

test('the GetKestrel request and its answer appear in both traces', () => {
  const host = startHost({ control: false, keepRunning: true, args: ['--trace'] });
  let child;
  try {
    child = runPlugin(host.pluginId, { NODE_DEBUG: 'net,hostlink' });
  } finally {
    host.stop();
  }
  assert.strictEqual(child.status, 0, child.stderr);
  const pipe = ` pipe=${host.pluginId} plugin=${host.pluginId} `;
  const request = /→ request .*"name":"GetKestrel"/;
  const answer = /← response .*"type":"proxy".*"name":"Application"/;
  for (const [side, lines] of [['plug-in', traceLines(child.stderr)], ['host', traceLines(host.stderr())]]) {
    const sent = lines.findIndex((line) => request.test(line));
    assert.notStrictEqual(sent, -1, `${side} trace has no GetKestrel request:\n${lines.join('\n')}`);
    const answered = lines.findIndex((line, i) => i > sent && answer.test(line));
    assert.notStrictEqual(answered, -1, `${side} trace has no answer after it:\n${lines.join('\n')}`);
    assert.ok(lines[sent].includes(pipe) && lines[answered].includes(pipe), lines[sent]);
    assert.match(lines[answered], / bytes=\d+\/\d+ time=\d+\.\d{3}ms /);
  }
});

test('without NODE_DEBUG naming hostlink, standard error holds no trace line', () => {
  const host = startHost({ control: false, keepRunning: true });
  let quiet;
  let otherModule;
  try {
    quiet = runPlugin(host.pluginId, { NODE_DEBUG: '' });
    otherModule = runPlugin(host.pluginId, { NODE_DEBUG: 'hostlinks,net' });
  } finally {
    host.stop();
  }
  assert.strictEqual(quiet.status, 0, quiet.stderr);
  assert.deepStrictEqual(traceLines(quiet.stderr), []);
  assert.deepStrictEqual(traceLines(otherModule.stderr), []);
  assert.deepStrictEqual(traceLines(host.stderr()), []);
});
