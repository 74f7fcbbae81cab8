// Writes the graph wasm-metadce keeps a module by: every export of the linked module (argv[2])
// as a root but the stack and table exports Emscripten adds for its own JavaScript runtime,
// which ryxsound.js does not use; the graph goes to argv[3].
//   node export_graph.mjs ryxsound.wasm graph.json
import { readFileSync, writeFileSync } from 'node:fs';

const DROPPED = ['stackSave', 'stackRestore', 'stackAlloc', '__indirect_function_table'];
const module = new WebAssembly.Module(readFileSync(process.argv[2]));
const roots = WebAssembly.Module.exports(module)
    .filter(({ name }) => !DROPPED.includes(name))
    .map(({ name }) => ({ name, root: true, export: name }));
writeFileSync(process.argv[3], JSON.stringify(roots));
