// The scene in the page's address (the part after '#'), so that a link opens
// the same scene: the preset, the membrane options typed over it (shape,
// sizes, pins), the setting texts as typed for A and for B, and whether A/B
// is on. A dropped file has no place in an address: only its name goes in,
// so that the page that opens the link can say what it lacks.
//
//   #preset=pillow&columns=65&pin=points&pinPoints=0,12&A.ClothP=0.7&B.ClothP=1.2&ab=1
//   #file=bunny.obj&flip=yes
export const SIDES = Object.freeze(['A', 'B']);

// the configuration of no preset, no file and nothing typed
export function empty() {
  return { preset: '', opt: {}, set: { A: {}, B: {} }, ab: false, file: null };
}

export function encode(cfg) {
  const q = new URLSearchParams();
  if (cfg.preset) q.set('preset', cfg.preset);
  for (const [key, text] of Object.entries(cfg.opt)) if (key !== 'mesh') q.set(key, text);
  for (const side of SIDES) {
    for (const [key, text] of Object.entries(cfg.set[side])) q.set(`${side}.${key}`, text);
  }
  if (cfg.ab) q.set('ab', '1');
  if (cfg.file) q.set('file', cfg.file.names.join(','));
  return q.toString();
}

// the configuration a hash names, over an empty one; keys that are not
// among the option and setting keys are returned for the page to mention,
// and so are the names of dropped files the scene ran on
export function decode(hash, optionKeys, setupKeys) {
  const q = new URLSearchParams(hash.replace(/^#/, ''));
  const cfg = empty();
  const unknown = [];
  let missing = [];
  for (const [key, text] of q) {
    const side = /^([AB])\.(\w+)$/.exec(key);
    if (key === 'preset') cfg.preset = text;
    else if (key === 'ab') cfg.ab = text === '1';
    else if (key === 'file') missing = text.split(',');
    else if (side && setupKeys.includes(side[2])) cfg.set[side[1]][side[2]] = text;
    else if (optionKeys.includes(key) && key !== 'mesh') cfg.opt[key] = text;
    else unknown.push(key);
  }
  return { cfg, unknown, missing };
}
