#include "schemes/scheme_commands.h"

#include "base/prompt.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/i_bind_dialog.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "structure/t_struct_vl.h"

#include <map>

namespace nxkit {

namespace {

// Dispatcher name -> signal key; an emptied key marks a name reported as not unique.
struct named_signal {
    std::string signal_key;
    std::string component_key;
};
using name_map = std::map<std::string, named_signal>;

std::string replace_all(std::string text, const std::string& what, const std::string& with) {
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::string lookup(const name_map& map, const std::string& name) {
    auto it = map.find(name);
    return it == map.end() ? std::string() : it->second.signal_key;
}

// The structure component the signals come from: a folder or a section, or its parent.
t_ref* signal_source(t_ref_buff& store) {
    t_ref* source = store.get(store.current('K'));
    auto fits = [](const t_ref* r) {
        return r != nullptr && (r->type() == tp_group || r->type() == tp_struct_kp);
    };
    if (!fits(source) && source != nullptr)
        source = source->parent();
    return fits(source) ? source : nullptr;
}

// Fills the two maps; false when the operator stopped at a name that is not unique.
bool collect_names(t_ref_buff& store, t_ref& source, name_map& nc_map, name_map& no_map) {
    for (t_ref* r : store.refs().under(source.key())) {
        auto* signal = dynamic_cast<t_struct_vl*>(r);
        if (signal == nullptr || signal->title().empty() || signal->signal_key().empty())
            continue;
        name_map& map = signal->normally_closed() ? nc_map : no_map;
        auto [it, added] =
            map.emplace(signal->title(), named_signal{signal->signal_key(), signal->key()});
        if (added || it->second.signal_key.empty())
            continue;
        t_ref* first = store.get(it->second.component_key);
        std::string text = "Диспетчерское имя должно быть уникально:\r\n" +
                           (first != nullptr ? first->display_name() : it->second.signal_key) +
                           "\r\n" + signal->display_name() + ".\r\nПродолжить ?";
        if (show_message(store.owner_window(), text, mb_question) != answer_yes)
            return false;
        // Neither signal is bound under this name.
        it->second.signal_key.clear();
    }
    return true;
}

// One answer to "update all bound ones" serves the whole command.
struct bind_run {
    std::string name_template;
    std::string caption;
    int update_all = answer_none;
};

bool bind_element(t_element& element, const std::string& on_condition,
                  const std::string& off_condition, bind_run& run) {
    if (on_condition.empty() && off_condition.empty())
        return false;
    // Without its type the element has no property and values of its own to bind with.
    if (!element.kind())
        return false;
    t_ref_buff& store = element.store();
    const element_type& kind = *element.kind();

    // Only the element's working rules count: a locked one is not among them, and the
    // projection's label rules are made again by every projection, which would drop the binding.
    t_ref* rule = nullptr;
    for (t_el* r : element.rules()) {
        auto* onof = dynamic_cast<t_el_onof*>(r);
        if (onof != nullptr && !onof->has_flag(flag_read_only) &&
            onof->property() == kind.current_property && onof->on_value() == kind.current_on &&
            onof->off_value() == kind.current_off) {
            rule = onof;
            break;
        }
    }
    if (rule != nullptr) {
        if (run.update_all == answer_none)
            run.update_all = show_message(store.owner_window(),
                                          "Элемент '" + element.display_name() +
                                              "' уже привязан:\r\nОбновить для всех привязанных ?",
                                          mb_question, run.caption.c_str());
        if (run.update_all != answer_yes)
            return false;
    } else {
        if (!element.can_add_child(tp_el_onof))
            return false;
        std::vector<std::string> created;
        store.insert_xml(element.key(), ref_xml(tp_el_onof), &created);
        if (created.empty() || (rule = store.get(created.front())) == nullptr)
            return false;
    }
    rule->set_parameter(1, on_condition);
    rule->set_parameter(2, off_condition);
    rule->set_parameter(6, run.name_template);
    rule->set_flag(true, flag_modified);
    store.mark_changed(rule->key());
    return true;
}

// The element itself, or the elements below a group, in key order.
std::vector<std::string> element_keys(t_ref& target) {
    std::vector<std::string> keys;
    if (dynamic_cast<t_element*>(&target) != nullptr)
        keys.push_back(target.key());
    for (t_ref* r : target.store().refs().under(target.key()))
        if (dynamic_cast<t_element*>(r) != nullptr)
            keys.push_back(r->key());
    return keys;
}

} // namespace

std::string scheme_command_caption(int index, bool group) {
    std::string caption;
    if (index == command_bind_by_name)
        caption = "Привязать к сигналам по дисперчерскому имени";
    else if (index == command_delete_bindings)
        caption = "Удалить все привязки";
    else
        return {};
    return group ? caption + " (для всех в папке)" : caption;
}

int scheme_command(t_ref& target, bool group, bool query, int index, std::string& arg) {
    if (target.key().empty() || target.store().get(target.key()) != &target)
        return 0;
    std::string caption = scheme_command_caption(index, group);
    if (caption.empty())
        return 0;
    if (query) {
        arg = caption;
        return 1;
    }
    if (index == command_bind_by_name)
        return bind_by_dispatcher_name(target, caption) ? 1 : 0;
    return delete_all_bindings(target, caption) ? 1 : 0;
}

bool bind_by_dispatcher_name(t_ref& target, const std::string& caption,
                             const std::vector<std::string>* elements) {
    t_ref_buff& store = target.store();
    t_ref* source = signal_source(store);
    if (source == nullptr) {
        show_message(store.owner_window(),
                     "Сначала необходимо выбрать в дереве '" + type_name(tp_struct_root) +
                         "' компонент '" + type_name(tp_group) + "', '" + type_name(tp_struct_kp) +
                         "' или сигнал.",
                     mb_warning);
        return false;
    }

    i_bind_dialog* dialog = current_bind_dialog();
    if (dialog == nullptr)
        return false;
    std::string text = "В элементы:\r\n'" + target.full_path_text() +
                       "'\r\n\r\nдобавить компонент '" + type_name(tp_el_onof) +
                       "'\r\n\r\nс сигналами из:\r\n'" + source->full_path_text() +
                       "'\r\n\r\n(поиск сигналов выполняется по диспетчеркому имени - требуется "
                       "точное совпадение диспетчерского имени элемента и сигнала).";
    bind_run run;
    run.caption = caption;
    if (dialog->run(target, text, caption, run.name_template) != answer_ok)
        return false;

    name_map nc_map;
    name_map no_map;
    if (!collect_names(store, *source, nc_map, no_map))
        return false;

    int count = 0;
    {
        batch_scope batch(store);
        for (const std::string& key : elements ? *elements : element_keys(target)) {
            auto* element = dynamic_cast<t_element*>(store.get(key));
            if (element == nullptr || element->disp_name().empty())
                continue;
            std::string name = replace_all(run.name_template, "#", element->disp_name());
            if (bind_element(*element, lookup(no_map, name), lookup(nc_map, name), run))
                ++count;
        }
    }
    show_message(store.owner_window(), "Привязано " + std::to_string(count) + " элементов.",
                 mb_information);
    return count > 0;
}

bool delete_all_bindings(t_ref& target, const std::string& caption) {
    t_ref_buff& store = target.store();
    if (show_message(store.owner_window(),
                     target.full_path_text() + "\r\n" + target.title() +
                         "\r\nУдалить все привязки элементов ?",
                     mb_question, caption.c_str()) != answer_yes)
        return false;

    std::vector<std::string> keys;
    for (t_ref* r : store.refs().under(target.key()))
        if (r->type() != tp_element && !r->has_flag(flag_no_delete))
            keys.push_back(r->key());

    int deleted = 0;
    {
        batch_scope batch(store);
        for (const std::string& key : keys)
            if (store.get(key) != nullptr && del_ref(store, key))
                ++deleted;
    }
    show_message(store.owner_window(), "Удалено " + std::to_string(deleted) + " элементов.",
                 mb_information);
    return deleted > 0;
}

} // namespace nxkit
