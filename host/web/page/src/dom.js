// Small helpers of the page's document: elements by id and the status line.

export const $ = (id) => document.getElementById(id);

// unknown names of a link the status line lists before it counts the rest
const NAMED_UNKNOWNS = 5;

export function status(text, error) {
  $('status').textContent = text;
  $('status').title = text;
  $('status').classList.toggle('error', !!error);
}

// a list of names, the first few of a long one and how many more
export function nameSome(names) {
  const more = names.length - NAMED_UNKNOWNS;
  return names.slice(0, NAMED_UNKNOWNS).join(', ') + (more > 0 ? ` and ${more} more` : '');
}

// what a link could not restore, before what the build said
export function sayLacks(lacks) {
  if (lacks) status(`${lacks}. ${$('status').textContent}`, true);
}

// a key as a label: pinBelow -> pin below
export const spaced = (key) => key.replace(/[A-Z]/g, (c) => ' ' + c.toLowerCase());

// a number to three significant digits, written with the plug-in's decimal separator
export const formatNumber = (value, separator) => String(Number(value.toPrecision(3))).replace('.', separator);
