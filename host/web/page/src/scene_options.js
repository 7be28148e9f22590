// The lists the page's controls are made from, read from the module once at
// start-up and never changed: the membrane options (the keys a link may
// carry, each with its help), the size fields and pinnings of each shape,
// the integrators and the [Setup] keys. Adding an option, a shape, a
// pinning or an integrator to the C++ tables adds it here.

// beside a shape's sizes the page offers the run's length: it goes into the saved INI file
const RUN_FIELDS = Object.freeze(['steps']);

// { table: key -> option as membraneOptions() gives it, optionKeys, shapes: names (the mesh last), sizes: shape -> field keys,
//   pinChoices: shape -> Map(pinning -> the option it reads), methods: [[value, label]], setupKeys }
export function sceneOptions(M) {
  const options = new Map(M.membraneOptions().map((o) => [o.key, Object.freeze(o)]));
  const shapes = M.shapes();
  const fields = (shape) => [
    ...shape.sizes,
    ...RUN_FIELDS.filter((key) => options.get(key)?.shapes.includes(shape.name)),
  ];
  return Object.freeze({
    table: options,
    optionKeys: Object.freeze([...options.keys()]),
    shapes: Object.freeze(shapes.map((s) => s.name)),
    sizes: new Map(shapes.map((s) => [s.name, Object.freeze(fields(s))])),
    pinChoices: new Map(shapes.map((s) => [s.name, new Map(s.pins.map((pin) => [pin, s.pinOptions[pin]]))])),
    methods: Object.freeze(M.methodNames().map((name, i) => Object.freeze([String(i), `${i} ${name}`]))),
    setupKeys: Object.freeze(M.setupKeys()),
  });
}
