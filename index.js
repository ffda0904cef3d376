// Loads the native add-on and hands back its own exports object: a build made in this folder
// (a checkout, or a build from source at install) when there is one, otherwise the binary
// prebuilt for this platform under prebuilds/, found by node-gyp-build. index.mjs is the
// ES-module face of the same object.
'use strict';

const fs = require('fs');
const path = require('path');

// The CMake build's output, in a checkout and after a build from source at install.
const localBuild = path.join(__dirname, 'build', 'Hostlink.node');

// A runtime's permission system said no: Deno without --allow-ffi, --allow-env or
// --allow-read ("NotCapable"), Node's permission model without --allow-fs-read or
// --allow-addons.
const refused = (cause) =>
  cause.name === 'NotCapable' || cause.code === 'ERR_ACCESS_DENIED' || cause.code === 'ERR_DLOPEN_DISABLED';
const GRANT = 'the runtime refused access; grant it (Deno: --allow-ffi --allow-env --allow-read; ' +
  "Node's permission model: --allow-fs-read --allow-addons)";

function loaderError(text, cause) {
  const error = new Error(`Hostlink: ${text} (${cause.message})`);
  error.cause = cause;
  return error;
}

function loadFile(file, remedy) {
  try {
    return require(file);
  } catch (cause) {
    throw loaderError(`cannot load the native add-on from ${file}; ${refused(cause) ? GRANT : remedy}`, cause);
  }
}

function platformName() {
  const libc = process.platform === 'linux' ? (fs.existsSync('/etc/alpine-release') ? ', musl' : ', glibc') : '';
  return `${process.platform}-${process.arch}${libc}, Node ${process.versions.node}`;
}

// Why the prebuilds/ folder cannot be listed, when that is why node-gyp-build found nothing
// (it takes an unreadable folder for an empty one); undefined when it can be, or is absent.
function unreadablePrebuilds() {
  try {
    fs.readdirSync(path.join(__dirname, 'prebuilds'));
  } catch (cause) {
    if (cause.code !== 'ENOENT') return cause;
  }
  return undefined;
}

function loadPrebuild() {
  let file;
  try {
    file = require('node-gyp-build').path(__dirname);
  } catch (searchError) {
    const cause = /^No native build was found/.test(searchError.message) ? unreadablePrebuilds() : searchError;
    if (cause) {
      throw loaderError(`cannot look for the native add-on in ${__dirname}; ` +
        (refused(cause) ? GRANT : 'the search failed'), cause);
    }
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
    error.cause = searchError;
    throw error;
  }
  return loadFile(file, 'build it from source with `npm rebuild hostlink --build-from-source`');
}

function load() {
  if (process.env.HOSTLINK_ADDON) {
    // Another build of the add-on (the sanitizer build, say).
    return loadFile(path.resolve(process.env.HOSTLINK_ADDON), 'build it with `npm run setup`');
  }
  if (fs.existsSync(localBuild)) return loadFile(localBuild, 'build it with `npm run setup`');
  return loadPrebuild();
}

let addon;
try {
  addon = load();
} catch (cause) {
  // A refusal outside loadFile and loadPrebuild: reading HOSTLINK_ADDON or build/.
  if (/^Hostlink: /.test(cause.message) || !refused(cause)) throw cause;
  throw loaderError(`cannot load the native add-on from ${__dirname}; ${GRANT}`, cause);
}

// Bun hands a library that registers from its load-time initializer (napi_module_register)
// its module record as the exports object, so the object carries an enumerable `exports`
// key pointing at itself; Node and Deno add nothing. Bun's require reads that key, so it
// stays, hidden from enumeration like the record's other members.
const record = Object.getOwnPropertyDescriptor(addon, 'exports');
if (record && record.enumerable && record.configurable && record.value === addon) {
  Object.defineProperty(addon, 'exports', { enumerable: false });
}

module.exports = addon;
