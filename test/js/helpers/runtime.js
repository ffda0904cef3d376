'use strict';
// Where the runtime running a suite behaves differently from Node on a point a test pins,
// and why. A test asks differs(point) and leaves out only that check where it is true;
// scripts/test-runtimes prints this list with its matrix.

const runtime = process.versions.bun ? 'bun' : process.versions.deno ? 'deno' : 'node';

const DIFFERENCES = {
  bun: {
    moduleRecordExports: 'a library registered from its load-time initializer gets Bun\'s module ' +
      'record as its exports object, with an enumerable "exports" key (index.js hides it; a ' +
      'direct require of Hostlink.node shows it)',
    floodInOneTurn: 'its thread-safe functions deliver every queued call in one turn of the event ' +
      'loop, so a flood of callbacks already queued lets no other work in before it ends',
    nodeOptionsRequire: 'it does not run the modules that NODE_OPTIONS --require names',
    conservativeCollector: 'its collector scans the stack conservatively, so a proxy the ' +
      'plug-in dropped may stay alive after a forced collection and its host object unreleased',
  },
  deno: {
    writableMethods: 'its Node-API leaves class methods writable whatever their attributes say',
    classCallWithoutNew: 'its Node-API runs a class constructor called without new, on the global ' +
      'object, instead of throwing a TypeError',
    floodInOneTurn: 'its thread-safe functions deliver every queued call in one turn of the event ' +
      'loop, so a flood of callbacks lets no other work in before it ends',
    ticksBetweenCallbacks: 'its thread-safe functions run the calls queued for a turn one after ' +
      'another, with no process.nextTick callbacks run between them',
    workerTeardownAfterTerminate: 'it tears a terminated worker\'s environment down after ' +
      'terminate() has resolved, so the add-on deregisters that worker\'s callbacks and releases ' +
      'the host objects its proxies held later than in Node (the releases not within 10 s)',
  },
};

// The reason `point` differs in this runtime, or false.
function differs(point) {
  const why = (DIFFERENCES[runtime] || {})[point];
  return why ? `${runtime}: ${why}` : false;
}

module.exports = { runtime, differs, DIFFERENCES };
