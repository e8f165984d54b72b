#pragma once

#include "views/tree_icons.h"

#include <QAbstractItemModel>

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxkit {

class t_ref;
class t_ref_buff;

// The text of a tree node: the component's display name and, except on the root, the suffix
// of the label mode (0 none, 2 " <number + 1>", any other " {key}").
std::string node_text(t_ref& component, int label_mode, bool is_root);

// One branch of the store ("D", "K" or "S") as an item model. Nodes are made only when their
// parent is fetched (expanded or revealed), so a station of 100,000 components costs a node
// per component shown, not per component. Node contents are read from the store on demand.
// Changes are recorded one key at a time and applied in one batch.
class ref_tree_model : public QAbstractItemModel {
    Q_OBJECT
public:
    enum role : int {
        key_role = Qt::UserRole + 1, // QString: the component key
        number_role,                 // int: the component number (sort order of siblings)
        marked_role,                 // bool: in the multi-selection
    };

    ref_tree_model(t_ref_buff& store, std::string root_key, QObject* parent = nullptr);
    ~ref_tree_model() override;

    const std::string& root_key() const { return root_key_; }
    void set_root_key(const std::string& key);
    void set_label_mode(int mode) { label_mode_ = mode; }
    int label_mode() const { return label_mode_; }
    void set_icon_source(tree_icon_source source) { icon_source_ = std::move(source); }

    // After a load: the branch's root node, nothing below it yet.
    void load();
    // Before a load: no nodes at all.
    void unload();

    // Observer side: remember a changed key; apply everything remembered in one batch.
    void note_changed(const std::string& key);
    // Applies the remembered changes. Keys whose node was inserted are reported through
    // `inserted`, nodes that vanished through `removed` (parent key first in each pair).
    void apply_changes(std::vector<std::string>* inserted = nullptr);

    // The node of a key, when it has one.
    QModelIndex index_of(const std::string& key) const;
    // The node of a key, fetching its ancestors as needed; invalid when the key is not a
    // component of this branch.
    QModelIndex reveal(const std::string& key);
    std::string key_of(const QModelIndex& index) const;
    // The component of a node, looked up in the store (null when it is gone).
    t_ref* component(const QModelIndex& index) const;
    bool has_node(const std::string& key) const { return nodes_.count(key) != 0; }
    std::size_t node_count() const { return nodes_.size(); }

    // The keys drawn as marked (the tree's multi-selection).
    void set_marked(const std::set<std::string>& keys);
    const std::set<std::string>& marked() const { return marked_; }
    // The node highlighted as the drop target while dragging ("" none).
    void set_drop_target(const std::string& key);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct node {
        std::string key;
        node* parent = nullptr;
        const t_ref* ref = nullptr; // identity check only: a move puts another component here
        bool fetched = false;
        std::vector<std::unique_ptr<node>> children; // in key order
    };

    node* node_of(const QModelIndex& index) const;
    QModelIndex index_of(const node* n) const;
    int row_of(const node* n) const;
    void fetch(node* n);
    void forget(node* n);
    void drop_children(node* n);
    void insert_child(node* parent, const std::string& key, t_ref* component);
    void remove_node(node* n);

    // Counts the changes in flight: a fetch asked for from inside one (a slot reacting to the
    // change) waits for the next request instead of nesting a second change.
    struct change_scope {
        explicit change_scope(int& depth) : depth_(depth) { ++depth_; }
        ~change_scope() { --depth_; }
        change_scope(const change_scope&) = delete;
        change_scope& operator=(const change_scope&) = delete;
        int& depth_;
    };

    t_ref_buff& store_;
    int changing_ = 0;
    std::string root_key_;
    int label_mode_ = 0;
    tree_icon_source icon_source_;
    node top_; // invisible: its one child is the branch's root
    std::unordered_map<std::string, node*> nodes_;
    std::set<std::string> dirty_;
    std::set<std::string> marked_;
    std::string drop_target_;
};

} // namespace nxkit
