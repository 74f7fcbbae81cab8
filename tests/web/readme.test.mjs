// The README's JavaScript example runs as written against the built module: every function it
// calls is one it imports, and every call takes the options it shows. node --test tests/web/
// (after `make web`).
import assert from 'node:assert/strict';
import { mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';

const readme = await readFile(new URL('../../README.md', import.meta.url), 'utf8');
const module = new URL('../../build/web/ryxsound.js', import.meta.url);

test("the README's example of the module runs", async () => {
    const web = readme.slice(readme.indexOf('## In a web page'));
    const example = web.match(/```js\n([\s\S]*?)```/)?.[1];
    assert.ok(example?.includes("from './ryxsound.js'"), 'no JavaScript example in the web section');
    // What the example leaves to its reader: a block of microphone samples and a file's bytes.
    const script = "const chunk = new Float32Array(2048);\n" +
        "const fileBytes = new TextEncoder().encode('a file');\n" +
        example.replace("'./ryxsound.js'", `'${module.href}'`);
    const directory = await mkdtemp(join(tmpdir(), 'ryx-readme-'));
    try {
        const path = join(directory, 'example.mjs');
        await writeFile(path, script);
        await import(pathToFileURL(path).href);
    } finally {
        await rm(directory, { recursive: true });
    }
});
