// The lists the page's controls are made from, read once at start-up and
// never changed: the option keys a link may carry, the size fields of each
// shape, the integrators, the pinnings each shape takes and the [Setup] keys.
export const OPTION_KEYS = Object.freeze([
  'shape',
  'columns',
  'rows',
  'radius',
  'flatten',
  'majorRadius',
  'minorRadius',
  'width',
  'depth',
  'length',
  'pin',
  'pinRing',
  'pinPoints',
  'pinGroup',
  'pinBelow',
  'winding',
  'flip',
  'defect',
  'mesh',
  'steps',
]);

// the fields of each shape; steps, the run's length, goes into the saved INI file
const SIZES = new Map([
  ['sphere', ['columns', 'rows', 'radius', 'flatten', 'steps']],
  ['torus', ['columns', 'rows', 'majorRadius', 'minorRadius', 'flatten', 'steps']],
  ['sheet', ['columns', 'rows', 'width', 'depth', 'steps']],
  ['tube', ['columns', 'rows', 'radius', 'length', 'steps']],
  ['mesh', ['steps']],
]);

const METHODS = [
  ['0', '0 semi-implicit Euler'],
  ['1', '1 Heun'],
  ['2', '2 Runge–Kutta 4'],
];

// { optionKeys, sizes: shape -> keys, methods: [[value, label]], shapes,
//   pinChoices: shape -> Map(pinning -> the option it reads), setupKeys }
export function sceneOptions(M) {
  const pinChoices = new Map(M.pinChoices().map((c) => [c.shape, new Map(c.pins.map((p) => [p.name, p.param]))]));
  return Object.freeze({
    optionKeys: OPTION_KEYS,
    sizes: SIZES,
    methods: METHODS,
    shapes: [...M.shapeNames(), 'mesh'],
    pinChoices,
    setupKeys: M.setupKeys(),
  });
}
