'use strict';
// JSON-RPC with vscode-jsonrpc over a Unix socket to a Node child: echo(42).

const net = require('node:net');
const rpc = require('vscode-jsonrpc/node');
const { socketPath, startServer, stopServer, listenOnPath } = require('./child');

function connectionOver(socket) {
  return rpc.createMessageConnection(new rpc.SocketMessageReader(socket), new rpc.SocketMessageWriter(socket));
}

async function start(cpu) {
  const address = socketPath('jsonrpc');
  const child = await startServer(__filename, address, cpu);
  const socket = net.connect(address);
  await new Promise((resolve, reject) => socket.once('connect', resolve).once('error', reject));
  const connection = connectionOver(socket);
  connection.listen();
  return {
    call: () => connection.sendRequest('echo', 42),
    close: async () => {
      connection.dispose();
      socket.destroy();
      await stopServer(child, address);
    },
  };
}

function serve(address) {
  const server = net.createServer((socket) => {
    const connection = connectionOver(socket);
    connection.onRequest('echo', (value) => value);
    connection.listen();
  });
  listenOnPath(server, address);
}

if (require.main === module && process.argv[2] === '--serve') serve(process.argv[3]);

module.exports = { start };
