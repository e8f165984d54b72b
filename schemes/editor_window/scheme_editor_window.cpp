#include "schemes/editor_window/scheme_editor_window.h"

#include "base/nx_exception.h"
#include "base/prompt.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QShowEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace nxkit {

namespace {

// The palette hands the type name to the canvas as a drag of its own mime type.
class palette_list : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
        auto* data = new QMimeData;
        if (!items.isEmpty())
            data->setData(element_type_mime, items.front()->data(Qt::UserRole).toByteArray());
        return data;
    }
    QStringList mimeTypes() const override { return {element_type_mime}; }
};

const char* const colours[] = {"черный", "красный", "синий", "зеленый",
                               "желтый", "белый",   "серый", "коричневый"};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

std::vector<std::string> palette_types() {
    std::vector<std::string> types = known_type_names();
    // Symbols the painter knows that the terminal table does not (yet) list.
    for (const symbol_states& s : known_symbols())
        if (std::find(types.begin(), types.end(), s.type) == types.end())
            types.push_back(s.type);
    return types;
}

QImage palette_icon(const std::string& type_name, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    sde_object o = new_object(type_name);
    o.label_side = "none";
    o.x = 0;
    o.y = 0;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The symbol's longer side fills the icon, less a margin.
    const double scale = (size - 4) / std::max(o.w, o.h);
    p.translate(size / 2.0, size / 2.0);
    p.scale(scale, scale);
    paint_symbol(p, o);
    return image;
}

std::string changed_on_disk_question(const std::string& path) {
    return "Файл схемы '" + path +
           "' изменен на диске после открытия.\r\nЗаписать схему поверх этих изменений?";
}

std::string save_failed_message(const std::string& detail) {
    return "Схема не сохранена: " + detail + ".";
}

std::string unsaved_question(const std::string& path) {
    return "Схема '" + path + "' изменена.\r\nСохранить изменения?";
}

scheme_editor_window::scheme_editor_window(const std::string& path, QWidget* parent)
    : scheme_editor_window(scheme_document::open(path), path, parent) {}

scheme_editor_window::scheme_editor_window(scheme_document document, const std::string& path,
                                           QWidget* parent)
    : QMainWindow(parent), session_(std::move(document)), path_(path) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    build();
    refresh();
}

scheme_editor_window::~scheme_editor_window() = default;

QAction* scheme_editor_window::action(const std::string& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void scheme_editor_window::add_action(const std::string& name, const QString& text,
                                      const QKeySequence& keys, std::function<void()> run_it,
                                      QMenu* menu, QToolBar* bar) {
    auto* a = new QAction(text, this);
    if (!keys.isEmpty())
        a->setShortcut(keys);
    connect(a, &QAction::triggered, this, [this, run_it] { run(run_it); });
    if (menu)
        menu->addAction(a);
    if (bar)
        bar->addAction(a);
    actions_[name] = a;
}

void scheme_editor_window::run(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const nx_exception& e) {
        show_message(this, e.what(), mb_error);
    }
    refresh();
}

void scheme_editor_window::set_bind(bind_function bind) {
    bind_ = std::move(bind);
    update_actions();
}

void scheme_editor_window::build() {
    canvas_ = new editor_canvas(session_, this);
    setCentralWidget(canvas_);
    connect(canvas_, &editor_canvas::document_changed, this, [this] { refresh(); });
    connect(canvas_, &editor_canvas::selection_changed, this, [this] {
        fill_properties();
        update_actions();
    });

    // Pages.
    pages_ = new QListWidget(this);
    connect(pages_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (filling_ || row < 0)
            return;
        const bool other = static_cast<std::size_t>(row) != session_.page_index();
        session_.show_page(static_cast<std::size_t>(row));
        if (other)
            canvas_->fit_page();
        canvas_->update();
        fill_properties();
        update_actions();
    });
    connect(pages_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!filling_)
            rename_page(pages_->row(item));
    });
    auto* pages_dock = new QDockWidget(QStringLiteral("Страницы"), this);
    pages_dock->setObjectName("pages");
    pages_dock->setWidget(pages_);
    addDockWidget(Qt::LeftDockWidgetArea, pages_dock);

    // The palette: every type with its symbol.
    palette_ = new palette_list(this);
    palette_->setIconSize(QSize(32, 32));
    palette_->setDragEnabled(true);
    palette_->setDragDropMode(QAbstractItemView::DragOnly);
    for (const std::string& type : palette_types()) {
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(palette_icon(type, 32))), q(type),
                                         palette_);
        item->setData(Qt::UserRole, QByteArray::fromStdString(type));
    }
    // A double click puts the type in the middle of the shown part of the page.
    connect(palette_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        const point at =
            canvas_->view().to_page(QPointF(canvas_->width() / 2.0, canvas_->height() / 2.0));
        run([&] { session_.drop(item->data(Qt::UserRole).toByteArray().toStdString(), at); });
    });
    auto* palette_dock = new QDockWidget(QStringLiteral("Элементы"), this);
    palette_dock->setObjectName("palette");
    palette_dock->setWidget(palette_);
    addDockWidget(Qt::LeftDockWidgetArea, palette_dock);

    // Properties of the selection.
    properties_ = new QTableWidget(0, 2, this);
    properties_->setHorizontalHeaderLabels(
        {QStringLiteral("Свойство"), QStringLiteral("Значение")});
    properties_->horizontalHeader()->setStretchLastSection(true);
    properties_->verticalHeader()->hide();
    connect(properties_, &QTableWidget::cellChanged, this,
            [this](int row, int column) { property_edited(row, column); });
    auto* properties_dock = new QDockWidget(QStringLiteral("Свойства"), this);
    properties_dock->setObjectName("properties");
    properties_dock->setWidget(properties_);
    addDockWidget(Qt::RightDockWidgetArea, properties_dock);

    // Findings of the checks.
    findings_ = new QListWidget(this);
    connect(findings_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { finding_chosen(findings_->row(item)); });
    auto* findings_dock = new QDockWidget(QStringLiteral("Проверка схемы"), this);
    findings_dock->setObjectName("findings");
    findings_dock->setWidget(findings_);
    addDockWidget(Qt::BottomDockWidgetArea, findings_dock);
    resizeDocks({findings_dock}, {110}, Qt::Vertical);
    resizeDocks({pages_dock}, {90}, Qt::Vertical);
    resizeDocks({pages_dock, properties_dock}, {230, 260}, Qt::Horizontal);

    // Menus and toolbars.
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Правка"));
    QMenu* arrange = menuBar()->addMenu(QStringLiteral("Объекты"));
    QMenu* page = menuBar()->addMenu(QStringLiteral("Страница"));
    QMenu* draw = menuBar()->addMenu(QStringLiteral("Рисование"));
    QMenu* view = menuBar()->addMenu(QStringLiteral("Вид"));
    QToolBar* main_bar = addToolBar(QStringLiteral("Правка"));
    main_bar->setObjectName("edit_bar");
    addToolBarBreak();
    QToolBar* draw_bar = addToolBar(QStringLiteral("Рисование"));
    draw_bar->setObjectName("draw_bar");

    add_action(
        "save", QStringLiteral("Сохранить"), QKeySequence::Save, [this] { save(); }, file,
        main_bar);
    add_action(
        "check", QStringLiteral("Проверить"), QKeySequence(Qt::Key_F7), [this] { run_checks(); },
        file, main_bar);
    file->addSeparator();
    add_action(
        "close", QStringLiteral("Закрыть"), QKeySequence(), [this] { close(); }, file);

    add_action(
        "undo", QStringLiteral("Отменить"), QKeySequence(Qt::CTRL | Qt::Key_Z),
        [this] { session_.undo(); }, edit, main_bar);
    add_action(
        "redo", QStringLiteral("Повторить"), QKeySequence(Qt::CTRL | Qt::Key_Y),
        [this] { session_.redo(); }, edit, main_bar);
    edit->addSeparator();
    add_action(
        "copy", QStringLiteral("Копировать"), QKeySequence::Copy, [this] { copy(); }, edit);
    add_action(
        "paste", QStringLiteral("Вставить"), QKeySequence::Paste, [this] { paste(); }, edit);
    add_action(
        "duplicate", QStringLiteral("Дублировать"), QKeySequence(Qt::CTRL | Qt::Key_D),
        [this] { session_.duplicate_selection(); }, edit);
    add_action(
        "delete", QStringLiteral("Удалить"), QKeySequence::Delete,
        [this] { session_.delete_selection(); }, edit, main_bar);
    add_action(
        "select_all", QStringLiteral("Выделить все"), QKeySequence::SelectAll,
        [this] {
            std::vector<std::size_t> all;
            if (const sde_page* p = session_.page())
                for (std::size_t i = 0; i < p->order.size(); ++i)
                    all.push_back(i);
            session_.select(std::move(all));
        },
        edit);
    add_action(
        "rename_in_place", QStringLiteral("Диспетчерское имя"), QKeySequence(Qt::Key_F2),
        [this] { canvas_->edit_name_in_place(); }, edit);
    edit->addSeparator();
    add_action(
        "bind", QStringLiteral("Привязать…"), QKeySequence(),
        [this] {
            std::vector<int> counters;
            const sde_page* p = session_.page();
            for (std::size_t i : session_.selection())
                if (p->order[i].kind == sde_item::object)
                    counters.push_back(p->objects[p->order[i].index].counter);
            if (bind_ && !counters.empty())
                bind_(counters);
        },
        edit, main_bar);

    main_bar->addSeparator();
    add_action(
        "rotate", QStringLiteral("Повернуть на 90°"), QKeySequence(Qt::CTRL | Qt::Key_R),
        [this] { session_.rotate_selection(); }, arrange, main_bar);
    add_action(
        "mirror", QStringLiteral("Отразить"), QKeySequence(Qt::CTRL | Qt::Key_M),
        [this] { session_.mirror_selection(); }, arrange, main_bar);
    add_action(
        "front", QStringLiteral("На передний план"), QKeySequence(Qt::CTRL | Qt::Key_BracketRight),
        [this] { session_.bring_forward(); }, arrange);
    add_action(
        "back", QStringLiteral("На задний план"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft),
        [this] { session_.send_back(); }, arrange);
    arrange->addSeparator();
    const std::pair<const char*, std::pair<QString, align_edge>> aligns[] = {
        {"align_left", {QStringLiteral("Выровнять по левому краю"), align_edge::left}},
        {"align_right", {QStringLiteral("Выровнять по правому краю"), align_edge::right}},
        {"align_top", {QStringLiteral("Выровнять по верху"), align_edge::top}},
        {"align_bottom", {QStringLiteral("Выровнять по низу"), align_edge::bottom}},
        {"align_centre_x", {QStringLiteral("Выровнять центры по вертикали"), align_edge::centre_x}},
        {"align_centre_y",
         {QStringLiteral("Выровнять центры по горизонтали"), align_edge::centre_y}},
    };
    for (const auto& [name, a] : aligns) {
        const align_edge edge = a.second;
        add_action(
            name, a.first, QKeySequence(), [this, edge] { session_.align_selection(edge); },
            arrange);
    }
    add_action(
        "distribute_h", QStringLiteral("Распределить по горизонтали"), QKeySequence(),
        [this] { session_.distribute_selection(axis::horizontal); }, arrange);
    add_action(
        "distribute_v", QStringLiteral("Распределить по вертикали"), QKeySequence(),
        [this] { session_.distribute_selection(axis::vertical); }, arrange);

    add_action(
        "page_add", QStringLiteral("Новая страница"), QKeySequence(), [this] { add_page(); }, page);
    add_action(
        "page_delete", QStringLiteral("Удалить страницу"), QKeySequence(),
        [this] { delete_page(); }, page);
    add_action(
        "page_up", QStringLiteral("Страницу выше"), QKeySequence(), [this] { move_page(-1); },
        page);
    add_action(
        "page_down", QStringLiteral("Страницу ниже"), QKeySequence(), [this] { move_page(1); },
        page);

    const std::pair<const char*, std::pair<QString, editor_tool>> tools[] = {
        {"tool_select", {QStringLiteral("Выбор"), editor_tool::select}},
        {"tool_wire", {QStringLiteral("Провод"), editor_tool::wire}},
        {"tool_line", {QStringLiteral("Линия"), editor_tool::line}},
        {"tool_polyline", {QStringLiteral("Ломаная"), editor_tool::polyline}},
        {"tool_polygon", {QStringLiteral("Многоугольник"), editor_tool::polygon}},
        {"tool_rect", {QStringLiteral("Прямоугольник"), editor_tool::rect}},
        {"tool_ellipse", {QStringLiteral("Эллипс"), editor_tool::ellipse}},
        {"tool_arc", {QStringLiteral("Дуга"), editor_tool::arc}},
        {"tool_text", {QStringLiteral("Текст"), editor_tool::text}},
    };
    auto* tool_group = new QActionGroup(this);
    for (const auto& [name, t] : tools) {
        const editor_tool tool = t.second;
        add_action(
            name, t.first, QKeySequence(), [this, tool] { canvas_->set_tool(tool); }, draw,
            draw_bar);
        actions_[name]->setCheckable(true);
        tool_group->addAction(actions_[name]);
    }
    actions_["tool_select"]->setChecked(true);

    // The style of the next figure.
    draw_bar->addSeparator();
    auto* colour = new QComboBox(this);
    colour->setEditable(true);
    auto* fill = new QComboBox(this);
    fill->setEditable(true);
    fill->addItem(QString());
    for (const char* c : colours) {
        colour->addItem(QString::fromUtf8(c));
        fill->addItem(QString::fromUtf8(c));
    }
    colour->setToolTip(QStringLiteral("Цвет линии"));
    fill->setToolTip(QStringLiteral("Заливка"));
    connect(colour, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { session_.style.color = t.toStdString(); });
    connect(fill, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { session_.style.fill = t.toStdString(); });
    auto* width = new QDoubleSpinBox(this);
    width->setRange(0.05, 5);
    width->setSingleStep(0.05);
    width->setValue(session_.style.width);
    width->setToolTip(QStringLiteral("Толщина линии, мм"));
    connect(width, &QDoubleSpinBox::valueChanged, this,
            [this](double v) { session_.style.width = v; });
    auto* dash = new QComboBox(this);
    for (const char* d : {"", "dash", "dot", "dashdot"})
        dash->addItem(QString::fromUtf8(d));
    dash->setToolTip(QStringLiteral("Штрих"));
    connect(dash, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { session_.style.dash = t.toStdString(); });
    draw_bar->addWidget(colour);
    draw_bar->addWidget(width);
    draw_bar->addWidget(dash);
    draw_bar->addWidget(fill);

    // View: zoom, grid, snapping, unconnected terminals.
    add_action(
        "zoom_in", QStringLiteral("Крупнее"), QKeySequence::ZoomIn,
        [this] { canvas_->zoom(1.25, QPointF(canvas_->width() / 2.0, canvas_->height() / 2.0)); },
        view, main_bar);
    add_action(
        "zoom_out", QStringLiteral("Мельче"), QKeySequence::ZoomOut,
        [this] { canvas_->zoom(0.8, QPointF(canvas_->width() / 2.0, canvas_->height() / 2.0)); },
        view, main_bar);
    add_action(
        "snap", QStringLiteral("Привязка к сетке"), QKeySequence(),
        [this] { session_.set_snapping(actions_["snap"]->isChecked()); }, view);
    actions_["snap"]->setCheckable(true);
    actions_["snap"]->setChecked(true);
    add_action(
        "unconnected", QStringLiteral("Показать неподключенные выводы"), QKeySequence(),
        [this] { canvas_->set_show_unconnected(actions_["unconnected"]->isChecked()); }, view,
        main_bar);
    actions_["unconnected"]->setCheckable(true);
    auto* grid = new QDoubleSpinBox(this);
    grid->setRange(0.5, 50);
    grid->setSingleStep(0.5);
    grid->setDecimals(1);
    grid->setValue(session_.grid_step());
    grid->setSuffix(QStringLiteral(" мм"));
    grid->setToolTip(QStringLiteral("Шаг сетки"));
    connect(grid, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        session_.set_grid_step(v);
        canvas_->update();
    });
    main_bar->addWidget(grid);

    status_ = new QLabel(this);
    statusBar()->addPermanentWidget(status_);
    connect(canvas_, &editor_canvas::status, this,
            [this](const QString& t) { statusBar()->showMessage(t, 3000); });
    connect(canvas_, &editor_canvas::scale_changed, this, [this](double) { refresh(); });
    resize(1200, 800);
}

void scheme_editor_window::refresh() {
    filling_ = true;
    const auto& pages = session_.document().scheme().pages;
    if (pages_->count() != static_cast<int>(pages.size())) {
        pages_->clear();
        for (std::size_t i = 0; i < pages.size(); ++i)
            pages_->addItem(QString());
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        QListWidgetItem* item = pages_->item(static_cast<int>(i));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        const QString title = q(pages[i].title);
        if (item->text() != title)
            item->setText(title);
    }
    pages_->setCurrentRow(static_cast<int>(session_.page_index()));
    filling_ = false;
    setWindowTitle(QStringLiteral("Редактор схемы — %1%2")
                       .arg(q(path_))
                       .arg(session_.document().modified() ? QStringLiteral(" *") : QString()));
    status_->setText(QStringLiteral("Масштаб %1 %").arg(std::lround(canvas_->view().scale * 100)));
    fill_properties();
    update_actions();
    canvas_->update();
}

void scheme_editor_window::update_actions() {
    const bool any = !session_.selection().empty();
    bool objects = false;
    if (const sde_page* p = session_.page())
        for (std::size_t i : session_.selection())
            objects = objects || p->order[i].kind == sde_item::object;
    auto enable = [this](const char* name, bool on) {
        if (QAction* a = action(name))
            a->setEnabled(on);
    };
    enable("undo", session_.document().can_undo());
    enable("redo", session_.document().can_redo());
    for (const char* name : {"copy", "duplicate", "delete", "rotate", "mirror", "front", "back"})
        enable(name, any);
    for (const char* name : {"align_left", "align_right", "align_top", "align_bottom",
                             "align_centre_x", "align_centre_y"})
        enable(name, session_.selection().size() > 1);
    enable("distribute_h", session_.selection().size() > 2);
    enable("distribute_v", session_.selection().size() > 2);
    enable("bind", objects && static_cast<bool>(bind_));
    enable("rename_in_place", session_.selected_object() != nullptr);
    enable("page_delete", session_.document().scheme().pages.size() > 1);
}

void scheme_editor_window::fill_properties() {
    filling_ = true;
    const std::vector<property_row> rows = session_.property_rows();
    properties_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* name = new QTableWidgetItem(q(rows[i].name));
        name->setFlags(Qt::ItemIsEnabled);
        auto* value = new QTableWidgetItem(q(rows[i].value));
        if (!rows[i].editable)
            value->setFlags(Qt::ItemIsEnabled);
        properties_->setItem(static_cast<int>(i), 0, name);
        properties_->setItem(static_cast<int>(i), 1, value);
    }
    filling_ = false;
}

void scheme_editor_window::property_edited(int row, int column) {
    if (filling_ || column != 1)
        return;
    const std::string name = properties_->item(row, 0)->text().toStdString();
    const std::string value = properties_->item(row, 1)->text().toStdString();
    const std::string refused = session_.apply_property(name, value);
    if (!refused.empty())
        show_message(this, refused, mb_warning);
    // Deferred: the table may still be inside the edited cell's commit.
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void scheme_editor_window::add_page() {
    const sde_page* current = session_.page();
    const double w = current ? current->width : 297, h = current ? current->height : 210;
    session_.document().add_page(
        "Страница " + std::to_string(session_.document().scheme().pages.size() + 1), w, h);
    session_.pages_changed(session_.document().scheme().pages.size() - 1);
}

void scheme_editor_window::delete_page() {
    const sde_page* p = session_.page();
    if (!p || session_.document().scheme().pages.size() < 2)
        return;
    if (show_message(this, "Удалить страницу '" + p->title + "' со всем, что на ней нарисовано?",
                     mb_question) != answer_yes)
        return;
    const std::size_t index = session_.page_index();
    session_.document().delete_page(index);
    session_.pages_changed(index > 0 ? index - 1 : 0);
}

void scheme_editor_window::rename_page(int row) {
    if (row < 0)
        return;
    const std::string title = pages_->item(row)->text().toStdString();
    const auto index = static_cast<std::size_t>(row);
    if (index < session_.document().scheme().pages.size() &&
        session_.document().scheme().pages[index].title != title)
        run([&] { session_.document().rename_page(index, title); });
}

void scheme_editor_window::move_page(int by) {
    const std::size_t from = session_.page_index();
    const long to = static_cast<long>(from) + by;
    if (to < 0 || to >= static_cast<long>(session_.document().scheme().pages.size()))
        return;
    session_.document().move_page(from, static_cast<std::size_t>(to));
    session_.pages_changed(static_cast<std::size_t>(to));
}

void scheme_editor_window::copy() {
    const std::string text = session_.copy_text();
    if (text.empty())
        return;
    auto* data = new QMimeData;
    data->setData(scheme_items_mime, QByteArray::fromStdString(text));
    QApplication::clipboard()->setMimeData(data);
}

void scheme_editor_window::paste() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(scheme_items_mime))
        return;
    session_.paste_text(data->data(scheme_items_mime).toStdString());
}

std::size_t scheme_editor_window::run_checks() {
    std::optional<scheme_references> refs;
    if (references_)
        refs = references_();
    shown_findings_ = session_.check(refs ? &*refs : nullptr);
    findings_->clear();
    for (const scheme_finding& f : shown_findings_) {
        std::string line = f.page ? "Стр. " + std::to_string(f.page) + ": " : std::string();
        findings_->addItem(q(line + f.text));
    }
    if (shown_findings_.empty())
        findings_->addItem(QStringLiteral("Замечаний нет"));
    for (const int page : pages_without_wires(session_.document().scheme()))
        findings_->addItem(
            QStringLiteral("Стр. %1: нет проводов, выводы не проверялись").arg(page));
    return shown_findings_.size();
}

void scheme_editor_window::finding_chosen(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= shown_findings_.size())
        return;
    session_.show_finding(shown_findings_[static_cast<std::size_t>(row)]);
    refresh();
}

bool scheme_editor_window::save() {
    std::string message;
    auto result = session_.document().save(path_, message);
    if (result == scheme_document::save_result::changed_on_disk) {
        if (show_message(this, changed_on_disk_question(path_), mb_question) != answer_yes)
            return false;
        result = session_.document().save(path_, message, true);
    }
    if (result == scheme_document::save_result::failed) {
        show_message(this, save_failed_message(message), mb_error);
        return false;
    }
    refresh();
    run_checks();
    if (on_saved_)
        on_saved_(path_);
    return true;
}

void scheme_editor_window::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The page fits the window when it first opens, once the layout has given the canvas
    // its size.
    if (!fitted_) {
        fitted_ = true;
        QTimer::singleShot(0, this, [this] { canvas_->fit_page(); });
    }
}

void scheme_editor_window::closeEvent(QCloseEvent* event) {
    if (session_.document().modified()) {
        const int answer = show_message(this, unsaved_question(path_), mb_question_cancel);
        if (answer == answer_cancel || answer == answer_none || (answer == answer_yes && !save())) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace nxkit
