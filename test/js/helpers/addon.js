'use strict';
// Loads the add-on for a test (the package root, so HOSTLINK_ADDON selects another
// build), connects it to a reference host, and runs scenarios that must own a whole
// process (log lines on stderr, exit behaviour, worker threads) in a child Node.
//
//   const { addon, connect, runChild } = require('./helpers/addon');
//   const host = connect();            // a fresh host, Initialize'd, requests taken
//   const { status, stdout, stderr } = runChild(`...script...`);

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
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

// Runs script in a new Node process; `addon`, `startHost`, `sleepSync` and
// `ownStderr()` (what the process wrote to stderr so far) are in scope there.
// Returns {status, signal, stdout, stderr}.
function runChild(script, { timeoutMs = 60000, env = {} } = {}) {
  const stderrFile = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-child-')), 'stderr');
  const prelude =
    `'use strict';\n` +
    `const addon = require(${JSON.stringify(repoRoot)});\n` +
    `const { startHost, sleepSync } = require(${JSON.stringify(path.join(__dirname, 'host.js'))});\n` +
    `const ownStderr = () => require('node:fs').readFileSync(${JSON.stringify(stderrFile)}, 'utf8');\n`;
  const stderrFd = fs.openSync(stderrFile, 'w');
  let result;
  try {
    result = childProcess.spawnSync(process.execPath, ['-e', prelude + script], {
      encoding: 'utf8',
      timeout: timeoutMs,
      stdio: ['ignore', 'pipe', stderrFd],
      env: { ...process.env, ...env },
    });
  } finally {
    fs.closeSync(stderrFd);
  }
  const stderr = fs.readFileSync(stderrFile, 'utf8');
  fs.rmSync(path.dirname(stderrFile), { recursive: true, force: true });
  if (result.error) throw result.error;
  return { status: result.status, signal: result.signal, stdout: result.stdout, stderr };
}

// The small host of test/js/fixtures/MinimalHost.cpp, started for pluginId in the given
// mode; resolves once it serves the request pipe. kill() ends it.
function minimalHostBinary() {
  const buildDir = process.env.HOSTLINK_BUILD_DIR || 'build';
  const name = process.platform === 'win32' ? 'hostlink-minimal-host.exe' : 'hostlink-minimal-host';
  return path.resolve(repoRoot, buildDir, name);
}

function startMinimalHost(pluginId, mode) {
  const binary = minimalHostBinary();
  const child = childProcess.spawn(binary, [pluginId, mode], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    child.once('error', reject);
    child.once('exit', (code) => reject(new Error(`${binary} exited with ${code}`)));
    child.stdout.once('data', () => resolve(child));
  });
}

// The add-on's log lines in a child's stderr (sanitizer reports and the like excluded).
function logLines(stderr) {
  return stderr.split('\n').filter((line) => line.startsWith('IPC | '));
}

// How many times a line of the given kind (its fixed text) was logged: a line the peer
// causes is written once, then counted in summaries "<kind> (N more like it)".
function loggedTimes(lines, kind) {
  let times = 0;
  for (const line of lines) {
    if (!line.startsWith(kind)) continue;
    const summary = / \((\d+) more like it\)$/.exec(line.slice(kind.length));
    times += summary ? Number(summary[1]) : 1;
  }
  return times;
}

module.exports = {
  addon, connect, disconnect, takeParsed, runChild, startMinimalHost, minimalHostBinary, logLines, loggedTimes, repoRoot,
  SAFETY_TIMEOUT_SECONDS,
};
