#include "encoder/multi_tone_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "encoder/tone_probe.h"
#include "fec/reed_solomon_codec.h"
#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"
#include "modes/tuning.h"

namespace RYX {
namespace {

using test::angleDistance;
using test::fitPhases;
using test::kPi;
using test::Probe;

constexpr double kEncoderTwoPi = 6.2831854820251465;  // 2 pi as the encoder's phase uses it
constexpr const char* kHelloFrame = "1jhello012376a5uvo0p";

// One plan at one rate, with its tone layout and timing written out as numbers.
struct PlanCase {
    const char* name;
    Plan plan;
    float rate;
    float base, spacing, step;  // snapped base and spacing, hop step (Hz)
    int d, fadeIn, fadeOut0, fadeOut, tail;
};

const PlanCase kCases[] = {
    {"Audible44100", Plan::Audible, 44100.0f, 3294.580078125f, 753.662109375f, 258.3984375f, 4608,
     345, 230, 460, 230},
    {"NonAudible44100", Plan::NonAudible, 44100.0f, 17807.958984375f, 258.3984375f, 86.1328125f,
     4608, 345, 230, 460, 230},
    {"Compression44100", Plan::Compression, 44100.0f, 13996.58203125f, 193.798828125f,
     64.599609375f, 4608, 345, 230, 460, 230},
    {"Custom44100", Plan::Custom, 44100.0f, 11993.994140625f, 193.798828125f, 64.599609375f, 4608,
     345, 230, 460, 230},
    {"Audible48000", Plan::Audible, 48000.0f, 3304.6875f, 750.0f, 258.3984375f, 5015, 376, 250, 501,
     250},
    {"NonAudible48000", Plan::NonAudible, 48000.0f, 17789.0625f, 257.8125f, 86.1328125f, 5015, 376,
     250, 501, 250},
    {"Compression48000", Plan::Compression, 48000.0f, 13992.1875f, 187.5f, 64.599609375f, 5015, 376,
     250, 501, 250},
    {"Custom48000", Plan::Custom, 48000.0f, 12000.0f, 187.5f, 64.599609375f, 5015, 376, 250, 501,
     250},
    // The bin width of 44100/2048 again, with the hop of a 1024-point window.
    {"Audible22050", Plan::Audible, 22050.0f, 3294.580078125f, 753.662109375f, 516.796875f, 2304,
     172, 115, 230, 115},
};

std::unique_ptr<MultiToneEncoder> makeEncoder(Plan plan, float rate) {
    const int window = windowSizeFor(rate);
    switch (plan) {
        case Plan::Audible:
            return std::make_unique<EncoderAudibleMultiTone>(rate, 1024, window);
        case Plan::NonAudible:
            return std::make_unique<EncoderNonAudibleMultiTone>(rate, 1024, window);
        case Plan::Compression:
            return std::make_unique<EncoderCompressionMultiTone>(rate, 1024, window);
        default:
            return std::make_unique<EncoderCustomMultiTone>(rate, 1024, window);
    }
}

std::vector<float> encodeToVector(MultiToneEncoder& e, const char* text, int synthMode = 0,
                                  const char* melody = nullptr, int melodyLength = 0,
                                  const SynthesisSettings& settings = {}) {
    const int textLength = text ? static_cast<int>(std::string(text).size()) : 9;
    const int n = e.encode(text, synthMode, textLength, melody, melodyLength, settings);
    EXPECT_EQ(n, e.sampleCount());
    return std::vector<float>(e.samples(), e.samples() + n);
}

// Hop steps of frame position p: none on the start symbols, then 1, 2, 0, 1, 2, 0, ...
int expectedHop(int p) {
    static const int kCycle[3] = {1, 2, 0};
    return p < 2 ? 0 : kCycle[(p - 2) % 3];
}

// Frequency of tone j at position p, in the single precision the plan is defined in.
float toneHz(const PlanCase& c, int j, int p) {
    return c.spacing * static_cast<float>(j) + c.base + static_cast<float>(expectedHop(p)) * c.step;
}

double toneAmp(const PlanCase& c, int j) {
    return c.plan == Plan::Audible ? 1.0 : 0.85 + 0.15 * j / 8.0;
}

int pairOf(char ch, int t) {
    int pair[2];
    symbolToTonePair(charToSymbol(ch), pair);
    return pair[t];
}

// Plateau of position p: after the fade-in, before the fade-out.
int plateauStart(const PlanCase& c, int p) {
    return p * c.d + c.fadeIn;
}
int plateauLength(const PlanCase& c, int p) {
    const int fadeOut = p == 0 ? c.fadeOut0 : c.fadeOut;
    const int tail = p == 0 ? 0 : c.tail;
    return c.d - tail - fadeOut - c.fadeIn + 1;
}

Probe plateauProbe(const std::vector<float>& x, const PlanCase& c, int p) {
    return Probe(x.data() + plateauStart(c, p), plateauLength(c, p), c.rate);
}

// A minimal receiver: the frame read back from the audio as symbols written in the alphabet.
std::string readFrame(const std::vector<float>& x, const PlanCase& c, int positions) {
    std::string frame;
    for (int p = 0; p < positions; ++p) {
        const Probe probe = plateauProbe(x, c, p);
        int best[2] = {-1, -1};
        double level[2] = {0.0, 0.0};
        for (int j = 0; j < kToneCount; ++j) {
            const double v = probe.level(toneHz(c, j, p));
            if (v > level[0]) {
                best[1] = best[0], level[1] = level[0];
                best[0] = j, level[0] = v;
            } else if (v > level[1]) {
                best[1] = j, level[1] = v;
            }
        }
        if (p < 2) {
            frame += best[0] == 0 ? '1' : best[0] == 2 ? 'j' : '?';
        } else {
            const int s = tonePairToSymbol(best[0], best[1]);
            frame += s < 0 ? '?' : symbolToChar(s);
        }
    }
    return frame;
}

// ---------------------------------------------------------------------------------------------
// The data signal, in every plan at 44100 and 48000 Hz.

class DataSignal : public ::testing::TestWithParam<PlanCase> {
  protected:
    void SetUp() override {
        encoder_ = makeEncoder(GetParam().plan, GetParam().rate);
        audio_ = encodeToVector(*encoder_, "hello0123");
    }
    std::unique_ptr<MultiToneEncoder> encoder_;
    std::vector<float> audio_;
};

TEST_P(DataSignal, LastsTwentySymbolDurations) {
    const PlanCase& c = GetParam();
    EXPECT_EQ(static_cast<int>(audio_.size()), 20 * c.d);  // 92160 at 44100, 100300 at 48000
    EXPECT_EQ(encoder_->readPosition(), 0);
}

TEST_P(DataSignal, CarriesTheFramedText) {
    EXPECT_EQ(readFrame(audio_, GetParam(), 20), kHelloFrame);
}

TEST_P(DataSignal, EnvelopeRisesFromZeroAndEndsInSilence) {
    const PlanCase& c = GetParam();
    for (int p = 0; p < 20; ++p) {
        SCOPED_TRACE(p);
        const float* x = audio_.data() + p * c.d;
        const double peak = p == 0 ? 0.7 : p == 1 ? 0.675 : 0.65;
        EXPECT_EQ(x[0], 0.0f);
        for (int k = 1; k < c.fadeIn; ++k) {
            ASSERT_LE(std::fabs(x[k]), k * peak / c.fadeIn + 1e-6) << "k=" << k;
        }
        if (p == 0) {  // no tail silence: the fade-out runs to the last sample
            float loudest = 0.0f;
            for (int k = c.d - c.tail; k < c.d; ++k) loudest = std::max(loudest, std::fabs(x[k]));
            EXPECT_GT(loudest, 0.3f);
        } else {
            for (int k = c.d - c.tail; k < c.d; ++k) ASSERT_EQ(x[k], 0.0f) << "k=" << k;
        }
    }
}

TEST_P(DataSignal, StartSymbolsSoundOneToneAndDataSymbolsTwo) {
    const PlanCase& c = GetParam();
    for (int p = 0; p < 20; ++p) {
        const Probe probe = plateauProbe(audio_, c, p);
        int sounding = 0;
        for (int j = 0; j < kToneCount; ++j) sounding += probe.level(toneHz(c, j, p)) > 0.1;
        EXPECT_EQ(sounding, p < 2 ? 1 : 2) << "position " << p;
    }
}

TEST_P(DataSignal, HopsOneTwoNoneStepsFromPositionTwo) {
    const PlanCase& c = GetParam();
    for (int p = 2; p < 20; ++p) {
        SCOPED_TRACE(p);
        const Probe probe = plateauProbe(audio_, c, p);
        for (int t = 0; t < 2; ++t) {
            const int j = pairOf(kHelloFrame[p], t);
            const float unhopped = c.spacing * static_cast<float>(j) + c.base;
            for (int h = 0; h < 3; ++h) {
                const double level = probe.level(unhopped + static_cast<float>(h) * c.step);
                if (h == expectedHop(p)) {
                    EXPECT_NEAR(level, 0.5 * 0.65 * toneAmp(c, j), 0.005) << "tone " << j;
                } else {
                    EXPECT_LT(level, 0.01) << "tone " << j << " hop " << h;
                }
            }
        }
    }
}

TEST_P(DataSignal, PhaseIsContinuousAcrossSymbolBoundaries) {
    const PlanCase& c = GetParam();
    const double radiansPerHz = kEncoderTwoPi / c.rate;
    auto omega = [&](int p, int t) {
        return toneHz(c, pairOf(kHelloFrame[p], t), p) * radiansPerHz;
    };
    // Start phase (before the first sample's advance) of each sounding tone of each position.
    std::vector<std::vector<double>> start(20);
    for (int p = 0; p < 20; ++p) {
        std::vector<double> omegas = {omega(p, 0)};
        if (p >= 2) omegas.push_back(omega(p, 1));
        start[p] = fitPhases(audio_.data() + plateauStart(c, p), plateauLength(c, p), omegas);
        for (size_t t = 0; t < omegas.size(); ++t) start[p][t] -= omegas[t] * c.fadeIn;
    }
    EXPECT_LT(angleDistance(start[0][0], 0.0), 1e-3);
    for (int p = 1; p < 20; ++p) {
        EXPECT_LT(angleDistance(start[p][0], start[p - 1][0] + omega(p - 1, 0) * c.d), 1e-3)
            << "first tone into position " << p;
        if (p >= 3) {
            EXPECT_LT(angleDistance(start[p][1], start[p - 1][1] + omega(p - 1, 1) * c.d), 1e-3)
                << "second tone into position " << p;
        }
    }
    // The second tone is silent on the start symbols, but its phase runs on through them.
    EXPECT_LT(angleDistance(start[2][1], (omega(0, 1) + omega(1, 1)) * c.d), 1e-3);
}

// The signal recomputed in double precision straight from the synthesis rules.
TEST_P(DataSignal, MatchesAnIndependentDoublePrecisionSynthesis) {
    const PlanCase& c = GetParam();
    std::vector<double> reference(20 * c.d);
    double phi[2] = {0.0, 0.0};
    for (int p = 0; p < 20; ++p) {
        const double peak = p == 0 ? 0.7 : p == 1 ? 0.675 : 0.65;
        const int fadeOut = p == 0 ? c.fadeOut0 : c.fadeOut;
        const int tail = p == 0 ? 0 : c.tail;
        double step[2], amp[2];
        for (int t = 0; t < 2; ++t) {
            const int j = pairOf(kHelloFrame[p], t);
            step[t] = static_cast<double>(toneHz(c, j, p)) * kEncoderTwoPi * (1.0 / c.rate);
            amp[t] = toneAmp(c, j);
        }
        for (int k = 0; k < c.d; ++k) {
            for (int t = 0; t < 2; ++t) {
                phi[t] += step[t];
                if (phi[t] > kEncoderTwoPi) phi[t] -= kEncoderTwoPi;
            }
            double e = peak;
            if (k < c.fadeIn) {
                e = k * peak / c.fadeIn;
            } else if (k >= c.d - tail) {
                e = 0.0;
            } else if (k > c.d - tail - fadeOut) {
                e = (c.d - k - tail) * peak / fadeOut;
            }
            reference[p * c.d + k] =
                p < 2 ? e * amp[0] * std::sin(phi[0])
                      : 0.5 * e * (amp[0] * std::sin(phi[0]) + amp[1] * std::sin(phi[1]));
        }
    }
    std::vector<int> indices;
    for (int i = 0; i < 20 * c.d; i += 311) indices.push_back(i);
    for (int p = 1; p < 20; ++p) {
        for (int i = p * c.d - c.tail - 3; i < p * c.d + 4; ++i) indices.push_back(i);
    }
    for (int i : indices) ASSERT_NEAR(audio_[i], reference[i], 1e-6) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Plans, DataSignal, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// hello0123, audible, 44100 Hz. Tones found by searching the spectrum.

TEST(HelloExample, FrequenciesFoundInEachPosition) {
    const PlanCase& c = kCases[0];
    EncoderAudibleMultiTone encoder(44100.0f, 1024, 2048);
    const std::vector<float> audio = encodeToVector(encoder, "hello0123");
    const double expected[5][2] = {{3294.580078125, 0.0},
                                   {4801.904296875, 0.0},
                                   {5060.302734375, 7321.2890625},
                                   {4565.0390625, 9840.673828125},
                                   {5555.56640625, 6309.228515625}};
    for (int p = 0; p < 5; ++p) {
        SCOPED_TRACE(p);
        auto peaks = plateauProbe(audio, c, p).peaks(2500.0, 11000.0, 2);
        ASSERT_EQ(peaks.size(), 2u);
        if (p < 2) {
            EXPECT_NEAR(peaks[0].first, expected[p][0], 0.05);
            EXPECT_LT(peaks[1].second, 0.05 * peaks[0].second);  // only window side lobes
        } else {
            std::sort(peaks.begin(), peaks.end());
            EXPECT_NEAR(peaks[0].first, expected[p][0], 0.05);
            EXPECT_NEAR(peaks[1].first, expected[p][1], 0.05);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Framing of longer texts and of changed settings.

class LongText : public ::testing::TestWithParam<const char*> {};

TEST_P(LongText, FramesWithChecksumOverFirstNineSymbols) {
    const std::string text = GetParam();
    const int n = static_cast<int>(text.size());
    EncoderAudibleMultiTone encoder(44100.0f, 1024, 2048);
    const std::vector<float> audio = encodeToVector(encoder, text.c_str());
    ASSERT_EQ(static_cast<int>(audio.size()), (n + 11) * 4608);

    std::vector<int> message = {1, 19};
    int sum = 0;
    for (int i = 0; i < n; ++i) {
        message.push_back(charToSymbol(text[i]));
        if (i < 9) sum += message.back();
    }
    message.push_back(sum % 32);
    ReedSolomonCodec codec;
    codec.setMessage(message.data(), static_cast<int>(message.size()));
    codec.computeParity();
    std::vector<int> word(message.size() + 8);
    codec.getCodeword(word.data());
    std::string expected;
    for (int s : word) expected += symbolToChar(s);
    EXPECT_EQ(readFrame(audio, kCases[0], n + 11), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongText,
                         ::testing::Values("0123456789", "0123456789abcde", "0123456789abcdefghij",
                                           "vvvvvvvvvvvvvvvvvvvv"));

// The custom band comes with each encode, whatever it was at construction or the last encode.
TEST(Settings, CustomPlanFollowsTheBandOfEachEncode) {
    EncoderCustomMultiTone encoder(44100.0f, 1024, 2048);
    // 13000 Hz snaps to 604 bins; step parameter 2 gives 4-bin steps and a 12-bin spacing.
    const SynthesisSettings moved{CustomBand{13000.0f, 2}, 0.0f};
    PlanCase c = kCases[3];
    c.base = 13006.0546875f;
    c.spacing = 258.3984375f;
    c.step = 86.1328125f;
    EXPECT_EQ(readFrame(encodeToVector(encoder, "hello0123", 0, nullptr, 0, moved), c, 20),
              kHelloFrame);
    EXPECT_EQ(readFrame(encodeToVector(encoder, "hello0123"), kCases[3], 20), kHelloFrame);
    // The fixed plans ignore the band.
    EncoderAudibleMultiTone audible(44100.0f, 1024, 2048);
    EXPECT_EQ(encodeToVector(audible, "hello0123", 0, nullptr, 0, moved),
              encodeToVector(audible, "hello0123"));
}

// Each encoder hops by whole bins of its own window: building one at another rate in between
// changes nothing (12 bins are 516.796875 Hz at 1024 points, 258.3984375 Hz at 2048).
TEST(Settings, EncodersAtOtherRatesKeepTheirOwnHop) {
    EncoderAudibleMultiTone slow(22050.0f, 1024, windowSizeFor(22050.0f));
    EncoderAudibleMultiTone fast(44100.0f, 1024, windowSizeFor(44100.0f));
    const PlanCase& c22050 = kCases[8];
    const std::vector<float> fastBefore = encodeToVector(fast, "hello0123");
    EXPECT_EQ(readFrame(encodeToVector(slow, "hello0123"), c22050, 20), kHelloFrame);
    EXPECT_EQ(encodeToVector(fast, "hello0123"), fastBefore);
    EXPECT_EQ(readFrame(fastBefore, kCases[0], 20), kHelloFrame);
}

// ---------------------------------------------------------------------------------------------
// Texts that give the same audio.

TEST(SameAudio, CaseOfLettersDoesNotMatter) {
    for (const PlanCase& c : kCases) {
        auto encoder = makeEncoder(c.plan, c.rate);
        const std::vector<float> lower = encodeToVector(*encoder, "hello0vab");
        EXPECT_EQ(encodeToVector(*encoder, "HELLO0VAB"), lower) << c.name;
        EXPECT_EQ(encodeToVector(*encoder, "HeLlO0vAb"), lower) << c.name;
    }
}

TEST(SameAudio, EveryEncodeStartsAfresh) {
    // Modes 3 and 5 both send through the non-audible encoder: separate instances agree, and an
    // instance gives the same audio again after encoding something else.
    EncoderNonAudibleMultiTone first(44100.0f, 1024, 2048);
    EncoderNonAudibleMultiTone second(44100.0f, 1024, 2048);
    const std::vector<float> audio = encodeToVector(first, "hello0123");
    EXPECT_EQ(encodeToVector(second, "hello0123"), audio);
    encodeToVector(first, "vvvvvvvvv");
    EXPECT_EQ(encodeToVector(first, "hello0123"), audio);
}

// ---------------------------------------------------------------------------------------------
// Input that cannot be framed.

struct BadText {
    const char* name;
    const char* text;
    int length;
};

class Refusal : public ::testing::TestWithParam<BadText> {};

TEST_P(Refusal, ReturnsZeroAndLeavesNoAudio) {
    EncoderAudibleMultiTone encoder(44100.0f, 1000, 2048);
    ASSERT_EQ(encoder.encode("hello0123", 0, 9, nullptr, 0), 92160);
    float buffer[1000];
    ASSERT_EQ(encoder.readEncoded(buffer), 1000);

    const BadText& bad = GetParam();
    EXPECT_EQ(encoder.encode(bad.text, 2, bad.length, "abc", 3), 0);
    EXPECT_EQ(encoder.sampleCount(), 0);
    EXPECT_EQ(encoder.readPosition(), 0);
    EXPECT_EQ(encoder.frameLength(), 0);
    EXPECT_EQ(encoder.readEncoded(buffer), 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, Refusal,
                         ::testing::Values(BadText{"Short", "hello012", 8}, BadText{"Empty", "", 0},
                                           BadText{"NegativeLength", "hello0123", -9},
                                           BadText{"TooLong", "0123456789abcdefghijk", 21},
                                           BadText{"OutsideAlphabet", "hellow123", 9},
                                           BadText{"Space", "hello 123", 9},
                                           BadText{"EmbeddedNul", "hell\0o0123", 10},
                                           BadText{"HighByte",
                                                   "hello\xb1"
                                                   "123",
                                                   9},
                                           BadText{"Null", nullptr, 9}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Refusal, RatesWithoutRoomForAFrame) {
    const float rates[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -44100.0f,
                           0.0f,
                           1.0f,
                           3e9f};
    for (float rate : rates) {
        EncoderAudibleMultiTone encoder(rate, 1024, windowSizeFor(rate));
        EXPECT_EQ(encoder.encode("hello0123", 1, 9, nullptr, 0), 0) << rate;
        EXPECT_EQ(encoder.sampleCount(), 0) << rate;
    }
    EncoderAudibleMultiTone slow(8000.0f, 1024, windowSizeFor(8000.0f));
    EXPECT_EQ(slow.encode("hello0123", 2, 9, "abc", 3), 20 * 835);
}

// ---------------------------------------------------------------------------------------------
// Overlays: melody and random tones.

// Overlay envelope of a 4608-sample slot at 44100 Hz: 345-sample ramps, peak 0.7.
double overlayEnvelope(int l) {
    if (l < 345) return l * 0.7 / 345;
    if (l > 4608 - 345) return (4608 - l) * 0.7 / 345;
    return 0.7;
}

double melodySample(int v, int l) {
    const double hz = 440.0 * std::pow(2.0, v / 12.0);
    return std::sin(2.0 * kPi * hz * l / 44100.0) * overlayEnvelope(l) * 0.25;
}

class Overlay : public ::testing::Test {
  protected:
    void SetUp() override { data_ = encodeToVector(encoder_, "hello0123"); }
    EncoderAudibleMultiTone encoder_{44100.0f, 1024, 2048};
    std::vector<float> data_;
};

TEST_F(Overlay, OtherSynthModesAddNothing) {
    for (int mode : {0, 3, -1, 1000}) {
        EXPECT_EQ(encoder_.encode("hello0123", mode, 9, "abc", 3), 92160);
        EXPECT_TRUE(std::equal(data_.begin(), data_.end(), encoder_.samples())) << mode;
    }
}

TEST_F(Overlay, ShortMelodyMixesIntoItsSlotsOnly) {
    const std::vector<float> x = encodeToVector(encoder_, "hello0123", 2, "0cv", 3);
    ASSERT_EQ(x.size(), 92160u);
    const int notes[3] = {0, 12, 31};
    for (int q = 0; q < 3; ++q) {
        for (int l = 0; l < 4608; ++l) {
            const int i = q * 4608 + l;
            ASSERT_NEAR(x[i], melodySample(notes[q], l) + 0.75 * data_[i], 1e-4) << i;
        }
    }
    EXPECT_TRUE(std::equal(x.begin() + 3 * 4608, x.end(), data_.begin() + 3 * 4608));
}

TEST_F(Overlay, LongMelodyExtendsTheAudio) {
    const std::string melody = "0123456789abcdefghijklmnopqrst";  // 30 notes
    const std::string longer(40, 'v');  // leaves audio beyond the data that must not linger
    encodeToVector(encoder_, "hello0123", 2, longer.c_str(), 40);
    const std::vector<float> x = encodeToVector(encoder_, "hello0123", 2, melody.c_str(), 30);
    ASSERT_EQ(x.size(), 138240u);
    for (int i = 0; i < 138240; i += 7) {
        const int q = i / 4608;
        const double data = i < 92160 ? 0.75 * data_[i] : 0.0;
        ASSERT_NEAR(x[i], melodySample(q, i % 4608) + data, 1e-4) << i;
    }
}

TEST(NoteFrequency, IsTheSemitoneFormulaToTheLastBit) {
    for (int v = -1; v < kSymbolCount; ++v) {
        const float exponent = static_cast<float>(v) / 12.0f;
        EXPECT_EQ(noteFrequency(v), static_cast<float>(440.0 * std::pow(2.0, double{exponent})))
            << v;
    }
}

TEST_F(Overlay, MelodyNotesAreSemitonesAbove440Hz) {
    // Slots 20 on lie beyond the data and hold the melody alone; '-' is outside the alphabet.
    const std::string melody = std::string(20, '0') + "0cv-";
    const std::vector<float> x = encodeToVector(encoder_, "hello0123", 2, melody.c_str(), 24);
    const double expected[4] = {440.0, 880.0, 2637.0204553, 415.3046976};
    for (int q = 0; q < 4; ++q) {
        const Probe probe(x.data() + (20 + q) * 4608 + 345, 4608 - 2 * 345, 44100.0);
        const auto peaks = probe.peaks(300.0, 3000.0, 1);
        ASSERT_EQ(peaks.size(), 1u);
        EXPECT_NEAR(peaks[0].first, expected[q], 0.05) << q;
        EXPECT_NEAR(peaks[0].second, 0.175, 0.002) << q;
    }
}

TEST_F(Overlay, MelodyBeyondTheBufferIsDropped) {
    const std::string melody(200, 'c');
    EXPECT_EQ(encoder_.encode("hello0123", 2, 9, melody.c_str(), 200), 95 * 4608);
    EXPECT_LE(encoder_.sampleCount(), encoder_.capacity());
    EncoderAudibleMultiTone fast(48000.0f, 1024, 2048);
    EXPECT_EQ(fast.encode("hello0123", 2, 9, melody.c_str(), 200), 95 * 5015);
}

TEST_F(Overlay, AbsentMelodyPlaysNothing) {
    for (int length : {5, -5}) {
        const char* melody = length > 0 ? nullptr : "abcde";
        EXPECT_EQ(encoder_.encode("hello0123", 2, 9, melody, length), 92160);
        EXPECT_TRUE(std::equal(data_.begin(), data_.end(), encoder_.samples())) << length;
    }
}

// Encodes with random tones twice within one second of calendar time (the seed).
// The first with settings `first`, the second with `second`.
void twoRandomEncodes(MultiToneEncoder& e, std::vector<float>& a, std::vector<float>& b,
                      const SynthesisSettings& first = {}, const SynthesisSettings& second = {}) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        a = encodeToVector(e, "hello0123", 1, nullptr, 0, first);
        b = encodeToVector(e, "hello0123", 1, nullptr, 0, second);
        if (std::time(nullptr) == before) return;
    }
    FAIL() << "calendar second kept changing";
}

TEST_F(Overlay, RandomTonesRepeatWithinOneSecond) {
    std::vector<float> a, b;
    twoRandomEncodes(encoder_, a, b);
    EXPECT_EQ(a, b);
    ASSERT_EQ(a.size(), data_.size());
    double overlay = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_LE(std::fabs(a[i] - data_[i]), 0.7 + 1e-6) << i;
        overlay = std::max(overlay, static_cast<double>(std::fabs(a[i] - data_[i])));
    }
    EXPECT_GT(overlay, 0.5);
}

TEST_F(Overlay, RandomTonesScaleWithSynthVolume) {
    std::vector<float> loud, quiet;
    twoRandomEncodes(encoder_, loud, quiet, SynthesisSettings{CustomBand{}, 0.0f},
                     SynthesisSettings{CustomBand{}, -20.0f});
    ASSERT_EQ(loud.size(), quiet.size());
    for (size_t i = 0; i < loud.size(); ++i) {
        const double ratio = 0.1 * (loud[i] - data_[i]);
        ASSERT_NEAR(quiet[i] - data_[i], ratio, 2e-7) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// The audio signature.

TEST_F(Overlay, SignatureIsClippedOnlyWhereMixed) {
    std::vector<float> signature(2000);
    for (int i = 0; i < 2000; ++i) signature[i] = data_[i] >= 0.0f ? 0.9f : -0.9f;
    encoder_.setAudioSignature(2000, signature.data());
    const std::vector<float> x = encodeToVector(encoder_, "hello0123");
    ASSERT_EQ(x.size(), 92160u);
    int clipped = 0;
    for (int i = 0; i < 2000; ++i) {
        const float sum = signature[i] + data_[i];
        ASSERT_EQ(x[i], std::max(-1.0f, std::min(1.0f, sum))) << i;
        if (std::fabs(data_[i]) > 0.1f) {
            ASSERT_EQ(x[i], data_[i] > 0 ? 1.0f : -1.0f) << i;  // 0.9 over 0.3 gives 1.0
            ++clipped;
        }
    }
    EXPECT_GT(clipped, 500);
    EXPECT_TRUE(std::equal(x.begin() + 2000, x.end(), data_.begin() + 2000));

    // Loud random tones exceed 1 beyond the signature; nothing limits them there.
    const std::vector<float> loud =
        encodeToVector(encoder_, "hello0123", 1, nullptr, 0, SynthesisSettings{CustomBand{}, 6.0f});
    float beyond = 0.0f;
    for (size_t i = 2000; i < loud.size(); ++i) beyond = std::max(beyond, std::fabs(loud[i]));
    EXPECT_GT(beyond, 1.0f);
    for (int i = 0; i < 2000; ++i) ASSERT_LE(std::fabs(loud[i]), 1.0f) << i;
}

TEST(Signature, NeverLengthensTheAudio) {
    struct Case {
        float rate;
        int length;
        int mixed;
    };
    // At 48000 Hz the twenty-symbol signature (100310) outlasts the audio (100300).
    for (const Case& c : {Case{44100.0f, 100000, 92160}, Case{44100.0f, 50000, 50000},
                          Case{48000.0f, 200000, 100300}}) {
        EncoderAudibleMultiTone encoder(c.rate, 1024, 2048);
        const std::vector<float> data = encodeToVector(encoder, "hello0123");
        const std::vector<float> signature(static_cast<size_t>(c.length), 0.125f);
        encoder.setAudioSignature(c.length, signature.data());
        const std::vector<float> x = encodeToVector(encoder, "hello0123");
        ASSERT_EQ(x.size(), data.size());
        for (size_t i = 0; i < x.size(); ++i) {
            const float expected = static_cast<int>(i) < c.mixed ? data[i] + 0.125f : data[i];
            ASSERT_EQ(x[i], expected) << c.rate << " " << c.length << " sample " << i;
        }
    }
}

}  // namespace
}  // namespace RYX
