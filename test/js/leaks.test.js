'use strict';
// No leaks: 10000 calls of the add-on, proxy and table results among them, with callbacks
// registered, fired and deregistered, in a process that ends by itself so that the leak
// checker sees everything the add-on still holds. Runs in the sanitizer run (npm run
// test:sanitize), where the sanitizer runtime is preloaded into Node; skipped otherwise.
const test = require('node:test');
const assert = require('node:assert/strict');
const { runChild } = require('./helpers/addon');

const underSanitizer = /libasan/.test(process.env.LD_PRELOAD || '');

test('10000 calls with callbacks registered, fired with data and deregistered leave no leak', (t) => {
  if (!underSanitizer) {
    t.skip('needs the sanitizer build with its runtime preloaded (npm run test:sanitize)');
    return;
  }
  const child = runChild(`
    const host = startHost();
    addon.Initialize(host.pluginId);
    addon.SetAPITimeout(60);
    const app = addon.GetKestrel();
    const bench = app.GetBench();
    let fired = 0;
    let changes = 0;
    let calls = 0;
    const turn = () => new Promise((resolve) => setImmediate(resolve));
    const delivered = async (count) => {
      const deadline = Date.now() + 30000;
      while (fired < count && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 1));
    };
    (async () => {
      // Rounds of ten calls; every tenth round registers a callback, has the host fire it
      // and deregisters it again, alone (the callback pipe and its worker come and go) or
      // beside one that stays (they stay).
      for (let round = 0; round < 1000; round += 1) {
        const documents = app.GetDocuments();
        bench.Echo(documents);
        bench.MakeTable(8);
        bench.MakeList(3);
        bench.Echo({ a: [1, 'two', { three: 3 }], b: documents });
        bench.Add(round, 0.5);
        try { bench.Add('x', {}); } catch {}
        app.GetName();
        documents.Count();
        bench.Noop();
        calls += 10;
        if (round % 10 === 0) {
          const alone = round % 20 === 0;
          if (!alone) addon.RegisterCallback('Stays', () => {});
          addon.RegisterCallback('Temp', () => { fired += 1; });
          const expected = fired + 1;
          host.fire('Temp');
          await delivered(expected);
          addon.DeregisterCallback('Temp');
          if (!alone) addon.DeregisterCallback('Stays');
        }
        if (round % 100 === 0) {
          // A callback with data: the document (a proxy) and a text, converted and dropped.
          addon.RegisterCallback('DocumentChanged', (document, change) => {
            if (document.GetTitle() === 'Leak' && change === 'shapeAdded') changes += 1;
          });
          const document = documents.Create('Leak');
          const expected = changes + 1;
          document.AddShape('rectangle', 1, 2, 3, 4);
          const deadline = Date.now() + 30000;
          while (changes < expected && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 1));
          addon.DeregisterCallback('DocumentChanged');
          documents.Close(document);
        }
        if (round % 50 === 0) await turn();
      }
      addon.CleanUp();
      host.stop();
      process.stdout.write(JSON.stringify({ calls, fired, changes }));
    })();
  `, { timeoutMs: 600000, env: { ASAN_OPTIONS: `${process.env.ASAN_OPTIONS || ''}:detect_leaks=1` } });
  assert.equal(child.signal, null, child.stderr);
  assert.doesNotMatch(child.stderr, /LeakSanitizer|AddressSanitizer|runtime error/);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), { calls: 10000, fired: 100, changes: 10 });
});
