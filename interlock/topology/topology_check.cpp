#include "interlock/topology/topology_check.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "config/config_classes.h"
#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "interlock/interlock_classes.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_nodes.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "schemes/scheme_classes.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "schemes/t_mod_page.h"
#include "schemes/t_schema_modus50.h"
#include "structure/structure_classes.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>

namespace nxkit {

const char* status_text(row_status status) {
    switch (status) {
    case row_status::passed:
        return "соответствует";
    case row_status::insufficient:
        return "недостаточная блокировка";
    case row_status::excessive:
        return "избыточная блокировка";
    case row_status::not_checkable:
        return "не проверяется";
    case row_status::no_rule:
        return "правил нет";
    }
    return "";
}

const char* operation_text(switching_operation op) {
    return op == switching_operation::close ? "включение" : "отключение";
}

std::size_t topology_report::count(row_status status) const {
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [status](const row_check& r) { return r.status == status; }));
}

std::size_t topology_report::bound_hits() const {
    return static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [](const row_check& r) { return r.left_out > 0; }));
}

int topology_report::exit_code() const {
    return count(row_status::insufficient) > 0 ? 1 : 0;
}

station_pages read_station_pages(t_ref_buff& store, const std::string& sde_folder) {
    station_pages out;
    std::vector<std::map<int, std::string>> names;
    for (t_ref* r : store.refs().under("S")) {
        auto* scheme = dynamic_cast<t_schema_modus50*>(r);
        if (scheme == nullptr || scheme->has_flag_in_chain(flag_locked) || scheme->name().empty())
            continue;
        std::string path = sde_folder + scheme->scheme_file();
        if (!std::filesystem::exists(path)) {
            out.problems.push_back("Нет файла схемы " + path);
            continue;
        }
        try {
            out.schemes.push_back(read_sde_file(path));
        } catch (const nx_exception& e) {
            out.problems.push_back(e.what());
            out.broken = true;
            continue;
        }
        std::map<int, std::string> by_counter;
        for (const auto& [rtid, element] : scheme->elements_by_rtid()) {
            if (element == nullptr || element->disp_name().empty())
                continue;
            by_counter[rtid] = element->disp_name();
            if (t_el_onof* rule = element->switching_rule();
                rule != nullptr && !store.signal_owner(rule->on_condition()).empty())
                out.position_signals.emplace_back(element->disp_name(), rule->on_condition());
        }
        names.push_back(std::move(by_counter));
    }
    for (std::size_t s = 0; s < out.schemes.size(); ++s)
        for (const sde_page& page : out.schemes[s].pages)
            out.pages.push_back({&page, names[s]});
    return out;
}

namespace {

// Puts column states into the store's signals as manual input and reads the table's own
// evaluation after an update pass. The store is the check's own, nothing real is touched.
class table_probe {
public:
    explicit table_probe(t_ref_buff& store) : store_(store) {}

    // The signal values that put the column in `on` (none for a contact that is no signal).
    std::vector<signal_value> column_values(const t_ilk_vts& column, bool on) const {
        std::vector<signal_value> v;
        if (is_signal(column.contact_no()))
            v.push_back({column.contact_no(), on ? 1 : 0});
        if (is_signal(column.contact_nc()))
            v.push_back({column.contact_nc(), on ? 0 : 1});
        return v;
    }
    void set(const std::vector<signal_value>& values) {
        for (const signal_value& v : values)
            set(v.key, v.value);
    }
    void set(const std::string& key, int value) {
        auto [it, added] = current_.emplace(key, value);
        if (!added && it->second == value)
            return;
        it->second = value;
        if (auto* signal = dynamic_cast<i_struct_element*>(store_.get(store_.signal_owner(key))))
            signal->set_manual(value, true);
        dirty_ = true;
    }
    bool permits(t_ilk_or& condition) {
        if (dirty_) {
            store_.update_pass();
            dirty_ = false;
        }
        return condition.permits();
    }
    bool is_signal(const std::string& text) const {
        return !text.empty() && !store_.signal_owner(text).empty();
    }

private:
    t_ref_buff& store_;
    std::map<std::string, int> current_;
    bool dirty_ = false;
};

struct condition_info {
    t_ilk_or* condition;
    std::string text;
    // Columns outside the apparatus enumerated, with the values that let them permit.
    std::vector<signal_value> forced;
    // The scheme apparatus among those columns with the position asked for.
    std::vector<std::pair<int, bool>> asked;
};

void add_unique(std::vector<signal_value>& to, const std::vector<signal_value>& values) {
    for (const signal_value& v : values)
        if (std::none_of(to.begin(), to.end(),
                         [&](const signal_value& w) { return w.key == v.key; }))
            to.push_back(v);
}

class row_checker {
public:
    row_checker(t_ref_buff& store, const switching_topology& topology,
                const std::vector<std::pair<std::string, std::string>>& positions,
                const topology_options& options)
        : store_(store), topology_(topology), options_(options), probe_(store) {
        for (const auto& [name, key] : positions)
            position_signal_.emplace(name, key);
    }

    void table(t_ilk_tab& tab, topology_report& report) {
        columns_by_device_.clear();
        auto add_column = [&](t_ref* r) {
            auto* column = dynamic_cast<t_ilk_vts*>(r);
            if (column == nullptr)
                return;
            int device = topology_.find(column->disp_name());
            if (device >= 0)
                columns_by_device_[device].push_back(column);
        };
        if (t_ilk_tss* columns = tab.columns_node())
            for (t_ref* r : store_.refs().children(columns->key()))
                add_column(r);
        for (t_ilk_nmtss* same : tab.same_name_columns())
            for (t_ref* r : store_.refs().children(same->key()))
                add_column(r);
        t_ilk_tus* rows = tab.rows_node();
        if (rows == nullptr)
            return;
        for (t_ref* r : store_.refs().children(rows->key())) {
            auto* row = dynamic_cast<t_ilk_tu*>(r);
            if (row == nullptr || row->has_flag_in_chain(flag_locked))
                continue;
            row_check result;
            result.table_key = tab.key();
            result.table_name = tab.name();
            result.row_key = row->key();
            result.apparatus = row->disp_name();
            check_row(*row, result);
            report.rows.push_back(std::move(result));
        }
    }

private:
    void check_row(t_ilk_tu& row, row_check& result) {
        const int device = topology_.find(result.apparatus);
        if (result.apparatus.empty()) {
            result.note = "у строки нет диспетчерского имени";
            return;
        }
        if (device < 0) {
            result.note = "аппарата нет на схемах";
            return;
        }
        const auto& self = topology_.at(device);
        if (!self.connected) {
            result.note = "аппарат не соединён на схеме";
            return;
        }
        result.status = row_status::no_rule;
        for (switching_operation op : {switching_operation::close, switching_operation::open}) {
            rule_scope scope(topology_, device, op);
            if (!scope.applies())
                continue;
            if (result.status == row_status::no_rule)
                result.status = row_status::passed;
            check_operation(row, device, op, scope, result);
        }
        for (const topology_finding& f : result.findings) {
            if (f.kind == topology_finding::insufficient)
                result.status = row_status::insufficient;
            else if (result.status != row_status::insufficient)
                result.status = row_status::excessive;
        }
    }

    std::vector<signal_value> device_values(int device, bool closed) const {
        std::vector<signal_value> v;
        auto it = columns_by_device_.find(device);
        if (it != columns_by_device_.end())
            for (const t_ilk_vts* column : it->second)
                add_unique(v, probe_.column_values(*column, closed));
        if (v.empty()) {
            auto p = position_signal_.find(topology_.at(device).name);
            if (p != position_signal_.end())
                v.push_back({p->second, closed ? 1 : 0});
        }
        return v;
    }

    void check_operation(t_ilk_tu& row, int device, switching_operation op, const rule_scope& scope,
                         row_check& result) {
        const bool self_closed = op == switching_operation::open;
        std::vector<int> vars = scope.variables();
        if (vars.size() > options_.max_variables) {
            result.left_out = std::max(result.left_out, vars.size() - options_.max_variables);
            vars.resize(options_.max_variables);
        }
        result.variables = std::max(result.variables, vars.size());
        std::vector<int> table_vars;
        std::vector<int> other_vars;
        for (int v : vars)
            (columns_by_device_.count(v) ? table_vars : other_vars).push_back(v);

        // The conditions that speak for this operation, each with its columns beyond the
        // apparatus enumerated held where they permit.
        std::set<int> enumerated(table_vars.begin(), table_vars.end());
        enumerated.insert(device);
        std::vector<condition_info> conditions;
        int number = 0;
        for (t_ref* r : store_.refs().children(row.key())) {
            auto* c = dynamic_cast<t_ilk_or*>(r);
            if (c == nullptr)
                continue;
            ++number;
            if (c->has_flag(flag_locked))
                continue;
            const int wanted =
                op == switching_operation::close ? t_ilk_or::direction_on : t_ilk_or::direction_off;
            if (c->direction() != t_ilk_or::direction_none && c->direction() != wanted)
                continue;
            condition_info info{
                c, "условие " + std::to_string(number) + " «" + c->display_name() + "»", {}, {}};
            for (t_ref* p : store_.refs().children(c->key())) {
                auto* permission = dynamic_cast<t_ilk_and*>(p);
                if (permission == nullptr || permission->column_ref() == nullptr)
                    continue;
                int d = topology_.find(permission->column_ref()->disp_name());
                if (d >= 0 && enumerated.count(d))
                    continue;
                // Apparatus the rules read but the bound left out are not turned either.
                const auto& all = scope.variables();
                if (d >= 0 && std::find(all.begin(), all.end(), d) == all.end())
                    info.asked.emplace_back(d, permission->permits_when_on());
                add_unique(info.forced, probe_.column_values(*permission->column_ref(),
                                                             permission->permits_when_on()));
            }
            conditions.push_back(std::move(info));
        }

        std::vector<bool> closed(topology_.size(), false);
        closed[static_cast<std::size_t>(device)] = self_closed;
        const std::vector<signal_value> own = device_values(device, self_closed);
        bool insufficient_found = false;
        bool excess_found = false;
        const std::size_t table_states = std::size_t{1} << table_vars.size();
        const std::size_t other_states = std::size_t{1} << other_vars.size();
        std::vector<bool> permits(conditions.size());
        // The first position the rule and the table both permit, for the search below.
        std::size_t both_t = table_states;
        std::vector<bool> both_closed;
        for (std::size_t t = 0; t < table_states && !(insufficient_found && excess_found); ++t) {
            std::vector<signal_value> state = own;
            for (std::size_t i = 0; i < table_vars.size(); ++i) {
                bool on = ((t >> i) & 1) != 0;
                closed[static_cast<std::size_t>(table_vars[i])] = on;
                add_unique(state, device_values(table_vars[i], on));
            }
            bool any = false;
            for (std::size_t c = 0; c < conditions.size(); ++c) {
                probe_.set(state);
                probe_.set(conditions[c].forced);
                permits[c] = probe_.permits(*conditions[c].condition);
                any = any || permits[c];
            }
            for (std::size_t o = 0; o < other_states; ++o) {
                for (std::size_t i = 0; i < other_vars.size(); ++i)
                    closed[static_cast<std::size_t>(other_vars[i])] = ((o >> i) & 1) != 0;
                ++result.states;
                std::string why;
                const switching_rule* broken = scope.verdict(closed, &why);
                if (broken != nullptr && any && !insufficient_found) {
                    std::size_t c = static_cast<std::size_t>(
                        std::find(permits.begin(), permits.end(), true) - permits.begin());
                    topology_finding f;
                    f.kind = topology_finding::insufficient;
                    f.op = op;
                    f.rule = broken;
                    f.condition_key = conditions[c].condition->key();
                    f.condition_text = conditions[c].text;
                    f.reason = why;
                    describe(f, device, vars, closed, state, other_vars);
                    add_unique(f.counter_example, conditions[c].forced);
                    result.findings.push_back(std::move(f));
                    insufficient_found = true;
                } else if (broken == nullptr && any && both_t == table_states) {
                    both_t = t;
                    both_closed = closed;
                } else if (broken == nullptr && !any && !excess_found) {
                    topology_finding f;
                    f.kind = topology_finding::excessive;
                    f.op = op;
                    describe(f, device, vars, closed, state, other_vars);
                    result.findings.push_back(std::move(f));
                    excess_found = true;
                }
            }
        }
        if (!excess_found && both_t < table_states)
            search_asked_positions(device, vars, table_vars, conditions, both_t, both_closed, own,
                                   op, result);
    }

    // Apparatus the table asks about and the rules do not read: one at a time turned against
    // what a condition asks, from a position both permit. When no condition permits then, the
    // table forbids what the rules allow.
    void search_asked_positions(int device, const std::vector<int>& vars,
                                const std::vector<int>& table_vars,
                                std::vector<condition_info>& conditions, std::size_t t,
                                std::vector<bool> closed, const std::vector<signal_value>& own,
                                switching_operation op, row_check& result) {
        std::vector<signal_value> state = own;
        for (std::size_t i = 0; i < table_vars.size(); ++i)
            add_unique(state, device_values(table_vars[i], ((t >> i) & 1) != 0));
        std::vector<int> tried;
        for (const condition_info& info : conditions)
            for (const auto& [d, wanted] : info.asked) {
                if (std::find(tried.begin(), tried.end(), d) != tried.end())
                    continue;
                tried.push_back(d);
                const std::vector<signal_value> turned = device_values(d, !wanted);
                bool any = false;
                for (condition_info& c : conditions) {
                    probe_.set(state);
                    probe_.set(c.forced);
                    probe_.set(turned);
                    any = any || probe_.permits(*c.condition);
                }
                ++result.states;
                if (any)
                    continue;
                closed[static_cast<std::size_t>(d)] = !wanted;
                topology_finding f;
                f.kind = topology_finding::excessive;
                f.op = op;
                std::vector<int> shown = vars;
                shown.push_back(d);
                describe(f, device, shown, closed, state, {});
                add_unique(f.counter_example, turned);
                result.findings.push_back(std::move(f));
                return;
            }
    }

    void describe(topology_finding& f, int device, const std::vector<int>& vars,
                  const std::vector<bool>& closed, const std::vector<signal_value>& state,
                  const std::vector<int>& other_vars) const {
        f.positions.emplace_back(topology_.at(device).name,
                                 closed[static_cast<std::size_t>(device)]);
        for (int v : vars)
            f.positions.emplace_back(topology_.at(v).name, closed[static_cast<std::size_t>(v)]);
        f.counter_example = state;
        for (int v : other_vars)
            add_unique(f.counter_example, device_values(v, closed[static_cast<std::size_t>(v)]));
    }

    t_ref_buff& store_;
    const switching_topology& topology_;
    const topology_options& options_;
    table_probe probe_;
    std::map<std::string, std::string> position_signal_;
    std::map<int, std::vector<t_ilk_vts*>> columns_by_device_;
};

std::string positions_text(const std::vector<std::pair<std::string, bool>>& positions) {
    std::string text;
    for (const auto& [name, on] : positions)
        text += (text.empty() ? "" : ", ") + name + (on ? " включен" : " отключен");
    return text;
}

} // namespace

topology_report check_topology(t_ref_buff& store, const switching_topology& topology,
                               const std::vector<std::pair<std::string, std::string>>& positions,
                               const topology_options& options) {
    topology_report report;
    row_checker checker(store, topology, positions, options);
    for (t_ref* r : store.refs().under("S"))
        if (auto* tab = dynamic_cast<t_ilk_tab*>(r);
            tab != nullptr && !tab->has_flag_in_chain(flag_locked))
            checker.table(*tab, report);
    return report;
}

std::string finding_text(const topology_finding& f) {
    std::string text = std::string(operation_text(f.op)) + ": ";
    if (f.kind == topology_finding::insufficient)
        text += "таблица разрешает (" + f.condition_text + "), правило " + f.rule->id +
                " запрещает: " + f.reason + "\n";
    else
        text += "правило разрешает, таблица запрещает\n";
    text += "  положения: " + positions_text(f.positions) + "\n";
    text += "  сигналы:";
    for (const signal_value& v : f.counter_example)
        text += " " + v.key + "=" + std::to_string(v.value);
    return text + "\n";
}

std::string report_text(const topology_report& report) {
    std::string text = "Проверка блокировок по схеме\n";
    for (const std::string& p : report.problems)
        text += "! " + p + "\n";
    std::string table;
    for (const row_check& row : report.rows) {
        if (row.table_key != table) {
            table = row.table_key;
            text += "Таблица «" + row.table_name + "»\n";
        }
        text += "  " + (row.apparatus.empty() ? row.row_key : row.apparatus) + " — " +
                status_text(row.status);
        if (!row.note.empty())
            text += ": " + row.note;
        text += "\n";
        if (row.left_out > 0)
            text += "    граница перебора: учтено " + std::to_string(row.variables) + " из " +
                    std::to_string(row.variables + row.left_out) + " аппаратов\n";
        for (const topology_finding& f : row.findings) {
            std::string lines = finding_text(f);
            std::size_t start = 0;
            while (start < lines.size()) {
                std::size_t end = lines.find('\n', start);
                text += "    " + lines.substr(start, end - start) + "\n";
                start = end + 1;
            }
        }
    }
    text += "Итого строк: " + std::to_string(report.rows.size()) + "; недостаточная блокировка: " +
            std::to_string(report.count(row_status::insufficient)) +
            "; избыточная блокировка: " + std::to_string(report.count(row_status::excessive)) +
            "; не проверяется: " + std::to_string(report.count(row_status::not_checkable)) +
            "; правил нет: " + std::to_string(report.count(row_status::no_rule)) +
            "; соответствует: " + std::to_string(report.count(row_status::passed)) + "\n";
    text += "Правила:\n";
    for (const switching_rule* r :
         {&rule_disconnector_path(), &rule_earthing_switch(), &rule_disconnector_earths()})
        text += "  " + std::string(r->id) + ". " + r->wording + ".\n";
    return text;
}

bool check_station(const std::string& station_dir, topology_report& report, std::string& error,
                   const topology_options& options) {
    std::string dir = station_dir;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    const std::string refs = dir + "refs.ini";
    if (!std::filesystem::is_regular_file(refs)) {
        error = "Нет файла конфигурации " + refs;
        return false;
    }
    // The station is only read: a detached store without the equipment classes (a device,
    // even one never started, prepares its log folder in the station).
    t_ref_buff store;
    store.set_detached();
    register_config_classes(store);
    register_structure_classes(store);
    register_schemes_classes(store);
    register_interlock_classes(store);
    try {
        std::string bytes;
        if (!read_file(refs, bytes))
            throw nx_exception("не удалось прочитать " + refs);
        store.load_text(from_cp1251(bytes));
    } catch (const std::exception& e) {
        error = std::string("Конфигурация не загружена: ") + e.what();
        return false;
    }
    if (store.state().load_failed()) {
        error = "Конфигурация не загружена: " + refs;
        return false;
    }
    station_pages pages = read_station_pages(store, dir + "SDE/");
    if (pages.broken) {
        error = pages.problems.back();
        return false;
    }
    switching_topology topology(pages.pages);
    report = check_topology(store, topology, pages.position_signals, options);
    report.problems = pages.problems;
    return true;
}

int run_topology_check(const std::string& station_dir, std::ostream& out,
                       const topology_options& options) {
    topology_report report;
    std::string error;
    if (!check_station(station_dir, report, error, options)) {
        out << error << "\n";
        return 2;
    }
    out << report_text(report);
    return report.exit_code();
}

} // namespace nxkit
