// The extension module ryxsound._core: the C++ interface of include/ryxsound/ryxsound.hpp for
// the ryxsound package. Arrays in, arrays out (payloads as bytes); the GIL is released while
// encoding and decoding; nothing is written to stdout or stderr. Invalid arguments raise
// ValueError (std::invalid_argument) or TypeError (an array type that is not a number).
#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/array.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ryxsound/ryxsound.hpp"
#include "sample_view.h"

namespace nb = nanobind;
using namespace nb::literals;
using ryxsound_binding::SampleType;
using ryxsound_binding::SampleView;

namespace {

// Any CPU array, read-only, any dtype, any strides: checked by viewOf.
using InArray = nb::ndarray<nb::ro, nb::device::cpu>;
using OutArray = nb::ndarray<nb::numpy, float, nb::ndim<1>>;
using AudioArray = nb::ndarray<float, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

// Samples converted per step of a feed: 16 KiB of floats on the decoder, reused for every call.
constexpr size_t kBlock = 4096;

SampleType sampleTypeOf(nb::dlpack::dtype t, const char* what) {
    using Code = nb::dlpack::dtype_code;
    const auto code = static_cast<Code>(t.code);
    if (t.lanes == 1 && code == Code::Float) {
        if (t.bits == 32) return SampleType::Float32;
        if (t.bits == 64) return SampleType::Float64;
    }
    if (t.lanes == 1 && code == Code::Int) {
        switch (t.bits) {
            case 8:
                return SampleType::Int8;
            case 16:
                return SampleType::Int16;
            case 32:
                return SampleType::Int32;
            case 64:
                return SampleType::Int64;
        }
    }
    if (t.lanes == 1 && code == Code::UInt) {
        switch (t.bits) {
            case 8:
                return SampleType::UInt8;
            case 16:
                return SampleType::UInt16;
            case 32:
                return SampleType::UInt32;
            case 64:
                return SampleType::UInt64;
        }
    }
    throw nb::type_error((std::string(what) +
                          " must be an array of float32, float64 or integers, not of type code " +
                          std::to_string(t.code) + " with " + std::to_string(t.bits) + " bits")
                             .c_str());
}

// Frames and channels of a 1-D (frames) or 2-D (frames, channels) array.
SampleView viewOf(const InArray& a, const char* what) {
    SampleView v;
    v.type = sampleTypeOf(a.dtype(), what);
    v.data = a.data();
    if (a.ndim() == 1) {
        v.frames = a.shape(0);
        v.frameStride = a.stride(0);
    } else if (a.ndim() == 2) {
        v.frames = a.shape(0);
        v.channels = a.shape(1);
        v.frameStride = a.stride(0);
        v.channelStride = a.stride(1);
        if (v.channels == 0 && v.frames > 0) {
            throw std::invalid_argument(std::string(what) + " has frames but no channels");
        }
    } else {
        throw std::invalid_argument(std::string(what) +
                                    " must be one-dimensional (or frames x channels), not " +
                                    std::to_string(a.ndim()) + "-dimensional");
    }
    if (v.channels == 0) v.frames = 0;
    return v;
}

std::vector<float> monoCopy(const InArray& a, const char* what) {
    const SampleView v = viewOf(a, what);
    std::vector<float> out(v.frames);
    ryxsound_binding::readMono(v, 0, v.frames, out.data());
    return out;
}

OutArray toNumpy(std::vector<float>&& samples) {
    auto* owned = new std::vector<float>(std::move(samples));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<float>*>(p); });
    return OutArray(owned->data(), {owned->size()}, owner);
}

// A receiver (Decoder or PayloadDecoder) with its conversion block and result list, both reused
// by every call. The mutex turns use from two threads at once into an error instead of a data
// race.
template <typename Core, typename Record>
class Stream {
  public:
    explicit Stream(Core core) : core_(std::move(core)) { found_.reserve(8); }

    nb::list feed(const InArray& samples) {
        const SampleView view = viewOf(samples, "samples");
        std::unique_lock<std::mutex> lock = claim();
        {
            nb::gil_scoped_release released;
            for (size_t at = 0; at < view.frames; at += kBlock) {
                const size_t n = std::min(kBlock, view.frames - at);
                ryxsound_binding::readMono(view, at, n, block_.data());
                core_.feed(block_.data(), n, found_);
            }
        }
        return takeFound();
    }

    nb::list flush() {
        std::unique_lock<std::mutex> lock = claim();
        {
            nb::gil_scoped_release released;
            core_.flush(found_);
        }
        return takeFound();
    }

    const Core& core() const { return core_; }

    // Held while the receiver is read or changed.
    std::unique_lock<std::mutex> claim() {
        std::unique_lock<std::mutex> lock(busy_, std::try_to_lock);
        if (!lock.owns_lock()) {
            throw std::runtime_error(
                "this decoder is in use by another thread: use one per thread");
        }
        return lock;
    }

  private:
    nb::list takeFound() {
        nb::list out;
        for (Record& r : found_) out.append(nb::cast(std::move(r)));
        found_.clear();
        return out;
    }

    Core core_;
    std::array<float, kBlock> block_{};
    std::vector<Record> found_;
    std::mutex busy_;
};

using MessageStream = Stream<ryxsound::Decoder, ryxsound::Message>;
using PayloadStream = Stream<ryxsound::PayloadDecoder, ryxsound::Payload>;

nb::bytes bytesOf(const std::vector<uint8_t>& data) {
    return nb::bytes(reinterpret_cast<const char*>(data.data()), data.size());
}

OutArray encodePayload(nb::bytes data, std::string_view profile, int mode, float sampleRate,
                       float customBaseHz, int customStep, int repeat) {
    const ryxsound::Profile chosen = ryxsound::profileFromName(profile);
    const auto* first = static_cast<const uint8_t*>(data.data());
    const std::vector<uint8_t> copy(first, first + data.size());
    std::vector<float> audio;
    {
        nb::gil_scoped_release released;
        audio = ryxsound::encodePayload(copy.data(), copy.size(), chosen,
                                        ryxsound::modeFromNumber(mode), sampleRate,
                                        {customBaseHz, customStep}, repeat);
    }
    return toNumpy(std::move(audio));
}

OutArray encode(std::string_view text, int mode, float sampleRate, std::string melody,
                bool randomTones, float randomToneGainDb, std::optional<InArray> signature,
                float customBaseHz, int customStep) {
    ryxsound::EncodeOptions options;
    options.melody = std::move(melody);
    options.randomTones = randomTones;
    options.randomToneGainDb = randomToneGainDb;
    if (signature) options.signature = monoCopy(*signature, "signature");
    std::string copy(text);
    std::vector<float> audio;
    {
        nb::gil_scoped_release released;
        audio = ryxsound::encode(copy, ryxsound::modeFromNumber(mode), sampleRate, options,
                                 {customBaseHz, customStep});
    }
    return toNumpy(std::move(audio));
}

void mixSignature(AudioArray audio, const InArray& signature, float sampleRate) {
    const std::vector<float> sig = monoCopy(signature, "signature");
    nb::gil_scoped_release released;
    ryxsound::mixSignature(audio.data(), audio.shape(0), sig.data(), sig.size(), sampleRate);
}

// Power spectra of frames `hop` samples apart: (frames, windowSize / 2 + 1) float32.
nb::ndarray<nb::numpy, float, nb::ndim<2>> powerSpectra(const InArray& samples, int windowSize,
                                                        int hop) {
    if (hop < 1) throw std::invalid_argument("hop must be at least 1, not " + std::to_string(hop));
    if (windowSize < 4 || windowSize > 8192 || (windowSize & (windowSize - 1)) != 0) {
        throw std::invalid_argument("the window size must be a power of two 4..8192, not " +
                                    std::to_string(windowSize));
    }
    std::vector<float> mono = monoCopy(samples, "samples");
    if (mono.size() < static_cast<size_t>(windowSize)) mono.resize(windowSize, 0.0f);
    const size_t bins = static_cast<size_t>(windowSize) / 2 + 1;
    const size_t frames = 1 + (mono.size() - windowSize) / static_cast<size_t>(hop);
    auto* out = new std::vector<float>(frames * bins);
    nb::capsule owner(out, [](void* p) noexcept { delete static_cast<std::vector<float>*>(p); });
    {
        nb::gil_scoped_release released;
        for (size_t f = 0; f < frames; ++f) {
            ryxsound::powerSpectrum(mono.data() + f * hop, windowSize, out->data() + f * bins);
        }
    }
    return nb::ndarray<nb::numpy, float, nb::ndim<2>>(out->data(), {frames, bins}, owner);
}

}  // namespace

NB_MODULE(_core, m) {
    m.doc() = "The C++ core of ryxsound (private: use the ryxsound package).";
    m.attr("TEXT_LENGTH") = ryxsound::kTextLength;
    m.attr("TONE_COUNT") = ryxsound::kToneCount;
    m.attr("TRANSMISSION_SYMBOLS") = ryxsound::kTransmissionSymbols;
    m.attr("MIN_SAMPLE_RATE") = ryxsound::kMinSampleRate;
    m.attr("MAX_SAMPLE_RATE") = ryxsound::kMaxSampleRate;
    m.def("version", &ryxsound::version);

    m.def(
        "mode_name", [](int mode) { return ryxsound::modeName(ryxsound::modeFromNumber(mode)); },
        "mode"_a);
    m.def(
        "plan_name", [](int plan) { return ryxsound::planName(ryxsound::planFromNumber(plan)); },
        "plan"_a);
    m.def(
        "mode_from_name",
        [](std::string_view name) { return static_cast<int>(ryxsound::modeFromName(name)); },
        "name"_a);
    m.def(
        "plans_of",
        [](int mode) {
            std::vector<int> out;
            for (ryxsound::Plan p : ryxsound::plansOf(ryxsound::modeFromNumber(mode)))
                out.push_back(int(p));
            return out;
        },
        "mode"_a);
    m.def(
        "supported_rates",
        [](int mode, float base, int step) {
            return ryxsound::supportedRates(ryxsound::modeFromNumber(mode), {base, step});
        },
        "mode"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1);
    m.def(
        "check_mode_fits",
        [](int mode, float rate, float base, int step) {
            ryxsound::checkModeFits(ryxsound::modeFromNumber(mode), rate, {base, step});
        },
        "mode"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1);
    m.def("check_sample_rate", &ryxsound::checkSampleRate, "sample_rate"_a);
    m.def(
        "plan_rate",
        [](int mode, float rate, float base, int step, std::string_view preset) {
            if (!preset.empty()) return ryxsound::planRate(ryxsound::presetByName(preset), rate);
            return ryxsound::planRate(ryxsound::modeFromNumber(mode), rate, {base, step});
        },
        "mode"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1,
        "preset"_a = "");
    // profile "" asks for a decoder, which hears both profiles.
    m.def(
        "payload_rate",
        [](int mode, float rate, float base, int step, std::string_view preset,
           std::string_view profile) {
            const ryxsound::Preset* chosen =
                preset.empty() ? nullptr : &ryxsound::presetByName(preset);
            if (profile.empty()) {
                return chosen != nullptr ? ryxsound::payloadRate(*chosen, rate)
                                         : ryxsound::payloadRate(ryxsound::modeFromNumber(mode),
                                                                 rate, {base, step});
            }
            const ryxsound::Profile sent = ryxsound::profileFromName(profile);
            return chosen != nullptr ? ryxsound::payloadRate(sent, *chosen, rate)
                                     : ryxsound::payloadRate(sent, ryxsound::modeFromNumber(mode),
                                                             rate, {base, step});
        },
        "mode"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1,
        "preset"_a = "", "profile"_a = "");

    nb::class_<ryxsound::PlanInfo>(m, "PlanInfo")
        .def_prop_ro("plan", [](const ryxsound::PlanInfo& p) { return int(p.plan); })
        .def_ro("sample_rate", &ryxsound::PlanInfo::sampleRate)
        .def_ro("window_size", &ryxsound::PlanInfo::windowSize)
        .def_ro("symbol_samples", &ryxsound::PlanInfo::symbolSamples)
        .def_ro("transmission_samples", &ryxsound::PlanInfo::transmissionSamples)
        .def_ro("tone_hz", &ryxsound::PlanInfo::toneHz)
        .def_ro("tone_bins", &ryxsound::PlanInfo::toneBins)
        .def_ro("hop_hz", &ryxsound::PlanInfo::hopHz)
        .def_ro("hop_bins", &ryxsound::PlanInfo::hopBins)
        .def_ro("band_low_hz", &ryxsound::PlanInfo::bandLowHz)
        .def_ro("band_high_hz", &ryxsound::PlanInfo::bandHighHz)
        .def_ro("fits", &ryxsound::PlanInfo::fits);
    m.def(
        "plan_info",
        [](int plan, float rate, float base, int step) {
            return ryxsound::planInfo(ryxsound::planFromNumber(plan), rate, {base, step});
        },
        "plan"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1);

    nb::class_<ryxsound::Preset>(m, "Preset")
        .def_prop_ro("name", [](const ryxsound::Preset& p) { return p.name; })
        .def_prop_ro("mode", [](const ryxsound::Preset& p) { return int(p.mode); })
        .def_prop_ro("custom_base_hz", [](const ryxsound::Preset& p) { return p.custom.baseHz; })
        .def_prop_ro("custom_step", [](const ryxsound::Preset& p) { return p.custom.step; })
        .def_prop_ro("description", [](const ryxsound::Preset& p) { return p.description; });
    m.def("presets", &ryxsound::presets, nb::rv_policy::reference);
    m.def("preset_by_name", &ryxsound::presetByName, "name"_a, nb::rv_policy::reference);

    nb::class_<ryxsound::Message>(m, "Message")
        .def_ro("text", &ryxsound::Message::text)
        .def_ro("ok", &ryxsound::Message::ok)
        .def_prop_ro("plan", [](const ryxsound::Message& x) { return int(x.plan); })
        .def_ro("start", &ryxsound::Message::start)
        .def_ro("end", &ryxsound::Message::end)
        .def_ro("confidence", &ryxsound::Message::confidence)
        .def_ro("tone_to_band_db", &ryxsound::Message::toneToBandDb)
        .def_ro("level_dbfs", &ryxsound::Message::levelDbfs)
        .def_ro("clean_share", &ryxsound::Message::cleanShare)
        .def_ro("corrected", &ryxsound::Message::corrected);

    m.def("encode", &encode, "text"_a, "mode"_a, "sample_rate"_a, "melody"_a = "",
          "random_tones"_a = false, "random_tone_gain_db"_a = 0.0f, "signature"_a = nb::none(),
          "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1);
    m.def("to_mono", [](const InArray& a) { return toNumpy(monoCopy(a, "samples")); }, "samples"_a);
    m.def("mix_signature", &mixSignature, "audio"_a, "signature"_a, "sample_rate"_a);
    m.def("power_spectra", &powerSpectra, "samples"_a, "window_size"_a, "hop"_a);

    nb::class_<MessageStream>(m, "Decoder")
        .def(
            "__init__",
            [](MessageStream* self, int mode, float sampleRate, std::string_view receiver,
               float base, int step) {
                new (self) MessageStream(
                    ryxsound::Decoder(ryxsound::modeFromNumber(mode), sampleRate,
                                      ryxsound::receiverFromName(receiver), {base, step}));
            },
            "mode"_a, "sample_rate"_a, "receiver"_a = "robust", "custom_base_hz"_a = 12000.0f,
            "custom_step"_a = 1)
        .def("feed", &MessageStream::feed, "samples"_a)
        .def("flush", &MessageStream::flush)
        .def_prop_ro("position", [](const MessageStream& s) { return s.core().position(); })
        .def_prop_ro("in_message", [](const MessageStream& s) { return s.core().inMessage(); })
        .def_prop_ro("mode", [](const MessageStream& s) { return int(s.core().mode()); })
        .def_prop_ro("sample_rate", [](const MessageStream& s) { return s.core().sampleRate(); })
        .def_prop_ro("receiver", [](const MessageStream& s) {
            return ryxsound::receiverName(s.core().receiver());
        });

    // ---- payloads ----
    m.attr("MAX_PAYLOAD_BYTES") = ryxsound::kMaxPayloadBytes;
    m.attr("PROFILES") = nb::make_tuple(ryxsound::profileName(ryxsound::Profile::Fast),
                                        ryxsound::profileName(ryxsound::Profile::Robust));
    m.def(
        "profile_name",
        [](std::string_view name) {
            return ryxsound::profileName(ryxsound::profileFromName(name));
        },
        "name"_a);

    nb::class_<ryxsound::PayloadShape>(m, "PayloadShape")
        .def_ro("data_frames", &ryxsound::PayloadShape::dataFrames)
        .def_ro("parity_frames", &ryxsound::PayloadShape::parityFrames)
        .def_ro("frame_samples", &ryxsound::PayloadShape::frameSamples)
        .def_ro("total_samples", &ryxsound::PayloadShape::totalSamples)
        .def_ro("seconds", &ryxsound::PayloadShape::seconds)
        .def_ro("channels", &ryxsound::PayloadShape::channels)
        .def_ro("symbol_seconds", &ryxsound::PayloadShape::symbolSeconds);
    m.def(
        "payload_shape",
        [](size_t size, std::string_view profile, int mode, float rate, float base, int step) {
            return ryxsound::payloadShape(size, ryxsound::profileFromName(profile),
                                          ryxsound::modeFromNumber(mode), rate, {base, step});
        },
        "size"_a, "profile"_a, "mode"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f,
        "custom_step"_a = 1);
    m.def("encode_payload", &encodePayload, "data"_a, "profile"_a, "mode"_a, "sample_rate"_a,
          "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1, "repeat"_a = 1);

    nb::class_<ryxsound::Payload>(m, "Payload")
        .def_prop_ro("data", [](const ryxsound::Payload& p) { return bytesOf(p.data); })
        .def_ro("ok", &ryxsound::Payload::ok)
        .def_prop_ro("profile",
                     [](const ryxsound::Payload& p) { return ryxsound::profileName(p.profile); })
        .def_prop_ro("plan", [](const ryxsound::Payload& p) { return int(p.plan); })
        .def_ro("start", &ryxsound::Payload::start)
        .def_ro("end", &ryxsound::Payload::end)
        .def_ro("frames_heard", &ryxsound::Payload::framesHeard)
        .def_ro("frames_total", &ryxsound::Payload::framesTotal)
        .def_ro("frames_needed", &ryxsound::Payload::framesNeeded)
        .def_ro("size", &ryxsound::Payload::size)
        .def_ro("confidence", &ryxsound::Payload::confidence)
        .def_ro("tone_to_band_db", &ryxsound::Payload::toneToBandDb)
        .def_ro("level_dbfs", &ryxsound::Payload::levelDbfs);

    nb::class_<ryxsound::PayloadProgress>(m, "PayloadProgress")
        .def_prop_ro(
            "profile",
            [](const ryxsound::PayloadProgress& p) { return ryxsound::profileName(p.profile); })
        .def_prop_ro("plan", [](const ryxsound::PayloadProgress& p) { return int(p.plan); })
        .def_ro("size", &ryxsound::PayloadProgress::size)
        .def_ro("frames_heard", &ryxsound::PayloadProgress::framesHeard)
        .def_ro("frames_needed", &ryxsound::PayloadProgress::framesNeeded)
        .def_ro("frames_total", &ryxsound::PayloadProgress::framesTotal)
        .def_ro("last_end", &ryxsound::PayloadProgress::lastEnd);

    nb::class_<PayloadStream>(m, "PayloadDecoder")
        .def(
            "__init__",
            [](PayloadStream* self, int mode, float sampleRate, float base, int step) {
                new (self) PayloadStream(ryxsound::PayloadDecoder(ryxsound::modeFromNumber(mode),
                                                                  sampleRate, {base, step}));
            },
            "mode"_a, "sample_rate"_a, "custom_base_hz"_a = 12000.0f, "custom_step"_a = 1)
        .def("feed", &PayloadStream::feed, "samples"_a)
        .def("flush", &PayloadStream::flush)
        .def("progress",
             [](PayloadStream& s) {
                 std::unique_lock<std::mutex> lock = s.claim();
                 return s.core().progress();
             })
        .def_prop_ro("position", [](const PayloadStream& s) { return s.core().position(); })
        .def_prop_ro("mode", [](const PayloadStream& s) { return int(s.core().mode()); })
        .def_prop_ro("sample_rate", [](const PayloadStream& s) { return s.core().sampleRate(); });
}
