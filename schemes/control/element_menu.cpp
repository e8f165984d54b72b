#include "schemes/control/element_menu.h"
#include "base/access.h"

#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/t_el_disp.h"
#include "schemes/t_el_expr.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"
#include "structure/t_struct_vl.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nxkit {

namespace {

bool ident_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Positions of `word` in `text` where it stands as a whole identifier.
std::vector<std::size_t> whole_words(const std::string& text, const std::string& word) {
    std::vector<std::size_t> found;
    if (word.empty())
        return found;
    for (std::size_t pos = text.find(word); pos != std::string::npos;
         pos = text.find(word, pos + 1)) {
        bool left = pos == 0 || !ident_char(text[pos - 1]);
        std::size_t end = pos + word.size();
        bool right = end >= text.size() || !ident_char(text[end]);
        if (left && right)
            found.push_back(pos);
    }
    return found;
}

std::string replace_words(const std::string& text, const std::string& word,
                          const std::string& with) {
    std::vector<std::size_t> at = whole_words(text, word);
    std::string out;
    std::size_t from = 0;
    for (std::size_t pos : at) {
        out.append(text, from, pos - from);
        out += with;
        from = pos + word.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string replace_all(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + with.size()))
        text.replace(pos, what.size(), with);
    return text;
}

std::vector<t_struct_vl*> used_signals(t_ref_buff& store, const std::string& expression) {
    key_set used;
    store.used_components(expression, used);
    std::vector<t_struct_vl*> signals;
    for (const std::string& key : used)
        if (auto* s = dynamic_cast<t_struct_vl*>(store.get(key)))
            signals.push_back(s);
    return signals;
}

std::string description(t_struct_vl& signal) {
    return signal.title().empty() ? signal.display_name() : signal.title();
}

} // namespace

std::vector<condition_line> condition_lines(t_ref_buff& store, const std::string& condition) {
    std::vector<t_struct_vl*> signals = used_signals(store, condition);
    if (signals.size() < 2)
        return {};
    std::string text = condition;
    std::vector<std::size_t> ands = whole_words(text, "and");
    if (!ands.empty())
        text.erase(0, ands.front() + 3);
    text = "\t" + replace_all(replace_words(text, "and", "И\t"), " !", "НЕ ");
    // Every occurrence of a signal with its value, in text order; then the replacement.
    std::vector<std::pair<std::size_t, int>> noted;
    for (t_struct_vl* s : signals) {
        int value = s->defined() && s->control() ? static_cast<int>(std::trunc(s->value())) : -1;
        for (std::size_t pos : whole_words(text, s->signal_key()))
            noted.emplace_back(pos, value);
    }
    std::sort(noted.begin(), noted.end());
    for (t_struct_vl* s : signals)
        text = replace_words(text, s->signal_key(), "включен - сигнал " + description(*s) + "\r\n");
    text = replace_all(text, "НЕ включен", "отключен");
    std::vector<condition_line> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find("\r\n", from);
        std::string piece = text.substr(from, end == std::string::npos ? end : end - from);
        if (piece.empty())
            break;
        condition_line line{piece, false};
        std::size_t k = lines.size();
        if (k < noted.size() && noted[k].second != -1) {
            bool off = piece.find("отключен") != std::string::npos;
            line.checked = off ? noted[k].second == 0 : noted[k].second != 0;
        }
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        from = end + 2;
    }
    return lines;
}

namespace {

// The walk shared by building and running: numbering is the same in both.
struct walker {
    walker(t_ref_buff& s, t_element& e, bool build, int choice_number)
        : store(s), element(e), building(build), chosen(choice_number) {}

    t_ref_buff& store;
    t_element& element;
    bool building;
    int chosen;
    owner_handle owner = nullptr;
    const std::function<void(t_struct_vl&)>* manual_input = nullptr;

    int number = 0;
    std::vector<menu_item> items;
    bool in_interlock = false;
    menu_item submenu;
    bool all_checked = true;
    bool has_conditions = false;
    bool first_blocker = true;
    int interlocks = 0;
    menu_choice choice;
    bool stopped = false;

    void separator() {
        if (building) {
            menu_item s;
            s.separator = true;
            items.push_back(s);
        }
    }
    void close_interlock() {
        if (!in_interlock)
            return;
        in_interlock = false;
        if (!building)
            return;
        submenu.checked = all_checked;
        items.push_back(std::move(submenu));
        submenu = menu_item{};
    }
    void add_to_submenu(menu_item item) { submenu.items.push_back(std::move(item)); }

    void signals_of(const std::string& condition) {
        std::vector<t_struct_vl*> signals = used_signals(store, condition);
        if (signals.empty())
            return;
        separator();
        for (t_struct_vl* s : signals) {
            ++number;
            if (building) {
                menu_item item;
                item.command = number;
                item.text = s->listing_text();
                items.push_back(item);
            } else if (number == chosen && manual_input != nullptr && *manual_input) {
                (*manual_input)(*s);
            }
        }
    }

    void onof(t_el_onof& rule) {
        ++number;
        if (building) {
            const char* state = !rule.has_flag(flag_control) ? "нет контроля"
                                : rule.has_flag(flag_defined) ? (rule.on() ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН")
                                                              : "неопределенный";
            std::string name = element.disp_name();
            menu_item item;
            item.command = number;
            item.text = std::string("[ ") + state + " ]\t" + name + (name.empty() ? "" : " - ") +
                        (element.kind() ? element.kind()->name : std::string());
            items.push_back(item);
        }
        signals_of(rule.off_condition());
        signals_of(rule.on_condition());
        separator();
    }

    void interlock(t_ilk& ilk) {
        close_interlock();
        in_interlock = true;
        all_checked = true;
        first_blocker = true;
        has_conditions = false;
        choice.interlock = ilk.key();
        ++interlocks;
        ++number;
        std::vector<condition_line> lines = condition_lines(store, ilk.extra_condition());
        has_conditions = !lines.empty();
        if (!building) {
            if (number == chosen) {
                choice.mark = element.key();
                stopped = true;
            }
            return;
        }
        submenu = menu_item{};
        submenu.text = (interlocks == 1 ? "\t" : "ИЛИ\t") + ilk.display_name();
        int d = ilk.direction();
        menu_item head;
        head.command = number;
        head.is_default = true;
        head.text = "\t" + element.disp_name() + " можно " + (d >= 0 ? "включать" : "") +
                    (d == 0 ? "/" : "") + (d <= 0 ? "отключать" : "") + " если:";
        add_to_submenu(head);
        menu_item sep;
        sep.separator = true;
        add_to_submenu(sep);
        for (const condition_line& line : lines) {
            menu_item item;
            item.text = line.text;
            item.checked = line.checked;
            all_checked = all_checked && line.checked;
            add_to_submenu(item);
        }
        if (has_conditions)
            add_to_submenu(sep);
    }

    void blocker(t_ilk_onof& b) {
        ++number;
        if (!building) {
            if (number == chosen) {
                choice.mark = b.key();
                stopped = true;
            }
            return;
        }
        style_map styles;
        bool permits = b.check(styles);
        menu_item item;
        item.command = number;
        item.text = (first_blocker && !has_conditions ? "\t" : "И\t") + b.explanation();
        item.checked = permits;
        first_blocker = false;
        all_checked = all_checked && permits;
        if (in_interlock)
            add_to_submenu(item);
        else
            items.push_back(item);
    }

    void disp(t_el_disp& rule) {
        // A copy's values are not real (the what-if mode): no dispatcher command is taken there,
        // so none reaches the station's audit trail as done.
        if (!building || store.detached())
            return;
        auto* signal = dynamic_cast<t_struct_ts*>(store.get(store.signal_owner(rule.signal_key())));
        if (signal == nullptr)
            return;
        std::string text = "Диспетчер дал команду\r\n(" + rule.signal_key() + ")\r\n\"" +
                           description(*signal) + "\" ?";
        int answer = show_message(owner, text, mb_question_cancel);
        if (answer != answer_yes && answer != answer_no)
            return;
        rule.set_commanded(answer == answer_yes);
        // The dispatcher's command forces the signal like a manual input: it is recorded.
        audit_action("команда диспетчера на схеме",
                     rule.signal_key() + (answer == answer_yes ? " = 1" : " = 0"));
    }

    void walk() {
        for (t_ref* r : store.refs().under(element.key())) {
            if (stopped)
                break;
            if (r->has_flag(flag_read_only))
                continue;
            if (auto* rule = dynamic_cast<t_el_onof*>(r))
                onof(*rule);
            else if (auto* ilk = dynamic_cast<t_ilk*>(r))
                interlock(*ilk);
            else if (auto* b = dynamic_cast<t_ilk_onof*>(r))
                blocker(*b);
            else if (auto* d = dynamic_cast<t_el_disp*>(r))
                disp(*d);
        }
        close_interlock();
    }
};

} // namespace

std::vector<std::string> element_trend_signals(t_ref_buff& store, t_element& element) {
    std::vector<std::string> keys;
    auto take = [&](const std::string& expression) {
        for (t_struct_vl* s : used_signals(store, expression)) {
            bool drawable = dynamic_cast<t_struct_ti*>(s) != nullptr ||
                            dynamic_cast<t_struct_ts*>(s) != nullptr;
            if (drawable && std::find(keys.begin(), keys.end(), s->signal_key()) == keys.end())
                keys.push_back(s->signal_key());
        }
    };
    for (t_ref* r : store.refs().under(element.key())) {
        if (auto* rule = dynamic_cast<t_el_onof*>(r)) {
            take(rule->off_condition());
            take(rule->on_condition());
        } else if (auto* expr = dynamic_cast<t_el_expr*>(r)) {
            take(expr->expression());
        } else if (auto* d = dynamic_cast<t_el_disp*>(r)) {
            take(d->signal_key());
        }
    }
    return keys;
}

std::vector<menu_item> element_menu_walk::build(owner_handle owner) {
    walker w(store_, element_, true, 0);
    w.owner = owner;
    w.walk();
    return std::move(w.items);
}

menu_choice element_menu_walk::run(int chosen,
                                   const std::function<void(t_struct_vl&)>& manual_input) {
    walker w(store_, element_, false, chosen);
    w.manual_input = &manual_input;
    w.walk();
    if (w.interlocks == 0)
        w.choice.interlock.clear();
    return w.choice;
}

} // namespace nxkit
