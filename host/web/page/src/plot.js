// The live plot: the shape's figure (volume, mean height, ... as the host's
// summary names it) and the largest speed over the steps, for A and for B.
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
      figure: new Float64Array(this.capacity),
      speed: new Float64Array(this.capacity),
      count: 0,
    }));
    this.pitch = 1; // keep one sample in `pitch` offered
    this.offered = 0;
    this.word = 'figure';
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
      s.figure[s.count] = f.figure;
      s.speed[s.count] = f.maxSpeed;
      s.count++;
    });
    if (this.series[0].count === this.capacity) this.pitch *= 2;
    this.dirty = true;
  }

  halve(s) {
    const n = s.count >> 1;
    for (let i = 0; i < n; i++) {
      s.step[i] = s.step[2 * i];
      s.figure[i] = s.figure[2 * i];
      s.speed[i] = s.speed[2 * i];
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

  // the ranges of the steps, the figure and the speed over the series in use
  scales(used) {
    const range = (key) => {
      let lo = Infinity,
        hi = -Infinity;
      for (const s of used) {
        for (let i = 0; i < s.count; i++) {
          const v = s[key][i];
          if (Number.isFinite(v)) {
            if (v < lo) lo = v;
            if (v > hi) hi = v;
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
    const speed = range('speed');
    speed[0] = Math.min(0, speed[0]);
    return { steps: [s0, s1], figure: range('figure'), speed };
  }

  // one side's figure and speed lines: A solid, B dashed
  drawSeries(s, side, box, scales) {
    if (s.count === 0) return;
    const ctx = this.ctx;
    const [s0, s1] = scales.steps;
    const x = (step) => box.left + ((step - s0) / (s1 - s0)) * box.width;
    ctx.setLineDash(side === 0 ? [] : [5, 4]);
    for (const key of ['figure', 'speed']) {
      const r = scales[key];
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
  drawLabels({ left, top, width: pw, height: ph }, { steps, figure: fr, speed: sr }) {
    const ctx = this.ctx;
    const fmt = (v) => (Math.abs(v) >= 1e4 || (Math.abs(v) < 1e-3 && v !== 0) ? v.toExponential(2) : v.toPrecision(4));
    ctx.fillStyle = COLOURS.figure;
    ctx.textAlign = 'right';
    ctx.fillText(fmt(fr[1]), left - 4, top + 8);
    ctx.fillText(fmt(fr[0]), left - 4, top + ph);
    ctx.textAlign = 'left';
    ctx.fillText(this.word + (this.series[1].count ? '  (A solid, B dashed)' : ''), left + 4, top - 4);
    ctx.fillStyle = COLOURS.speed;
    ctx.fillText(fmt(sr[1]), left + pw + 4, top + 8);
    ctx.fillText(fmt(sr[0]), left + pw + 4, top + ph);
    ctx.textAlign = 'right';
    ctx.fillText('largest speed', left + pw - 4, top - 4);
    ctx.fillStyle = '#5d6672';
    ctx.textAlign = 'left';
    ctx.fillText(`step ${Math.round(steps[0])}`, left, top + ph + 13);
    ctx.textAlign = 'right';
    ctx.fillText(`step ${Math.round(steps[1])}`, left + pw, top + ph + 13);
    ctx.textAlign = 'left';
  }
}

const COLOURS = Object.freeze({ figure: '#c8562f', speed: '#3a72b5' });
