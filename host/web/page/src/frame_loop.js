// The frame loop: each frame takes in a change waiting for its rebuild,
// steps the running membranes, hands their surfaces to the view and at most
// twenty samples a second to the plot, draws, and measures the rates.
import { $, status } from './dom.js';
import { flushRebuild } from './scene_actions.js';
import { addWarning, labels } from './panels/report.js';

// the milliseconds per frame spent in the module's step, in handing the
// surface to WebGL, in the figures for the plot and in the draw calls
const TIMES = Object.freeze(['stepTime', 'uploadTime', 'figuresTime', 'drawTime', 'plotTime']);

export class Runner {
  constructor(app) {
    this.app = app;
    this.rebuildWanted = false;
    this.drawWanted = true;
    this.playing = true;
    this.pastEnd = false; // a run stops once at the scene's Steps=; Play then runs on past it
    this.stepsPerFrame = 5;
    this.note = ''; // said by the next build in place of 'built'
    this.lastSample = -Infinity; // when the plot took its last sample
    this.stats = { stepsPerSecond: 0, framesPerSecond: 0, pluginStepsPerSecond: 0, perFrame: {} };
    this.meter = {};
    this.restartMeter(0);
  }

  restartMeter(now) {
    Object.assign(this.meter, { since: now, frames: 0, steps: 0 });
    for (const t of TIMES) this.meter[t] = 0;
  }

  // the next frame starts a new measurement
  restartMeterLater() {
    this.meter.since = 0;
  }

  setPlaying(on) {
    this.playing = on;
    // standing still, the surface is drawn in full
    this.drawWanted = true;
    $('play').classList.toggle('on', on);
    $('pause').classList.toggle('on', !on);
  }

  // `n` steps of each running side that has not diverged
  advance(n) {
    const { cfg } = this.app.store;
    const running = this.app.membranes.running(cfg);
    running.forEach((s, i) => {
      if (!s.built || s.diverged) return;
      const t0 = performance.now();
      const steps = s.scene.step(n);
      const t1 = performance.now();
      if (i === 0) this.meter.steps += steps;
      this.app.view.update(i, s.scene);
      this.meter.stepTime += t1 - t0;
      this.meter.uploadTime += performance.now() - t1;
      s.diverged = s.scene.diverged();
      if (s.diverged) sayDiverged((cfg.ab ? `${s.name}: ` : '') + s.diverged);
    });
    if (running.every((s) => !s.built || s.diverged)) this.setPlaying(false);
    this.sample(n);
    this.drawWanted = true;
  }

  // the figures cost a pass over the whole membrane: at most twenty samples a second
  sample(n) {
    const t2 = performance.now();
    if (t2 - this.lastSample < 50 && n === this.stepsPerFrame && this.playing) return;
    this.lastSample = t2;
    const [a, b] = this.app.membranes.sides;
    const ab = this.app.store.cfg.ab;
    this.app.plot.push(a.built ? a.scene.figures() : null, ab && b.built ? b.scene.figures() : null);
    this.meter.figuresTime += performance.now() - t2;
  }

  // at most n: up to the scene's Steps= until the run stopped there once
  stepsLeft(n) {
    const a = this.app.membranes.sides[0];
    if (this.pastEnd || !a.built) return n;
    return Math.min(n, Math.max(0, a.scene.scenario().steps - a.scene.steps()));
  }

  stopAtEnd() {
    this.setPlaying(false);
    this.pastEnd = true;
    const a = this.app.membranes.sides[0];
    status(`stopped at step ${a.scene.steps()}, the scene's Steps=; Play runs on past it`);
    labels(this.app);
  }

  // n steps at once, paused after them; the steps A has done
  stepNow(n) {
    flushRebuild(this.app);
    this.setPlaying(false);
    if (n > 0) this.advance(n);
    this.app.view.draw();
    labels(this.app);
    const a = this.app.membranes.sides[0];
    return a.built ? a.scene.steps() : 0;
  }

  frame(now) {
    requestAnimationFrame((t) => this.frame(t));
    flushRebuild(this.app);
    if (this.playing && this.app.membranes.sides[0].built) {
      const n = this.stepsLeft(this.stepsPerFrame);
      if (n > 0) this.advance(n);
      if (this.playing && this.stepsLeft(1) === 0) this.stopAtEnd();
    }
    const t0 = performance.now();
    if (this.drawWanted) {
      this.app.view.draw(this.playing);
      this.drawWanted = false;
    }
    const t1 = performance.now();
    this.app.plot.draw(now, false);
    this.meter.drawTime += t1 - t0;
    this.meter.plotTime += performance.now() - t1;
    this.measure(now);
  }

  // the rates over the last half second or more
  measure(now) {
    const meter = this.meter;
    meter.frames++;
    if (!meter.since) return this.restartMeter(now);
    const elapsed = now - meter.since;
    const a = this.app.membranes.sides[0];
    if (elapsed < 500 || !a.built) return;
    const stats = this.stats;
    stats.framesPerSecond = (meter.frames * 1000) / elapsed;
    stats.stepsPerSecond = (meter.steps * 1000) / elapsed;
    for (const t of TIMES) stats.perFrame[t.replace('Time', '')] = meter[t] / meter.frames;
    const seconds = a.scene.entrySeconds();
    stats.pluginStepsPerSecond = seconds > 0 ? a.scene.steps() / seconds : 0;
    this.restartMeter(now);
    showStats(stats);
    labels(this.app);
  }
}

function sayDiverged(text) {
  addWarning(text, 'divergence');
  $('diverged').hidden = false;
  $('diverged').textContent = text;
  status(text, true);
}

function showStats(stats) {
  $('stats').textContent =
    `${stats.framesPerSecond.toFixed(0)} frames/s · ${stats.stepsPerSecond.toFixed(0)} steps/s on the page · ` +
    `plug-in entry ${stats.pluginStepsPerSecond.toFixed(0)} steps/s`;
  $('stats').title =
    'steps/s on the page: steps done per second of wall time, drawing included; ' +
    'plug-in entry: steps per second of the time spent inside the step entry alone (entrySeconds)';
}
