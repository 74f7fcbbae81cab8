// The page's files as it downloads them, the sources kept readable. Scripts: the same tokens
// without comments and without the whitespace the language does not need; a line break stays
// unless the token before it cannot end a statement or the one after it cannot begin one (so
// automatic semicolons fall where they did). The tokens come from acorn, Emscripten's own
// JavaScript parser, and the result must parse to the same program. HTML and CSS: the
// indentation of each line, which renders as the line break before it does (none of the page's
// whitespace is preformatted: no <pre>, and a textarea's text starts on its tag's line).
//   node strip.mjs ACORN_MJS IN OUT      (ACORN_MJS: the path of acorn's dist/acorn.mjs)
import { readFileSync, writeFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';

const [acornPath, inPath, outPath] = process.argv.slice(2);
const { parse, tokenizer } = await import(pathToFileURL(acornPath));
const OPTIONS = { ecmaVersion: 'latest', sourceType: 'module' };

const OPEN_ENDED = new Set(['{', '(', '[', ',', ';', ':', '?', '?.', '.', '...', '=>', '=', '+=',
    '-=', '*=', '/=', '&&', '||', '??', '+', '-', '*', '/', '%', '|', '&', '^', '<', '>', '<=',
    '>=', '==', '!=', '===', '!==']);
const CONTINUING = new Set([')', ']', '}', ',', ';', ':', '?', '?.', '.', '=>', '=', '+=', '-=',
    '*=', '/=', '&&', '||', '??', '*', '/', '%', '|', '&', '^', '<', '>', '<=', '>=', '==', '!=',
    '===', '!==']);

// Whether two tokens would read as others when written without a space between them: words (a,
// in, 2), signs that would merge (a - -b, a + +b) and slashes that would start a comment.
function needSpace(before, after) {
    return (/[\w$\\]$/.test(before) && /^[\w$\\]/.test(after)) ||
        (/[+-]$/.test(before) && /^[+-]/.test(after)) ||
        (before.endsWith('/') && after.startsWith('/'));
}

// The program without positions, for comparison.
function program(source) {
    return JSON.stringify(parse(source, OPTIONS), (key, value) =>
        ['start', 'end', 'raw'].includes(key) ? undefined
            : typeof value === 'bigint' ? `${value}n` : value);
}

const source = readFileSync(inPath, 'utf8');
if (!inPath.endsWith('.js')) {
    if (/<pre|<textarea[^>]*>[^<]*\n/.test(source)) throw new Error(`${inPath}: preformatted text`);
    writeFileSync(outPath, source.replace(/\n[ \t]+/g, '\n'));
    process.exit(0);
}
let out = '';
let end = 0;
let previous = '';
for (const token of tokenizer(source, OPTIONS)) {
    const text = source.slice(token.start, token.end);
    const gap = source.slice(end, token.start);  // nothing inside a template literal
    if (out !== '' && gap !== '') {
        if (gap.includes('\n') && !OPEN_ENDED.has(previous) && !CONTINUING.has(text)) out += '\n';
        else if (needSpace(out, text)) out += ' ';
    }
    out += text;
    end = token.end;
    previous = text;
}
out += '\n';
if (program(out) !== program(source)) {
    throw new Error(`${inPath}: the stripped script parses to another program`);
}
writeFileSync(outPath, out);
