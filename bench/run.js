'use strict';
// The benchmark suite (npm run bench): builds what it needs, then measures every case,
// floor and peer in each of the four placements and prints one table per placement.
//
//   npm run bench [-- --quick] [-- --json] [-- --placement P]
//
//   --quick        fewer calls
//   --json         print only one JSON object, the figures of the unpinned placement (or of
//                  the one placement measured)
//   --no-setup     skip scripts/setup (the build must be there already)
//   --placement P  measure only placement P (one_cpu, two_cpus, unpinned, busy)
//
// HOSTLINK_BUILD_DIR selects the build folder to measure (default build/, which
// scripts/setup creates and updates).

const childProcess = require('node:child_process');
const os = require('node:os');
const path = require('node:path');
const { PLACEMENTS, onCpu, cpuCount, startHogs } = require('./lib/placement');
const { placementBlock, jsonObject } = require('./lib/report');
const { measureConversion } = require('./conversion');

const repoRoot = path.resolve(__dirname, '..');

function parseArguments(argv) {
  const options = { quick: false, json: false, setup: true, placements: PLACEMENTS.map((p) => p.name) };
  for (let i = 0; i < argv.length; i += 1) {
    const argument = argv[i];
    if (argument === '--quick') options.quick = true;
    else if (argument === '--json') options.json = true;
    else if (argument === '--no-setup') options.setup = false;
    else if (argument === '--placement' && i + 1 < argv.length) options.placements = [argv[++i]];
    else throw new Error(`bench: unknown option ${argument}`);
  }
  const unknown = options.placements.find((name) => !PLACEMENTS.some((p) => p.name === name));
  if (unknown) throw new Error(`bench: unknown placement ${unknown} (one of ${PLACEMENTS.map((p) => p.name).join(', ')})`);
  return options;
}

function setup(buildDir) {
  process.stderr.write('bench: scripts/setup (install what is missing, build)\n');
  // Its output goes to stderr, so that --json leaves stdout to the one object.
  const result = childProcess.spawnSync('bash', [path.join(repoRoot, 'scripts', 'setup')], {
    cwd: repoRoot,
    env: { ...process.env, HOSTLINK_BUILD_DIR: buildDir },
    stdio: ['ignore', process.stderr, process.stderr],
  });
  if (result.status !== 0) throw new Error('bench: scripts/setup failed');
}

function measurePlacement(placement, options, buildDir) {
  const config = JSON.stringify({ placement, quick: options.quick, buildDir, memory: placement.name === 'unpinned' });
  const argv = onCpu(placement.client, [process.execPath, path.join(__dirname, 'measure-placement.js'), config]);
  const stopHogs = placement.hogs ? startHogs(placement.hogs) : () => {};
  let result;
  try {
    result = childProcess.spawnSync(argv[0], argv.slice(1), {
      cwd: repoRoot,
      encoding: 'utf8',
      stdio: ['ignore', 'pipe', process.stderr],
      maxBuffer: 16 * 1024 * 1024,
    });
  } finally {
    stopHogs();
  }
  if (result.status !== 0) throw new Error(`bench: placement ${placement.name} failed`);
  return JSON.parse(result.stdout);
}

function machineLine() {
  const cpus = os.cpus();
  return `Machine: ${cpuCount()} CPUs, ${cpus[0] ? cpus[0].model.trim() : 'unknown CPU'}, ${os.type()} ${os.release()}, Node ${process.version}`;
}

function main() {
  const options = parseArguments(process.argv.slice(2));
  const buildDir = process.env.HOSTLINK_BUILD_DIR || 'build';
  if (options.setup) setup(buildDir);
  if (cpuCount() < 2) process.stderr.write('bench: one CPU only; the two-CPU placement measures nothing different\n');

  const results = [];
  for (const placement of PLACEMENTS.filter((p) => options.placements.includes(p.name))) {
    results.push({ placement, figures: measurePlacement(placement, options, buildDir) });
  }
  // Result conversion alone, in this process, unpinned.
  const conversion = measureConversion({ quick: options.quick, buildDir });
  if (options.json) {
    const unpinned = results.find((result) => result.placement.name === 'unpinned') || results[results.length - 1];
    process.stdout.write(`${JSON.stringify({ ...jsonObject(unpinned.figures), conversion })}\n`);
    return;
  }
  const blocks = results.map(({ placement, figures }) => placementBlock(placement, figures));
  const conversionBlock = `Result conversion alone, MakeList(1400) (${conversion.text_bytes} B of JSON text): ` +
    `add-on ${conversion.convert_us.toFixed(1)} µs, V8 JSON.parse ${conversion.json_parse_us.toFixed(1)} µs ` +
    `(conversion at ${conversion.speed_vs_json_parse.toFixed(2)} × JSON.parse's speed)`;
  process.stdout.write(`${machineLine()}${options.quick ? ' (quick run)' : ''}\n\n${blocks.join('\n\n')}\n\n${conversionBlock}\n`);
}

try {
  main();
} catch (error) {
  process.stderr.write(`${error.message}\n`);
  process.exit(1);
}
