#pragma once

#include <string>
#include <vector>

namespace nxkit {

// One difference between a controller file and the file an export makes of it.
struct review_line {
    enum kind_t { added, removed, changed };
    kind_t kind = added;
    std::string old_text; // removed, changed
    std::string new_text; // added, changed
    // A "$ILK=", ".MEK=" or "$ILKK=" line: what the controller's interlocks are made of.
    bool interlock = false;
};

// The differing lines of two texts (CR LF, LF or lone CR line ends), in file order: a run of
// removed lines next to a run of added ones pairs up into changed lines.
std::vector<review_line> review_lines(const std::string& old_text, const std::string& new_text);

// The review as the engineer reads it before the file is written or loaded: one line per
// difference, "+ " added, "- " removed, "* " changed (old, then new after " -> "), interlock
// lines marked with "ILK"; at most `limit` lines, then how many more.
std::string review_text(const std::vector<review_line>& lines, std::size_t limit = 40);

} // namespace nxkit
