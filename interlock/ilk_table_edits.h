#pragma once

#include "base/prompt.h"

#include <cstdint>

namespace nxkit {

class t_ref_buff;

// Edits made on a shown interlock table create and delete permissions under the insertion
// hold, so the store's tables are rebuilt once after a series instead of after every edit.
// Until that rebuild a new permission is not linked into the tables; whatever reads the whole
// configuration (saving, the export) flushes first.

// Records that a table edit waits for the rebuild.
void note_table_edit(t_ref_buff& store);
bool table_edits_pending(t_ref_buff& store);
// Rebuilds the store's tables when an edit waits; nothing otherwise.
void flush_table_edits(t_ref_buff& store);

// The question before editing a table, asked again only after five minutes without a
// confirmed edit (one recorded time for every display of the store). `now_ms` is a
// millisecond tick count. False when the operator refused.
bool confirm_table_edit(t_ref_buff& store, owner_handle owner, std::int64_t now_ms);

// The millisecond tick count the displays use.
std::int64_t table_edit_tick();

} // namespace nxkit
