#include "access/engineer_access.h"

#include "access/audit_chain.h"
#include "access/password_file.h"
#include "base/files.h"
#include "base/nx_log.h"
#include "base/settings_keys.h"
#include "platform/user.h"

#include <chrono>
#include <cstdio>

namespace nxkit {

namespace {

const char* const caption = "Доступ инженера";
constexpr int tries = 3;

long long steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

engineer_access::options engineer_access::station_options() {
    options o;
    o.password_path = password_file_path();
    o.audit_path = audit_log_path();
    o.now_ms = steady_ms;
    o.idle_minutes = read_setting(setting::access_idle);
    o.lockout_seconds = read_setting(setting::access_lockout);
    o.audit = read_setting(setting::audit) != 0;
    o.audit_size = read_setting(setting::audit_size);
    o.user = current_user_name();
    return o;
}

engineer_access::engineer_access(options o)
    : options_(std::move(o)),
      log_(std::make_unique<audit_log>(options_.audit_path, options_.audit_size)),
      iterations_(password_iterations) {
    if (!options_.now_ms)
        options_.now_ms = steady_ms;
    if (options_.user.empty())
        options_.user = current_user_name();
}

engineer_access::~engineer_access() {
    // The program ends in edit mode: the trail shows it left too. The worker writes what is
    // queued before it ends.
    if (edit_mode_)
        record("выход из режима редактирования", "завершение работы");
    if (current_access() == this)
        set_access(nullptr);
}

bool engineer_access::password_set() const {
    return file_exists(options_.password_path);
}

bool engineer_access::recording() const {
    return options_.audit || password_set();
}

std::string_view engineer_access::role() const {
    bool engineer = granted_ || (edit_mode_ && !password_set());
    return engineer ? "инженер" : "оператор";
}

bool engineer_access::record(const std::string& action, const std::string& object) {
    if (!recording())
        return true;
    log_->record(options_.user, role(), action, object);
    return true;
}

bool engineer_access::audit_ready(owner_handle owner) {
    if (!recording() || log_->writable())
        return true;
    std::string failure = log_->take_failure();
    nx_log::main().err(failure);
    show_message(owner, failure + "\r\n\r\nДействие не выполнено: без записи в журнале действий.",
                 mb_error, caption);
    return false;
}

void engineer_access::report_audit_failure(owner_handle owner) {
    std::string failure = log_->take_failure();
    if (failure.empty())
        return;
    nx_log::main().err(failure);
    show_message(owner, failure, mb_error, caption);
}

bool engineer_access::allow(owner_handle owner, protected_action action) {
    if (!audit_ready(owner))
        return false;
    if (!password_set())
        return true;
    if (granted_) {
        touch();
        return true;
    }
    return ask(owner, action);
}

bool engineer_access::ask(owner_handle owner, protected_action action) {
    std::string what = protected_action_text(action);
    std::string text_file;
    if (!read_file(options_.password_path, text_file) || !password_record_valid(text_file)) {
        nx_log::main().err("файл пароля инженера поврежден: " + options_.password_path);
        record("файл пароля поврежден", options_.password_path);
        show_message(owner,
                     "Файл пароля инженера поврежден:\r\n" + options_.password_path +
                         "\r\n\r\nДоступ закрыт. Задайте пароль заново: ilkstation --set-password",
                     mb_error, caption);
        return false;
    }
    long long now = options_.now_ms();
    if (now < locked_until_) {
        long long left = (locked_until_ - now + 999) / 1000;
        show_message(owner,
                     "Доступ инженера закрыт после трех неверных паролей.\r\nПовторите через " +
                         std::to_string(left) + " с.",
                     mb_warning, caption);
        return false;
    }
    i_prompt* prompt = current_prompt();
    std::string warning;
    for (int attempt = 1; attempt <= tries; ++attempt) {
        std::string password;
        std::string text =
            warning + "Для действия " + quoted(what) + " нужен пароль инженера.\r\nПароль:";
        if (prompt == nullptr || !prompt->ask_password(owner, caption, text, password))
            return false;
        password_check check = check_password(text_file, password);
        password.assign(password.size(), '\0');
        if (check == password_check::match) {
            granted_ = true;
            last_activity_ = options_.now_ms();
            nx_log::main().mes("доступ инженера: " + what);
            record("доступ инженера", what);
            return true;
        }
        nx_log::main().war("неверный пароль инженера: " + what);
        record("неверный пароль", what);
        warning = "Неверный пароль. Осталось попыток: " + std::to_string(tries - attempt) + ".\r\n";
    }
    locked_until_ = options_.now_ms() + static_cast<long long>(options_.lockout_seconds) * 1000;
    record("доступ закрыт",
           "три неверных пароля, на " + std::to_string(options_.lockout_seconds) + " с");
    show_message(owner,
                 "Неверный пароль введен три раза.\r\nДоступ инженера закрыт на " +
                     std::to_string(options_.lockout_seconds) + " с.",
                 mb_warning, caption);
    return false;
}

void engineer_access::edit_mode_changed(bool on) {
    // Leaving is recorded in the role that left.
    if (on)
        edit_mode_ = true;
    record(on ? "вход в режим редактирования" : "выход из режима редактирования", {});
    if (!on) {
        edit_mode_ = false;
        granted_ = false;
    }
}

void engineer_access::touch() {
    if (granted_)
        last_activity_ = options_.now_ms();
}

bool engineer_access::tick() {
    if (!granted_)
        return false;
    long long idle = static_cast<long long>(options_.idle_minutes) * 60000;
    if (options_.now_ms() - last_activity_ < idle)
        return false;
    record("окончание доступа инженера",
           "нет действий " + std::to_string(options_.idle_minutes) + " мин");
    granted_ = false;
    return true;
}

bool engineer_access::ask_new_password(owner_handle owner, std::string& password) {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return false;
    std::string first;
    std::string again;
    if (!prompt->ask_password(owner, caption,
                              "Новый пароль инженера\r\n(пустой - снять пароль):", first))
        return false;
    if (!first.empty() &&
        !prompt->ask_password(owner, caption, "Повторите новый пароль инженера:", again))
        return false;
    if (!first.empty() && first != again) {
        show_message(owner, "Пароли не совпадают. Пароль не изменен.", mb_error, caption);
        return false;
    }
    if (!first.empty() && first.size() < 6) {
        show_message(owner, "Пароль должен содержать не менее 6 символов. Пароль не изменен.",
                     mb_error, caption);
        return false;
    }
    password = first;
    return true;
}

bool engineer_access::change_password(owner_handle owner) {
    bool had = password_set();
    // The current password is asked even while access is granted: whoever sits at an open
    // workstation must not be able to lock the engineer out.
    if (had) {
        granted_ = false;
        if (!allow(owner, protected_action::password_change))
            return false;
    } else if (!audit_ready(owner)) {
        return false;
    }
    std::string password;
    if (!ask_new_password(owner, password))
        return false;
    if (password.empty()) {
        if (!had)
            return false;
        if (show_message(owner, "Снять пароль инженера ?\r\nДействия станут доступны без пароля.",
                         mb_question, caption) != answer_yes)
            return false;
        record("снятие пароля инженера", {});
        log_->flush();
        std::remove(options_.password_path.c_str());
        nx_log::main().mes("пароль инженера снят");
        return true;
    }
    write_password_file(options_.password_path, password, iterations_);
    password.assign(password.size(), '\0');
    granted_ = true;
    last_activity_ = options_.now_ms();
    record(had ? "смена пароля инженера" : "установка пароля инженера", {});
    nx_log::main().mes(had ? "пароль инженера изменен" : "пароль инженера установлен");
    return true;
}

} // namespace nxkit
