#pragma once

#include "config/interfaces.h"
#include "schemes/t_schema.h"

#include <vector>

namespace nxkit {

class t_ilk_tss;
class t_ilk_tus;
class t_ilk_nmtss;

// An interlock table: its columns node, its rows node and its same-name columns. The nodes
// are looked up among the children when asked, so a deleted or moved node is never
// referred to afterwards.
class t_ilk_tab : public t_schema, public i_struct_linker {
public:
    explicit t_ilk_tab(t_ref_buff& store);
    std::string display_name() override;
    // Command 0 "Проверка блокировок": the what-if mode, offered while the window set
    // ilk_state::enter_whatif (edit mode).
    int command(bool query, int index, std::string& arg) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void link(t_ref_buff& store) override;
    ~t_ilk_tab() override;

    t_ilk_tss* columns_node();
    t_ilk_tus* rows_node();
    std::vector<t_ilk_nmtss*> same_name_columns();

protected:
    std::string name_caption() const override { return "Имя"; }
};

} // namespace nxkit
