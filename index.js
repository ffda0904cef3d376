// Loads the native add-on and hands back its own exports object unchanged.
'use strict';

const path = require('path');

// HOSTLINK_ADDON points at another build of the add-on (the sanitizer build, say).
const addonPath = process.env.HOSTLINK_ADDON
  ? path.resolve(process.env.HOSTLINK_ADDON)
  : path.join(__dirname, 'build', 'Hostlink.node');

let addon;
try {
  addon = require(addonPath);
} catch (cause) {
  const error = new Error(
    `Hostlink: cannot load the native add-on from ${addonPath}; build it with \`npm run setup\` ` +
      `(${cause.message})`,
  );
  error.cause = cause;
  throw error;
}

module.exports = addon;
