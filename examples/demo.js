'use strict';
// The demo plug-in: connects to a running host, walks its object model, draws a few
// shapes, listens for the host's "DocumentChanged" callback and disconnects.
//   node examples/demo.js PLUGIN_ID      (scripts/demo starts the host first)

const hostlink = require('..');

const pluginId = process.argv[2];
if (!pluginId) {
  console.error('usage: node examples/demo.js PLUGIN_ID  (or simply: npm start)');
  process.exit(2);
}

let stepNumber = 0;
function step(text) {
  stepNumber += 1;
  console.log(`\n${stepNumber}. ${text}`);
}
function show(label, value) {
  console.log(`   ${label}: ${typeof value === 'string' ? value : JSON.stringify(value)}`);
}

// Resolves when check() holds, or rejects after timeoutMs; callbacks arrive only while
// JavaScript is idle, so the demo waits without blocking.
function waitUntil(check, timeoutMs, what) {
  return new Promise((resolve, reject) => {
    const deadline = Date.now() + timeoutMs;
    const poll = () => {
      if (check()) resolve();
      else if (Date.now() > deadline) reject(new Error(`no ${what} within ${timeoutMs} ms`));
      else setTimeout(poll, 10);
    };
    poll();
  });
}

async function main() {
  step(`Connect to the host as plug-in "${pluginId}"`);
  hostlink.Initialize(pluginId);
  show('Initialize', 'connected to the request pipe');
  hostlink.SetAPITimeout(10);
  show('SetAPITimeout(10)', 'every call now waits at most 10 s for the host');

  step('Reach the root object of the host\'s scripting model');
  const app = hostlink.GetKestrel();
  show('GetKestrel()', `a proxy object of class ${app.constructor.name}`);
  show('app.GetName()', app.GetName());
  show('app.GetVersion()', app.GetVersion());
  show('its methods', Object.getOwnPropertyNames(Object.getPrototypeOf(app)).filter((n) => n !== 'constructor').join(', '));

  step('Listen for the host\'s "DocumentChanged" callback');
  let changes = 0;
  // The host passes the document that changed (a proxy, usable at once) and what changed.
  hostlink.RegisterCallback('DocumentChanged', (document, change) => {
    changes += 1;
    console.log(`   <- callback from the host: DocumentChanged("${document.GetTitle()}", "${change}"),` +
      ` ${document.GetShapeCount()} shapes now (${changes} so far)`);
  });
  show('RegisterCallback', 'registered; the host calls back on its callback pipe');

  step('List the open documents, then create one');
  const documents = app.GetDocuments();
  show('documents.Count()', documents.Count());
  const drawing = documents.Create('Demo drawing');
  show('documents.Create("Demo drawing")', `a ${drawing.constructor.name} proxy, uniqueId "${drawing.uniqueId}"`);
  show('documents.List()', documents.List().map((document) => document.GetTitle()));

  step('Add shapes: arguments travel as numbers, strings and tables');
  show('AddShape("rectangle", 10, 10, 200, 100)', drawing.AddShape('rectangle', 10, 10, 200, 100));
  show('AddShape({type: "ellipse", ...})',
    drawing.AddShape({ type: 'ellipse', x: 50, y: 40, width: 80, height: 80 }));
  drawing.MoveShape(1, 20, 30);
  show('after MoveShape(1, 20, 30), GetShapes()', drawing.GetShapes());

  step('Host errors come back as JavaScript exceptions');
  try {
    drawing.AddShape('hexagon', 0, 0, 1, 1);
  } catch (error) {
    show('AddShape("hexagon", ...) threw', error.message);
  }

  step('Wait for the callbacks the changes caused');
  await waitUntil(() => changes >= 3, 10000, 'DocumentChanged callback');
  show('DocumentChanged received', `${changes} times`);

  step('Clean up');
  show('documents.Close(drawing)', documents.Close(drawing));
  show('DeregisterCallback("DocumentChanged")', hostlink.DeregisterCallback('DocumentChanged'));
  // CleanUp would also deregister any callback still registered; it closes both pipes.
  show('CleanUp()', hostlink.CleanUp());
  console.log('\nDone.');
}

main().catch((error) => {
  console.error(`\ndemo failed: ${error.message}`);
  try {
    hostlink.CleanUp();
  } catch {
    // the host may be gone already
  }
  process.exitCode = 1;
});
