#pragma once

#include <functional>
#include <map>

namespace nxkit {

// Whether the configuration in memory differs from what was last saved or loaded, and whether
// the last load failed. Every source of a change (editors, the interlock table display,
// editing commands) calls mark_changed(); save and load clear it. The save button listens.
class config_state {
public:
    using listener = std::function<void(bool changed)>;

    bool changed() const { return changed_; }
    void mark_changed() {
        ++edits_;
        set_changed(true);
    }
    // Counts every mark_changed since the store was made: a copy made at one count is the
    // configuration as long as the count (and the store's load generation) stays.
    unsigned long edits() const { return edits_; }
    // Tells the listeners only when the state really changes.
    void set_changed(bool on);

    // A configuration that failed to load is never saved over refs.ini.
    bool load_failed() const { return load_failed_; }
    void set_load_failed(bool on) { load_failed_ = on; }

    // Returns a number for unsubscribe.
    int subscribe(listener on_change);
    void unsubscribe(int id);

private:
    bool changed_ = false;
    unsigned long edits_ = 0;
    bool load_failed_ = false;
    int next_id_ = 1;
    std::map<int, listener> listeners_;
};

} // namespace nxkit
