#include "interlock/t_ilk_root.h"

#include "base/access.h"
#include "base/nx_dir_cursor.h"
#include "base/nx_xml_writer.h"
#include "base/text.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/export_interlock.h"
#include "interlock/ilk_state.h"
#include "interlock/page_list.h"

#include <algorithm>
#include <array>

namespace nxkit {

namespace {

const std::array<const char*, 2> command_captions = {"Экспорт в conf.ini",
                                                     "Экспорт в conf.ini с загрузкой в контроллер"};

} // namespace

t_ilk_root::t_ilk_root(t_ref_buff& store) : t_ref(store, tp_ilk_root) {}

t_ilk_root::~t_ilk_root() {
    mark_interlock_changed(store());
}

void t_ilk_root::on_start(const nx_xml_element& element) {
    t_ref::on_start(element);
    if (element.name != "ref")
        return;
    page_label_ = element.attr("page");
    export_file_ = element.attr("conf");
}

bool t_ilk_root::set_parameter(int index, const std::string& text) {
    switch (index) {
    case 1:
        page_label_ = trim(text, ' ');
        return true;
    case 2:
        // The placeholder of an empty folder names no file.
        export_file_ = text == no_files_text() ? std::string() : trim(text, ' ');
        return true;
    default:
        return t_ref::set_parameter(index, text);
    }
}

bool t_ilk_root::get_parameter(int index, std::string& value, std::string& name) {
    switch (index) {
    case 1:
        name = "Отразить на схему";
        value = page_label_;
        return true;
    case 2:
        name = "Файл для экспорта";
        value = export_file_;
        return true;
    default:
        return t_ref::get_parameter(index, value, name);
    }
}

int t_ilk_root::parameter_editor(int index, choice_list& choices) {
    if (index == 1) {
        choices.clear();
        int n = 0;
        for (const ilk_page_entry& entry : page_list(store()))
            choices.push_back({entry.label, n++});
        return editor_choice_only;
    }
    if (index == 2) {
        choices.clear();
        std::vector<std::string> names = export_files();
        if (names.empty())
            choices.push_back({no_files_text(), 0});
        int n = 0;
        for (const std::string& name : names)
            choices.push_back({name, n++});
        return editor_choice_only;
    }
    return t_ref::parameter_editor(index, choices);
}

void t_ilk_root::tree_images(int& icon, int& overlay, int& state) {
    t_ref::tree_images(icon, overlay, state);
    icon = 1418;
}

void t_ilk_root::init() {
    mark_interlock_changed(store());
    t_ref::init();
}

void t_ilk_root::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    writer.attribute("page", xml_escape(page_label_));
    writer.attribute("conf", xml_escape(export_file_));
}

int t_ilk_root::command(bool query, int index, std::string& arg) {
    if (index < 0 || index >= static_cast<int>(command_captions.size()))
        return 0;
    const char* caption = command_captions[static_cast<std::size_t>(index)];
    if (query) {
        // Offered whether or not the interlock is locked.
        arg = caption;
        return 1;
    }
    bool transfer = index == 1;
    if (transfer && !access_allowed(store().owner_window(), protected_action::export_transfer))
        return 0;
    std::string before = export_file_;
    transfer_options options;
    options.review = true;
    std::string controller;
    options.controller = &controller;
    bool done = export_interlock(store(), key(), caption, transfer, options);
    audit_export(transfer, controller, done);
    // The export may have chosen the file: then the component changed.
    return export_file_ != before ? 1 : 0;
}

void t_ilk_root::audit_export(bool transfer, const std::string& controller, bool done) {
    if (!audit_recording())
        return;
    std::string object = display_name() + ": файл " +
                         (export_file_.empty() ? std::string("не выбран") : export_file_);
    if (transfer) {
        t_ref* device = controller.empty() ? nullptr : store().get(controller);
        object += ", контроллер " + (device != nullptr    ? device->display_name()
                                     : controller.empty() ? std::string("не найден")
                                                          : controller);
    }
    object += done ? ", выполнен" : ", не выполнен";
    audit_action(transfer ? "экспорт с загрузкой в контроллер" : "экспорт", object);
}

} // namespace nxkit
