#include "interlock/whatif/switching_program.h"

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "base/text.h"
#include "config/t_ref_buff.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_tab.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "interlock/whatif/whatif_engine.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "structure/t_struct_vl.h"

#include <sstream>

namespace nxkit {

namespace {

bool valid_utf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || i + static_cast<std::size_t>(more) >= text.size())
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) >> 6) != 2)
                return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

// Fields of a CSV line, trimmed of tabs and spaces.
std::vector<std::string> split_fields(const std::string& line, char separator) {
    std::vector<std::string> fields = split_csv_line(line, separator);
    for (std::string& f : fields)
        f = trim(trim(f, '\t'), ' ');
    return fields;
}

// 1 on, 0 off, -1 not an operation.
int operation_of(const std::string& word) {
    std::string w = to_lower(word);
    for (const char* on : {"включить", "вкл", "вкл.", "on"})
        if (w == on)
            return 1;
    for (const char* off : {"отключить", "откл", "откл.", "off"})
        if (w == off)
            return 0;
    return -1;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string table_name(t_ilk_tu& row) {
    for (t_ref* r = row.parent(); r != nullptr; r = r->parent())
        if (auto* tab = dynamic_cast<t_ilk_tab*>(r))
            return tab->name();
    return {};
}

std::string mode_text(int mode) {
    for (const choice& c : t_ilk_or::mode_choices())
        if (c.value == mode)
            return c.text;
    return std::to_string(mode);
}

// The signal lines of a permission's column, as the element menu lists signals.
void contact_lines(t_ref_buff& store, t_ilk_and& permission, std::vector<std::string>& out) {
    t_ilk_vts* column = permission.column_ref();
    if (column == nullptr) {
        out.push_back("      нет столбца с номером " + std::to_string(permission.column_number()));
        return;
    }
    for (const std::string& contact : {column->contact_no(), column->contact_nc()}) {
        if (contact.empty())
            continue;
        auto* s = dynamic_cast<t_struct_vl*>(store.get(store.signal_owner(contact)));
        out.push_back("      " + (s != nullptr ? s->listing_text() : contact + " (не сигнал)"));
    }
}

bool condition_applies(const t_ilk_or& condition, bool switch_on) {
    int d = condition.direction();
    return d == t_ilk_or::direction_none ||
           d == (switch_on ? t_ilk_or::direction_on : t_ilk_or::direction_off);
}

// Whether the row permits the operation; when not, why, appended to `why`.
bool row_permits(t_ref_buff& store, t_ilk_tu& row, bool switch_on, std::vector<std::string>& why) {
    std::vector<t_ilk_or*> conditions;
    for (t_ref* r : store.refs().children(row.key()))
        if (auto* c = dynamic_cast<t_ilk_or*>(r); c != nullptr && !c->has_flag(flag_locked))
            conditions.push_back(c);
    std::vector<std::string> lines;
    bool any = false;
    int number = 0;
    for (t_ilk_or* c : conditions) {
        ++number;
        if (!condition_applies(*c, switch_on))
            continue;
        any = true;
        if (c->permits())
            return true;
        lines.push_back("  условие " + std::to_string(number) +
                        (c->title().empty() ? std::string() : " \"" + c->title() + "\"") + " (" +
                        mode_text(c->control_mode()) + "): не выполнено");
        bool has_active = false;
        for (t_ref* r : store.refs().children(c->key())) {
            auto* p = dynamic_cast<t_ilk_and*>(r);
            if (p == nullptr || !p->active())
                continue;
            has_active = true;
            lines.push_back(std::string("    ") + (p->permits() ? "[да]  " : "[нет] ") +
                            blocker_line(p->permits_when_on(), p->disp_name()));
            contact_lines(store, *p, lines);
        }
        if (!has_active)
            lines.push_back("    нет действующих разрешений");
    }
    why.push_back("строка \"" + row.display_name() + "\" таблицы \"" + table_name(row) + "\"");
    if (!any)
        why.push_back(std::string("  нет условия для ") + (switch_on ? "включения" : "отключения"));
    why.insert(why.end(), lines.begin(), lines.end());
    return false;
}

} // namespace

const char* operation_text(bool switch_on) {
    return switch_on ? "включить" : "отключить";
}

std::vector<program_step> read_switching_program(const std::string& source) {
    std::string text = valid_utf8(source) ? source : from_cp1251(source);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::vector<program_step> steps;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string body = trim(trim(line, ' '), '\t');
        if (body.empty() || body[0] == '#')
            continue;
        auto fail = [&](const std::string& why) {
            throw nx_exception("строка " + std::to_string(number) + ": " + why + ": " + line);
        };
        char separator = body.find(';') != std::string::npos    ? ';'
                         : body.find('\t') != std::string::npos ? '\t'
                         : body.find(',') != std::string::npos  ? ','
                                                                : '\0';
        program_step step;
        step.line = number;
        if (separator != '\0') {
            std::vector<std::string> f = split_fields(body, separator);
            if (steps.empty() && to_lower(f[0]) == "аппарат")
                continue;
            if (f.size() < 2 || f[0].empty())
                fail("нужны аппарат и операция");
            int op = operation_of(f[1]);
            if (op < 0)
                fail("операция не \"включить\" и не \"отключить\"");
            step.apparatus = f[0];
            step.switch_on = op == 1;
            for (std::size_t i = 2; i < f.size(); ++i)
                step.comment += (i > 2 ? std::string(1, separator) : std::string()) + f[i];
        } else {
            std::istringstream words(body);
            std::string op_word;
            words >> op_word >> step.apparatus;
            int op = operation_of(op_word);
            if (op < 0)
                fail("операция не \"включить\" и не \"отключить\"");
            if (step.apparatus.empty())
                fail("нет аппарата");
            step.switch_on = op == 1;
            std::string rest;
            std::getline(words, rest);
            step.comment = trim(rest, ' ');
        }
        steps.push_back(step);
    }
    return steps;
}

std::string switching_program_csv(const std::vector<program_step>& steps) {
    std::string text = "аппарат;операция;комментарий\r\n";
    for (const program_step& s : steps)
        text += csv_field(s.apparatus) + ";" + operation_text(s.switch_on) + ";" +
                csv_field(s.comment) + "\r\n";
    return text;
}

std::vector<step_result> check_switching_program(whatif_engine& engine,
                                                 const std::vector<program_step>& steps) {
    std::vector<step_result> results;
    results.reserve(steps.size());
    for (const program_step& step : steps) {
        step_result r;
        r.step = step;
        whatif_apparatus apparatus;
        if (!engine.find_apparatus(step.apparatus, apparatus)) {
            r.verdict = step_result::unknown_apparatus;
            r.explanation.push_back("нет столбца таблицы и нет сигнала \"" + step.apparatus + "\"");
            results.push_back(std::move(r));
            continue;
        }
        r.apparatus_name = apparatus.name;
        r.already = engine.position(apparatus) == (step.switch_on ? 1 : 0);
        std::vector<t_ilk_tu*> rows = engine.rows_of(apparatus.name);
        if (rows.empty()) {
            r.verdict = step_result::no_row;
            r.explanation.push_back("ни одна строка таблиц блокировки не управляет \"" +
                                    apparatus.name + "\"");
        } else {
            // Every table that controls the apparatus must let it go.
            bool permitted = true;
            for (t_ilk_tu* row : rows)
                permitted =
                    row_permits(engine.store(), *row, step.switch_on, r.explanation) && permitted;
            r.verdict = permitted ? step_result::permitted : step_result::blocked;
            if (permitted)
                r.explanation.clear();
        }
        engine.set_position(apparatus, step.switch_on);
        engine.apply();
        results.push_back(std::move(r));
    }
    return results;
}

const char* verdict_text(step_result::verdict_kind verdict) {
    switch (verdict) {
    case step_result::permitted:
        return "разрешено";
    case step_result::blocked:
        return "ЗАПРЕЩЕНО";
    case step_result::no_row:
        return "нет блокировки";
    case step_result::unknown_apparatus:
        return "аппарат не найден";
    }
    return "";
}

bool program_passes(const std::vector<step_result>& results) {
    for (const step_result& r : results)
        if (r.verdict != step_result::permitted)
            return false;
    return true;
}

std::string program_result_text(const std::vector<step_result>& results) {
    std::string text;
    int number = 0;
    int refused = 0;
    for (const step_result& r : results) {
        ++number;
        if (r.verdict != step_result::permitted)
            ++refused;
        text += std::to_string(number) + ". " + operation_text(r.step.switch_on) + " " +
                r.step.apparatus + ": " + verdict_text(r.verdict);
        if (r.already)
            text += std::string(" (уже ") + (r.step.switch_on ? "включен" : "отключен") + ")";
        if (!r.step.comment.empty())
            text += " \xE2\x80\x94 " + r.step.comment;
        text += "\n";
        for (const std::string& line : r.explanation)
            text += "    " + line + "\n";
    }
    text += "шагов: " + std::to_string(results.size()) +
            ", не пройдено: " + std::to_string(refused) + "\n";
    return text;
}

std::string program_result_csv(const std::vector<step_result>& results) {
    std::string text = "шаг;аппарат;операция;результат;пояснение;комментарий\r\n";
    int number = 0;
    for (const step_result& r : results) {
        std::string why;
        for (const std::string& line : r.explanation)
            why += (why.empty() ? "" : "\n") + trim(line, ' ');
        text += std::to_string(++number) + ";" + csv_field(r.step.apparatus) + ";" +
                operation_text(r.step.switch_on) + ";" + verdict_text(r.verdict) + ";" +
                csv_field(why) + ";" + csv_field(r.step.comment) + "\r\n";
    }
    return text;
}

} // namespace nxkit
