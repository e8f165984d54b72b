#include "shell/audit_view.h"

#include "base/nx_log.h"
#include "base/prompt.h"
#include "platform/station.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <fstream>
#include <set>

namespace nxkit {

namespace {

const char* const all_text = "(все)";

nx_time to_nx_time(const QDateTime& t) {
    QDate d = t.date();
    QTime h = t.time();
    return time_encode(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second(), 0);
}

void fill_choices(QComboBox* box, const std::set<std::string>& values) {
    QString current = box->currentText();
    box->blockSignals(true);
    box->clear();
    box->addItem(QString::fromUtf8(all_text));
    for (const std::string& v : values)
        box->addItem(QString::fromStdString(v));
    int at = box->findText(current);
    box->setCurrentIndex(at < 0 ? 0 : at);
    box->blockSignals(false);
}

} // namespace

void audit_table_model::set_entries(std::vector<audit_entry> entries, const audit_filter& filter) {
    entries_ = std::move(entries);
    set_filter(filter);
}

void audit_table_model::set_filter(const audit_filter& filter) {
    beginResetModel();
    rows_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (filter.matches(entries_[i]))
            rows_.push_back(i);
    }
    endResetModel();
}

std::vector<audit_entry> audit_table_model::shown() const {
    std::vector<audit_entry> out;
    for (std::size_t i : rows_)
        out.push_back(entries_[i]);
    return out;
}

int audit_table_model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int audit_table_model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant audit_table_model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const audit_entry& e = entries_[rows_[static_cast<std::size_t>(index.row())]];
    if (role == Qt::ToolTipRole)
        return QString::fromStdString(e.chain);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return QString::fromStdString(e.time);
    case 1:
        return QString::fromStdString(e.user);
    case 2:
        return QString::fromStdString(e.role);
    case 3:
        return QString::fromStdString(e.action);
    default:
        return QString::fromStdString(e.object);
    }
}

QVariant audit_table_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Время", "Пользователь", "Роль", "Действие", "Объект"};
    return section >= 0 && section < 5 ? QString::fromUtf8(titles[section]) : QVariant();
}

audit_view::audit_view(QWidget* parent, std::string path)
    : QDialog(parent), path_(std::move(path)), model_(this) {
    setObjectName("audit_view");
    setWindowTitle(QStringLiteral("Журнал действий"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);

    auto* bar = new QHBoxLayout();
    from_on_ = new QCheckBox(QStringLiteral("с"), this);
    from_ = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), this);
    to_on_ = new QCheckBox(QStringLiteral("по"), this);
    to_ = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    for (QDateTimeEdit* edit : {from_, to_}) {
        edit->setDisplayFormat("dd.MM.yyyy HH:mm:ss");
        edit->setCalendarPopup(true);
    }
    user_ = new QComboBox(this);
    user_->setObjectName("audit_user");
    action_ = new QComboBox(this);
    action_->setObjectName("audit_action");
    action_->setMinimumContentsLength(24);
    auto* refresh = new QPushButton(QStringLiteral("Обновить"), this);
    auto* csv = new QPushButton(QStringLiteral("CSV..."), this);
    csv->setToolTip(QStringLiteral("Сохранить показанные строки в файл CSV"));
    bar->addWidget(from_on_);
    bar->addWidget(from_);
    bar->addWidget(to_on_);
    bar->addWidget(to_);
    bar->addWidget(new QLabel(QStringLiteral("Пользователь:"), this));
    bar->addWidget(user_);
    bar->addWidget(new QLabel(QStringLiteral("Действие:"), this));
    bar->addWidget(action_, 1);
    bar->addWidget(refresh);
    bar->addWidget(csv);
    layout->addLayout(bar);

    table_ = new QTableView(this);
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    layout->addWidget(table_, 1);

    auto* status = new QHBoxLayout();
    count_ = new QLabel(this);
    verdict_ = new QLabel(this);
    verdict_->setObjectName("audit_verdict");
    status->addWidget(count_);
    status->addStretch(1);
    status->addWidget(verdict_);
    layout->addLayout(status);

    for (QCheckBox* box : {from_on_, to_on_})
        connect(box, &QCheckBox::toggled, this, [this] { filter_edited(); });
    for (QDateTimeEdit* edit : {from_, to_})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] { filter_edited(); });
    for (QComboBox* box : {user_, action_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { filter_edited(); });
    connect(refresh, &QPushButton::clicked, this, [this] { reload(); });
    connect(csv, &QPushButton::clicked, this, [this] { export_csv_asked(); });
    resize(980, 520);
    reload();
}

void audit_view::reload() {
    std::vector<audit_entry> entries = read_audit_trail(path_);
    std::set<std::string> users;
    std::set<std::string> actions;
    for (const audit_entry& e : entries) {
        users.insert(e.user);
        actions.insert(e.action);
    }
    fill_choices(user_, users);
    fill_choices(action_, actions);
    model_.set_entries(std::move(entries), {});
    filter_edited();
    table_->resizeColumnsToContents();

    audit_verdict verdict = verify_audit_file(path_);
    if (verdict.ok && verdict.lines == 0 && model_.all().empty()) {
        verdict_->setText(QStringLiteral("Журнал действий пуст"));
        verdict_->setStyleSheet({});
    } else if (verdict.ok) {
        verdict_->setText(QStringLiteral("Цепочка записей не нарушена"));
        verdict_->setStyleSheet("color: #006400;");
    } else {
        verdict_->setText(QString::fromStdString("Цепочка нарушена: " + verdict.message()));
        verdict_->setStyleSheet("color: #b00000; font-weight: bold;");
    }
}

void audit_view::filter_edited() {
    audit_filter filter;
    if (from_on_->isChecked())
        filter.from = to_nx_time(from_->dateTime());
    if (to_on_->isChecked())
        filter.to = to_nx_time(to_->dateTime());
    if (user_->currentIndex() > 0)
        filter.user = user_->currentText().toStdString();
    if (action_->currentIndex() > 0)
        filter.action = action_->currentText().toStdString();
    model_.set_filter(filter);
    count_->setText(QString("Строк: %1 из %2")
                        .arg(model_.rowCount())
                        .arg(static_cast<int>(model_.all().size())));
}

bool audit_view::export_csv(const std::string& path) {
    std::string bytes = audit_csv(model_.shown());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (out.fail()) {
        nx_log::main().err("журнал действий: не удалось записать файл '" + path + "'");
        show_message(this, "Не удалось записать файл\r\n'" + path + "'.", mb_error);
        return false;
    }
    return true;
}

void audit_view::export_csv_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    std::string path =
        prompt->save_file_name(this, "Сохранить журнал действий", "audit.csv", "Файлы CSV (*.csv)");
    if (!path.empty())
        export_csv(path);
}

} // namespace nxkit
