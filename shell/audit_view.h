#pragma once

#include "access/audit_chain.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QTableView;

namespace nxkit {

// The lines of the audit trail that pass a filter: time, user, role, action, object.
class audit_table_model : public QAbstractTableModel {
public:
    explicit audit_table_model(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void set_entries(std::vector<audit_entry> entries, const audit_filter& filter);
    void set_filter(const audit_filter& filter);
    const std::vector<audit_entry>& all() const { return entries_; }
    // The lines shown, in file order.
    std::vector<audit_entry> shown() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<audit_entry> entries_;
    std::vector<std::size_t> rows_;
};

// "Журнал действий": audit.log and the older files it continues, filterable by time, user and
// action, with the chain's verdict and a CSV export. Not modal.
class audit_view : public QDialog {
public:
    audit_view(QWidget* parent, std::string path);
    // Reads the trail again and verifies its chain.
    void reload();
    // Writes the lines shown; false (told to the operator) when the file cannot be written.
    bool export_csv(const std::string& path);
    void export_csv_asked();

    audit_table_model& model() { return model_; }
    QLabel* verdict_label() const { return verdict_; }

private:
    void filter_edited();

    std::string path_;
    audit_table_model model_;
    QTableView* table_ = nullptr;
    QCheckBox* from_on_ = nullptr;
    QDateTimeEdit* from_ = nullptr;
    QCheckBox* to_on_ = nullptr;
    QDateTimeEdit* to_ = nullptr;
    QComboBox* user_ = nullptr;
    QComboBox* action_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* verdict_ = nullptr;
};

} // namespace nxkit
