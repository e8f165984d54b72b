#include "schemes/editor_window/qt_scheme_editor.h"

#include "base/nx_exception.h"
#include "base/prompt.h"
#include "config/t_ref_buff.h"
#include "schemes/editor_window/scheme_editor_window.h"
#include "schemes/scheme_commands.h"
#include "schemes/t_element.h"
#include "schemes/t_schema_modus50.h"
#include "structure/t_struct_vl.h"

namespace nxkit {

scheme_references configuration_references(t_ref_buff& store, const std::string& scheme_key) {
    scheme_references refs;
    for (t_ref* r : store.refs().under(scheme_key))
        if (auto* element = dynamic_cast<t_element*>(r))
            refs.element_counters.insert(element->rtid());
    for (t_ref* r : store.refs().under("K"))
        if (auto* signal = dynamic_cast<t_struct_vl*>(r); signal && !signal->title().empty())
            refs.signal_names.insert(signal->title());
    return refs;
}

qt_scheme_editor::qt_scheme_editor(t_ref_buff& store, QWidget* owner,
                                   std::function<void(const std::string&)> reopen)
    : QObject(owner), store_(store), owner_(owner), reopen_(std::move(reopen)) {
    set_scheme_editor(this);
}

qt_scheme_editor::~qt_scheme_editor() {
    if (current_scheme_editor() == this)
        set_scheme_editor(nullptr);
}

scheme_editor_window* qt_scheme_editor::window(const std::string& path) const {
    const auto it = windows_.find(path);
    return it == windows_.end() ? nullptr : it->second.data();
}

void qt_scheme_editor::edit(const std::string& scheme_key, const std::string& path) {
    if (scheme_editor_window* open = window(path)) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    scheme_editor_window* w = nullptr;
    try {
        w = new scheme_editor_window(path, owner_);
    } catch (const nx_exception& e) {
        show_message(owner_, e.what(), mb_error);
        return;
    }
    // A window of its own beside the main window; it goes when closed.
    w->setWindowFlag(Qt::Window, true);
    w->setAttribute(Qt::WA_DeleteOnClose, true);
    t_ref_buff* store = &store_;
    w->set_references([store, scheme_key]() -> std::optional<scheme_references> {
        return configuration_references(*store, scheme_key);
    });
    w->set_bind([store, scheme_key](const std::vector<int>& counters) {
        auto* scheme = dynamic_cast<t_schema_modus50*>(store->get(scheme_key));
        if (scheme == nullptr)
            return;
        std::vector<std::string> keys;
        for (int counter : counters)
            if (t_element* e = scheme->find_element(counter))
                keys.push_back(e->key());
        if (keys.empty()) {
            show_message(store->owner_window(),
                         "У выбранных объектов нет элементов в конфигурации: сохраните схему, "
                         "чтобы они появились.",
                         mb_warning);
            return;
        }
        t_ref* first = store->get(keys.front());
        if (first != nullptr)
            bind_by_dispatcher_name(*first, scheme_command_caption(command_bind_by_name, false),
                                    &keys);
    });
    w->set_on_saved([this, scheme_key](const std::string&) {
        if (reopen_)
            reopen_(scheme_key);
    });
    windows_[path] = w;
    w->show();
}

} // namespace nxkit
