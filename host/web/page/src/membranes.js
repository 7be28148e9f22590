// The membranes the configuration makes: side A and, with A/B on, side B,
// each a module Scene; and what the controls show of A (its shape, its
// [Membrane] values and the height range of its start shape), read from a
// probe scene as far as it builds when A does not.
import { SIDES } from './scene_url.js';
import { applyConfig, parseMembrane } from './ini.js';

export class Membranes {
  constructor(M, presets) {
    this.presets = presets; // name -> path in the module's file system
    // `built`: the side has a membrane; `error`: why the scene asked for last did not build
    this.sides = SIDES.map((name) => ({
      name,
      scene: new M.Scene(),
      built: false,
      error: '',
      setErrors: {},
      diverged: '',
    }));
    this.probe = new M.Scene(); // for reading what a scene that does not build would be
    this.builtFile = null; // the dropped files of A's membrane
    this.membrane = {}; // A's [Membrane] section as the module saves it
    this.shape = ''; // A's shape; while A does not build, as far as it reads
    this.zRange = [0, 1];
    this.separator = '.'; // the decimal separator of the host the settings are read as
  }

  iniPath(cfg) {
    if (cfg.file && cfg.file.ini) return cfg.file.ini;
    return this.presets.get(cfg.preset) || '';
  }

  // side i built from the configuration: '' or why it did not build
  build(i, cfg) {
    const s = this.sides[i];
    s.setErrors = applyConfig(s.scene, cfg, s.name);
    s.scene.useSeparator(this.separator);
    s.error = s.scene.build(this.iniPath(cfg));
    if (s.error) return s.error;
    s.built = true;
    if (i === 0) this.builtFile = cfg.file;
    s.diverged = '';
    return '';
  }

  // A's shape and [Membrane] values for the controls: of its membrane, or,
  // when it does not build, of the scene as far as it builds (the shape
  // asked for over the file, else the file alone, else no file); the
  // figure's name when A built
  describeA(cfg) {
    const a = this.sides[0];
    const scene = a.error ? this.probeBuild(cfg) : a.scene;
    if (!scene) return null;
    this.membrane = parseMembrane(scene.sceneIni());
    this.shape = scene.scenario().shape;
    if (a.error) return null;
    const p = scene.positions();
    let lo = Infinity;
    let hi = -Infinity;
    for (let k = 2; k < p.length; k += 3) {
      lo = Math.min(lo, p[k]);
      hi = Math.max(hi, p[k]);
    }
    this.zRange = lo <= hi ? [lo, hi] : [0, 1];
    return scene.figures().figureWord;
  }

  probeBuild(cfg) {
    const tries = [
      [cfg.opt, this.iniPath(cfg)],
      [{}, this.iniPath(cfg)],
      [{}, ''],
    ];
    for (const [opt, ini] of tries) {
      this.probe.clear();
      this.probe.useSeparator(this.separator);
      for (const key of ['shape', 'mesh']) if (opt[key]) this.probe.choose(key, opt[key]);
      if (this.probe.build(ini) === '') return this.probe;
    }
    return null;
  }

  // why side `s` has nothing of the scene asked for, or ''
  static unbuilt(s) {
    if (s.error) return `this scene does not build: ${s.error}`;
    return s.built ? '' : 'nothing is built';
  }

  checkText() {
    const why = Membranes.unbuilt(this.sides[0]);
    return why ? `${why}; there is no membrane to check` : this.sides[0].scene.checkText();
  }

  // the sides that run: A, and B with A/B on
  running(cfg) {
    return this.sides.slice(0, cfg.ab ? 2 : 1);
  }
}
