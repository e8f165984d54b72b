#include "config/t_ref.h"

#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"

#include <charconv>

namespace nxkit {

t_ref::t_ref(t_ref_buff& store, int type) : store_(&store), type_(type) {}

t_ref::~t_ref() {
    store_->component_destroyed(*this);
}

void t_ref::on_start(const nx_xml_element& element) {
    if (element.name != "ref")
        return;
    title_ = element.attr("title");
    set_flag(element.attr_int("lock") != 0, flag_locked);
    if (element.attr_int("cur") != 0 && !key_.empty())
        store_->set_current(key_);
}

void t_ref::on_text(const nx_xml_element&) {}

void t_ref::on_end(const nx_xml_element&) {}

bool t_ref::set_parameter(int index, const std::string& text) {
    if (index != 0)
        return false;
    title_ = trim(text, ' ');
    return true;
}

bool t_ref::get_parameter(int index, std::string& value, std::string& name) {
    if (index != 0)
        return false;
    name = "Описание";
    value = title_;
    return true;
}

void t_ref::preview_parameter(int, const std::string&) {}

int t_ref::parameter_editor(int, choice_list&) {
    return editor_free_text;
}

bool t_ref::on_parameter_enter(int) {
    return false;
}

void t_ref::set_key(const std::string& key) {
    key_ = key;
    std::string part = last_key_part(key);
    int n = 0;
    auto res = std::from_chars(part.data(), part.data() + part.size(), n);
    number_ = res.ec == std::errc() && res.ptr == part.data() + part.size() ? n : 0;
}

std::vector<int> t_ref::child_types() {
    return type_children(type_);
}

bool t_ref::can_add_child(int) {
    return true;
}

std::string t_ref::display_name() {
    return title_.empty() ? type_name(type_) : title_;
}

void t_ref::tree_images(int& icon, int& overlay, int& state) {
    icon = 0;
    overlay = 0;
    state = has_flag(flag_locked) ? 1 : 0;
}

void t_ref::init() {
    store_->mark_changed(key_);
    if (store_->init_pass_running() || key_.empty())
        return;

    // The outermost call initialises the subtree once, in key order. A descendant that fails is
    // locked on its own, so one bad signal does not take its whole branch out of service.
    struct pass_guard {
        t_ref_buff& store;
        explicit pass_guard(t_ref_buff& s) : store(s) { store.set_init_pass_running(true); }
        ~pass_guard() { store.set_init_pass_running(false); }
    } guard(*store_);

    std::string first_error;
    std::string current = key_;
    t_refs& refs = store_->refs();
    // Looked up afresh after each init: an init may add or remove components.
    while (t_ref* next = refs.next_after(current, key_)) {
        current = next->key();
        try {
            next->init();
        } catch (const nx_exception& e) {
            next->set_flag(true, flag_locked);
            if (store_->collecting_init_errors())
                store_->note_init_error(e.what());
            else if (first_error.empty())
                first_error = e.what();
        }
    }
    if (!first_error.empty())
        throw nx_exception_ref_init(first_error);
}

void t_ref::write(nx_xml_writer& writer) {
    writer.attribute("tp", std::to_string(type_));
    if (!key_.empty() && store_->current(key_[0]) == key_)
        writer.attribute("cur", "1");
    if (has_flag(flag_locked))
        writer.attribute("lock", "1");
    if (!title_.empty())
        writer.attribute("title", xml_escape(title_));
}

std::string t_ref::log_file() {
    return nx_log::main().file_name();
}

int t_ref::command(bool, int, std::string&) {
    return 0;
}

std::string t_ref::export_name() {
    return title_;
}

t_ref* t_ref::parent() const {
    auto dot = key_.rfind('.');
    if (dot == std::string::npos)
        return nullptr;
    return store_->get(key_.substr(0, dot));
}

std::string t_ref::full_path_text() {
    std::vector<t_ref*> chain;
    for (t_ref* r = this; r != nullptr; r = r->parent())
        chain.push_back(r);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!text.empty())
            text += " / ";
        text += (*it)->display_name();
    }
    return text;
}

bool t_ref::has_flag_in_chain(std::uint32_t mask) const {
    for (const t_ref* r = this; r != nullptr; r = r->parent())
        if (r->has_flag(mask))
            return true;
    return false;
}

t_ref* t_ref::init_root() {
    for (t_ref* r = this; r != nullptr; r = r->parent())
        if (r->has_flag(flag_init_root))
            return r;
    return nullptr;
}

std::string t_ref::duplicate_message(int index, t_ref& other) {
    std::string value;
    std::string name;
    get_parameter(index, value, name);
    return "Инициализация компонента\r\n'" + full_path_text() + "'.\r\nЗначение '" + value +
           "' параметра '" + name + "' уже назначено компоненту\r\n'" + other.full_path_text() +
           "'";
}

t_ref_root::t_ref_root(t_ref_buff& store, int type) : t_ref(store, type) {
    set_flag(true, flag_no_delete);
}

t_ref_unknown::t_ref_unknown(t_ref_buff& store, int type) : t_ref(store, type) {
    set_flag(true, flag_locked | flag_read_only | flag_no_add | flag_active_fixed);
}

t_group::t_group(t_ref_buff& store) : t_ref(store, tp_group) {}

std::vector<int> t_group::child_types() {
    t_ref* p = parent();
    return p != nullptr ? p->child_types() : std::vector<int>{};
}

std::string t_group::log_file() {
    t_ref* p = parent();
    return p != nullptr ? p->log_file() : t_ref::log_file();
}

void t_group::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1402;
}

} // namespace nxkit
