'use strict';
// The package's install step building the add-on from source in a project whose path holds
// characters that CMake, the compiler driver or the shell treat specially: "$" and "," build,
// ";" (CMake's list separator) is refused before anything runs. The package folder holds what
// package.json's "files" list ships, and the three dependencies.
//   node --test test/package/install-addon.test.js    (Linux; the build takes minutes)
const test = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const repoRoot = path.resolve(__dirname, '..', '..');
const manifest = require(path.join(repoRoot, 'package.json'));

// The package as npm would install it, in `parent`/hostlink.
function packageIn(t, parentName) {
  const top = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-odd-'));
  t.after(() => fs.rmSync(top, { recursive: true, force: true }));
  const folder = path.join(top, parentName, 'node_modules', 'hostlink');
  const left = manifest.files.filter((entry) => entry.startsWith('!')).map((entry) => entry.slice(1).replace(/\/$/, ''));
  for (const entry of manifest.files.filter((item) => !item.startsWith('!'))) {
    const source = path.join(repoRoot, entry);
    if (!fs.existsSync(source)) continue;  // prebuilds/, when none are built
    fs.cpSync(source, path.join(folder, entry), {
      recursive: true,
      filter: (file) => !left.includes(path.relative(repoRoot, file)),
    });
  }
  for (const dependency of Object.keys(manifest.dependencies)) {
    fs.mkdirSync(path.join(folder, 'node_modules'), { recursive: true });
    fs.symlinkSync(path.join(repoRoot, 'node_modules', dependency),
      path.join(folder, 'node_modules', dependency), 'dir');
  }
  return { top, folder };
}

// Runs the install step as `npm rebuild hostlink --build-from-source` does.
function install(folder) {
  return childProcess.spawnSync(process.execPath, [path.join('scripts', 'install-addon.js')], {
    cwd: folder,
    encoding: 'utf8',
    env: { ...process.env, npm_config_build_from_source: 'true', HOSTLINK_ADDON: '' },
  });
}

// Every file and folder under `top`, relative to it.
function everything(top) {
  return fs.readdirSync(top, { recursive: true }).map(String).sort();
}

test('a project path holding ";" is refused before CMake runs, and nothing is written', (t) => {
  const { top, folder } = packageIn(t, 'my;project');
  const before = everything(top);
  const result = install(folder);
  assert.equal(result.status, 1, result.stdout + result.stderr);
  assert.match(result.stderr,
    /^hostlink: cannot build the add-on from source: the package folder .*my;project.* holds a ";", which CMake reads as a list separator/m);
  assert.deepEqual(everything(top), before);
});

test('a project path holding "$", "," and a blank builds the add-on, which loads', { skip: process.platform !== 'linux' && 'Linux builds only' }, (t) => {
  const { folder } = packageIn(t, 'a$HOME,b c');
  const result = install(folder);
  assert.equal(result.status, 0, result.stdout + result.stderr);
  assert.match(result.stdout, /hostlink: built .*a\$HOME,b c.*Hostlink\.node/);
  // Only the register function is exported: the version script was read.
  const loaded = childProcess.spawnSync(process.execPath, ['-e',
    `process.stdout.write(Object.keys(require(${JSON.stringify(folder)})).join(','))`],
  { encoding: 'utf8', env: { ...process.env, HOSTLINK_ADDON: '' } });
  assert.equal(loaded.status, 0, loaded.stderr);
  assert.match(loaded.stdout, /^Initialize,GetKestrel,CleanUp,RegisterCallback,DeregisterCallback,SetAPITimeout/);
  const symbols = childProcess.spawnSync('nm', ['-D', '--defined-only', path.join(folder, 'build', 'Hostlink.node')],
    { encoding: 'utf8' });
  assert.equal(symbols.status, 0, symbols.stderr);
  assert.deepEqual(symbols.stdout.trim().split('\n').map((line) => line.split(' ').pop()), ['_register_Hostlink_']);
});
