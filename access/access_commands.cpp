#include "access/access_commands.h"

#include "access/audit_chain.h"
#include "access/audit_log.h"
#include "access/password_file.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/settings_keys.h"
#include "platform/user.h"

#include <cstring>
#include <iostream>

namespace nxkit {

int verify_audit_command(const std::string& file, std::ostream& out) {
    std::string path = file.empty() ? audit_log_path() : file;
    audit_verdict verdict = verify_audit_file(path);
    out << verdict.message() << std::endl;
    if (verdict.ok)
        return 0;
    return verdict.line == 0 ? 2 : 1;
}

int set_password_command(std::ostream& err) {
    std::string path = password_file_path();
    bool had = file_exists(path);
    std::string current;
    if (had) {
        if (!read_secret_line("Действующий пароль инженера: ", current)) {
            err << "Пароль не изменен." << std::endl;
            return 1;
        }
        password_check check = check_password_file(path, current);
        current.assign(current.size(), '\0');
        if (check == password_check::damaged) {
            // Whoever may run this may also replace a broken file: say so and go on.
            err << "Файл пароля поврежден, он будет заменен: " << path << std::endl;
        } else if (check == password_check::mismatch) {
            audit_log log(audit_log_path(), read_setting(setting::audit_size));
            log.record(current_user_name(), "оператор", "неверный пароль",
                       "смена пароля инженера, командная строка");
            log.flush();
            err << "Неверный пароль. Пароль не изменен." << std::endl;
            return 1;
        }
    }
    std::string first;
    std::string again;
    if (!read_secret_line("Новый пароль инженера: ", first) ||
        !read_secret_line("Повторите новый пароль: ", again)) {
        err << "Пароль не изменен." << std::endl;
        return 1;
    }
    if (first != again) {
        err << "Пароли не совпадают. Пароль не изменен." << std::endl;
        return 1;
    }
    if (first.size() < 6) {
        err << "Пароль должен содержать не менее 6 символов. Пароль не изменен." << std::endl;
        return 1;
    }
    try {
        write_password_file(path, first);
    } catch (const nx_exception& e) {
        err << e.what() << std::endl;
        return 1;
    }
    first.assign(first.size(), '\0');
    again.assign(again.size(), '\0');
    // A station with a password keeps its audit trail.
    audit_log log(audit_log_path(), read_setting(setting::audit_size));
    log.record(current_user_name(), "инженер",
               had ? "смена пароля инженера" : "установка пароля инженера", "командная строка");
    log.flush();
    std::string failure = log.take_failure();
    if (!failure.empty())
        err << failure << std::endl;
    err << (had ? "Пароль инженера изменен: " : "Пароль инженера установлен: ") << path
        << std::endl;
    return 0;
}

bool run_access_command(int argc, char** argv, int& status) {
    if (argc < 2)
        return false;
    if (std::strcmp(argv[1], "--set-password") == 0) {
        status = set_password_command(std::cerr);
        return true;
    }
    if (std::strcmp(argv[1], "--verify-audit") == 0) {
        status = verify_audit_command(argc > 2 ? argv[2] : std::string(), std::cout);
        return true;
    }
    return false;
}

} // namespace nxkit
