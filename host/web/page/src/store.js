// The one owner of the page's scene: the configuration (what to build: a
// preset or a dropped file, the membrane options typed over it, the [Setup]
// texts typed for A and for B, whether B runs beside A), its history for
// undo and redo, and which side's settings the controls edit. Nothing here
// touches the page: the page asks it for changes and reads it back.
import { empty } from './scene_url.js';

const clone = (c) => JSON.parse(JSON.stringify(c));

export class Store {
  constructor(cfg = empty()) {
    this.cfg = cfg;
    this.undoStack = [];
    this.redoStack = [];
    this.base = null; // the configuration before a change still under way (a slider being dragged)
    this.editing = 'A';
  }

  // the side whose settings the controls edit: 0 A, 1 B
  side() {
    return this.editing === 'B' && this.cfg.ab ? 1 : 0;
  }

  // `mutate` edits the configuration; `final` false while a slider is still
  // moving: the undo step is taken when it is let go, and only if the
  // configuration differs from the one before
  change(mutate, final = true) {
    if (!this.base) this.base = clone(this.cfg);
    mutate(this.cfg);
    if (!final) return;
    if (JSON.stringify(this.base) !== JSON.stringify(this.cfg)) {
      this.undoStack.push(this.base);
      this.redoStack.length = 0;
    }
    this.base = null;
  }

  // false when there is nothing to undo or redo
  undo() {
    return this.travel(this.undoStack, this.redoStack);
  }

  redo() {
    return this.travel(this.redoStack, this.undoStack);
  }

  travel(from, to) {
    if (from.length === 0) return false;
    to.push(clone(this.cfg));
    this.cfg = from.pop();
    this.base = null;
    if (!this.cfg.ab) this.editing = 'A';
    return true;
  }

  // a configuration the page opened with, for Undo to go back to
  remember(cfg) {
    this.undoStack.push(clone(cfg));
  }

  snapshot() {
    return clone(this.cfg);
  }
}
