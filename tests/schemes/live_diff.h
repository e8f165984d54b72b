#pragma once

// Live edits against evaluation from scratch: a generator of random, valid edit sequences
// over a station with interlock tables, schemes with rules and projected interlocks, and
// computed signals. After every step the full run-time state of the edited store is compared
// with that of a fresh store loaded from the text save writes now, fed the same source values.
// Used by the test suite (fixed seeds) and by the soak program (as many seeds as it is told).

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/prompt.h"
#include "config/config_classes.h"
#include "config/interfaces.h"
#include "config/ref_editing.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "platform/station.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/projection.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "structure/i_signal_source.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_vl.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace livediff {

using namespace nxkit;

// A device information object feeding the signal key s<canal>_<kp>_<num>; keeps its attributes
// when written, so the store loaded from the saved text is fed the same way.
class diff_source : public t_ref, public i_feed, public i_signal_source {
public:
    explicit diff_source(t_ref_buff& store) : t_ref(store, tp_dev_ts) {}

    void on_start(const nx_xml_element& element) override {
        t_ref::on_start(element);
        if (element.name != "ref")
            return;
        for (const char* name : {"addr", "canal", "kp", "num"})
            attributes_[name] = element.attr(name);
        signal_key_ =
            "s" + attributes_["canal"] + "_" + attributes_["kp"] + "_" + attributes_["num"];
    }
    void write(nx_xml_writer& writer) override {
        t_ref::write(writer);
        for (const auto& [name, value] : attributes_)
            writer.attribute(name, value);
    }
    std::string feed_signal_key() const override { return signal_key_; }
    double current_value() override { return value; }
    nx_time time_stamp() const override { return 0; }
    bool control() const override { return has_control; }
    bool defined() const override { return is_defined; }
    bool invalid() const override { return is_invalid; }

    double value = 0;
    bool has_control = true;
    bool is_defined = true;
    bool is_invalid = false;

private:
    std::map<std::string, std::string> attributes_;
    std::string signal_key_;
};

// A group that only holds others (the devices above the information objects).
class diff_group : public t_ref {
public:
    diff_group(t_ref_buff& store, int type) : t_ref(store, type) {}
};

inline std::unique_ptr<t_ref_buff> make_store() {
    auto store = std::make_unique<t_ref_buff>();
    register_config_classes(*store);
    register_structure_classes(*store);
    store->register_class(
        tp_dev_root, [](t_ref_buff& s) { return std::make_unique<t_ref_root>(s, tp_dev_root); });
    store->register_class(tp_dev_ts,
                          [](t_ref_buff& s) { return std::make_unique<diff_source>(s); });
    for (int type : {52, 55, 57, 104})
        store->register_class(
            type, [type](t_ref_buff& s) { return std::make_unique<diff_group>(s, type); });
    register_all_scheme_classes(*store);
    return store;
}

// Answers every box: questions with the answer set for the next one (yes by default).
class answering_prompt : public i_prompt {
public:
    answering_prompt() : previous_(current_prompt()) { set_prompt(this); }
    ~answering_prompt() override { set_prompt(previous_); }
    answering_prompt(const answering_prompt&) = delete;
    answering_prompt& operator=(const answering_prompt&) = delete;

    int message_box(owner_handle, const std::string&, const std::string&, int type) override {
        if (type == mb_question || type == mb_question_cancel || type == mb_warning_yes_no) {
            int a = answer;
            answer = answer_yes;
            return a;
        }
        return answer_ok;
    }
    int popup_menu(owner_handle, const std::vector<menu_item>&) override { return 0; }

    int answer = answer_yes;

private:
    i_prompt* previous_;
};

// ---------------------------------------------------------------- stations

// Twelve telesignals s1_2_1..12 fed by one object each, two computed signals, a scheme page
// with the apparatus and an interlock table projected onto it.
inline std::string generated_station() {
    static const char* const titles[] = {"Q1", "Q2", "QS1",  "QS2",  "QS3", "QSG1",
                                         "R1", "R2", "Q1_П", "Q2_П", "X1",  "X2"};
    std::string objects = "<ref tp=\"50\">\r\n<ref tp=\"104\">\r\n";
    std::string signals;
    for (int n = 1; n <= 12; ++n) {
        objects += "<ref tp=\"51\" addr=\"" + std::to_string(n) + "\" canal=\"1\" kp=\"2\" num=\"" +
                   std::to_string(n) + "\"/>\r\n";
        signals +=
            "<ref tp=\"1\" num=\"" + std::to_string(n) + "\" title=\"" + titles[n - 1] + "\"/>\r\n";
    }
    objects += "</ref>\r\n</ref>\r\n";
    signals += "<ref tp=\"1\" num=\"20\" title=\"QS12\"><expr>s1_2_3 and s1_2_4</expr></ref>\r\n";
    signals += "<ref tp=\"1\" num=\"21\" title=\"Готов\"><expr>s1_2_7 or s1_2_8</expr></ref>\r\n";
    std::string structure =
        "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\">\r\n" + signals +
        "</ref>\r\n</ref>\r\n</ref>\r\n";
    auto element = [](int rtid, const char* disp, const std::string& on, const std::string& off) {
        std::string rule = "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\">";
        if (!on.empty())
            rule += "<on>" + on + "</on>";
        if (!off.empty())
            rule += "<of>" + off + "</of>";
        return "<ref tp=\"82\" rtid=\"" + std::to_string(rtid) + "\" disp=\"" + disp + "\">\r\n" +
               rule + "</ref>\r\n</ref>\r\n";
    };
    std::string elements = element(10, "Q1", "s1_2_9", "") + element(11, "Q2", "s1_2_10", "") +
                           element(12, "QS1", "s1_2_3", "") + element(13, "QS2", "s1_2_4", "") +
                           element(14, "QS3", "s1_2_5", "s1_2_11");
    auto column = [](int uid, const char* no, const char* nc) {
        return std::string("<ref tp=\"75\" nof=\"") + no + "\" non=\"" + nc + "\" uid=\"" +
               std::to_string(uid) + "\"/>\r\n";
    };
    auto permission = [](int uid, bool on) {
        return "<ref tp=\"73\" uid=\"" + std::to_string(uid) + "\" on=\"" + (on ? "1" : "0") +
               "\"/>\r\n";
    };
    std::string columns = column(1, "s1_2_3", "") + column(2, "s1_2_4", "") +
                          column(3, "s1_2_5", "s1_2_11") + column(4, "s1_2_6", "") +
                          column(5, "s1_2_20", "");
    std::string rows = "<ref tp=\"76\" tu=\"1\" ts=\"s1_2_1\" dop=\"s1_2_7\" tm_of=\"5\">\r\n"
                       "<ref tp=\"74\" control=\"0\">\r\n" +
                       permission(1, false) + permission(4, false) +
                       "</ref>\r\n<ref tp=\"74\" control=\"2\">\r\n" + permission(3, true) +
                       permission(5, false) +
                       "</ref>\r\n</ref>\r\n"
                       "<ref tp=\"76\" tu=\"2\" ts=\"s1_2_2\" dop=\"s1_2_21\" tm_of=\"5\">\r\n"
                       "<ref tp=\"74\" control=\"0\">\r\n" +
                       permission(2, true) + permission(4, false) +
                       "</ref>\r\n</ref>\r\n"
                       "<ref tp=\"76\" tu=\"3\" ts=\"s1_2_3\" tm_of=\"5\">\r\n"
                       "<ref tp=\"74\" control=\"0\">\r\n" +
                       permission(1, true) + permission(2, false) + "</ref>\r\n</ref>\r\n";
    std::string label = "ps1/Стр1" + std::string(73, ' ') + "p1";
    std::string schemes =
        "<ref tp=\"80\">\r\n<ref tp=\"81\" name=\"ps1\">\r\n"
        "<ref tp=\"85\" rtid=\"1\" disp=\"Стр1\" key=\"p1\">\r\n<ref tp=\"86\" title=\"ОРУ\">\r\n" +
        elements + "</ref>\r\n</ref>\r\n</ref>\r\n<ref tp=\"72\" page=\"" + label +
        "\">\r\n<ref tp=\"79\" name=\"T1\">\r\n<ref tp=\"77\">\r\n" + columns +
        "</ref>\r\n<ref tp=\"78\">\r\n" + rows + "</ref>\r\n</ref>\r\n</ref>\r\n</ref>\r\n";
    return "<struct>\r\n<REFs version=\"1\">\r\n" + objects + structure + schemes +
           "</REFs>\r\n</struct>\r\n";
}

// ---------------------------------------------------------------- state

// What the comparison leaves out, and why:
// - flag_evaluated: the lazy cache of one update pass, rebuilt on the next read;
// - flag_modified: edit bookkeeping until the next save, not part of the saved text;
// - time stamps of signals: a time of reception (manual input takes the clock's time);
// - the switching-time count of an element (style "я16_onof", tree state 8, shown instead of
//   "я03_not_norma" and state 3 while it runs): it runs in real time from the change that
//   started it, which a store loaded now cannot know. A store loaded now starts an undefined
//   element at the end of its count, where "я03_not_norma" waits for control; so a count
//   running on an element out of control stands for nothing.
inline constexpr std::uint32_t compared_flags = flag_defined | flag_control | flag_locked |
                                                flag_no_delete | flag_manual | flag_unacknowledged |
                                                flag_invalid;

// Keys as a load numbers them: each component by its position among its siblings. A deletion
// leaves gaps in the live keys that the saved text closes.
inline std::map<std::string, std::string> canonical_keys(t_ref_buff& store) {
    std::map<std::string, std::string> keys;
    for (const char* root : {"D", "K", "S"}) {
        keys[root] = root;
        for (t_ref* r : store.refs().under(root)) {
            // Projected components are not saved: they are counted apart from the others.
            std::string parent = parent_key(r->key());
            bool transient = r->has_flag(flag_transient);
            int n = 0;
            for (t_ref* sibling : store.refs().children(parent)) {
                if (sibling == r)
                    break;
                n += sibling->has_flag(flag_transient) == transient ? 1 : 0;
            }
            keys[r->key()] = keys[parent] + (transient ? ".п" : ".") + key_part(n);
        }
    }
    return keys;
}

// Component key (as a load numbers it) -> its run-time state as text, over the whole
// configuration.
inline std::map<std::string, std::string> snapshot(t_ref_buff& store) {
    std::map<std::string, std::string> keys = canonical_keys(store);
    std::map<std::string, std::string> state;
    for (const char* root : {"D", "K", "S"}) {
        for (t_ref* r : store.refs().under(root)) {
            std::string text = "tp=" + std::to_string(r->type());
            // An element is computed first, as the host does after a pass: its tree image
            // shows the switching-time count the computation keeps.
            if (auto* element = dynamic_cast<t_element*>(r)) {
                property_map properties;
                style_map styles;
                element->compute(properties, styles);
                for (const auto& [name, value] : properties)
                    text += " " + name + "=" + value;
                std::set<std::string> on_styles;
                for (const auto& [name, on] : styles) {
                    if (!on)
                        continue;
                    if (name != nxkit::style::onof)
                        on_styles.insert(name);
                    else if (element->has_flag(flag_control))
                        on_styles.insert(nxkit::style::not_norma);
                }
                for (const std::string& name : on_styles)
                    text += " +" + name;
            }
            // A computed signal's own "changed" mark lasts until its expression is calculated
            // again: how often it was read decides whether it still shows. Both stores are read
            // to that settled state first.
            if (auto* computed = dynamic_cast<t_struct_vl*>(r);
                computed != nullptr && computed->has_flag(flag_has_expression)) {
                computed->refresh();
                computed->refresh();
            }
            int icon = 0, overlay = 0, image = 0;
            r->tree_images(icon, overlay, image);
            if (dynamic_cast<t_element*>(r) != nullptr && image == 8)
                image = 3;
            text += " tree=" + std::to_string(icon) + "/" + std::to_string(overlay) + "/" +
                    std::to_string(image) + " name=" + r->display_name();
            for (int i = 0; i < 40; ++i) {
                std::string value, name;
                if (!r->get_parameter(i, value, name))
                    break;
                text += " [" + name + "=" + value + "]";
            }
            if (auto* signal = dynamic_cast<t_struct_vl*>(r))
                text += " value=" + std::to_string(signal->value());
            if (auto* column = dynamic_cast<t_ilk_vts*>(r))
                text += std::string(" on=") + (column->is_on() ? "1" : "0");
            if (auto* permission = dynamic_cast<t_ilk_and*>(r)) {
                text += std::string(" permits=") + (permission->permits() ? "1" : "0");
                t_ilk_vts* c = permission->column_ref();
                text += " column=" + (c != nullptr ? keys[c->key()] : std::string("-"));
            }
            if (auto* condition = dynamic_cast<t_ilk_or*>(r))
                text += std::string(" permits=") + (condition->permits() ? "1" : "0") +
                        " direction=" + std::to_string(condition->direction());
            if (auto* row = dynamic_cast<t_ilk_tu*>(r))
                text += std::string(" enabled=") + (row->enabled() ? "1" : "0") +
                        " expr=" + row->row_expression();
            if (auto* ilk = dynamic_cast<t_ilk*>(r)) {
                styles_by_counter marks;
                text += std::string(" permits=") + (ilk->evaluate(marks) ? "1" : "0");
                for (const auto& [counter, styles] : marks)
                    for (const auto& [name, on] : styles)
                        if (on)
                            text += " " + std::to_string(counter) + ":" + name;
            }
            std::uint32_t shown = r->flags() & compared_flags;
            // An element out of control stops folding its rules' "defined" at the first rule
            // without control, so the bit then depends on the rules' order; it shows nothing
            // (the not-controlled style and tree state come first).
            if (dynamic_cast<t_element*>(r) != nullptr && !r->has_flag(flag_control))
                shown &= ~static_cast<std::uint32_t>(flag_defined);
            char flags[16];
            std::snprintf(flags, sizeof flags, " flags=%x", shown);
            text += flags;
            state[keys[r->key()]] = text;
        }
    }
    return state;
}

struct difference {
    std::string key;
    std::string live;
    std::string fresh;
};

inline std::optional<difference> compare(const std::map<std::string, std::string>& live,
                                         const std::map<std::string, std::string>& fresh) {
    auto a = live.begin();
    auto b = fresh.begin();
    while (a != live.end() || b != fresh.end()) {
        if (b == fresh.end() || (a != live.end() && a->first < b->first))
            return difference{a->first, a->second, "(нет компонента)"};
        if (a == live.end() || b->first < a->first)
            return difference{b->first, "(нет компонента)", b->second};
        if (a->second != b->second)
            return difference{a->first, a->second, b->second};
        ++a;
        ++b;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- edits

// One edit, as random numbers resolved against the store when it runs, so a shortened
// sequence still runs.
struct edit {
    int kind = 0;
    std::uint32_t a = 0, b = 0, c = 0, d = 0;
};

enum edit_kind : int {
    edit_source,
    edit_parameter,
    edit_repeat,
    edit_paste,
    edit_add,
    edit_delete,
    edit_move,
    edit_activity,
    edit_manual,
    edit_manual_cancel,
    edit_kinds
};

class session {
public:
    explicit session(const std::string& station_text, std::uint32_t seed)
        : station_text_(station_text), seed_(seed) {}

    // Loads the station into the live store, with source values drawn from the seed.
    void start() {
        write_file_atomic(refs_path(), to_cp1251(station_text_), false);
        live_ = make_store();
        live_->load();
        std::mt19937 rng(seed_);
        for (t_ref* r : live_->refs().under("D"))
            if (auto* s = dynamic_cast<diff_source*>(r)) {
                s->value = rng() % 2;
                live_->mark_changed(s->key());
            }
        settle(*live_);
    }

    // Runs one edit; returns what it did, as a line of the reproduction.
    std::string apply(const edit& e) {
        t_ref_buff& s = *live_;
        switch (e.kind) {
        case edit_source: {
            auto sources = all<diff_source>("D");
            if (sources.empty())
                return "-";
            diff_source& src = *pick(sources, e.a);
            src.value = e.b % 2;
            int quality = static_cast<int>(e.c % 8);
            src.has_control = quality != 5;
            src.is_defined = quality != 6;
            src.is_invalid = quality == 7;
            s.mark_changed(src.key());
            return "источник " + src.key() + " = " + std::to_string(e.b % 2) + " качество " +
                   std::to_string(quality);
        }
        case edit_parameter:
        case edit_repeat: {
            std::vector<std::pair<t_ref*, int>> targets = parameter_targets();
            if (targets.empty())
                return "-";
            auto [target, index] = targets[e.a % targets.size()];
            std::string value = value_for(*target, index, e.b);
            int step = e.kind == edit_repeat ? static_cast<int>(e.c % 2) : 0;
            int interval = e.kind == edit_repeat ? static_cast<int>(e.d % 2) : 0;
            std::string key = target->key();
            if (e.kind == edit_parameter) {
                // The editor's apply: one component, then the tables are rebuilt.
                try {
                    target->set_parameter(index, value);
                    target->set_flag(true, flag_modified);
                    target->init();
                } catch (const nx_exception&) {
                    // Refused: the editor shows it.
                }
                s.mark_changed(key);
                editor_rebuild();
            } else {
                // The command "repeat a value": no rebuild follows it.
                repeat_value(s, key, index, value, step, interval);
            }
            return std::string(e.kind == edit_parameter ? "правка " : "повтор ") + key + " [" +
                   std::to_string(index) + "] = '" + value + "' шаг " + std::to_string(step) +
                   " интервал " + std::to_string(interval);
        }
        case edit_paste: {
            auto pairs = paste_pairs();
            if (pairs.empty())
                return "-";
            auto [from, to] = pairs[e.a % pairs.size()];
            std::string text = s.subtree_xml(from);
            paste(s, to, text);
            return "paste " + from + " -> " + to;
        }
        case edit_add: {
            auto parents = add_parents();
            if (parents.empty())
                return "-";
            auto [parent, type] = parents[e.a % parents.size()];
            add_components(s, parent, type, 1);
            return "add " + std::to_string(type) + " -> " + parent;
        }
        case edit_delete: {
            auto keys = editable_keys();
            if (keys.empty())
                return "-";
            std::string key = keys[e.a % keys.size()];
            bool done = del_ref(s, key);
            return "del_ref " + key + (done ? "" : " (отказано)");
        }
        case edit_move: {
            auto keys = editable_keys();
            if (keys.empty())
                return "-";
            std::string key = keys[e.a % keys.size()];
            std::vector<t_ref*> siblings = s.refs().children(parent_key(key));
            if (siblings.size() < 2)
                return "-";
            std::string to = siblings[e.b % siblings.size()]->key();
            move(s, key, to);
            return "move " + key + " -> " + to;
        }
        case edit_activity: {
            auto keys = table_keys();
            if (keys.empty())
                return "-";
            std::string parent = parent_key(keys[e.a % keys.size()]);
            prompt_.answer = e.b % 2 == 0 ? answer_yes : answer_no;
            set_active_children(s, parent);
            return std::string("активность детей ") + parent + " = " +
                   (e.b % 2 == 0 ? "да" : "нет");
        }
        case edit_manual: {
            auto signals = fed_signals();
            if (signals.empty())
                return "-";
            t_struct_vl& signal = *pick(signals, e.a);
            signal.set_manual(e.b % 2, true);
            return "ручной ввод " + signal.key() + " = " + std::to_string(e.b % 2);
        }
        case edit_manual_cancel: {
            std::vector<t_struct_vl*> manual;
            for (t_struct_vl* signal : fed_signals())
                if (signal->manual())
                    manual.push_back(signal);
            if (manual.empty())
                return "-";
            t_struct_vl& signal = *pick(manual, e.a);
            signal.set_manual(0, false);
            return "отмена ручного ввода " + signal.key();
        }
        default:
            return "-";
        }
    }

    // Update pass, the projection when it is due, update pass; as the running program.
    static void settle(t_ref_buff& s) {
        s.update_pass();
        project_tables(s);
        s.update_pass();
    }

    void settle() { settle(*live_); }

    // The live state against a store loaded from what save writes now.
    std::optional<difference> check() {
        live_->save();
        std::unique_ptr<t_ref_buff> fresh = make_store();
        fresh->load();
        for (t_ref* r : live_->refs().under("D"))
            if (auto* s = dynamic_cast<diff_source*>(r))
                if (auto* f = dynamic_cast<diff_source*>(fresh->get(r->key()))) {
                    f->value = s->value;
                    f->has_control = s->has_control;
                    f->is_defined = s->is_defined;
                    f->is_invalid = s->is_invalid;
                    fresh->mark_changed(f->key());
                }
        // Manual input is an input too; a computed signal's manual mark taken over from its
        // sources is not.
        for (t_ref* r : live_->refs().under("K"))
            if (auto* s = dynamic_cast<t_struct_vl*>(r); s != nullptr && s->entered_by_hand())
                if (auto* f = dynamic_cast<t_struct_vl*>(fresh->get(r->key())))
                    f->set_manual(s->value(), true);
        settle(*fresh);
        // Which changes the operator has not acknowledged yet is history, not configuration:
        // it is carried over like the inputs, both ways (the fresh store saw its inputs arrive
        // after its first pass, the live one may have seen them masked by manual input).
        for (t_ref* r : live_->refs().under("K"))
            if (auto* s = dynamic_cast<t_struct_vl*>(r))
                if (auto* f = dynamic_cast<t_struct_vl*>(fresh->get(r->key()));
                    f != nullptr && f->unacknowledged() != s->unacknowledged()) {
                    f->set_flag(s->unacknowledged(), flag_unacknowledged);
                    fresh->mark_changed(f->key());
                }
        settle(*fresh);
        std::map<std::string, std::string> live_state = snapshot(*live_);
        std::map<std::string, std::string> fresh_state = snapshot(*fresh);
        fresh.reset();
        return compare(live_state, fresh_state);
    }

    static std::string refs_path() { return exe_dir() + "refs.ini"; }

private:
    template <class T> std::vector<T*> all(const char* root) {
        std::vector<T*> found;
        for (t_ref* r : live_->refs().under(root))
            if (auto* t = dynamic_cast<T*>(r); t != nullptr && !r->has_flag(flag_transient))
                found.push_back(t);
        return found;
    }

    template <class T> static T* pick(const std::vector<T*>& list, std::uint32_t n) {
        return list[n % list.size()];
    }

    std::vector<t_struct_vl*> fed_signals() {
        std::vector<t_struct_vl*> found;
        for (t_struct_vl* signal : all<t_struct_vl>("K"))
            if (signal->type() == 1)
                found.push_back(signal);
        return found;
    }

    // The editor's apply: the tables are rebuilt after the values are written.
    void editor_rebuild() {
        try {
            live_->rebuild(false, false);
        } catch (const nx_exception&) {
            // The editor shows it; the lenient rebuild has run as far as it could.
        }
    }

    std::vector<std::pair<t_ref*, int>> parameter_targets() {
        std::vector<std::pair<t_ref*, int>> targets;
        for (t_ref* r : live_->refs().under("S")) {
            if (r->has_flag(flag_transient))
                continue;
            if (dynamic_cast<t_ilk_vts*>(r) != nullptr) {
                targets.push_back({r, 2});
                targets.push_back({r, 3});
            } else if (dynamic_cast<t_ilk_and*>(r) != nullptr) {
                targets.push_back({r, 2});
            } else if (dynamic_cast<t_ilk_or*>(r) != nullptr) {
                targets.push_back({r, 1});
            } else if (dynamic_cast<t_ilk_tu*>(r) != nullptr) {
                targets.push_back({r, 2});
                targets.push_back({r, 3});
            } else if (dynamic_cast<t_el_onof*>(r) != nullptr) {
                targets.push_back({r, 1});
                targets.push_back({r, 2});
            } else if (dynamic_cast<t_ilk_root*>(r) != nullptr) {
                targets.push_back({r, 1});
            }
        }
        return targets;
    }

    std::string value_for(t_ref& target, int index, std::uint32_t n) {
        static const char* const signals[] = {"",        "s1_2_1",  "s1_2_2",  "s1_2_3",
                                              "s1_2_4",  "s1_2_5",  "s1_2_6",  "s1_2_7",
                                              "s1_2_11", "s1_2_20", "s1_2_21", "!s1_2_12"};
        if (dynamic_cast<t_ilk_and*>(&target) != nullptr)
            return n % 2 == 0 ? "Включен" : "Отключен";
        if (dynamic_cast<t_ilk_or*>(&target) != nullptr) {
            static const char* const modes[] = {"Местное", "Дистанционное", "Ручное(без таймера)"};
            return modes[n % 3];
        }
        if (dynamic_cast<t_ilk_root*>(&target) != nullptr && index == 1) {
            choice_list choices;
            target.parameter_editor(1, choices);
            return choices.empty() ? std::string() : choices[n % choices.size()].text;
        }
        return signals[n % (sizeof signals / sizeof signals[0])];
    }

    std::vector<std::pair<std::string, std::string>> paste_pairs() {
        std::vector<std::pair<std::string, std::string>> pairs;
        auto keys_of = [&](auto test) {
            std::vector<std::string> keys;
            for (t_ref* r : live_->refs().under("S"))
                if (!r->has_flag(flag_transient) && test(r))
                    keys.push_back(r->key());
            return keys;
        };
        auto permissions = keys_of([](t_ref* r) { return dynamic_cast<t_ilk_and*>(r) != nullptr; });
        auto conditions = keys_of([](t_ref* r) { return dynamic_cast<t_ilk_or*>(r) != nullptr; });
        auto rows = keys_of([](t_ref* r) { return dynamic_cast<t_ilk_tu*>(r) != nullptr; });
        auto row_nodes = keys_of([](t_ref* r) { return r->type() == tp_ilk_tus; });
        for (const std::string& p : permissions)
            for (const std::string& c : conditions)
                pairs.push_back({p, c});
        for (const std::string& c : conditions)
            for (const std::string& r : rows)
                pairs.push_back({c, r});
        for (const std::string& r : rows)
            for (const std::string& n : row_nodes)
                pairs.push_back({r, n});
        return pairs;
    }

    std::vector<std::pair<std::string, int>> add_parents() {
        std::vector<std::pair<std::string, int>> parents;
        for (t_ref* r : live_->refs().under("S")) {
            if (r->has_flag(flag_transient))
                continue;
            if (r->type() == tp_ilk_tss)
                parents.push_back({r->key(), tp_ilk_ts});
            else if (r->type() == tp_ilk_tus)
                parents.push_back({r->key(), tp_ilk_tu});
            else if (r->type() == tp_ilk_tu)
                parents.push_back({r->key(), tp_ilk_or});
        }
        return parents;
    }

    // Permissions and conditions, whose activity the table follows. A deactivated column,
    // row or scheme element is not linked and keeps the state it had: a known difference, not
    // yet mended, left out of the generated edits.
    std::vector<std::string> table_keys() {
        std::vector<std::string> keys;
        for (const std::string& key : editable_keys())
            if (dynamic_cast<t_ilk_and*>(live_->get(key)) != nullptr ||
                dynamic_cast<t_ilk_or*>(live_->get(key)) != nullptr)
                keys.push_back(key);
        return keys;
    }

    // Components an engineer edits: table parts, elements and their rules.
    std::vector<std::string> editable_keys() {
        std::vector<std::string> keys;
        for (t_ref* r : live_->refs().under("S")) {
            if (r->has_flag(flag_transient))
                continue;
            if (dynamic_cast<t_ilk_vts*>(r) != nullptr || dynamic_cast<t_ilk_and*>(r) != nullptr ||
                dynamic_cast<t_ilk_or*>(r) != nullptr || dynamic_cast<t_ilk_tu*>(r) != nullptr ||
                dynamic_cast<t_element*>(r) != nullptr || dynamic_cast<t_el_onof*>(r) != nullptr)
                keys.push_back(r->key());
        }
        return keys;
    }

    std::string station_text_;
    std::uint32_t seed_;
    std::unique_ptr<t_ref_buff> live_;
    answering_prompt prompt_;
};

// A failure: the seed, the edits up to the one that made the difference, and the difference.
struct failure {
    std::uint32_t seed = 0;
    std::vector<edit> edits;
    std::vector<std::string> lines;
    difference found;
    std::string text() const {
        std::string out =
            "семя " + std::to_string(seed) + ", шаг " + std::to_string(edits.size()) + ":\n";
        for (std::size_t i = 0; i < lines.size(); ++i)
            out += "  " + std::to_string(i + 1) + ". " + lines[i] + "\n";
        out +=
            "ключ " + found.key + "\n  живой:  " + found.live + "\n  заново: " + found.fresh + "\n";
        return out;
    }
};

// Runs `edits` from the station's start, checking after each; the first difference.
inline std::optional<failure> replay(const std::string& station, std::uint32_t seed,
                                     const std::vector<edit>& edits) {
    session s(station, seed);
    s.start();
    failure f;
    f.seed = seed;
    if (auto d = s.check()) {
        f.found = *d;
        return f;
    }
    for (const edit& e : edits) {
        f.edits.push_back(e);
        f.lines.push_back(s.apply(e));
        s.settle();
        if (auto d = s.check()) {
            f.found = *d;
            return f;
        }
    }
    return std::nullopt;
}

inline std::vector<edit> random_edits(std::uint32_t seed, int steps) {
    std::mt19937 rng(seed * 2654435761u + 1);
    std::vector<edit> edits;
    for (int i = 0; i < steps; ++i) {
        edit e;
        // Source values change between the edits more often than anything else.
        int roll = static_cast<int>(rng() % 16);
        e.kind = roll < 5 ? edit_source : 1 + roll % (edit_kinds - 1);
        e.a = rng();
        e.b = rng();
        e.c = rng();
        e.d = rng();
        edits.push_back(e);
    }
    return edits;
}

// Drops edits one at a time while a difference still shows; the shortest sequence found.
inline failure shrink(const std::string& station, failure f) {
    for (std::size_t i = 0; i < f.edits.size();) {
        std::vector<edit> shorter = f.edits;
        shorter.erase(shorter.begin() + static_cast<std::ptrdiff_t>(i));
        if (auto g = replay(station, f.seed, shorter))
            f = *g;
        else
            ++i;
    }
    return f;
}

// One seed: `steps` random edits; the shrunk failure when a difference shows.
inline std::optional<failure> run_seed(const std::string& station, std::uint32_t seed, int steps) {
    auto f = replay(station, seed, random_edits(seed, steps));
    if (!f)
        return std::nullopt;
    return shrink(station, *f);
}

} // namespace livediff
