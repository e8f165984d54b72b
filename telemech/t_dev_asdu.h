#pragma once

#include "config/interfaces.h"
#include "telemech/nx_tm_info.h"
#include "telemech/t_dev.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace nxkit {

class t_dev_change;

// Records of the four tables: the last object received per address. `present` is false for
// an address from which nothing has arrived since the link came up.
struct single_record {
    std::uint8_t siq = 0;
    bool present = false;
    nx_tm_time time;
};
struct double_record {
    std::uint8_t diq = 0;
    bool present = false;
    nx_tm_time time;
};
struct measured_record {
    // Scaled or normalised (16-bit), bitstring (32-bit) or short float.
    double value = 0;
    std::uint8_t qds = 0;
    bool present = false;
    nx_tm_time time;
};
struct step_record {
    std::uint8_t vti = 0;
    std::uint8_t qds = 0;
    bool present = false;
    nx_tm_time time;
};

// A telesignal change the controlled point reported with its own time tag: every one is kept
// for the journal and the archive, while the tables keep only the last (sequence of events).
struct tagged_change {
    std::uint16_t ioa = 0;
    bool double_point = false;
    std::uint8_t octet = 0; // SIQ or DIQ
    nx_tm_time time;
};

// Attaches the information objects of a device to their addresses.
class i_changer {
public:
    virtual ~i_changer() = default;
    virtual void attach(t_dev_change& object) = 0;
    virtual void detach(t_dev_change& object) = 0;
};

// A controlled point: the live image of what it reported, filled by its protocol worker
// through nx_tm_info and read by its information objects on the user-interface thread.
// The worker never touches a component: it stores records and component keys under the lock
// and posts the device's updater to the user-interface thread.
class t_dev_asdu : public t_dev,
                   public nx_tm_info,
                   public i_updater,
                   public i_changer,
                   public t_device {
public:
    t_dev_asdu(t_ref_buff& store, int type);
    ~t_dev_asdu() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    void write(nx_xml_writer& writer) override;
    std::string log_file() override;
    void tree_images(int& icon, int& overlay, int& state) override;

    // nx_tm_info, called by the worker.
    void get_log_settings(std::string& file_name, int& mode, int& size) override;
    void get_schedule(int& interrogation, int& sync) override;
    void link_down() override;
    void link_up() override;
    void notify() override;
    void put_step(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t vti,
                  std::uint8_t qds) override;
    void put_measured(std::uint16_t ioa, const nx_tm_time& time, double value,
                      std::uint8_t qds) override;
    void put_double(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t diq) override;
    void put_single(std::uint16_t ioa, const nx_tm_time& time, std::uint8_t siq) override;
    // One ASDU under one lock.
    void put_objects(const nx_tm_object* objects, std::size_t count) override;

    // i_updater: hands the changed keys over (take_changes).
    void update(key_set& change_set) override;

    // i_changer.
    void attach(t_dev_change& object) override;
    void detach(t_dev_change& object) override;

    // t_device.
    void start(i_update_poster* window) override;
    void stop() override;
    bool is_connected() override { return connected_.load(); }

    // The table readers of the information objects.
    bool get_single(std::uint16_t ioa, single_record& record);
    bool get_double(std::uint16_t ioa, double_record& record);
    bool get_measured(std::uint16_t ioa, measured_record& record);
    bool get_step(std::uint16_t ioa, step_record& record);

    // User-interface thread: the time-tagged changes of the object at `ioa` handed over since
    // the last call, in the order received (empty for most objects and passes).
    std::vector<tagged_change> take_tagged(std::uint16_t ioa);

    std::string health_key() {
        std::lock_guard guard(lock_);
        return health_key_;
    }
    void set_health_key(const std::string& key) {
        std::lock_guard guard(lock_);
        health_key_ = key;
    }
    int interrogation_period() const { return interrogation_; }
    int sync_period() const { return sync_; }
    int log_mode();
    int log_size_kb();
    bool log_on();
    int generation() const { return generation_; }

    static const choice_list& interrogation_choices();
    static const choice_list& sync_choices();
    static const choice_list& log_on_choices();
    static const choice_list& log_category_choices();

    // The protocol log's parameter rows, from `first`: "лог-файл:", its size, then one row a
    // category with its caption and the shift of its bit pair in the log mode.
    struct log_rows {
        int first;
        struct category {
            const char* caption;
            int shift;
        };
        category categories[3];
    };

protected:
    // The common steps of a device's init around `prepare` (the log file name).
    void init_device(const std::string& log_name);
    // The protocol log file: the "LOGS" folder beside the executable + `log_name`.
    void set_log_name(const std::string& log_name);
    void set_log_defaults(bool on, int mode);
    void set_log_on(bool on);
    void set_log_size_kb(int size);
    // Log mode bits `shift`..`shift`+1 as a category pair.
    int log_pair(int shift);
    void set_log_pair(int shift, int pair);
    bool lcn_seen() const { return lcn_seen_; }

    // Each answers false for an index outside the rows; `kind` is the editor kind.
    bool set_log_parameter(const log_rows& rows, int index, const std::string& text);
    bool get_log_parameter(const log_rows& rows, int index, std::string& value, std::string& name);
    bool log_parameter_editor(const log_rows& rows, int index, choice_list& choices, int& kind);

    i_update_poster* window_ = nullptr;

private:
    // Tables by object address, grown to the highest address received.
    template <class R> static R* slot(std::vector<R>& table, std::uint16_t ioa) {
        if (ioa >= table.size())
            table.resize(static_cast<std::size_t>(ioa) + 1);
        return &table[ioa];
    }
    template <class R> static bool read(const std::vector<R>& table, std::uint16_t ioa, R& record) {
        if (ioa >= table.size() || !table[ioa].present)
            return false;
        record = table[ioa];
        return true;
    }
    void store_locked(const nx_tm_object& object);
    // Marks the object attached at `ioa`, if any, as changed.
    bool mark_locked(std::uint16_t ioa) {
        const std::size_t word = ioa >> 6;
        const std::uint64_t bit = std::uint64_t{1} << (ioa & 63);
        if (word < attached_.size() && (attached_[word] & bit) != 0) {
            changed_[word] |= bit;
            return true;
        }
        return false;
    }
    template <class R> void forget_locked(std::vector<R>& table);

    std::mutex lock_;
    std::vector<single_record> singles_;
    std::vector<double_record> doubles_;
    std::vector<measured_record> measured_;
    std::vector<step_record> steps_;
    // The object table: the key of the information object attached at each address, the
    // same as a bit set, and the bit set of attached objects changed since the last hand-over.
    std::vector<std::string> object_keys_;
    std::vector<std::uint64_t> attached_;
    std::vector<std::uint64_t> changed_;
    std::map<std::string, std::uint16_t> attached_by_key_;
    // Time-tagged telesignal changes of attached objects since the last hand-over (worker
    // side) and those handed over, by address, until their object takes them.
    std::vector<tagged_change> tagged_;
    std::map<std::uint16_t, std::vector<tagged_change>> handed_tagged_;
    // The device's own key and its health object's go over with the next hand-over.
    bool device_changed_ = false;
    int log_mode_ = 0;
    int log_size_ = 1000;
    bool log_on_ = false;
    std::string log_file_;
    bool lcn_seen_ = false;
    std::atomic<int> interrogation_{-1};
    std::atomic<int> sync_{-2};
    std::atomic<bool> connected_{false};
    int generation_;
    std::string health_key_;
    // The device's own key as the worker reports it (set by init, under the lock).
    std::string own_key_;
};

} // namespace nxkit
