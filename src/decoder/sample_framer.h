// The store of captured samples and its cutting into overlapping analysis frames: N samples per
// frame, each frame frameAdvance samples after the one before (256 at 44100 Hz, 128 at 22050, 64
// at every other rate), so successive frames overlap by N - frameAdvance samples.
#pragma once

#include <cstddef>
#include <vector>

namespace RYX {

class SampleFramer {
  public:
    // windowSize N >= 1 and frameAdvance >= 1; the store starts at 4 x N samples.
    SampleFramer(int windowSize, int frameAdvance);

    // Appends `count` samples (nothing for null samples or count <= 0). Samples never get lost:
    // an append that would run past the end first moves the unconsumed samples to the front, and
    // grows the store only when they and the new samples still do not fit.
    void append(const float* samples, int count);
    // The next frame of N contiguous samples, advancing by frameAdvance; null when fewer than
    // max(N, frameAdvance) are held. The pointer stays valid until the next append.
    const float* takeFrame();

    int frameAdvance() const { return frameAdvance_; }
    // Frames cut since construction.
    long long framesTaken() const { return framesTaken_; }
    // Samples held but not yet consumed (at most N - 1 after takeFrame returned null).
    size_t unconsumedSamples() const { return writePos_ - readPos_; }
    // Samples the store can hold before it moves or grows: 4 x N until a large append.
    size_t capacity() const { return store_.size(); }

  private:
    size_t windowSize_;
    int frameAdvance_;
    // The unconsumed samples lie in store_[readPos_, writePos_).
    std::vector<float> store_;
    size_t readPos_ = 0;
    size_t writePos_ = 0;
    long long framesTaken_ = 0;
};

}  // namespace RYX
