'use strict';
// Starts the reference host (build/hostlink-host) for a test, scripts its answers and
// reads back every request it received. Every call here is synchronous, like the add-on
// itself: a command returns only after the host has acknowledged it, so a call made
// next is sure to see it, and the requests of a call can be read as soon as it returns.
//
//   const { startHost } = require('./helpers/host');
//   const host = startHost();                  // control mode, fresh plug-in id, ready
//   addon.Initialize(host.pluginId);
//   host.replyJson({ response: { status: true, result: 5 } });   // the next answer
//   host.reply('not json at all');                                // raw bytes answer
//   host.noReply();                            // the next request gets no answer
//   host.answer({ delay: 300 });               // the model answers, 300 ms late
//   host.drop();                               // the next request loses its connection
//   host.fire('DocumentChanged');              // true if the plug-in registered it
//   host.requests();                           // texts received, exactly, in order
//   host.stop();
//
// startHost(options) -> Host. Options (all optional):
//   pluginId     the identifier to serve; default uniquePluginId()
//   control      true (default): scripted test mode; false: the plain reference host,
//                which stops on UnloadPlugin unless keepRunning is set
//   tick         milliseconds between "Tick" callbacks (0: none)
//   keepRunning  stay up after UnloadPlugin (always so in control mode)
//   args         extra command-line arguments
//   timeoutMs    how long to wait for the host at start, per command and at stop
//                (default 10000)
//
// Host (control mode only where marked *):
//   pluginId, pid, directory          the identifier, process id, and the folder
//                                     holding the host's files
//   reply(textOrBuffer, {delay})*     answer the next request with these bytes
//   replyJson(value, {delay})*        answer the next request with JSON.stringify(value)
//   answer({delay})*                  let the model answer the next request (after delay)
//   noReply(count = 1)*               leave the next count requests unanswered
//   drop({delay})*                    close the connection instead of answering the next
//                                     request; the plug-in's call fails at once. The host
//                                     listens again at the next command of any kind
//                                     (listen() says so explicitly).
//   listen()*                         listen again after a drop; true if one was pending
//   clear()*                          forget scripted answers not yet used
//   fire(name)*                       fire a callback; true when the plug-in registered
//                                     name (otherwise nothing is sent)
//   sendCallbackText(textOrBuffer)*   send any bytes on the callback pipe
//   status()*                         {callbacks: [...], apiTimeout, pending, requests}
//   requests()*                       every request text received so far, in order
//   requestBuffers()*                 the same as Buffers, byte for byte
//   takeRequests()*                   the request texts received since the last take
//   lastRequest()*                    the last request, parsed as JSON (null if none)
//   stdout(), stderr()                what the host printed so far
//   isRunning()                       false once the process has ended
//   stop()                            stop the host and wait for it (idempotent)
//   kill()                            end it at once with SIGKILL
//   waitForExit(timeoutMs)            a Promise of {code, signal}
//
// Scripted answers apply to the following requests in the order given; requests with
// none left are answered by the reference model. When the test process exits, hosts
// still running are killed and every host's folder is removed.

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const repoRoot = path.resolve(__dirname, '..', '..', '..');
const DEFAULT_TIMEOUT_MS = 10000;
const READY_LINE = 'hostlink-host: ready';
const STOPPED_LINE = 'hostlink-host: stopped';

const sleeper = new Int32Array(new SharedArrayBuffer(4));
function sleepSync(ms) {
  Atomics.wait(sleeper, 0, 0, ms);
}

// Polls until check() returns something other than undefined, or throws on time-out.
function waitFor(check, timeoutMs, what) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const result = check();
    if (result !== undefined) return result;
    if (Date.now() >= deadline) throw new Error(`hostlink-host: timed out waiting for ${what}`);
    sleepSync(0.5);
  }
}

function hostBinary() {
  if (process.env.HOSTLINK_HOST) return process.env.HOSTLINK_HOST;
  const buildDir = process.env.HOSTLINK_BUILD_DIR || 'build';
  return path.resolve(repoRoot, buildDir, process.platform === 'win32' ? 'hostlink-host.exe' : 'hostlink-host');
}

let counter = 0;
function uniquePluginId(prefix = 'test') {
  counter += 1;
  const random = Math.random().toString(36).slice(2, 8);
  return `${prefix}-${process.pid}-${counter}-${random}`;
}

// A child that has exited but not been reaped (the event loop cannot run while a test
// waits synchronously) is a zombie: alive for kill(pid, 0), dead in /proc.
function processAlive(pid) {
  if (process.platform === 'win32') {
    // No /proc; signal 0 asks whether the process has an exit code yet.
    try {
      process.kill(pid, 0);
      return true;
    } catch {
      return false;
    }
  }
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    const state = stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3);
    return state !== 'Z' && state !== 'X';
  } catch (error) {
    if (error.code !== 'ENOENT') {
      try {
        process.kill(pid, 0);
        return true;
      } catch {
        return false;
      }
    }
    return false;
  }
}

function readText(file) {
  try {
    return fs.readFileSync(file, 'utf8');
  } catch {
    return '';
  }
}

// The requests file holds, per request: decimal length, "\n", the bytes, "\n".
function parseRecords(buffer) {
  const records = [];
  let position = 0;
  while (position < buffer.length) {
    const lineEnd = buffer.indexOf(0x0a, position);
    if (lineEnd < 0) break;
    const length = Number(buffer.toString('latin1', position, lineEnd));
    const start = lineEnd + 1;
    if (!Number.isInteger(length) || start + length + 1 > buffer.length) break;
    records.push(buffer.subarray(start, start + length));
    position = start + length + 1;
  }
  return records;
}

const allHosts = new Set();
process.on('exit', () => {
  for (const host of allHosts) host.dispose();
});

class Host {
  constructor(options) {
    this.pluginId = options.pluginId || uniquePluginId();
    this.control = options.control !== false;
    this.timeoutMs = options.timeoutMs || DEFAULT_TIMEOUT_MS;
    this.directory = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-host-'));
    this.seq = 0;
    this.taken = 0;
    this.stopped = false;

    const args = ['--plugin-id', this.pluginId];
    if (this.control) args.push('--control', this.directory);
    if (options.tick) args.push('--tick', String(options.tick));
    if (options.keepRunning) args.push('--keep-running');
    if (options.args) args.push(...options.args);

    const binary = options.binary || hostBinary();
    if (!fs.existsSync(binary)) {
      fs.rmSync(this.directory, { recursive: true, force: true });
      throw new Error(`hostlink-host: ${binary} not found; build it first (npm run setup)`);
    }
    // Output goes to files, which can be read while the test blocks its event loop.
    const out = fs.openSync(path.join(this.directory, 'stdout'), 'w');
    const err = fs.openSync(path.join(this.directory, 'stderr'), 'w');
    try {
      this.child = childProcess.spawn(binary, args, { stdio: ['ignore', out, err] });
    } finally {
      fs.closeSync(out);
      fs.closeSync(err);
    }
    this.child.unref();
    this.pid = this.child.pid;
    this.exit = new Promise((resolve) => {
      this.child.on('exit', (code, signal) => resolve({ code, signal }));
    });
    allHosts.add(this);

    try {
      waitFor(() => {
        if (this.stdout().includes(READY_LINE)) return true;
        if (!processAlive(this.pid)) {
          throw new Error(`hostlink-host: exited before it was ready: ${this.stderr().trim()}`);
        }
        return undefined;
      }, this.timeoutMs, 'the host to be ready');
    } catch (error) {
      this.dispose();
      throw error;
    }
  }

  stdout() {
    return readText(path.join(this.directory, 'stdout'));
  }

  stderr() {
    return readText(path.join(this.directory, 'stderr'));
  }

  isRunning() {
    return !this.stopped && processAlive(this.pid);
  }

  // Sends one command and waits for its acknowledgement; returns its result.
  command(op, fields = {}) {
    if (!this.control) throw new Error('hostlink-host: not started in control mode');
    if (this.stopped) throw new Error('hostlink-host: already stopped');
    this.seq += 1;
    const seq = this.seq;
    fs.appendFileSync(path.join(this.directory, 'commands'), `${JSON.stringify({ seq, op, ...fields })}\n`);
    const ackFile = path.join(this.directory, 'ack');
    const ack = waitFor(() => {
      const text = readText(ackFile);
      if (text) {
        const parsed = JSON.parse(text);
        if (parsed.seq === seq) return parsed;
      }
      if (!processAlive(this.pid)) {
        throw new Error(`hostlink-host: exited while running ${op}: ${this.stderr().trim()}`);
      }
      return undefined;
    }, this.timeoutMs, `the host to acknowledge ${op}`);
    if (!ack.ok) throw new Error(`hostlink-host: ${op} failed: ${ack.error}`);
    return ack.result;
  }

  reply(textOrBuffer, { delay = 0 } = {}) {
    const data = Buffer.from(textOrBuffer).toString('base64');
    this.command('reply', { data, delay });
  }

  replyJson(value, options) {
    this.reply(JSON.stringify(value), options);
  }

  answer({ delay = 0 } = {}) {
    this.command('answer', { delay });
  }

  noReply(count = 1) {
    this.command('noReply', { count });
  }

  drop({ delay = 0 } = {}) {
    this.command('drop', { delay });
  }

  listen() {
    return this.command('listen');
  }

  clear() {
    this.command('clear');
  }

  fire(name) {
    return this.command('fire', { name });
  }

  sendCallbackText(textOrBuffer) {
    return this.command('callbackText', { data: Buffer.from(textOrBuffer).toString('base64') });
  }

  status() {
    return this.command('status');
  }

  requestBuffers() {
    if (!this.control) throw new Error('hostlink-host: not started in control mode');
    let buffer;
    try {
      buffer = fs.readFileSync(path.join(this.directory, 'requests'));
    } catch {
      return [];
    }
    return parseRecords(buffer);
  }

  requests() {
    return this.requestBuffers().map((buffer) => buffer.toString('utf8'));
  }

  takeRequests() {
    const all = this.requests();
    const fresh = all.slice(this.taken);
    this.taken = all.length;
    return fresh;
  }

  lastRequest() {
    const all = this.requests();
    return all.length === 0 ? null : JSON.parse(all[all.length - 1]);
  }

  stop() {
    if (this.stopped) return;
    if (processAlive(this.pid)) {
      if (this.control) {
        try {
          this.command('stop');
        } catch {
          this.signal('SIGTERM');
        }
      } else {
        this.signal('SIGTERM');
      }
      try {
        waitFor(() => (this.stdout().includes(STOPPED_LINE) || !processAlive(this.pid) ? true : undefined),
          this.timeoutMs, 'the host to stop');
      } catch (error) {
        this.dispose();
        throw error;
      }
    }
    this.stopped = true;
  }

  kill() {
    this.signal('SIGKILL');
    this.stopped = true;
  }

  // Through the child's handle, never by bare pid: once the child has been reaped its pid
  // may belong to another process (pids wrap around on a busy machine).
  signal(name) {
    try {
      this.child.kill(name);
    } catch {
      // already gone
    }
  }

  waitForExit(timeoutMs = this.timeoutMs) {
    this.child.ref();
    let timer;
    const timeout = new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error('hostlink-host: did not exit in time')), timeoutMs);
    });
    return Promise.race([this.exit, timeout]).finally(() => {
      clearTimeout(timer);
      this.child.unref();
    });
  }

  // Kills the process if needed and removes its folder; for the exit hook and failures.
  dispose() {
    if (processAlive(this.pid)) this.signal('SIGKILL');
    this.stopped = true;
    allHosts.delete(this);
    try {
      fs.rmSync(this.directory, { recursive: true, force: true });
    } catch {
      // best effort
    }
  }
}

function startHost(options = {}) {
  return new Host(options);
}

module.exports = { startHost, uniquePluginId, hostBinary, sleepSync, Host };
