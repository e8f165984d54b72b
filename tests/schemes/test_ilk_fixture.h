#pragma once

#include "schemes_fixture.h"

#include "interlock/ilk_state.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_root.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/ilk/projection.h"
#include "schemes/ilk/t_ilk.h"
#include "schemes/ilk/t_ilk_onof.h"

#include <map>
#include <string>
#include <vector>

namespace ilktest {

// Pieces of refs.ini text for schemes with interlock tables.
namespace ilk_scheme_xml {

// The page list's label of page "Стр1" (identifier "p1") of scheme "ps1".
inline std::string page_label() {
    return "ps1/Стр1" + std::string(73, ' ') + "p1";
}

// An element with its rules.
inline std::string element_ref(int rtid, const std::string& disp, const std::string& rules) {
    return "<ref tp=\"82\" rtid=\"" + std::to_string(rtid) + "\" disp=\"" + disp + "\">\r\n" +
           rules + "</ref>\r\n";
}

// An on/off rule; `more` holds further attributes, beginning with a blank.
inline std::string onof(const std::string& on, const std::string& off = {},
                        const std::string& more = {}) {
    std::string text =
        "<ref tp=\"87\" par=\"положение\" on=\"включен\" of=\"отключен\"" + more + ">";
    if (!on.empty())
        text += "<on>" + on + "</on>";
    if (!off.empty())
        text += "<of>" + off + "</of>";
    return text + "</ref>\r\n";
}

inline std::string column(int uid, const std::string& no, const std::string& nc) {
    return "<ref tp=\"75\" nof=\"" + no + "\" non=\"" + nc + "\" uid=\"" + std::to_string(uid) +
           "\"/>\r\n";
}

inline std::string permission(int uid, bool on) {
    return "<ref tp=\"73\" uid=\"" + std::to_string(uid) + "\" on=\"" + (on ? "1" : "0") +
           "\"/>\r\n";
}

inline std::string condition(const std::string& permissions) {
    return "<ref tp=\"74\">\r\n" + permissions + "</ref>\r\n";
}

// A row with its permission and readiness signals; `more` begins with a blank.
inline std::string row(const std::string& ts, const std::string& dop, const std::string& conditions,
                       const std::string& more = {}) {
    return "<ref tp=\"76\" ts=\"" + ts + "\" dop=\"" + dop + "\"" + more + ">\r\n" + conditions +
           "</ref>\r\n";
}

// An interlock root projected onto `label`, one table with columns and rows.
inline std::string interlock(const std::string& label, const std::string& columns,
                             const std::string& rows) {
    return "<ref tp=\"72\" page=\"" + label + "\">\r\n<ref tp=\"79\" name=\"T1\">\r\n" +
           "<ref tp=\"77\">\r\n" + columns + "</ref>\r\n<ref tp=\"78\">\r\n" + rows +
           "</ref>\r\n</ref>\r\n</ref>\r\n";
}

// Columns QS1 (uid 1, contacts s1_2_3 / s1_2_4) and QS7 (uid 2, s1_2_7 / s1_2_8).
inline std::string example_columns() {
    return column(1, "s1_2_3", "s1_2_4") + column(2, "s1_2_7", "s1_2_8");
}

// Row Q1 (permission s1_2_1, readiness s1_2_2): QS1 on and QS7 off.
inline std::string example_row() {
    return row("s1_2_1", "s1_2_2", condition(permission(1, true) + permission(2, false)));
}

// Q1 (rtid 10, its position on s1_2_5), QS1 (11) and Т1 (12, a rule for its earthing
// switch "Т1-ЗН" on s1_2_9).
inline std::string example_elements() {
    return element_ref(10, "Q1", onof("s1_2_5")) +
           element_ref(11, "QS1", onof("s1_2_3", "s1_2_4")) +
           element_ref(12, "Т1", onof("s1_2_9", {}, " tl=\"#-ЗН\""));
}

} // namespace ilk_scheme_xml

// A store with every scheme and interlock class. The structure has signals s1_2_1 ..
// s1_2_9, each fed by a fake object D.0000 .. D.0008, titled Q1, R1, QS1, -, -, Q2, QS7, -,
// Т1-ЗН. Under "S": scheme "ps1" with page "Стр1" (S.0000.0000) and one group of elements,
// then the interlock roots (S.0001, S.0002, ...). Every prompt must be expected.
class ilk_scheme_test : public scheme_test {
protected:
    ilk_scheme_test() { nxkit::register_all_scheme_classes(*store); }

    void load_station(const std::string& elements, const std::string& interlocks) {
        static const char* const titles[] = {"Q1", "R1", "QS1", "", "", "Q2", "QS7", "", "Т1-ЗН"};
        std::string signals;
        for (int n = 1; n <= 9; ++n) {
            signals += "<ref tp=\"1\" num=\"" + std::to_string(n) + "\"";
            if (*titles[n - 1] != '\0')
                signals += std::string(" title=\"") + titles[n - 1] + "\"";
            signals += "/>\r\n";
        }
        load(objects({"s1_2_1", "s1_2_2", "s1_2_3", "s1_2_4", "s1_2_5", "s1_2_6", "s1_2_7",
                      "s1_2_8", "s1_2_9"}) +
             section(signals) +
             "<ref tp=\"80\">\r\n<ref tp=\"81\" name=\"ps1\">\r\n"
             "<ref tp=\"85\" rtid=\"1\" disp=\"Стр1\" key=\"p1\">\r\n"
             "<ref tp=\"86\" title=\"выключатель\">\r\n" +
             elements + "</ref>\r\n</ref>\r\n</ref>\r\n" + interlocks + "</ref>\r\n");
    }

    // Sets signal s1_2_<n> through its fake object (under control, defined).
    void set_signal(int n, double value) {
        std::string key = "D." + nxkit::key_part(n - 1);
        source(key).set(value);
        store->mark_changed(key);
    }

    template <class T> std::vector<T*> children_of(const std::string& key) {
        std::vector<T*> found;
        for (nxkit::t_ref* child : store->refs().children(key))
            if (auto* typed = dynamic_cast<T*>(child))
                found.push_back(typed);
        return found;
    }

    // The projected label rules (read-only on/off rules) under an element.
    std::vector<nxkit::t_el_onof*> label_rules(const std::string& element_key) {
        std::vector<nxkit::t_el_onof*> found;
        for (nxkit::t_el_onof* rule : children_of<nxkit::t_el_onof>(element_key))
            if (rule->has_flag(nxkit::flag_read_only))
                found.push_back(rule);
        return found;
    }

    // Counts the components of a type under "S".
    int count_of_type(int type) {
        int n = 0;
        for (nxkit::t_ref* r : store->refs().under("S"))
            n += r->type() == type ? 1 : 0;
        return n;
    }

    void project_again() {
        nxkit::mark_interlock_changed(*store);
        nxkit::project_tables(*store);
    }

    scripted_prompt prompt;

public:
    static inline const std::string q1 = "S.0000.0000.0000.0000";
    static inline const std::string qs1 = "S.0000.0000.0000.0001";
    static inline const std::string t1 = "S.0000.0000.0000.0002";
    static inline const std::string first_root = "S.0001";
    static inline const std::string first_row = "S.0001.0000.0001.0000";
};

// The host's part: every element the update pass reports is computed, then its interlocks
// are evaluated into style maps by counter, as the scheme host does.
class ilk_host : public nxkit::i_observer {
public:
    explicit ilk_host(nxkit::t_ref_buff& s) : store(s) { store.subscribe_subtree("S", this); }
    ~ilk_host() override { store.unsubscribe_subtree("", this); }

    void on_changed(const std::string& key) override {
        auto* element = dynamic_cast<nxkit::t_element*>(store.get(key));
        if (element == nullptr)
            return;
        properties[key].clear();
        styles[key].clear();
        element->compute(properties[key], styles[key]);
        nxkit::styles_by_counter& marks = interlock_styles[key];
        marks.clear();
        for (nxkit::t_el* rule : element->rules())
            if (auto* ilk = dynamic_cast<nxkit::t_ilk*>(rule))
                ilk->evaluate(marks);
    }

    nxkit::t_ref_buff& store;
    std::map<std::string, nxkit::property_map> properties;
    std::map<std::string, nxkit::style_map> styles;
    // Element key -> counter -> interlock styles.
    std::map<std::string, nxkit::styles_by_counter> interlock_styles;
};

} // namespace ilktest
