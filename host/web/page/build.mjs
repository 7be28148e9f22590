// Puts the preview page together: esbuild bundles the page's modules
// (src/main.js and what it imports) into one script, and the template gets
// it inlined with the module script, the style and the examples (every INI
// file of --examples and each mesh file one of them names, under its path
// relative to the examples' parent folder, so that the INI file finds it in
// the module's file system): one HTML file that opens from disk.
//
//   node build.mjs --module tumelin_preview.js --examples examples --version 1.0.0 --out tumelin-preview.html
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import * as esbuild from 'esbuild';
import { exampleFiles } from './examples.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const wanted = ['module', 'examples', 'version', 'out'];

function fail(message) {
  console.error(`build.mjs: ${message}`);
  process.exit(2);
}

function options() {
  try {
    const { values } = parseArgs({ options: Object.fromEntries(wanted.map((k) => [k, { type: 'string' }])) });
    for (const key of wanted) if (!values[key]) fail(`--${key} is required`);
    return values;
  } catch (e) {
    return fail(e.message);
  }
}

// text inlined into a <script> element: nothing in it may end the element or
// open an HTML comment there (inside JavaScript strings, regular expressions
// and comments "<\/" reads as "</")
function scriptSafe(text) {
  return text.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\!--');
}

function examples(folder) {
  try {
    return exampleFiles(folder);
  } catch (e) {
    return fail(e.message);
  }
}

// the page's modules as one script that runs in order, nothing left to load
async function bundle() {
  const result = await esbuild.build({
    entryPoints: [path.join(here, 'src', 'main.js')],
    bundle: true,
    format: 'iife',
    target: 'es2022',
    charset: 'utf8',
    write: false,
    logLevel: 'warning',
  });
  return result.outputFiles[0].text;
}

const o = options();
const template = fs.readFileSync(path.join(here, 'preview.html'), 'utf8');
const parts = {
  VERSION: o.version.replace(/[<>&"]/g, ''),
  STYLE: fs.readFileSync(path.join(here, 'preview.css'), 'utf8').replace(/<\/(style)/gi, '<\\/$1'),
  // JSON with every '<' escaped cannot end the element
  EXAMPLES: JSON.stringify(examples(o.examples)).replace(/</g, '\\u003c'),
  MODULE: scriptSafe(fs.readFileSync(o.module, 'utf8')),
  SCRIPTS: scriptSafe(await bundle()),
};
// one pass over the template alone: text put in is never read for placeholders
const page = template.replace(/\{\{([A-Z]+)\}\}/g, (whole, key) => {
  if (!(key in parts)) fail(`unknown placeholder ${whole} in preview.html`);
  return parts[key];
});
fs.mkdirSync(path.dirname(path.resolve(o.out)), { recursive: true });
fs.writeFileSync(o.out, page);
console.log(`build.mjs: wrote ${o.out} (${(page.length / 1e6).toFixed(2)} MB)`);
