// The examples as the preview carries them: every INI file of a folder and
// each mesh file one of them names, with paths relative to the folder's
// parent, so that in the module's file system an INI file finds its mesh
// where it found it on disk. The page's assembler inlines them; the hash
// test runs them.
import fs from 'node:fs';
import path from 'node:path';

// [{path, text}], paths with '/' relative to the parent of `folder`; throws
// for a folder without INI files and for a mesh that is missing or lies
// outside that parent
export function exampleFiles(folder) {
  const root = path.dirname(path.resolve(folder));
  const files = new Map();
  const inis = fs
    .readdirSync(folder)
    .filter((name) => name.endsWith('.ini'))
    .sort();
  if (inis.length === 0) throw new Error(`no INI files in ${folder}`);
  for (const name of inis) {
    const file = path.resolve(folder, name);
    const text = fs.readFileSync(file, 'utf8');
    files.set(path.relative(root, file), text);
    for (const match of text.matchAll(/^\s*Mesh\s*=\s*(.+?)\s*$/gim)) {
      const mesh = path.resolve(path.dirname(file), match[1]);
      const relative = path.relative(root, mesh);
      if (path.isAbsolute(match[1]) || relative.startsWith('..')) {
        throw new Error(`${name} names a mesh outside ${root}: ${match[1]}`);
      }
      if (!fs.existsSync(mesh)) throw new Error(`${name} names a mesh that is missing: ${mesh}`);
      files.set(relative, fs.readFileSync(mesh, 'utf8'));
    }
  }
  return [...files].map(([p, text]) => ({ path: p.split(path.sep).join('/'), text }));
}
