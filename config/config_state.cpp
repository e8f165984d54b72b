#include "config/config_state.h"

#include <vector>

namespace nxkit {

void config_state::set_changed(bool on) {
    if (changed_ == on)
        return;
    changed_ = on;
    // A listener may unsubscribe while it is told.
    std::vector<listener> to_tell;
    for (auto& [id, l] : listeners_)
        to_tell.push_back(l);
    for (auto& l : to_tell)
        l(on);
}

int config_state::subscribe(listener on_change) {
    int id = next_id_++;
    listeners_[id] = std::move(on_change);
    return id;
}

void config_state::unsubscribe(int id) {
    listeners_.erase(id);
}

} // namespace nxkit
