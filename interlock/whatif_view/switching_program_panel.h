#pragma once

#include "interlock/whatif/switching_program.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace nxkit {

class whatif_area;

// The switching program ("Бланк переключений") of the what-if mode: a table of steps to edit,
// read from and written to a file; "Проверить" runs it in the mode's engine and colours each
// step green or red with the explanation below; the result prints and exports as PDF or CSV.
class switching_program_panel : public QWidget {
    Q_OBJECT
public:
    switching_program_panel(whatif_area& area, QWidget* parent = nullptr);

    void set_steps(const std::vector<program_step>& steps);
    // The steps as edited; throws nx_exception naming the row of one that cannot be read.
    std::vector<program_step> steps() const;
    // Runs the program from the state the mode holds now and shows the result.
    void check();
    const std::vector<step_result>& results() const { return results_; }
    QTableWidget* table() const { return table_; }
    QPlainTextEdit* explanation() const { return explanation_; }

    void open_file();
    void save_file();
    void export_csv();
    void export_pdf();
    void print();
    // The result as a PDF file.
    bool write_pdf(const std::string& path);

private:
    void add_step();
    void remove_step();
    void show_results();

    whatif_area& area_;
    QTableWidget* table_ = nullptr;
    QPlainTextEdit* explanation_ = nullptr;
    QLabel* summary_ = nullptr;
    std::vector<step_result> results_;
};

} // namespace nxkit
