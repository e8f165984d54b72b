#pragma once

// The topology check in the table display: rows with findings marked in the line headers, and
// a window listing the findings, printable, from which a counter-example goes to the what-if
// mode.

#include "interlock/display/ilk_table_layout.h"
#include "interlock/topology/topology_check.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QPushButton;
class QRect;
class QTreeWidget;

namespace nxkit {

// The colour a result is marked with; invalid for results that are not marked.
QColor topology_colour(row_status status);

// What a row of the table display carries from the last check.
struct topology_mark {
    row_status status = row_status::passed;
    std::string text; // the row's lines of the report
};
// The marks of the rows of `report` that are marked (findings and not checkable), by row key.
std::map<std::string, topology_mark> topology_marks(const topology_report& report);

// A band at the left edge of the first line header of every marked row, over the row's lines,
// in a display scrolled to `first_line` and `height` pixels high.
void paint_topology_marks(QPainter& painter, const ilk_table_layout& layout,
                          const std::map<std::string, topology_mark>& marks, int first_line,
                          int height);
// The mark of the row whose line header is at (x, y), or null.
const topology_mark* topology_mark_at(const ilk_table_layout& layout,
                                      const std::map<std::string, topology_mark>& marks,
                                      int first_line, int x, int y);

// The report as printed lines: text, the result whose colour it takes, the finding it belongs
// to (null for headings and totals).
struct report_line {
    std::string text;
    row_status status = row_status::passed;
    bool coloured = false;
    const topology_finding* finding = nullptr;
};
std::vector<report_line> report_lines(const topology_report& report);

// Paints lines from `first` into `page` at `dpi`, as many as fit; the index of the next line.
std::size_t paint_report_page(QPainter& painter, const QRect& page, double dpi,
                              const std::vector<report_line>& lines, std::size_t first);
// Every page of the report; false when painting could not start.
bool print_report(QPagedPaintDevice& device, const topology_report& report);

// The window listing the findings ("Проверка блокировок по схеме").
class topology_report_window : public QWidget {
public:
    using loader = std::function<void(const std::vector<signal_value>&)>;

    topology_report_window(QWidget* parent, topology_report report, const std::string& note);

    // The what-if mode's entry: "Загрузить в режим проверки" is shown only while one is set.
    void set_loader(loader load);
    const topology_report& report() const { return report_; }
    QTreeWidget* tree() const { return tree_; }
    QPushButton* load_button() const { return load_; }
    QPushButton* print_button() const { return print_; }
    // The finding of the current item, or null.
    const topology_finding* current_finding() const;
    // Loads the current finding's counter-example; false when there is none or no loader.
    bool load_current();
    // Asks for the printer through the prompt seam and prints.
    void print();

private:
    void update_buttons();

    topology_report report_;
    QTreeWidget* tree_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* print_ = nullptr;
    loader load_function_;
};

} // namespace nxkit
