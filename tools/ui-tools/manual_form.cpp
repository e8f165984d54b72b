// ilk-manual-form KEY: opens the manual-input form of one signal of the station in
// $ILKSTATION_HOME, on the real screen and through the real prompt service, as the signal's
// context command does in the program; prints the button chosen. For scripts/screenshots while
// no view of the running program offers the command.
#include "config/config_classes.h"
#include "config/t_ref_buff.h"
#include "interlock/interlock_classes.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_vl.h"
#include "telemech/telemech_classes.h"
#include "ui/qt_prompt.h"
#include "ui/ui_resources.h"
#include "views/nx_view_hand.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ilk-manual-form KEY\n");
        return 2;
    }
    QApplication app(argc, argv);
    nxkit::t_ref_buff store;
    nxkit::register_config_classes(store);
    nxkit::register_structure_classes(store);
    nxkit::register_telemech_classes(store);
    store.register_class(
        80, [](nxkit::t_ref_buff& s) { return std::make_unique<nxkit::t_ref_root>(s, 80); });
    store.load();
    nxkit::icon_set icons;
    nxkit::qt_prompt prompt;
    prompt.set_icon_source([&icons](int number) { return icons.icon(number); });
    nxkit::set_prompt(&prompt);
    nxkit::nx_view_hand hand(store, nullptr, nullptr);
    auto* signal = dynamic_cast<nxkit::t_struct_vl*>(store.get(argv[1]));
    if (signal == nullptr) {
        std::fprintf(stderr, "ilk-manual-form: no signal %s\n", argv[1]);
        return 1;
    }
    std::printf("%d\n", prompt.modal_form(nullptr, nxkit::manual_input_form(*signal)));
    nxkit::set_prompt(nullptr);
    return 0;
}
