#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace nxkit {

// A tone of the given frequency and length through the sound device (ALSA, loaded at run time
// when present); false when there is no device to play it on, never an error message.
bool sound_device_tone(int frequency_hz, int duration_ms);

// Plays the installed beep (desktop_services.h) on its own thread: a beep, then a pause during
// which further requests are dropped. The busy flag is taken with one test-and-set, so the
// caller never waits.
class beep_player {
public:
    beep_player();
    ~beep_player();
    beep_player(const beep_player&) = delete;
    beep_player& operator=(const beep_player&) = delete;

    // False when a beep or its pause is still running (the request is dropped).
    bool request(int frequency_hz, int duration_ms, int pause_ms);
    // Waits until the current beep and its pause are over (tests, shut-down).
    void wait_idle();

private:
    void run();

    std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool pending_ = false;
    bool stopping_ = false;
    int frequency_ = 0;
    int duration_ = 0;
    int pause_ = 0;
    std::thread worker_;
};

} // namespace nxkit
