// The page: checks the text or payload as it is typed or chosen, plays it, and listens through
// the microphone with a live spectrogram of the plan's band where the tones of each received
// message are marked, and the frames of each payload counted as they arrive.
import {
    Decoder, PayloadDecoder, Spectrum, encode, encodePayload, messageTones, payloadShape, planInfo,
    planRate, plansOf, presets,
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
const scopeEmpty = $('scope-empty');
const payloadBox = $('payload-text');
const fileInput = $('payload-file');
const profileBox = $('profile');
const payloadPlay = $('payload-play');
const payloadCheck = $('payload-check');
const arriving = $('arriving');
const payloadList = $('payloads');

let context = null;     // AudioContext, made on the first click
let listening = null;   // {stream, source, node, decoder, payloads, scope} while Listen is on
let chosenFile = null;  // {name, data} of the file to send, until the payload text is edited

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

// Runs make(); shows what describe(its result) says, or the core's complaint, on the check line
// and enables the play button accordingly. Returns the result, null on a complaint.
function readyOrComplaint(box, line, button, make, describe) {
    try {
        const result = make();
        box.setAttribute('aria-invalid', 'false');
        line.className = 'check';
        line.textContent = `Ready: ${describe(result)} at ${rate()} Hz.`;
        button.disabled = false;
        return result;
    } catch (error) {
        box.setAttribute('aria-invalid', 'true');
        line.className = 'check bad';
        line.textContent = error.message;
        button.disabled = true;
        return null;
    }
}

// Encodes the text box at the current rate.
function checkText() {
    return readyOrComplaint(textBox, check, playButton,
        () => encode(textBox.value, { ...planOptions(), sampleRate: rate() }),
        (audio) => `${(audio.length / rate()).toFixed(2)} s`);
}

function payloadOptions() {
    return { ...planOptions(), profile: profileBox.value, sampleRate: rate() };
}

function payloadData() {
    return chosenFile ? chosenFile.data : new TextEncoder().encode(payloadBox.value);
}

// How the payload would be sent, without encoding it.
function checkPayload() {
    return readyOrComplaint(payloadBox, payloadCheck, payloadPlay,
        () => payloadShape(payloadData().length, payloadOptions()),
        (shape) => `${chosenFile ? `${chosenFile.name}, ` : ''}${payloadData().length} bytes ` +
            `in ${shape.dataFrames + shape.parityFrames} frames (any ${shape.dataFrames} will ` +
            `do), ${shape.seconds.toFixed(2)} s`);
}

function encodeChecked() {
    return checkPayload() && encodePayload(payloadData(), payloadOptions());
}

// A dropped or chosen file becomes the payload, unless the core refuses its size.
async function choose(file) {
    try {
        payloadShape(file.size, payloadOptions());
        chosenFile = { name: file.name, data: new Uint8Array(await file.arrayBuffer()) };
        checkPayload();
    } catch (error) {
        payloadCheck.className = 'check bad';
        payloadCheck.textContent = `${file.name}: ${error.message}`;
        payloadPlay.disabled = true;
    }
    fileInput.value = '';
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

// Plays what make() encodes, if it does.
async function play(make) {
    const ctx = audioContext();
    await ctx.resume();
    const audio = make();
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
        scopeEmpty.hidden = true;
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

function link(data, name) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([data]));
    a.download = name;
    a.textContent = 'Save';
    return a;
}

function showPayload(payload) {
    const item = document.createElement('li');
    item.className = payload.ok ? 'ok' : 'bad';
    const at = `at ${(payload.start / rate()).toFixed(1)} s`;
    const details = document.createElement('small');
    if (payload.ok) {
        const body = document.createElement(payload.text === null ? 'span' : 'pre');
        body.textContent = payload.text ?? `${payload.size} bytes`;
        details.textContent = `${payload.size} bytes, ${payload.profile}, ${payload.mode}, ` +
            `${payload.framesHeard} of ${payload.framesTotal} frames, confidence ` +
            `${payload.confidence.toFixed(2)}, ${payload.levelDbfs.toFixed(1)} dBFS, ${at} `;
        details.append(link(payload.data, payload.text === null ? 'payload.bin' : 'payload.txt'));
        item.append(body);
    } else {
        details.textContent = `Payload of ${payload.size} bytes lost: heard ${payload.framesHeard}` +
            ` of the ${payload.framesNeeded} frames needed, ${at}`;
    }
    item.append(details);
    payloadList.prepend(item);
}

// A progress bar and line for each payload whose frames are arriving.
function showArriving(payloads) {
    const lines = payloads.map((p) => {
        const line = document.createElement('div');
        const bar = document.createElement('progress');
        bar.max = p.framesNeeded;
        bar.value = p.framesHeard;
        line.append(bar, `Receiving ${p.size} bytes (${p.profile}, ${p.mode}): ${p.framesHeard} ` +
            `of ${p.framesNeeded} frames needed, ${p.framesTotal} sent`);
        return line;
    });
    arriving.replaceChildren(...lines);
}

async function startListening() {
    const ctx = audioContext();
    await ctx.resume();
    const options = planOptions();
    // The context runs at a plan rate (see audioContext), which the decoders take as it is.
    const decoder = new Decoder({ ...options, sampleRate: ctx.sampleRate });
    const payloads = new PayloadDecoder({ ...options, sampleRate: ctx.sampleRate });
    let stream = null;
    try {
        stream = await navigator.mediaDevices.getUserMedia({
            audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
        });
        await ctx.audioWorklet.addModule(new URL('capture-worklet.js', import.meta.url));
    } catch (error) {
        stream?.getTracks().forEach((track) => track.stop());
        decoder.close();
        payloads.close();
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
        payloads.feed(data).forEach(showPayload);
        const now = payloads.progress();
        if (JSON.stringify(now) !== shown) showArriving(now);
        shown = JSON.stringify(now);
    };
    let shown = '[]';  // the progress on the page
    source.connect(node).connect(ctx.destination);
    listening = { stream, source, node, decoder, payloads, scope };
    statusLine.textContent = `Listening at ${ctx.sampleRate} Hz for ` +
        `${plansOf(decoder.mode).join(', ')} texts and payloads.`;
}

function stopListening() {
    const { stream, source, node, decoder, payloads, scope } = listening;
    listening = null;
    node.port.onmessage = null;
    source.disconnect();
    node.disconnect();
    stream.getTracks().forEach((track) => track.stop());
    for (const message of decoder.flush()) show(message);
    payloads.flush().forEach(showPayload);
    showArriving([]);
    decoder.close();
    payloads.close();
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

function selectTab(chosen) {
    for (const tab of document.querySelectorAll('[role=tab]')) {
        tab.setAttribute('aria-selected', String(tab === chosen));
        $(tab.getAttribute('aria-controls')).hidden = tab !== chosen;
    }
}

const playing = (make) => () => play(make).catch((e) => { statusLine.textContent = e.message; });
textBox.addEventListener('input', checkText);
planBox.addEventListener('change', () => { checkText(); checkPayload(); });
playButton.addEventListener('click', playing(checkText));
payloadBox.addEventListener('input', () => { chosenFile = null; checkPayload(); });
profileBox.addEventListener('change', checkPayload);
fileInput.addEventListener('change', () => fileInput.files[0] && choose(fileInput.files[0]));
payloadBox.addEventListener('dragover', (e) => { e.preventDefault(); payloadBox.classList.add('dropping'); });
payloadBox.addEventListener('dragleave', () => payloadBox.classList.remove('dropping'));
payloadBox.addEventListener('drop', (e) => {
    e.preventDefault();
    payloadBox.classList.remove('dropping');
    if (e.dataTransfer.files[0]) choose(e.dataTransfer.files[0]);
});
payloadPlay.addEventListener('click', playing(encodeChecked));
listenButton.addEventListener('click', toggleListening);
for (const tab of document.querySelectorAll('[role=tab]')) {
    tab.addEventListener('click', () => selectTab(tab));
}
checkText();
checkPayload();
statusLine.textContent = 'Ready. Listen decodes from the microphone; Play sends the text or payload.';
