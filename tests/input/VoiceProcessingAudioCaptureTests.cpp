#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>
#include <vector>

#include "input/VoiceProcessingAudioCapture.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimAudioDevices.h"
#include "platform/sim/SimAudioEngine.h"
#include "platform/sim/SimMicrophonePermission.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Case = VoiceProcessingAudioCaptureError::Case;
using Mode = NativeAudioCaptureMode;

constexpr AudioDeviceID kMicrophone = SimAudioDevices::kBuiltInMicrophone;
constexpr AudioDeviceID kSpeakers = SimAudioDevices::kBuiltInSpeakers;
constexpr AudioDeviceID kDeskMic = 10;

std::vector<float> samples(const AudioChunk& chunk) {
    std::vector<float> values(chunk.size() / sizeof(float));
    std::memcpy(values.data(), chunk.data(), values.size() * sizeof(float));
    return values;
}

// One capture with its simulated hardware, main loop and recovery queue.
struct CaptureWorld {
    CaptureWorld() { devices->addDevice({kDeskMic, "Desk Mic", 1, AudioTransportType::other, true}); }

    ManualLoop main;
    // The recovery queue in virtual time; its clock is the capture's.
    std::shared_ptr<ManualLoop> recovery = std::make_shared<ManualLoop>();
    std::shared_ptr<SimAudioEngineFactory> engines = std::make_shared<SimAudioEngineFactory>();
    std::shared_ptr<SimAudioDevices> devices = SimAudioDevices::builtInOnly();
    std::shared_ptr<SimMicrophonePermission> permission = std::make_shared<SimMicrophonePermission>();
    std::vector<AudioChunk> chunks;
    std::vector<VoiceProcessingAudioCaptureError> failures;
    std::shared_ptr<VoiceProcessingAudioCapture> capture = VoiceProcessingAudioCapture::create(
        {engines, devices, permission, main, recovery, std::make_shared<SequentialIdGenerator>()});

    AudioChunkHandler recordChunks() {
        return [this](AudioChunk chunk) { chunks.push_back(std::move(chunk)); };
    }
    AudioCaptureFailureHandler recordFailures() {
        return [this](const VoiceProcessingAudioCaptureError& error) { failures.push_back(error); };
    }

    // Starts a run and lets the recovery queue arm the watchdog.
    int startRecording() {
        auto rate = capture->start(recordChunks(), recordFailures());
        EXPECT_TRUE(rate.has_value()) << (rate ? "" : rate.error().code());
        recovery->runUntilIdle();
        return rate.value_or(0);
    }
    int prepareAndStart(Mode mode, std::optional<AudioDeviceID> device = std::nullopt) {
        EXPECT_TRUE(capture->prepare(mode, device).has_value());
        return startRecording();
    }
    // Time passes on the recovery queue; then the main loop delivers what it was given.
    void advance(Duration delta) {
        recovery->advance(delta);
        main.runUntilIdle();
    }
    void deliverAudio(std::size_t frames = 1920) { engines->latest()->deliver({std::vector<float>(frames, 0.1f)}); }
    std::vector<std::string> failureCodes() const {
        std::vector<std::string> codes;
        for (const auto& failure : failures) codes.emplace_back(failure.code());
        return codes;
    }
};

class VoiceProcessingAudioCaptureTest : public ::testing::Test, public CaptureWorld {};

// MARK: preparation

TEST_F(VoiceProcessingAudioCaptureTest, TapAsksForFortyMillisecondsRoundingHalvesUp) {
    struct Row {
        double sampleRate;
        int reportedRate;
        std::uint32_t bufferSize;
    };
    for (const auto& row : std::vector<Row>{{44'100, 44'100, 1'764},
                                            {48'000, 48'000, 1'920},
                                            {16'000, 16'000, 640},
                                            {8'000, 8'000, 320},
                                            {192'000, 192'000, 7'680},
                                            {12'512.5, 12'513, 501}}) {
        engines->setInputFormat({row.sampleRate, 1, AudioCommonFormat::float32, false});
        EXPECT_EQ(capture->prepare(Mode::raw, std::nullopt), row.reportedRate) << row.sampleRate;
        EXPECT_EQ(engines->latest()->tapBufferSize(), row.bufferSize) << row.sampleRate;
        EXPECT_EQ(capture->preparedSampleRate(), row.reportedRate);
    }
}

TEST(VoiceProcessingAudioCapturePrepareTest, ErrorsLeaveNothingPrepared) {
    struct Row {
        std::string name;
        std::function<void(CaptureWorld&)> arrange;
        Mode mode;
        std::optional<AudioDeviceID> device;
        VoiceProcessingAudioCaptureError expected;
    };
    const std::vector<Row> rows = {
        {"permission undecided",
         [](CaptureWorld& w) { w.permission->setStatus(MicrophoneAuthorizationStatus::notDetermined); }, Mode::raw,
         std::nullopt, VoiceProcessingAudioCaptureError::of(Case::permissionNotDetermined)},
        {"permission denied", [](CaptureWorld& w) { w.permission->setStatus(MicrophoneAuthorizationStatus::denied); },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::permissionDenied)},
        {"permission restricted",
         [](CaptureWorld& w) { w.permission->setStatus(MicrophoneAuthorizationStatus::restricted); }, Mode::raw,
         std::nullopt, VoiceProcessingAudioCaptureError::of(Case::permissionRestricted)},
        {"default input unreadable",
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::input, std::nullopt); }, Mode::raw,
         std::nullopt, VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable)},
        {"no default input", [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::input, 0); },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable)},
        {"output-only device", [](CaptureWorld&) {}, Mode::raw, kSpeakers,
         VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable)},
        {"dead device", [](CaptureWorld& w) { w.devices->setAlive(kDeskMic, false); }, Mode::raw, kDeskMic,
         VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable)},
        {"device refused by the unit",
         [](CaptureWorld& w) { w.engines->failStep(SimAudioEngineStep::currentDevice, "com.example.unit", -10851); },
         Mode::raw, kDeskMic, VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable)},
        {"no audio unit", [](CaptureWorld& w) { w.engines->setHasInputAudioUnit(false); }, Mode::raw, kDeskMic,
         VoiceProcessingAudioCaptureError::of(Case::engineUnavailable)},
        {"voice processing refused",
         [](CaptureWorld& w) { w.engines->failStep(SimAudioEngineStep::voiceProcessing, "com.example.audio", -66635); },
         Mode::voiceProcessed, std::nullopt,
         VoiceProcessingAudioCaptureError::voiceProcessingUnavailable("com.example.audio", -66635)},
        {"rate too low",
         [](CaptureWorld& w) {
             w.engines->setInputFormat({7'999, 1, AudioCommonFormat::float32, false});
         },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat)},
        {"rate too high",
         [](CaptureWorld& w) {
             w.engines->setInputFormat({192'001, 1, AudioCommonFormat::float32, false});
         },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat)},
        {"no channels",
         [](CaptureWorld& w) {
             w.engines->setInputFormat({48'000, 0, AudioCommonFormat::float32, false});
         },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat)},
        {"integer samples",
         [](CaptureWorld& w) {
             w.engines->setInputFormat({48'000, 1, AudioCommonFormat::int16, false});
         },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat)},
        {"interleaved",
         [](CaptureWorld& w) {
             w.engines->setInputFormat({48'000, 2, AudioCommonFormat::float32, true});
         },
         Mode::raw, std::nullopt, VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CaptureWorld w;
        // A working preparation first: a failed one must not leave it behind.
        ASSERT_TRUE(w.capture->prepare(Mode::raw, std::nullopt).has_value());

        row.arrange(w);
        EXPECT_EQ(w.capture->prepare(row.mode, row.device), std::unexpected(row.expected));
        EXPECT_EQ(w.capture->preparedSampleRate(), std::nullopt);
        EXPECT_EQ(w.engines->engines().front()->resetCount(), 1);
        for (const auto& engine : w.engines->engines()) EXPECT_EQ(engine->configurationObserverCount(), 0u);
    }
}

TEST_F(VoiceProcessingAudioCaptureTest, ExplicitDeviceIsBoundAndVoiceProcessingIsSwitchedOn) {
    ASSERT_EQ(capture->prepare(Mode::raw, kDeskMic), 48'000);
    EXPECT_EQ(engines->latest()->currentInputDevice(), kDeskMic);
    EXPECT_FALSE(engines->latest()->voiceProcessingEnabled());

    ASSERT_EQ(capture->prepare(Mode::voiceProcessed, std::nullopt), 48'000);
    EXPECT_EQ(engines->latest()->currentInputDevice(), std::nullopt);
    EXPECT_TRUE(engines->latest()->voiceProcessingEnabled());
    EXPECT_EQ(engines->latest()->otherAudioDuckingLevel(), OtherAudioDuckingLevel::minimum);
}

// MARK: lifecycle

TEST_F(VoiceProcessingAudioCaptureTest, PrepareWhileRunningKeepsTheRunningEngine) {
    prepareAndStart(Mode::raw);
    engines->setInputFormat({16'000, 1, AudioCommonFormat::float32, false});
    EXPECT_EQ(capture->prepare(Mode::voiceProcessed, kDeskMic), 48'000);
    EXPECT_EQ(engines->engines().size(), 1u);
    EXPECT_EQ(engines->latest()->currentInputDevice(), std::nullopt);
    EXPECT_TRUE(engines->latest()->isRunning());
}

TEST_F(VoiceProcessingAudioCaptureTest, StartingAgainOnlySwapsTheCallbacks) {
    prepareAndStart(Mode::raw);
    std::vector<AudioChunk> laterChunks;
    auto rate = capture->start([&](AudioChunk chunk) { laterChunks.push_back(std::move(chunk)); }, nullptr);
    EXPECT_EQ(rate, 48'000);
    EXPECT_EQ(engines->engines().size(), 1u);
    EXPECT_EQ(engines->latest()->startCount(), 1);

    deliverAudio();
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(laterChunks.size(), 1u);
}

TEST_F(VoiceProcessingAudioCaptureTest, StartingAgainKeepsTheRunsLivenessAndReportsToTheNewCallback) {
    prepareAndStart(Mode::raw);
    deliverAudio();
    advance(2s);
    std::vector<VoiceProcessingAudioCaptureError> laterFailures;
    ASSERT_TRUE(capture->start(recordChunks(), [&](const auto& error) { laterFailures.push_back(error); }));
    recovery->runUntilIdle();
    // Five seconds after the only buffer; a fresh record would have called it
    // "no audio" at this same tick instead.
    advance(3s);
    EXPECT_TRUE(failures.empty());
    ASSERT_EQ(laterFailures.size(), 1u);
    EXPECT_EQ(laterFailures[0].kind, Case::audioInterrupted);
}

TEST_F(VoiceProcessingAudioCaptureTest, StopThenStartRebuildsWithTheLastModeAndDevice) {
    prepareAndStart(Mode::raw, kDeskMic);
    capture->stop();
    EXPECT_FALSE(engines->latest()->isRunning());
    EXPECT_EQ(capture->preparedSampleRate(), 48'000);  // the engine stays until the next start

    startRecording();
    ASSERT_EQ(engines->engines().size(), 2u);
    EXPECT_EQ(engines->latest()->currentInputDevice(), kDeskMic);
    EXPECT_FALSE(engines->latest()->voiceProcessingEnabled());
    EXPECT_FALSE(engines->engines().front()->hasTap());

    deliverAudio();
    EXPECT_EQ(chunks.size(), 1u);
}

TEST_F(VoiceProcessingAudioCaptureTest, NoChunkReachesTheCallerAfterStop) {
    prepareAndStart(Mode::raw);
    deliverAudio();
    capture->stop();
    // A late buffer from the audio thread finds the gate closed.
    deliverAudio();
    EXPECT_EQ(chunks.size(), 1u);
}

TEST_F(VoiceProcessingAudioCaptureTest, DroppedInsideItsOwnChunkCallbackTheEngineIsTornDownOffTheAudioThread) {
    prepareAndStart(Mode::raw);
    auto engine = engines->latest();
    int chunksSeen = 0;
    // The owner lets go from the chunk callback, on the audio thread.
    ASSERT_TRUE(capture->start(
        [this, &chunksSeen](AudioChunk) {
            ++chunksSeen;
            capture.reset();
        },
        nullptr));
    deliverAudio();
    EXPECT_EQ(capture, nullptr);
    EXPECT_EQ(engine->callsFromTapBlock(), std::vector<std::string>{});
    EXPECT_EQ(engine->stopCount(), 0);

    recovery->runUntilIdle();
    EXPECT_EQ(engine->callsFromTapBlock(), std::vector<std::string>{});
    EXPECT_EQ(engine->stopCount(), 1);
    EXPECT_EQ(engine->resetCount(), 1);
    EXPECT_FALSE(engine->hasTap());
    EXPECT_EQ(engine->configurationObserverCount(), 0u);
    EXPECT_EQ(chunksSeen, 1);
}

TEST_F(VoiceProcessingAudioCaptureTest, DroppedOnTheOwnersThreadTheEngineIsTornDownAtOnce) {
    prepareAndStart(Mode::raw);
    auto engine = engines->latest();
    capture.reset();
    EXPECT_EQ(engine->stopCount(), 1);
    EXPECT_FALSE(engine->hasTap());
    EXPECT_EQ(engine->configurationObserverCount(), 0u);
}

TEST_F(VoiceProcessingAudioCaptureTest, RefusedEngineStartResetsAndReportsThePlatformError) {
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    engines->failStep(SimAudioEngineStep::start, "com.example.engine", 561015905);
    auto rate = capture->start(recordChunks(), recordFailures());
    EXPECT_EQ(rate,
              std::unexpected(VoiceProcessingAudioCaptureError::engineStartFailed("com.example.engine", 561015905)));
    EXPECT_EQ(capture->preparedSampleRate(), std::nullopt);
    EXPECT_FALSE(engines->latest()->hasTap());
    recovery->advance(10s);
    EXPECT_TRUE(failures.empty());
}

TEST_F(VoiceProcessingAudioCaptureTest, StartChecksPermissionFirstAndLeavesThePreparationAlone) {
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    permission->setStatus(MicrophoneAuthorizationStatus::notDetermined);
    auto rate = capture->start(recordChunks(), recordFailures());
    EXPECT_EQ(rate.error().code(), "microphone_permission_required");
    EXPECT_EQ(capture->preparedSampleRate(), 48'000);
    EXPECT_EQ(engines->latest()->startCount(), 0);
}

// MARK: chunks

TEST_F(VoiceProcessingAudioCaptureTest, ChunksAreMonoMixesOfEachBuffer) {
    struct Row {
        std::string name;
        std::vector<std::vector<float>> channels;
        std::vector<float> expected;
    };
    const std::vector<Row> rows = {
        {"mono as is", {{0.25f, -0.5f, 1.0f}}, {0.25f, -0.5f, 1.0f}},
        {"stereo halves", {{1.0f, 0.5f}, {0.5f, -0.25f}}, {0.75f, 0.125f}},
        // Divided before adding: loud channels do not overflow to infinity.
        {"loud stereo", {{FLT_MAX}, {FLT_MAX}}, {FLT_MAX}},
    };
    prepareAndStart(Mode::raw);
    for (const auto& row : rows) {
        chunks.clear();
        engines->latest()->deliver(row.channels);
        ASSERT_EQ(chunks.size(), 1u) << row.name;
        EXPECT_EQ(chunks[0].size(), row.expected.size() * 4) << row.name;
        EXPECT_EQ(samples(chunks[0]), row.expected) << row.name;
    }
}

TEST_F(VoiceProcessingAudioCaptureTest, EmptyBuffersYieldNoChunkAndDoNotCountAsAudio) {
    prepareAndStart(Mode::raw);
    for (int i = 0; i < 6; ++i) {
        engines->latest()->deliver({{}, {}});
        engines->latest()->deliverWithoutFloatData(1, 1920);
        advance(500ms);
    }
    EXPECT_TRUE(chunks.empty());
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"no_audio_buffers"});
}

// MARK: watchdog

TEST_F(VoiceProcessingAudioCaptureTest, SilenceFailsAtTheFirstTickAfterThreeSeconds) {
    prepareAndStart(Mode::raw);
    advance(2999ms);
    EXPECT_TRUE(failures.empty());
    advance(1ms);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"no_audio_buffers"});
    // The failure tore the run down.
    EXPECT_EQ(capture->preparedSampleRate(), std::nullopt);
    EXPECT_FALSE(engines->latest()->isRunning());
}

TEST_F(VoiceProcessingAudioCaptureTest, AudioThatStopsFailsFiveSecondsAfterTheLastBuffer) {
    prepareAndStart(Mode::raw);
    advance(1s);
    deliverAudio();
    advance(4500ms);
    EXPECT_TRUE(failures.empty());
    advance(500ms);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"audio_interrupted"});
}

TEST(VoiceProcessingAudioCaptureRouteTest, ChangesEndTheRunWhereTheyMatter) {
    struct Row {
        std::string name;
        Mode mode;
        std::optional<AudioDeviceID> device;
        std::function<void(CaptureWorld&)> change;
        bool fails;
    };
    const std::vector<Row> rows = {
        {"followed default input changes", Mode::raw, std::nullopt,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::input, kDeskMic); }, true},
        {"followed default input unreadable", Mode::raw, std::nullopt,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::input, std::nullopt); }, true},
        {"chosen device unplugged", Mode::raw, kDeskMic, [](CaptureWorld& w) { w.devices->removeDevice(kDeskMic); },
         true},
        {"chosen device dies", Mode::raw, kDeskMic, [](CaptureWorld& w) { w.devices->setAlive(kDeskMic, false); },
         true},
        {"default input changes under a chosen device", Mode::raw, kDeskMic,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::input, 0); }, false},
        {"raw ignores the output", Mode::raw, std::nullopt,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::output, 0); }, false},
        {"voice processing watches the output", Mode::voiceProcessed, std::nullopt,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::output, kDeskMic); }, true},
        {"voice processing loses the output", Mode::voiceProcessed, std::nullopt,
         [](CaptureWorld& w) { w.devices->setDefaultDevice(DefaultAudioDevice::output, std::nullopt); }, true},
        {"engine halts", Mode::raw, std::nullopt, [](CaptureWorld& w) { w.engines->latest()->haltUnexpectedly(); },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CaptureWorld w;
        w.prepareAndStart(row.mode, row.device);
        w.deliverAudio();
        row.change(w);
        w.advance(500ms);
        EXPECT_EQ(w.failureCodes(),
                  row.fails ? std::vector<std::string>{"audio_route_changed"} : std::vector<std::string>{});
    }
}

TEST_F(VoiceProcessingAudioCaptureTest, VoiceProcessingWithoutOutputFailsWhenOneAppears) {
    devices->setDefaultDevice(DefaultAudioDevice::output, 0);
    prepareAndStart(Mode::voiceProcessed);
    advance(500ms);
    EXPECT_TRUE(failures.empty());
    devices->setDefaultDevice(DefaultAudioDevice::output, kSpeakers);
    advance(500ms);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"audio_route_changed"});
}

TEST_F(VoiceProcessingAudioCaptureTest, RouteChangeWinsOverSilenceInTheSameTick) {
    prepareAndStart(Mode::raw);
    deliverAudio();
    advance(4500ms);
    EXPECT_TRUE(failures.empty());
    // At the next tick the last buffer is 5 s old and the default input has changed.
    devices->setDefaultDevice(DefaultAudioDevice::input, kDeskMic);
    advance(500ms);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"audio_route_changed"});
}

TEST_F(VoiceProcessingAudioCaptureTest, ARunReportsAtMostOneFailure) {
    prepareAndStart(Mode::raw);
    auto firstEngine = engines->latest();
    advance(3s);
    firstEngine->postConfigurationChange();
    devices->setDefaultDevice(DefaultAudioDevice::input, kDeskMic);
    advance(10s);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"no_audio_buffers"});
}

TEST_F(VoiceProcessingAudioCaptureTest, AFailureNotYetDeliveredIsDroppedByStopOrStart) {
    for (const std::string_view interrupter : {"stop", "start"}) {
        SCOPED_TRACE(interrupter);
        capture->reset();
        failures.clear();
        prepareAndStart(Mode::raw);
        recovery->advance(3s);  // the failure is posted, the main loop has not run it
        if (interrupter == "stop") {
            capture->stop();
        } else {
            startRecording();
        }
        main.runUntilIdle();
        EXPECT_TRUE(failures.empty());
    }
}

TEST_F(VoiceProcessingAudioCaptureTest, AFailureWithoutCallbackStillTearsDown) {
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    ASSERT_TRUE(capture->start(recordChunks(), nullptr));
    recovery->runUntilIdle();
    advance(3s);
    EXPECT_EQ(capture->preparedSampleRate(), std::nullopt);
    EXPECT_FALSE(engines->latest()->isRunning());
}

// MARK: configuration changes

TEST_F(VoiceProcessingAudioCaptureTest, ConfigurationChangeFailsARunAndSilentlyResetsAnIdleEngine) {
    prepareAndStart(Mode::raw);
    engines->latest()->postConfigurationChange();
    advance(0ms);
    EXPECT_EQ(failureCodes(), std::vector<std::string>{"audio_route_changed"});

    failures.clear();
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    engines->latest()->postConfigurationChange();
    advance(0ms);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(capture->preparedSampleRate(), std::nullopt);
    startRecording();
    EXPECT_EQ(engines->engines().size(), 3u);
}

TEST_F(VoiceProcessingAudioCaptureTest, ConfigurationChangeOfAReplacedEngineIsIgnored) {
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    auto oldEngine = engines->latest();
    oldEngine->postConfigurationChange();  // queued on the recovery queue
    ASSERT_TRUE(capture->prepare(Mode::raw, std::nullopt));
    startRecording();
    advance(0ms);
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(engines->latest()->isRunning());
}

// MARK: errors

TEST(VoiceProcessingAudioCaptureErrorTest, CodesAndMessagesInEnglishAndTurkish) {
    struct Row {
        VoiceProcessingAudioCaptureError error;
        std::string code;
        std::string english;
        std::string turkish;
    };
    const std::vector<Row> rows = {
        {VoiceProcessingAudioCaptureError::engineStartFailed("d", 1), "engine_start_failed",
         "The microphone could not start. Check the input device and try again.",
         "Mikrofon başlatılamadı. Giriş aygıtını kontrol edip yeniden deneyin."},
        {VoiceProcessingAudioCaptureError::voiceProcessingUnavailable("d", 2), "voice_processing_unavailable",
         "Apple audio cleanup could not be prepared.", "Apple ses temizleme motoru hazırlanamadı."},
        {VoiceProcessingAudioCaptureError::of(Case::unsupportedInputFormat), "unsupported_input_format",
         "The Mac microphone did not provide a supported float32 audio format.",
         "Mac mikrofonu desteklenen float32 ses biçimini sağlamadı."},
        {VoiceProcessingAudioCaptureError::of(Case::engineUnavailable), "engine_unavailable",
         "Apple audio cleanup could not be prepared.", "Apple ses temizleme motoru hazırlanamadı."},
        {VoiceProcessingAudioCaptureError::of(Case::permissionNotDetermined), "microphone_permission_required",
         "Allow microphone access to start recording.", "Kaydı başlatmak için mikrofon erişimine izin verin."},
        {VoiceProcessingAudioCaptureError::of(Case::permissionDenied), "microphone_permission_denied",
         "Allow Dorvex in System Settings → Privacy & Security → Microphone.",
         "Sistem Ayarları → Gizlilik ve Güvenlik → Mikrofon bölümünde Dorvex'ya izin verin."},
        {VoiceProcessingAudioCaptureError::of(Case::permissionRestricted), "microphone_permission_restricted",
         "Microphone access is restricted on this Mac. Contact your administrator.",
         "Bu Mac'te mikrofon erişimi kısıtlanmış. Sistem yöneticinize başvurun."},
        {VoiceProcessingAudioCaptureError::of(Case::inputDeviceUnavailable), "input_device_unavailable",
         "The selected microphone is unavailable. Connect it or choose another input.",
         "Seçilen mikrofon kullanılamıyor. Mikrofonu bağlayın veya başka bir giriş seçin."},
        {VoiceProcessingAudioCaptureError::of(Case::inputDeviceAmbiguous), "input_device_ambiguous",
         "More than one microphone has this name. Choose the system default input.",
         "Aynı adla birden fazla mikrofon bulundu. Sistem varsayılan girişini seçin."},
        {VoiceProcessingAudioCaptureError::of(Case::noAudioBuffers), "no_audio_buffers",
         "The microphone did not send any audio. Check the input device and try again.",
         "Mikrofon ses verisi göndermedi. Giriş aygıtını kontrol edip yeniden deneyin."},
        {VoiceProcessingAudioCaptureError::of(Case::audioInterrupted), "audio_interrupted",
         "Audio from the microphone stopped. Check the input device and start a new recording.",
         "Mikrofondan ses akışı kesildi. Giriş aygıtını kontrol edip yeni bir kayıt başlatın."},
        {VoiceProcessingAudioCaptureError::of(Case::routeChanged), "audio_route_changed",
         "The audio device changed during recording. Start a new recording.",
         "Kayıt sırasında ses aygıtı değişti. Yeni bir kayıt başlatın."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.error.code(), row.code);
        EXPECT_EQ(row.error.localizedDescription(NativeAppLanguage::english), row.english) << row.code;
        EXPECT_EQ(row.error.localizedDescription(NativeAppLanguage::turkish), row.turkish) << row.code;
        EXPECT_EQ(row.error.localizedDescription(NativeAppLanguage::german), row.english) << row.code;
        EXPECT_EQ(row.error.errorDescription(), row.english) << row.code;
        EXPECT_EQ(row.error.toError().reason, row.code);
    }
    // Texts of its own are not resolved against the system's languages.
    EXPECT_EQ(VoiceProcessingAudioCaptureError::of(Case::routeChanged).localizedDescription(NativeAppLanguage::system),
              "The audio device changed during recording. Start a new recording.");
    EXPECT_NE(VoiceProcessingAudioCaptureError::engineStartFailed("d", 1),
              VoiceProcessingAudioCaptureError::engineStartFailed("d", 2));
}

}  // namespace
}  // namespace murmo
