#include "base/access.h"

namespace nxkit {

namespace {

i_access*& installed() {
    static i_access* access = nullptr;
    return access;
}

} // namespace

std::string protected_action_text(protected_action action) {
    switch (action) {
    case protected_action::edit_mode:
        return "вход в режим редактирования";
    case protected_action::reload:
        return "загрузка конфигурации";
    case protected_action::save:
        return "сохранение конфигурации";
    case protected_action::export_transfer:
        return "экспорт с загрузкой в контроллер";
    case protected_action::cancel_all_manual:
        return "отмена ручного ввода для всех сигналов";
    case protected_action::password_change:
        return "смена пароля инженера";
    }
    return {};
}

i_access* current_access() {
    return installed();
}

void set_access(i_access* access) {
    installed() = access;
}

bool access_allowed(owner_handle owner, protected_action action) {
    i_access* access = installed();
    return access == nullptr || access->allow(owner, action);
}

bool audit_action(const std::string& action, const std::string& object) {
    i_access* access = installed();
    return access == nullptr || access->record(action, object);
}

bool audit_recording() {
    i_access* access = installed();
    return access != nullptr && access->recording();
}

void audit_edit_mode(bool on) {
    if (i_access* access = installed())
        access->edit_mode_changed(on);
}

bool access_requires_password() {
    i_access* access = installed();
    return access != nullptr && access->password_required();
}

} // namespace nxkit
