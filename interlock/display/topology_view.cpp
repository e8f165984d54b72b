#include "interlock/display/topology_view.h"

#include "base/prompt.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace nxkit {

QColor topology_colour(row_status status) {
    switch (status) {
    case row_status::insufficient:
        return QColor(210, 0, 0);
    case row_status::excessive:
        return QColor(230, 140, 0);
    case row_status::not_checkable:
        return QColor(128, 128, 128);
    case row_status::passed:
    case row_status::no_rule:
        break;
    }
    return {};
}

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string row_heading(const row_check& row) {
    std::string text =
        (row.apparatus.empty() ? row.row_key : row.apparatus) + " — " + status_text(row.status);
    if (!row.note.empty())
        text += ": " + row.note;
    return text;
}

std::string bound_text(const row_check& row) {
    return "граница перебора: учтено " + std::to_string(row.variables) + " из " +
           std::to_string(row.variables + row.left_out) + " аппаратов";
}

} // namespace

std::map<std::string, topology_mark> topology_marks(const topology_report& report) {
    std::map<std::string, topology_mark> marks;
    for (const row_check& row : report.rows) {
        if (!topology_colour(row.status).isValid())
            continue;
        topology_mark mark{row.status, row_heading(row)};
        for (const topology_finding& f : row.findings)
            mark.text += "\n" + finding_text(f);
        while (!mark.text.empty() && mark.text.back() == '\n')
            mark.text.pop_back();
        marks[row.row_key] = std::move(mark);
    }
    return marks;
}

void paint_topology_marks(QPainter& painter, const ilk_table_layout& layout,
                          const std::map<std::string, topology_mark>& marks, int first_line,
                          int height) {
    if (marks.empty() || layout.pitch <= 0)
        return;
    const int band = std::max(3, mm_to_px(1.2 * layout.zoom, layout.dpi_x));
    painter.save();
    painter.setClipRect(
        QRect(0, layout.header_height, band, std::max(0, height - layout.header_height)));
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const ilk_line_item& line = layout.lines[i];
        if (!line.first_of_row)
            continue;
        auto it = marks.find(line.row_key);
        if (it == marks.end())
            continue;
        std::size_t count = 1;
        while (i + count < layout.lines.size() && !layout.lines[i + count].first_of_row)
            ++count;
        const ilk_rect header = layout.line_header(static_cast<int>(i));
        const int top = header.top - first_line * layout.pitch;
        painter.fillRect(QRect(0, top, band, layout.pitch * static_cast<int>(count)),
                         topology_colour(it->second.status));
    }
    painter.restore();
}

const topology_mark* topology_mark_at(const ilk_table_layout& layout,
                                      const std::map<std::string, topology_mark>& marks,
                                      int first_line, int x, int y) {
    if (layout.pitch <= 0 || x < 0 || x >= layout.line_header_width || y < layout.header_height)
        return nullptr;
    const int line = (y - layout.header_height) / layout.pitch + first_line;
    if (line < 0 || line >= static_cast<int>(layout.lines.size()))
        return nullptr;
    auto it = marks.find(layout.lines[static_cast<std::size_t>(line)].row_key);
    return it == marks.end() ? nullptr : &it->second;
}

std::vector<report_line> report_lines(const topology_report& report) {
    std::vector<report_line> lines;
    lines.push_back({"Проверка блокировок по схеме", row_status::passed, false, nullptr});
    for (const std::string& p : report.problems)
        lines.push_back({"! " + p, row_status::not_checkable, true, nullptr});
    std::string table;
    for (const row_check& row : report.rows) {
        if (row.table_key != table) {
            table = row.table_key;
            lines.push_back({"Таблица «" + row.table_name + "»", row.status, false, nullptr});
        }
        const bool coloured = topology_colour(row.status).isValid();
        lines.push_back({"  " + row_heading(row), row.status, coloured, nullptr});
        if (row.left_out > 0)
            lines.push_back({"    " + bound_text(row), row.status, false, nullptr});
        for (const topology_finding& f : row.findings)
            for (const std::string& l : split_lines(finding_text(f)))
                lines.push_back({"    " + l, row.status, false, &f});
    }
    for (const std::string& l :
         split_lines(report_text(report).substr(report_text(report).find("Итого строк:"))))
        lines.push_back({l, row_status::passed, false, nullptr});
    return lines;
}

std::size_t paint_report_page(QPainter& painter, const QRect& page, double dpi,
                              const std::vector<report_line>& lines, std::size_t first) {
    QFont font("Liberation Sans");
    font.setPixelSize(std::max(6, mm_to_px(3.2, dpi)));
    painter.save();
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int step = metrics.lineSpacing();
    int y = page.top();
    std::size_t i = first;
    for (; i < lines.size(); ++i) {
        const report_line& line = lines[i];
        QString text = QString::fromStdString(line.text);
        // A long line wraps within the page.
        QRect bounds = metrics.boundingRect(QRect(page.left(), 0, page.width(), 100000),
                                            Qt::TextWordWrap, text);
        const int h = std::max(step, bounds.height());
        if (y + h > page.bottom() && i > first)
            break;
        if (line.coloured) {
            QFont bold = font;
            bold.setBold(true);
            painter.setFont(bold);
            painter.setPen(topology_colour(line.status));
        } else {
            painter.setFont(font);
            painter.setPen(Qt::black);
        }
        painter.drawText(QRect(page.left(), y, page.width(), h), Qt::TextWordWrap, text);
        y += h;
    }
    painter.restore();
    return i;
}

bool print_report(QPagedPaintDevice& device, const topology_report& report) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const std::vector<report_line> lines = report_lines(report);
    const QRect page = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QRect area(0, 0, page.width(), page.height());
    std::size_t next = 0;
    while (next < lines.size()) {
        if (next > 0)
            device.newPage();
        next = paint_report_page(painter, area, device.logicalDpiY(), lines, next);
    }
    painter.end();
    return true;
}

topology_report_window::topology_report_window(QWidget* parent, topology_report report,
                                               const std::string& note)
    : QWidget(parent, Qt::Tool), report_(std::move(report)) {
    setObjectName("topology_report");
    setWindowTitle("Проверка блокировок по схеме");
    auto* layout = new QVBoxLayout(this);
    std::string heading = report_text(report_);
    heading = heading.substr(heading.find("Итого строк:"));
    heading = heading.substr(0, heading.find('\n'));
    if (!note.empty())
        heading = note + "\n" + heading;
    auto* label = new QLabel(QString::fromStdString(heading), this);
    label->setWordWrap(true);
    layout->addWidget(label);

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    for (const std::string& p : report_.problems)
        new QTreeWidgetItem(tree_, QStringList(QString::fromStdString("! " + p)));
    for (std::size_t r = 0; r < report_.rows.size(); ++r) {
        const row_check& row = report_.rows[r];
        auto* item = new QTreeWidgetItem(
            tree_, QStringList(QString::fromStdString(row.table_name + ": " + row_heading(row))));
        item->setData(0, Qt::UserRole, static_cast<int>(r));
        item->setData(0, Qt::UserRole + 1, -1);
        if (QColor c = topology_colour(row.status); c.isValid())
            item->setForeground(0, c);
        if (row.left_out > 0)
            new QTreeWidgetItem(item, QStringList(QString::fromStdString(bound_text(row))));
        for (std::size_t f = 0; f < row.findings.size(); ++f) {
            std::vector<std::string> lines = split_lines(finding_text(row.findings[f]));
            auto* finding =
                new QTreeWidgetItem(item, QStringList(QString::fromStdString(lines[0])));
            finding->setData(0, Qt::UserRole, static_cast<int>(r));
            finding->setData(0, Qt::UserRole + 1, static_cast<int>(f));
            for (std::size_t l = 1; l < lines.size(); ++l) {
                auto* detail =
                    new QTreeWidgetItem(finding, QStringList(QString::fromStdString(lines[l])));
                detail->setData(0, Qt::UserRole, static_cast<int>(r));
                detail->setData(0, Qt::UserRole + 1, static_cast<int>(f));
            }
            finding->setExpanded(true);
        }
        item->setExpanded(!row.findings.empty());
    }
    layout->addWidget(tree_, 1);

    auto* buttons = new QHBoxLayout;
    load_ = new QPushButton("Загрузить в режим проверки", this);
    print_ = new QPushButton("Печать...", this);
    auto* close = new QPushButton("Закрыть", this);
    buttons->addWidget(load_);
    buttons->addStretch(1);
    buttons->addWidget(print_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(load_, &QPushButton::clicked, this, [this] { load_current(); });
    connect(print_, &QPushButton::clicked, this, [this] { print(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { update_buttons(); });
    // The first finding is chosen, an insufficient one before any other.
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree_->topLevelItem(i);
        if (item->childCount() == 0 || !item->data(0, Qt::UserRole).isValid())
            continue;
        const row_check& row =
            report_.rows[static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt())];
        if (row.findings.empty())
            continue;
        QTreeWidgetItem* finding = item->child(row.left_out > 0 ? 1 : 0);
        if (first == nullptr || row.status == row_status::insufficient) {
            first = finding;
            if (row.status == row_status::insufficient)
                break;
        }
    }
    if (first != nullptr)
        tree_->setCurrentItem(first);
    resize(760, 480);
    update_buttons();
}

void topology_report_window::set_loader(loader load) {
    load_function_ = std::move(load);
    update_buttons();
}

const topology_finding* topology_report_window::current_finding() const {
    QTreeWidgetItem* item = tree_->currentItem();
    if (item == nullptr || !item->data(0, Qt::UserRole + 1).isValid())
        return nullptr;
    int r = item->data(0, Qt::UserRole).toInt();
    int f = item->data(0, Qt::UserRole + 1).toInt();
    if (r < 0 || r >= static_cast<int>(report_.rows.size()))
        return nullptr;
    const row_check& row = report_.rows[static_cast<std::size_t>(r)];
    if (f < 0) // a row: its first finding
        return row.findings.empty() ? nullptr : &row.findings.front();
    return f < static_cast<int>(row.findings.size()) ? &row.findings[static_cast<std::size_t>(f)]
                                                     : nullptr;
}

bool topology_report_window::load_current() {
    const topology_finding* f = current_finding();
    if (!load_function_ || f == nullptr || f->counter_example.empty())
        return false;
    load_function_(f->counter_example);
    return true;
}

void topology_report_window::print() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName("Проверка блокировок по схеме");
    if (!prompt->print_setup(this, &printer))
        return;
    print_report(printer, report_);
}

void topology_report_window::update_buttons() {
    load_->setVisible(static_cast<bool>(load_function_));
    const topology_finding* f = current_finding();
    load_->setEnabled(f != nullptr && !f->counter_example.empty());
}

} // namespace nxkit
