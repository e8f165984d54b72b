#include "config/ref_editing.h"

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/nx_inixml.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "config/nx_past_xml_client.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace nxkit {

namespace {

// Error texts of a value run are kept up to about this many characters.
constexpr std::size_t collected_limit = 2000;
// Users named one by one in the reference error box.
constexpr std::size_t users_listed = 10;
// Trailing digits taken as the number of a repeated value; longer runs keep the rest in the
// prefix, so the arithmetic cannot overflow.
constexpr std::size_t number_digits = 17;

bool yes(t_ref_buff& store, const std::string& text, int type = mb_question) {
    return show_message(store.owner_window(), text, type) == answer_yes;
}

// The box naming what would lose its references; false when nothing refers to the keys.
// Users among `spared` are not counted (a batch deletes them as well).
bool refuse_broken_references(t_ref_buff& store, const std::vector<std::string>& deleted,
                              const std::set<std::string>* spared = nullptr) {
    for (const std::string& key : deleted) {
        key_set users{key};
        store.expand_dependencies(users, 1);
        users.erase(key);
        std::vector<t_ref*> found;
        for (const std::string& user : users)
            if (t_ref* ref = store.get(user); ref != nullptr && (!spared || !spared->count(user)))
                found.push_back(ref);
        if (found.empty())
            continue;

        std::string list;
        for (std::size_t i = 0; i < found.size() && i < users_listed; ++i)
            list += "• " + found[i]->full_path_text() + ";\r\n";
        std::string total = found.size() >= 2 ? "\r\nВсего " + std::to_string(found.size()) : "";
        show_message(store.owner_window(),
                     "После удаления компонента \"" + store.find(key).display_name() +
                         "\" нарушатся ссылки из компонентов:\r\n" + list + total,
                     mb_error);
        return true;
    }
    return false;
}

// The siblings of `key` with its type, from `key` on, in key order.
std::vector<t_ref*> sibling_run(t_ref_buff& store, const std::string& key) {
    std::vector<t_ref*> run;
    t_ref* first = store.get(key);
    if (first == nullptr)
        return run;
    // Transient components (made by a projection, never saved) take no values: the next
    // projection would undo them, and until then the screen would show a value no file holds.
    for (t_ref* sibling : store.refs().children(parent_key(key)))
        if (sibling->key() >= key && sibling->type() == first->type() &&
            !sibling->has_flag(flag_transient))
            run.push_back(sibling);
    return run;
}

// Writes values into components one by one and initialises each. A receiver is held locked
// while its siblings are written, so that a value it is about to lose cannot clash with a
// sibling's new one; release() activates the held ones again.
class value_writer {
public:
    value_writer(t_ref_buff& store, int index) : store_(store), index_(index) {}
    value_writer(const value_writer&) = delete;
    value_writer& operator=(const value_writer&) = delete;

    ~value_writer() {
        // Only reached with held components when a foreign exception left the run early;
        // never leave the operator's components locked behind.
        try {
            release();
        } catch (...) {
        }
    }

    void write(t_ref& receiver, const std::string& value) {
        try {
            receiver.set_parameter(index_, value);
        } catch (const nx_exception& e) {
            // A rejected value leaves this receiver as it was; the others still get theirs.
            collect(e.what());
            return;
        }
        receiver.set_flag(true, flag_modified);
        if (!receiver.has_flag(flag_locked)) {
            receiver.set_flag(true, flag_locked);
            held_.push_back(receiver.key());
        }
        try {
            receiver.init();
        } catch (const nx_exception& e) {
            collect(e.what());
        }
        store_.mark_changed(receiver.key());
    }

    void release() {
        std::vector<std::string> held;
        held.swap(held_);
        for (const std::string& key : held) {
            t_ref* ref = store_.get(key);
            if (ref == nullptr)
                continue;
            ref->set_flag(false, flag_locked);
            try {
                ref->init();
            } catch (const nx_exception& e) {
                ref->set_flag(true, flag_locked);
                collect(e.what());
            }
        }
    }

    // The collected texts, "и т.д." added when they were cut short; empty when all went well.
    std::string errors() const {
        if (collected_.empty())
            return collected_;
        return utf8_length(collected_) >= collected_limit ? collected_ + "и т.д." : collected_;
    }

private:
    void collect(const char* text) {
        if (utf8_length(collected_) < collected_limit)
            collected_ += std::string(text) + "\r\n";
    }

    t_ref_buff& store_;
    int index_;
    std::vector<std::string> held_;
    std::string collected_;
};

} // namespace

batch_scope::batch_scope(t_ref_buff& store) : store_(store), outermost_(!store.batch()) {
    if (outermost_)
        store_.begin_batch();
}

batch_scope::~batch_scope() {
    if (!outermost_)
        return;
    try {
        store_.end_batch();
    } catch (const std::exception& e) {
        nx_log::main().err(e.what());
    }
}

std::vector<std::string> add_components(t_ref_buff& store, const std::string& parent, int type,
                                        int count) {
    std::vector<std::string> created;
    t_ref* target = store.get(parent);
    if (target == nullptr || count < 1)
        return created;
    if (count > 1) {
        if (count > max_components_added) {
            show_message(store.owner_window(),
                         "Максимальное количество компонентов, которое можно добавить за один раз, "
                         "ограничено 1000 шт.",
                         mb_error);
            count = max_components_added;
        }
        if (!yes(store, "Добавить компонент '" + type_name(type) + "' в количестве " +
                            std::to_string(count) + " шт.\r\nв '" + target->display_name() + "' ?"))
            return created;
    }
    std::string one = ref_xml(type);
    std::string text;
    text.reserve(one.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        text += one;
    store.insert_xml(parent, text, &created);
    return created;
}

bool del_ref(t_ref_buff& store, const std::string& key) {
    t_ref* target = store.get(key);
    if (target != nullptr && !store.batch() && !store.insertion_hold()) {
        bool composite = !store.refs().children(key).empty();
        if (!yes(store, std::string("Удалить ") + (composite ? "составной " : "") +
                            "компонент\r\n'" + target->display_name() + "' ?"))
            return false;
    }

    store.update_pass();
    if (!store.batch() && !store.change_set().empty()) {
        nx_log::main().war("del_ref() - нельзя удалять если _upd_ids.size()=" +
                           std::to_string(store.change_set().size()));
        return false;
    }

    if (store.get(key) != nullptr) {
        std::string parent = parent_key(key);
        std::vector<std::string> deleted{key};
        for (t_ref* ref : store.refs().under(key))
            deleted.push_back(ref->key());

        key_set& changes = store.change_set();
        changes.insert(deleted.begin(), deleted.end());
        std::size_t before = changes.size();
        store.expand_dependencies(changes, -1);
        if (!store.batch() && changes.size() > before && refuse_broken_references(store, deleted)) {
            changes.clear();
            return false;
        }

        // Marked only now, so a refused deletion leaves the configuration untouched.
        if (t_ref* owner = store.get(parent))
            owner->set_flag(true, flag_modified);
        // Descendants go before their ancestors.
        for (auto it = deleted.rbegin(); it != deleted.rend(); ++it)
            store.refs().take(*it);

        if (!parent.empty())
            store.mark_changed(parent);
        store.update_pass();
        for (const std::string& gone : deleted)
            store.unsubscribe_deleted(gone);
    }
    store.rebuild(false, true);
    return true;
}

namespace {

// Deletes the keys with their subtrees in one batch. A batch asks no question per component,
// but it never breaks references either: everything it would remove is checked first, as a
// single deletion is, and one user left outside refuses the whole batch.
bool delete_keys(t_ref_buff& store, const std::set<std::string>& keys) {
    std::set<std::string> removed;
    for (const std::string& key : keys) {
        if (store.get(key) == nullptr)
            continue;
        removed.insert(key);
        for (t_ref* ref : store.refs().under(key))
            removed.insert(ref->key());
    }
    key_set closure(removed.begin(), removed.end());
    store.expand_dependencies(closure, -1);
    if (closure.size() > removed.size() &&
        refuse_broken_references(store, {removed.begin(), removed.end()}, &removed))
        return false;
    batch_scope batch(store);
    for (const std::string& key : keys)
        del_ref(store, key);
    return true;
}

} // namespace

bool delete_following(t_ref_buff& store, const std::string& key) {
    t_ref* first = store.get(key);
    if (first == nullptr)
        return false;
    if (!yes(store,
             "Удалить компонент\r\n'" + first->display_name() + "'\r\nи все следующие ниже ?"))
        return false;
    std::set<std::string> keys;
    for (t_ref* sibling : store.refs().children(parent_key(key)))
        if (sibling->key() >= key && !sibling->has_flag(flag_no_delete | flag_read_only))
            keys.insert(sibling->key());
    return delete_keys(store, keys);
}

bool delete_marked(t_ref_buff& store, const std::vector<std::string>& keys,
                   const std::string& current) {
    std::set<std::string> marked;
    for (const std::string& key : keys)
        if (t_ref* ref = store.get(key); ref != nullptr && !ref->has_flag(flag_no_delete))
            marked.insert(key);
    t_ref* named = current.empty() ? nullptr : store.get(current);
    if (named == nullptr && !marked.empty())
        named = store.get(*marked.begin());
    if (named == nullptr)
        return false;
    if (!yes(store,
             "Удалить компонент\r\n'" + named->display_name() + "'\r\nи другие отмеченные ?"))
        return false;
    return delete_keys(store, marked);
}

bool can_paste(t_ref_buff& store, const std::string& parent, const std::string& text) {
    t_ref* target = store.get(parent);
    if (target == nullptr)
        return false;
    try {
        nx_inixml document(text);
        nx_past_xml_client client(*target);
        return document.parse("REFs", client) && client.acceptable();
    } catch (const nx_exception&) {
        return false;
    }
}

bool paste(t_ref_buff& store, const std::string& parent, const std::string& text,
           std::vector<std::string>* collect) {
    if (!can_paste(store, parent, text))
        return false;
    std::vector<std::string> created;
    store.insert_xml(parent, text, &created);
    if (collect != nullptr)
        collect->insert(collect->end(), created.begin(), created.end());
    return !created.empty();
}

bool move(t_ref_buff& store, const std::string& from_key, const std::string& to_key) {
    std::string parent = parent_key(from_key);
    if (from_key == to_key || parent != parent_key(to_key) || store.get(parent) == nullptr)
        return false;

    std::vector<std::string> order;
    for (t_ref* child : store.refs().children(parent))
        order.push_back(child->key());
    auto from = std::find(order.begin(), order.end(), from_key);
    auto to = std::find(order.begin(), order.end(), to_key);
    if (from == order.end() || to == order.end())
        return false;
    auto target_place = to - order.begin();
    order.erase(from);
    order.insert(order.begin() + target_place, from_key);

    std::map<std::string, std::string> renamed;
    for (std::size_t n = 0; n < order.size(); ++n)
        renamed[order[n]] = make_child_key(parent, key_part(static_cast<int>(n)));

    std::vector<std::string> old_keys;
    for (t_ref* ref : store.refs().under(parent))
        old_keys.push_back(ref->key());

    // The current component of the tree keeps being the same component.
    std::string current = store.current(parent[0]);
    std::string new_current;

    std::vector<std::pair<std::string, std::unique_ptr<t_ref>>> moved;
    moved.reserve(old_keys.size());
    for (const std::string& old_key : old_keys) {
        std::string child = old_key.substr(0, old_key.find('.', parent.size() + 1));
        auto place = renamed.find(child);
        // Keys left below a component that was never created belong to nothing; they stay.
        if (place == renamed.end())
            continue;
        std::string new_key = place->second + old_key.substr(child.size());
        store.mark_changed(old_key);
        std::unique_ptr<t_ref> ref = store.refs().take(old_key);
        ref->set_key(new_key);
        ref->set_flag(true, flag_modified);
        if (old_key == current)
            new_current = new_key;
        moved.emplace_back(new_key, std::move(ref));
    }

    store.update_pass();
    store.mark_changed(parent);
    for (auto& [new_key, ref] : moved) {
        store.put(new_key, std::move(ref));
        store.mark_changed(new_key);
    }
    if (!new_current.empty())
        store.set_current(new_current);
    store.rebuild(false, true);
    store.update_pass();
    return true;
}

bool set_active_children(t_ref_buff& store, const std::string& parent) {
    if (store.get(parent) == nullptr)
        return false;
    int answer = show_message(store.owner_window(),
                              "Для всех дочерних компонентов флаг 'Активный':\r\n"
                              "[Да]\t- установить;\r\n"
                              "[Нет]\t- снять;\r\n"
                              "[Отмена]\t- не изменять.",
                              mb_question_cancel);
    if (answer != answer_yes && answer != answer_no)
        return false;
    bool locked = answer == answer_no;
    for (t_ref* child : store.refs().children(parent)) {
        if (child->has_flag(flag_active_fixed) || child->has_flag(flag_locked) == locked)
            continue;
        child->set_flag(locked, flag_locked);
        child->set_flag(true, flag_modified);
        store.mark_changed(child->key());
    }
    return true;
}

int repeat_value(t_ref_buff& store, const std::string& key, int index, const std::string& text,
                 int step, int interval) {
    // The number is the run of trailing digits; the prefix is everything before it.
    std::size_t digits_from = text.find_last_not_of("0123456789") + 1;
    if (text.size() - digits_from > number_digits)
        digits_from = text.size() - number_digits;
    std::string prefix = text.substr(0, digits_from);
    long long number = 0;
    for (char c : text.substr(digits_from))
        number = number * 10 + (c - '0');

    std::vector<t_ref*> run = sibling_run(store, key);
    std::size_t stride = static_cast<std::size_t>(std::max(interval, 0)) + 1;
    value_writer writer(store, index);
    int receivers = 0;
    for (std::size_t i = 0; i < run.size(); i += stride) {
        std::string value =
            step == 0 ? text
                      : prefix + std::to_string(number + static_cast<long long>(step) * receivers);
        writer.write(*run[i], value);
        ++receivers;
    }
    writer.release();
    std::string errors = writer.errors();
    if (!errors.empty())
        nx_log::main().err(errors);
    return receivers;
}

int repeat_values(t_ref_buff& store, const std::string& key, int index,
                  const std::vector<std::string>& lines, int start, bool replace, int skip) {
    std::vector<t_ref*> run = sibling_run(store, key);
    std::size_t stride = static_cast<std::size_t>(std::max(skip, 0)) + 1;
    std::size_t line = static_cast<std::size_t>(std::max(start, 0));
    value_writer writer(store, index);
    int receivers = 0;
    bool asked = false;
    bool skip_repeats = false;
    const std::string* previous = nullptr;
    for (std::size_t i = 0; i < run.size(); i += stride) {
        while (previous != nullptr && line < lines.size() && lines[line] == *previous) {
            if (!asked) {
                asked = true;
                skip_repeats = yes(store, "Пропускать повторы ?");
            }
            if (!skip_repeats)
                break;
            ++line;
        }
        if (line >= lines.size())
            break;
        previous = &lines[line];
        std::string value = lines[line++];
        if (!replace) {
            std::string current;
            std::string name;
            run[i]->get_parameter(index, current, name);
            value = current + " " + value;
        }
        writer.write(*run[i], value);
        ++receivers;
    }
    writer.release();
    std::string errors = writer.errors();
    if (!errors.empty())
        show_message(store.owner_window(), "Повтор значений выполнен с ошибками:\r\n" + errors,
                     mb_error);
    return receivers;
}

} // namespace nxkit
