#pragma once

#include "base/prompt.h"
#include "config/config_state.h"
#include "config/interfaces.h"
#include "config/t_ref.h"

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace nxkit {

class expression_engine;
class nx_inixml;
struct nx_xml_element;
class nx_xml_writer;

// Said everywhere a detached copy's values are shown or printed (the what-if mode).
inline constexpr const char* whatif_banner_text = "РЕЖИМ ПРОВЕРКИ — значения не настоящие";

// The keyed collection: key -> component, ordered by key (which is the tree's order).
// Clearing destroys from the last key to the first, so descendants go before ancestors.
class t_refs {
public:
    using map_type = std::map<std::string, std::unique_ptr<t_ref>>;
    using cursor = map_type::iterator;

    t_refs() = default;
    t_refs(const t_refs&) = delete;
    t_refs& operator=(const t_refs&) = delete;
    virtual ~t_refs();

    // Throws nx_exception_ref_not_found carrying the key when absent.
    t_ref& find(const std::string& key);
    t_ref* get(const std::string& key);
    void put(const std::string& key, std::unique_ptr<t_ref> component);
    // Removes the entry and hands the component over (null when absent).
    std::unique_ptr<t_ref> take(const std::string& key);

    // Walk in key order over the entries whose key begins with prefix + "." (all for "").
    bool first_under(const std::string& prefix, cursor& c);
    bool next_under(cursor& c, const std::string& prefix);
    // The same walk collected: every descendant of prefix in key order.
    std::vector<t_ref*> under(const std::string& prefix);
    // The direct children of key, in key order.
    std::vector<t_ref*> children(const std::string& key);
    // The first descendant of `ancestor` whose key comes after `key` (null when none).
    t_ref* next_after(const std::string& key, const std::string& ancestor);
    // The first direct child of `parent` after `key` ("" = the first child), skipping the
    // subtree of `key`; null when none.
    t_ref* next_child(const std::string& parent, const std::string& key);

    void clear();
    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    // Bumped by every insertion and removal, so orders taken before are known to be stale.
    unsigned shape() const { return shape_; }

private:
    map_type map_;
    unsigned shape_ = 0;
};

// The store: owns the configuration from load to unload, carries changes from their source
// to everything that depends on them, and keeps the tables that tie signal keys to components.
// One per process in the program; each test builds its own.
class t_ref_buff {
public:
    using creator = std::function<std::unique_ptr<t_ref>(t_ref_buff&)>;

    t_ref_buff();
    t_ref_buff(const t_ref_buff&) = delete;
    t_ref_buff& operator=(const t_ref_buff&) = delete;
    virtual ~t_ref_buff();

    // ---- Classes: each subsystem registers the classes of its type codes. ----
    void register_class(int type, creator make);
    // Null for a code without a registered class.
    std::unique_ptr<t_ref> create(int type);

    // ---- Collection ----
    t_refs& refs() { return refs_; }
    // Whether every component's order is its rank in key order now (no component came or
    // went since the tables were built).
    bool orders_current() const;
    t_ref& find(const std::string& key) { return refs_.find(key); }
    t_ref* get(const std::string& key) { return refs_.get(key); }
    void put(const std::string& key, std::unique_ptr<t_ref> component);
    void clear();
    // The current component of the tree of the key's first letter ('D', 'K', 'S').
    std::string current(char root) const;
    void set_current(const std::string& key);

    // ---- Configuration file ----
    // Reads a whole configuration; an empty name means refs.ini in the station folder.
    void load(const std::string& file_name = {});
    // Reads a whole configuration from `text` (UTF-8, a REFs element or a whole struct
    // document) without touching the station folder: no leftovers removed, no persistent
    // manual values restored. For detached copies.
    void load_text(const std::string& text);
    // A detached store is a copy for checking: it never saves, backs up, starts devices or
    // exports, whatever asks it to. Set before anything is loaded; never cleared.
    void set_detached() { detached_ = true; }
    bool detached() const { return detached_; }
    // Reads component text under parent_key into the loaded configuration.
    void insert_xml(const std::string& parent_key, const std::string& xml,
                    std::vector<std::string>* collect = nullptr);
    // The clipboard form: REFs with version around the subtree of key (everything for "").
    std::string subtree_xml(const std::string& key);
    void save();
    void backup();
    // Backup file paths, newest first.
    std::vector<std::string> backups();
    // Writes the configuration as it is now into a new backup in REFS/ and leaves refs.ini
    // alone (unsaved changes at a forced shut-down). Returns the backup's path.
    std::string save_as_backup();
    // The path of refs.ini.
    std::string refs_path() const;
    // Removes the temporary files left by a save, a backup or a settings write that a killed
    // process never finished (refs.ini.XXXXXX and the like), each with a log line. Only files
    // older than the store are touched. Done by the first load.
    void remove_save_leftovers();

    void start_devices(bool on);
    bool devices_running() const { return devices_running_; }
    void add_viewer(i_viewer* viewer);
    void remove_viewer(i_viewer* viewer);
    // The structure tree view ("K"), handed over by the main window; the configuration editor
    // selects signals in it. Null when none.
    i_viewer* structure_tree() const { return structure_tree_; }
    void set_structure_tree(i_viewer* viewer) { structure_tree_ = viewer; }

    // Changed since the last save or load; whether the last load failed.
    config_state& state() { return state_; }

    bool bulk() const { return bulk_; }
    bool edit_mode() const { return edit_mode_; }
    void set_edit_mode(bool on) { edit_mode_ = on; }
    owner_handle owner_window() const { return owner_; }
    // The shell's poster for device notifications (null in tests without devices).
    i_update_poster* poster() const { return poster_; }

    // ---- Propagation ----
    // Makes `window` the owner of the store's boxes; the shell drives update_pass every 10 ms
    // and countdown_tick every second.
    void init(owner_handle window, i_update_poster* poster);
    // A device's notification: taken only when stamped with the current generation.
    void hand_over(i_updater& updater, int generation);
    // The same for a pointer that may have outlived its device: a retired updater is skipped.
    void hand_over(i_updater* updater, int generation);
    // A device being destroyed retires its updater, so its notifications still queued for the
    // user-interface thread are dropped; a new device at the same address takes it back.
    void retire_updater(i_updater* updater);
    void revive_updater(i_updater* updater);
    int generation() const { return generation_; }
    void mark_changed(const std::string& key);
    key_set& change_set() { return changed_; }

    void subscribe_subtree(const std::string& prefix, i_observer* observer);
    // Removes the registrations for exactly `prefix` ("" = every prefix) of `observer`
    // (null = of every observer).
    void unsubscribe_subtree(const std::string& prefix, i_observer* observer = nullptr);
    // A deleted component's registrations go once its observers have been told of the
    // deletion: at once outside a batch (the pass has run), after the batch's pass inside one.
    void unsubscribe_deleted(const std::string& key);

    void begin_batch();
    void end_batch();
    bool batch() const { return batch_; }
    void set_insertion_hold(bool on) { insertion_hold_ = on; }
    bool insertion_hold() const { return insertion_hold_; }

    // Works off the change set; `clearing` forgets it without notifying anybody.
    void update_pass(bool clearing = false);
    // Adds to `set` the keys that depend on the keys in it (one round of the closure);
    // depth_limit < 0 means no limit on the recursion over users.
    void expand_dependencies(key_set& set, int depth_limit = -1);
    void rebuild(bool clear_only, bool lenient);

    void calc(const std::string& expression, t_ref& target, double& value);
    double evaluate(const std::string& expression);
    void register_uses(const std::string& expression, const std::string& signal_key);
    bool register_watch(const std::string& expression, const std::string& component_key);
    void used_components(const std::string& expression, key_set& out);
    // The device information object feeding a signal key ("" when none).
    std::string feeder(const std::string& signal_key) const;
    // The structure element owning a signal key ("" when none).
    std::string signal_owner(const std::string& signal_key) const;

    void start_countdown(const std::string& key);
    void countdown_tick();

    // ---- Support for the component base ----
    // t_ref::init initialises the descendants only when no such pass is running already.
    bool init_pass_running() const { return init_running_; }
    void set_init_pass_running(bool on) { init_running_ = on; }
    // While component text is read, the failures of descendants' init are collected here and
    // summed up by the reader; outside a read the pass hands the first one to its caller.
    bool collecting_init_errors() const { return init_errors_ != nullptr; }
    void note_init_error(const std::string& text);
    // Called by every component as it is destroyed: forgets what points into it.
    void component_destroyed(const t_ref& component);
    // The mode of the rebuild in progress (true outside a rebuild).
    bool lenient() const { return lenient_; }
    // Whether a signal key waits in the pending list.
    bool is_pending(const std::string& signal_key) const;

    // ---- State of the subsystems above the store ----
    // What a subsystem keeps for the whole configuration (a counter, a mark) lives here, one
    // object per subsystem name, so every store starts afresh. Kept until the store goes,
    // after its components.
    struct extension {
        virtual ~extension() = default;
    };
    extension* find_extension(const std::string& name) {
        auto it = extensions_.find(name);
        return it == extensions_.end() ? nullptr : it->second.get();
    }
    void set_extension(const std::string& name, std::unique_ptr<extension> state) {
        extensions_[name] = std::move(state);
    }

private:
    friend class ref_reader;

    // Parses component text into the store under parent_key, initialises what it created and
    // reports initialisation errors; returns the top-level keys created.
    void read_text(nx_inixml& document, const std::string& parent_key,
                   std::vector<std::string>* collect);
    // load and load_text: reads `document` as the whole configuration.
    void load_document(nx_inixml& document);
    // Throws when the store is detached: nothing of a copy may reach the station's files.
    void refuse_if_detached(const char* what) const;
    void check_version(const nx_xml_element& element);
    bool create_missing_roots();
    void refresh_source(std::uint32_t signal, i_struct_element& element);
    void restore_manual_values();
    void notify_loaded();
    void write_subtree(nx_xml_writer& writer, t_ref& component, bool saving);
    void write_children(nx_xml_writer& writer, const std::string& key, bool saving);
    // The REFs element as save writes it; throws when the last load failed.
    std::string saved_text();
    struct round_entry;
    // One round of the pass: the keys of `seeds` and what depends on them, in key order.
    void collect_round(const key_set& seeds, std::vector<round_entry>& round);
    void refresh_signals(const std::vector<round_entry>& round);
    void notify_observers(const std::vector<round_entry>& round);
    void assign_orders();
    void rebuild_equipment();
    void rebuild_structure();
    void rebuild_schemes();
    void keep_error(const std::string& text);
    void report_duplicate(t_ref& component, const std::string& other_key);

    // Implementation details are the implementer's; see t_ref_buff.cpp.
    struct tables;

    t_refs refs_;
    std::map<int, creator> classes_;
    std::map<char, std::string> current_;
    std::vector<i_viewer*> viewers_;
    i_viewer* structure_tree_ = nullptr;
    bool devices_running_ = false;
    bool detached_ = false;
    bool bulk_ = false;
    bool loading_ = false;
    bool loaded_once_ = false;
    // When the store was made (nanoseconds of the real-time clock).
    std::int64_t created_ns_ = 0;
    bool edit_mode_ = false;
    owner_handle owner_ = nullptr;
    i_update_poster* poster_ = nullptr;

    key_set changed_;
    bool batch_ = false;
    // Keys deleted inside the batch whose registrations go after the batch's pass.
    std::vector<std::string> deleted_in_batch_;
    bool insertion_hold_ = false;
    bool updating_ = false;
    int generation_ = 0;
    std::set<i_updater*> retired_;
    bool init_running_ = false;
    std::vector<std::string>* init_errors_ = nullptr;
    bool lenient_ = true;
    bool rebuilding_ = false;
    // The component whose links a rebuild is making, named in the errors it reports.
    t_ref* linking_ = nullptr;
    bool viewers_loading_ = false;
    std::string first_error_;
    std::unique_ptr<tables> tables_;
    std::unique_ptr<expression_engine> parser_;
    // The signal number of the source a pass is refreshing now, so its calculation need not
    // look it up; ~0 when none.
    std::uint32_t refreshing_ = ~std::uint32_t(0);
    std::map<std::string, std::unique_ptr<extension>> extensions_;
    config_state state_;
};

} // namespace nxkit
