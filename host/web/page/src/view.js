// The membrane in WebGL 2, drawn as the host draws its pictures: an
// orthographic camera from cameraAxes(azimuth, elevation), the fixed framing
// ball of the start shape filling the shorter side (times the zoom), outside
// faces warm and inside faces cool with the host's light, key and fill (the
// module's look(): the same values its pictures are shaded with). Up to
// two membranes (A and B) side by side, each in its half of the canvas with
// its own framing. Pinned points are dark dots. Drag orbits, the wheel zooms,
// a click without a drag picks the nearest point.
export class MembraneView {
  constructor(canvas, module) {
    this.canvas = canvas;
    this.module = module;
    const gl = canvas.getContext('webgl2', { antialias: false, alpha: true, premultipliedAlpha: true });
    if (!gl) throw new Error('this browser offers no WebGL 2');
    this.gl = gl;
    this.program = this.link(VERTEX_SHADER, FRAGMENT_SHADER);
    this.loc = {};
    for (const name of UNIFORMS) {
      this.loc[name] = gl.getUniformLocation(this.program, name);
    }
    this.look = module.look();
    this.slots = [null, null];
    this.sides = 1;
    const home = module.defaultView();
    this.home = { azimuth: home.azimuth, elevation: home.elevation };
    this.maxElevation = home.maxElevation;
    this.setView(this.home.azimuth, this.home.elevation, 1);
    this.onPick = null; // (side, pointIndex) => void
    this.onChange = null; // the camera moved
    this.listen();
  }

  // the view on a canvas, or, where the browser offers no WebGL 2, one that
  // draws nothing and says so over the canvas: everything else still works
  static make(canvas, module) {
    try {
      return new MembraneView(canvas, module);
    } catch (error) {
      const note = document.createElement('div');
      note.className = 'no-picture';
      note.dataset.testid = 'no-picture';
      note.textContent = `No picture: ${error.message}. Settings, verdicts, Check, Save INI, the figures and the exports work without it.`;
      canvas.after(note);
      const blind = { sides: 1, onPick: null, onChange: null, blind: true };
      return new Proxy(blind, { get: (view, key) => (key in view ? view[key] : () => {}) });
    }
  }

  link(vertexText, fragmentText) {
    const gl = this.gl;
    const shader = (type, text) => {
      const s = gl.createShader(type);
      gl.shaderSource(s, text);
      gl.compileShader(s);
      if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
      return s;
    };
    const p = gl.createProgram();
    gl.attachShader(p, shader(gl.VERTEX_SHADER, vertexText));
    gl.attachShader(p, shader(gl.FRAGMENT_SHADER, fragmentText));
    gl.bindAttribLocation(p, 0, 'aPos');
    gl.bindAttribLocation(p, 1, 'aNormal');
    gl.bindAttribLocation(p, 2, 'aValue');
    gl.linkProgram(p);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
    return p;
  }

  setView(azimuth, elevation, zoom) {
    this.azimuth = azimuth;
    this.elevation = Math.max(-this.maxElevation, Math.min(this.maxElevation, elevation));
    this.zoom = zoom;
    const c = this.module.cameraAxes(this.azimuth, this.elevation);
    const norm = (v) => {
      const l = Math.hypot(v[0], v[1], v[2]);
      return v.map((x) => x / l);
    };
    const towards = (w) => norm([0, 1, 2].map((i) => w.toEye * c.toEye[i] + w.right * c.right[i] + w.up * c.up[i]));
    this.axes = {
      toEye: c.toEye,
      right: c.right,
      up: c.up,
      light: towards(this.look.keyLight),
      fill: towards(this.look.fillLight),
    };
    // halfway between the light and the eye: the highlight's direction
    this.axes.half = norm([0, 1, 2].map((i) => this.axes.light[i] + c.toEye[i]));
  }

  resetView() {
    this.setView(this.home.azimuth, this.home.elevation, 1);
  }

  // a new membrane in `side` (0 A, 1 B): its triangles, pins and framing; the
  // vertex buffers (positions, normals, the colour map's values) are sized
  // once here and refilled in place by update()
  setMesh(side, scene) {
    const gl = this.gl;
    this.dropMesh(side);
    // a new run starts a new running maximum
    if (side === 0 && this.mapRange > 0 && this.onRange) this.onRange(this.map, (this.mapRange = 0));
    const count = scene.pointCount();
    const slot = {
      vao: gl.createVertexArray(),
      position: gl.createBuffer(),
      normal: gl.createBuffer(),
      index: gl.createBuffer(),
      pins: gl.createBuffer(),
      value: gl.createBuffer(),
      indexCount: 0,
      pinCount: 0,
      pointCount: count,
    };
    gl.bindVertexArray(slot.vao);
    for (const [buffer, at, size] of [
      [slot.position, 0, 3],
      [slot.normal, 1, 3],
      [slot.value, 2, 1],
    ]) {
      gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
      gl.bufferData(gl.ARRAY_BUFFER, count * 4 * size, gl.DYNAMIC_DRAW);
      gl.enableVertexAttribArray(at);
      gl.vertexAttribPointer(at, size, gl.FLOAT, false, 0, 0);
    }
    gl.bindVertexArray(null);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, slot.index);
    // the module's Int32Array holds indices below the point count: the same bits as unsigned
    const triangles = scene.triangles();
    gl.bufferData(
      gl.ELEMENT_ARRAY_BUFFER,
      new Uint32Array(triangles.buffer, triangles.byteOffset, triangles.length),
      gl.STATIC_DRAW,
    );
    slot.indexCount = triangles.length;
    // a grid too fine for the screen is drawn over every second grid line
    // while it plays (its triangles would be a pixel or two across) and in
    // full whenever it stands still
    slot.coarseCount = 0;
    if (triangles.length / 3 > COARSE_ABOVE_TRIANGLES) {
      const coarse = scene.coarseTriangles(2);
      if (coarse.length < triangles.length) {
        slot.coarse = gl.createBuffer();
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, slot.coarse);
        gl.bufferData(
          gl.ELEMENT_ARRAY_BUFFER,
          new Uint32Array(coarse.buffer, coarse.byteOffset, coarse.length),
          gl.STATIC_DRAW,
        );
        slot.coarseCount = coarse.length;
      }
    }
    this.slots[side] = slot;
    this.setFraming(side, scene);
    this.setPins(side, scene.pinned());
    this.update(side, scene);
  }

  setFraming(side, scene) {
    const s = scene.scenario();
    Object.assign(this.slots[side], { center: s.center, radius: s.radius, clockwise: s.clockwise, closed: s.closed });
  }

  setPins(side, pinned) {
    const gl = this.gl,
      slot = this.slots[side];
    const list = [];
    for (let i = 0; i < pinned.length; i++) if (pinned[i]) list.push(i);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, slot.pins);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, new Uint32Array(list), gl.STATIC_DRAW);
    slot.pinCount = list.length;
  }

  dropMesh(side) {
    const slot = this.slots[side];
    if (!slot) return;
    const gl = this.gl;
    gl.deleteVertexArray(slot.vao);
    for (const b of [slot.position, slot.normal, slot.index, slot.pins, slot.coarse, slot.value])
      if (b) gl.deleteBuffer(b);
    this.slots[side] = null;
  }

  // the surface after a step: the module's views go straight to the GPU
  update(side, scene) {
    const gl = this.gl,
      slot = this.slots[side];
    gl.bindBuffer(gl.ARRAY_BUFFER, slot.position);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, scene.positions());
    gl.bindBuffer(gl.ARRAY_BUFFER, slot.normal);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, scene.normals());
    if (!this.map || this.map === 'plain') return;
    const values = scene.pointValues(this.map);
    gl.bindBuffer(gl.ARRAY_BUFFER, slot.value);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, values);
    let range = this.mapRange;
    for (let i = 0; i < values.length; i++) range = Math.max(range, Math.abs(values[i]));
    if (range !== this.mapRange) {
      this.mapRange = range;
      if (this.onRange) this.onRange(this.map, range);
    }
  }

  // the colour map: 'plain' (the host's look), 'strain' (blue compressed,
  // white at rest, red stretched, over -range..range) or 'speed' (white to
  // green over 0..range) or 'pressure' (the power of each point's pressure
  // push, coloured as strain)
  // range: the largest |value| any shown point had since the map was chosen
  // or the membrane built (a running maximum, so colours stay comparable
  // along a run); onRange(map, range) hears of every new range
  setMap(map) {
    this.map = map;
    this.mapRange = 0;
  }

  // the rectangle of side `side` in device pixels (origin at the bottom left)
  viewport(side) {
    const w = this.canvas.width,
      h = this.canvas.height;
    const half = Math.floor(w / this.sides);
    return [side * half, 0, this.sides === 1 ? w : half, h];
  }

  // `moving`: the membrane is playing, so a coarse surface may stand in
  draw(moving = false) {
    const gl = this.gl,
      canvas = this.canvas;
    const dpr = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(canvas.clientWidth * dpr)),
      h = Math.max(1, Math.round(canvas.clientHeight * dpr));
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
    }
    gl.viewport(0, 0, w, h);
    gl.clearColor(0, 0, 0, 0);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.enable(gl.DEPTH_TEST);
    gl.useProgram(this.program);
    const a = this.axes,
      L = this.loc;
    gl.uniform3fv(L.uRight, a.right);
    gl.uniform3fv(L.uUp, a.up);
    gl.uniform3fv(L.uToEye, a.toEye);
    gl.uniform3fv(L.uLight, a.light);
    gl.uniform3fv(L.uFill, a.fill);
    gl.uniform3fv(L.uHalf, a.half);
    const look = this.look;
    gl.uniform3fv(L.uOutside, look.outside);
    gl.uniform3fv(L.uInside, look.inside);
    gl.uniform4f(L.uWeights, look.ambient, look.diffuse, look.fill, look.highlight);
    gl.uniform1f(L.uPower, look.highlightPower);
    gl.uniform1f(L.uPointSize, Math.max(4, 6 * dpr));
    gl.uniform1i(L.uMap, MAPS.indexOf(this.map ?? 'plain'));
    gl.uniform1f(L.uRange, this.mapRange > 0 ? this.mapRange : 1);
    for (let side = 0; side < this.sides; side++) {
      const slot = this.slots[side];
      if (!slot) continue;
      const [x, y, vw, vh] = this.viewport(side);
      gl.viewport(x, y, vw, vh);
      // pixels per unit: the framing ball's diameter spans the shorter side
      const perUnit = (Math.min(vw, vh) / (2 * slot.radius)) * this.zoom;
      gl.uniform3fv(L.uCenter, slot.center);
      gl.uniform2f(L.uScale, (2 * perUnit) / vw, (2 * perUnit) / vh);
      gl.uniform1f(L.uDepth, 1 / (8 * slot.radius));
      // outside faces are the front faces: clockwise seen from outside, or not;
      // of a closed membrane only the outside can be seen
      gl.frontFace(slot.clockwise ? gl.CW : gl.CCW);
      if (slot.closed) gl.enable(gl.CULL_FACE);
      else gl.disable(gl.CULL_FACE);
      gl.bindVertexArray(slot.vao);
      gl.uniform1i(L.uMode, 0);
      const coarse = moving && slot.coarseCount > 0;
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, coarse ? slot.coarse : slot.index);
      gl.drawElements(gl.TRIANGLES, coarse ? slot.coarseCount : slot.indexCount, gl.UNSIGNED_INT, 0);
      if (slot.pinCount > 0) {
        gl.uniform1i(L.uMode, 1);
        gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, slot.pins);
        gl.drawElements(gl.POINTS, slot.pinCount, gl.UNSIGNED_INT, 0);
      }
      gl.bindVertexArray(null);
    }
  }

  // the point of `positions` (a Float32Array of side `side`) nearest to the
  // canvas position (css pixels), among those in front, within 12 pixels
  pick(side, cssX, cssY, positions) {
    const slot = this.slots[side];
    if (!slot) return -1;
    const dpr = window.devicePixelRatio || 1;
    const [x0, , vw, vh] = this.viewport(side);
    const px = cssX * dpr - x0,
      py = this.canvas.height - cssY * dpr;
    const perUnit = (Math.min(vw, vh) / (2 * slot.radius)) * this.zoom;
    const { right, up, toEye } = this.axes;
    const c = slot.center,
      reach = 12 * dpr;
    let best = -1,
      bestDepth = -Infinity;
    const hits = [];
    for (let i = 0; i < positions.length / 3; i++) {
      const dx = positions[3 * i] - c[0],
        dy = positions[3 * i + 1] - c[1],
        dz = positions[3 * i + 2] - c[2];
      const sx = vw / 2 + (dx * right[0] + dy * right[1] + dz * right[2]) * perUnit;
      const sy = vh / 2 + (dx * up[0] + dy * up[1] + dz * up[2]) * perUnit;
      const d2 = (sx - px) ** 2 + (sy - py) ** 2;
      if (d2 <= reach * reach) hits.push([i, d2, dx * toEye[0] + dy * toEye[1] + dz * toEye[2]]);
    }
    // the front-most layer first (within a tenth of the framing radius), then the nearest on screen
    for (const h of hits) bestDepth = Math.max(bestDepth, h[2]);
    let bestD2 = Infinity;
    for (const [i, d2, depth] of hits) {
      if (depth >= bestDepth - 0.1 * slot.radius && d2 < bestD2) ((best = i), (bestD2 = d2));
    }
    return best;
  }

  listen() {
    const canvas = this.canvas;
    let drag = null;
    canvas.addEventListener('pointerdown', (e) => {
      drag = { x: e.clientX, y: e.clientY, az: this.azimuth, el: this.elevation, moved: false };
      canvas.setPointerCapture(e.pointerId);
    });
    canvas.addEventListener('pointermove', (e) => {
      if (!drag) return;
      const dx = e.clientX - drag.x,
        dy = e.clientY - drag.y;
      if (Math.abs(dx) + Math.abs(dy) > 3) drag.moved = true;
      if (!drag.moved) return;
      canvas.classList.add('dragging');
      this.setView(drag.az - dx * 0.4, drag.el + dy * 0.4, this.zoom);
      if (this.onChange) this.onChange();
    });
    canvas.addEventListener('pointerup', (e) => {
      if (!drag) return;
      canvas.classList.remove('dragging');
      const clicked = !drag.moved;
      drag = null;
      if (!clicked || !this.onPick) return;
      const r = canvas.getBoundingClientRect();
      const x = e.clientX - r.left,
        y = e.clientY - r.top;
      const side = this.sides === 2 && x > r.width / 2 ? 1 : 0;
      this.onPick(side, x, y);
    });
    canvas.addEventListener(
      'wheel',
      (e) => {
        e.preventDefault();
        const zoom = Math.max(0.1, Math.min(50, this.zoom * Math.exp(-e.deltaY * 0.0015)));
        this.setView(this.azimuth, this.elevation, zoom);
        if (this.onChange) this.onChange();
      },
      { passive: false },
    );
  }
}

// the shaders' uniforms: the camera's axes and the lights' directions, the
// framing, the pass (surface or pins) and the look's colours and weights
const UNIFORMS = Object.freeze([
  ...['uCenter', 'uRight', 'uUp', 'uToEye', 'uLight', 'uFill', 'uHalf', 'uScale', 'uDepth', 'uMode', 'uPointSize'],
  ...['uOutside', 'uInside', 'uWeights', 'uPower', 'uMap', 'uRange'],
]);

// the colour maps, index = the shader's uMap
export const MAPS = Object.freeze(['plain', 'strain', 'speed', 'pressure']);

// above this many triangles a playing membrane is drawn coarsely
const COARSE_ABOVE_TRIANGLES = 40000;

const VERTEX_SHADER = `#version 300 es
precision highp float;
precision highp int;
in vec3 aPos;
in vec3 aNormal;
in float aValue;
uniform vec3 uCenter, uRight, uUp, uToEye;
uniform vec2 uScale;
uniform float uDepth, uPointSize;
uniform int uMode;
out vec3 vNormal;
out float vValue;
void main() {
  vec3 d = aPos - uCenter;
  // nearer the eye is smaller depth; the pin dots sit a little in front
  float z = -dot(d, uToEye) * uDepth - (uMode == 1 ? 0.004 : 0.0);
  gl_Position = vec4(dot(d, uRight) * uScale.x, dot(d, uUp) * uScale.y, z, 1.0);
  gl_PointSize = uPointSize;
  vNormal = aNormal;
  vValue = aValue;
}`;

// the host's Shade(): the normal turned towards the eye, warm base on outside
// faces and cool on inside ones, key light, fill light and a highlight;
// uWeights holds the ambient, key, fill and highlight weights
const FRAGMENT_SHADER = `#version 300 es
precision highp float;
precision highp int;
in vec3 vNormal;
in float vValue;
uniform vec3 uToEye, uLight, uFill, uHalf, uOutside, uInside;
uniform vec4 uWeights;
uniform float uPower, uRange;
uniform int uMode, uMap;
out vec4 colour;
void main() {
  if (uMode == 1) {
    vec2 c = gl_PointCoord - 0.5;
    if (dot(c, c) > 0.25) discard;
    colour = dot(c, c) > 0.12 ? vec4(1.0) : vec4(0.1, 0.1, 0.14, 1.0);
    return;
  }
  float l2 = dot(vNormal, vNormal);
  vec3 n = l2 > 0.0 ? vNormal * inversesqrt(l2) : uToEye;
  if (dot(n, uToEye) < 0.0) n = -n;
  float diffuse = max(0.0, dot(n, uLight));
  float fillLight = max(0.0, dot(n, uFill));
  float highlight = pow(max(0.0, dot(n, uHalf)), uPower);
  vec3 base = gl_FrontFacing ? uOutside : uInside;
  // a map replaces the base colour; the light still shapes the surface
  float t = clamp(vValue / uRange, -1.0, 1.0);
  if (uMap == 1 || uMap == 3) base = t < 0.0 ? mix(vec3(0.92), vec3(0.15, 0.35, 0.85), -t) : mix(vec3(0.92), vec3(0.85, 0.15, 0.12), t);
  if (uMap == 2) base = mix(vec3(0.92), vec3(0.1, 0.55, 0.3), max(t, 0.0));
  vec3 lit = base * (uWeights.x + uWeights.y * diffuse + uWeights.z * fillLight);
  colour = vec4(min(lit + vec3(uWeights.w * highlight), 1.0), 1.0);
}`;
