#include "interlock/whatif_view/whatif_area.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "config/t_ref_buff.h"
#include "interlock/display/nx_schema_ilk.h"
#include "interlock/ilk_state.h"
#include "interlock/t_ilk_tu.h"
#include "interlock/t_ilk_vts.h"
#include "interlock/whatif/whatif_state.h"
#include "interlock/whatif_view/switching_program_panel.h"
#include "schemes/control/nx_view_schema.h"
#include "schemes/t_element.h"
#include "structure/t_struct_vl.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace nxkit {

namespace {

const char* const refusal = "В режиме проверки блокировок экспорт и загрузка в контроллер "
                            "невозможны: значения не настоящие";

// What the what-if manual input offers, by menu command.
enum manual_choice : int {
    choose_on = 1,
    choose_off = 2,
    choose_invalid = 3,
    choose_no_control = 4,
    choose_manual = 5,
    choose_undefined = 6,
};

} // namespace

whatif_area::whatif_area(t_ref_buff& live, icon_set& icons, QWidget* live_view, QWidget* parent)
    : QWidget(parent), live_(live), icons_(icons), live_view_(live_view) {
    setObjectName("whatif_area");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    frame_ = new QFrame(this);
    outer->addWidget(frame_);
    frame_->setObjectName("whatif_frame");
    // A frame no one takes for the live area, at any size.
    frame_->setStyleSheet("#whatif_frame { border: 6px solid rgb(200,0,0); }");
    auto* inner = new QVBoxLayout(frame_);
    inner->setContentsMargins(8, 8, 8, 8);
    // The banner on a row of its own, wrapped rather than cut when the area is narrow.
    banner_ = new QLabel(QString::fromUtf8(whatif_banner_text), frame_);
    banner_->setObjectName("whatif_banner");
    banner_->setWordWrap(true);
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setStyleSheet("background: rgb(200,0,0); color: white; font-weight: bold; "
                           "font-size: 16px; padding: 4px 12px;");
    inner->addWidget(banner_);
    auto* bar = new QHBoxLayout();
    auto button = [&](const char* caption, const char* tip, const char* name, auto slot) {
        auto* b = new QPushButton(QString::fromUtf8(caption), frame_);
        b->setObjectName(name);
        b->setToolTip(QString::fromUtf8(tip));
        connect(b, &QPushButton::clicked, this, slot);
        bar->addWidget(b);
        return b;
    };
    button("Бланк", "Бланк переключений: ввести, открыть, проверить", "whatif_program",
           [this] { program_->setVisible(!program_->isVisible()); });
    button("Как в работе", "Взять значения работающей станции", "whatif_live", [this] {
        if (engine_)
            engine_->take_live_values(live_);
    });
    button("Сохранить...", "Сохранить состояние проверки в файл", "whatif_save",
           [this] { save_state(); });
    button("Загрузить...", "Загрузить состояние проверки из файла", "whatif_load",
           [this] { load_state(); });
    bar->addStretch(1);
    button("Выйти", "Выйти из режима проверки (Esc)", "whatif_leave", [this] { leave(); });
    inner->addLayout(bar);
    split_ = new QSplitter(Qt::Horizontal, frame_);
    inner->addWidget(split_, 1);
    program_ = new switching_program_panel(*this, split_);
    program_->hide();
    // Beside the live view in its place, shown instead of it while the mode is on.
    hide();

    idle_minutes_ = std::max(1, settings_get_int("CTRL", "whatif_idle_min", 10, false));
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, [this] {
        nx_log::main().war("Режим проверки блокировок закрыт после " +
                           std::to_string(idle_minutes_) + " мин без действий");
        leave();
    });

    // Making the copy reads the whole configuration: done ahead in edit mode, after a load or
    // an edit once nothing changed for 30 s, so that entering takes only the values.
    prepare_timer_.setInterval(10000);
    connect(&prepare_timer_, &QTimer::timeout, this, [this] {
        // Only where the mode can be entered: an operator's station keeps no second copy.
        if (!live_.edit_mode())
            return;
        if (live_.generation() != seen_generation_ || live_.state().edits() != seen_edits_) {
            seen_generation_ = live_.generation();
            seen_edits_ = live_.state().edits();
            still_ticks_ = 0;
            return;
        }
        if (++still_ticks_ == 3 && !live_.state().load_failed())
            prepare();
    });
    prepare_timer_.start();
}

whatif_area::~whatif_area() {
    if (active_)
        leave();
    delete copy_view_;
}

QWidget* whatif_area::shown() const {
    return active_ ? frame_ : live_view_;
}

void whatif_area::report(const std::string& text) {
    nx_log::main().err(text);
    show_message(window(), text, mb_error);
}

void whatif_area::make_copy() {
    delete copy_view_;
    copy_view_ = nullptr;
    engine_.reset();
    engine_ = whatif_engine::from_live(live_);
    rebuild_copy_view();
}

void whatif_area::rebuild_copy_view() {
    t_ref_buff& copy = engine_->store();
    copy_view_ = new nx_view_schema(copy, split_);
    copy_view_->setObjectName("whatif_schemes");
    split_->insertWidget(0, copy_view_);
    split_->setStretchFactor(0, 3);
    split_->setStretchFactor(1, 2);
    copy_view_->set_manual_input([this](t_struct_vl& s) { manual_input(s.signal_key()); });
    copy_view_->set_table_display_factory(
        [this](const std::string& key, QWidget* parent) -> std::unique_ptr<i_schema> {
            auto display = std::make_unique<nx_schema_ilk>(parent, engine_->store(), key, icons_);
            display->set_manual_input([this](const std::string& s) { manual_input(s); });
            return display;
        });
    copy_view_->add_selection_listener([this](const std::string& key) {
        if (!active_)
            return;
        switch_over(key);
        // The same element or column clicked again switches it back.
        QTimer::singleShot(0, this, [this] {
            if (copy_view_ != nullptr)
                copy_view_->choose({});
        });
    });
    copy.add_viewer(copy_view_);
    copy_view_->on_load();
}

void whatif_area::prepare() {
    if (active_ || (engine_ && engine_->same_configuration(live_)))
        return;
    try {
        make_copy();
    } catch (const nx_exception& e) {
        // Tried again when the mode is entered; nothing to tell now.
        nx_log::main().war(std::string("Копия для режима проверки не подготовлена: ") + e.what());
        engine_.reset();
    }
}

void whatif_area::enter() {
    if (active_)
        return;
    try {
        if (!engine_ || !engine_->same_configuration(live_))
            make_copy();
        else
            engine_->take_live_values(live_);
    } catch (const nx_exception& e) {
        report(std::string("Режим проверки блокировок не открыт: ") + e.what());
        return;
    }
    active_ = true;
    ilk_state::of(live_).export_refusal = refusal;
    live_view_->hide();
    show();
    set_window_title(true);
    qApp->installEventFilter(this);
    idle_.start(idle_minutes_ * 60 * 1000);
    nx_log::main().war("Режим проверки блокировок открыт");
    emit mode_changed(true);
}

void whatif_area::leave() {
    if (!active_)
        return;
    active_ = false;
    idle_.stop();
    qApp->removeEventFilter(this);
    ilk_state::of(live_).export_refusal.clear();
    hide();
    live_view_->show();
    set_window_title(false);
    nx_log::main().war("Режим проверки блокировок закрыт");
    emit mode_changed(false);
}

void whatif_area::set_window_title(bool on) {
    QWidget* w = window();
    const QString prefix = QString::fromUtf8(whatif_banner_text) + " \u2014 ";
    if (on) {
        live_title_ = w->windowTitle();
        w->setWindowTitle(prefix + live_title_);
    } else if (w->windowTitle().startsWith(prefix)) {
        w->setWindowTitle(live_title_);
    }
}

void whatif_area::enter_whatif_with(const std::vector<std::pair<std::string, double>>& values) {
    enter();
    if (!active_)
        return;
    try {
        whatif_values held;
        for (const auto& [key, value] : values) {
            whatif_signal s;
            s.value = value;
            held[key] = s;
        }
        engine_->set_values(held);
        engine_->apply();
    } catch (const nx_exception& e) {
        report(e.what());
    }
}

bool whatif_area::switch_over(const std::string& key_or_name) {
    if (!engine_)
        return false;
    t_ref_buff& copy = engine_->store();
    std::string name = key_or_name;
    if (t_ref* r = copy.get(key_or_name)) {
        name.clear();
        // The apparatus of the element, the column or the row the key lies in.
        for (t_ref* c = r; c != nullptr && name.empty(); c = c->parent()) {
            if (auto* e = dynamic_cast<t_element*>(c))
                name = e->disp_name();
            else if (auto* column = dynamic_cast<t_ilk_vts*>(c))
                name = column->disp_name();
            else if (auto* row = dynamic_cast<t_ilk_tu*>(c))
                name = row->disp_name();
        }
        if (auto* s = dynamic_cast<t_struct_vl*>(r))
            name = s->signal_key();
    }
    whatif_apparatus a;
    if (name.empty() || !engine_->find_apparatus(name, a))
        return false;
    engine_->set_position(a, engine_->position(a) != 1);
    engine_->apply();
    idle_.start(idle_minutes_ * 60 * 1000);
    return true;
}

void whatif_area::manual_input(const std::string& signal_key) {
    if (!engine_ || !engine_->has_signal(signal_key))
        return;
    std::vector<menu_item> items;
    auto add = [&](int command, const char* text) {
        menu_item m;
        m.command = command;
        m.text = text;
        items.push_back(m);
    };
    add(choose_on, "Включен (1)");
    add(choose_off, "Отключен (0)");
    add(choose_manual, "Ручной ввод (текущее значение)");
    add(choose_invalid, "Недостоверно");
    add(choose_no_control, "Нет контроля");
    add(choose_undefined, "Не определено");
    int chosen = current_prompt() == nullptr ? 0 : current_prompt()->popup_menu(window(), items);
    if (chosen == 0)
        return;
    whatif_signal s = engine_->values().at(signal_key);
    switch (chosen) {
    case choose_on:
    case choose_off:
        s = whatif_signal{};
        s.value = chosen == choose_on ? 1 : 0;
        break;
    case choose_manual:
        s.manual = true;
        s.control = s.defined = true;
        s.invalid = false;
        break;
    case choose_invalid:
        s.invalid = true;
        break;
    case choose_no_control:
        s.control = false;
        break;
    case choose_undefined:
        s.defined = false;
        break;
    default:
        return;
    }
    engine_->set_signal(signal_key, s);
    engine_->apply();
}

void whatif_area::save_state() {
    if (!engine_)
        return;
    std::string path = current_prompt() == nullptr
                           ? std::string()
                           : current_prompt()->save_file_name(
                                 window(), "Сохранить состояние проверки", "состояние.ilkstate",
                                 "Состояние проверки (*.ilkstate)");
    if (path.empty())
        return;
    if (!write_file_atomic(path, whatif_state_text(engine_->values())))
        report("Не удалось записать " + path);
}

void whatif_area::load_state() {
    if (!engine_ || current_prompt() == nullptr)
        return;
    std::string path = current_prompt()->open_file_name(window(), "Загрузить состояние проверки",
                                                        "Состояние проверки (*.ilkstate)");
    if (path.empty())
        return;
    std::string text;
    if (!read_file(path, text)) {
        report("Не удалось прочитать " + path);
        return;
    }
    try {
        engine_->set_values(read_whatif_state(text));
        engine_->apply();
    } catch (const nx_exception& e) {
        report(path + ": " + e.what());
    }
}

void whatif_area::scheme_command(int command, const std::function<void(int)>& live_command) {
    if (active_ && copy_view_ != nullptr)
        copy_view_->scheme_command(command);
    else if (live_command)
        live_command(command);
}

bool whatif_area::eventFilter(QObject* watched, QEvent* event) {
    // Escape on anything inside the frame leaves the mode.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && active_) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w != nullptr && (w == frame_ || frame_->isAncestorOf(w))) {
            leave();
            return true;
        }
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        idle_.start(idle_minutes_ * 60 * 1000);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace nxkit
