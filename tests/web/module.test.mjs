// The ES module under Node, without a browser: node --test tests/web/ (after `make web`).
import assert from 'node:assert/strict';
import { test } from 'node:test';

const R = await import(new URL('../../build/web/ryxsound.js', import.meta.url));

function withSilence(audio, before, after) {
    const out = new Float32Array(before + audio.length + after);
    out.set(audio, before);
    return out;
}

const ROUND_TRIPS = [
    // text, encoder options, decoder options
    ['hello0123', { mode: 'audible', sampleRate: 44100 }, { mode: 'audible', sampleRate: 44100 }],
    ['a1b2c3d4e', { mode: 'nonaudible', sampleRate: 48000 }, { mode: 'all', sampleRate: 48000 }],
    ['vvvvvvvvv', { mode: 'compression', sampleRate: 44100 }, { mode: 'all', sampleRate: 44100, receiver: 'standard' }],
    ['00000000v', { mode: 'audible', sampleRate: 22050 }, { mode: 'audible', sampleRate: 22050 }],
    ['qrstuv012', { preset: 'phone', sampleRate: 48000 }, { preset: 'phone', sampleRate: 48000 }],
    ['hello0123', { mode: 'custom', customBaseHz: 9000, customStep: 3 }, { mode: 6, customBaseHz: 9000, customStep: 3 }],
    ['HELLO0123', { mode: 'Non-Audible', sampleRate: 48000, melody: '0479c0479c' }, { mode: 'nonaudible', sampleRate: 48000 }],
];

for (const [text, encodeOptions, decodeOptions] of ROUND_TRIPS) {
    test(`round trip ${text} ${JSON.stringify(encodeOptions)}`, () => {
        const rate = encodeOptions.sampleRate ?? 44100;
        const audio = withSilence(R.encode(text, encodeOptions), rate >> 2, rate >> 1);
        const decoder = new R.Decoder(decodeOptions);
        const messages = [];
        for (let at = 0; at < audio.length; at += 1000) messages.push(...decoder.feed(audio.subarray(at, at + 1000)));
        messages.push(...decoder.flush());
        decoder.close();
        assert.equal(messages.length, 1);
        const [m] = messages;
        assert.equal(m.text, text.toLowerCase());
        assert.ok(m.ok && m.confidence > 0.9, JSON.stringify(m));
        assert.ok(Math.abs(m.start - (rate >> 2)) < R.planInfo(m.mode, rate).symbolSamples / 4);
        assert.deepEqual(R.decode(audio, decodeOptions).map((x) => x.text), [text.toLowerCase()]);
    });
}

// The rates encode and Decoder accept: those the plans are made at (planRate(rate) === rate).
// Every other rate is refused, naming the rate to resample to or why audio at that rate cannot
// hold the plans.
const RATES = [8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000];
const RATE_CASES = [
    // name, options without the rate, the rates accepted
    ['audible', { mode: 'audible' }, [22050, 44100, 48000]],
    ['nonaudible', { mode: 'nonaudible' }, [44100, 48000]],
    ['compression', { mode: 'compression' }, [44100, 48000]],
    ['all', { mode: 'all' }, [44100, 48000]],
    ['custom', { mode: 'custom', customBaseHz: 9000, customStep: 3 }, [44100, 48000]],
    ['phone', { preset: 'phone' }, [44100, 48000]],
];

// Calls make(rate) and expects what planRate(rate) says: it works at the plan rate, is refused
// with the rate to resample to at another, and with planRate's reason where audio cannot hold the
// plans. Returns whether it was accepted.
function acceptsOnlyThePlanRate(planRate, make, rate) {
    let planned;
    try {
        planned = planRate(rate);
    } catch (e) {
        assert.throws(() => make(rate), { name: 'RyxSoundError', message: e.message });
        return false;
    }
    if (planned === rate) return make(rate), true;
    assert.throws(() => make(rate), {
        name: 'RyxSoundError',
        message: `sampleRate ${rate} Hz: the plans are made at ${planned} Hz; resample to ${planned} Hz ` +
            '(an AudioContext or OfflineAudioContext at that rate does it)',
    });
    return false;
}

for (const [name, options, accepted] of RATE_CASES) {
    test(`${name}: encode and Decoder accept exactly the rates the plans are made at`, () => {
        const { mode, ...band } = options;
        const sent = mode === 'all' ? 'nonaudible' : mode;  // what an encoder for 'all' sends
        const encodeAt = (rate) => R.encode('k3v90qa7c', { ...options, sampleRate: rate });
        const decoderAt = (rate) => new R.Decoder({ ...options, sampleRate: rate }).close();
        const encodes = RATES.filter((rate) => acceptsOnlyThePlanRate((r) => R.planRate(sent, r, band), encodeAt, rate));
        const decodes = RATES.filter((rate) => acceptsOnlyThePlanRate((r) => R.planRate(mode, r, band), decoderAt, rate));
        assert.deepEqual([encodes, decodes], [accepted, accepted]);
        for (const rate of accepted) {
            const audio = withSilence(encodeAt(rate), rate >> 2, rate >> 1);
            for (const receiver of ['robust', 'standard']) {
                const messages = R.decode(audio, { ...options, sampleRate: rate, receiver });
                assert.deepEqual(messages.map((m) => [m.text, m.ok]), [['k3v90qa7c', true]], `${rate} Hz, ${receiver}`);
            }
        }
    });
}

test('planRate: a file rate goes to the nearer plan rate by ratio, or says why it cannot', () => {
    const cases = [[44100, 44100], [48000, 48000], [22050, 44100], [88200, 48000], [176400, 48000],
        [96000, 48000], [32000, 44100], [46000, 44100], [46100, 48000], [192000, 48000]];
    assert.deepEqual(cases.map(([rate]) => R.planRate('all', rate)), cases.map(([, planned]) => planned));
    assert.equal(R.planRate('audible', 22050), 22050);
    assert.equal(R.planRate(undefined, 22050, { preset: 'phone' }), 44100);
    assert.throws(() => R.planRate('audible', 8000), /audio at 8000 Hz holds up to 3600 Hz, the audible plan reaches/);
});

test('the standard receiver corrects a message with four wrong symbols and says which', () => {
    const audio = R.encode('hello0123', { mode: 'audible' });
    const info = R.planInfo('audible', 44100);
    const other = R.encode('vvvvvvvvv', { mode: 'audible' });
    for (const symbol of [3, 5, 7, 9]) {
        const at = symbol * info.symbolSamples;
        audio.set(other.subarray(at, at + info.symbolSamples), at);
    }
    const [m] = R.decode(withSilence(audio, 4410, 0), { mode: 'audible', receiver: 'standard' });
    assert.equal(m.text, 'hello0123');
    assert.ok(m.ok);
    assert.deepEqual(m.corrected, [3, 5, 7, 9]);
    assert.ok(m.cleanShare < 1);
});

const BAD_INPUT = [
    // what, call, error class, words in the message
    ['short text', () => R.encode('hello012'), R.RyxSoundError, /exactly 9 characters/],
    ['character', () => R.encode('hello 123'), R.RyxSoundError, /' ' at position 6/],
    ['non-ASCII', () => R.encode('héllo0123'), R.RyxSoundError, /9 characters|position 2/],
    ['NUL inside', () => R.encode('hell\u00000123'), R.RyxSoundError, /position 5/],
    ['text type', () => R.encode(123456789), TypeError, /text must be a string/],
    ['mode name', () => R.encode('hello0123', { mode: 'loud' }), R.RyxSoundError, /unknown mode 'loud'/],
    ['mode number', () => R.encode('hello0123', { mode: 9 }), R.RyxSoundError, /unknown mode 9: the modes are 2 audible/],
    ['mode fraction', () => new R.Decoder({ mode: 2.5 }), R.RyxSoundError, /not an integer/],
    ['NaN rate', () => R.encode('hello0123', { sampleRate: NaN }), R.RyxSoundError, /outside/],
    ['huge rate', () => new R.Decoder({ sampleRate: 1e300 }), R.RyxSoundError, /outside/],
    ['rate type', () => new R.Decoder({ sampleRate: '44100' }), TypeError, /sampleRate must be a number/],
    ['too low a rate', () => new R.Decoder({ mode: 'all', sampleRate: 22050 }), R.RyxSoundError, /resample to 44100 Hz/],
    ['receiver', () => new R.Decoder({ receiver: 'fast' }), R.RyxSoundError, /unknown receiver 'fast': use robust or standard/],
    ['receiver type', () => new R.Decoder({ receiver: 1 }), TypeError, /receiver must be a string/],
    ['plan rate of a bad mode', () => R.planRate('loud', 44100), R.RyxSoundError, /unknown mode 'loud'/],
    ['preset', () => new R.Decoder({ preset: 'fax' }), R.RyxSoundError, /unknown preset 'fax': use phone/],
    ['preset and mode', () => R.encode('hello0123', { preset: 'phone', mode: 'audible' }), R.RyxSoundError, /leave the mode out/],
    ['band without custom', () => R.encode('hello0123', { customBaseHz: 900 }), R.RyxSoundError, /mode 'custom'/],
    ['custom step', () => R.encode('hello0123', { mode: 'custom', customStep: 65 }), R.RyxSoundError, /0..64/],
    ['huge custom step', () => R.encode('hello0123', { mode: 'custom', customStep: 2 ** 32 + 1 }), R.RyxSoundError, /0..64, not 4294967297/],
    ['huge mode number', () => R.encode('hello0123', { mode: 2 ** 32 + 2 }), R.RyxSoundError, /not an integer 2..6/],
    ['custom base', () => R.encode('hello0123', { mode: 'custom', customBaseHz: -5 }), R.RyxSoundError, /positive/],
    ['melody', () => R.encode('hello0123', { melody: 'x' }), R.RyxSoundError, /'x' at position 1/],
    ['long melody', () => R.encode('hello0123', { melody: '0'.repeat(5000) }), R.RyxSoundError, /at most/],
    ['unknown option', () => R.encode('hello0123', { rate: 1 }), TypeError, /unknown option 'rate'/],
    ['options type', () => new R.Decoder('all'), TypeError, /options must be an object/],
    ['samples type', () => R.decode(42), TypeError, /Float32Array/],
    ['spectrum size', () => new R.Spectrum(1000), R.RyxSoundError, /power of two/],
    ['spectrum frame', () => new R.Spectrum(256).analyze(new Float32Array(255)), R.RyxSoundError, /256 samples/],
    ['plan', () => R.planInfo('loud'), R.RyxSoundError, /unknown plan/],
    ['tones of a bad text', () => R.messageTones('hello', 'audible'), R.RyxSoundError, /9 characters/],
];

for (const [what, call, kind, words] of BAD_INPUT) {
    test(`bad input throws a clear error: ${what}`, () => {
        assert.throws(call, (e) => e instanceof kind && words.test(e.message));
    });
}

test('a decoder takes any samples and any chunk sizes, and refuses use after close', () => {
    const decoder = new R.Decoder({ mode: 'all', sampleRate: 48000 });
    const wild = new Float32Array(100003).map((_, i) => [NaN, Infinity, -Infinity, 1e38, -1e38, 0.5][i % 6]);
    assert.deepEqual(decoder.feed(wild), []);
    assert.deepEqual(decoder.feed([]), []);
    assert.deepEqual(decoder.feed([0.1, 'x', null]), []);
    decoder.flush();
    assert.ok(decoder.position >= 100006);
    decoder.close();
    decoder.close();
    assert.ok(decoder.closed);
    assert.throws(() => decoder.feed(new Float32Array(10)), /closed/);
    assert.throws(() => decoder.flush(), /closed/);
});

test('closed decoders give their memory back (one holds about 0.2 MB of wasm memory)', () => {
    const make = () => { const d = new R.Decoder({ mode: 'all' }); d.feed(new Float32Array(5000)); d.close(); };
    make();
    const before = process.memoryUsage().external;
    for (let i = 0; i < 300; i++) make();
    assert.ok(process.memoryUsage().external - before < 8e6);
});

test('the spectrum finds a tone in its bin, and plans, presets and tones come from the core', () => {
    const spectrum = new R.Spectrum(2048);
    const frame = Float32Array.from({ length: 2048 }, (_, i) => 0.5 * Math.sin(2 * Math.PI * 100 * i / 2048));
    const power = spectrum.analyze(frame);
    assert.equal(power.indexOf(Math.max(...power)), 100);
    assert.ok(Math.abs(power[100] - 0.25) < 0.05);
    spectrum.close();
    assert.deepEqual(R.plansOf('all'), ['audible', 'nonaudible', 'compression']);
    assert.deepEqual(R.supportedRates('all'), [44100, 48000]);
    assert.deepEqual(R.supportedRates('audible'), [44100, 48000, 22050]);
    assert.deepEqual(R.supportedRates('custom', { preset: 'phone' }), [44100, 48000, 22050]);
    assert.equal(R.presets()[0].name, 'phone');
    const audible = R.planInfo('audible', 44100);
    assert.equal(audible.symbolSamples, 4608);
    assert.equal(audible.toneBins[0], 153);
    assert.equal(globalThis.RyxSound.encode, R.encode);
});

test('the tones marked for a message are where its audio is loudest, symbol by symbol', () => {
    const info = R.planInfo('compression', 48000);
    const audio = R.encode('k3v90qa7c', { mode: 'compression', sampleRate: 48000 });
    const tones = R.messageTones('k3v90qa7c', 'compression', 48000);
    const spectrum = new R.Spectrum(info.windowSize);
    const binOf = (hz) => Math.round(hz * info.windowSize / 48000);
    for (let p = 0; p < 20; p++) {
        const middle = Math.round((p + 0.5) * info.symbolSamples);
        const power = Array.from(spectrum.analyze(audio.subarray(middle - info.windowSize / 2, middle + info.windowSize / 2)));
        const loudest = power.map((v, bin) => [v, bin]).sort((a, b) => b[0] - a[0]);
        const expected = new Set([binOf(tones[2 * p]), binOf(tones[2 * p + 1])]);
        const found = new Set(loudest.slice(0, 3 * expected.size).map(([, bin]) => bin));
        for (const bin of expected) assert.ok(found.has(bin), `symbol ${p}: bin ${bin} not among ${[...found]}`);
    }
    spectrum.close();
});
