#include "shell/instance_guard.h"

#include "platform/single_instance.h"
#include "platform/station.h"

#include <cstdlib>
#include <memory>

namespace nxkit {

namespace {

std::unique_ptr<single_instance>& guard() {
    static std::unique_ptr<single_instance> the_guard;
    return the_guard;
}

} // namespace

void ensure_single_instance(long long /*previous_window*/) {
    if (guard())
        return;
    auto taken =
        std::make_unique<single_instance>(exe_path() + ".lock", instance_guard_name(exe_path()));
    if (!taken->acquired()) {
        taken->ask_first_to_raise();
        std::exit(0);
    }
    guard() = std::move(taken);
}

single_instance* instance_guard() {
    return guard().get();
}

void release_single_instance() {
    guard().reset();
}

} // namespace nxkit
