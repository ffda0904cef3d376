'use strict';
// A short plug-in for the example host: node examples/host/todo-plugin.js ID, with
// todo-host --plugin-id ID running. It adds two items, marks one done, waits for the
// "ItemDone" callback with the item's title and the item, and unloads (the host then ends). Exits 1 if anything is off.
const assert = require('node:assert');
const hostlink = require('../..');

const pluginId = process.argv[2];
if (!pluginId) {
  console.error('usage: node todo-plugin.js PLUGIN_ID');
  process.exit(2);
}

hostlink.Initialize(pluginId);
hostlink.SetAPITimeout(10);
const todo = hostlink.GetKestrel();
assert.strictEqual(todo.RunsOnMainThread(), true);  // the host's functions run on its main thread
const report = todo.AddItem('Write the report');
todo.AddItem('Book the room');
assert.strictEqual(todo.Count(), 2);
assert.deepStrictEqual(todo.GetItems().map((item) => item.GetTitle()),
                       ['Write the report', 'Book the room']);
assert.throws(() => report.SetTitle(''), /A title must not be empty/);

const timer = setTimeout(() => {
  console.error('todo-plugin: no ItemDone callback within 5 s');
  process.exit(1);
}, 5000);
hostlink.RegisterCallback('ItemDone', (title, item) => {
  clearTimeout(timer);
  assert.strictEqual(title, 'Write the report');
  assert.strictEqual(item.GetTitle(), title);  // the item passed itself along
  assert.strictEqual(report.IsDone(), true);
  hostlink.DeregisterCallback('ItemDone');
  hostlink.CleanUp();
  console.log('todo-plugin: ok');
});
assert.strictEqual(report.MarkDone(), true);
