// The live plot: the shape's figure (volume, mean height, ... as the host's
// summary names it) on the left scale and, on the right, one choice of the
// module's other figures (RIGHT: the largest speed, the largest stretch and
// compression, or the kinetic energy) over the steps, for A and for B.
// Samples go into fixed arrays; when they are full every second sample is
// dropped, so a long run keeps its whole history at a coarser pitch and
// nothing is allocated per frame. The canvas is redrawn at most ten times a
// second.
export class LivePlot {
  constructor(canvas) {
    this.canvas = canvas;
    this.ctx = canvas.getContext('2d');
    this.capacity = 2048;
    this.series = ['A', 'B'].map(() => ({
      step: new Float64Array(this.capacity),
      ...Object.fromEntries(KEYS.map((key) => [key, new Float64Array(this.capacity)])),
      count: 0,
    }));
    this.pitch = 1; // keep one sample in `pitch` offered
    this.offered = 0;
    this.word = 'figure';
    this.right = 'speed';
    this.lastDraw = 0;
    this.dirty = true;
  }

  reset(word) {
    for (const s of this.series) s.count = 0;
    this.pitch = 1;
    this.offered = 0;
    this.word = word;
    this.dirty = true;
    this.lastDraw = 0;
  }

  // one sample per side (b may be null); figures as Scene.figures() gives them
  push(a, b) {
    if (this.offered++ % this.pitch !== 0) return;
    [a, b].forEach((f, i) => {
      if (!f) return;
      const s = this.series[i];
      if (s.count === this.capacity) this.halve(s);
      s.step[s.count] = f.step;
      for (const key of KEYS) s[key][s.count] = f[FIGURES[key]];
      s.count++;
    });
    if (this.series[0].count === this.capacity) this.pitch *= 2;
    this.dirty = true;
  }

  halve(s) {
    const n = s.count >> 1;
    for (let i = 0; i < n; i++) {
      s.step[i] = s.step[2 * i];
      for (const key of KEYS) s[key][i] = s[key][2 * i];
    }
    s.count = n;
  }

  draw(now, force) {
    if (!this.dirty || (!force && now - this.lastDraw < 100)) return;
    this.dirty = false;
    this.lastDraw = now;
    const { canvas, ctx } = this;
    const dpr = window.devicePixelRatio || 1;
    const w = Math.round(canvas.clientWidth * dpr),
      h = Math.round(canvas.clientHeight * dpr);
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
    }
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    const cw = canvas.clientWidth,
      ch = canvas.clientHeight;
    ctx.clearRect(0, 0, cw, ch);
    const box = { left: 58, top: 16, width: cw - 58 - 58, height: ch - 16 - 18 };
    const used = this.series.filter((s) => s.count > 0);
    ctx.font = '11px system-ui, sans-serif';
    ctx.fillStyle = '#5d6672';
    if (used.length === 0) {
      ctx.fillText('the figures appear here as the membrane runs', box.left, box.top + box.height / 2);
      return;
    }
    const scales = this.scales(used);
    ctx.strokeStyle = '#d5dbe3';
    ctx.strokeRect(box.left, box.top, box.width, box.height);
    this.series.forEach((s, side) => this.drawSeries(s, side, box, scales));
    ctx.setLineDash([]);
    this.drawLabels(box, scales);
  }

  // the right scale's figures: a key of RIGHT; drawn again at once
  setRight(right) {
    this.right = right;
    this.dirty = true;
  }

  // the ranges of the steps, the figure and the right scale's figures over the series in use
  scales(used) {
    const range = (keys) => {
      let lo = Infinity,
        hi = -Infinity;
      for (const s of used) {
        for (const key of keys) {
          for (let i = 0; i < s.count; i++) {
            const v = s[key][i];
            if (Number.isFinite(v)) ((lo = Math.min(lo, v)), (hi = Math.max(hi, v)));
          }
        }
      }
      if (!(hi > lo)) ((lo -= 0.5 * Math.abs(lo) || 1e-3), (hi = lo + 2 * (Math.abs(lo) || 1e-3)));
      return [lo, hi];
    };
    let s0 = Infinity,
      s1 = -Infinity;
    for (const s of used) ((s0 = Math.min(s0, s.step[0])), (s1 = Math.max(s1, s.step[s.count - 1])));
    if (!(s1 > s0)) s1 = s0 + 1;
    const right = range(RIGHT[this.right].keys);
    if (this.right !== 'strain') right[0] = Math.min(0, right[0]);
    return { steps: [s0, s1], figure: range(['figure']), right };
  }

  // one side's figure and right scale lines: A solid, B dashed
  drawSeries(s, side, box, scales) {
    if (s.count === 0) return;
    const ctx = this.ctx;
    const [s0, s1] = scales.steps;
    const x = (step) => box.left + ((step - s0) / (s1 - s0)) * box.width;
    ctx.setLineDash(side === 0 ? [] : [5, 4]);
    for (const key of ['figure', ...RIGHT[this.right].keys]) {
      const r = key === 'figure' ? scales.figure : scales.right;
      const y = (v) => box.top + box.height - ((v - r[0]) / (r[1] - r[0])) * box.height;
      ctx.strokeStyle = COLOURS[key];
      ctx.lineWidth = 1.5;
      ctx.beginPath();
      // at most about two samples per pixel are drawn
      const stride = Math.max(1, Math.floor(s.count / (2 * box.width)));
      for (let i = 0; i < s.count; i += stride) {
        const v = s[key][i];
        if (!Number.isFinite(v)) continue;
        if (i === 0) ctx.moveTo(x(s.step[i]), y(v));
        else ctx.lineTo(x(s.step[i]), y(v));
      }
      const last = s.count - 1;
      if (Number.isFinite(s[key][last])) ctx.lineTo(x(s.step[last]), y(s[key][last]));
      ctx.stroke();
    }
  }

  // the ranges at the sides, the names on top and the steps below
  drawLabels({ left, top, width: pw, height: ph }, { steps, figure: fr, right: sr }) {
    const ctx = this.ctx;
    const fmt = (v) => (Math.abs(v) >= 1e4 || (Math.abs(v) < 1e-3 && v !== 0) ? v.toExponential(2) : v.toPrecision(4));
    ctx.fillStyle = COLOURS.figure;
    ctx.textAlign = 'right';
    ctx.fillText(fmt(fr[1]), left - 4, top + 8);
    ctx.fillText(fmt(fr[0]), left - 4, top + ph);
    ctx.textAlign = 'left';
    ctx.fillText(this.word + (this.series[1].count ? '  (A solid, B dashed)' : ''), left + 4, top - 4);
    ctx.fillStyle = COLOURS[RIGHT[this.right].keys[0]];
    ctx.fillText(fmt(sr[1]), left + pw + 4, top + 8);
    ctx.fillText(fmt(sr[0]), left + pw + 4, top + ph);
    ctx.textAlign = 'right';
    ctx.fillText(RIGHT[this.right].name, left + pw - 4, top - 4);
    ctx.fillStyle = '#5d6672';
    ctx.textAlign = 'left';
    ctx.fillText(`step ${Math.round(steps[0])}`, left, top + ph + 13);
    ctx.textAlign = 'right';
    ctx.fillText(`step ${Math.round(steps[1])}`, left + pw, top + ph + 13);
    ctx.textAlign = 'left';
  }
}

// the series a sample keeps, each from the figure of Scene.figures() named here
const FIGURES = Object.freeze({
  figure: 'figure',
  speed: 'maxSpeed',
  stretch: 'maxStretch',
  compression: 'maxCompression',
  energy: 'kineticEnergy',
});
const KEYS = Object.freeze(Object.keys(FIGURES));

// the right scale's choices: the series drawn against it and its name
export const RIGHT = Object.freeze({
  speed: { keys: ['speed'], name: 'largest speed' },
  strain: { keys: ['stretch', 'compression'], name: 'largest stretch (purple) and compression (blue), L / L0' },
  energy: { keys: ['energy'], name: 'kinetic energy' },
});

const COLOURS = Object.freeze({
  figure: '#c8562f',
  speed: '#3a72b5',
  stretch: '#8e3fb0',
  compression: '#2f5fc8',
  energy: '#2e8b57',
});
