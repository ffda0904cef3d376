'use strict';
// `hostlink repl` (bin/repl) driven as a plug-in author types into it: a child process with
// piped input, in readline's terminal mode so that Tab completes, against the reference host.
const test = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const path = require('node:path');
const { startHost } = require('./helpers/host');
const { repoRoot } = require('./helpers/addon');
const { runtime } = require('./helpers/runtime');

const STEP_TIMEOUT_MS = 20000;

// The REPL's process, with what it printed so far and a way to wait for more.
function startRepl(pluginId) {
  const child = childProcess.spawn(process.execPath,
    [path.join(repoRoot, 'bin', 'repl'), 'repl', '--plugin-id', pluginId, '--terminal'],
    { stdio: ['pipe', 'pipe', 'pipe'], env: { ...process.env, NODE_DEBUG: '', NO_COLOR: '1' } });
  const output = { stdout: '', stderr: '' };
  const waiters = [];
  const check = () => {
    for (const waiter of [...waiters]) {
      if (waiter.test(output)) {
        waiters.splice(waiters.indexOf(waiter), 1);
        waiter.resolve();
      }
    }
  };
  for (const stream of ['stdout', 'stderr']) {
    child[stream].setEncoding('utf8');
    child[stream].on('data', (chunk) => { output[stream] += chunk; check(); });
  }
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  // Resolves once test(output) holds; fails the step after STEP_TIMEOUT_MS.
  const until = (what, testOutput) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no ${what} within ${STEP_TIMEOUT_MS} ms:\n${JSON.stringify(output)}`)),
      STEP_TIMEOUT_MS);
    waiters.push({ test: testOutput, resolve: () => { clearTimeout(timer); resolve(); } });
    check();
  });
  // Types text and waits until stdout, from here on, matches pattern.
  const type = async (text, pattern) => {
    const from = output.stdout.length;
    child.stdin.write(text);
    await until(`${pattern} after ${JSON.stringify(text)}`, (o) => pattern.test(o.stdout.slice(from)));
    return output.stdout.slice(from);
  };
  // A first Tab, which lists nothing while more than one name fits: a moment for readline.
  const tab = () => {
    child.stdin.write('\t');
    return new Promise((resolve) => setTimeout(resolve, 200));
  };
  return { child, output, exited, until, type, tab };
}

test('the REPL completes host functions, awaits Promise calls, toggles the trace, shows add-on errors and cleans up', { skip: runtime !== 'node' && 'bin/repl runs in Node (its shebang)', timeout: 120000 }, async () => {
  const host = startHost({ control: false });
  const repl = startRepl(host.pluginId);
  try {
    await repl.until('greeting', (o) => /hostlink> /.test(o.stdout));
    assert.match(repl.output.stdout,
      /Connected to .*\. app: Application "app" with GetName, GetVersion, GetInfo, GetDocuments, GetBench, Echo/);

    // The functions sit on the proxy's prototype: Tab completes a unique one, two Tabs list.
    // Each Tab is a keypress of its own (readline takes a Tab inside pasted text as text).
    await repl.type('app.Get', /app\.Get/);
    await repl.tab();
    const listed = await repl.type('\t', /GetVersion/);
    for (const name of ['GetName', 'GetVersion', 'GetInfo', 'GetDocuments', 'GetBench']) {
      assert.ok(listed.includes(`app.${name}`), `${name} is offered: ${JSON.stringify(listed)}`);
    }
    repl.child.stdin.write('\x15'); // Ctrl+U: clear the line
    await repl.type('app.Ec', /app\.Ec/);
    await repl.type('\t', /ho/);
    await repl.type("('typed')\r", /'typed'/);

    await repl.type("await hostlink.Async(app).Echo('awaited')\r", /'awaited'/);

    await repl.type('.trace on\r', /trace on/);
    await repl.type('app.GetVersion()\r', /'1\.0\.0'/);
    await repl.until('trace lines', (o) => /HOSTLINK \d+: ← response .*"result":"1\.0\.0"/.test(o.stderr));
    assert.match(repl.output.stderr, /HOSTLINK \d+: → request pipe=\S+ plugin=\S+ .*"name":"GetVersion"/);
    await repl.type('.trace off\r', /trace off/);
    await repl.type('app.GetName()\r', /'Hostlink Reference Host'/);
    assert.doesNotMatch(repl.output.stderr, /"name":"GetName"/);

    await repl.type("app.GetDocuments().Open('nope')\r",
      /Error: Open: Error response \(errorStr:No document titled nope\) \(errorCode:5\)/);

    await repl.type('.exit\r', /CleanUp: the host was told the plug-in unloads/);
    assert.equal(await repl.exited, 0, repl.output.stderr);
    // The plain reference host stops when told the plug-in unloads.
    assert.deepEqual(await host.waitForExit(), { code: 0, signal: null });
    assert.match(host.stdout(), /hostlink-host: stopped/);
  } finally {
    if (repl.child.exitCode === null) repl.child.kill();
    host.stop();
  }
});

test('the REPL without a host says why and exits 1', { skip: runtime !== 'node' && 'bin/repl runs in Node (its shebang)' }, () => {
  const result = childProcess.spawnSync(process.execPath,
    [path.join(repoRoot, 'bin', 'repl'), 'repl', '--plugin-id', `absent-${process.pid}`],
    { encoding: 'utf8', input: '' });
  assert.equal(result.status, 1);
  assert.match(result.stderr, /^hostlink repl: Initialize: Failed to initialize communication with host$/m);
});
