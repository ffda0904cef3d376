// The package as an ES module: the add-on's exports object that index.js loads, as the
// default export and as named exports, so that `import { Initialize } from 'hostlink'` and
// `import hostlink from 'hostlink'` reach the same functions as require('hostlink').
import { createRequire } from 'node:module';

const addon = createRequire(import.meta.url)('./index.js');

export default addon;
export const {
  Initialize,
  GetKestrel,
  CleanUp,
  RegisterCallback,
  DeregisterCallback,
  SetAPITimeout,
  Async,
  GetKestrelAsync,
} = addon;
