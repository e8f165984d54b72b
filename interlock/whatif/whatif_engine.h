#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace nxkit {

class t_ref_buff;
class t_ilk_tu;
class t_struct_vl;

// A signal's value and quality as the what-if mode holds it.
struct whatif_signal {
    double value = 0;
    bool control = true;
    bool defined = true;
    bool invalid = false;
    bool manual = false;
    bool operator==(const whatif_signal&) const = default;
};

// Signal key -> held value and quality.
using whatif_values = std::map<std::string, whatif_signal>;

// An apparatus whose position a step or a click sets: the contacts that read 1 when it is on
// (normally open) and those that read 0 (normally closed).
struct whatif_apparatus {
    std::string name;
    std::vector<std::string> open_contacts;
    std::vector<std::string> closed_contacts;
};

// The what-if engine. It owns a detached copy of the station's structure and schemes (no
// equipment tree, so no device, connection or controller exists in it; the store refuses to
// save, back up, start devices or export). Every fed or hand-set signal is held at a value
// and quality; signals computed by expressions follow their sources. Tables, conditions,
// rows, projected interlocks and scheme styles are evaluated by the same components and
// update pass as in live operation. Nothing here reads from the live store after the copy is
// made, and nothing ever writes to it.
class whatif_engine {
public:
    ~whatif_engine();
    whatif_engine(const whatif_engine&) = delete;
    whatif_engine& operator=(const whatif_engine&) = delete;

    // A copy of `live`'s structure and schemes holding the values `live` shows now. `live` is
    // only read (its components' const state, its configuration text).
    static std::unique_ptr<whatif_engine> from_live(t_ref_buff& live);
    // Whether the copy was made from `live`'s configuration as it is now (same load, no edit
    // since): then take_live_values enters the mode without making a copy again.
    bool same_configuration(t_ref_buff& live);
    // Holds again every signal at the value `live` shows now and lets go of what was held
    // beyond that: the state of a copy just made from `live`.
    void take_live_values(t_ref_buff& live);

    // A copy of a configuration given as refs.ini text (UTF-8) with every fed signal held at
    // `initial`: the command-line check, where no live values exist.
    static std::unique_ptr<whatif_engine> from_text(const std::string& refs_text,
                                                    const whatif_signal& initial);
    // The values a store's signals show now, read through const accessors only.
    static whatif_values read_values(t_ref_buff& store);

    t_ref_buff& store() { return *store_; }
    // Every structure signal of the copy with what it shows now.
    whatif_values values();
    // Whether the copy has a signal with this key.
    bool has_signal(const std::string& signal_key) const;
    // Holds one signal; throws nx_exception for a key the structure does not have.
    void set_signal(const std::string& signal_key, const whatif_signal& state);
    // Holds a value with good quality (under control, defined, valid, automatic).
    void set_value(const std::string& signal_key, double value);
    // Holds each named signal; unknown keys throw before anything changes.
    void set_values(const whatif_values& values);

    // Finds an apparatus by dispatcher name (a table column's name) or by one of its signal
    // keys; false when neither names one.
    bool find_apparatus(const std::string& text, whatif_apparatus& out);
    // Sets the apparatus's contacts for on or off.
    void set_position(const whatif_apparatus& apparatus, bool on);
    // 1 when the apparatus shows on (every open contact 1, every closed contact 0), 0 when it
    // shows off (the reverse), -1 otherwise; every contact under control and defined.
    int position(const whatif_apparatus& apparatus);

    // Runs the update pass over what was set, projecting the tables again first when they
    // changed. Called after every group of changes.
    void apply();

    // The table rows whose apparatus has this dispatcher name, in key order.
    std::vector<t_ilk_tu*> rows_of(const std::string& name);

private:
    whatif_engine();
    void load_copy(const std::string& structure_and_schemes, const whatif_values& values,
                   const std::map<std::string, bool>& held);
    void index();
    t_struct_vl* signal(const std::string& signal_key) const;

    std::unique_ptr<t_ref_buff> store_;
    // The live configuration the copy was made from: its load generation and edit count.
    int live_generation_ = -1;
    unsigned long live_edits_ = 0;
    // Signals held because they take their value from outside (the rest compute).
    std::map<std::string, bool> held_from_outside_;
    std::map<std::string, t_struct_vl*> signals_;
    std::map<std::string, std::vector<t_ilk_tu*>> rows_by_name_;
    std::map<std::string, whatif_apparatus> apparatus_by_name_;
    std::map<std::string, std::string> name_by_contact_;
};

} // namespace nxkit
