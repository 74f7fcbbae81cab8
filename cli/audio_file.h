// Mono audio files through libsndfile: WAV (16/24/32-bit PCM, float), FLAC and OGG in, 16-bit
// PCM WAV or FLAC out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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
    // Frames the file holds as libsndfile counts them; 0 for a pipe, whose length is unknown.
    int64_t frames() const { return frames_; }
    // Frames the header of a RIFF WAV file declares, when it declares more than the file holds
    // (a cut-off copy); empty otherwise, and when the header leaves the length open (a 'data'
    // size of 0 or 0xFFFFFFFF). The first 3000 bytes of a 16-bit mono file at 44100 Hz whose
    // header declares 114210 frames: frames() 1478, declaredFrames() 114210.
    std::optional<int64_t> declaredFrames() const { return declaredFrames_; }

    // Goes back to the first frame; false for an input that can be read only once (a pipe).
    bool rewind();

    // Replaces `mono` by the next at most `frames` frames (channel mean, -1..1) and returns how
    // many were read; 0 at the end. Throws AudioFileError for a read error.
    size_t read(size_t frames, std::vector<float>& mono);

  private:
    std::string path_;
    void* file_ = nullptr;  // SNDFILE*
    int sampleRate_ = 0;
    int channels_ = 0;
    bool seekable_ = false;
    int64_t frames_ = 0;
    std::optional<int64_t> declaredFrames_;
    std::vector<float> interleaved_;
};

// Throws AudioFileError, naming the cause as writeAudio does, when writeAudio could not write a
// file at `path` (an unknown file type, a missing or read-only folder, a directory).
void checkWritable(const std::string& path);

// Writes mono samples (-1..1; beyond is clipped) at `sampleRate` Hz as 16-bit PCM: FLAC for a
// name ending in ".flac", WAV for ".wav"; throws AudioFileError for other names and failures,
// naming the cause as the Python tool does: "/nonexistent/x.wav: folder /nonexistent does not
// exist", "out.wav: is a directory", "x.wav: permission denied" (a read-only folder or file).
void writeAudio(const std::string& path, const std::vector<float>& samples, int sampleRate);

}  // namespace ryxcli
