#include "platform/thread_registry.h"

#include <chrono>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace nxkit {

namespace {

struct registry {
    std::mutex lock;
    int count = 0;
    bool stop_requested = false;
};

registry& the_registry() {
    static registry r;
    return r;
}

struct start_record {
    void (*function)(void*);
    void* argument;
};

void* thread_entry(void* raw) {
    start_record record = *static_cast<start_record*>(raw);
    delete static_cast<start_record*>(raw);
    record.function(record.argument);
    return nullptr;
}

void uncount() {
    registry& r = the_registry();
    std::lock_guard guard(r.lock);
    --r.count;
}

} // namespace

bool begin_counted_thread(void (*function)(void*), std::size_t stack_size, void* argument) {
    {
        registry& r = the_registry();
        std::lock_guard guard(r.lock);
        ++r.count;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size >= static_cast<std::size_t>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attr, stack_size);
    auto* record = new start_record{function, argument};
    pthread_t id;
    int rc = pthread_create(&id, &attr, thread_entry, record);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete record;
        uncount();
        return false;
    }
    return true;
}

nx_auto_endthread::~nx_auto_endthread() {
    uncount();
}

bool thread_stop_requested() {
    registry& r = the_registry();
    std::lock_guard guard(r.lock);
    return r.stop_requested;
}

int counted_threads() {
    registry& r = the_registry();
    std::lock_guard guard(r.lock);
    return r.count;
}

int wait_for_threads(int timeout_ms) {
    registry& r = the_registry();
    {
        std::lock_guard guard(r.lock);
        r.stop_requested = true;
    }
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        {
            std::lock_guard guard(r.lock);
            if (r.count <= 0)
                break;
        }
        timeout_ms -= 100;
        if (timeout_ms <= 0)
            break;
    }
    std::lock_guard guard(r.lock);
    return r.count;
}

} // namespace nxkit
