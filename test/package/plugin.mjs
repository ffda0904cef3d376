// The plug-in script of plugin.js as an ES module: the package's named and default imports,
// which must be the very functions require('hostlink') returns, drive the same steps.
//
//   node plugin.mjs PATH_TO_HOSTLINK_HOST
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import hostlink, {
  Initialize, GetKestrel, CleanUp, RegisterCallback, DeregisterCallback, SetAPITimeout, Async, GetKestrelAsync,
} from 'hostlink';

const require = createRequire(import.meta.url);
const named = {
  Initialize, GetKestrel, CleanUp, RegisterCallback, DeregisterCallback, SetAPITimeout, Async, GetKestrelAsync,
};
assert.equal(hostlink, require('hostlink'), 'the default import is the object require gives');
for (const [name, value] of Object.entries(named)) {
  assert.equal(typeof value, 'function', `import { ${name} }`);
  assert.equal(value, hostlink[name], `import { ${name} } is the function require gives`);
}
console.log(`plugin: ES modules: imports ${Object.keys(named).length} named functions and the default`);

await require('./plugin.js').main(named, process.argv[2]);
