#include "archive/archive_recorder.h"

#include "archive/archive_series.h"
#include "archive/archive_texts.h"
#include "base/text.h"
#include "config/t_ref_buff.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_dev_asdu.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>

namespace nxkit {

namespace {

std::uint32_t signal_quality(const t_struct_vl& s) {
    std::uint32_t q = 0;
    if (!s.control())
        q |= quality_no_control;
    if (!s.defined() || s.invalid())
        q |= quality_invalid;
    if (s.manual())
        q |= quality_manual;
    return q;
}

std::string signal_name(const t_ref& s) {
    std::string name = s.title();
    if (const t_ref* parent = s.parent(); parent != nullptr && !parent->title().empty())
        name += " (" + parent->title() + ")";
    return name;
}

} // namespace

archive_range parse_archive_range(const std::string& text) {
    archive_range r;
    const char* p = text.c_str();
    char* end = nullptr;
    double values[3];
    int n = 0;
    while (n < 3) {
        values[n] = std::strtod(p, &end);
        if (end == p)
            break;
        ++n;
        p = end;
        while (*p == ' ')
            ++p;
        if (*p != ';')
            break;
        ++p;
    }
    if (n >= 2 && values[1] > values[0]) {
        r.set = true;
        r.low = values[0];
        r.high = values[1];
        if (n == 3 && values[2] >= 0)
            r.percent = values[2];
    }
    return r;
}

archive_recorder::archive_recorder(t_ref_buff& store, i_archive_sink& sink,
                                   archive_recorder_settings settings)
    : store_(store), sink_(sink), settings_(settings) {}

archive_recorder::~archive_recorder() {
    store_.unsubscribe_subtree("", this);
}

std::int64_t archive_recorder::now_ms() const {
    return settings_.clock ? settings_.clock() : QDateTime::currentMSecsSinceEpoch();
}

void archive_recorder::attach() {
    store_.subscribe_subtree("K", this);
    store_.subscribe_subtree("D", this);
}

void archive_recorder::set_range(const std::string& signal_key, const archive_range& range) {
    ranges_[signal_key] = range;
}

double archive_recorder::deadband(const std::string& signal_key, double last) const {
    auto found = ranges_.find(signal_key);
    if (found != ranges_.end() && found->second.set) {
        const double percent =
            found->second.percent >= 0 ? found->second.percent : settings_.deadband_percent;
        return (found->second.high - found->second.low) * percent / 100.0;
    }
    return std::fabs(last) * settings_.deadband_percent / 100.0;
}

void archive_recorder::record_measurement(const std::string& key, measured_state& state,
                                          double value, std::uint32_t quality, std::int64_t time_ms,
                                          const std::string& name) {
    state.value = value;
    state.quality = quality;
    state.time_ms = time_ms;
    state.stored = true;
    archive_row row;
    row.key = key;
    row.name = name;
    row.time_ms = time_ms;
    row.kind = archive_kind::measurement;
    row.value = value;
    row.quality = quality;
    sink_.add(std::move(row));
}

void archive_recorder::on_changed(const std::string& key) {
    t_ref* component = store_.get(key);
    if (component == nullptr)
        return;
    if (auto* signal = dynamic_cast<t_struct_vl*>(component)) {
        const std::string& signal_key = signal->signal_key();
        if (signal_key.empty())
            return;
        signal->refresh();
        const bool manual = signal->manual();
        auto [m, fresh] = manual_.try_emplace(signal_key, manual);
        if (!fresh && m->second != manual) {
            m->second = manual;
            archive_row row;
            row.key = signal_key;
            row.name = signal_name(*signal);
            row.time_ms = now_ms();
            row.kind = manual ? archive_kind::manual_on : archive_kind::manual_off;
            row.value = signal->value();
            row.quality = signal_quality(*signal);
            row.text = manual ? archive_text_manual_on : archive_text_manual_off;
            sink_.add(std::move(row));
        }
        if (dynamic_cast<t_struct_ti*>(signal) == nullptr)
            return;
        measured_state& state = measured_[signal_key];
        state.component_key = key;
        const double value = signal->value();
        const std::uint32_t quality = signal_quality(*signal);
        if (state.stored && quality == state.quality &&
            std::fabs(value - state.value) <= deadband(signal_key, state.value))
            return;
        std::int64_t time_ms = now_ms();
        // A second value in the same millisecond would share the row's key: it takes the next.
        if (state.stored && time_ms <= state.time_ms)
            time_ms = state.time_ms + 1;
        record_measurement(signal_key, state, value, quality, time_ms, signal_name(*signal));
        return;
    }
    if (auto* device = dynamic_cast<t_dev_asdu*>(component)) {
        const bool connected = device->is_connected();
        // A device starts without connection: its first one is a change.
        auto [c, fresh] = connected_.try_emplace(key, false);
        if (c->second == connected)
            return;
        c->second = connected;
        archive_row row;
        row.key = key;
        row.name = device->title().empty() ? device->display_name() : device->title();
        row.time_ms = now_ms();
        row.kind = archive_kind::connection;
        row.value = connected ? 1 : 0;
        row.quality = connected ? 0u : std::uint32_t{quality_no_control};
        row.text = connected ? archive_text_connected : archive_text_disconnected;
        sink_.add(std::move(row));
    }
}

void archive_recorder::on_changes_done() {
    sink_.end_pass();
}

void archive_recorder::tick(std::int64_t now_ms) {
    if (now_ms < next_sweep_ms_)
        return;
    // A sweep every tenth of the period, taking what would be older than the period at the
    // next sweep: no gap exceeds the period.
    const std::int64_t period = static_cast<std::int64_t>(settings_.period_s) * 1000;
    const std::int64_t step = std::max<std::int64_t>(1000, period / 10);
    next_sweep_ms_ = now_ms + step;
    bool any = false;
    for (auto& [signal_key, state] : measured_) {
        if (!state.stored || now_ms - state.time_ms < period - step)
            continue;
        auto* signal = dynamic_cast<t_struct_ti*>(store_.get(state.component_key));
        if (signal == nullptr)
            continue;
        record_measurement(signal_key, state, signal->value(), signal_quality(*signal),
                           std::max(now_ms, state.time_ms + 1), signal_name(*signal));
        any = true;
    }
    if (any)
        sink_.end_pass();
}

} // namespace nxkit
