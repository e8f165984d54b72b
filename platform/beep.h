#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace nxkit {

// Sounds one tone. The program's own plays it on the sound device and falls back to the bell
// where there is none; tests install one that counts.
class i_beep {
public:
    virtual ~i_beep() = default;
    virtual void beep(int frequency_hz, int duration_ms) = 0;
};

// A tone through the sound device (ALSA, loaded when present), else the bell. Never reports
// an error: a station without sound simply stays silent or rings the bell.
i_beep& system_beep();

// The process-wide beep: the installed one, else system_beep().
i_beep& current_beep();
void set_beep(i_beep* beep);

// What the system beep does without a sound device (the shell may ring the display's bell);
// by default a bell character on the controlling terminal.
void set_bell(void (*bell)());

// Plays beeps on its own thread: a beep, then a pause during which further requests are
// dropped. The busy flag is taken with one test-and-set, so a caller never waits.
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
