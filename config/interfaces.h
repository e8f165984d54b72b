#pragma once

#include <set>
#include <string>

namespace nxkit {

class t_ref;
class t_ref_buff;

using key_set = std::set<std::string>;

// A device hands its changes to the store: adds the component keys of everything it changed
// since the last call to the change set and forgets them.
class i_updater {
public:
    virtual ~i_updater() = default;
    virtual void update(key_set& change_set) = 0;
};

// Worker threads never touch components: a device posts its updater and the generation current
// at its start to the user-interface thread through this. The shell queues a call to the main
// window; tests keep a plain queue they drain.
class i_update_poster {
public:
    virtual ~i_update_poster() = default;
    virtual void post_update(i_updater* updater, int generation) = 0;
};

// A listener for a subtree of the store.
class i_observer {
public:
    virtual ~i_observer() = default;
    virtual void on_changed(const std::string& key) { (void)key; }
    // The same, with the component at the key when the pass knows it (null when not), for
    // observers that would otherwise look every key up.
    virtual void on_changed_at(const std::string& key, t_ref* component) {
        (void)component;
        on_changed(key);
    }
    virtual void on_changes_done() {}
};

// An operator view: reset before a load and re-attached after it.
class i_viewer {
public:
    virtual ~i_viewer() = default;
    virtual void choose(const std::string& key) { (void)key; }
    virtual void on_unload() {}
    virtual void on_load() {}
    virtual void element_menu(int item) { (void)item; }
};

// Everything that can be started: the devices of the equipment tree.
class t_device {
public:
    virtual ~t_device() = default;
    virtual void start(i_update_poster* window) = 0;
    virtual void stop() = 0;
    virtual bool is_connected() = 0;
    // Why the last connection attempt failed, in the operator's words; empty when unknown.
    virtual std::string connection_failure() { return {}; }
};

// A device information object: feeds the structure signal with the same signal key.
class i_feed {
public:
    virtual ~i_feed() = default;
    virtual std::string feed_signal_key() const = 0;
};

// An element of the signal structure (channel, section, signal) as the store's tables see it.
class i_struct_element {
public:
    virtual ~i_struct_element() = default;
    virtual const std::string& signal_key() const = 0;
    // Signals only (null for channels and sections): the value bound as expression variable.
    virtual double* value_slot() { return nullptr; }
    // Signals: the expression ("" for none).
    virtual const std::string& expression() const {
        static const std::string none;
        return none;
    }
    // Signals: the link rule, told whether a device object feeds this signal key.
    virtual void link(bool fed) { (void)fed; }
    // Signals: brings value, time and quality up to date.
    virtual void refresh() {}
    // Signals: manual input (used to restore persistent manual values after a load).
    virtual void set_manual(double value, bool manual) {
        (void)value;
        (void)manual;
    }
};

// A scheme element with a switching countdown, counted down once a second by the store.
class i_countdown {
public:
    virtual ~i_countdown() = default;
    virtual int& countdown_counter() = 0;
};

// A component whose expressions watch signals (interlocks, scheme rules): linked on every
// rebuild of the store's tables.
class i_struct_linker {
public:
    virtual ~i_struct_linker() = default;
    virtual void link(t_ref_buff& store) = 0;
};

} // namespace nxkit
