#include "views/nx_view_con.h"

#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "views/view_icons.h"

#include <QAction>

namespace nxkit {

namespace {

bool without_connection(t_ref& component, t_device& device) {
    return !device.is_connected() && !component.has_flag_in_chain(flag_locked);
}

} // namespace

nx_view_con::nx_view_con(t_ref_buff& store, QAction* button, QObject* parent)
    : QObject(parent), store_(store), button_(button), icons_(&view_icon) {
    if (button_ != nullptr)
        connect(button_, &QAction::toggled, this, [this] { show_images(); });
}

nx_view_con::~nx_view_con() {
    store_.remove_viewer(this);
    store_.unsubscribe_subtree("", this);
}

void nx_view_con::on_unload() {
    disconnected_.clear();
    show_images();
}

void nx_view_con::on_load() {
    if (button_ != nullptr && !alarm_shown_)
        own_icon_ = button_->icon();
    alarm_icon_ = icons_(1525);
    store_.subscribe_subtree(root_, this);
}

void nx_view_con::on_changed(const std::string& key) {
    t_ref* component = store_.get(key);
    if (component == nullptr) {
        disconnected_.erase(key);
    } else if (auto* device = dynamic_cast<t_device*>(component)) {
        if (without_connection(*component, *device))
            disconnected_.insert(key);
        else
            disconnected_.erase(key);
    } else {
        return;
    }
    show_images();
    if (list_open_) {
        if (i_prompt* prompt = current_prompt())
            prompt->update_open_menu(disconnected_items());
    }
}

void nx_view_con::show_images() {
    if (button_ == nullptr || !button_->isChecked())
        return;
    bool alarm = !disconnected_.empty();
    if (alarm == alarm_shown_)
        return;
    alarm_shown_ = alarm;
    if (!alarm) {
        button_->setIcon(own_icon_);
        return;
    }
    // The pressed picture becomes the alarm; the released one stays the button's own.
    QIcon icon;
    QList<QSize> sizes = own_icon_.availableSizes(QIcon::Normal, QIcon::Off);
    if (sizes.isEmpty())
        sizes = {QSize(16, 16), QSize(32, 32), QSize(48, 48)};
    for (QSize size : sizes) {
        icon.addPixmap(own_icon_.pixmap(size, QIcon::Normal, QIcon::Off), QIcon::Normal,
                       QIcon::Off);
        icon.addPixmap(alarm_icon_.pixmap(size), QIcon::Normal, QIcon::On);
    }
    button_->setIcon(icon);
}

std::vector<menu_item> nx_view_con::disconnected_items() {
    std::vector<menu_item> items;
    menu_item heading;
    heading.text = "Нет подключения:";
    heading.enabled = false;
    items.push_back(heading);
    int number = 0;
    for (t_ref* r : store_.refs().under(root_)) {
        auto* device = dynamic_cast<t_device*>(r);
        if (device == nullptr || !without_connection(*r, *device))
            continue;
        menu_item item;
        item.command = ++number;
        item.text = r->display_name();
        // A refused TLS connection says why, so the operator knows whom to call.
        if (std::string reason = device->connection_failure(); !reason.empty())
            item.text += " — " + reason;
        items.push_back(item);
    }
    return items;
}

void nx_view_con::show_disconnected() {
    std::vector<menu_item> items = disconnected_items();
    if (items.size() < 2 || list_open_)
        return;
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    list_open_ = true;
    // Choosing an item does nothing: the list only tells.
    prompt->popup_menu_at(store_.owner_window(), anchor_, items);
    list_open_ = false;
}

} // namespace nxkit
