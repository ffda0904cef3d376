'use strict';
// A registration the plug-in cannot serve is rolled back with the host: when the callback
// pipe cannot be opened, RegisterCallback answers false and the host is told to forget the
// name, so that it never queues callbacks nobody receives.
const test = require('node:test');
const assert = require('node:assert');
const { runChild, minimalHostBinary } = require('./helpers/addon');

test('a registration whose callback pipe cannot be opened is deregistered with the host', () => {
  const pluginId = `rollback-${process.pid}`;
  const child = runChild(`
    const childProcess = require('node:child_process');
    const host = childProcess.spawn(process.env.MINIMAL_HOST, [${JSON.stringify(pluginId)}, 'no-callback-pipe'],
      { stdio: ['ignore', 'pipe', 'inherit'] });
    let seen = '';
    host.stdout.on('data', (chunk) => {
      const ready = seen === '';
      seen += chunk;
      if (!ready) return;
      addon.Initialize(${JSON.stringify(pluginId)});
      const registered = addon.RegisterCallback('A', () => {});
      addon.CleanUp();
      setTimeout(() => {
        host.kill();
        process.stdout.write(JSON.stringify({ registered, requests: seen.split('\\n').filter((l) => l.startsWith('request ')) }));
      }, 200);
    });
  `, { env: { MINIMAL_HOST: minimalHostBinary() } });
  assert.equal(child.status, 0, child.stderr);
  const { registered, requests } = JSON.parse(child.stdout);
  assert.equal(registered, false);
  const register = requests.indexOf('request RegisterCallback');
  assert.notEqual(register, -1, requests.join('\n'));
  assert.ok(requests.indexOf('request DeregisterCallback') > register, requests.join('\n'));
});
