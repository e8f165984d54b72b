// ilk-scheme-editor FILE [--state palette|wire|checks]: the scheme editor's window on one .sde
// file, on the real screen and through the real prompt service, as the program opens it.
// With --state it brings the window into one of the states scripts/screenshots pictures.
#include "schemes/editor_window/scheme_editor_window.h"

#include "base/nx_exception.h"
#include "ui/qt_prompt.h"

#include <QApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

using namespace nxkit;

namespace {

void press(QWidget* w, QPointF at) {
    QMouseEvent down(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

void hover(QWidget* w, QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// The first object of the page with a terminal named `name`, and where that terminal lies.
std::optional<point> terminal_of(const editor_session& s, const std::string& type,
                                 const std::string& name) {
    for (const sde_object& o : s.page()->objects)
        if (o.type_name == type)
            return terminal_position(o, name);
    return std::nullopt;
}

void bring_into(scheme_editor_window& w, const std::string& state) {
    editor_session& s = w.session();
    editor_canvas* c = w.canvas();
    if (state == "palette") {
        s.select_counter(1);
        w.palette()->setCurrentRow(0);
    } else if (state == "wire") {
        // A second earthing switch right of Q1; a wire from Q1's upper terminal, bent at
        // (100, 40), with the pointer on the switch's terminal.
        s.drop("заземляющий_нож", {100, 50});
        s.select({});
        w.action("tool_wire")->trigger();
        if (const auto from = terminal_of(s, "выключатель", "1")) {
            press(c, c->view().to_pixel(*from));
            press(c, c->view().to_pixel({100, from->y}));
            hover(c, c->view().to_pixel({100.3, 44.6}));
        }
    } else if (state == "checks") {
        // A second "Q1" wired below the bay's breaker: the page now has a wire, so its
        // unconnected terminals count, and two objects share a dispatcher name.
        const int counter = s.drop("выключатель", {135, 75});
        s.apply_property(panel::name, "Q1");
        s.draw_wire(wire_end::parse("1:2"), wire_end::parse(std::to_string(counter) + ":1"),
                    {{135, 52}});
        w.run_checks();
        // The shared name's finding, double-clicked: its object is selected.
        for (int row = 0; row < w.findings()->count(); ++row)
            if (w.findings()->item(row)->text().contains(QStringLiteral("диспетчерское имя"))) {
                w.findings()->setCurrentRow(row);
                emit w.findings()->itemDoubleClicked(w.findings()->item(row));
                break;
            }
    }
    w.refresh();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--state") == 0)) {
        std::fprintf(stderr, "usage: ilk-scheme-editor FILE [--state palette|wire|checks]\n");
        return 2;
    }
    QApplication app(argc, argv);
    qt_prompt prompt;
    set_prompt(&prompt);
    std::unique_ptr<scheme_editor_window> window;
    try {
        window = std::make_unique<scheme_editor_window>(argv[1]);
    } catch (const nx_exception& e) {
        std::fprintf(stderr, "ilk-scheme-editor: %s\n", e.what());
        return 1;
    }
    window->resize(1240, 760);
    window->move(20, 30);
    window->show();
    if (argc == 4) {
        const std::string state = argv[3];
        QTimer::singleShot(800, window.get(), [&window, state] { bring_into(*window, state); });
    }
    return app.exec();
}
