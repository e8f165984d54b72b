#pragma once

namespace nxkit {

class t_ref_buff;
class t_ilk_root;

// Puts every interlock table onto the scheme page its root names, when the interlock
// configuration changed since the last projection: the components of the previous projection
// (every interlock (83) and every read-only label rule (87)) are deleted, then each root under
// "S" is projected in key order, all in one batch. Called before a scheme is shown.
void project_tables(t_ref_buff& store);

// Projects one root: under the element of every row found on the page, one interlock per
// condition, with a blocking element per permission whose apparatus is on the page and an
// extra condition for the rest, and one label rule. A label that is no longer in the page
// list is cleared; duplicate dispatcher names on the page are reported and nothing is made.
//
// Left open by the table, decided here:
// - A row without permission and readiness signals starts its extra condition with the
//   first permission term instead (never with " and "); when no term is left the extra
//   condition is empty and the blocking elements decide alone. In the label rule such a
//   condition counts as "1" when it has blocking elements and "0" when it has none.
// - A permission without column whose apparatus is not on the page adds the term "0": in the
//   table it never permits, so its condition never permits on the scheme either.
// - A contact that is an expression rather than one signal key is put in parentheses before
//   it is negated or joined, so that "!" applies to the whole of it.
void project_table(t_ref_buff& store, t_ilk_root& root);

} // namespace nxkit
