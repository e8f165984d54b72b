#pragma once

#include <string>

class QWidget;

namespace nxkit {

class i_viewer;

// One display of the scheme view: a drawn scheme or an interlock table.
class i_schema {
public:
    virtual ~i_schema() = default;
    // Key of the scheme shown, empty when that component no longer exists.
    virtual std::string schema_key() = 0;
    virtual QWidget* window_handle() = 0;
    // Opens the scheme; `target` hears the operator's choices on it. Throws nx_exception.
    virtual void show(i_viewer* target) = 0;
    virtual void show_component(const std::string& key) = 0;
    virtual void notify_changed(const std::string& key) = 0;
    virtual void zoom_command(int code) = 0;
    virtual void mark(const std::string& key) = 0;
    virtual void highlight_interlock(const std::string& key) = 0;
    virtual bool command_enabled(int code) = 0;
};

} // namespace nxkit
