'use strict';
// Node's own child_process IPC channel (what child_process.fork sets up) to a Node child:
// send({id, method, params}), answered by send({id, result}).

const { startServer, stopServer } = require('./child');

async function start(cpu) {
  // Spawned with an IPC channel rather than by fork itself, so that taskset can place it.
  const child = await startServer(__filename, 'ipc', cpu, { withIpc: true });
  const waiting = new Map();
  let nextId = 0;
  child.on('message', (answer) => {
    const resolve = waiting.get(answer.id);
    waiting.delete(answer.id);
    resolve(answer.result);
  });
  return {
    call: () =>
      new Promise((resolve) => {
        nextId += 1;
        waiting.set(nextId, resolve);
        child.send({ id: nextId, method: 'echo', params: [42] });
      }),
    close: async () => {
      child.disconnect();
      await stopServer(child);
    },
  };
}

function serve() {
  process.on('message', (request) => process.send({ id: request.id, result: request.params[0] }));
  process.on('disconnect', () => process.exit(0));
  process.stdout.write('ready\n');
}

if (require.main === module && process.argv[2] === '--serve') serve();

module.exports = { start };
