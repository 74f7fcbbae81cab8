// Runs on the audio thread: mixes the microphone's channels to mono and posts them to the page
// in blocks of 2048 samples, where the decoder and the spectrogram consume them. Outputs silence.
const BLOCK = 2048;

class CaptureProcessor extends AudioWorkletProcessor {
    constructor() {
        super();
        this.block = new Float32Array(BLOCK);
        this.filled = 0;
    }

    process(inputs) {
        const channels = inputs[0];
        if (!channels || channels.length === 0) return true;
        const frames = channels[0].length;
        for (let i = 0; i < frames; i++) {
            let sum = 0;
            for (const channel of channels) sum += channel[i];
            this.block[this.filled++] = sum / channels.length;
            if (this.filled === BLOCK) {
                this.port.postMessage(this.block, [this.block.buffer]);
                this.block = new Float32Array(BLOCK);
                this.filled = 0;
            }
        }
        return true;
    }
}

registerProcessor('ryx-capture', CaptureProcessor);
