#include "audio_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

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

bool isRegularFile(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

uint32_t littleEndian(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

// Frames the 'data' chunk of a RIFF WAV file declares: its byte count over the block align of
// the 'fmt ' chunk before it (a 'data' size of 228420 with block align 2: 114210). Empty when
// the header cannot be read that way or leaves the length open (0 or 0xFFFFFFFF).
std::optional<int64_t> wavDeclaredFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char*>(riff), sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    uint32_t blockAlign = 0;
    // Each pass reads a chunk header or fails: the loop ends at the end of the file at the latest.
    for (;;) {
        unsigned char head[8];
        if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
        const uint32_t size = littleEndian(head + 4, 4);
        if (std::memcmp(head, "data", 4) == 0) {
            if (size == 0 || size == 0xFFFFFFFFu || blockAlign == 0) return std::nullopt;
            return static_cast<int64_t>(size / blockAlign);
        }
        int64_t skip = static_cast<int64_t>(size) + (size & 1);  // chunks are padded to even
        if (std::memcmp(head, "fmt ", 4) == 0 && size >= 14) {
            unsigned char fmt[14];
            if (!in.read(reinterpret_cast<char*>(fmt), sizeof fmt)) return std::nullopt;
            blockAlign = littleEndian(fmt + 12, 2);
            skip -= static_cast<int64_t>(sizeof fmt);
        }
        if (!in.seekg(skip, std::ios::cur)) return std::nullopt;
    }
}

// The folder a file at `path` goes into, as an absolute path: "/nonexistent/x.wav" ->
// "/nonexistent", "x.wav" -> the working folder, "out/" -> the working folder (relative to it
// when the working folder cannot be named).
std::filesystem::path folderOf(const std::string& path) {
    std::error_code failed;
    std::filesystem::path full = std::filesystem::absolute(path, failed);
    if (failed) full = path;
    full = full.lexically_normal();
    if (!full.has_filename()) full = full.parent_path();  // "out/" names the folder "out"
    return full.parent_path();
}

// The libsndfile format of a file named `path`: 16-bit FLAC for ".flac", 16-bit WAV for ".wav".
int formatFor(const std::string& path) {
    if (endsWith(path, ".wav")) return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (endsWith(path, ".flac")) return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    throw AudioFileError(path + ": unknown file type (use a name ending in .wav or .flac)");
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
    seekable_ = info.seekable != 0;
    frames_ = seekable_ ? static_cast<int64_t>(info.frames) : 0;
    // A pipe is not read twice: its header is only what libsndfile made of it.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && frames_ > 0 && isRegularFile(path)) {
        const std::optional<int64_t> declared = wavDeclaredFrames(path);
        if (declared && *declared > frames_) declaredFrames_ = declared;
    }
}

AudioReader::~AudioReader() {
    sf_close(handle(file_));
}

bool AudioReader::rewind() {
    return seekable_ && sf_seek(handle(file_), 0, SEEK_SET) == 0;
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

void checkWritable(const std::string& path) {
    formatFor(path);
    struct stat st{};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        throw AudioFileError(path + ": is a directory");
    }
    const std::string folder = folderOf(path).string();
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw AudioFileError(path + ": folder " + folder + " does not exist");
    }
    const bool exists = access(path.c_str(), F_OK) == 0;
    if (access(exists ? path.c_str() : folder.c_str(), W_OK) != 0) {
        throw AudioFileError(path + ": permission denied");
    }
}

void writeAudio(const std::string& path, const std::vector<float>& samples, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = formatFor(path);
    checkWritable(path);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw AudioFileError(path + ": cannot write (" + sf_strerror(nullptr) + ")");
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t count = static_cast<sf_count_t>(samples.size());
    const sf_count_t written = sf_writef_float(file, samples.data(), count);
    const std::string cause = sf_strerror(file);
    if (sf_close(file) != 0 || written != count) {
        throw AudioFileError(path + ": cannot write (" + cause + ")");
    }
}

}  // namespace ryxcli
