#include "interlock/whatif_view/switching_program_panel.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "interlock/whatif_view/program_printout.h"
#include "interlock/whatif_view/whatif_area.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace nxkit {

namespace {

enum column : int { column_apparatus = 0, column_operation, column_comment, column_result };

std::string cell_text(QTableWidget* table, int row, int col) {
    QTableWidgetItem* item = table->item(row, col);
    return item == nullptr ? std::string() : item->text().trimmed().toStdString();
}

} // namespace

switching_program_panel::switching_program_panel(whatif_area& area, QWidget* parent)
    : QWidget(parent), area_(area) {
    setObjectName("switching_program");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QString::fromUtf8("Бланк переключений"), this);
    title->setStyleSheet("font-weight: bold;");
    layout->addWidget(title);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName("program_steps");
    table_->setHorizontalHeaderLabels({QString::fromUtf8("Аппарат"), QString::fromUtf8("Операция"),
                                       QString::fromUtf8("Комментарий"),
                                       QString::fromUtf8("Результат")});
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 3);
    auto* buttons = new QHBoxLayout();
    auto button = [&](const char* caption, const char* name, auto slot) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, slot] {
            try {
                (this->*slot)();
            } catch (const nx_exception& e) {
                nx_log::main().err(e.what());
                show_message(window(), e.what(), mb_error);
            }
        });
        buttons->addWidget(b);
    };
    button("+", "program_add", &switching_program_panel::add_step);
    button("\u2212", "program_remove", &switching_program_panel::remove_step);
    button("Открыть...", "program_open", &switching_program_panel::open_file);
    button("Сохранить...", "program_save", &switching_program_panel::save_file);
    button("Проверить", "program_check", &switching_program_panel::check);
    button("Печать...", "program_print", &switching_program_panel::print);
    button("PDF...", "program_pdf", &switching_program_panel::export_pdf);
    button("CSV...", "program_csv", &switching_program_panel::export_csv);
    layout->addLayout(buttons);
    summary_ = new QLabel(this);
    layout->addWidget(summary_);
    explanation_ = new QPlainTextEdit(this);
    explanation_->setObjectName("program_explanation");
    explanation_->setReadOnly(true);
    layout->addWidget(explanation_, 2);
}

void switching_program_panel::set_steps(const std::vector<program_step>& steps) {
    table_->setRowCount(0);
    results_.clear();
    for (const program_step& s : steps) {
        int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, column_apparatus,
                        new QTableWidgetItem(QString::fromStdString(s.apparatus)));
        table_->setItem(row, column_operation,
                        new QTableWidgetItem(QString::fromUtf8(operation_text(s.switch_on))));
        table_->setItem(row, column_comment,
                        new QTableWidgetItem(QString::fromStdString(s.comment)));
    }
    explanation_->clear();
    summary_->clear();
}

std::vector<program_step> switching_program_panel::steps() const {
    // Each row read as a line of the file, so the editor and the file take the same words.
    std::string text;
    for (int row = 0; row < table_->rowCount(); ++row) {
        std::string apparatus = cell_text(table_, row, column_apparatus);
        std::string operation = cell_text(table_, row, column_operation);
        std::string comment = cell_text(table_, row, column_comment);
        auto quoted = [](const std::string& t) {
            std::string q = "\"";
            for (char c : t)
                q += c == '"' ? std::string("\"\"") : std::string(1, c);
            return q + "\"";
        };
        text += (apparatus.empty() && operation.empty()
                     ? std::string("#")
                     : quoted(apparatus) + ";" + quoted(operation) + ";" + quoted(comment)) +
                "\n";
    }
    std::vector<program_step> steps;
    try {
        steps = read_switching_program(text);
    } catch (const nx_exception& e) {
        throw nx_exception(std::string("Бланк переключений, ") + e.what());
    }
    return steps;
}

void switching_program_panel::add_step() {
    int row = table_->currentRow() < 0 ? table_->rowCount() : table_->currentRow() + 1;
    table_->insertRow(row);
    table_->setItem(row, column_operation, new QTableWidgetItem(QString::fromUtf8("отключить")));
}

void switching_program_panel::remove_step() {
    if (table_->currentRow() >= 0)
        table_->removeRow(table_->currentRow());
}

void switching_program_panel::check() {
    whatif_engine* engine = area_.engine();
    if (engine == nullptr)
        return;
    std::vector<program_step> program = steps();
    results_ = check_switching_program(*engine, program);
    show_results();
}

void switching_program_panel::show_results() {
    int row = 0;
    int refused = 0;
    for (const step_result& r : results_) {
        if (row >= table_->rowCount())
            break;
        // Rows that were comments took no step: the results follow the rows with an apparatus.
        while (row < table_->rowCount() && cell_text(table_, row, column_apparatus).empty())
            ++row;
        QColor colour =
            r.verdict == step_result::permitted ? QColor(200, 240, 200) : QColor(255, 200, 200);
        auto* item = new QTableWidgetItem(QString::fromUtf8(verdict_text(r.verdict)));
        table_->setItem(row, column_result, item);
        for (int c = 0; c < table_->columnCount(); ++c)
            if (QTableWidgetItem* cell = table_->item(row, c))
                cell->setBackground(colour);
        refused += r.verdict == step_result::permitted ? 0 : 1;
        ++row;
    }
    summary_->setText(
        QString::fromUtf8(refused == 0 ? "Все шаги разрешены" : "Есть запрещённые шаги"));
    summary_->setStyleSheet(refused == 0 ? "color: rgb(0,120,0); font-weight: bold;"
                                         : "color: rgb(190,0,0); font-weight: bold;");
    explanation_->setPlainText(QString::fromStdString(program_result_text(results_)));
}

void switching_program_panel::open_file() {
    if (current_prompt() == nullptr)
        return;
    std::string path = current_prompt()->open_file_name(window(), "Открыть бланк переключений",
                                                        "Бланк переключений (*.csv *.txt)");
    if (path.empty())
        return;
    std::string bytes;
    if (!read_file(path, bytes))
        throw nx_exception("Не удалось прочитать " + path);
    try {
        set_steps(read_switching_program(bytes));
    } catch (const nx_exception& e) {
        throw nx_exception(path + ": " + e.what());
    }
}

void switching_program_panel::save_file() {
    if (current_prompt() == nullptr)
        return;
    std::vector<program_step> program = steps();
    std::string path = current_prompt()->save_file_name(window(), "Сохранить бланк переключений",
                                                        "бланк.csv", "Бланк переключений (*.csv)");
    if (path.empty())
        return;
    if (!write_file_atomic(path, switching_program_csv(program)))
        throw nx_exception("Не удалось записать " + path);
}

void switching_program_panel::export_csv() {
    if (current_prompt() == nullptr || results_.empty())
        return;
    std::string path = current_prompt()->save_file_name(window(), "Результат проверки в CSV",
                                                        "проверка.csv", "CSV (*.csv)");
    if (path.empty())
        return;
    if (!write_file_atomic(path, program_result_csv(results_)))
        throw nx_exception("Не удалось записать " + path);
}

bool switching_program_panel::write_pdf(const std::string& path) {
    QPdfWriter pdf(QString::fromStdString(path));
    pdf.setResolution(150);
    pdf.setTitle(QString::fromUtf8("Бланк переключений"));
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    QRect page = pdf.pageLayout().paintRectPixels(pdf.resolution());
    page.moveTo(0, 0);
    std::vector<step_result> rest = results_;
    while (!rest.empty()) {
        int painted = paint_program_result(painter, page, "Бланк переключений", rest);
        if (painted == 0)
            painted = 1; // a step taller than a page is cut, never looped on
        rest.erase(rest.begin(),
                   rest.begin() +
                       std::min<std::ptrdiff_t>(painted, static_cast<std::ptrdiff_t>(rest.size())));
        if (!rest.empty())
            pdf.newPage();
    }
    painter.end();
    return true;
}

void switching_program_panel::export_pdf() {
    if (current_prompt() == nullptr || results_.empty())
        return;
    std::string path = current_prompt()->save_file_name(window(), "Результат проверки в PDF",
                                                        "проверка.pdf", "PDF (*.pdf)");
    if (path.empty())
        return;
    if (!write_pdf(path))
        throw nx_exception("Не удалось записать " + path);
}

void switching_program_panel::print() {
    if (current_prompt() == nullptr || results_.empty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromUtf8("Бланк переключений"));
    if (!current_prompt()->print_setup(window(), &printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw nx_exception("не удалось начать печать бланка переключений");
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    page.moveTo(0, 0);
    std::vector<step_result> rest = results_;
    while (!rest.empty()) {
        int painted = std::max(1, paint_program_result(painter, page, "Бланк переключений", rest));
        rest.erase(rest.begin(),
                   rest.begin() +
                       std::min<std::ptrdiff_t>(painted, static_cast<std::ptrdiff_t>(rest.size())));
        if (!rest.empty())
            printer.newPage();
    }
    painter.end();
}

} // namespace nxkit
