#include "interlock/export_interlock.h"
#include "interlock/export_review.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/format.h"
#include "base/nx_dir_cursor.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings_keys.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/ilk_common.h"
#include "interlock/ilk_state.h"
#include "interlock/ilk_table_edits.h"
#include "interlock/t_ilk_and.h"
#include "interlock/t_ilk_or.h"
#include "interlock/t_ilk_root.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "platform/station.h"
#include "telemech/t_dev_asdu.h"
#include "telemech/t_dev_change.h"

#include <algorithm>
#include <cstdio>

namespace nxkit {

namespace {

const char* const mek_marker = ".MEK=";

// One "$ILK=" line with the number it is ordered by.
struct ilk_line {
    int number = 0;
    std::string text;
};

[[noreturn]] void fail(const std::string& text) {
    throw nx_exception_struct_to_ilk(text);
}

// Every line end (CR LF, LF CR, LF or CR alone) becomes CR LF; trailing line ends go.
std::string normalise_line_ends(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size();) {
        if (std::size_t end = line_end_length(text, i); end != 0) {
            out += "\r\n";
            i += end;
        } else {
            out += text[i++];
        }
    }
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n'))
        out.pop_back();
    return out;
}

} // namespace

std::size_t line_end_length(const std::string& text, std::size_t at) {
    if (at >= text.size() || (text[at] != '\r' && text[at] != '\n'))
        return 0;
    // The pair is one end whichever comes first; two equal ones are two ends (an empty line).
    if (at + 1 < text.size() && (text[at + 1] == '\r' || text[at + 1] == '\n') &&
        text[at + 1] != text[at])
        return 2;
    return 1;
}

namespace {

// Where the interlock block starts: the first line that begins with "$ILKK=", else the first
// that begins with "$ILK="; npos when neither. A mention inside another line is no block.
std::size_t block_start(const std::string& text) {
    for (const char* marker : {"$ILKK=", "$ILK="}) {
        for (std::size_t at = text.find(marker); at != std::string::npos;
             at = text.find(marker, at + 1))
            if (at == 0 || text[at - 1] == '\r' || text[at - 1] == '\n')
                return at;
    }
    return std::string::npos;
}

// Turns one table into "$ILK=" lines; the signals name telesignals of one controller.
class line_builder {
public:
    // A builder without the `.MEK=` numbers only finds the controller and checks the table.
    line_builder(t_ref_buff& store) : store_(store), check_indexes_(false) {}
    line_builder(t_ref_buff& store, int first, int second)
        : store_(store), first_(first), second_(second) {}

    // The controller device fixed by the first signal written ("" before any).
    const std::string& device_key() const { return device_key_; }

    // Every row of the root's subtree, in key order.
    std::vector<ilk_line> build(const std::string& root_key) {
        std::vector<ilk_line> lines;
        for (t_ref* r : store_.refs().under(root_key)) {
            auto* row = dynamic_cast<t_ilk_tu*>(r);
            if (row != nullptr && !row->has_flag_in_chain(flag_locked))
                add_row(*row, lines);
        }
        return lines;
    }

private:
    struct pair {
        bool present = false;
        int index = 0;
        bool single = true;
    };

    static std::string pair_text(const pair& p, bool inverted) {
        int code = (p.single ? 1 : 2) + (inverted ? 128 : 0);
        return " " + std::to_string(p.index) + " " + std::to_string(code);
    }

    // The telesignal a signal key stands for, by its position in the controller's lists.
    pair signal_pair(const std::string& signal_key, t_ref& component) {
        pair p;
        if (signal_key.empty())
            return p;
        auto* object = dynamic_cast<t_dev_change*>(store_.get(store_.feeder(signal_key)));
        if (object == nullptr)
            fail("Сигнал " + signal_key +
                 " не привязан к контроллеру.\r\n\r\nНеобходимо выбрать другой сигнал для "
                 "компонента:\r\n" +
                 component.full_path_text() + ".");
        t_dev_asdu* device = nullptr;
        for (t_ref* up = object->parent(); up != nullptr && device == nullptr; up = up->parent())
            device = dynamic_cast<t_dev_asdu*>(up);
        std::string device_key = device != nullptr ? device->key() : std::string();
        if (!device_fixed_) {
            device_fixed_ = true;
            device_key_ = device_key;
        } else if (device_key != device_key_) {
            t_ref* fixed = store_.get(device_key_);
            fail("Сигнал " + signal_key + " принадлежит:\r\n" + object->full_path_text() +
                 ".\r\n\r\nСигналы для этой блокировки нужно брать из:\r\n" +
                 (fixed != nullptr ? fixed->full_path_text() : std::string()) +
                 ".\r\n\r\nНеобходимо выбрать другой сигнал для компонента:\r\n" +
                 component.full_path_text() + ".");
        }
        p.present = true;
        p.single = object->type() == tp_dev_ts;
        p.index = static_cast<int>(object->addr()) - (p.single ? first_ : second_);
        // The controller counts from 1 in 16 bits: anything else would name another signal.
        if (check_indexes_ && (p.index < 1 || p.index > ilk_u16_max))
            fail("Сигнал " + signal_key + " (адрес " + std::to_string(object->addr()) +
                 ") получает в файле индекс " + std::to_string(p.index) +
                 ", а допустимы индексы от 1 до 65535 (строка .MEK=" + std::to_string(first_ + 1) +
                 " " + std::to_string(second_ + 1) +
                 ").\r\n\r\nНеобходимо выбрать другой сигнал для компонента:\r\n" +
                 component.full_path_text() + ".");
        return p;
    }

    void add_row(t_ilk_tu& row, std::vector<ilk_line>& lines) {
        bool has_tu = false;
        bool remote = false;
        for (t_ref* child : store_.refs().children(row.key())) {
            auto* condition = dynamic_cast<t_ilk_or*>(child);
            if (condition == nullptr || condition->has_flag(flag_locked))
                continue;
            add_condition(row, *condition, has_tu, remote, lines);
        }
        if (has_tu && !remote)
            fail("Для компонента\r\n\r\n" + row.full_path_text() +
                 "\r\n\r\nне нужно указывать параметры \"Сигнал ТУ ВКЛ\" и \"Сигнал ТУ ОТКЛ\", "
                 "так как у него нет дистанционного \"Условия коммутации\".");
    }

    void add_condition(t_ilk_tu& row, t_ilk_or& condition, bool& has_tu, bool& remote,
                       std::vector<ilk_line>& lines) {
        std::string pairs;
        int count = 0;
        for (t_ref* child : store_.refs().children(condition.key())) {
            auto* permission = dynamic_cast<t_ilk_and*>(child);
            if (permission == nullptr || permission->has_flag(flag_locked))
                continue;
            t_ilk_vts* column = permission->column_ref();
            if (column == nullptr || column->has_flag_in_chain(flag_locked))
                continue;
            bool on = permission->permits_when_on();
            if (pair p = signal_pair(column->contact_no(), *permission); p.present) {
                pairs += pair_text(p, !on);
                ++count;
            }
            if (pair p = signal_pair(column->contact_nc(), *permission); p.present) {
                pairs += pair_text(p, on);
                ++count;
            }
        }
        if (count == 0)
            fail("Добавьте '" + type_name(tp_ilk_and) + "' для компонента:\r\n\r\n" +
                 condition.full_path_text() + ".");

        int mode = condition.control_mode();
        bool manual = mode == t_ilk_or::mode_manual;
        long t1 = manual ? 0 : row.timeout_t1();
        long t2 = manual ? 0 : row.timeout_t2();
        std::string tc;
        std::string alt;
        if (!row.tu_on_signal().empty() || !row.tu_off_signal().empty()) {
            tc = " 0 0";
            has_tu = true;
            ++count;
        }
        std::string ready = " 0";
        bool both = false;
        if (!manual && t1 == 0 && t2 == 0)
            fail("Отсутствуют значения параметров \"Таймаут t1,с\" и \"Таймаут t2,с\" у "
                 "компонента:\r\n\r\n" +
                 row.full_path_text() +
                 ".\r\n\r\nПредпочтительно использовать параметр \"Таймаут t2,с\".");
        if (pair p = signal_pair(row.ready_signal(), row); p.present)
            ready = " " + std::to_string(p.index);
        else if (mode == t_ilk_or::mode_remote)
            fail("Отсутствует значение параметра \"Сигнал готовности\" у компонента:\r\n\r\n" +
                 row.full_path_text() + ".");
        if (mode == t_ilk_or::mode_remote) {
            remote = true;
            both = condition.direction() == t_ilk_or::direction_none;
            pair on = signal_pair(row.tu_on_signal(), row);
            pair off = signal_pair(row.tu_off_signal(), row);
            if (on.present)
                tc = pair_text(on, false);
            else if (off.present)
                tc = pair_text(off, true);
            else
                fail("Отсутствуют параметры \"Сигнал ТУ ВКЛ\" и \"Сигнал ТУ ОТКЛ\" у "
                     "компонента:\r\n\r\n" +
                     row.full_path_text() + ".");
            alt = off.present ? pair_text(off, false) : pair_text(on, true);
            if (condition.direction() == t_ilk_or::direction_off)
                tc = alt;
        }
        long number = row.permission_tu_number();
        if (number == 0)
            fail("Отсутствует параметр \"№ ТУ разрешения\" у компонента:\r\n\r\n" +
                 row.full_path_text() + ".");
        // Numbers the line cannot carry are refused, never wrapped.
        auto check_u16 = [&row](long value, const char* caption) {
            if (value < 0 || value > ilk_u16_max)
                fail("Значение " + std::to_string(value) + " параметра \"" + caption +
                     "\" не помещается в строку $ILK= (допустимо от 0 до 65535) у "
                     "компонента:\r\n\r\n" +
                     row.full_path_text() + ".");
        };
        check_u16(number, "№ ТУ разрешения");
        check_u16(row.timeout_t1(), "Таймаут t1,с");
        check_u16(row.timeout_t2(), "Таймаут t2,с");
        auto line = [&](const std::string& telecontrol) {
            std::string head = "$ILK=" + std::to_string(number) + " " + std::to_string(count) +
                               telecontrol + " " + std::to_string(t1) + " " + std::to_string(t2) +
                               ready;
            return ilk_line{static_cast<int>(number), "\r\n" + head + pairs};
        };
        lines.push_back(line(tc));
        if (both)
            lines.push_back(line(alt));
    }

    t_ref_buff& store_;
    int first_ = 0;
    int second_ = 0;
    bool check_indexes_ = true;
    bool device_fixed_ = false;
    std::string device_key_;
};

// The export proper; shows the messages it reports directly and throws the others.
bool run_export(t_ref_buff& store, t_ilk_root& root, const std::string& caption, bool with_transfer,
                const transfer_options& options) {
    owner_handle owner = store.owner_window();
    const char* box_caption = caption.c_str();
    std::string folder = export_folder();
    std::string table_path = root.full_path_text();

    if (root.export_file().empty()) {
        if (!with_transfer) {
            show_message(owner,
                         "Не выбран файл для экспорта.\r\n\r\nСкопируйте файл conf.ini (conf*.ini) "
                         "в директорию:\r\n" +
                             folder + "\r\nИ выберите его имя в параметре \"Файл для экспорта\".",
                         mb_error, box_caption);
            return false;
        }
        if (show_message(owner,
                         "Не выбран файл для экспорта.\r\n\r\nВыбрать для экспорта "
                         "файл:\r\nconf.ini ?",
                         mb_question, box_caption) != answer_yes)
            return false;
        root.set_export_file("conf.ini");
        root.set_flag(true, flag_modified);
    }
    std::string path = folder + root.export_file();

    // The controller is the device of the first signal the export writes; a used signal of
    // another device fails here, before anything is fetched or sent.
    std::string device_key;
    if (with_transfer) {
        line_builder probe(store);
        probe.build(root.key());
        device_key = probe.device_key();
        if (options.controller != nullptr)
            *options.controller = device_key;
        bool fetch =
            !file_exists(path) || show_message(owner,
                                               "Заменить файл конфигурации :\r\n\r\n" + path +
                                                   "\r\n\r\nфайлом конфигурации из контроллера ?",
                                               mb_question, box_caption) == answer_yes;
        if (fetch)
            transfer_with_device(store, device_key, path, true, options);
    }

    std::string text;
    if (!file_exists(path) || !read_file(path, text)) {
        show_message(owner, "Не найден файл для экспорта:\r\n\r\n" + path, mb_error, box_caption);
        return false;
    }

    std::size_t mek = text.find(mek_marker);
    if (mek == std::string::npos) {
        show_message(owner,
                     "В файле для экспорта:\r\n\r\n" + path + "\r\n\r\nне найдена строка " +
                         mek_marker + ".",
                     mb_error, box_caption);
        return false;
    }
    const std::string current_text = text;
    std::string mek_line = text.substr(mek, text.find_first_of("\r\n", mek) - mek);
    int first = 0;
    int second = 0;
    if (std::sscanf(mek_line.c_str(), ".MEK=%d %d", &first, &second) != 2) {
        show_message(owner,
                     "В файле для экспорта:\r\n\r\n" + path + "\r\n\r\nнеожиданный формат " +
                         from_cp1251(mek_line) + ".",
                     mb_error, box_caption);
        return false;
    }

    std::size_t cut = block_start(text);
    if (cut != std::string::npos)
        text.erase(cut);
    text = normalise_line_ends(text);
    if (!text.empty())
        text += "\r\n";

    line_builder builder(store, first - 1, second - 1);
    std::vector<ilk_line> lines = builder.build(root.key());
    // An empty block would clear the controller's interlocks: only when the engineer says so.
    if (lines.empty() &&
        show_message(owner,
                     "В таблице блокировки:\r\n" + table_path +
                         "\r\n\r\nстрок блокировки нет: очистить блок в файле?\r\n" + path,
                     mb_question, box_caption) != answer_yes)
        return false;
    std::stable_sort(lines.begin(), lines.end(),
                     [](const ilk_line& a, const ilk_line& b) { return a.number < b.number; });
    std::string body;
    for (const ilk_line& line : lines)
        body += line.text;
    if (read_setting(setting::ilkk) != 0)
        body = "$ILKK=" + std::to_string(lines.size()) + body;
    else if (!body.empty())
        body.erase(0, 2);
    if (!body.empty())
        text += body + "\r\n";

    // The engineer sees what changes before anything is written or loaded.
    if (options.review) {
        std::vector<review_line> changes =
            review_lines(from_cp1251(current_text), from_cp1251(text));
        if (show_message(owner,
                         "Изменения в файле " + path + (with_transfer ? " (из контроллера)" : "") +
                             ":\r\n\r\n" + review_text(changes) +
                             (with_transfer ? "\r\nЗагрузить новый файл в контроллер ?"
                                            : "\r\nЗаписать новый файл ?"),
                         mb_question, box_caption) != answer_yes)
            return false;
    }

    if (show_message(owner,
                     "Экспортировать конфигурацию блокировки:\r\n" + table_path +
                         "\r\n\r\nв файл:\r\n" + path + " " +
                         (with_transfer ? "\r\n\r\nc загрузкой в контролллер ?" : "?"),
                     mb_question, box_caption) != answer_yes)
        return false;

    if (!write_file_atomic(path, text))
        fail("Не удалось обновить файл:\r\n\r\n" + path + ".");
    if (with_transfer)
        transfer_with_device(store, builder.device_key(), path, false, options);
    return true;
}

} // namespace

std::string export_folder() {
    std::string folder = exe_dir() + "CONF_INI/";
    make_dirs(folder);
    return folder;
}

std::vector<std::string> export_files() {
    std::vector<std::string> names;
    nx_dir_cursor c(export_folder(), "conf*.ini", false);
    while (c.next())
        names.push_back(c.name());
    std::sort(names.begin(), names.end());
    return names;
}

bool export_interlock(t_ref_buff& store, const std::string& root_key, const std::string& caption,
                      bool with_transfer, const transfer_options& options) {
    auto* root = dynamic_cast<t_ilk_root*>(store.get(root_key));
    if (root == nullptr)
        return false;
    // A copy made for checking (the what-if mode) holds values that are not real: nothing of
    // it may reach a controller file or a controller.
    if (store.detached()) {
        nx_log::main().war(caption + ": в режиме проверки блокировок экспорт невозможен");
        return false;
    }
    if (ilk_state* state = ilk_state::find(store);
        state != nullptr && !state->export_refusal.empty()) {
        nx_log::main().war(caption + ": " + state->export_refusal);
        show_message(store.owner_window(), state->export_refusal, mb_error);
        return false;
    }
    try {
        flush_table_edits(store);
        return run_export(store, *root, caption, with_transfer, options);
    } catch (const nx_exception& failure) {
        report_transfer_failure(store, failure, caption);
        return false;
    }
}

} // namespace nxkit
