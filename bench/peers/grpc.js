'use strict';
// gRPC with @grpc/grpc-js over a unix:// socket to a Node child: a unary Echo whose request
// and answer are the protobuf message `message Number { int64 value = 1; }`, encoded by hand
// (the service definition is what a .proto loader would produce for it).

const grpc = require('@grpc/grpc-js');
const { socketPath, startServer, stopServer } = require('./child');

// Field 1 as a varint: the tag byte 0x08, then the value seven bits at a time.
function encodeNumber({ value }) {
  const bytes = [];
  let rest = BigInt.asUintN(64, BigInt(value));
  if (rest !== 0n) {
    bytes.push(0x08);
    do {
      const low = Number(rest & 0x7fn);
      rest >>= 7n;
      bytes.push(rest !== 0n ? low | 0x80 : low);
    } while (rest !== 0n);
  }
  return Buffer.from(bytes);
}

function decodeNumber(buffer) {
  let value = 0n;
  if (buffer.length > 0 && buffer[0] === 0x08) {
    for (let i = 1, shift = 0n; i < buffer.length; i += 1, shift += 7n) {
      value |= BigInt(buffer[i] & 0x7f) << shift;
      if ((buffer[i] & 0x80) === 0) break;
    }
  }
  return { value: Number(BigInt.asIntN(64, value)) };
}

const SERVICE = {
  echo: {
    path: '/hostlink.bench.Bench/Echo',
    requestStream: false,
    responseStream: false,
    requestSerialize: encodeNumber,
    requestDeserialize: decodeNumber,
    responseSerialize: encodeNumber,
    responseDeserialize: decodeNumber,
  },
};

async function start(cpu) {
  const address = socketPath('grpc');
  const child = await startServer(__filename, address, cpu);
  const Client = grpc.makeGenericClientConstructor(SERVICE, 'Bench');
  const client = new Client(`unix://${address}`, grpc.credentials.createInsecure());
  return {
    call: () =>
      new Promise((resolve, reject) => {
        client.echo({ value: 42 }, (error, answer) => (error ? reject(error) : resolve(answer.value)));
      }),
    close: async () => {
      client.close();
      await stopServer(child, address);
    },
  };
}

function serve(address) {
  const server = new grpc.Server();
  server.addService(SERVICE, { echo: (call, callback) => callback(null, call.request) });
  require('node:fs').rmSync(address, { force: true });
  server.bindAsync(`unix://${address}`, grpc.ServerCredentials.createInsecure(), (error) => {
    if (error) throw error;
    process.stdout.write('ready\n');
  });
  process.on('SIGTERM', () => server.forceShutdown() || process.exit(0));
}

if (require.main === module && process.argv[2] === '--serve') serve(process.argv[3]);

module.exports = { start, encodeNumber, decodeNumber };
