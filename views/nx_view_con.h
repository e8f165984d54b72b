#pragma once

#include "base/prompt.h"
#include "config/interfaces.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <set>
#include <string>
#include <vector>

class QAction;
class QWidget;

namespace nxkit {

class t_ref_buff;

// The connections view: while a started device is without connection, the pressed picture of
// the "Подключение" button turns into the alarm picture; the list of those devices opens at
// the button and follows them while it is open.
class nx_view_con : public QObject, public i_observer, public i_viewer {
    Q_OBJECT
public:
    nx_view_con(t_ref_buff& store, QAction* button, QObject* parent = nullptr);
    ~nx_view_con() override;

    void set_root(const std::string& key) { root_ = key; }
    // The widget the list opens at (the button's widget on the toolbar).
    void set_anchor(QWidget* anchor) { anchor_ = anchor; }
    void set_icon_source(std::function<QIcon(int)> icons) { icons_ = std::move(icons); }

    // i_observer
    void on_changed(const std::string& key) override;
    // i_viewer
    void on_unload() override;
    void on_load() override;

    // Opens the list of the devices without connection (nothing when there is none).
    void show_disconnected();
    // The list's items: the heading, then one numbered item per device without connection.
    std::vector<menu_item> disconnected_items();

    const std::set<std::string>& disconnected() const { return disconnected_; }
    bool alarm_shown() const { return alarm_shown_; }
    bool list_open() const { return list_open_; }

private:
    void show_images();

    t_ref_buff& store_;
    QAction* button_;
    QWidget* anchor_ = nullptr;
    std::string root_ = "D";
    std::function<QIcon(int)> icons_;
    QIcon own_icon_;
    QIcon alarm_icon_;
    bool alarm_shown_ = false;
    std::set<std::string> disconnected_;
    bool list_open_ = false;
};

} // namespace nxkit
