// Loads the native add-on and hands back its own exports object unchanged: a build made in
// this folder (a checkout, or a build from source at install) when there is one, otherwise
// the binary prebuilt for this platform under prebuilds/, found by node-gyp-build.
'use strict';

const fs = require('fs');
const path = require('path');

// The CMake build's output, in a checkout and after a build from source at install.
const localBuild = path.join(__dirname, 'build', 'Hostlink.node');

function loadFile(file, remedy) {
  try {
    return require(file);
  } catch (cause) {
    const error = new Error(
      `Hostlink: cannot load the native add-on from ${file}; ${remedy} (${cause.message})`,
    );
    error.cause = cause;
    throw error;
  }
}

function platformName() {
  const libc = process.platform === 'linux' ? (fs.existsSync('/etc/alpine-release') ? ', musl' : ', glibc') : '';
  return `${process.platform}-${process.arch}${libc}, Node ${process.versions.node}`;
}

function loadPrebuild() {
  let file;
  try {
    file = require('node-gyp-build').path(__dirname);
  } catch (cause) {
    const tried = [
      localBuild,
      path.join(__dirname, 'build', 'Release'),
      path.join(__dirname, 'prebuilds', `${process.platform}-${process.arch}`),
    ];
    const error = new Error(
      `Hostlink: no native add-on for ${platformName()}; tried ${tried.join(', ')}. ` +
        'Build it from source with `npm rebuild hostlink` (needs CMake, make, a C and C++ ' +
        'compiler and the bzip2 headers; see the README)',
    );
    error.cause = cause;
    throw error;
  }
  return loadFile(file, 'build it from source with `npm rebuild hostlink --build-from-source`');
}

let addon;
if (process.env.HOSTLINK_ADDON) {
  // Another build of the add-on (the sanitizer build, say).
  addon = loadFile(path.resolve(process.env.HOSTLINK_ADDON), 'build it with `npm run setup`');
} else if (fs.existsSync(localBuild)) {
  addon = loadFile(localBuild, 'build it with `npm run setup`');
} else {
  addon = loadPrebuild();
}

module.exports = addon;
