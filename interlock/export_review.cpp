#include "interlock/export_review.h"

#include "interlock/export_interlock.h"

#include <algorithm>

namespace nxkit {

namespace {

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size();) {
        if (std::size_t end = line_end_length(text, i); end != 0) {
            lines.push_back(current);
            current.clear();
            i += end;
        } else {
            current += text[i++];
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

bool is_interlock_line(const std::string& line) {
    return line.rfind("$ILK=", 0) == 0 || line.rfind(".MEK=", 0) == 0 ||
           line.rfind("$ILKK=", 0) == 0;
}

void flush(std::vector<review_line>& out, std::vector<std::string>& removed,
           std::vector<std::string>& added) {
    std::size_t pairs = std::min(removed.size(), added.size());
    for (std::size_t i = 0; i < pairs; ++i)
        out.push_back({review_line::changed, removed[i], added[i],
                       is_interlock_line(removed[i]) || is_interlock_line(added[i])});
    for (std::size_t i = pairs; i < removed.size(); ++i)
        out.push_back({review_line::removed, removed[i], {}, is_interlock_line(removed[i])});
    for (std::size_t i = pairs; i < added.size(); ++i)
        out.push_back({review_line::added, {}, added[i], is_interlock_line(added[i])});
    removed.clear();
    added.clear();
}

} // namespace

std::vector<review_line> review_lines(const std::string& old_text, const std::string& new_text) {
    std::vector<std::string> a = split_lines(old_text);
    std::vector<std::string> b = split_lines(new_text);
    // Common head and tail first: an export changes one block at the end of a long file.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    std::size_t n = a.size() - head - tail;
    std::size_t m = b.size() - head - tail;
    // Longest common subsequence of the middle parts.
    std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i][j] = a[head + i] == b[head + j] ? lcs[i + 1][j + 1] + 1
                                                   : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::vector<review_line> out;
    std::vector<std::string> removed;
    std::vector<std::string> added;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j]) {
            flush(out, removed, added);
            ++i;
            ++j;
        } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
            added.push_back(b[head + j++]);
        } else {
            removed.push_back(a[head + i++]);
        }
    }
    flush(out, removed, added);
    return out;
}

std::string review_text(const std::vector<review_line>& lines, std::size_t limit) {
    if (lines.empty())
        return "Файл не меняется.";
    std::string text;
    std::size_t shown = std::min(limit, lines.size());
    for (std::size_t k = 0; k < shown; ++k) {
        const review_line& line = lines[k];
        std::string mark = line.interlock ? "ILK " : "    ";
        switch (line.kind) {
        case review_line::added:
            text += "+ " + mark + line.new_text;
            break;
        case review_line::removed:
            text += "- " + mark + line.old_text;
            break;
        case review_line::changed:
            text += "* " + mark + line.old_text + " -> " + line.new_text;
            break;
        }
        text += "\r\n";
    }
    if (shown < lines.size())
        text += "... и ещё строк: " + std::to_string(lines.size() - shown) + "\r\n";
    return text;
}

} // namespace nxkit
