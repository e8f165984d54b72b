#include "interlock/page_list.h"

#include "base/format.h"
#include "base/name_hash.h"
#include "config/t_ref_buff.h"
#include "schemes/t_mod_page.h"
#include "schemes/t_schema_modus50.h"
#include "schemes/t_schema_root.h"

#include <chrono>
#include <cstdint>

namespace nxkit {

namespace {

std::uint32_t tick_count_ms() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

} // namespace

const std::vector<ilk_page_entry>& page_list(t_ref_buff& store) {
    ilk_state& state = ilk_state::of(store);
    if (!state.pages.empty() && !t_schema_root::page_list_marked(store))
        return state.pages;
    std::vector<ilk_page_entry> pages{{}};
    for (t_ref* r : store.refs().under("S")) {
        auto* scheme = dynamic_cast<t_schema_modus50*>(r);
        if (scheme == nullptr)
            continue;
        for (t_ref* p : store.refs().under(scheme->key())) {
            auto* page = dynamic_cast<t_mod_page*>(p);
            if (page == nullptr)
                continue;
            std::string label = scheme->name() + "/" + page->page_title();
            if (page->page_id().empty()) {
                page->set_page_id(format_short("%x", name_hash(label) + tick_count_ms()));
                page->set_flag(true, flag_modified);
            }
            label += std::string(73, ' ') + page->page_id();
            pages.push_back({label, page->key()});
        }
    }
    state.pages = std::move(pages);
    t_schema_root::clear_page_list_mark(store);
    return state.pages;
}

bool find_page(t_ref_buff& store, const std::string& label, std::string& page_key) {
    for (const ilk_page_entry& entry : page_list(store)) {
        if (entry.label == label) {
            page_key = entry.page_key;
            return true;
        }
    }
    return false;
}

} // namespace nxkit
