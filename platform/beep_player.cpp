#include "platform/beep_player.h"

#include "platform/desktop_services.h"

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

namespace nxkit {

namespace {

// The few ALSA calls a tone needs, looked up at run time so that the program neither needs
// the library to build nor fails to start without it.
class alsa_tone {
public:
    alsa_tone() {
        lib_ = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (lib_ == nullptr)
            return;
        open_ = reinterpret_cast<open_fn>(::dlsym(lib_, "snd_pcm_open"));
        set_params_ = reinterpret_cast<set_params_fn>(::dlsym(lib_, "snd_pcm_set_params"));
        writei_ = reinterpret_cast<writei_fn>(::dlsym(lib_, "snd_pcm_writei"));
        drain_ = reinterpret_cast<close_fn>(::dlsym(lib_, "snd_pcm_drain"));
        close_ = reinterpret_cast<close_fn>(::dlsym(lib_, "snd_pcm_close"));
        auto error_handler =
            reinterpret_cast<error_handler_fn>(::dlsym(lib_, "snd_lib_error_set_handler"));
        // ALSA prints its own complaints about missing cards; a station without sound is normal.
        if (error_handler != nullptr)
            error_handler(&silent);
    }
    ~alsa_tone() {
        if (lib_ != nullptr)
            ::dlclose(lib_);
    }
    alsa_tone(const alsa_tone&) = delete;
    alsa_tone& operator=(const alsa_tone&) = delete;

    bool play(int frequency_hz, int duration_ms) {
        if (open_ == nullptr || set_params_ == nullptr || writei_ == nullptr || drain_ == nullptr ||
            close_ == nullptr)
            return false;
        void* pcm = nullptr;
        if (open_(&pcm, "default", 0 /* playback */, 0) < 0 || pcm == nullptr)
            return false;
        constexpr unsigned rate = 48000;
        // 16-bit little endian, interleaved read/write, one channel, 100 ms latency.
        if (set_params_(pcm, 2, 3, 1, rate, 1, 100000) < 0) {
            close_(pcm);
            return false;
        }
        std::size_t frames =
            static_cast<std::size_t>(rate) * static_cast<unsigned>(duration_ms) / 1000;
        std::vector<std::int16_t> samples(frames);
        const double step = 2.0 * M_PI * frequency_hz / rate;
        for (std::size_t i = 0; i < frames; ++i)
            samples[i] =
                static_cast<std::int16_t>(8000.0 * std::sin(step * static_cast<double>(i)));
        bool ok = writei_(pcm, samples.data(), frames) >= 0;
        if (ok)
            drain_(pcm);
        close_(pcm);
        return ok;
    }

private:
    using open_fn = int (*)(void**, const char*, int, int);
    using set_params_fn = int (*)(void*, int, int, unsigned, unsigned, int, unsigned);
    using writei_fn = long (*)(void*, const void*, unsigned long);
    using close_fn = int (*)(void*);
    using error_handler_fn = int (*)(void (*)(const char*, int, const char*, int, const char*,
                                              ...));

    static void silent(const char*, int, const char*, int, const char*, ...) {}

    void* lib_ = nullptr;
    open_fn open_ = nullptr;
    set_params_fn set_params_ = nullptr;
    writei_fn writei_ = nullptr;
    close_fn drain_ = nullptr;
    close_fn close_ = nullptr;
};

} // namespace

bool sound_device_tone(int frequency_hz, int duration_ms) {
    if (frequency_hz <= 0 || duration_ms <= 0)
        return false;
    // Loaded once; ALSA keeps no state between tones that matters here.
    static alsa_tone tone;
    return tone.play(frequency_hz, duration_ms);
}

beep_player::beep_player() : worker_([this] { run(); }) {}

beep_player::~beep_player() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

bool beep_player::request(int frequency_hz, int duration_ms, int pause_ms) {
    if (busy_.test_and_set())
        return false;
    {
        std::lock_guard guard(lock_);
        pending_ = true;
        frequency_ = frequency_hz;
        duration_ = duration_ms;
        pause_ = pause_ms;
    }
    wake_.notify_all();
    return true;
}

void beep_player::wait_idle() {
    std::unique_lock guard(lock_);
    idle_.wait(guard, [this] { return !pending_ && !busy_.test(); });
}

void beep_player::run() {
    std::unique_lock guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return pending_ || stopping_; });
        if (stopping_)
            return;
        int frequency = frequency_;
        int duration = duration_;
        int pause = pause_;
        guard.unlock();
        if (i_beep* beep = current_beep())
            beep->beep(frequency, duration);
        guard.lock();
        // The pause ends early only when the player goes away.
        wake_.wait_for(guard, std::chrono::milliseconds(pause > 0 ? pause : 0),
                       [this] { return stopping_; });
        pending_ = false;
        busy_.clear();
        idle_.notify_all();
    }
}

} // namespace nxkit
