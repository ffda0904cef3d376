'use strict';
// Newline-delimited JSON over a Unix socket (net) to a Node child: one request line
// {"id","method","params"}, one answer line {"id","result"}.

const net = require('node:net');
const { socketPath, startServer, stopServer, listenOnPath } = require('./child');

// Calls onLine for every complete line that arrives on socket.
function readLines(socket, onLine) {
  let pending = '';
  socket.setEncoding('utf8');
  socket.on('data', (chunk) => {
    pending += chunk;
    let end;
    while ((end = pending.indexOf('\n')) >= 0) {
      const line = pending.slice(0, end);
      pending = pending.slice(end + 1);
      onLine(line);
    }
  });
}

async function start(cpu) {
  const address = socketPath('ndjson');
  const child = await startServer(__filename, address, cpu);
  const socket = net.connect(address);
  await new Promise((resolve, reject) => socket.once('connect', resolve).once('error', reject));
  const waiting = new Map();
  let nextId = 0;
  readLines(socket, (line) => {
    const answer = JSON.parse(line);
    const resolve = waiting.get(answer.id);
    waiting.delete(answer.id);
    resolve(answer.result);
  });
  return {
    call: () =>
      new Promise((resolve) => {
        nextId += 1;
        waiting.set(nextId, resolve);
        socket.write(`${JSON.stringify({ id: nextId, method: 'echo', params: [42] })}\n`);
      }),
    close: async () => {
      socket.destroy();
      await stopServer(child, address);
    },
  };
}

function serve(address) {
  const server = net.createServer((socket) => {
    readLines(socket, (line) => {
      const request = JSON.parse(line);
      socket.write(`${JSON.stringify({ id: request.id, result: request.params[0] })}\n`);
    });
  });
  listenOnPath(server, address);
}

if (require.main === module && process.argv[2] === '--serve') serve(process.argv[3]);

module.exports = { start };
