// Sample-rate conversion of a mono stream through libsoxr, block by block.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

struct soxr;  // libsoxr's converter

namespace ryxcli {

// Converts a mono stream from inRate to outRate with libsoxr's high quality (20-bit, linear
// phase), the converter's delay compensated: input sample i comes out as output sample
// i * outRate / inRate. 96000 -> 48000 Hz: 10000 samples in, 5000 out, an impulse at input 2000
// at output 1000. Equal rates pass the samples through unchanged. Memory stays fixed whatever
// the stream's length: each call hands its output to `sink` in pieces of at most 8192 samples.
class Resampler {
  public:
    using Sink = std::function<void(const float* samples, size_t count)>;

    // Rates in Hz, finite and positive; throws std::runtime_error when libsoxr refuses them.
    Resampler(double inRate, double outRate);

    // Converts the next `count` samples (`samples` may be null only with count 0).
    void process(const float* samples, size_t count, const Sink& sink);
    // Ends the stream: hands over the samples the converter still holds.
    void finish(const Sink& sink);

  private:
    struct Delete {
        void operator()(soxr* converter) const;
    };
    std::unique_ptr<soxr, Delete> converter_;  // null for equal rates
    std::vector<float> out_;
};

}  // namespace ryxcli
