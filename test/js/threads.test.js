'use strict';
// Several JavaScript environments of one process (worker threads) sharing the one
// request pipe: their requests never interleave, never take another call's answer, and
// CleanUp, Initialize and a worker's end in one thread never crash another's calls.
const test = require('node:test');
const assert = require('node:assert/strict');
const { runChild, repoRoot } = require('./helpers/addon');

// Script prelude: startWorker(code, data) runs code in a worker thread where `addon`,
// `workerData` and `parentPort` are in scope, and resolves with its first message.
const WORKERS = `
  const { Worker } = require('node:worker_threads');
  function startWorker(code, data) {
    const worker = new Worker(
      "const { parentPort, workerData } = require('node:worker_threads');" +
      "const addon = require(" + JSON.stringify(${JSON.stringify(repoRoot)}) + ");" + code,
      { eval: true, workerData: data });
    const first = new Promise((resolve, reject) => {
      worker.once('message', resolve);
      worker.once('error', reject);
    });
    return { worker, first };
  }
`;

test('two worker threads calling at once each get the answers to their own calls', () => {
  const result = runChild(`${WORKERS}
    const host = startHost();
    addon.Initialize(host.pluginId);
    const code = \`
      const app = addon.GetKestrel();
      const app$ = addon.Async(app);
      const wrong = [];
      const pending = [];
      for (let i = 0; i < 300; i += 1) {
        const tag = workerData + '-' + i;
        if (i % 2) {
          const got = app.Echo(tag);
          if (got !== tag) wrong.push([tag, got]);
        } else {
          pending.push(app$.Echo(tag).then((got) => { if (got !== tag) wrong.push([tag, got]); }));
        }
      }
      Promise.all(pending).then(() => parentPort.postMessage(wrong));
    \`;
    Promise.all([startWorker(code, 'a').first, startWorker(code, 'b').first]).then((wrong) => {
      console.log(JSON.stringify(wrong));
      addon.CleanUp();
      host.stop();
    });
  `);
  assert.equal(result.status, 0, result.stderr);
  assert.equal(result.stdout.trim(), '[[],[]]');
});

test('CleanUp and Initialize in one thread while another calls never crash or cross answers', () => {
  const result = runChild(`${WORKERS}
    const host = startHost();
    addon.Initialize(host.pluginId);
    const caller = \`
      const app = addon.GetKestrel();
      parentPort.postMessage('ready');
      const problems = [];
      for (let i = 0; i < 400; i += 1) {
        const tag = 'c-' + i;
        try {
          const got = app.Echo(tag);
          if (got !== tag) problems.push('answer ' + got + ' for ' + tag);
        } catch (error) {
          if (error.message !== 'Execute: Not initialized, call Initialize(<pluginId>) first') {
            problems.push(error.message);
          }
        }
      }
      parentPort.postMessage(problems);
    \`;
    const cycler = \`
      const problems = [];
      for (let i = 0; i < 40; i += 1) {
        addon.CleanUp();
        // The host may take a moment to listen again after an unload.
        for (let attempt = 0; ; attempt += 1) {
          try {
            addon.Initialize(workerData);
            break;
          } catch (error) {
            if (attempt === 20) { problems.push(error.message); break; }
          }
        }
      }
      parentPort.postMessage(problems);
    \`;
    const callerWorker = startWorker(caller);
    const callerDone = new Promise((resolve) => {
      callerWorker.worker.on('message', (message) => { if (message !== 'ready') resolve(message); });
    });
    callerWorker.first.then(() => Promise.all([callerDone, startWorker(cycler, host.pluginId).first])).then((problems) => {
      console.log(JSON.stringify(problems));
      addon.CleanUp();
      host.stop();
    });
  `);
  assert.equal(result.status, 0, result.stderr);
  assert.equal(result.stdout.trim(), '[[],[]]');
});

test('a worker terminated with async calls pending leaves the other threads working', () => {
  const result = runChild(`${WORKERS}
    const host = startHost();
    addon.Initialize(host.pluginId);
    host.answer({ delay: 200 });
    const { worker, first } = startWorker(\`
      const app$ = addon.Async(addon.GetKestrel());
      for (let i = 0; i < 50; i += 1) app$.Echo(i);
      parentPort.postMessage('queued');
    \`);
    first.then(() => worker.terminate()).then(() => {
      console.log(addon.GetKestrel().Echo('after'));
      return addon.Async(addon.GetKestrel()).Echo('async after');
    }).then((value) => {
      console.log(value);
      addon.CleanUp();
      host.stop();
    });
  `);
  assert.equal(result.status, 0, result.stderr);
  assert.deepEqual(result.stdout.trim().split('\n'), ['after', 'async after']);
});
