// The module's C functions called directly, as any script could, with arguments ryxsound.js never
// passes: each is refused with a message and never traps (the module is built without
// exceptions, so a check missed on the way to a throw would end in a trap), and the module works
// on afterwards. node --test tests/web/ (after `make web`).
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { test } from 'node:test';

const bytes = await readFile(new URL('../../build/web/ryxsound.wasm', import.meta.url));
let memory = null;
const { instance } = await WebAssembly.instantiate(bytes, {
    env: { emscripten_notify_memory_growth() {} },
    wasi_snapshot_preview1: {
        clock_time_get: () => 0,
        proc_exit(code) { throw new Error(`exit ${code}`); },
    },
});
const core = instance.exports;
memory = core.memory;
core._initialize();

const ERR = 256;
const err = core.ryxw_alloc(ERR);
const text = (s) => {
    const encoded = new TextEncoder().encode(s);
    const at = core.ryxw_alloc(encoded.length + 1);
    new Uint8Array(memory.buffer).set(encoded, at);
    return [at, encoded.length];
};
const scratch = core.ryxw_alloc(256);
const [hello, helloLength] = text('hello0123');
const [robust, robustLength] = text('robust');
const data = core.ryxw_alloc(16);
const errorText = () => {
    const heap = new Uint8Array(memory.buffer);
    return new TextDecoder().decode(heap.subarray(err, heap.indexOf(0, err)));
};
const encoder = core.ryxw_encoder_new(2, -1, 44100, 12000, 1, err, ERR);
const decoder = core.ryxw_decoder_new(5, -1, 44100, robust, robustLength, 12000, 1, err, ERR);
const payloads = core.ryxw_payload_decoder_new(5, -1, 44100, 12000, 1, err, ERR);
assert.ok(encoder && decoder && payloads);

const REFUSED = [
    // call, the value that says it failed, the message
    [() => core.ryxw_mode_from_name(0, 5, err, ERR), -1, /^no text given for a length of 5$/],
    [() => core.ryxw_mode_from_name(hello, -1, err, ERR), -1, /length of -1/],
    [() => core.ryxw_preset_index(hello, helloLength, err, ERR), -1, /^unknown preset 'hello0123': use phone$/],
    [() => core.ryxw_profile_from_name(hello, 3, err, ERR), -1, /^unknown profile 'hel': use fast or robust$/],
    [() => core.ryxw_plan_info(4, 44100, 12000, 1, scratch, err, ERR), 0, /^unknown plan 4: the plans are/],
    [() => core.ryxw_plan_info(0, NaN, 12000, 1, scratch, err, ERR), 0, /^sample rate nan Hz is outside 1000\.\.1000000 Hz$/],
    [() => core.ryxw_plan_info(0, 44100, 12000, 1, 0, err, ERR), 0, /^no output given$/],
    [() => core.ryxw_plans_of(1, scratch, err, ERR), -1, /^unknown mode 1: the modes are 2 audible/],
    [() => core.ryxw_supported_rates(7, 12000, 1, scratch, err, ERR), -1, /^unknown mode 7/],
    [() => core.ryxw_plan_rate(2, 3, 44100, 12000, 1, err, ERR), 0, /^unknown preset 3$/],
    [() => core.ryxw_plan_rate(6, -1, 44100, 12000, 99, err, ERR), 0, /^custom step 99 is outside 0..64/],
    [() => core.ryxw_plan_rate(6, -1, 44100, -1, 1, err, ERR), 0, /^custom base -1 Hz must be a positive frequency$/],
    [() => core.ryxw_payload_rate(9, -1, 44100, 12000, 1, 0, err, ERR), 0, /^unknown mode 9/],
    [() => core.ryxw_payload_rate(2, -1, 44100, 12000, 1, 5, err, ERR), 0, /^unknown profile 5: use fast or robust$/],
    [() => core.ryxw_payload_rate(6, -1, NaN, 12000, 1, -1, err, ERR), 0, /^sample rate nan Hz/],
    [() => core.ryxw_payload_rate(6, -1, 44100, 1e9, 1, 1, err, ERR), 0, /^the custom plan reaches 1e\+09 Hz/],
    [() => core.ryxw_payload_decoder_new(2, -1, 8000, 12000, 1, err, ERR), 0, /^audio at 8000 Hz holds up to 3600 Hz, robust payloads in the audible plan/],
    [() => core.ryxw_message_tones(0, 9, 0, 44100, 12000, 1, scratch, err, ERR), 0, /no text given/],
    [() => core.ryxw_message_tones(hello, 4, 0, 44100, 12000, 1, scratch, err, ERR), 0, /exactly 9 characters long, got 4: 'hell'/],
    [() => core.ryxw_message_tones(hello, helloLength, 9, 44100, 12000, 1, scratch, err, ERR), 0, /^unknown plan 9/],
    [() => core.ryxw_encoder_new(2, -1, 8000, 12000, 1, err, ERR), 0, /^audio at 8000 Hz holds up to 3600 Hz/],
    [() => core.ryxw_encoder_new(2, -1, 96000, 12000, 1, err, ERR), 0, /^sampleRate 96000 Hz: the plans are made at 48000 Hz/],
    [() => core.ryxw_encoder_encode(0, hello, helloLength, 0, 0, 0, 0, err, ERR), -1, /^the encoder is closed$/],
    [() => core.ryxw_encoder_encode(encoder, hello, helloLength, 0, 3, 0, 0, err, ERR), -1, /length of 3/],
    [() => core.ryxw_encoder_encode(encoder, hello, helloLength, 0, 0, 1, Infinity, err, ERR), -1, /gain must be a finite number of dB/],
    [() => core.ryxw_encoder_encode(encoder, hello, helloLength, hello, helloLength, 1, 0, err, ERR), -1, /either a melody or random tones/],
    [() => core.ryxw_decoder_new(2, -1, 44100, hello, helloLength, 12000, 1, err, ERR), 0, /^unknown receiver 'hello0123'/],
    [() => core.ryxw_decoder_new(0, -1, 44100, robust, robustLength, 12000, 1, err, ERR), 0, /^unknown mode 0/],
    [() => core.ryxw_decoder_feed(0, 10, err, ERR), -1, /^the decoder is closed$/],
    [() => core.ryxw_decoder_feed(decoder, 16385, err, ERR), -1, /^a feed takes 0..16384 samples, not 16385$/],
    [() => core.ryxw_decoder_feed(decoder, -1, err, ERR), -1, /not -1$/],
    [() => core.ryxw_decoder_flush(0, err, ERR), -1, /closed/],
    [() => core.ryxw_spectrum_new(100, err, ERR), 0, /^the window size must be a power of two 4..8192, not 100$/],
    [() => core.ryxw_spectrum_new(16384, err, ERR), 0, /not 16384/],
    [() => core.ryxw_spectrum_analyze(0, err, ERR), 0, /^the spectrum is closed$/],
    [() => core.ryxw_payload_shape(1.5, 0, 2, -1, 44100, 12000, 1, scratch, err, ERR), 0, /^payload size 1.5: give a whole number of bytes, 1 to 4096$/],
    [() => core.ryxw_payload_shape(NaN, 0, 2, -1, 44100, 12000, 1, scratch, err, ERR), 0, /^payload size nan/],
    [() => core.ryxw_payload_shape(10, 7, 2, -1, 44100, 12000, 1, scratch, err, ERR), 0, /^unknown profile 7: use fast or robust$/],
    [() => core.ryxw_payload_shape(10, 0, 9, -1, 44100, 12000, 1, scratch, err, ERR), 0, /^unknown mode 9/],
    [() => core.ryxw_payload_shape(10, 0, 2, -1, 0, 12000, 1, scratch, err, ERR), 0, /^sample rate 0 Hz is outside/],
    [() => core.ryxw_payload_shape(10, 0, 2, -1, 44100, 12000, 1, 0, err, ERR), 0, /^no output given$/],
    [() => core.ryxw_payload_encode(0, 10, 0, 2, -1, 44100, 12000, 1, 1, err, ERR), 0, /^payload data is null$/],
    [() => core.ryxw_payload_encode(data, 10, 0, 2, -1, 44100, 12000, 1, 17, err, ERR), 0, /^repeat 17 is outside 1..16$/],
    [() => core.ryxw_payload_encode(data, 10, -3, 2, -1, 44100, 12000, 1, 1, err, ERR), 0, /^unknown profile -3/],
    [() => core.ryxw_payload_encode(data, 5000, 0, 2, -1, 44100, 12000, 1, 1, err, ERR), 0, /^payload of 5000 bytes: a payload holds 1 to 4096 bytes$/],
    [() => core.ryxw_payload_decoder_new(5, -1, 22050, 12000, 1, err, ERR), 0, /resample to 44100 Hz/],
    [() => core.ryxw_payload_decoder_feed(payloads, 1e9, err, ERR), -1, /^a feed takes 0..16384 samples/],
    [() => core.ryxw_payload_decoder_progress(0, err, ERR), -1, /closed/],
];

for (const [call, failed, message] of REFUSED) {
    test(`refused, never trapping: ${call.toString().slice(6, 90)}`, () => {
        assert.equal(call(), failed);
        assert.match(errorText(), message);
    });
}

test('records past the end are absent, and the module works on after every refusal', () => {
    for (const get of [core.ryxw_decoder_message, core.ryxw_payload_decoder_payload,
        core.ryxw_payload_decoder_arriving]) {
        assert.equal(get(0, 0), 0);
        assert.equal(get(decoder, -1), 0);
    }
    assert.equal(core.ryxw_decoder_message(decoder, 1), 0);
    assert.equal(core.ryxw_preset_name(1), 0);
    const count = core.ryxw_encoder_encode(encoder, hello, helloLength, 0, 0, 0, 0, err, ERR);
    assert.equal(count, 92160);
    const samples = new Float32Array(memory.buffer, core.ryxw_encoder_samples(encoder), count).slice();
    const heard = [];
    for (let at = 0; at < samples.length; at += 16384) {
        const piece = samples.subarray(at, at + 16384);
        new Float32Array(memory.buffer, core.ryxw_decoder_input(decoder), piece.length).set(piece);
        for (let i = core.ryxw_decoder_feed(decoder, piece.length, err, ERR); i > 0; i--) heard.push(i);
    }
    const flushed = core.ryxw_decoder_flush(decoder, err, ERR);
    const record = core.ryxw_decoder_message(decoder, 0);
    assert.equal(heard.length + flushed, 1);
    assert.equal(new TextDecoder().decode(new Uint8Array(memory.buffer, record, 9)), 'hello0123');
});
