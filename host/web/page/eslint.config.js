// ESLint for the preview page's modules, its build scripts and the browser
// tests (tests/web): the recommended checks, and no function over 60 lines.
import js from '@eslint/js';
import globals from 'globals';

const shared = {
  ...js.configs.recommended,
  rules: {
    ...js.configs.recommended.rules,
    'max-lines-per-function': ['error', { max: 60 }],
    'no-unused-vars': ['error', { caughtErrors: 'none' }],
  },
};

export default [
  { ignores: ['**/node_modules/**'] },
  { ...shared, files: ['host/web/page/src/**/*.js'], languageOptions: { globals: { ...globals.browser } } },
  {
    ...shared,
    files: ['host/web/page/*.js', 'host/web/page/*.mjs'],
    languageOptions: { globals: { ...globals.node } },
  },
  // the tests run in Node and hand functions to the page, which run there
  {
    ...shared,
    files: ['tests/web/*.mjs'],
    languageOptions: { globals: { ...globals.node, ...globals.browser } },
  },
];
