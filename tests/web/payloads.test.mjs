// Payloads in the ES module under Node: node --test tests/web/ (after `make web`).
import assert from 'node:assert/strict';
import { test } from 'node:test';

const R = await import(new URL('../../build/web/ryxsound.js', import.meta.url));

function withSilence(audio, before, after) {
    const out = new Float32Array(before + audio.length + after);
    out.set(audio, before);
    return out;
}

// Feeds audio in chunks of `chunk`, noting each progress; returns [payloads, framesHeard seen].
function receive(decoder, audio, chunk) {
    const payloads = [];
    const heard = new Set();
    for (let at = 0; at < audio.length; at += chunk) {
        payloads.push(...decoder.feed(audio.subarray(at, at + chunk)));
        for (const p of decoder.progress()) heard.add(p.framesHeard);
    }
    payloads.push(...decoder.flush());
    return [payloads, [...heard]];
}

const BYTES = Uint8Array.from({ length: 300 }, (_, i) => (i * 37 + 11) & 255);
const ROUND_TRIPS = [
    // payload, encoder options, decoder options, plan heard
    ['fast text over the air, ü', { profile: 'fast', mode: 'audible' }, { mode: 'audible' }, 'audible'],
    [BYTES, { profile: 'fast', mode: 'nonaudible', sampleRate: 48000 }, { sampleRate: 48000 }, 'nonaudible'],
    ['x', { mode: 'compression' }, { mode: 'all' }, 'compression'],
    [BYTES.subarray(0, 60), { profile: 'fast', preset: 'phone' }, { preset: 'phone' }, 'custom'],
    ['all sends non-audible', { profile: 'fast', mode: 'all', sampleRate: 48000 }, { mode: 'all', sampleRate: 48000 }, 'nonaudible'],
];

for (const [payload, encodeOptions, decodeOptions, plan] of ROUND_TRIPS) {
    test(`payload round trip ${JSON.stringify(encodeOptions)}`, () => {
        const rate = encodeOptions.sampleRate ?? 44100;
        const sent = typeof payload === 'string' ? new TextEncoder().encode(payload) : payload;
        const shape = R.payloadShape(sent.length, encodeOptions);
        const audio = R.encodePayload(payload, encodeOptions);
        assert.equal(audio.length, shape.totalSamples);
        const decoder = new R.PayloadDecoder(decodeOptions);
        const [payloads, heard] = receive(decoder, withSilence(audio, rate >> 2, rate >> 1), 4000);
        decoder.close();
        assert.equal(payloads.length, 1);
        const [p] = payloads;
        assert.deepEqual(p.data, sent);
        assert.equal(p.text, typeof payload === 'string' ? payload : null);
        assert.deepEqual([p.ok, p.profile, p.mode, p.size], [true, encodeOptions.profile ?? 'robust', plan, sent.length]);
        assert.deepEqual([p.framesNeeded, p.framesTotal], [shape.dataFrames, shape.dataFrames + shape.parityFrames]);
        assert.ok(p.framesHeard >= p.framesNeeded && p.confidence > 0.5, JSON.stringify(p));
        assert.ok(Math.abs(p.start - (rate >> 2)) < shape.frameSamples / 8 && p.end > p.start);
        assert.deepEqual(heard, Array.from({ length: shape.dataFrames - 1 }, (_, i) => i + 1));
    });
}

test('fast and robust take the times and frames the profiles promise for 140 bytes', () => {
    const fast = R.payloadShape(140, { profile: 'fast' });
    const robust = R.payloadShape(140);
    assert.deepEqual([fast.dataFrames, fast.parityFrames, robust.dataFrames], [3, 1, 3]);
    assert.ok(Math.abs(fast.seconds - 4.27) < 0.01 && Math.abs(robust.seconds - 12.26) < 0.01);
    assert.deepEqual([R.payloadShape(4096).dataFrames, R.payloadShape(4096).parityFrames], [82, 10]);
    assert.equal(R.MAX_PAYLOAD_BYTES, 4096);
    assert.deepEqual(R.PROFILES, ['fast', 'robust']);
});

// Every rate an encoder or decoder of payloads might be given: those payloads are made at work,
// the others are refused with the rate to resample to or why the audio cannot hold the payloads'
// own band (audible payloads reach 5.9 kHz: 16000 Hz audio holds them, not the text plan).
const RATES = [8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000];

test('payloads go through at exactly the rates payloadRate makes them at', () => {
    const accepted = [];
    for (const rate of RATES) {
        let planned = null;
        try {
            planned = R.payloadRate('audible', rate, { profile: 'fast' });
        } catch (e) {
            assert.match(e.message, new RegExp(`^audio at ${rate} Hz holds up to .*, fast payloads in the audible plan reach 5863.57 Hz`));
            assert.throws(() => R.encodePayload('rate', { profile: 'fast', sampleRate: rate }), /fast payloads in the audible plan/);
            assert.throws(() => new R.PayloadDecoder({ mode: 'audible', sampleRate: rate }),
                { name: 'RyxSoundError', message: /robust payloads in the audible plan reach 5485.1/ });
            continue;
        }
        assert.equal(R.payloadRate('audible', rate), planned, `${rate} Hz`);
        if (planned !== rate) {
            assert.throws(() => R.encodePayload('rate', { profile: 'fast', sampleRate: rate }), { message: new RegExp(`resample to ${planned} Hz`) });
            assert.throws(() => new R.PayloadDecoder({ mode: 'audible', sampleRate: rate }), { message: new RegExp(`resample to ${planned} Hz`) });
            continue;
        }
        const audio = withSilence(R.encodePayload('rate', { profile: 'fast', sampleRate: rate }), rate >> 2, rate >> 1);
        const payloads = R.decodePayloads(audio, { mode: 'audible', sampleRate: rate });
        assert.deepEqual(payloads.map((p) => [p.text, p.ok]), [['rate', true]], `${rate} Hz`);
        accepted.push(rate);
    }
    assert.deepEqual(accepted, [22050, 44100, 48000]);
    assert.throws(() => R.planRate('audible', 16000), /the audible plan reaches/);
    assert.equal(R.payloadRate('audible', 16000), 44100);
    assert.equal(R.payloadRate(undefined, 8000, { preset: 'phone', profile: 'robust' }), 44100);
    assert.throws(() => R.payloadRate('audible', 44100, { profile: 'slow' }), /unknown profile 'slow'/);
});

test('a payload sent twice is delivered once, whole from frames of both copies', () => {
    const options = { profile: 'fast', mode: 'audible' };
    const twice = R.encodePayload(BYTES, { ...options, repeat: 2 });
    const once = R.encodePayload(BYTES, options);
    assert.equal(twice.length, 2 * once.length);
    const { frameSamples, dataFrames, parityFrames } = R.payloadShape(BYTES.length, options);
    twice.fill(0, 0, 2 * frameSamples);  // more frames than the parity makes up for
    twice.fill(0, (dataFrames + parityFrames + 3) * frameSamples, (dataFrames + parityFrames + 4) * frameSamples);
    const payloads = R.decodePayloads(withSilence(twice, 4410, 4410), { mode: 'audible' });
    assert.deepEqual(payloads.map((p) => [p.ok, p.data]), [[true, BYTES]]);
});

test('a payload with a frame lost is still whole', () => {
    const options = { profile: 'fast', mode: 'audible' };
    const once = R.encodePayload(BYTES, options);
    const { frameSamples } = R.payloadShape(BYTES.length, options);
    once.fill(0, 2 * frameSamples, 3 * frameSamples);
    const [p] = R.decodePayloads(withSilence(once, 4410, 4410), { mode: 'audible' });
    assert.deepEqual([p.ok, p.framesHeard], [true, p.framesTotal - 1]);
    assert.deepEqual(p.data, BYTES);
});

test('a payload cut short is reported failed, with no data', () => {
    const options = { profile: 'fast', mode: 'audible' };
    const audio = R.encodePayload(BYTES, options);
    const { frameSamples, dataFrames } = R.payloadShape(BYTES.length, options);
    const [p] = R.decodePayloads(withSilence(audio.subarray(0, 2 * frameSamples), 4410, 44100), { mode: 'audible' });
    assert.deepEqual([p.ok, p.data.length, p.text, p.framesHeard, p.framesNeeded], [false, 0, null, 2, dataFrames]);
});

test('text is given only for printable UTF-8', () => {
    const cases = [['line one\nline two\ttab', 'line one\nline two\ttab'], [new Uint8Array([104, 105, 0]), null],
        [new Uint8Array([0xff, 0xfe, 0x41]), null], ['日本語', '日本語']];
    for (const [payload, text] of cases) {
        const [p] = R.decodePayloads(withSilence(R.encodePayload(payload, { profile: 'fast', mode: 'audible' }), 4410, 4410), { mode: 'audible' });
        assert.equal(p.text, text, JSON.stringify(payload));
    }
});

const BAD_INPUT = [
    // what, call, error class, words in the message
    ['empty text', () => R.encodePayload(''), R.RyxSoundError, /^payload of 0 bytes: a payload holds 1 to 4096 bytes$/],
    ['empty bytes', () => R.encodePayload(new Uint8Array(0)), R.RyxSoundError, /payload of 0 bytes/],
    ['too large', () => R.encodePayload(new Uint8Array(4097)), R.RyxSoundError, /payload of 4097 bytes: a payload holds 1 to 4096 bytes/],
    ['too long a text', () => R.encodePayload('é'.repeat(2049)), R.RyxSoundError, /payload of 4098 bytes/],
    ['data type', () => R.encodePayload([1, 2, 3]), TypeError, /data must be a Uint8Array or a string, not object/],
    ['data null', () => R.encodePayload(null), TypeError, /not null/],
    ['other typed array', () => R.encodePayload(new Float32Array(4)), TypeError, /Uint8Array/],
    ['profile', () => R.encodePayload('x', { profile: 'slow' }), R.RyxSoundError, /unknown profile 'slow': use fast or robust/],
    ['profile type', () => R.encodePayload('x', { profile: 1 }), TypeError, /profile must be a string/],
    ['repeat', () => R.encodePayload('x', { repeat: 17 }), R.RyxSoundError, /repeat 17 is outside 1..16/],
    ['repeat zero', () => R.encodePayload('x', { repeat: 0 }), R.RyxSoundError, /repeat 0 is outside 1..16/],
    ['repeat fraction', () => R.encodePayload('x', { repeat: 1.5 }), R.RyxSoundError, /integer 1..16, not 1.5/],
    ['repeat huge', () => R.encodePayload('x', { repeat: 2 ** 32 + 1 }), R.RyxSoundError, /integer 1..16/],
    ['repeat type', () => R.encodePayload('x', { repeat: '2' }), TypeError, /repeat must be a number/],
    ['rate refused', () => R.encodePayload('x', { sampleRate: 96000 }), R.RyxSoundError, /resample to 48000 Hz/],
    ['rate NaN', () => R.encodePayload('x', { sampleRate: NaN }), R.RyxSoundError, /outside 1000\.\.1000000 Hz/],
    ['band too high', () => R.encodePayload('x', { mode: 'nonaudible', sampleRate: 22050 }), R.RyxSoundError, /22050 Hz/],
    ['unknown option', () => R.encodePayload('x', { receiver: 'robust' }), TypeError, /unknown option 'receiver'/],
    ['shape size fraction', () => R.payloadShape(1.5), R.RyxSoundError, /payload size 1.5: give a whole number of bytes, 1 to 4096/],
    ['shape size negative', () => R.payloadShape(-1), R.RyxSoundError, /payload size -1/],
    ['shape size huge', () => R.payloadShape(2 ** 40), R.RyxSoundError, /payload size 1.09951e\+12/],
    ['shape size zero', () => R.payloadShape(0), R.RyxSoundError, /payload of 0 bytes/],
    ['shape size type', () => R.payloadShape('9'), TypeError, /size must be a number/],
    ['decoder mode', () => new R.PayloadDecoder({ mode: 'loud' }), R.RyxSoundError, /unknown mode 'loud'/],
    ['decoder rate', () => new R.PayloadDecoder({ sampleRate: 22050 }), R.RyxSoundError, /resample to 44100 Hz/],
    ['decoder option', () => new R.PayloadDecoder({ profile: 'fast' }), TypeError, /unknown option 'profile'/],
    ['decoder samples', () => R.decodePayloads('noise'), TypeError, /Float32Array/],
];

for (const [what, call, kind, words] of BAD_INPUT) {
    test(`bad payload input throws a clear error: ${what}`, () => {
        assert.throws(call, (e) => e instanceof kind && words.test(e.message));
    });
}

test('a payload decoder takes any samples, never reports noise as a payload, and refuses use after close', () => {
    let seed = 12345;
    const random = () => ((seed = (seed * 1103515245 + 12345) >>> 0) / 2 ** 32);
    const decoder = new R.PayloadDecoder({ mode: 'all', sampleRate: 48000 });
    const wild = [NaN, Infinity, -Infinity, 1e38, -1e38];
    const reported = [];
    for (let round = 0; round < 60; round++) {
        const block = new Float32Array(1 + Math.floor(random() * 20000));
        const scale = [1e-6, 0.1, 1, 1e30][round % 4];
        for (let i = 0; i < block.length; i++) {
            block[i] = random() < 0.001 ? wild[Math.floor(random() * wild.length)] : (2 * random() - 1) * scale;
        }
        reported.push(...decoder.feed(block));
        decoder.progress();
    }
    reported.push(...decoder.flush());
    assert.ok(reported.every((p) => !p.ok && p.data.length === 0), JSON.stringify(reported));
    assert.deepEqual(decoder.feed([0.5, 'x', null]), []);
    decoder.close();
    decoder.close();
    assert.ok(decoder.closed);
    for (const use of [() => decoder.feed(new Float32Array(3)), () => decoder.flush(), () => decoder.progress(), () => decoder.position]) {
        assert.throws(use, /closed/);
    }
});
