#include "decoder/decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

int frameAdvanceFor(float sampleRate) {
    if (sampleRate == 44100.0f) return 256;
    if (sampleRate == 22050.0f) return 128;
    return 64;
}

// Frames in two symbol periods: 4608 x 2 / 256 = 36 at 44100 Hz, 5015.5 x 2 / 64 + 0.5 -> 157 at
// 48000 Hz. Kept within 2 .. 65536 whatever the rate (NaN included).
int ringFramesFor(float sampleRate, int frameAdvance) {
    const float frames =
        sampleRate * kSymbolSeconds * 2.0f / static_cast<float>(frameAdvance) + 0.5f;
    if (!(frames >= 2.0f)) return 2;
    if (frames >= 65536.0f) return 65536;
    return static_cast<int>(frames);
}

int wrap(int value, int modulus) {
    const int r = value % modulus;
    return r < 0 ? r + modulus : r;
}

// Index of the largest value, the lowest index among equal maxima; a value that compares false
// with everything (NaN) never displaces an earlier candidate. `skip` (or -1) is left out.
template <typename T>
int strongest(const T* values, int count, int skip) {
    int best = skip == 0 ? 1 : 0;
    for (int j = best + 1; j < count; ++j) {
        if (j != skip && values[j] > values[best]) best = j;
    }
    return best;
}

}  // namespace

Decoder::Decoder(const Tuning& tuning, int bufferSize)
    : tuning_(tuning),
      sampleRate_(tuning.sampleRate),
      bufferSize_(bufferSize),
      analyzer_(tuning.windowSize, frameAdvanceFor(tuning.sampleRate)),
      sampleRingSize_(4 * static_cast<size_t>(tuning.windowSize)),
      sampleRing_(sampleRingSize_, 0.0f),
      windowSize_(tuning.windowSize),
      frameAdvance_(frameAdvanceFor(tuning.sampleRate)),
      alphabetSize_(kSymbolCount),
      toneCount_(kToneCount),
      binCount_(tuning.windowSize / 2 + 1),
      binsPerHz_(static_cast<float>(tuning.windowSize) / tuning.sampleRate),
      ringFrames_(ringFramesFor(tuning.sampleRate, frameAdvanceFor(tuning.sampleRate))),
      halfRing_(ringFrames_ / 2),
      startTolerance_(static_cast<int>(ringFrames_ * 0.5 * 0.05 + 0.5)),
      spectrumRing_(static_cast<size_t>(ringFrames_) * static_cast<size_t>(binCount_), 0.0f),
      frameFirstTone_(static_cast<size_t>(ringFrames_), -1),
      frameSecondTone_(static_cast<size_t>(ringFrames_), -1) {
    startSymbol1_ = charToSymbol('1');
    startSymbol2_ = charToSymbol('j');
    receivedSymbols_.reserve(4 * kFrameSymbols);
}

Decoder::~Decoder() = default;

int Decoder::DecodeAudioBuffer(const float*, int) { return -1; }

int Decoder::GetDecodedData(char* out) {
    if (out == nullptr) return -1;
    if (completedMessages_ <= 0 || receivedSymbols_.size() < kFrameSymbols) {
        out[0] = 0;
        return -1;
    }
    codec_.setMessageLength(kMessageSymbols);
    std::copy_n(receivedSymbols_.begin(), kMessageSymbols, uncorrectedSymbols_.begin());
    int frame[kFrameSymbols];
    std::copy_n(receivedSymbols_.begin(), kFrameSymbols, frame);
    codec_.setReceived(frame, kFrameSymbols);
    const bool codeword = codec_.decode();
    int corrected[kMessageSymbols];
    codec_.getMessage(corrected);

    int unchanged = 0;
    correctedMask_ = 0;
    for (int i = 0; i < kMessageSymbols; ++i) {
        if (corrected[i] == uncorrectedSymbols_[i]) {
            ++unchanged;
        } else {
            correctedMask_ |= 1u << i;
        }
    }
    unchangedRatio_ = static_cast<float>(unchanged) / static_cast<float>(kMessageSymbols);

    int sum = 0;
    for (int i = 2; i <= 10; ++i) sum += corrected[i];
    const int checksum = sum % alphabetSize_;

    decodedText_.fill(0);
    for (int i = 0; i < 9; ++i) decodedText_[i] = symbolToChar(corrected[2 + i]);
    std::memcpy(out, decodedText_.data(), 10);
    decodedText_.fill(0);

    receivedSymbols_.erase(receivedSymbols_.begin(), receivedSymbols_.begin() + kFrameSymbols);
    --completedMessages_;
    // The checksum is five bits: it alone would pass one word in 32. A word the code could not
    // correct, or corrected into one that does not begin with the start symbols, is no
    // transmission whatever its checksum says (noise that decodes as symbol 0 in every period
    // lies two symbols from the all-zero codeword, whose checksum matches).
    const bool framed = codeword && corrected[0] == startSymbol1_ && corrected[1] == startSymbol2_;
    return framed && checksum == corrected[11] ? 9 : -9;
}

float Decoder::GetDecodingBeginFreq() { return 0.0f; }
float Decoder::GetDecodingEndFreq() { return 0.0f; }

int Decoder::AttenuateDecayingTones(int, const int*) { return -1; }
float Decoder::SumBandFirstHalf(int, int, int, std::vector<float>&) { return -1.0f; }
float Decoder::SumBandSecondHalf(int, int, int, std::vector<float>&) { return -1.0f; }

int Decoder::DetectStartTokens(const float*) { return -1; }
int Decoder::DecodeSymbol(const float*) { return -1; }
int Decoder::MeasureFrameTones() { return -1; }
int Decoder::MeasureWindowTones() { return -1; }

void Decoder::appendSamples(const float* samples, int count) {
    if (samples == nullptr || count <= 0) return;
    const size_t n = static_cast<size_t>(count);
    if (sampleWritePos_ + n > sampleRingSize_) {
        // Move the unconsumed samples to the front; grow when they and the new ones still do not
        // fit. Moving costs at most N - 1 + count samples once per 3N or more samples fed.
        if (sampleAvailable_ + n > sampleRingSize_) {
            sampleRingSize_ = std::max(2 * sampleRingSize_, sampleAvailable_ + n);
            std::vector<float> grown(sampleRingSize_, 0.0f);
            std::copy_n(sampleRing_.data() + sampleReadPos_, sampleAvailable_, grown.data());
            sampleRing_.swap(grown);
        } else {
            std::memmove(sampleRing_.data(), sampleRing_.data() + sampleReadPos_,
                         sampleAvailable_ * sizeof(float));
        }
        sampleReadPos_ = 0;
        sampleWritePos_ = sampleAvailable_;
    }
    std::memcpy(sampleRing_.data() + sampleWritePos_, samples, n * sizeof(float));
    sampleWritePos_ += n;
    sampleAvailable_ += n;
}

const float* Decoder::takeFrame() {
    const size_t advance = static_cast<size_t>(frameAdvance_);
    if (sampleAvailable_ < std::max(static_cast<size_t>(windowSize_), advance)) return nullptr;
    const float* frame = sampleRing_.data() + sampleReadPos_;
    sampleReadPos_ += advance;
    sampleAvailable_ -= advance;
    ++framesTaken_;
    return frame;
}

int Decoder::beginMessage() {
    decodeState_ = 1;
    meanToneSnr_ = 0.0f;
    receivedLevel_ = 0.0f;
    receivedSymbols_.push_back(startSymbol1_);
    receivedSymbols_.push_back(startSymbol2_);
    return -2;
}

int Decoder::acceptSymbol(int symbol) {
    receivedSymbols_.push_back(symbol);
    ++decodeState_;
    return symbol;
}

int Decoder::completeMessage() {
    meanToneSnr_ = meanToneSnr_ / static_cast<float>(kSymbolsAfterStart);
    receivedLevel_ = receivedLevel_ / static_cast<float>(kSymbolsAfterStart);
    decodeState_ = 0;
    ++completedMessages_;
    return -3;
}

void Decoder::storeSpectrum(const float* frame) {
    analyzer_.analyze(frame);
    std::memcpy(spectrumRing_.data() + static_cast<size_t>(spectrumWritePos_) * binCount_,
                analyzer_.powerSpectrum(), static_cast<size_t>(binCount_) * sizeof(float));
}

void Decoder::measureFrameTones(const PlanReceiver& rx) {
    const float* power = analyzer_.powerSpectrum();
    float sum = 0.0f;
    for (int k = rx.bandLowBin; k <= rx.bandHighBin; ++k) sum += power[k];
    const float bandMean = sum / static_cast<float>(rx.bandHighBin - rx.bandLowBin + 1);
    for (int j = 0; j < kToneCount; ++j) {
        const int b = rx.toneBins[j];
        const float s = power[b - 1] + power[b] + power[b + 1];
        toneSnr_[j] = static_cast<float>(
            20.0 * std::log10(static_cast<double>(s) / 3.0 / static_cast<double>(bandMean)));
    }
}

void Decoder::storeListenTones(PlanReceiver& rx, int slot) {
    bool defined = true;
    for (int j = 0; j < kToneCount; ++j) defined &= toneSnr_[j] == toneSnr_[j];
    if (defined) {
        // Without undefined levels the bubble sort is a stable descending sort: its first two
        // are the lowest-indexed maximum and the lowest-indexed maximum of the other eight.
        const int first = strongest(toneSnr_.data(), kToneCount, -1);
        rx.listenFirstTone[slot] = first;
        rx.listenSecondTone[slot] = strongest(toneSnr_.data(), kToneCount, first);
        return;
    }
    // A frame with no defined level (a band of digital silence) names no tone: ranking its
    // undefined levels would call tone 0 strongest, and silence before any sound with tone 2 in
    // it would pass the start test.
    bool anyDefined = false;
    for (int j = 0; j < kToneCount; ++j) anyDefined |= toneSnr_[j] == toneSnr_[j];
    if (!anyDefined) {
        rx.listenFirstTone[slot] = -1;
        rx.listenSecondTone[slot] = -1;
        return;
    }
    for (int j = 0; j < kToneCount; ++j) {
        sortedSnr_[j] = toneSnr_[j];
        sortedTone_[j] = j;
    }
    for (int i = 0; i < kToneCount - 1; ++i) {
        for (int j = 0; j < kToneCount - 1 - i; ++j) {
            if (sortedSnr_[j + 1] > sortedSnr_[j]) {
                std::swap(sortedSnr_[j], sortedSnr_[j + 1]);
                std::swap(sortedTone_[j], sortedTone_[j + 1]);
            }
        }
    }
    rx.listenFirstTone[slot] = sortedTone_[0];
    rx.listenSecondTone[slot] = sortedTone_[1];
}

bool Decoder::startTest(PlanReceiver& rx) {
    const int r = ringFrames_;
    const int h = halfRing_;
    const int firstTone = rx.startPair1[0];
    const int secondTone = rx.startPair2[0];
    const int* first = rx.listenFirstTone.data();
    const int* second = rx.listenSecondTone.data();
    // Visits the slots readPos + j for j in [begin, end), modulo R, as at most two runs.
    const auto forSlots = [&](int begin, int end, auto&& visit) {
        const int start = (rx.readPos + begin) % r;
        const int firstRun = std::min(end - begin, r - start);
        for (int t = start; t < start + firstRun; ++t) visit(t);
        for (int t = 0; t < end - begin - firstRun; ++t) visit(t);
    };
    int filled = wrap(spectrumWritePos_ - rx.readPos, r);
    while (filled >= r - 1) {
        int c1 = 0;
        forSlots(0, h, [&](int t) { c1 += first[t] == firstTone; });
        if (c1 >= h - startTolerance_) {
            int c2 = 0;
            forSlots(h, r, [&](int t) { c2 += first[t] == secondTone || second[t] == secondTone; });
            if (c2 >= h - 2 * startTolerance_) {
                rx.readPos = spectrumWritePos_;
                symbolAnchor_ = spectrumWritePos_;
                symbolClock_ = 0.0;
                return true;
            }
        }
        rx.readPos = (rx.readPos + 1) % r;
        filled = wrap(spectrumWritePos_ - rx.readPos, r);
    }
    return false;
}

void Decoder::measureWindowTones(PlanReceiver& rx) {
    if (!rx.fits()) return;
    const int r = ringFrames_;
    const int h = halfRing_;
    double noiseSum = 0.0;
    for (int i = 0; i < h; ++i) {
        const float* power = ringSlot((rx.readPos + i) % r);
        for (int k = rx.bandLowBin; k <= rx.bandHighBin; ++k) noiseSum += power[k];
    }
    const double noise =
        noiseSum / (static_cast<double>(rx.bandHighBin - rx.bandLowBin + 1) * h);
    const int shift = rx.hopShift(decodeState_);
    for (int i = 0; i < h; ++i) {
        const int t = (rx.readPos + i) % r;
        const float* power = ringSlot(t);
        for (int j = 0; j < kToneCount; ++j) {
            const int b = rx.toneBins[j] + shift;
            const float s = power[b - 1] + power[b] + power[b + 1];
            toneEnergy_[j] = static_cast<float>(static_cast<double>(binCount_) * s / h);
            toneSnr_[j] =
                static_cast<float>(20.0 * std::log10(static_cast<double>(s) / 3.0 / noise));
        }
        const int a = strongest(toneSnr_.data(), kToneCount, -1);
        const int b = strongest(toneSnr_.data(), kToneCount, a);
        frameFirstTone_[t] = a;
        frameSecondTone_[t] = b;
        FrameRecord& record = rx.frameRecords[t];
        record.tone1 = a;
        record.tone2 = b;
        record.snr1 = toneSnr_[a];
        record.snr2 = toneSnr_[b];
        record.energySum = toneEnergy_[b] + toneEnergy_[a];
    }
}

int Decoder::decideSymbol(PlanReceiver& rx) {
    const int r = ringFrames_;
    const int h = halfRing_;
    if (!rx.fits() || wrap(spectrumWritePos_ - rx.readPos, r) < h) return -1;
    measureWindowTones(rx);

    toneVotes_.fill(0);
    for (int i = 0; i < h; ++i) {
        const int t = (rx.readPos + i) % r;
        ++toneVotes_[frameFirstTone_[t]];
        ++toneVotes_[frameSecondTone_[t]];
        FrameRecord& record = rx.frameRecords[t];
        record.symbol = tonePairToSymbol(record.tone1, record.tone2);
        record.meanSnr = (record.snr2 + record.snr1) * 0.5f;
    }
    const int a = strongest(toneVotes_.data(), kToneCount, -1);
    const int b = strongest(toneVotes_.data(), kToneCount, a);
    const int symbol = tonePairToSymbol(a, b);

    float snrSum = 0.0f;
    float energySum = 0.0f;
    for (int i = 0; i < h; ++i) {
        const FrameRecord& record = rx.frameRecords[(rx.readPos + i) % r];
        if (record.symbol == symbol) {
            snrSum += record.meanSnr;
            energySum += record.energySum;
        }
    }
    meanToneSnr_ += snrSum / static_cast<float>(h);
    receivedLevel_ += energySum / static_cast<float>(h);

    symbolClock_ += r * 0.5;
    if (symbolClock_ >= r) symbolClock_ -= r;
    rx.readPos = (static_cast<int>(symbolClock_ + 0.5) + symbolAnchor_) % r;
    return symbol;
}

float Decoder::sumBandHalf(int readPos, int offset, int centreBin, int halfWidth, int limitBin,
                           std::vector<float>& out) const {
    const int r = ringFrames_;
    const int h = halfRing_;
    const long long low = std::max(0LL, static_cast<long long>(centreBin) - halfWidth);
    const long long high = std::min({static_cast<long long>(centreBin) + halfWidth,
                                     static_cast<long long>(limitBin),
                                     static_cast<long long>(binCount_)});
    float total = 0.0f;
    for (int i = 0; i < h; ++i) {
        const float* power = ringSlot(wrap(readPos + offset + i, r));
        float sum = 0.0f;
        for (long long k = low; k < high; ++k) sum += power[k];
        out.push_back(sum);
        total += sum;
    }
    return total / static_cast<float>(h);
}

}  // namespace RYX
