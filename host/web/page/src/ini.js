// The INI text the page reads itself: the [Membrane] section of a saved or
// dropped file as option keys, and a dropped file's bytes as text.

// [Membrane] of an INI text as option keys: Columns -> columns
export function parseMembrane(text) {
  const out = Object.create(null);
  let inside = false;
  for (const line of text.split(/\r?\n/)) {
    const section = /^\s*\[(.*)\]\s*$/.exec(line);
    if (section) inside = section[1].trim().toLowerCase() === 'membrane';
    const pair = /^\s*(\w+)\s*=\s*(.*?)\s*$/.exec(line);
    if (inside && pair) out[pair[1][0].toLowerCase() + pair[1].slice(1)] = pair[2];
  }
  return out;
}

// an INI file's text: UTF-16 after its byte order mark, else UTF-8
export function iniText(bytes) {
  const le = bytes[0] === 0xff && bytes[1] === 0xfe;
  const be = bytes[0] === 0xfe && bytes[1] === 0xff;
  return new TextDecoder(le ? 'utf-16le' : be ? 'utf-16be' : 'utf-8').decode(bytes);
}

// a configuration's options and side's typed settings put to a module Scene
// before it builds; the settings the plug-in refused, by key
export function applyConfig(scene, cfg, side) {
  scene.clear();
  for (const [key, text] of Object.entries(cfg.opt)) scene.choose(key, text);
  const refused = {};
  for (const [key, text] of Object.entries(cfg.set[side])) {
    const error = scene.set(`${key}=${text}`);
    if (error) refused[key] = error;
  }
  return refused;
}

// the name Save INI gives a side's scene
export function savedName(cfg, side, scenarioName) {
  return (cfg.preset || scenarioName || 'scene') + (cfg.ab ? `-${side}` : '') + '.ini';
}
