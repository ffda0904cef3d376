'use strict';
// Where the two processes of a measurement run on this machine: both on one CPU, on two
// different CPUs, or wherever the scheduler puts them, on an idle machine or beside
// CPU-bound processes. A CPU of -1 means unpinned.

const childProcess = require('node:child_process');

const PLACEMENTS = [
  { name: 'one_cpu', title: 'both processes on CPU 0', client: 0, server: 0 },
  { name: 'two_cpus', title: 'client on CPU 0, server on CPU 1', client: 0, server: 1 },
  { name: 'unpinned', title: 'unpinned', client: -1, server: -1 },
  // A busy machine: the host application and the plug-in's window render beside the calls.
  { name: 'busy', title: 'unpinned, two CPU-bound processes (nice 0) beside', client: -1, server: -1, hogs: 2 },
];

// Starts `count` CPU-bound processes at the bench's own priority (plain loops, nice 0,
// unpinned); returns a function that stops them by their pids.
function startHogs(count) {
  const pids = [];
  for (let i = 0; i < count; i += 1) {
    const hog = childProcess.spawn(process.execPath, ['-e', 'for (;;) {}'], { stdio: 'ignore' });
    pids.push(hog.pid);
  }
  const stop = () => {
    for (const pid of pids.splice(0)) {
      try {
        process.kill(pid, 'SIGKILL');
      } catch {
        // already gone
      }
    }
  };
  // An interrupted bench leaves no loop behind.
  process.once('exit', stop);
  return stop;
}

// Pins every thread of a running process; threads it starts later inherit the CPU.
function pinProcess(pid, cpu) {
  if (cpu < 0) return;
  const result = childProcess.spawnSync('taskset', ['-a', '-p', '-c', String(cpu), String(pid)], {
    encoding: 'utf8',
  });
  if (result.status !== 0) {
    throw new Error(`taskset could not pin process ${pid} to CPU ${cpu}: ${result.stderr || result.error}`);
  }
}

// The command line that runs argv on cpu (unchanged when unpinned).
function onCpu(cpu, argv) {
  return cpu < 0 ? argv : ['taskset', '-c', String(cpu), ...argv];
}

function cpuCount() {
  return require('node:os').availableParallelism?.() ?? require('node:os').cpus().length;
}

module.exports = { PLACEMENTS, pinProcess, onCpu, cpuCount, startHogs };
