'use strict';
// Reads ThreadSanitizer's report files and prints those on our code alone. Node and V8 are not
// built with the sanitizer, so what orders their threads (their own atomics, libuv's queues, a
// file descriptor closed by a raw system call) is invisible to it: a report with an access in
// Node is noise, whether the other access is ours or not. A report counts when every stack of
// an access or a lock starts, past the sanitizer and the C and C++ runtimes, in the add-on or a
// host; where a thread, a mutex or the memory was made does not decide.
// Usage: node scripts/tsan-races.js FILE...; exits 1 when any report counts.
const fs = require('node:fs');

const RUNTIMES = /\((libtsan|libstdc\+\+|libc|libm|libgcc_s)\.so[.\d]*\+/;
const OURS = /\((Hostlink\.node|hostlink[\w-]*)\+/;
const NOT_AN_ACCESS = /created (by|at)|allocated by|synchronized via/;

function onOurCodeAlone(report) {
  let stacks = 0;
  let decided = true;
  for (const line of report.split('\n')) {
    if (!/^\s+#\d+ /.test(line)) {
      if (line.trim() !== '') decided = NOT_AN_ACCESS.test(line);
      continue;
    }
    if (decided || RUNTIMES.test(line)) continue;
    decided = true;
    if (!OURS.test(line)) return false;
    stacks += 1;
  }
  return stacks > 0;
}

let counted = 0;
let ignored = 0;
for (const file of process.argv.slice(2)) {
  const reports = fs.readFileSync(file, 'utf8').split(/^=+$/m);
  for (const report of reports.filter((r) => r.includes('WARNING: ThreadSanitizer'))) {
    if (onOurCodeAlone(report)) {
      counted += 1;
      process.stderr.write(`${file}:${report}\n`);
    } else {
      ignored += 1;
    }
  }
}
console.log(`ThreadSanitizer: ${counted} report(s) on our code, ${ignored} with an access in Node`);
process.exit(counted > 0 ? 1 : 0);
