#include "resampler.h"

#include <soxr.h>

#include <stdexcept>
#include <string>

namespace ryxcli {
namespace {

constexpr size_t kOutFrames = 8192;  // output samples per soxr_process call

void check(soxr_error_t error) {
    if (error != nullptr) throw std::runtime_error(std::string("resampling failed: ") + error);
}

}  // namespace

void Resampler::Delete::operator()(soxr* converter) const {
    soxr_delete(converter);
}

Resampler::Resampler(double inRate, double outRate) {
    if (inRate == outRate) return;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    converter_.reset(soxr_create(inRate, outRate, 1, &error, nullptr, &quality, nullptr));
    if (converter_ == nullptr) check(error != nullptr ? error : "cannot create the converter");
    out_.resize(kOutFrames);
}

void Resampler::process(const float* samples, size_t count, const Sink& sink) {
    if (converter_ == nullptr) {
        if (count > 0) sink(samples, count);
        return;
    }
    // A null input would tell libsoxr that the stream ended.
    if (count == 0) return;
    size_t made = 0;
    do {
        size_t used = 0;
        check(
            soxr_process(converter_.get(), samples, count, &used, out_.data(), out_.size(), &made));
        if (made > 0) sink(out_.data(), made);
        samples += used;
        count -= used;
        // A full output buffer may leave converted samples behind: call again until it is not.
    } while (count > 0 || made == out_.size());
}

void Resampler::finish(const Sink& sink) {
    if (converter_ == nullptr) return;
    size_t made = 0;
    do {
        check(soxr_process(converter_.get(), nullptr, 0, nullptr, out_.data(), out_.size(), &made));
        if (made > 0) sink(out_.data(), made);
    } while (made > 0);
}

}  // namespace ryxcli
