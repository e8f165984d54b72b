#include "views/tree_find.h"

#include "config/interfaces.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"

#include <QString>

namespace nxkit {

namespace {

bool contains(const std::string& haystack, const QString& needle) {
    return QString::fromStdString(haystack).contains(needle, Qt::CaseInsensitive);
}

bool matches(t_ref& component, const QString& needle) {
    // The title is the name the operator gave; the display name (which may refresh a signal
    // and decorate it with its state) is read only for components without one.
    const std::string& title = component.title();
    if (contains(title.empty() ? component.display_name() : title, needle) ||
        contains(component.key(), needle))
        return true;
    if (auto* element = dynamic_cast<i_struct_element*>(&component))
        return !element->signal_key().empty() && contains(element->signal_key(), needle);
    if (auto* feed = dynamic_cast<i_feed*>(&component))
        return contains(feed->feed_signal_key(), needle);
    return false;
}

} // namespace

bool component_matches(t_ref& component, const std::string& text) {
    return !text.empty() && matches(component, QString::fromStdString(text));
}

std::string find_component(t_ref_buff& store, const std::string& root, const std::string& from,
                           const std::string& text, bool forward) {
    if (text.empty())
        return {};
    QString needle = QString::fromStdString(text);
    std::string first;  // first match of the branch (for wrapping forward)
    std::string before; // last match before `from`
    std::string last;   // last match of the branch (for wrapping backward)
    auto consider = [&](t_ref& c) {
        if (!matches(c, needle))
            return false;
        const std::string& key = c.key();
        if (forward) {
            if (first.empty())
                first = key;
            return key > from; // found
        }
        if (key < from)
            before = key;
        last = key;
        return false;
    };
    if (t_ref* r = store.get(root); r != nullptr && consider(*r))
        return root;
    t_refs::cursor c;
    for (bool more = store.refs().first_under(root, c); more;
         more = store.refs().next_under(c, root)) {
        if (consider(*c->second))
            return c->second->key();
    }
    if (forward)
        return first;
    return before.empty() ? last : before;
}

} // namespace nxkit
