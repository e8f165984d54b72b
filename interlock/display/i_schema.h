#pragma once

#include <functional>
#include <string>

class QWidget;

namespace nxkit {

// A scheme display as the scheme view holds it: a hosted scheme or an interlock table.
// `selection` takes a component key and selects that component.
class i_schema {
public:
    using selection_target = std::function<void(const std::string& key)>;
    virtual std::string schema_key() = 0;
    virtual ~i_schema() = default;
    virtual QWidget* window_handle() = 0;
    virtual void show(selection_target selection) = 0;
    virtual void show_component(const std::string& key) = 0;
    virtual void notify_changed(const std::string& key) = 0;
    virtual void zoom_command(double code) = 0;
    virtual void mark(const std::string& key) = 0;
    virtual void highlight_interlock(const std::string& key) = 0;
    virtual bool command_enabled(int code) = 0;
};

} // namespace nxkit
