'use strict';
// Starts a peer's server as a Node child process on the chosen CPU, waits until it prints
// "ready", and stops it again. Each peer module is also the server's script: run with
// `--serve ADDRESS`, it serves ADDRESS and prints "ready".

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { onCpu } = require('../lib/placement');

const START_TIMEOUT_MS = 20000;

function socketPath(name) {
  return path.join(os.tmpdir(), `hostlink-bench-${process.pid}-${name}.sock`);
}

// Resolves with the child once it printed "ready". withIpc adds Node's IPC channel, as
// child_process.fork does.
function startServer(script, address, cpu, { withIpc = false } = {}) {
  const argv = onCpu(cpu, [process.execPath, script, '--serve', address]);
  const stdio = withIpc ? ['ignore', 'pipe', 'inherit', 'ipc'] : ['ignore', 'pipe', 'inherit'];
  const child = childProcess.spawn(argv[0], argv.slice(1), { stdio });
  return new Promise((resolve, reject) => {
    let output = '';
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`${path.basename(script)}: server not ready in time`));
    }, START_TIMEOUT_MS);
    const early = (code) => {
      clearTimeout(timer);
      reject(new Error(`${path.basename(script)}: server exited (${code}) before it was ready`));
    };
    child.once('exit', early);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      if (output.includes('ready')) {
        clearTimeout(timer);
        child.off('exit', early);
        resolve(child);
      }
    });
  });
}

function stopServer(child, address) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) {
      resolve();
    } else {
      child.once('exit', () => resolve());
      child.kill('SIGTERM');
    }
  }).finally(() => {
    if (address) fs.rmSync(address, { force: true });
  });
}

// Removes a stale socket file and prints "ready" once server listens on it.
function listenOnPath(server, address) {
  fs.rmSync(address, { force: true });
  server.listen(address, () => process.stdout.write('ready\n'));
  process.on('SIGTERM', () => process.exit(0));
}

module.exports = { socketPath, startServer, stopServer, listenOnPath };
