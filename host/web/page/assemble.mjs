// Puts the preview page together: the template with the module script, the
// page's scripts, its style and the examples (every INI file of --examples and
// each mesh file one of them names, under its path relative to the examples'
// parent folder, so that the INI file finds it in the module's file system)
// inlined into one HTML file that opens from disk.
//
//   node assemble.mjs --module tumelin_preview.js --examples examples --version 1.0.0 --out tumelin-preview.html
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { exampleFiles } from './examples.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
// the page's scripts in the order they run: each one uses the ones before
const SCRIPTS = ['scene_url.js', 'plot.js', 'view.js', 'app.js'];

function options(argv) {
  const wanted = ['module', 'examples', 'version', 'out'];
  const result = {};
  for (let i = 0; i < argv.length; i += 2) {
    const key = argv[i].replace(/^--/, '');
    if (!wanted.includes(key) || argv[i + 1] === undefined) fail(`unknown option or missing value: ${argv[i]}`);
    result[key] = argv[i + 1];
  }
  for (const key of wanted) if (!result[key]) fail(`--${key} is required`);
  return result;
}

function fail(message) {
  console.error(`assemble.mjs: ${message}`);
  process.exit(2);
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
    fail(e.message);
  }
}

const o = options(process.argv.slice(2));
const template = fs.readFileSync(path.join(here, 'preview.html'), 'utf8');
const parts = {
  VERSION: o.version.replace(/[<>&"]/g, ''),
  STYLE: fs.readFileSync(path.join(here, 'preview.css'), 'utf8').replace(/<\/(style)/gi, '<\\/$1'),
  // JSON with every '<' escaped cannot end the element
  EXAMPLES: JSON.stringify(examples(o.examples)).replace(/</g, '\\u003c'),
  MODULE: scriptSafe(fs.readFileSync(o.module, 'utf8')),
  SCRIPTS: scriptSafe(
    `window.TUMELIN_VERSION = ${JSON.stringify(o.version)};\n` +
      SCRIPTS.map((name) => `// ---- ${name}\n` + fs.readFileSync(path.join(here, name), 'utf8')).join('\n'),
  ),
};
// one pass over the template alone: text put in is never read for placeholders
const page = template.replace(/\{\{([A-Z]+)\}\}/g, (whole, key) => {
  if (!(key in parts)) fail(`unknown placeholder ${whole} in preview.html`);
  return parts[key];
});
fs.mkdirSync(path.dirname(path.resolve(o.out)), { recursive: true });
fs.writeFileSync(o.out, page);
console.log(`assemble.mjs: wrote ${o.out} (${(page.length / 1e6).toFixed(2)} MB)`);
