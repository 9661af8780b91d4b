#include "platform/AlsaTone.h"

#include "platform/DynamicLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace kq::platform {
namespace {

// The few values of the ALSA interface the tone needs.
constexpr int kStreamPlayback = 0;
constexpr int kOpenNonBlocking = 1;
constexpr int kFormatS16LittleEndian = 2;
constexpr int kAccessReadWriteInterleaved = 3;

constexpr unsigned kRate = 48000;
constexpr unsigned kLatencyUs = 50000;
constexpr double kAmplitude = 0.3 * 32767;
constexpr int kRampFrames = kRate / 200; // 5 ms fade in and out: no clicks
constexpr int kMaxRecoveries = 3;        // underruns and the like
constexpr auto kStep = std::chrono::milliseconds(2);
constexpr auto kGrace = std::chrono::milliseconds(500); // beyond the tone's length

using Clock = std::chrono::steady_clock;

using PcmOpen = int(void** pcm, const char* name, int stream, int mode);
using PcmSetParams = int(void* pcm, int format, int access, unsigned channels, unsigned rate,
                         int softResample, unsigned latencyUs);
using PcmWriteInterleaved = long(void* pcm, const void* buffer, unsigned long frames);
using PcmRecover = int(void* pcm, int error, int silent);
using PcmDrain = int(void* pcm);
using PcmDelay = int(void* pcm, long* frames);
using PcmClose = int(void* pcm);
using ErrorHandler = void(const char* file, int line, const char* function, int error, const char* format,
                          ...);
using SetErrorHandler = int(ErrorHandler* handler);

// The library writes its complaints (no sound card, no such device) to stderr;
// here a missing device only means no tone.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

struct Alsa {
    std::unique_ptr<DynamicLibrary> library;
    PcmOpen* open = nullptr;
    PcmSetParams* setParams = nullptr;
    PcmWriteInterleaved* write = nullptr;
    PcmRecover* recover = nullptr;
    PcmDrain* drain = nullptr;
    PcmDelay* delay = nullptr;
    PcmClose* close = nullptr;

    bool Usable() const { return open && setParams && write && recover && drain && delay && close; }
};

// Loaded on the first tone, kept until the process ends.
const Alsa& Library() {
    static const Alsa alsa = [] {
        Alsa a;
        a.library = DynamicLibrary::Load("libasound.so.2");
        if (!a.library) return a;
        a.open = a.library->Function<PcmOpen>("snd_pcm_open");
        a.setParams = a.library->Function<PcmSetParams>("snd_pcm_set_params");
        a.write = a.library->Function<PcmWriteInterleaved>("snd_pcm_writei");
        a.recover = a.library->Function<PcmRecover>("snd_pcm_recover");
        a.drain = a.library->Function<PcmDrain>("snd_pcm_drain");
        a.delay = a.library->Function<PcmDelay>("snd_pcm_delay");
        a.close = a.library->Function<PcmClose>("snd_pcm_close");
        if (auto* setHandler = a.library->Function<SetErrorHandler>("snd_lib_error_set_handler"))
            setHandler(&Quiet);
        return a;
    }();
    return alsa;
}

std::vector<int16_t> SineSamples(int frequencyHz, int ms) {
    const int frames = static_cast<int>(static_cast<long long>(kRate) * ms / 1000);
    const int ramp = std::min(kRampFrames, frames / 2);
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        double gain = 1.0;
        if (ramp > 0) gain = std::min({1.0, double(i) / ramp, double(frames - 1 - i) / ramp});
        const double phase = 2 * std::numbers::pi * frequencyHz * i / kRate;
        samples[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(kAmplitude * gain * std::sin(phase)));
    }
    return samples;
}

} // namespace

bool PlayTone(int frequencyHz, int ms) {
    const Alsa& alsa = Library();
    if (!alsa.Usable() || frequencyHz <= 0 || ms <= 0) return false;

    // Without blocking throughout: a device held by someone else fails at once, and
    // a device that stops taking samples cannot hold up the program beyond the
    // deadline.
    void* pcm = nullptr;
    if (alsa.open(&pcm, "default", kStreamPlayback, kOpenNonBlocking) < 0 || !pcm) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms) + kGrace;
    bool played = alsa.setParams(pcm, kFormatS16LittleEndian, kAccessReadWriteInterleaved, 1, kRate, 1,
                                 kLatencyUs) >= 0;
    const std::vector<int16_t> samples = played ? SineSamples(frequencyHz, ms) : std::vector<int16_t>{};
    size_t done = 0;
    int recoveries = 0;
    while (played && done < samples.size()) {
        const long written = alsa.write(pcm, samples.data() + done, samples.size() - done);
        if (written >= 0) {
            done += static_cast<size_t>(written);
        } else if (written == -EAGAIN) {
            played = Clock::now() < deadline; // the buffer is full: wait for room
            std::this_thread::sleep_for(kStep);
        } else {
            played = ++recoveries <= kMaxRecoveries && alsa.recover(pcm, static_cast<int>(written), 1) >= 0;
        }
    }
    // Draining starts a tone shorter than the buffer; without blocking it returns at
    // once. Closing drops what is still buffered: wait until it has been played.
    if (played) alsa.drain(pcm);
    long pending = 0;
    while (played && alsa.delay(pcm, &pending) >= 0 && pending > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(kStep);
    alsa.close(pcm);
    return played;
}

} // namespace kq::platform
