#include "decoder/sample_framer.h"

#include <algorithm>
#include <cstring>

namespace RYX {

SampleFramer::SampleFramer(int windowSize, int frameAdvance)
    : windowSize_(static_cast<size_t>(windowSize)),
      frameAdvance_(frameAdvance),
      store_(4 * static_cast<size_t>(windowSize), 0.0f) {}

void SampleFramer::append(const float* samples, int count) {
    if (samples == nullptr || count <= 0) return;
    const size_t n = static_cast<size_t>(count);
    const size_t held = unconsumedSamples();
    if (writePos_ + n > store_.size()) {
        // Moving costs at most N - 1 + count samples once per 3N or more samples fed.
        if (held + n > store_.size()) {
            std::vector<float> grown(std::max(2 * store_.size(), held + n), 0.0f);
            std::copy_n(store_.data() + readPos_, held, grown.data());
            store_.swap(grown);
        } else {
            std::memmove(store_.data(), store_.data() + readPos_, held * sizeof(float));
        }
        readPos_ = 0;
        writePos_ = held;
    }
    std::memcpy(store_.data() + writePos_, samples, n * sizeof(float));
    writePos_ += n;
}

const float* SampleFramer::takeFrame() {
    const size_t advance = static_cast<size_t>(frameAdvance_);
    if (unconsumedSamples() < std::max(windowSize_, advance)) return nullptr;
    const float* frame = store_.data() + readPos_;
    readPos_ += advance;
    ++framesTaken_;
    return frame;
}

}  // namespace RYX
