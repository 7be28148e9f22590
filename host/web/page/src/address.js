// The page's address: the configuration written into it after every build,
// and read from it when the page opens or a link changes it.
import { decode, encode } from './scene_url.js';
import { nameSome } from './dom.js';

export class Address {
  constructor(options, presets) {
    this.options = options;
    this.presets = presets;
    this.written = ''; // the hash the page wrote last: its own hashchange is not a link
  }

  write(cfg) {
    this.written = encode(cfg);
    try {
      history.replaceState(null, '', '#' + this.written);
    } catch {
      location.hash = this.written;
    }
  }

  // a hash the page did not write itself
  isNew() {
    return location.hash.replace(/^#/, '') !== this.written;
  }

  // the link's configuration, and what of it the page cannot restore
  read() {
    const { cfg: c, unknown, missing } = decode(location.hash, this.options.optionKeys, this.options.setupKeys);
    const lacks = [];
    if (c.preset && !this.presets.has(c.preset)) {
      unknown.push(`preset ${c.preset}`);
      c.preset = '';
    }
    if (unknown.length) lacks.push(`the link names what this page does not know: ${nameSome(unknown)}`);
    // the membrane options were the dropped file's: without it they would
    // make another membrane of the default one
    if (missing.length) {
      lacks.push(
        `the link's scene ran on the dropped ${nameSome(missing)}, which a link cannot carry: ` +
          "this is the default membrane with the link's settings; drop the file to run it",
      );
      c.opt = {};
    }
    return { c, lacks: lacks.join('; ') };
  }
}
