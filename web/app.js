// The page: checks the text as it is typed, plays it, and listens through the microphone with a
// live spectrogram of the plan's band where the tones of each received message are marked.
import {
    Decoder, Spectrum, encode, messageTones, planInfo, planRate, plansOf, presets,
} from './ryxsound.js';

const COLUMN_HOP = 512;      // samples per spectrogram column: a message spans 180 columns
const LEAD_SECONDS = 0.25;   // silence played before a transmission
const MARKS_KEPT = 12;
const FLOOR_DB = -110;       // spectrogram colour range
const CEILING_DB = -20;

const $ = (id) => document.getElementById(id);
const textBox = $('text');
const planBox = $('plan');
const playButton = $('play');
const listenButton = $('listen');
const check = $('text-check');
const statusLine = $('status');
const list = $('messages');
const view = $('spectrogram').getContext('2d');
const overlay = $('marks').getContext('2d');

let context = null;     // AudioContext, made on the first click
let listening = null;   // {stream, source, node, decoder, scope} while Listen is on

// The plan selector as encoder/decoder options: a mode, or a preset.
function planOptions() {
    const value = planBox.value;
    return value.startsWith('preset:') ? { preset: value.slice(7) } : { mode: value };
}

// The custom band of the selection (a preset's), for plan descriptions; undefined for the default.
function band(options) {
    const preset = presets().find((p) => p.name === options.preset);
    return preset && { customBaseHz: preset.customBaseHz, customStep: preset.customStep };
}

function rate() {
    return context ? context.sampleRate : 44100;
}

// Encodes the text box at the current rate; shows the result or the core's complaint.
function checkText() {
    try {
        const audio = encode(textBox.value, { ...planOptions(), sampleRate: rate() });
        textBox.setAttribute('aria-invalid', 'false');
        check.className = 'check';
        check.textContent = `Ready: ${(audio.length / rate()).toFixed(2)} s at ${rate()} Hz.`;
        playButton.disabled = false;
        return audio;
    } catch (error) {
        textBox.setAttribute('aria-invalid', 'true');
        check.className = 'check bad';
        check.textContent = error.message;
        playButton.disabled = true;
        return null;
    }
}

// A context at the rate the plans are made at for the device's rate (48000 Hz for 96000 Hz), or
// at 44100 Hz when that rate cannot hold them; the browser resamples to and from the device.
function audioContext() {
    if (!context) {
        context = new AudioContext();
        let wanted = 44100;
        try {
            wanted = planRate('all', context.sampleRate);
        } catch {}
        if (wanted !== context.sampleRate) {
            context.close();
            context = new AudioContext({ sampleRate: wanted });
        }
    }
    return context;
}

async function play() {
    const ctx = audioContext();
    await ctx.resume();
    const audio = checkText();
    if (!audio) return;
    const lead = Math.round(LEAD_SECONDS * ctx.sampleRate);
    const buffer = ctx.createBuffer(1, lead + audio.length, ctx.sampleRate);
    buffer.copyToChannel(audio, 0, lead);
    const source = ctx.createBufferSource();
    source.buffer = buffer;
    source.connect(ctx.destination);
    source.start();
}

// The scrolling spectrogram of the decoder's band, one column per COLUMN_HOP samples.
class Scope {
    constructor(decoder, custom) {
        const sampleRate = decoder.sampleRate;
        const infos = plansOf(decoder.mode).map((plan) => planInfo(plan, sampleRate, custom));
        this.windowSize = infos[0].windowSize;
        this.low = Math.max(0, Math.min(...infos.map((i) => i.bandLowHz)) - 400);
        this.high = Math.min(sampleRate / 2, Math.max(...infos.map((i) => i.bandHighHz)) + 400);
        this.sampleRate = sampleRate;
        this.custom = custom;
        this.spectrum = new Spectrum(this.windowSize);
        this.history = new Float32Array(this.windowSize);
        this.sinceColumn = 0;
        this.position = 0;   // samples seen, as the decoder counts them
        this.marks = [];
        const { width, height } = view.canvas;
        this.column = view.createImageData(1, height);
        this.rowBins = Array.from({ length: height }, (_, y) =>
            Math.round(this.frequencyAt(y) * this.windowSize / sampleRate));
        view.fillStyle = '#0d1020';
        view.fillRect(0, 0, width, height);
        overlay.clearRect(0, 0, width, height);
    }

    frequencyAt(y) {
        return this.high - (y / (view.canvas.height - 1)) * (this.high - this.low);
    }

    yOf(hz) {
        return (this.high - hz) / (this.high - this.low) * (view.canvas.height - 1);
    }

    // x of a stream sample on the canvas: the newest column is the rightmost.
    xOf(sample) {
        return view.canvas.width - 1 - (this.position - sample) / COLUMN_HOP;
    }

    feed(block) {
        for (let at = 0; at < block.length;) {
            const take = Math.min(block.length - at, COLUMN_HOP - this.sinceColumn);
            this.history.copyWithin(0, take);
            this.history.set(block.subarray(at, at + take), this.windowSize - take);
            at += take;
            this.sinceColumn += take;
            this.position += take;
            if (this.sinceColumn === COLUMN_HOP) {
                this.sinceColumn = 0;
                this.drawColumn();
            }
        }
        this.drawMarks();
    }

    drawColumn() {
        const power = this.spectrum.analyze(this.history);
        const pixels = this.column.data;
        for (let y = 0; y < this.rowBins.length; y++) {
            const db = 10 * Math.log10(power[this.rowBins[y]] + 1e-15);
            const level = Math.min(1, Math.max(0, (db - FLOOR_DB) / (CEILING_DB - FLOOR_DB)));
            pixels[4 * y] = 13 + 242 * Math.min(1, level * 1.8);
            pixels[4 * y + 1] = 16 + 239 * Math.max(0, level * 1.6 - 0.6);
            pixels[4 * y + 2] = 32 + 280 * level * (1 - level);
            pixels[4 * y + 3] = 255;
        }
        const { width } = view.canvas;
        view.drawImage(view.canvas, -1, 0);
        view.putImageData(this.column, width - 1, 0);
    }

    // The two tones of each of the message's symbols as boxes, its text above them.
    mark(message) {
        const tones = messageTones(message.text, message.mode, this.sampleRate, this.custom);
        const symbol = planInfo(message.mode, this.sampleRate, this.custom).symbolSamples;
        this.marks.push({ message, tones, symbol });
        this.marks = this.marks.slice(-MARKS_KEPT);
    }

    drawMarks() {
        const { width, height } = overlay.canvas;
        overlay.clearRect(0, 0, width, height);
        overlay.lineWidth = 1;
        overlay.font = '13px ui-monospace, monospace';
        for (const { message, tones, symbol } of this.marks) {
            const colour = message.ok ? '#7dffb0' : '#ff8a8a';
            overlay.strokeStyle = colour;
            overlay.fillStyle = colour;
            for (let p = 0; p < tones.length / 2; p++) {
                const x0 = this.xOf(message.start + p * symbol);
                const x1 = this.xOf(message.start + (p + 1) * symbol);
                for (const hz of [tones[2 * p], tones[2 * p + 1]]) {
                    overlay.strokeRect(x0 + 0.5, this.yOf(hz) - 3, Math.max(1, x1 - x0 - 1), 6);
                }
            }
            overlay.fillText(message.text, this.xOf(message.start), 14);
        }
    }

    close() {
        this.spectrum.close();
    }
}

function show(message) {
    const item = document.createElement('li');
    item.className = message.ok ? 'ok' : 'bad';
    item.textContent = message.text;
    const details = document.createElement('small');
    details.textContent = `${message.mode}, confidence ${message.confidence.toFixed(2)}, ` +
        `tones ${message.toneToBandDb.toFixed(1)} dB over the band, ` +
        `${message.levelDbfs.toFixed(1)} dBFS, at ${(message.start / rate()).toFixed(1)} s` +
        `${message.ok ? '' : ', checksum failed'}`;
    item.append(details);
    list.prepend(item);
}

async function startListening() {
    const ctx = audioContext();
    await ctx.resume();
    const options = planOptions();
    // The context runs at a plan rate (see audioContext), which the decoder takes as it is.
    const decoder = new Decoder({ ...options, sampleRate: ctx.sampleRate });
    let stream = null;
    try {
        stream = await navigator.mediaDevices.getUserMedia({
            audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
        });
        await ctx.audioWorklet.addModule(new URL('capture-worklet.js', import.meta.url));
    } catch (error) {
        stream?.getTracks().forEach((track) => track.stop());
        decoder.close();
        throw error;
    }
    const scope = new Scope(decoder, band(options));
    const source = ctx.createMediaStreamSource(stream);
    const node = new AudioWorkletNode(ctx, 'ryx-capture');
    node.port.onmessage = ({ data }) => {
        scope.feed(data);
        for (const message of decoder.feed(data)) {
            show(message);
            scope.mark(message);
        }
    };
    source.connect(node).connect(ctx.destination);
    listening = { stream, source, node, decoder, scope };
    statusLine.textContent = `Listening at ${ctx.sampleRate} Hz for ` +
        `${plansOf(decoder.mode).join(', ')} transmissions.`;
}

function stopListening() {
    const { stream, source, node, decoder, scope } = listening;
    listening = null;
    node.port.onmessage = null;
    source.disconnect();
    node.disconnect();
    stream.getTracks().forEach((track) => track.stop());
    for (const message of decoder.flush()) show(message);
    decoder.close();
    scope.close();
    statusLine.textContent = 'Stopped.';
}

async function toggleListening() {
    listenButton.disabled = true;
    try {
        if (listening) {
            stopListening();
        } else {
            await startListening();
        }
    } catch (error) {
        statusLine.textContent = `Cannot listen: ${error.message}`;
    } finally {
        listenButton.disabled = false;
        listenButton.setAttribute('aria-pressed', String(listening !== null));
        listenButton.textContent = listening ? 'Stop' : 'Listen';
        planBox.disabled = listening !== null;
    }
}

textBox.addEventListener('input', checkText);
planBox.addEventListener('change', checkText);
playButton.addEventListener('click', () => play().catch((e) => { statusLine.textContent = e.message; }));
listenButton.addEventListener('click', toggleListening);
checkText();
statusLine.textContent = 'Ready. Listen decodes from the microphone; Play sends the text.';
