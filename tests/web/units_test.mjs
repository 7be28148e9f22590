// The page's own logic under Node's test runner: the address round trip, undo and redo of its store, and what
// Save INI writes for a side (on the module that TUMELIN_PREVIEW_MODULE names).
//   TUMELIN_PREVIEW_MODULE=build/web/tumelin_preview.js node --test tests/web/units_test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';
import { applyConfig, savedName } from '../../host/web/page/src/ini.js';
import { decode, empty, encode } from '../../host/web/page/src/scene_url.js';
import { Store } from '../../host/web/page/src/store.js';

const M = await createRequire(import.meta.url)(path.resolve(process.env.TUMELIN_PREVIEW_MODULE))();
const cfgOf = ({ set, ...rest }) => ({ ...empty(), ...rest, set: { A: {}, B: {}, ...set } });

test('a configuration comes back from its address, without the mesh, the dropped files and unknown keys', () => {
  for (const [cfg, back, unknown = [], missing = []] of [
    [{ preset: 'pillow', opt: { columns: '65', pin: 'points', pinPoints: '0,12' }, ab: true, set: { B: { ClothP: '1,2' } } }],
    [{ opt: { shape: 'tube' }, set: { A: { ClothC: 'a&b=c#d é%' } } }],
    [{ opt: { mesh: '/dropped/x.obj' }, file: { names: ['x.ini', 'x.obj'] } }, {}, [], ['x.ini', 'x.obj']],
    [{ opt: { size: '2' }, set: { A: { Nope: '1' } } }, {}, ['size', 'A.Nope']],
  ]) {
    const got = decode('#' + encode(cfgOf(cfg)), ['shape', 'columns', 'pin', 'pinPoints', 'mesh'], M.setupKeys());
    assert.deepEqual(got, { cfg: cfgOf(back ?? cfg), unknown, missing });
  }
});

test('undo and redo walk the history; a slider still moving makes its step when it is let go', () => {
  const store = new Store();
  const put = (text, final = true) => () => store.change((c) => (c.set.A.ClothP = text), final);
  const [undo, redo, release] = [() => store.undo(), () => store.redo(), () => store.change(() => {})];
  for (const [act, clothP, undos, redos] of [[put('1'), '1', 1, 0], [put('2', false), '2', 1, 0],
    [put('3', false), '3', 1, 0], [release, '3', 2, 0], [release, '3', 2, 0], [undo, '1', 1, 1], [undo, undefined, 0, 2],
    [undo, undefined, 0, 2], [redo, '1', 1, 1], [put('4'), '4', 2, 0], [redo, '4', 2, 0]]) {
    act();
    assert.deepEqual([store.cfg.set.A.ClothP, store.undoStack.length, store.redoStack.length], [clothP, undos, redos]);
  }
});

test("Save INI writes the side's settings over the options, under the side's name", () => {
  const cfg = cfgOf({ opt: { shape: 'tube', columns: '9' }, ab: true, set: { A: { ClothC: '3' }, B: { ClothC: '5', ClothP: '1\n2' } } });
  const scene = new M.Scene();
  for (const [side, refused, lines] of [['A', [], ['ClothC=3', 'Shape=tube', 'Columns=9']], ['B', ['ClothP'], ['ClothC=5', 'ClothP=5e-1']]]) {
    assert.deepEqual([Object.keys(applyConfig(scene, cfg, side)), scene.build('')], [refused, '']);
    for (const line of lines) assert.match(scene.sceneIni(), new RegExp(`^${line}\r?$`, 'm'));
    assert.equal(savedName(cfg, side, scene.scenario().name), `${scene.scenario().name}-${side}.ini`);
  }
});
