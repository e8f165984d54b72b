#include "interlock/ilk_state.h"

#include <memory>

namespace nxkit {

namespace {

const char* const state_name = "interlock";

} // namespace

ilk_state& ilk_state::of(t_ref_buff& store) {
    if (ilk_state* state = find(store))
        return *state;
    auto made = std::make_unique<ilk_state>();
    ilk_state& state = *made;
    store.set_extension(state_name, std::move(made));
    return state;
}

ilk_state* ilk_state::find(t_ref_buff& store) {
    return dynamic_cast<ilk_state*>(store.find_extension(state_name));
}

void mark_interlock_changed(t_ref_buff& store) {
    ilk_state& state = ilk_state::of(store);
    state.interlock_changed = true;
    ++state.edits;
}

} // namespace nxkit
