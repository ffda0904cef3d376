'use strict';
// Loads the add-on for a test (the package root, so HOSTLINK_ADDON selects another
// build), connects it to a reference host, and runs scenarios that must own a whole
// process (log lines on stderr, exit behaviour, worker threads) in a child Node.
//
//   const { addon, connect, runChild } = require('./helpers/addon');
//   const host = connect();            // a fresh host, Initialize'd, requests taken
//   const { status, stdout, stderr } = runChild(`...script...`);

const childProcess = require('node:child_process');
const path = require('node:path');
const { startHost } = require('./host');

const repoRoot = path.resolve(__dirname, '..', '..', '..');
const addon = require(repoRoot);

// Seconds every connected test waits for an answer at most, so that a host that never
// answers fails the test instead of blocking it for good.
const SAFETY_TIMEOUT_SECONDS = 30;

// Starts a host and connects the add-on to it. With safetyTimeout (default) the API
// timeout is set first; either way the requests made so far are taken, so the test
// sees only its own.
function connect({ safetyTimeout = true, hostOptions = {} } = {}) {
  const host = startHost(hostOptions);
  addon.Initialize(host.pluginId);
  if (safetyTimeout) addon.SetAPITimeout(SAFETY_TIMEOUT_SECONDS);
  host.takeRequests();
  return host;
}

// Disconnects whatever state a test left: unload (answered by the model) and stop.
function disconnect(host) {
  try {
    addon.CleanUp();
  } finally {
    host.stop();
  }
}

// The parsed request texts a host received since the last take.
function takeParsed(host) {
  return host.takeRequests().map((text) => JSON.parse(text));
}

// Runs script in a new Node process; `addon` and `startHost` are in scope there, as
// here. Returns {status, signal, stdout, stderr}.
function runChild(script, { timeoutMs = 60000, env = {} } = {}) {
  const prelude =
    `'use strict';\n` +
    `const addon = require(${JSON.stringify(repoRoot)});\n` +
    `const { startHost, sleepSync } = require(${JSON.stringify(path.join(__dirname, 'host.js'))});\n`;
  const result = childProcess.spawnSync(process.execPath, ['-e', prelude + script], {
    encoding: 'utf8',
    timeout: timeoutMs,
    env: { ...process.env, ...env },
  });
  if (result.error) throw result.error;
  return { status: result.status, signal: result.signal, stdout: result.stdout, stderr: result.stderr };
}

// The add-on's log lines in a child's stderr (sanitizer reports and the like excluded).
function logLines(stderr) {
  return stderr.split('\n').filter((line) => line.startsWith('IPC | '));
}

module.exports = { addon, connect, disconnect, takeParsed, runChild, logLines, repoRoot, SAFETY_TIMEOUT_SECONDS };
