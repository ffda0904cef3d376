'use strict';
// The package's install step. Where the add-on already loads (the prebuilt binary for this
// platform, or an earlier build) it does nothing; otherwise it builds the add-on from the
// package's sources with CMake into build/, without root and without the network. In a
// development checkout scripts/setup builds instead, so this step stands aside there.
//
//   node scripts/install-addon.js     (npm runs it; `npm rebuild hostlink --build-from-source`
//                                      forces the build)

const childProcess = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.resolve(__dirname, '..');
const buildDir = path.join(root, 'build');
const log = (text) => console.log(`hostlink: ${text}`);

function fail(text) {
  console.error(`hostlink: ${text}`);
  process.exit(1);
}

// Why the loader finds no add-on that loads here, or null when it does.
function loadError() {
  try {
    require(root);
    return null;
  } catch (error) {
    return error;
  }
}

function runs(command, args, options = {}) {
  const result = childProcess.spawnSync(command, args, { stdio: 'ignore', ...options });
  return !result.error && result.status === 0;
}

function firstRunnable(candidates) {
  return candidates.find((command) => command && runs(command, ['--version'])) || null;
}

// Everything the build needs that the package cannot bring, each with the Debian package
// that provides it; one message lists all that are missing.
function checkTools() {
  const missing = [];
  const cmake = firstRunnable(['cmake']);
  if (!cmake) missing.push(['CMake (cmake)', 'cmake']);
  if (!process.env.CMAKE_GENERATOR && !firstRunnable(['make', 'gmake'])) {
    missing.push(['make', 'make']);
  }
  const cc = firstRunnable([process.env.CC, 'cc', 'gcc', 'clang']);
  if (!cc) missing.push(['a C compiler (cc)', 'gcc']);
  const cxx = firstRunnable([process.env.CXX, 'c++', 'g++', 'clang++']);
  if (!cxx) missing.push(['a C++17 compiler (c++)', 'g++']);
  if (cxx && !runs(cxx, ['-x', 'c++', '-E', '-o', os.devNull, '-'], {
    input: '#include <bzlib.h>\n', stdio: ['pipe', 'ignore', 'ignore'],
  })) {
    missing.push(['the bzip2 library headers (bzlib.h)', 'libbz2-dev']);
  }
  if (missing.length > 0) {
    fail(
      `cannot build the add-on from source for ${process.platform}-${process.arch}: missing ` +
        `${missing.map(([what, pkg]) => `${what}, from the Debian package ${pkg}`).join('; ')}. ` +
        `Install them (apt-get install ${[...new Set(missing.map(([, pkg]) => pkg))].join(' ')}) ` +
        'and run `npm rebuild hostlink`',
    );
  }
  return { cmake, cc, cxx };
}

// The directory a dependency's exports name, found from this package as Node would.
function dependencyDir(name, field) {
  try {
    return require(require.resolve(name, { paths: [root] }))[field];
  } catch (error) {
    return fail(`cannot build the add-on from source: the package ${name} is missing (${error.message})`);
  }
}

// CMake takes a ";" in a path for a list separator, which would make it read and write
// elsewhere than the folders named, outside the package among them: refused before it runs.
function refuseListSeparator(what, folder) {
  if (folder.includes(';')) {
    fail(`cannot build the add-on from source: ${what} ${folder} holds a ";", which CMake ` +
      'reads as a list separator; install the project in a folder whose path has no ";"');
  }
}

function buildFromSource(reason) {
  refuseListSeparator('the package folder', root);
  const tools = checkTools();
  const addonApi = dependencyDir('node-addon-api', 'include_dir');
  const apiHeaders = dependencyDir('node-api-headers', 'include_dir');
  refuseListSeparator('the folder of node-addon-api', addonApi);
  refuseListSeparator('the folder of node-api-headers', apiHeaders);
  const configure = [
    '-S', root, '-B', buildDir,
    '-DCMAKE_BUILD_TYPE=Release',
    `-DCMAKE_C_COMPILER=${tools.cc}`,
    `-DCMAKE_CXX_COMPILER=${tools.cxx}`,
    '-DHOSTLINK_BUILD_ADDON=ON',
    '-DHOSTLINK_BUILD_TESTS=OFF',
    '-DHOSTLINK_BUILD_BENCH=OFF',
    '-DHOSTLINK_WERROR=OFF',
    `-DHOSTLINK_NODE_ADDON_API_DIR=${addonApi}`,
    `-DHOSTLINK_NODE_API_HEADERS_DIR=${apiHeaders}`,
    // The headers the package ships, so that the build does not depend on the system's.
    `-DRAPIDJSON_INCLUDE_DIR=${path.join(root, 'third_party', 'rapidjson', 'include')}`,
  ];
  const jobs = String(typeof os.availableParallelism === 'function' ? os.availableParallelism() : os.cpus().length);
  log(`building the add-on from source into ${buildDir}${reason ? ` (${reason})` : ''}`);
  for (const args of [configure, ['--build', buildDir, '--target', 'Hostlink', '-j', jobs]]) {
    const result = childProcess.spawnSync(tools.cmake, args, { stdio: 'inherit' });
    if (result.error || result.status !== 0) {
      fail(`building the add-on from source failed at \`cmake ${args.join(' ')}\``);
    }
  }
  const error = loadError();
  if (error) fail(`the add-on built into ${buildDir} does not load: ${error.message}`);
  log(`built ${path.join(buildDir, 'Hostlink.node')}`);
}

function main() {
  if (fs.existsSync(path.join(root, '.git'))) return;
  if (/^(true|1)$/.test(process.env.npm_config_build_from_source || '')) {
    buildFromSource('asked for with --build-from-source');
    return;
  }
  const error = loadError();
  if (error) buildFromSource(error.message);
}

main();
