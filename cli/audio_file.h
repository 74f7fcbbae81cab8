// Mono audio files through libsndfile: WAV (16/24/32-bit PCM, float), FLAC and OGG in, 16-bit
// PCM WAV or FLAC out.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace ryxcli {

// A file that cannot be opened, read or written; what() names the file and the cause.
class AudioFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a file block by block, mixing its channels down to mono.
class AudioReader {
  public:
    explicit AudioReader(const std::string& path);  // throws AudioFileError
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int sampleRate() const { return sampleRate_; }  // Hz
    int channels() const { return channels_; }

    // Replaces `mono` by the next at most `frames` frames (channel mean, -1..1) and returns how
    // many were read; 0 at the end. Throws AudioFileError for a read error.
    size_t read(size_t frames, std::vector<float>& mono);

  private:
    std::string path_;
    void* file_ = nullptr;  // SNDFILE*
    int sampleRate_ = 0;
    int channels_ = 0;
    std::vector<float> interleaved_;
};

// Writes mono samples (-1..1; beyond is clipped) at `sampleRate` Hz as 16-bit PCM: FLAC for a
// name ending in ".flac", WAV for ".wav"; throws AudioFileError for other names and failures.
void writeAudio(const std::string& path, const std::vector<float>& samples, int sampleRate);

}  // namespace ryxcli
