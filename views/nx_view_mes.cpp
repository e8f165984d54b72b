#include "views/nx_view_mes.h"

#include "base/access.h"
#include "base/prompt.h"
#include "base/settings_keys.h"
#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "archive/archive_series.h"
#include "archive/archive_texts.h"
#include "structure/t_struct_ts.h"
#include "telemech/t_dev_change.h"
#include "views/editor_menus.h"
#include "views/view_icons.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <cstdio>
#include <fstream>
#include <utility>

namespace nxkit {

namespace {

// The bits that make a new line: defined, manual and invalid (control and acknowledgement
// alone do not).
constexpr std::uint32_t journal_bits = flag_defined | flag_manual | flag_invalid;
constexpr int minimum_mes_size = 1000000;

int image_icon(journal_image image) {
    switch (image) {
    case journal_image::on:
        return 1409;
    case journal_image::off:
        return 1410;
    case journal_image::on_ack:
        return 1441;
    case journal_image::off_ack:
        return 1442;
    case journal_image::none:
        break;
    }
    return 0;
}

QString html_escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// An operator's action on the pane: a failure is an ERR line and an error box, never the end
// of the program.
template <class F> void guarded(owner_handle owner, F action) {
    try {
        action();
    } catch (const std::exception& e) {
        nx_log::main().err(std::string("журнал событий: ") + e.what());
        show_message(owner, e.what(), mb_error);
    }
}

} // namespace

std::string journal_file_text(const journal_line& line) {
    return "\t" + line.key.toStdString() + "\t" + line.state.toStdString() + "\t" +
           line.time_text.toStdString() + "\t" + line.input.toStdString() + "\t" +
           line.name.toStdString();
}

nx_time to_nx_time(const QDateTime& t) {
    QDate d = t.date();
    QTime c = t.time();
    return time_encode(d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second(), c.msec());
}

nx_view_mes::nx_view_mes(t_ref_buff& store, QWidget* parent, buttons navigation, std::size_t bound)
    : QObject(parent), store_(store), buttons_(navigation), model_(bound), shown_(model_),
      icons_(&view_icon) {
    int mes_size = read_setting(setting::mes_size);
    if (mes_size < minimum_mes_size) {
        mes_size = minimum_mes_size;
        write_setting(setting::mes_size, mes_size);
    }
    journal_.open("mes.log", mes_size, read_setting(setting::mes_day_backup));
    beep_frequency_ = read_setting(setting::beep_frec);
    beep_duration_ = read_setting(setting::beep_dur);
    beep_pause_ = read_setting(setting::beep_sleep);
    model_.set_icons([this](journal_image image) { return icons_(image_icon(image)); });

    pane_ = new QWidget(parent);
    auto* column = new QVBoxLayout(pane_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* bar = new QHBoxLayout;
    column->addLayout(bar);
    text_edit_ = new QLineEdit(pane_);
    text_edit_->setPlaceholderText(QStringLiteral("Поиск"));
    text_edit_->setClearButtonEnabled(true);
    signal_edit_ = new QLineEdit(pane_);
    signal_edit_->setPlaceholderText(QStringLiteral("Сигнал"));
    signal_edit_->setMaximumWidth(120);
    unacknowledged_box_ = new QCheckBox(QStringLiteral("Только неквитированные"), pane_);
    from_box_ = new QCheckBox(QStringLiteral("с"), pane_);
    from_edit_ = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(-3600), pane_);
    to_box_ = new QCheckBox(QStringLiteral("по"), pane_);
    to_edit_ = new QDateTimeEdit(QDateTime::currentDateTime(), pane_);
    for (QDateTimeEdit* edit : {from_edit_, to_edit_}) {
        edit->setDisplayFormat(QStringLiteral("dd.MM.yy HH:mm:ss"));
        edit->setEnabled(false);
    }
    archive_button_ = new QPushButton(QStringLiteral("Архив"), pane_);
    archive_button_->setCheckable(true);
    archive_button_->setToolTip(QStringLiteral("Искать в архиве событий по фильтру"));
    archive_button_->hide();
    archive_label_ = new QLabel(pane_);
    archive_label_->hide();
    auto* csv = new QPushButton(QStringLiteral("CSV..."), pane_);
    csv->setToolTip(QStringLiteral("Сохранить показанные строки в файл CSV"));
    auto* print = new QPushButton(QStringLiteral("Печать..."), pane_);
    print->setToolTip(QStringLiteral("Напечатать показанные строки"));
    bar->addWidget(text_edit_, 1);
    bar->addWidget(signal_edit_);
    bar->addWidget(unacknowledged_box_);
    bar->addWidget(from_box_);
    bar->addWidget(from_edit_);
    bar->addWidget(to_box_);
    bar->addWidget(to_edit_);
    bar->addWidget(archive_button_);
    bar->addWidget(archive_label_);
    bar->addWidget(csv);
    bar->addWidget(print);

    list_ = new QTableView(pane_);
    list_->setModel(&shown_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setIconSize(QSize(16, 16));
    for (int c = 0; c < journal_model::columns; ++c)
        list_->setColumnWidth(c, journal_column_width(c));
    // The name column takes what the others leave.
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    column->addWidget(list_, 1);

    // A busy station brings lines on every 10 ms pass; the list is painted at most ten times a
    // second, which no reader notices and which keeps the interface thread free.
    repaint_timer_ = new QTimer(this);
    repaint_timer_->setSingleShot(true);
    repaint_timer_->setInterval(100);
    connect(repaint_timer_, &QTimer::timeout, this, [this] {
        list_->viewport()->setUpdatesEnabled(true);
        list_->viewport()->update();
    });

    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QModelIndex index = list_->indexAt(at);
        if (index.isValid())
            guarded(store_.owner_window(), [&] { row_menu(index.row()); });
    });
    connect_selection();
    archive_model_.set_icons([this](journal_image image) { return icons_(image_icon(image)); });
    // Typing in the filter starts a new archive search only when it pauses.
    archive_timer_ = new QTimer(this);
    archive_timer_->setSingleShot(true);
    archive_timer_->setInterval(300);
    connect(archive_timer_, &QTimer::timeout, this, [this] { set_filter(filter_of_fields()); });
    connect(archive_button_, &QPushButton::toggled, this,
            [this](bool on) { set_archive_mode(on); });
    connect(&archive_model_, &journal_archive_model::page_arrived, this,
            [this] { archive_label_->setText(archive_status()); });
    connect(text_edit_, &QLineEdit::textChanged, this, [this] { filter_edited(); });
    connect(signal_edit_, &QLineEdit::textChanged, this, [this] { filter_edited(); });
    connect(unacknowledged_box_, &QCheckBox::toggled, this, [this] { filter_edited(); });
    connect(from_box_, &QCheckBox::toggled, this, [this](bool on) {
        from_edit_->setEnabled(on);
        filter_edited();
    });
    connect(to_box_, &QCheckBox::toggled, this, [this](bool on) {
        to_edit_->setEnabled(on);
        filter_edited();
    });
    connect(from_edit_, &QDateTimeEdit::dateTimeChanged, this, [this] { filter_edited(); });
    connect(to_edit_, &QDateTimeEdit::dateTimeChanged, this, [this] { filter_edited(); });
    connect(csv, &QPushButton::clicked, this,
            [this] { guarded(store_.owner_window(), [this] { export_csv_asked(); }); });
    connect(print, &QPushButton::clicked, this,
            [this] { guarded(store_.owner_window(), [this] { print_asked(); }); });
    update_buttons();
}

nx_view_mes::~nx_view_mes() {
    store_.remove_viewer(this);
    store_.unsubscribe_subtree("", this);
}

void nx_view_mes::set_icon_source(std::function<QIcon(int)> icons) {
    icons_ = icons ? std::move(icons) : std::function<QIcon(int)>(&view_icon);
    if (model_.rowCount() > 0)
        emit model_.dataChanged(model_.index(0, 0), model_.index(model_.rowCount() - 1, 0));
}

void nx_view_mes::set_log_font(const QFont& font) {
    list_->setFont(font);
    list_->verticalHeader()->setDefaultSectionSize(
        std::max(QFontMetrics(font).height() + 4, list_->iconSize().height() + 2));
}

void nx_view_mes::on_load() {
    store_.subscribe_subtree(prefix_, this);
}

std::string archive_signal_name(t_ref& signal) {
    std::string name = signal.title();
    if (t_ref* parent = signal.parent(); parent != nullptr && !parent->title().empty())
        name += " (" + parent->title() + ")";
    return name;
}

namespace {

// The states the device reported with their own time tags since the last pass, when they are
// the signal's own: fed straight by its object, no expression, no value by hand. They are
// taken in any case, so that an object nobody journals keeps nothing.
std::vector<reported_state> reported_states(t_ref_buff& store, t_struct_ts& signal) {
    const std::string object_key = store.feeder(signal.signal_key());
    auto* object =
        object_key.empty() ? nullptr : dynamic_cast<t_dev_change*>(store.get(object_key));
    if (object == nullptr)
        return {};
    std::vector<reported_state> states = object->take_reported_states();
    if (!signal.linked() || !signal.expression().empty() || signal.manual() || signal.forced())
        states.clear();
    return states;
}

} // namespace

void nx_view_mes::on_changed(const std::string& key) {
    auto* signal = dynamic_cast<t_struct_ts*>(store_.get(key));
    if (signal == nullptr || signal->signal_key().empty())
        return;
    std::vector<reported_state> reported = reported_states(store_, *signal);
    bool on = signal->is_on();
    std::uint32_t bits = signal->flags() & journal_bits;
    auto seen = last_seen_.find(key);
    if (seen == last_seen_.end()) {
        last_seen_.emplace(key, std::make_pair(on, bits));
        return;
    }
    // Every state reported in between, in the order of their time tags; the pass goes on with
    // the settled one, which then usually makes no line of its own.
    for (const reported_state& r : reported) {
        const bool r_on = r.value != 0;
        std::uint32_t r_bits = (bits & flag_manual) |
                               (r.defined ? std::uint32_t{flag_defined} : 0u) |
                               (r.invalid ? std::uint32_t{flag_invalid} : 0u);
        if (seen->second.first == r_on && (seen->second.second & journal_bits) == r_bits)
            continue;
        seen->second = {r_on, r_bits};
        add_line(*signal, &r);
    }
    if (seen->second.first == on && (seen->second.second & journal_bits) == bits)
        return;
    seen->second = {on, bits};
    add_line(*signal);
}

void nx_view_mes::add_line(t_ref& component, const reported_state* reported) {
    auto& signal = dynamic_cast<t_struct_ts&>(component);
    journal_line line;
    line.number = ++line_number_;
    const bool control = reported != nullptr || signal.control();
    const bool defined = reported != nullptr ? reported->defined : signal.defined();
    const bool invalid = reported != nullptr ? reported->invalid : signal.invalid();
    const double value = reported != nullptr ? reported->value : signal.value();
    const nx_time time = reported != nullptr ? reported->time : signal.time();
    const char* state = nullptr;
    if (!control) {
        state = "нет контроля";
    } else if (!defined) {
        state = "неопределенный";
    } else if (invalid) {
        state = "недостоверный";
    } else if (value != 0) {
        state = "ВКЛЮЧЕН";
        line.image = journal_image::on;
    } else {
        state = "ОТКЛЮЧЕН";
        line.image = journal_image::off;
    }
    line.state = QString::fromUtf8(state);
    line.key = QString::fromStdString(signal.signal_key());
    line.input = signal.manual() ? QStringLiteral("РУЧНОЙ") : QStringLiteral("авто");
    line.time = time;
    line.time_text = QString::fromStdString(time_format(time, "%H:%M:%S.%V %d.%m.%y"));
    std::string name = signal.display_name();
    if (t_ref* parent = signal.parent(); parent != nullptr && !parent->title().empty())
        name += " (" + parent->title() + ")";
    line.name = QString::fromStdString(name);
    pass_reported_ = pass_reported_ || reported != nullptr;
    if (archive_ != nullptr) {
        archive_row row;
        row.key = signal.signal_key();
        row.name = archive_signal_name(signal);
        row.time_ms = archive_ms(time);
        row.kind = archive_kind::change;
        row.value = value != 0 ? 1 : 0;
        row.quality = (!control ? std::uint32_t{quality_no_control} : 0u) |
                      (!defined || invalid ? std::uint32_t{quality_invalid} : 0u) |
                      (signal.manual() ? std::uint32_t{quality_manual} : 0u);
        row.text = state;
        pending_rows_.push_back(std::move(row));
    }
    pending_.push_back(std::move(line));
    if (beep_frequency_ != 0)
        beeper_.request(beep_frequency_, beep_duration_, beep_pause_);
}

void nx_view_mes::on_changes_done() {
    flush_lines();
    if (archive_ != nullptr)
        archive_->end_pass();
}

void nx_view_mes::flush_lines() {
    if (pending_.empty())
        return;
    if (std::exchange(pass_reported_, false)) {
        // Lines of reported states make the pass's lines follow the time tags, not the order in
        // which the pass reached the signals; numbers follow the new order.
        std::vector<std::size_t> order(pending_.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
            return pending_[a].time < pending_[b].time;
        });
        std::vector<journal_line> lines;
        std::vector<archive_row> rows;
        const int first = pending_.front().number;
        for (std::size_t i : order) {
            lines.push_back(std::move(pending_[i]));
            lines.back().number = first + static_cast<int>(lines.size()) - 1;
            if (i < pending_rows_.size())
                rows.push_back(std::move(pending_rows_[i]));
        }
        pending_ = std::move(lines);
        pending_rows_ = std::move(rows);
    }
    for (const journal_line& line : pending_) {
        if (journal_.mes(journal_file_text(line))) {
            journal_failed_ = false;
        } else if (!journal_failed_) {
            // Once per run of failures: the journal goes on in the list.
            journal_failed_ = true;
            nx_log::main().err(
                "журнал событий: не удалось записать строку в файл '" +
                (journal_.file_name().empty() ? std::string("mes.log") : journal_.file_name()) +
                "'");
        }
    }
    if (archive_ != nullptr)
        for (archive_row& row : pending_rows_)
            archive_->add(std::move(row));
    pending_rows_.clear();
    if (archive_mode_) {
        // The list shows the archive: the journal's own lines wait behind it.
        model_.append(std::exchange(pending_, {}));
        return;
    }
    // The newest line keeps the selection when the operator was on the last one.
    int shown_before = shown_.rowCount();
    int selected = selected_shown_row();
    bool follow = shown_before == 0 || selected == shown_before - 1 ||
                  list_->currentIndex().row() == shown_before - 1;
    if (!repaint_timer_->isActive()) {
        list_->viewport()->setUpdatesEnabled(false);
        repaint_timer_->start();
    }
    model_.append(std::exchange(pending_, {}));
    if (follow) {
        QModelIndex newest = shown_.mapFromSource(model_.index(model_.rowCount() - 1, 0));
        if (newest.isValid())
            select_shown(newest.row());
    }
    update_buttons();
}

void nx_view_mes::connect_selection() {
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { update_buttons(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { update_buttons(); });
}

QAbstractItemModel* nx_view_mes::list_model() const {
    return archive_mode_
               ? static_cast<QAbstractItemModel*>(
                     const_cast<journal_archive_model*>(&archive_model_))
               : static_cast<QAbstractItemModel*>(const_cast<journal_filter_model*>(&shown_));
}

void nx_view_mes::set_archive_reader(archive_reader* reader) {
    archive_model_.set_reader(reader);
    archive_button_->setVisible(reader != nullptr);
    if (reader == nullptr && archive_mode_)
        set_archive_mode(false);
}

void nx_view_mes::set_archive_mode(bool on) {
    if (on == archive_mode_)
        return;
    archive_mode_ = on;
    {
        const QSignalBlocker quiet(archive_button_);
        archive_button_->setChecked(on);
    }
    QItemSelectionModel* old = list_->selectionModel();
    list_->setModel(list_model());
    delete old;
    connect_selection();
    for (int c = 0; c < journal_model::columns; ++c)
        list_->setColumnWidth(c, journal_column_width(c));
    archive_label_->setVisible(on);
    if (on) {
        archive_model_.set_query(archive_query_of(filter_of_fields()));
        archive_label_->setText(archive_status());
    }
    update_buttons();
}

QString nx_view_mes::archive_status() const {
    if (!archive_model_.error().empty())
        return QStringLiteral("ошибка архива: ") + QString::fromStdString(archive_model_.error());
    if (archive_model_.loading() && archive_model_.rowCount() == 0)
        return QStringLiteral("поиск...");
    return QStringLiteral("найдено %1%2")
        .arg(archive_model_.rowCount())
        .arg(archive_model_.complete() ? QString() : QStringLiteral("+"));
}

archive_query archive_query_of(const journal_filter& filter) {
    archive_query q;
    q.text = filter.text.toStdString();
    q.signal = filter.signal.toStdString();
    q.only_unacknowledged = filter.only_unacknowledged;
    if (filter.from != 0)
        q.from_ms = archive_ms(filter.from);
    if (filter.to != 0)
        q.to_ms = archive_ms(filter.to);
    return q;
}

int nx_view_mes::selected_shown_row() const {
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void nx_view_mes::select_shown(int row) {
    QModelIndex index = list_model()->index(row, 0);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    list_->scrollTo(index);
}

void nx_view_mes::navigate(int command) {
    int row = selected_shown_row();
    if (row < 0)
        return;
    int last = list_model()->rowCount() - 1;
    switch (command) {
    case 1:
        row = std::min(row + 1, last);
        break;
    case 2:
        row = last;
        break;
    case 3:
        row = std::max(row - 1, 0);
        break;
    case 4:
        row = 0;
        break;
    default:
        return;
    }
    select_shown(row);
    update_buttons();
}

void nx_view_mes::update_buttons() {
    int row = selected_shown_row();
    int last = list_model()->rowCount() - 1;
    bool down = row >= 0 && row < last;
    bool up = row > 0;
    if (buttons_[0] != nullptr)
        buttons_[0]->setEnabled(down);
    if (buttons_[1] != nullptr)
        buttons_[1]->setEnabled(down);
    if (buttons_[2] != nullptr)
        buttons_[2]->setEnabled(up);
    if (buttons_[3] != nullptr)
        buttons_[3]->setEnabled(up);
}

void nx_view_mes::run(int command, int row) {
    switch (command) {
    case 1: {
        if (!model_.acknowledge(row))
            return;
        audit_action("квитирование", model_.line(row).key.toStdString());
        if (archive_ != nullptr) {
            // The acknowledgement sits at its line's time (found by key with it); its value is
            // when the operator acknowledged.
            const journal_line& line = model_.line(row);
            archive_row ack;
            ack.key = line.key.toStdString();
            ack.time_ms = archive_ms(line.time);
            ack.kind = archive_kind::acknowledge;
            ack.value = static_cast<double>(archive_ms(time_now()));
            ack.text = archive_text_acknowledged;
            archive_->add(std::move(ack));
        }
        std::string owner = store_.signal_owner(model_.line(row).key.toStdString());
        auto* signal = dynamic_cast<t_struct_vl*>(store_.get(owner));
        if (signal != nullptr && signal->unacknowledged()) {
            signal->set_flag(false, flag_unacknowledged);
            store_.mark_changed(signal->key());
        }
        break;
    }
    case 2:
        for (int r = 0; r < model_.rowCount(); ++r)
            run(1, r);
        break;
    case 3:
        model_.remove_acknowledged();
        break;
    case 4:
        model_.remove_all();
        break;
    default:
        return;
    }
    if (archive_ != nullptr)
        archive_->end_pass();
    update_buttons();
}

std::vector<menu_item> journal_row_menu(bool filtered, bool trend) {
    std::vector<menu_item> items(trend ? 7 : 5);
    items[0].command = 1;
    items[0].text = "Квитировать";
    items[1].command = 2;
    items[1].text = filtered ? "Квитировать все показанные" : "Квитировать все";
    items[2].separator = true;
    items[3].command = 3;
    items[3].text = "Удалить квитированные";
    items[4].command = 4;
    items[4].text = filtered ? "Удалить все показанные" : "Удалить все";
    if (trend) {
        items[5].separator = true;
        items[6].command = 5;
        items[6].text = "График";
    }
    return items;
}

void nx_view_mes::row_menu(int shown_row) {
    // The archive's rows are history: nothing to acknowledge or delete there.
    if (archive_mode_)
        return;
    QModelIndex source = shown_.mapToSource(shown_.index(shown_row, 0));
    if (!source.isValid())
        return;
    // Lines keep arriving while the menu is open and the bound pushes old ones out, so the
    // clicked line is held by its number, not by its row.
    const int number = model_.line(source.row()).number;
    const std::string signal_key = model_.line(source.row()).key.toStdString();
    const bool filtered = !shown_.filter().empty();
    const bool trend = trend_opener_ && offers_trend(store_.get(store_.signal_owner(signal_key)));
    i_prompt* prompt = current_prompt();
    int command = prompt != nullptr
                      ? prompt->popup_menu(store_.owner_window(), journal_row_menu(filtered, trend))
                      : 0;
    switch (command) {
    case 5:
        if (trend)
            trend_opener_(signal_key);
        break;
    case 1:
        // A line pushed out meanwhile is gone; nothing else is acknowledged in its place.
        if (int row = model_.row_of(number); row >= 0)
            run(1, row);
        break;
    case 2:
        if (!filtered) {
            run(2, 0);
            break;
        }
        for (int n : shown_.shown_numbers())
            if (int row = model_.row_of(n); row >= 0)
                run(1, row);
        break;
    case 3:
        run(3, 0);
        break;
    case 4: {
        std::vector<int> numbers;
        std::string question = "Удалить все строки журнала ?";
        if (filtered) {
            numbers = shown_.shown_numbers();
            question = "Удалить все показанные строки журнала (" + std::to_string(numbers.size()) +
                       " шт.) ?";
        }
        if (show_message(store_.owner_window(), question, mb_question) != answer_yes)
            break;
        if (filtered) {
            model_.remove_lines(numbers);
            update_buttons();
        } else {
            run(4, 0);
        }
        break;
    }
    default:
        break;
    }
}

journal_filter nx_view_mes::filter_of_fields() const {
    journal_filter filter;
    filter.text = text_edit_->text().trimmed();
    filter.signal = signal_edit_->text().trimmed();
    filter.only_unacknowledged = unacknowledged_box_->isChecked();
    if (from_box_->isChecked())
        filter.from = to_nx_time(from_edit_->dateTime());
    if (to_box_->isChecked())
        filter.to = to_nx_time(to_edit_->dateTime());
    return filter;
}

void nx_view_mes::filter_edited() {
    if (archive_mode_)
        archive_timer_->start();
    else
        set_filter(filter_of_fields());
}

void nx_view_mes::set_filter(const journal_filter& filter) {
    shown_.set_filter(filter);
    if (archive_mode_) {
        archive_model_.set_query(archive_query_of(filter));
        archive_label_->setText(archive_status());
    }
    update_buttons();
}

bool nx_view_mes::export_csv(const std::string& path) {
    std::string bytes = journal_csv(shown_.shown_lines());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (out.fail()) {
        nx_log::main().err("журнал событий: не удалось записать файл '" + path + "'");
        show_message(store_.owner_window(), "Не удалось записать файл\r\n'" + path + "'.",
                     mb_error);
        return false;
    }
    return true;
}

void nx_view_mes::export_csv_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    std::string path = prompt->save_file_name(
        store_.owner_window(),
        archive_mode_ ? "Сохранить найденное в архиве" : "Сохранить журнал событий",
        archive_mode_ ? "archive.csv" : "journal.csv", "Файлы CSV (*.csv)");
    if (path.empty())
        return;
    if (!archive_mode_) {
        export_csv(path);
        return;
    }
    // Every matching row, however many, written on the archive's thread.
    archive_label_->setText(QStringLiteral("запись CSV..."));
    archive_model_.export_csv(path, [this, path](long long rows, const std::string& error) {
        archive_label_->setText(archive_status());
        if (rows < 0) {
            nx_log::main().err("журнал событий: архив в CSV '" + path + "': " + error);
            show_message(store_.owner_window(),
                         "Не удалось записать файл\r\n'" + path + "'.\r\n" + error, mb_error);
        }
    });
}

void nx_view_mes::print_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!prompt->print_setup(store_.owner_window(), &printer))
        return;
    QString html = QStringLiteral("<h3>Журнал событий</h3><table border=1 cellspacing=0 "
                                  "cellpadding=2><tr>");
    for (int c = 0; c < journal_model::columns; ++c)
        html += QStringLiteral("<th>") + QString::fromUtf8(journal_column_title(c)) +
                QStringLiteral("</th>");
    html += QStringLiteral("</tr>");
    // In the archive: the rows fetched so far (the list fetches more as it scrolls).
    for (const journal_line* line : archive_mode_ ? archive_model_.lines() : shown_.shown_lines()) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < journal_model::columns; ++c)
            html += QStringLiteral("<td>") + html_escaped(journal_column_text(*line, c)) +
                    QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    QTextDocument document;
    document.setHtml(html);
    document.print(&printer);
}

} // namespace nxkit
