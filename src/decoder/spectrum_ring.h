// The ring of recent spectra, the start test over it and the symbol clock that places symbol
// periods in it.
//
// Sizes, N = windowSize, R = frames() (frames in two symbol periods), H = R / 2:
//   sampleRate  frameAdvance   R    H   startTolerance
//     48000          64       157   78        4
//     44100         256        36   18        1
//     22050         128        36   18        1
//     16000          64        52   26        1
//     11025          64        36   18        1
//      8000          64        26   13        1
//
// A slot keeps only the bins some plan receiver reads (the band lowBin .. highBin), not the whole
// spectrum: 1 + highBin - lowBin floats per slot, none when no receiver reads any.
//
// Timing of a message. The start test looks back over R frames (two symbol periods): the first H
// need the first start tone strongest, the rest the second start tone among the two strongest.
// Once it passes, the symbol clock is anchored at that ring slot and advances R / 2 frames per
// symbol in double precision, so with odd R (157 at 48000 Hz) the periods start 78 and 79 frames
// apart alternately and never drift. A message that starts at the very first sample a fresh
// decoder is fed is not recognised; a fraction of a second of audio before it is enough.
#pragma once

#include <cstddef>
#include <vector>

namespace RYX {

// Frame advance for a capture rate: 256 at exactly 44100 Hz, 128 at 22050, 64 otherwise.
int frameAdvanceFor(float sampleRate);
// R, frames in two symbol periods: int(sampleRate x 0.104489796 x 2 / frameAdvance + 0.5) in
// single precision (36 at 44100 Hz, 157 at 48000), kept within 2 .. 65536 (NaN gives 2).
int ringFramesFor(float sampleRate, int frameAdvance);

class SpectrumRing {
  public:
    // R = ringFramesFor(sampleRate, frameAdvance); startTolerance = int(R x 0.5 x 0.05 + 0.5).
    // Slots hold bins
    // lowBin .. highBin (none when highBin < lowBin), zeroed.
    SpectrumRing(float sampleRate, int frameAdvance, int lowBin, int highBin);

    int frames() const { return frames_; }          // R
    int halfFrames() const { return frames_ / 2; }  // H, the frames of one symbol period
    int startTolerance() const { return startTolerance_; }
    int writePos() const { return writePos_; }  // the slot the next spectrum fills

    // Copies the band of a full spectrum (N/2 + 1 powers) into slot writePos (not advanced).
    void store(const float* spectrum);
    void advance() { writePos_ = (writePos_ + 1) % frames_; }
    // Frames stored from slot readPos up to, not including, writePos (0 .. R - 1).
    int filledFrom(int readPos) const;
    // Power of bin k (lowBin <= k <= highBin) of slot t is slot(t)[k - lowBin()].
    const float* slot(int t) const { return band_.data() + static_cast<size_t>(t) * width_; }
    float* slot(int t) { return band_.data() + static_cast<size_t>(t) * width_; }
    int lowBin() const { return lowBin_; }

    // The start test over the R slots from readPos, given each slot's strongest (first) and
    // second strongest (second) tone: at least H - tolerance of the first H slots have
    // firstTone strongest, and at least H - 2 x tolerance of the rest have secondTone among
    // their two. Tried at every readPos while R - 1 or more frames are stored after it, moving
    // readPos one slot per failure; on success readPos becomes writePos and it returns true.
    bool startTest(const int* first, const int* second, int firstTone, int secondTone,
                   int& readPos) const;

  private:
    int frames_;
    int startTolerance_;
    int lowBin_;
    int width_;
    int writePos_ = 0;
    std::vector<float> band_;  // R x width
};

// Where the symbol periods of a message begin: anchored at the slot where the start test passed,
// advanced R / 2 frames per symbol. The count is kept below R (subtracting R changes no slot, since
// slots count modulo R), so it never overflows however long a reception runs.
class SymbolClock {
  public:
    void anchor(int slot) {
        anchor_ = slot;
        frames_ = 0.0;
    }
    // Advances one symbol period and returns the slot where the next one begins.
    int next(int ringFrames) {
        frames_ += ringFrames * 0.5;
        if (frames_ >= ringFrames) frames_ -= ringFrames;
        return (static_cast<int>(frames_ + 0.5) + anchor_) % ringFrames;
    }

  private:
    int anchor_ = 0;
    double frames_ = 0.0;
};

}  // namespace RYX
