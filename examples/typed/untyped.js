// @ts-check
// The plug-in of plugin.ts without interfaces: plain JavaScript that `npx tsc -p examples/typed`
// checks against the add-on's declarations as they are, with no types of its own.
'use strict';

const hostlink = require('../../index');

/** @param {string} pluginId */
async function run(pluginId) {
  hostlink.Initialize(pluginId);
  hostlink.SetAPITimeout(10);
  hostlink.RegisterCallback('DocumentChanged', (document, change) => {
    console.log(`${document.GetTitle()}: ${change}`);
  });

  const app = hostlink.GetKestrel();
  console.log(app.GetName(), app.uniqueId);
  const sketch = app.GetDocuments().Create('Sketch');
  sketch.AddShape('rectangle', 10, 10, 200, 100);
  sketch.AddShape({ type: 'ellipse', x: 5, y: 6, width: 70, height: 80 });

  const documents$ = hostlink.Async(app.GetDocuments());
  const count = await documents$.Count();
  const root = await hostlink.GetKestrelAsync();
  console.log(count, await hostlink.Async(root).Echo('hello'));

  hostlink.DeregisterCallback('DocumentChanged');
  hostlink.CleanUp();
}

// Calls the add-on always refuses do not type-check either (tsc fails if one ever does).
/** @param {hostlink.ProxyObject} app */
function refusedAtCompileTime(app) {
  // @ts-expect-error: an empty array is no host argument
  app.Echo([]);
  // @ts-expect-error: an empty object is no host argument
  hostlink.Async(app).Echo('text', {});
  // @ts-expect-error: uniqueId is read-only
  app.uniqueId = 'other';
}

module.exports = { run, refusedAtCompileTime };
