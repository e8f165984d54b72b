#include "shell/install_editors.h"

#include "config/t_ref_buff.h"
#include "shell/main_window.h"
#include "ui/nx_log_view.h"
#include "ui/ui_resources.h"
#include "views/nx_ref_editor.h"
#include "views/nx_view_tree.h"
#include "views/tree_icons.h"

#include <QTreeView>

namespace nxkit {

nx_view_tree* install_config_editors(nx_dlg_mod& window) {
    struct panel {
        view_slot slot;
        const char* name;
        const char* root;
    };
    ui_resources& resources = window.resources();
    std::vector<nx_ref_editor*> editors;
    nx_view_tree* schemes_tree = nullptr;
    for (const panel& p : {panel{view_slot::devs, "devs", "D"}, panel{view_slot::strs, "strs", "K"},
                           panel{view_slot::schema, "schema", "S"}}) {
        auto* editor = new nx_ref_editor(window.store());
        editor->set_log_font(resources.log_font);
        editor->place(p.name);
        auto* tree = new nx_view_tree(window.store(), editor->tree(), resources.num_flag, editor);
        tree->set_root_key(p.root);
        bool equipment = p.slot == view_slot::devs;
        tree->set_icon_source(
            shared_tree_icons(*resources.small_images, resources.icons, equipment));
        editor->tree()->setIconSize(QSize(equipment ? 34 : 16, 16));
        bind_tree(*editor, *tree);
        if (equipment)
            tree->set_status(
                [&window](const std::string& file) { window.log_view().follow(file); });
        if (p.slot == view_slot::strs)
            window.store().set_structure_tree(tree);
        if (p.slot == view_slot::schema)
            schemes_tree = tree;
        window.set_view(p.slot, editor);
        window.store().add_viewer(tree);
        editors.push_back(editor);
    }
    window.hooks().show_grids = [editors](bool shown) {
        for (nx_ref_editor* e : editors)
            e->show_grid(shown);
    };
    window.hooks().connections_switched = [editors] { editors.front()->refresh(); };
    return schemes_tree;
}

} // namespace nxkit
