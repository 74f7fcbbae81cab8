// Declarations of ryxsound.js: nine base-32 characters as a two-second burst of tones, payloads of
// 1 to 4096 bytes as frames of tones, and back.

/** Mode names: 'audible', 'nonaudible', 'compression', 'all' (listens to the first three), 'custom'. */
export type ModeName = 'audible' | 'nonaudible' | 'compression' | 'all' | 'custom';
/** A mode by name (any case; 'non-audible' too) or by number 2..6. */
export type ModeLike = ModeName | string | number;
/** The plan a message was sent in. */
export type PlanName = 'audible' | 'nonaudible' | 'compression' | 'custom';
export type ReceiverName = 'standard' | 'robust';

/** A value the core refused; the message names it and what is allowed. */
export class RyxSoundError extends Error {
    name: 'RyxSoundError';
}

export interface CustomBand {
    /** Tone 0 of the custom plan before snapping to a bin, Hz (default 12000). */
    customBaseHz?: number;
    /** Hop of customStep + 2 bins, 0..64 (default 1). */
    customStep?: number;
}

export interface PlanOptions extends CustomBand {
    /** Default 'audible' for encode, 'all' for a Decoder. */
    mode?: ModeLike;
    /**
     * Hz, default 44100: a rate the plans are made at (planRate(mode, rate) === rate), which is
     * 44100 or 48000 Hz (22050 too for 'audible'). Other rates throw, naming the rate to resample
     * to (an AudioContext or OfflineAudioContext at that rate does it).
     */
    sampleRate?: number;
    /** A named custom band ('phone'); sets the mode to 'custom'. */
    preset?: string;
}

export interface EncodeOptions extends PlanOptions {
    /** Base-32 notes, one per symbol, mixed under the data. */
    melody?: string;
    /** One random gliding note per symbol instead of a melody. */
    randomTones?: boolean;
    /** Their gain, dB. */
    randomToneGainDb?: number;
}

export interface DecoderOptions extends PlanOptions {
    /** 'robust' (default) or 'standard'. */
    receiver?: ReceiverName;
}

export interface Message {
    /** Nine characters, lower case; trust them only when ok. */
    text: string;
    /** Error correction succeeded and the checksum matched. */
    ok: boolean;
    /** 0..1. */
    confidence: number;
    /** The plan it was sent in. */
    mode: PlanName;
    /** Sample offset of its first start symbol in the fed stream. */
    start: number;
    /** Sample offset just after its last symbol. */
    end: number;
    /** Mean level of the decided tones over their band's mean, dB. */
    toneToBandDb: number;
    /** Received tone level, dB relative to a full-scale sine (>= -120). */
    levelDbfs: number;
    /** Share 0..1 of the 12 message symbols received without correction. */
    cleanShare: number;
    /** Message symbols (0, 1 start, 2..10 text, 11 checksum) that error correction changed. */
    corrected: number[];
}

export interface PlanInfo {
    plan: PlanName;
    sampleRate: number;
    /** Tone 0..8 before the hop, Hz. */
    toneHz: number[];
    toneBins: number[];
    /** Analysis length: 2048 at 44100 and 48000 Hz. */
    windowSize: number;
    /** 4608 at 44100 Hz, 5015 at 48000 Hz. */
    symbolSamples: number;
    /** 20 symbols. */
    transmissionSamples: number;
    hopHz: number;
    hopBins: number;
    bandLowHz: number;
    /** Tone 8 raised by two hops: the highest frequency sent. */
    bandHighHz: number;
    /** Every tone with its hops lies below half the rate. */
    fits: boolean;
}

export interface Preset {
    name: string;
    mode: ModeName;
    customBaseHz: number;
    customStep: number;
    description: string;
}

/** One transmission of nine base-32 characters ('0'-'9', 'a'-'v'), samples -1..1. */
export function encode(text: string, options?: EncodeOptions): Float32Array;

/** Every message in a whole recording. */
export function decode(samples: Float32Array | ArrayLike<number>, options?: DecoderOptions): Message[];

/** A streaming receiver; close() frees its wasm memory. */
export class Decoder {
    constructor(options?: DecoderOptions);
    readonly mode: ModeName;
    readonly sampleRate: number;
    readonly receiver: ReceiverName;
    readonly closed: boolean;
    /** Samples fed so far, flush's silence included. */
    readonly position: number;
    /** Between a recognised start and the message's completion. */
    readonly inMessage: boolean;
    /** Any chunk size; values that are not finite count as silence. */
    feed(samples: Float32Array | ArrayLike<number>): Message[];
    /** Feeds silence until a message in progress completes. */
    flush(): Message[];
    /** Safe to call twice; any later use throws. */
    close(): void;
}

/** A power spectrum for displays: windowSize (a power of two 4..8192) samples in. */
export class Spectrum {
    constructor(windowSize: number);
    readonly windowSize: number;
    /** windowSize / 2 + 1 powers (a sine of amplitude A shows about A^2); reused by the next call. */
    analyze(frame: Float32Array | ArrayLike<number>): Float32Array;
    /** Frees its wasm memory (also done once it is garbage-collected); safe to call twice. */
    close(): void;
}

export function presets(): Preset[];
export function planInfo(plan: PlanName, sampleRate?: number, custom?: CustomBand): PlanInfo;
/** The plans a mode sends (one) or listens for ('all': three). */
export function plansOf(mode: ModeLike): PlanName[];
/** The rates a mode works at, best first, of 44100, 48000 and 22050 Hz. */
export function supportedRates(mode: ModeLike, options?: CustomBand & { preset?: string }): number[];
/**
 * The rate the plans are made at for audio at sampleRate, the only rate encode and Decoder take:
 * 44100, 48000 and 22050 Hz (where the mode fits) stay, 88200 -> 44100, 96000, 32000, 16000 and
 * 8000 -> 48000 (a preset's 22050 -> 44100). For a Decoder of mode 'all'; an encoder of 'all' sends
 * 'nonaudible'. Throws when audio at sampleRate cannot hold the plans ('audible' at 8000 Hz).
 */
export function planRate(mode: ModeLike | undefined, sampleRate: number,
    options?: CustomBand & { preset?: string }): number;
/** The 20 tone pairs (Hz, hop included) that send `text` in `plan`: 40 values (the two start symbols sound one tone, given twice). */
export function messageTones(text: string, plan: PlanName, sampleRate?: number, custom?: CustomBand): Float32Array;

/** 'fast': short symbols, three tones at once, for quiet rooms and cables (140 bytes in 4.3 s
 * audible). 'robust': longer symbols hopping between tone sets, for speech, codecs, rooms and
 * clock drift (140 bytes in 12.3 s audible). */
export type ProfileName = 'fast' | 'robust';

export interface PayloadOptions extends Omit<PlanOptions, 'mode'> {
    /** Default 'audible'; 'all' sends the non-audible plan. */
    mode?: ModeLike;
    /** Default 'robust'. */
    profile?: ProfileName;
}

export interface EncodePayloadOptions extends PayloadOptions {
    /** Transmissions back to back, 1..16 (default 1); a receiver delivers the payload once. */
    repeat?: number;
}

/** How a payload is sent. */
export interface PayloadShape {
    /** Frames of 50 bytes: ceil((size + 4) / 50). */
    dataFrames: number;
    /** One for every nine data frames, at least one: any dataFrames of all frames deliver it. */
    parityFrames: number;
    frameSamples: number;
    totalSamples: number;
    /** Time on air. */
    seconds: number;
    /** Tones sounding at once, 1..3. */
    channels: number;
    symbolSeconds: number;
}

/** A received payload: whole (ok) or failed, never changed. */
export interface Payload {
    /** Every byte, empty unless ok. */
    data: Uint8Array;
    /** The data as text when it is UTF-8 without control characters (tab and line breaks
     * allowed); else null. */
    text: string | null;
    /** Every byte recovered and its CRC-32 matched. */
    ok: boolean;
    profile: ProfileName;
    /** The plan it was sent in. */
    mode: PlanName;
    /** Sample offset where the first frame heard begins. */
    start: number;
    /** Sample offset just after the last frame heard. */
    end: number;
    framesHeard: number;
    framesTotal: number;
    /** Any this many frames deliver it. */
    framesNeeded: number;
    /** Bytes, as its frames say. */
    size: number;
    /** 0..1, mean over the frames heard. */
    confidence: number;
    toneToBandDb: number;
    levelDbfs: number;
}

/** A payload whose frames are arriving. */
export interface PayloadProgress {
    profile: ProfileName;
    mode: PlanName;
    size: number;
    framesHeard: number;
    framesNeeded: number;
    framesTotal: number;
    /** Sample offset just after the last frame heard. */
    lastEnd: number;
}

/**
 * The rate payloads are made at for audio at sampleRate, the only rate encodePayload and
 * PayloadDecoder take: planRate's rule, asking the payloads' own band (audible payloads sound at
 * 1.2..5.9 kHz: 16000 -> 44100 Hz, where planRate('audible', 16000) throws). With a profile for a
 * sender, without for a PayloadDecoder. Throws when audio at sampleRate cannot hold the payloads
 * ('audible' at 8000 Hz), naming their band.
 */
export function payloadRate(mode: ModeLike | undefined, sampleRate: number,
    options?: CustomBand & { preset?: string; profile?: ProfileName }): number;
/** Frames, samples and time of a payload of `size` bytes (1..MAX_PAYLOAD_BYTES). */
export function payloadShape(size: number, options?: PayloadOptions): PayloadShape;
/** One payload transmission (a string is sent as UTF-8), samples -1..1. */
export function encodePayload(data: Uint8Array | string, options?: EncodePayloadOptions): Float32Array;
/** Every payload in a whole recording. */
export function decodePayloads(samples: Float32Array | ArrayLike<number>, options?: PlanOptions): Payload[];

/** A streaming receiver of payloads in both profiles; close() frees its wasm memory. */
export class PayloadDecoder {
    /** options.mode defaults to 'all'. */
    constructor(options?: PlanOptions);
    readonly mode: ModeName;
    readonly sampleRate: number;
    readonly closed: boolean;
    /** Samples fed so far, flush's silence included. */
    readonly position: number;
    /** Any chunk size; returns each payload once, as soon as it is whole or its frames stop. */
    feed(samples: Float32Array | ArrayLike<number>): Payload[];
    /** Finishes the frames in progress and reports every payload not yet reported. */
    flush(): Payload[];
    /** The payloads whose frames are arriving, not yet reported. */
    progress(): PayloadProgress[];
    /** Safe to call twice; any later use throws. */
    close(): void;
}

export const version: string;
export const MODES: readonly ModeName[];
export const PLANS: readonly PlanName[];
export const PROFILES: readonly ProfileName[];
/** 4096. */
export const MAX_PAYLOAD_BYTES: number;

declare global {
    /** Set when a page loads ryxsound.js, for pages without a bundler. */
    var RyxSound: {
        version: string;
        MODES: readonly ModeName[];
        PLANS: readonly PlanName[];
        PROFILES: readonly ProfileName[];
        MAX_PAYLOAD_BYTES: number;
        RyxSoundError: typeof RyxSoundError;
        encode: typeof encode;
        decode: typeof decode;
        Decoder: typeof Decoder;
        Spectrum: typeof Spectrum;
        presets: typeof presets;
        planInfo: typeof planInfo;
        plansOf: typeof plansOf;
        supportedRates: typeof supportedRates;
        planRate: typeof planRate;
        messageTones: typeof messageTones;
        payloadShape: typeof payloadShape;
        payloadRate: typeof payloadRate;
        encodePayload: typeof encodePayload;
        decodePayloads: typeof decodePayloads;
        PayloadDecoder: typeof PayloadDecoder;
    };
}
