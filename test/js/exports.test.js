'use strict';
// The module as loaded: its export table, the package entry point and its load errors.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { addon, runChild, repoRoot } = require('./helpers/addon');
const { differs } = require('./helpers/runtime');

const EXPORTS = [
  'Initialize', 'GetKestrel', 'CleanUp', 'RegisterCallback', 'DeregisterCallback', 'SetAPITimeout',
  'Async', 'GetKestrelAsync',
];

test('exports the six functions and the two Promise entries in order, each nameless', () => {
  assert.deepEqual(Object.keys(addon), EXPORTS);
  for (const name of EXPORTS) {
    assert.equal(typeof addon[name], 'function');
    assert.equal(addon[name].name, '');
  }
});

test('each export is a plain writable, enumerable, configurable data property', () => {
  for (const name of EXPORTS) {
    const descriptor = Object.getOwnPropertyDescriptor(addon, name);
    assert.equal(descriptor.writable, true);
    assert.equal(descriptor.enumerable, true);
    assert.equal(descriptor.configurable, true);
  }
});

test('the package root hands back the add-on exports object itself', () => {
  const direct = require(process.env.HOSTLINK_ADDON
    ? path.resolve(process.env.HOSTLINK_ADDON)
    : path.join(repoRoot, 'build', 'Hostlink.node'));
  assert.equal(addon, direct);
});

test('loads with every import bound at once (no Node-API newer than the pinned level)', { skip: process.platform !== 'linux' }, () => {
  const child = runChild(`process.stdout.write(Object.keys(addon).join(','));`, {
    env: { LD_BIND_NOW: '1' },
  });
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, EXPORTS.join(','));
});

test('a missing add-on names the path tried and the command that builds it', () => {
  const missing = path.join(repoRoot, 'no-such-build', 'Hostlink.node');
  const child = runChild('', { env: { HOSTLINK_ADDON: missing } });
  assert.notEqual(child.status, 0);
  assert.match(child.stderr, new RegExp(`cannot load the native add-on from ${missing.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}`));
  assert.match(child.stderr, /npm run setup/);
});

test('the library exports its load-time register function and nothing else', { skip: process.platform !== 'linux' }, (t) => {
  const { spawnSync } = require('node:child_process');
  const file = process.env.HOSTLINK_ADDON || path.join(repoRoot, 'build', 'Hostlink.node');
  const nm = spawnSync('nm', ['-D', '--defined-only', file], { encoding: 'utf8' });
  if (nm.error) {
    t.skip('nm is not installed');
    return;
  }
  const symbols = nm.stdout.trim().split('\n').map((line) => line.split(' ').pop());
  assert.deepEqual(symbols, ['_register_Hostlink_']);
});

test('loading the module again into the same process gives working exports', { skip: differs('moduleRecordExports') }, () => {
  const child = runChild(`
    const file = process.env.HOSTLINK_ADDON
      ? require('node:path').resolve(process.env.HOSTLINK_ADDON)
      : require('node:path').join(${JSON.stringify(repoRoot)}, 'build', 'Hostlink.node');
    const first = require(file);
    delete require.cache[file];
    const second = require(file);
    const host = startHost();
    second.Initialize(host.pluginId);
    const names = [first.GetKestrel().constructor.name, second.GetKestrel().constructor.name];
    second.CleanUp();
    host.stop();
    process.stdout.write(JSON.stringify({ distinct: first !== second, keys: Object.keys(second), names }));
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(JSON.parse(child.stdout), {
    distinct: true, keys: EXPORTS, names: ['Application', 'Application'],
  });
});
