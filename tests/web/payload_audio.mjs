// Writes encodePayload's samples as raw little-endian float32 to stdout, for the browser tests'
// microphone files: node payload_audio.mjs TEXT OPTIONS_JSON
const R = await import(new URL('../../build/web/ryxsound.js', import.meta.url));
const audio = R.encodePayload(process.argv[2], JSON.parse(process.argv[3]));
process.stdout.write(new Uint8Array(audio.buffer));
