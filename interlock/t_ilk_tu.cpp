#include "interlock/t_ilk_tu.h"

#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"

#include <array>

namespace nxkit {

namespace {

const std::array<const char*, 4> bind_captions = {
    "Привязать к разрешающим сигналам", "Привязать к сигналам готовности",
    "Привязать к сигналам ТУ \"включить\"", "Привязать к сигналам ТУ \"отключить\""};

} // namespace

t_ilk_tu::t_ilk_tu(t_ref_buff& store) : t_ref(store, tp_ilk_tu) {}

t_ilk_tu::~t_ilk_tu() {
    mark_interlock_changed(store());
}

void t_ilk_tu::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    permission_tu_number_ = parse_number_text(element.attr("tu"));
    permission_signal_ = element.attr("ts");
    ready_signal_ = element.attr("dop");
    tu_on_signal_ = element.attr("tu_on");
    tu_off_signal_ = element.attr("tu_of");
    timeout_t1_ = parse_number_text(element.attr("tm_on"));
    timeout_t2_ = parse_number_text(element.attr("tm_of"));
}

bool t_ilk_tu::set_parameter(int index, const std::string& text) {
    std::string value = trim(text, ' ');
    switch (index) {
    case 1:
        permission_tu_number_ = checked_u16_parameter(value, "№ ТУ разрешения", *this);
        return true;
    case 2:
        permission_signal_ = value;
        return true;
    case 3:
        ready_signal_ = value;
        return true;
    case 4:
        tu_on_signal_ = value;
        return true;
    case 5:
        tu_off_signal_ = value;
        return true;
    case 6:
        timeout_t1_ = checked_u16_parameter(value, "Таймаут t1,с", *this);
        return true;
    case 7:
        timeout_t2_ = checked_u16_parameter(value, "Таймаут t2,с", *this);
        return true;
    default:
        return t_ref::set_parameter(index, text);
    }
}

bool t_ilk_tu::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "№ ТУ разрешения";
        value = number_text(permission_tu_number_);
        return true;
    case 2:
        name = "Разрешающий сигнал";
        value = permission_signal_;
        return true;
    case 3:
        name = "Сигнал готовности";
        value = ready_signal_;
        return true;
    case 4:
        name = "Сигнал ТУ ВКЛ";
        value = tu_on_signal_;
        return true;
    case 5:
        name = "Сигнал ТУ ОТКЛ";
        value = tu_off_signal_;
        return true;
    case 6:
        name = "Таймаут t1,с";
        value = number_text(timeout_t1_);
        return true;
    case 7:
        name = "Таймаут t2,с";
        value = number_text(timeout_t2_);
        return true;
    default:
        return t_ref::get_parameter(index, value, name);
    }
}

std::string t_ilk_tu::display_name() {
    std::string name = disp_name();
    // Without a known signal the tree line still says what the component is.
    if (name.empty())
        name = type_name(type());
    return title().empty() ? name : name + " - " + title();
}

void t_ilk_tu::tree_images(int& icon, int& overlay, int& state) {
    icon = 1447;
    overlay = enabled() ? icon_permitted : icon_forbidden;
    state = ilk_state_index(*this);
}

void t_ilk_tu::init() {
    disp_name_.clear();
    build_expression();
    // Every row has a condition to fill in; a loaded file is taken as it is.
    if (!store().bulk() && store().refs().children(key()).empty())
        add_child(*this, tp_ilk_or, {});
    mark_interlock_changed(store());
    t_ref::init();
    // An edit outside a load registers its signals at once.
    if (!store().bulk())
        link(store());
}

void t_ilk_tu::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    if (permission_tu_number_ != 0)
        writer.attribute("tu", std::to_string(permission_tu_number_));
    writer.attribute("ts", xml_escape(permission_signal_));
    writer.attribute("dop", xml_escape(ready_signal_));
    writer.attribute("tu_on", xml_escape(tu_on_signal_));
    writer.attribute("tu_of", xml_escape(tu_off_signal_));
    if (timeout_t1_ != 0)
        writer.attribute("tm_on", std::to_string(timeout_t1_));
    if (timeout_t2_ != 0)
        writer.attribute("tm_of", std::to_string(timeout_t2_));
}

int t_ilk_tu::command(bool query, int index, std::string& arg) {
    if (index < 0 || index >= static_cast<int>(bind_captions.size()))
        return 0;
    if (query) {
        arg = bind_captions[static_cast<std::size_t>(index)];
        return 1;
    }
    ilk_state& state = ilk_state::of(store());
    return state.binder != nullptr &&
                   state.binder->bind(*this, index, bind_captions[static_cast<std::size_t>(index)])
               ? 1
               : 0;
}

void t_ilk_tu::link(t_ref_buff& store) {
    note_linked_key(*this, linked_key_);
    set_flag(true, flag_linked);
    disp_name_.clear();
    // Watched also without a permission signal, so a row with only its readiness signal
    // does not keep a stale state.
    if (!row_expression_.empty())
        store.register_watch(row_expression_, key());
}

bool t_ilk_tu::enabled() {
    evaluate();
    return row_enabled_;
}

std::string t_ilk_tu::disp_name() {
    if (disp_name_.empty())
        disp_name_ = signal_title(store(), permission_signal_);
    return disp_name_;
}

void t_ilk_tu::build_expression() {
    row_expression_ = permission_signal_;
    if (ready_signal_.empty())
        return;
    if (row_expression_.empty())
        row_expression_ = ready_signal_;
    else
        row_expression_ = "(" + row_expression_ + " or " + ready_signal_ + ")";
}

void t_ilk_tu::evaluate() {
    // Only what the last rebuild registered hears of its inputs' changes: one deactivated
    // (or under a deactivated parent) is evaluated on every read.
    if (has_flag(flag_evaluated) && has_flag(flag_linked))
        return;
    set_flag(true, flag_evaluated);
    set_flag(true, flag_control | flag_defined);
    set_flag(false, flag_invalid | flag_manual | flag_unacknowledged);
    double value = 0;
    store().calc(row_expression_, *this, value);
    // A value from a signal that is not under control, not defined or invalid enables nothing;
    // one entered by hand counts. (A row without permission signal has no control of its own,
    // yet its readiness signal still enables it.)
    row_enabled_ =
        value != 0 && has_flag(flag_control) && has_flag(flag_defined) && !has_flag(flag_invalid);
    if (permission_signal_.empty())
        set_flag(false, flag_control);
}

} // namespace nxkit
