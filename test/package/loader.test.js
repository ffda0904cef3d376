'use strict';
// The package's loader (index.js) in a package folder laid out as npm installs it: which
// binary it picks, and what it says when none fits or the one it found cannot load.
//   node --test test/package/loader.test.js    (ADDON=path/to/Hostlink.node, default
//                                               prebuilds/linux-x64/hostlink.napi.glibc.node)
const test = require('node:test');
const assert = require('node:assert/strict');
const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const repoRoot = path.resolve(__dirname, '..', '..');
const addonFile = path.resolve(process.env.ADDON ||
  path.join(repoRoot, 'prebuilds', 'linux-x64', 'hostlink.napi.glibc.node'));
const platformDir = `${process.platform}-${process.arch}`;
const prebuildName = process.platform === 'linux' ? 'hostlink.napi.glibc.node' : 'hostlink.napi.node';

// A package folder holding index.js, package.json and node-gyp-build, plus `files`
// ({relative path: source file or text}).
function packageFolder(t, files) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'hostlink-loader-'));
  t.after(() => fs.rmSync(folder, { recursive: true, force: true }));
  fs.copyFileSync(path.join(repoRoot, 'index.js'), path.join(folder, 'index.js'));
  fs.copyFileSync(path.join(repoRoot, 'package.json'), path.join(folder, 'package.json'));
  fs.mkdirSync(path.join(folder, 'node_modules'));
  fs.symlinkSync(path.join(repoRoot, 'node_modules', 'node-gyp-build'),
    path.join(folder, 'node_modules', 'node-gyp-build'), 'dir');
  for (const [relative, content] of Object.entries(files)) {
    const target = path.join(folder, relative);
    fs.mkdirSync(path.dirname(target), { recursive: true });
    if (content.file) fs.copyFileSync(content.file, target);
    else fs.writeFileSync(target, content.text);
  }
  return folder;
}

// Requires the folder in a fresh Node without HOSTLINK_ADDON; {status, stdout, stderr}.
function load(folder) {
  const env = { ...process.env };
  delete env.HOSTLINK_ADDON;
  return childProcess.spawnSync(process.execPath, ['-e',
    `process.stdout.write(Object.keys(require(${JSON.stringify(folder)})).join(','))`], { encoding: 'utf8', env });
}

const EXPORTS = ['Initialize', 'GetKestrel', 'CleanUp', 'RegisterCallback', 'DeregisterCallback', 'SetAPITimeout'];
const exportsOf = (stdout) => stdout.split(',').filter((name) => EXPORTS.includes(name));
const notABinary = { text: 'not a shared library\n' };

test('without a build in the folder, the prebuild for this platform is loaded', { skip: !fs.existsSync(addonFile) && `no ${addonFile}` }, (t) => {
  const folder = packageFolder(t, { [`prebuilds/${platformDir}/${prebuildName}`]: { file: addonFile } });
  const result = load(folder);
  assert.equal(result.status, 0, result.stderr);
  assert.deepEqual(exportsOf(result.stdout), EXPORTS);
});

test('a build in build/ is preferred to the prebuild', { skip: !fs.existsSync(addonFile) && `no ${addonFile}` }, (t) => {
  const folder = packageFolder(t, {
    'build/Hostlink.node': { file: addonFile },
    [`prebuilds/${platformDir}/${prebuildName}`]: notABinary,
  });
  const result = load(folder);
  assert.equal(result.status, 0, result.stderr);
  assert.deepEqual(exportsOf(result.stdout), EXPORTS);
});

test('with nothing that fits, the error names the platform, the places tried and the command that builds one', (t) => {
  const folder = packageFolder(t, { 'prebuilds/sunos-mips/hostlink.napi.node': notABinary });
  const result = load(folder);
  assert.notEqual(result.status, 0);
  assert.match(result.stderr, new RegExp(`Hostlink: no native add-on for ${platformDir}`));
  assert.ok(result.stderr.includes(path.join(folder, 'build', 'Hostlink.node')), result.stderr);
  assert.ok(result.stderr.includes(path.join(folder, 'prebuilds', platformDir)), result.stderr);
  assert.match(result.stderr, /npm rebuild hostlink/);
});

test('a prebuild that does not load names its file and the build from source', (t) => {
  const folder = packageFolder(t, { [`prebuilds/${platformDir}/${prebuildName}`]: notABinary });
  const result = load(folder);
  assert.notEqual(result.status, 0);
  const file = path.join(folder, 'prebuilds', platformDir, prebuildName);
  assert.ok(result.stderr.includes(`cannot load the native add-on from ${file}`), result.stderr);
  assert.match(result.stderr, /npm rebuild hostlink --build-from-source/);
});

// Node's permission model refuses what Deno refuses without --allow-read and --allow-ffi.
const permissionFlag = Number(process.versions.node.split('.')[0]) >= 20 && '--experimental-permission';

test('a runtime that refuses access is named as the cause, not a missing build', { skip: !permissionFlag && 'Node before 20 has no permission model' }, (t) => {
  const folder = packageFolder(t, { [`prebuilds/${platformDir}/${prebuildName}`]: notABinary });
  const readable = ['index.js', 'package.json', 'node_modules/'].map((name) => path.join(folder, name));
  readable.push(fs.realpathSync(path.join(folder, 'node_modules', 'node-gyp-build')) + path.sep);
  for (const grant of [readable.map((file) => `--allow-fs-read=${file}`), ['--allow-fs-read=*']]) {
    const result = childProcess.spawnSync(process.execPath,
      [permissionFlag, ...grant, '-e', `require(${JSON.stringify(folder)})`], { encoding: 'utf8' });
    assert.notEqual(result.status, 0);
    assert.match(result.stderr, /Hostlink: cannot load the native add-on from .*; the runtime refused access; grant it/);
    assert.doesNotMatch(result.stderr, /build it from source|npm rebuild/);
  }
});

test('the ES-module entry gives the add-on as default and named imports', { skip: !fs.existsSync(addonFile) && `no ${addonFile}` }, (t) => {
  const names = [...EXPORTS, 'Async', 'GetKestrelAsync'];
  const folder = packageFolder(t, { [`prebuilds/${platformDir}/${prebuildName}`]: { file: addonFile } });
  fs.copyFileSync(path.join(repoRoot, 'index.mjs'), path.join(folder, 'index.mjs'));
  const project = path.join(folder, 'project');
  fs.mkdirSync(path.join(project, 'node_modules'), { recursive: true });
  fs.symlinkSync(folder, path.join(project, 'node_modules', 'hostlink'), 'dir');
  const script = `import hostlink, { ${names.join(', ')} } from 'hostlink';
    import { createRequire } from 'node:module';
    const same = hostlink === createRequire(import.meta.url)('hostlink') && [${names.join(', ')}].every((f, i) => f === hostlink[${JSON.stringify(names)}[i]]);
    process.stdout.write(same + ':' + Object.keys(hostlink).join(','));`;
  fs.writeFileSync(path.join(project, 'plugin.mjs'), script);
  const result = childProcess.spawnSync(process.execPath, [path.join(project, 'plugin.mjs')], { encoding: 'utf8' });
  assert.equal(result.status, 0, result.stderr);
  assert.equal(result.stdout, `true:${names.join(',')}`);
});
