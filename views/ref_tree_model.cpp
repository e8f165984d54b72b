#include "views/ref_tree_model.h"

#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref.h"
#include "config/t_ref_buff.h"

#include <QFont>
#include <QPalette>

#include <algorithm>
#include <map>

namespace nxkit {

std::string node_text(t_ref& component, int label_mode, bool is_root) {
    std::string text = component.display_name();
    if (is_root || label_mode == 0)
        return text;
    if (label_mode == 2)
        return text + " <" + std::to_string(component.number() + 1) + ">";
    return text + " {" + component.key() + "}";
}

ref_tree_model::ref_tree_model(t_ref_buff& store, std::string root_key, QObject* parent)
    : QAbstractItemModel(parent), store_(store), root_key_(std::move(root_key)),
      icon_source_(fallback_tree_icon) {
    top_.fetched = true;
}

ref_tree_model::~ref_tree_model() = default;

void ref_tree_model::set_root_key(const std::string& key) {
    change_scope scope(changing_);
    beginResetModel();
    top_.children.clear();
    nodes_.clear();
    dirty_.clear();
    root_key_ = key;
    endResetModel();
}

void ref_tree_model::load() {
    change_scope scope(changing_);
    beginResetModel();
    top_.children.clear();
    nodes_.clear();
    dirty_.clear();
    marked_.clear();
    if (t_ref* root = store_.get(root_key_)) {
        auto n = std::make_unique<node>();
        n->key = root_key_;
        n->parent = &top_;
        n->ref = root;
        nodes_[n->key] = n.get();
        top_.children.push_back(std::move(n));
    }
    endResetModel();
}

void ref_tree_model::unload() {
    change_scope scope(changing_);
    beginResetModel();
    top_.children.clear();
    nodes_.clear();
    dirty_.clear();
    marked_.clear();
    endResetModel();
}

void ref_tree_model::note_changed(const std::string& key) {
    dirty_.insert(key);
}

void ref_tree_model::apply_changes(std::vector<std::string>* inserted) {
    change_scope scope(changing_);
    std::set<std::string> dirty;
    dirty.swap(dirty_);
    std::vector<std::string> refreshed;
    for (const std::string& key : dirty) {
        auto found = nodes_.find(key);
        if (found != nodes_.end()) {
            node* n = found->second;
            t_ref* component = store_.get(key);
            if (component == nullptr) {
                remove_node(n);
                continue;
            }
            if (component != n->ref) {
                // Another component took this place (a move renumbers siblings): what was
                // fetched below it belonged to the old one.
                n->ref = component;
                if (n->fetched) {
                    drop_children(n);
                    fetch(n);
                }
            }
            refreshed.push_back(key);
            continue;
        }
        std::string parent = parent_key(key);
        auto p = nodes_.find(parent);
        if (p == nodes_.end())
            continue;
        t_ref* component = store_.get(key);
        if (component == nullptr)
            continue;
        if (p->second->fetched) {
            insert_child(p->second, key, component);
        } else if (component->has_flag(flag_modified) &&
                   store_.refs().next_child(parent, {}) == component &&
                   store_.refs().next_child(parent, key) == nullptr) {
            // A new first child of a shown leaf: fetched, so the node gets its expander. Under
            // a parent not fetched yet a newcomer waits like its siblings.
            fetch(p->second);
        }
        if (inserted != nullptr && nodes_.count(key) != 0)
            inserted->push_back(key);
    }
    // One signal per run of siblings, after the shape is settled.
    std::map<node*, std::pair<int, int>> runs;
    for (const std::string& key : refreshed) {
        auto found = nodes_.find(key);
        if (found == nodes_.end())
            continue;
        node* n = found->second;
        int row = row_of(n);
        auto [it, fresh] = runs.try_emplace(n->parent, row, row);
        if (!fresh) {
            it->second.first = std::min(it->second.first, row);
            it->second.second = std::max(it->second.second, row);
        }
    }
    for (const auto& [parent, rows] : runs) {
        QModelIndex p = parent == &top_ ? QModelIndex() : index_of(parent);
        emit dataChanged(index(rows.first, 0, p), index(rows.second, 0, p));
    }
}

QModelIndex ref_tree_model::index_of(const std::string& key) const {
    auto found = nodes_.find(key);
    return found == nodes_.end() ? QModelIndex() : index_of(found->second);
}

QModelIndex ref_tree_model::reveal(const std::string& key) {
    if (key != root_key_ && !key_is_under(key, root_key_))
        return {};
    if (store_.get(key) == nullptr)
        return {};
    // Fetch from the nearest node down.
    std::vector<std::string> chain;
    for (std::string k = key; !k.empty() && nodes_.count(k) == 0; k = parent_key(k))
        chain.push_back(k);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        auto p = nodes_.find(parent_key(*it));
        if (p == nodes_.end())
            return {};
        if (!p->second->fetched)
            fetch(p->second);
        else if (nodes_.count(*it) == 0)
            insert_child(p->second, *it, store_.get(*it));
    }
    return index_of(key);
}

std::string ref_tree_model::key_of(const QModelIndex& index) const {
    node* n = node_of(index);
    return n != nullptr ? n->key : std::string();
}

t_ref* ref_tree_model::component(const QModelIndex& index) const {
    node* n = node_of(index);
    return n != nullptr ? store_.get(n->key) : nullptr;
}

void ref_tree_model::set_marked(const std::set<std::string>& keys) {
    std::set<std::string> touched = marked_;
    touched.insert(keys.begin(), keys.end());
    marked_ = keys;
    for (const std::string& key : touched) {
        QModelIndex i = index_of(key);
        if (i.isValid())
            emit dataChanged(i, i, {marked_role, Qt::BackgroundRole, Qt::ForegroundRole});
    }
}

void ref_tree_model::set_drop_target(const std::string& key) {
    if (key == drop_target_)
        return;
    std::string old = drop_target_;
    drop_target_ = key;
    for (const std::string* k : {&old, &drop_target_}) {
        QModelIndex i = index_of(*k);
        if (i.isValid())
            emit dataChanged(i, i, {Qt::BackgroundRole});
    }
}

QModelIndex ref_tree_model::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    node* p = parent.isValid() ? node_of(parent) : const_cast<node*>(&top_);
    if (p == nullptr || row >= int(p->children.size()))
        return {};
    return createIndex(row, 0, p->children[row].get());
}

QModelIndex ref_tree_model::parent(const QModelIndex& child) const {
    node* n = node_of(child);
    if (n == nullptr || n->parent == &top_ || n->parent == nullptr)
        return {};
    return index_of(n->parent);
}

int ref_tree_model::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const node* p = parent.isValid() ? node_of(parent) : &top_;
    return p != nullptr ? int(p->children.size()) : 0;
}

int ref_tree_model::columnCount(const QModelIndex& parent) const {
    (void)parent;
    return 1;
}

QVariant ref_tree_model::data(const QModelIndex& index, int role) const {
    node* n = node_of(index);
    if (n == nullptr)
        return {};
    switch (role) {
    case key_role:
        return QString::fromStdString(n->key);
    case marked_role:
        return marked_.count(n->key) != 0;
    default:
        break;
    }
    t_ref* component = store_.get(n->key);
    if (component == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(node_text(*component, label_mode_, n->parent == &top_));
    case Qt::DecorationRole: {
        int icon = 0;
        int overlay = 0;
        int state = 0;
        component->tree_images(icon, overlay, state);
        return icon_source_ ? icon_source_(icon, overlay, state) : QIcon();
    }
    case Qt::FontRole:
        if (component->has_flag(flag_modified)) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::BackgroundRole:
        if (marked_.count(n->key) != 0)
            return QPalette().brush(QPalette::Active, QPalette::Highlight);
        if (!drop_target_.empty() && n->key == drop_target_)
            return QPalette().brush(QPalette::Active, QPalette::Midlight);
        return {};
    case Qt::ForegroundRole:
        if (marked_.count(n->key) != 0)
            return QPalette().brush(QPalette::Active, QPalette::HighlightedText);
        return {};
    case number_role:
        return component->number();
    default:
        return {};
    }
}

bool ref_tree_model::hasChildren(const QModelIndex& parent) const {
    const node* p = parent.isValid() ? node_of(parent) : &top_;
    if (p == nullptr)
        return false;
    if (p->fetched)
        return !p->children.empty();
    return store_.refs().next_child(p->key, {}) != nullptr;
}

bool ref_tree_model::canFetchMore(const QModelIndex& parent) const {
    const node* p = node_of(parent);
    return p != nullptr && !p->fetched && store_.refs().next_child(p->key, {}) != nullptr;
}

void ref_tree_model::fetchMore(const QModelIndex& parent) {
    node* p = node_of(parent);
    if (p != nullptr && !p->fetched && changing_ == 0)
        fetch(p);
}

Qt::ItemFlags ref_tree_model::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

ref_tree_model::node* ref_tree_model::node_of(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<node*>(index.internalPointer());
}

QModelIndex ref_tree_model::index_of(const node* n) const {
    if (n == nullptr || n == &top_)
        return {};
    return createIndex(row_of(n), 0, const_cast<node*>(n));
}

int ref_tree_model::row_of(const node* n) const {
    const auto& siblings = n->parent->children;
    auto it = std::lower_bound(
        siblings.begin(), siblings.end(), n->key,
        [](const std::unique_ptr<node>& a, const std::string& key) { return a->key < key; });
    return int(it - siblings.begin());
}

void ref_tree_model::fetch(node* n) {
    change_scope scope(changing_);
    n->fetched = true;
    std::vector<t_ref*> children = store_.refs().children(n->key);
    if (children.empty())
        return;
    beginInsertRows(index_of(n), 0, int(children.size()) - 1);
    n->children.reserve(children.size());
    for (t_ref* child : children) {
        auto c = std::make_unique<node>();
        c->key = child->key();
        c->parent = n;
        c->ref = child;
        nodes_[c->key] = c.get();
        n->children.push_back(std::move(c));
    }
    endInsertRows();
}

void ref_tree_model::forget(node* n) {
    for (auto& child : n->children)
        forget(child.get());
    nodes_.erase(n->key);
}

void ref_tree_model::drop_children(node* n) {
    change_scope scope(changing_);
    if (!n->children.empty()) {
        beginRemoveRows(index_of(n), 0, int(n->children.size()) - 1);
        for (auto& child : n->children)
            forget(child.get());
        n->children.clear();
        endRemoveRows();
    }
    n->fetched = false;
}

void ref_tree_model::insert_child(node* parent, const std::string& key, t_ref* component) {
    change_scope scope(changing_);
    auto& siblings = parent->children;
    auto it = std::lower_bound(
        siblings.begin(), siblings.end(), key,
        [](const std::unique_ptr<node>& a, const std::string& k) { return a->key < k; });
    int row = int(it - siblings.begin());
    beginInsertRows(index_of(parent), row, row);
    auto c = std::make_unique<node>();
    c->key = key;
    c->parent = parent;
    c->ref = component;
    nodes_[key] = c.get();
    siblings.insert(siblings.begin() + row, std::move(c));
    endInsertRows();
}

void ref_tree_model::remove_node(node* n) {
    change_scope scope(changing_);
    node* parent = n->parent;
    int row = row_of(n);
    beginRemoveRows(index_of(parent), row, row);
    forget(n);
    marked_.erase(n->key);
    parent->children.erase(parent->children.begin() + row);
    endRemoveRows();
}

} // namespace nxkit
