#include "audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

namespace ryxcli {
namespace {

SNDFILE* handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

bool endsWith(const std::string& path, const std::string& suffix) {
    if (path.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), path.rbegin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
        throw AudioFileError(path + ": cannot read it as audio (" + sf_strerror(nullptr) + ")");
    }
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    if (channels_ < 1) {
        sf_close(handle(file_));
        throw AudioFileError(path + ": the file has no channels");
    }
}

AudioReader::~AudioReader() {
    sf_close(handle(file_));
}

size_t AudioReader::read(size_t frames, std::vector<float>& mono) {
    interleaved_.resize(frames * static_cast<size_t>(channels_));
    const sf_count_t got =
        sf_readf_float(handle(file_), interleaved_.data(), static_cast<sf_count_t>(frames));
    if (got < 0 || sf_error(handle(file_)) != SF_ERR_NO_ERROR) {
        throw AudioFileError(path_ + ": read error (" + sf_strerror(handle(file_)) + ")");
    }
    const size_t n = static_cast<size_t>(got);
    mono.resize(n);
    for (size_t i = 0; i < n; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels_; ++c) sum += interleaved_[i * channels_ + c];
        mono[i] = sum / static_cast<float>(channels_);
    }
    return n;
}

void writeAudio(const std::string& path, const std::vector<float>& samples, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    if (endsWith(path, ".wav")) {
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    } else if (endsWith(path, ".flac")) {
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    } else {
        throw AudioFileError(path + ": unknown file type (use a name ending in .wav or .flac)");
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw AudioFileError(path + ": cannot write it (" + sf_strerror(nullptr) + ")");
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t count = static_cast<sf_count_t>(samples.size());
    const sf_count_t written = sf_writef_float(file, samples.data(), count);
    const std::string cause = sf_strerror(file);
    if (sf_close(file) != 0 || written != count) {
        throw AudioFileError(path + ": cannot write it (" + cause + ")");
    }
}

}  // namespace ryxcli
