#include "base/clipboard.h"

#include <atomic>
#include <mutex>

namespace nxkit {

namespace {

// Stands in until the user interface installs the system clipboard.
class local_clipboard : public i_clipboard {
public:
    std::string text() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void set_text(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = text;
    }

private:
    std::mutex mutex_;
    std::string text_;
};

std::atomic<i_clipboard*> installed_clipboard{nullptr};

} // namespace

i_clipboard& current_clipboard() {
    static local_clipboard fallback;
    i_clipboard* installed = installed_clipboard.load();
    return installed != nullptr ? *installed : fallback;
}

void set_clipboard(i_clipboard* clipboard) {
    installed_clipboard.store(clipboard);
}

} // namespace nxkit
