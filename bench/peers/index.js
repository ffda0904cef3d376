'use strict';
// What a Node user would pick instead of the add-on for calling into another local
// process, each answering echo(42) from a Node child; keys as in the suite's JSON.

module.exports = {
  vscode_jsonrpc: require('./jsonrpc'),
  grpc: require('./grpc'),
  fork_ipc: require('./fork'),
  ndjson_socket: require('./ndjson'),
};
