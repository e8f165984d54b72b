#include "interlock/ilk_table_edits.h"

#include "config/t_ref_buff.h"

#include <chrono>

namespace nxkit {

namespace {

struct table_edits : t_ref_buff::extension {
    bool pending = false;
    std::int64_t confirmed_at = 0;
};

table_edits& edits_of(t_ref_buff& store) {
    const char* name = "interlock.table_edits";
    auto* edits = dynamic_cast<table_edits*>(store.find_extension(name));
    if (edits == nullptr) {
        auto made = std::make_unique<table_edits>();
        edits = made.get();
        store.set_extension(name, std::move(made));
    }
    return *edits;
}

constexpr std::int64_t confirmation_lasts_ms = 300000;

} // namespace

void note_table_edit(t_ref_buff& store) {
    edits_of(store).pending = true;
}

bool table_edits_pending(t_ref_buff& store) {
    return edits_of(store).pending;
}

void flush_table_edits(t_ref_buff& store) {
    table_edits& edits = edits_of(store);
    if (!edits.pending || store.insertion_hold() || store.batch())
        return;
    edits.pending = false;
    store.rebuild(false, true);
}

bool confirm_table_edit(t_ref_buff& store, owner_handle owner, std::int64_t now_ms) {
    table_edits& edits = edits_of(store);
    if (now_ms - edits.confirmed_at > confirmation_lasts_ms &&
        show_message(owner, "Редактировать таблицу блокировки ?\r\n", mb_question) != answer_yes)
        return false;
    edits.confirmed_at = now_ms;
    return true;
}

std::int64_t table_edit_tick() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace nxkit
