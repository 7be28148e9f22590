// The preview's module gives the bits of the plug-in: for every example, and
// for settings and shapes the page changes, the state hash after the run
// equals the one tumelin-host prints for the same scene, and so does a run
// of the INI file that the page's "Save INI" writes for it.
//   node hash_test.mjs --module tumelin_preview.js --host tumelin-host --examples DIR
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';
import { parseArgs } from 'node:util';
import { exampleFiles } from '../../host/web/page/examples.mjs';
import { applyConfig } from '../../host/web/page/src/ini.js';

const { values: args } = parseArgs({
  options: { module: { type: 'string' }, host: { type: 'string' }, examples: { type: 'string' } },
});
if (!existsSync(args.host ?? '')) {
  console.error(`no tumelin-host at '${args.host}': this test compares with the native build's (make native)`);
  process.exit(1);
}
const M = await createRequire(import.meta.url)(path.resolve(args.module))();
// the host's warnings (a comma it does not take) are not this test's output
const host = (...words) => execFileSync(args.host, words, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });

// the examples as the page carries them (with the meshes they name), at the
// same paths in the module's file system as on disk
const root = path.dirname(path.resolve(args.examples));
const examples = [];
for (const file of exampleFiles(args.examples)) {
  const at = path.resolve(root, file.path);
  M.FS.mkdirTree(path.dirname(at));
  M.FS.writeFile(at, file.text);
  if (at.endsWith('.ini')) examples.push(at);
}

// the hash after the run, and the text of Save INI; `steps` defaults to the scene's own
function moduleRun({ ini = '', choices = {}, sets = [], steps, separator = '.' }) {
  const scene = new M.Scene();
  try {
    scene.useSeparator(separator);
    // as the page puts its configuration to the scene
    const refused = applyConfig(scene, { opt: choices, set: { A: Object.fromEntries(sets.map((s) => s.split('='))) } }, 'A');
    if (Object.keys(refused).length) throw new Error(`refused: ${JSON.stringify(refused)}`);
    const error = scene.build(ini);
    if (error !== '') throw new Error(error);
    const want = steps ?? scene.scenario().steps;
    if (scene.step(want) !== want) throw new Error(scene.diverged());
    return { hash: scene.hash(), saved: scene.sceneIniAtStep(), mesh: scene.scenario().mesh };
  } finally {
    scene.delete();
  }
}

// the saved INI file, beside the mesh it names by its file name, run again for the Steps= it holds: the step shown
function savedRunHash(run, name) {
  const file = path.join(run.mesh ? path.dirname(run.mesh) : '/saved', `saved ${name}.ini`);
  M.FS.mkdirTree(path.dirname(file));
  M.FS.writeFile(file, run.saved);
  return moduleRun({ ini: file }).hash;
}

// "HASH  NAME  N steps", one line per file
const exampleHashes = host('hash', ...examples).trim().split('\n').map((line) => line.split(/\s+/)[0]);
const cases = examples.map((ini, i) => ({ name: path.basename(ini), scene: { ini }, want: exampleHashes[i] }));

// what the page changes: a slider, a comma under the point locale, the
// integrator, a shape and its sizes built from options alone
const pillow = path.resolve(args.examples, 'pillow.ini');
const changed = [
  { name: 'pillow, ClothP slider', scene: { ini: pillow, sets: ['ClothP=0.7'], steps: 300 } },
  { name: 'pillow, ClothK0 "0,5"', scene: { ini: pillow, sets: ['ClothK0=0,5'], steps: 300 } },
  // read as a host in a comma locale reads it: as the point host reads "0.5"
  { name: 'pillow, ClothK0 "0,5" on a \',\' host', scene: { ini: pillow, sets: ['ClothK0=0,5'], separator: ',', steps: 300, hostSets: ['ClothK0=0.5'] } },
  { name: 'tube by options, RK4', scene: { choices: { shape: 'tube', columns: '33', rows: '17' },
    sets: ['ClothMethod=2', 'ClothC=3'], steps: 250 } },
  { name: 'torus pinned below', scene: { choices: { shape: 'torus', pin: 'below', pinBelow: '-0.1' },
    sets: ['ClothK1=0.5'], steps: 250 } },
];
// each option's tumelin-host flag, as the options table gives it
const flags = new Map(M.membraneOptions().map((o) => [o.key, o.flag]));
for (const c of changed) {
  const { ini, choices = {}, sets, steps, hostSets = sets } = c.scene;
  const words = ['run', ...(ini ? ['--ini', ini] : []), '--steps', String(steps), '--hash'];
  for (const [key, text] of Object.entries(choices)) words.push('--' + flags.get(key), text);
  for (const set of hostSets) words.push('--set', set);
  c.want = /^hash (\w+)$/m.exec(host(...words))[1];
  cases.push(c);
}

for (const c of cases) {
  test(c.name, () => {
    const run = moduleRun(c.scene);
    assert.deepEqual({ run: run.hash, savedIni: savedRunHash(run, c.name) }, { run: c.want, savedIni: c.want });
  });
}
