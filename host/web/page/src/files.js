// Files in and out: INI and OBJ files dropped on the page or chosen, written
// into the module's file system and made the scene; and a text downloaded.
import { $, status } from './dom.js';
import { iniText, parseMembrane } from './ini.js';
import { change } from './scene_actions.js';

async function takeFiles(app, files) {
  const list = [...files].filter((f) => /\.(ini|obj)$/i.test(f.name));
  if (list.length === 0) return status('drop an .ini or .obj file', true);
  const FS = app.M.FS;
  try {
    FS.mkdir('/dropped');
  } catch {
    // there already
  }
  for (const f of list) FS.writeFile(`/dropped/${f.name}`, new Uint8Array(await f.arrayBuffer()));
  const ini = list.find((f) => /\.ini$/i.test(f.name));
  const objs = list.filter((f) => /\.obj$/i.test(f.name));
  // the mesh an INI file names is the dropped OBJ file of that name, where
  // ever the file's path put it
  const named = ini ? parseMembrane(iniText(FS.readFile(`/dropped/${ini.name}`))).mesh || '' : '';
  const base = named
    .replace(/^"(.*)"$/, '$1')
    .split(/[\\/]/)
    .pop()
    .toLowerCase();
  const mesh = ini ? objs.find((f) => f.name.toLowerCase() === base) : objs[0];
  const used = [ini, mesh].filter(Boolean).map((f) => f.name);
  const unused = objs.filter((f) => f !== mesh).map((f) => f.name);
  change(app, (c) => {
    c.preset = '';
    c.opt = mesh ? { mesh: `/dropped/${mesh.name}` } : {};
    c.file = { ini: ini ? `/dropped/${ini.name}` : '', names: used, unused };
  });
}

export function wireFiles(app) {
  $('file-input').addEventListener('change', (e) => takeFiles(app, e.target.files));
  const zone = document.body;
  zone.addEventListener('dragover', (e) => {
    e.preventDefault();
    $('drop-zone').classList.add('over');
  });
  zone.addEventListener('dragleave', () => $('drop-zone').classList.remove('over'));
  zone.addEventListener('drop', (e) => {
    e.preventDefault();
    $('drop-zone').classList.remove('over');
    takeFiles(app, e.dataTransfer.files);
  });
}

export function download(name, text) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}
