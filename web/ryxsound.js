// RyxSound for web pages and Node: nine base-32 characters as a two-second burst of tones, and
// payloads of 1 to 4096 bytes as frames of tones, and back, computed by the C++ core compiled to
// ryxsound.wasm (loaded from next to this file).
//
//   import { encode, Decoder } from './ryxsound.js';
//   const audio = encode('hello0123', { mode: 'audible', sampleRate: 44100 });  // Float32Array
//   const decoder = new Decoder({ mode: 'all', sampleRate: 44100 });
//   decoder.feed(audio);                 // -> [] until a message completes
//   decoder.flush();                     // -> [{ text: 'hello0123', ok: true, ... }]
//   decoder.close();                     // frees its wasm memory
//   const sent = encodePayload('any text or a Uint8Array', { profile: 'fast' });
//   decodePayloads(sent);                // -> [{ data: Uint8Array, text: 'any text ...', ok: true, ... }]
//
// A page that loads this module also gets everything as the global `RyxSound` (and a
// 'ryxsound-ready' event on window once it is there). Bad arguments throw a TypeError (wrong kind
// of value) or a RyxSoundError (a value the core refuses, with its message); the wasm code itself
// never traps on them. The declarations with their documentation: ryxsound.d.ts.

const MODE_NAMES = ['audible', 'nonaudible', 'compression', 'all', 'custom'];  // modes 2..6
const PLAN_NAMES = ['audible', 'nonaudible', 'compression', 'custom'];        // plans 0..3
const PROFILE_NAMES = ['fast', 'robust'];                                     // profiles 0..1
const CUSTOM_MODE = 6;
const BAND = ['customBaseHz', 'customStep'];  // options of the custom band
const ERROR_BYTES = 512;
// The records the core writes, field: [byte offset, type, count of an array]. WebMessage (text at
// 0) and WebPlanInfo in ryxsound_web.cpp, whose static_asserts hold the same offsets.
const MESSAGE = { ok: [16, 'Int32'], plan: [20, 'Int32'], start: [24, 'Float64'],
    end: [32, 'Float64'], confidence: [40, 'Float32'], toneToBandDb: [44, 'Float32'],
    levelDbfs: [48, 'Float32'], cleanShare: [52, 'Float32'], corrected: [56, 'Uint32'] };
const PLAN_RECORD = { toneHz: [0, 'Float32', 9], toneBins: [36, 'Int32', 9],
    windowSize: [72, 'Int32'], symbolSamples: [76, 'Int32'], transmissionSamples: [80, 'Int32'],
    hopHz: [84, 'Float32'], hopBins: [88, 'Int32'], bandLowHz: [92, 'Float32'],
    bandHighHz: [96, 'Float32'], fits: [100, 'Int32'], sampleRate: [104, 'Float32'] };
const PLAN_RECORD_BYTES = 108;
// WebPayload (also a payload still arriving) and WebPayloadShape.
const PAYLOAD = { start: [0, 'Float64'], end: [8, 'Float64'], data: [16, 'Uint32'],
    size: [20, 'Uint32'], ok: [24, 'Int32'], profile: [28, 'Int32'], plan: [32, 'Int32'],
    framesHeard: [36, 'Int32'], framesTotal: [40, 'Int32'], framesNeeded: [44, 'Int32'],
    confidence: [48, 'Float32'], toneToBandDb: [52, 'Float32'], levelDbfs: [56, 'Float32'] };
const PAYLOAD_SHAPE = { seconds: [0, 'Float64'], dataFrames: [8, 'Int32'],
    parityFrames: [12, 'Int32'], frameSamples: [16, 'Int32'], totalSamples: [20, 'Int32'],
    channels: [24, 'Int32'], symbolSeconds: [28, 'Float32'] };
const PAYLOAD_SHAPE_BYTES = 32;

/** A value the core refused; the message says which and what is allowed. */
export class RyxSoundError extends Error {
    constructor(message) {
        super(message);
        this.name = 'RyxSoundError';
    }
}

async function wasmBytes() {
    const url = new URL('./ryxsound.wasm', import.meta.url);
    if (url.protocol === 'file:') {
        const { readFile } = await import('node:fs/promises');
        return readFile(url);
    }
    const response = await fetch(url);
    if (!response.ok) throw new Error(`cannot load ${url}: HTTP ${response.status}`);
    return response.arrayBuffer();
}

// The few system calls the standalone module makes: the clock (seeding random tones) and exit
// (only reached on an abort, which the C layer never lets a bad argument cause).
function systemImports(memory) {
    return {
        env: { emscripten_notify_memory_growth() {} },
        wasi_snapshot_preview1: {
            clock_time_get(_id, _precision, out) {
                const nanoseconds = BigInt(Math.round(performance.now() * 1e6)) +
                    BigInt(Date.now()) * 1000000n;
                new DataView(memory().buffer).setBigUint64(out, nanoseconds, true);
                return 0;
            },
            proc_exit(code) {
                throw new Error(`ryxsound.wasm stopped (exit ${code})`);
            },
        },
    };
}

const { instance } = await WebAssembly.instantiate(
    await wasmBytes(), systemImports(() => instance.exports.memory));
const core = instance.exports;
core._initialize();
const errorBuffer = core.ryxw_alloc(ERROR_BYTES);
const DEFAULT_CUSTOM = {
    customBaseHz: core.ryxw_default_custom_base_hz(),
    customStep: core.ryxw_default_custom_step(),
};

function bytes() {
    return new Uint8Array(core.memory.buffer);
}
function floats(pointer, count) {
    return new Float32Array(core.memory.buffer, pointer, count);
}
function cString(pointer) {
    if (!pointer) return '';
    const heap = bytes();
    let end = pointer;
    while (heap[end] !== 0) end++;
    return new TextDecoder().decode(heap.subarray(pointer, end));
}

// Calls fn with the error buffer's (pointer, size); throws the core's message when fn's result
// is `failed`.
function checked(failed, fn) {
    const result = fn(errorBuffer, ERROR_BYTES);
    if (result === failed) throw new RyxSoundError(cString(errorBuffer));
    return result;
}

// Calls fn(pointer, byteCount) with the Uint8Arrays copied into wasm memory, freed afterwards.
function withBytes(arrays, fn) {
    const pointers = arrays.map((a) => core.ryxw_alloc(a.length + 1));
    try {
        if (pointers.includes(0)) throw new RyxSoundError('out of memory');
        arrays.forEach((a, i) => bytes().set(a, pointers[i]));
        return fn(...arrays.flatMap((a, i) => [pointers[i], a.length]));
    } finally {
        pointers.forEach((p) => core.ryxw_release(p));
    }
}

// withBytes for strings as UTF-8.
function withStrings(strings, fn) {
    return withBytes(strings.map((s) => new TextEncoder().encode(s)), fn);
}

// A record's fields by its layout (arrays hold 4-byte values).
function readRecord(pointer, layout) {
    const view = new DataView(core.memory.buffer);
    const fields = {};
    for (const [key, [at, type, count]] of Object.entries(layout)) {
        const get = (i) => view[`get${type}`](pointer + at + 4 * i, true);
        fields[key] = count ? Array.from({ length: count }, (_, i) => get(i)) : get(0);
    }
    return fields;
}

function withScratch(byteCount, fn) {
    const pointer = core.ryxw_alloc(byteCount);
    try {
        return fn(pointer);
    } finally {
        core.ryxw_release(pointer);
    }
}

function requireType(value, type, what) {
    if (typeof value !== type) {
        throw new TypeError(`${what} must be a ${type}, not ${value === null ? 'null' : typeof value}`);
    }
    return value;
}

// A mode name (any case, '-' and '_' ignored) or number 2..6 -> its number.
function modeNumber(mode) {
    if (typeof mode === 'number') {
        if ((mode | 0) !== mode) throw new RyxSoundError(`mode ${mode} is not an integer 2..6`);
        return mode;
    }
    requireType(mode, 'string', 'mode');
    return withStrings([mode], (p, n) =>
        checked(-1, (err, size) => core.ryxw_mode_from_name(p, n, err, size)));
}

function planNumber(plan) {
    const index = PLAN_NAMES.indexOf(requireType(plan, 'string', 'plan').toLowerCase());
    if (index < 0) throw new RyxSoundError(`unknown plan '${plan}': use ${PLAN_NAMES.join(', ')}`);
    return index;
}

export function presets() {
    const list = [];
    for (let i = 0; i < core.ryxw_preset_count(); i++) {
        list.push(Object.freeze({
            name: cString(core.ryxw_preset_name(i)),
            mode: MODE_NAMES[core.ryxw_preset_mode(i) - 2],
            customBaseHz: core.ryxw_preset_base_hz(i),
            customStep: core.ryxw_preset_step(i),
            description: cString(core.ryxw_preset_description(i)),
        }));
    }
    return list;
}

function presetIndex(name) {
    requireType(name, 'string', 'preset');
    return withStrings([name], (p, n) =>
        checked(-1, (err, size) => core.ryxw_preset_index(p, n, err, size)));
}

function checkOptions(options, allowed) {
    if (options === undefined) return {};
    if (options === null || typeof options !== 'object') {
        throw new TypeError(`options must be an object, not ${options === null ? 'null' : typeof options}`);
    }
    for (const key of Object.keys(options)) {
        if (!allowed.includes(key)) {
            throw new TypeError(`unknown option '${key}': use ${allowed.join(', ')}`);
        }
    }
    return options;
}

// {mode, sampleRate, preset, customBaseHz, customStep} -> numbers for the core (preset: an index,
// -1 for none). A preset picks the mode and band; the custom band belongs to the custom mode only.
function settings(options, defaultMode) {
    const index = options.preset === undefined ? -1 : presetIndex(options.preset);
    const preset = index < 0 ? null : presets()[index];
    const mode = modeNumber(options.mode ?? preset?.mode ?? defaultMode);
    if (preset && mode !== modeNumber(preset.mode)) {
        throw new RyxSoundError(`preset '${preset.name}' sends in mode '${preset.mode}', ` +
            `not '${MODE_NAMES[mode - 2] ?? mode}': leave the mode out`);
    }
    const band = preset ?? DEFAULT_CUSTOM;
    for (const key of BAND) {
        if (options[key] === undefined) continue;
        requireType(options[key], 'number', key);
        if (mode !== CUSTOM_MODE || preset) {
            throw new RyxSoundError(`${key} sets the band of mode 'custom' without a preset only`);
        }
    }
    const customStep = options.customStep ?? band.customStep;
    if ((customStep | 0) !== customStep) {
        throw new RyxSoundError(`customStep must be an integer 0..64, not ${customStep}`);
    }
    return {
        mode,
        preset: index,
        sampleRate: requireType(options.sampleRate ?? 44100, 'number', 'sampleRate'),
        customBaseHz: options.customBaseHz ?? band.customBaseHz,
        customStep,
    };
}

/** Frequencies and sizes of one plan ('audible', ...) at a rate. */
export function planInfo(plan, sampleRate = 44100, options = undefined) {
    const o = checkOptions(options, BAND);
    const s = settings({ ...o, mode: 'custom', sampleRate }, 'custom');
    const number = planNumber(plan);
    return withScratch(PLAN_RECORD_BYTES, (out) => {
        checked(0, (err, size) => core.ryxw_plan_info(
            number, s.sampleRate, s.customBaseHz, s.customStep, out, err, size));
        const { fits, ...info } = readRecord(out, PLAN_RECORD);
        return { plan: PLAN_NAMES[number], ...info, fits: fits === 1 };
    });
}

export function plansOf(mode) {
    const number = modeNumber(mode);
    return withScratch(12, (out) => {
        const count = checked(-1, (err, size) => core.ryxw_plans_of(number, out, err, size));
        return Array.from(new Int32Array(core.memory.buffer, out, count), (p) => PLAN_NAMES[p]);
    });
}

export function supportedRates(mode, options = undefined) {
    const o = checkOptions(options, ['preset', ...BAND]);
    const s = settings({ ...o, mode }, mode);
    return withScratch(12, (out) => {
        const count = checked(-1, (err, size) => core.ryxw_supported_rates(
            s.mode, s.customBaseHz, s.customStep, out, err, size));
        return Array.from(floats(out, count));
    });
}

/** The rate the plans are made at for audio at sampleRate (96000 -> 48000 Hz), the only rate
 * encode and Decoder take; throws when no rate will do ('audible' at 8000 Hz). */
export function planRate(mode, sampleRate, options = undefined) {
    const o = checkOptions(options, ['preset', ...BAND]);
    const s = settings({ ...o, mode, sampleRate }, mode);
    return checked(0, (err, size) => core.ryxw_plan_rate(
        s.mode, s.preset, s.sampleRate, s.customBaseHz, s.customStep, err, size));
}

/** The 20 tone pairs (Hz, hop included) that send `text` in `plan`: a Float32Array of 40 (the
 * two start symbols sound one tone, given twice). */
export function messageTones(text, plan, sampleRate = 44100, options = undefined) {
    const o = checkOptions(options, BAND);
    const s = settings({ ...o, mode: 'custom', sampleRate }, 'custom');
    requireType(text, 'string', 'text');
    return withScratch(40 * 4, (out) => withStrings([text], (p, n) => {
        checked(0, (err, size) => core.ryxw_message_tones(
            p, n, planNumber(plan), s.sampleRate, s.customBaseHz, s.customStep, out, err, size));
        return floats(out, 40).slice();
    }));
}

/**
 * One transmission of a nine-character base-32 text as samples -1..1 (92160 at 44100 Hz).
 * options: mode ('audible' default), sampleRate (44100), preset, customBaseHz, customStep,
 * melody (base-32 notes), randomTones (bool), randomToneGainDb.
 */
export function encode(text, options = undefined) {
    const o = checkOptions(options, ['mode', 'sampleRate', 'preset', ...BAND, 'melody',
        'randomTones', 'randomToneGainDb']);
    requireType(text, 'string', 'text');
    const s = settings(o, 'audible');
    const melody = requireType(o.melody ?? '', 'string', 'melody');
    const randomTones = requireType(o.randomTones ?? false, 'boolean', 'randomTones');
    const gainDb = requireType(o.randomToneGainDb ?? 0, 'number', 'randomToneGainDb');
    const encoder = checked(0, (err, size) => core.ryxw_encoder_new(
        s.mode, s.preset, s.sampleRate, s.customBaseHz, s.customStep, err, size));
    try {
        return withStrings([text, melody], (tp, tn, mp, mn) => {
            const count = checked(-1, (err, size) => core.ryxw_encoder_encode(
                encoder, tp, tn, mp, mn, randomTones ? 1 : 0, gainDb, err, size));
            return floats(core.ryxw_encoder_samples(encoder), count).slice();
        });
    } finally {
        core.ryxw_encoder_free(encoder);
    }
}

function asSamples(samples) {
    if (samples instanceof Float32Array) return samples;
    if (samples !== null && typeof samples === 'object' && typeof samples.length === 'number') {
        return Float32Array.from(samples);
    }
    throw new TypeError('samples must be a Float32Array or an array of numbers');
}

// Frees the wasm memory of decoders and spectra that were dropped without close().
const unclosed = new FinalizationRegistry((free) => free());

// Copies audio into a decoder's input area piece by piece, calling feedPiece(count) for each.
function feedInPieces(input, audio, feedPiece) {
    const capacity = core.ryxw_decoder_capacity();
    for (let at = 0; at < audio.length; at += capacity) {
        const piece = audio.subarray(at, Math.min(at + capacity, audio.length));
        floats(input, piece.length).set(piece);
        feedPiece(piece.length);
    }
}

/**
 * A streaming receiver: feed captured audio in chunks of any size, collect messages.
 * options: mode ('all' default), sampleRate (44100), receiver ('robust' or 'standard'), preset,
 * customBaseHz, customStep.
 */
export class Decoder {
    #handle;
    #settings;
    #receiver;

    constructor(options = undefined) {
        const o = checkOptions(options, ['mode', 'sampleRate', 'receiver', 'preset', ...BAND]);
        const s = this.#settings = settings(o, 'all');
        const receiver = requireType(o.receiver ?? 'robust', 'string', 'receiver');
        const handle = this.#handle = withStrings([receiver], (p, n) => checked(0, (err, size) =>
            core.ryxw_decoder_new(s.mode, s.preset, s.sampleRate, p, n, s.customBaseHz,
                s.customStep, err, size)));
        this.#receiver = cString(core.ryxw_decoder_receiver(handle));
        unclosed.register(this, () => core.ryxw_decoder_free(handle), this);
    }

    get mode() { return MODE_NAMES[this.#settings.mode - 2]; }
    get sampleRate() { return this.#settings.sampleRate; }
    get receiver() { return this.#receiver; }
    get closed() { return this.#handle === 0; }
    get position() { return core.ryxw_decoder_position(this.#open()); }
    get inMessage() { return core.ryxw_decoder_in_message(this.#open()) === 1; }

    /** Feeds samples (values that are not finite count as silence); returns completed messages. */
    feed(samples) {
        const handle = this.#open();
        const messages = [];
        feedInPieces(core.ryxw_decoder_input(handle), asSamples(samples), (count) => this.#collect(
            checked(-1, (err, size) => core.ryxw_decoder_feed(handle, count, err, size)), messages));
        return messages;
    }

    /** Feeds silence until a message in progress completes; returns what completes. */
    flush() {
        const handle = this.#open();
        return this.#collect(checked(-1, (err, size) => core.ryxw_decoder_flush(handle, err, size)), []);
    }

    /** Frees the decoder's wasm memory; further use throws. Safe to call twice. */
    close() {
        if (this.#handle === 0) return;
        unclosed.unregister(this);
        core.ryxw_decoder_free(this.#handle);
        this.#handle = 0;
    }

    #open() {
        if (this.#handle === 0) throw new RyxSoundError('the decoder is closed');
        return this.#handle;
    }

    #collect(count, messages) {
        for (let i = 0; i < count; i++) {
            const record = core.ryxw_decoder_message(this.#handle, i);
            const { ok, plan, corrected, ...figures } = readRecord(record, MESSAGE);
            messages.push({
                text: cString(record), ok: ok === 1, mode: PLAN_NAMES[plan], ...figures,
                corrected: Array.from({ length: 32 }, (_, b) => b).filter((b) => corrected & (1 << b)),
            });
        }
        return messages;
    }
}

export function decode(samples, options = undefined) {
    const decoder = new Decoder(options);
    try {
        return [...decoder.feed(samples), ...decoder.flush()];
    } finally {
        decoder.close();
    }
}

export const MAX_PAYLOAD_BYTES = core.ryxw_max_payload_bytes();
const PAYLOAD_OPTIONS = ['profile', 'mode', 'sampleRate', 'preset', ...BAND];

// {profile, mode, sampleRate, preset, customBaseHz, customStep} -> numbers for the core.
function payloadSettings(options) {
    const profile = requireType(options.profile ?? 'robust', 'string', 'profile');
    return {
        ...settings(options, 'audible'),
        profile: withStrings([profile], (p, n) =>
            checked(-1, (err, size) => core.ryxw_profile_from_name(p, n, err, size))),
    };
}

function shapeOf(size, s) {
    requireType(size, 'number', 'size');
    return withScratch(PAYLOAD_SHAPE_BYTES, (out) => {
        checked(0, (err, n) => core.ryxw_payload_shape(size, s.profile, s.mode, s.preset,
            s.sampleRate, s.customBaseHz, s.customStep, out, err, n));
        return readRecord(out, PAYLOAD_SHAPE);
    });
}

/**
 * The rate payloads are made at for audio at sampleRate (audible payloads, at 1.2..5.9 kHz: 16000
 * -> 44100 Hz), the only rate encodePayload and PayloadDecoder take; throws when no rate will do
 * ('audible' at 8000 Hz). options: profile (a sender's; without it, a decoder's, which hears
 * both), preset, customBaseHz, customStep.
 */
export function payloadRate(mode, sampleRate, options = undefined) {
    const o = checkOptions(options, ['profile', 'preset', ...BAND]);
    const s = o.profile === undefined ? { ...settings({ ...o, mode, sampleRate }, mode), profile: -1 }
        : payloadSettings({ ...o, mode, sampleRate });
    return checked(0, (err, size) => core.ryxw_payload_rate(s.mode, s.preset, s.sampleRate,
        s.customBaseHz, s.customStep, s.profile, err, size));
}

/**
 * How a payload of `size` bytes is sent: its frames, samples and seconds on air.
 * options: profile ('robust' default, or 'fast'), mode ('audible'), sampleRate (44100), preset,
 * customBaseHz, customStep.
 */
export function payloadShape(size, options = undefined) {
    return shapeOf(size, payloadSettings(checkOptions(options, PAYLOAD_OPTIONS)));
}

/**
 * One payload transmission (bytes, or a string sent as UTF-8) as samples -1..1.
 * options: as payloadShape, and repeat (1..16 transmissions back to back, default 1).
 */
export function encodePayload(data, options = undefined) {
    const o = checkOptions(options, [...PAYLOAD_OPTIONS, 'repeat']);
    const payload = typeof data === 'string' ? new TextEncoder().encode(data) : data;
    if (!(payload instanceof Uint8Array)) {
        throw new TypeError(`data must be a Uint8Array or a string, not ${data === null ? 'null' : typeof data}`);
    }
    const repeat = requireType(o.repeat ?? 1, 'number', 'repeat');
    if ((repeat | 0) !== repeat) throw new RyxSoundError(`repeat must be an integer 1..16, not ${repeat}`);
    const s = payloadSettings(o);
    shapeOf(payload.length, s);  // refuses a size, profile or band before the bytes are copied
    return withBytes([payload], (p, n) => {
        const audio = checked(0, (err, size) => core.ryxw_payload_encode(p, n, s.profile, s.mode,
            s.preset, s.sampleRate, s.customBaseHz, s.customStep, repeat, err, size));
        try {
            return floats(core.ryxw_audio_samples(audio), core.ryxw_audio_count(audio)).slice();
        } finally {
            core.ryxw_audio_free(audio);
        }
    });
}

// The payload as text when it is UTF-8 without control characters but tab and line breaks.
function printable(data) {
    try {
        const text = new TextDecoder('utf-8', { fatal: true }).decode(data);
        return /[\0-\x08\x0b\x0c\x0e-\x1f\x7f]/.test(text) ? null : text;
    } catch {
        return null;
    }
}

/**
 * A streaming receiver of payloads in both profiles: feed captured audio in chunks of any size,
 * collect each payload once, whole (ok) or failed. options: mode ('all' default), sampleRate
 * (44100), preset, customBaseHz, customStep.
 */
export class PayloadDecoder {
    #handle;
    #settings;

    constructor(options = undefined) {
        const o = checkOptions(options, ['mode', 'sampleRate', 'preset', ...BAND]);
        const s = this.#settings = settings(o, 'all');
        const handle = this.#handle = checked(0, (err, size) => core.ryxw_payload_decoder_new(
            s.mode, s.preset, s.sampleRate, s.customBaseHz, s.customStep, err, size));
        unclosed.register(this, () => core.ryxw_payload_decoder_free(handle), this);
    }

    get mode() { return MODE_NAMES[this.#settings.mode - 2]; }
    get sampleRate() { return this.#settings.sampleRate; }
    get closed() { return this.#handle === 0; }
    get position() { return core.ryxw_payload_decoder_position(this.#open()); }

    /** Feeds samples (values that are not finite count as silence); returns reported payloads. */
    feed(samples) {
        const handle = this.#open();
        const payloads = [];
        feedInPieces(core.ryxw_payload_decoder_input(handle), asSamples(samples), (count) =>
            this.#collect(checked(-1, (err, size) =>
                core.ryxw_payload_decoder_feed(handle, count, err, size)), payloads));
        return payloads;
    }

    /** Finishes the frames in progress; returns every payload not yet reported. */
    flush() {
        const handle = this.#open();
        return this.#collect(checked(-1, (err, size) =>
            core.ryxw_payload_decoder_flush(handle, err, size)), []);
    }

    /** The payloads whose frames are arriving, not yet reported. */
    progress() {
        const handle = this.#open();
        const count = checked(-1, (err, size) => core.ryxw_payload_decoder_progress(handle, err, size));
        return Array.from({ length: count }, (_, i) => {
            const r = readRecord(core.ryxw_payload_decoder_arriving(handle, i), PAYLOAD);
            return { profile: PROFILE_NAMES[r.profile], mode: PLAN_NAMES[r.plan], size: r.size,
                framesHeard: r.framesHeard, framesNeeded: r.framesNeeded,
                framesTotal: r.framesTotal, lastEnd: r.end };
        });
    }

    /** Frees the decoder's wasm memory; further use throws. Safe to call twice. */
    close() {
        if (this.#handle === 0) return;
        unclosed.unregister(this);
        core.ryxw_payload_decoder_free(this.#handle);
        this.#handle = 0;
    }

    #open() {
        if (this.#handle === 0) throw new RyxSoundError('the decoder is closed');
        return this.#handle;
    }

    #collect(count, payloads) {
        for (let i = 0; i < count; i++) {
            const { data, ok, profile, plan, ...figures } =
                readRecord(core.ryxw_payload_decoder_payload(this.#handle, i), PAYLOAD);
            const received = ok ? bytes().slice(data, data + figures.size) : new Uint8Array(0);
            payloads.push({ data: received, text: ok ? printable(received) : null, ok: ok === 1,
                profile: PROFILE_NAMES[profile], mode: PLAN_NAMES[plan], ...figures });
        }
        return payloads;
    }
}

/** Every payload in a whole recording. */
export function decodePayloads(samples, options = undefined) {
    const decoder = new PayloadDecoder(options);
    try {
        return [...decoder.feed(samples), ...decoder.flush()];
    } finally {
        decoder.close();
    }
}

/** A power spectrum for live displays: windowSize (a power of two 4..8192) samples in. */
export class Spectrum {
    #handle;
    #power;

    constructor(windowSize) {
        if (!Number.isInteger(requireType(windowSize, 'number', 'windowSize'))) {
            throw new RyxSoundError(`the window size must be a power of two 4..8192, not ${windowSize}`);
        }
        this.windowSize = windowSize;
        const handle = this.#handle = checked(0, (err, size) => core.ryxw_spectrum_new(windowSize, err, size));
        this.#power = new Float32Array(windowSize / 2 + 1);
        unclosed.register(this, () => core.ryxw_spectrum_free(handle), this);
    }

    /** windowSize samples in; windowSize / 2 + 1 powers out (a sine of amplitude A: about A^2). */
    analyze(frame) {
        const handle = this.#handle;
        if (handle === 0) throw new RyxSoundError('the spectrum is closed');
        const samples = asSamples(frame);
        if (samples.length !== this.windowSize) {
            throw new RyxSoundError(`a frame has ${this.windowSize} samples, not ${samples.length}`);
        }
        floats(core.ryxw_spectrum_input(handle), samples.length).set(samples);
        const power = checked(0, (err, size) => core.ryxw_spectrum_analyze(handle, err, size));
        this.#power.set(floats(power, this.#power.length));
        return this.#power;
    }

    /** Frees the spectrum's wasm memory; safe to call twice. */
    close() {
        if (this.#handle === 0) return;
        unclosed.unregister(this);
        core.ryxw_spectrum_free(this.#handle);
        this.#handle = 0;
    }
}

export const version = cString(core.ryxw_version());
export const MODES = Object.freeze([...MODE_NAMES]);
export const PLANS = Object.freeze([...PLAN_NAMES]);
export const PROFILES = Object.freeze([...PROFILE_NAMES]);

// For pages without a bundler: the API as a global, announced by a 'ryxsound-ready' event.
globalThis.RyxSound = Object.freeze({
    version, MODES, PLANS, PROFILES, MAX_PAYLOAD_BYTES, RyxSoundError, encode, decode, Decoder,
    Spectrum, presets, planInfo, plansOf, supportedRates, planRate, messageTones, payloadShape,
    payloadRate, encodePayload, decodePayloads, PayloadDecoder,
});
globalThis.dispatchEvent?.(new Event('ryxsound-ready'));
