#pragma once

namespace nxkit {

class t_ref_buff;

// Registers the scheme-side interlock classes (83, 84) with the store.
void register_ilk_scheme_classes(t_ref_buff& store);

// Registers every class of the schemes branch: the scheme classes, the interlock model and
// the scheme-side interlocks.
void register_all_scheme_classes(t_ref_buff& store);

} // namespace nxkit
