#include "access/audit_chain.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "platform/station.h"

#include <openssl/evp.h>

#include <cstdio>
#include <set>

namespace nxkit {

namespace {

const char* const time_form = "%d.%m.%Y %H:%M:%S";

std::string clean(const std::string& field) {
    std::string out = field;
    for (char& c : out) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

bool is_chain_value(std::string_view text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = text.find(separator, from);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
}

// The stored lines of a file; a last piece without CR LF is a line too (a torn write).
std::vector<std::string_view> stored_lines(const std::string& bytes) {
    std::vector<std::string_view> lines = split(bytes, "\r\n");
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

struct stored_line {
    std::string_view body;
    std::string_view chain;
    std::vector<std::string_view> fields;
    bool well_formed = false;
};

stored_line cut(std::string_view line) {
    stored_line out;
    std::size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos)
        return out;
    out.body = line.substr(0, tab);
    out.chain = line.substr(tab + 1);
    out.fields = split(out.body, "\t");
    out.well_formed = out.fields.size() == 5 && is_chain_value(out.chain);
    return out;
}

std::string audit_folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The older file a continuation line names and its last value; false for any other line.
bool continuation_of(const stored_line& line, std::string& file, std::string& value) {
    if (!line.well_formed || from_cp1251(line.fields[3]) != audit_continuation)
        return false;
    std::string object = from_cp1251(line.fields[4]);
    std::size_t space = object.rfind(' ');
    if (space == std::string::npos)
        return false;
    file = object.substr(0, space);
    value = object.substr(space + 1);
    return is_chain_value(value) && file.find('/') == std::string::npos;
}

audit_verdict verify(const std::string& path, std::set<std::string>& seen, std::string* last) {
    audit_verdict verdict;
    verdict.file = path;
    std::string bytes;
    if (!seen.insert(path).second) {
        verdict.ok = false;
        verdict.reason = "файлы журнала ссылаются друг на друга по кругу";
        return verdict;
    }
    if (!read_file(path, bytes)) {
        verdict.ok = false;
        verdict.reason = "не удалось прочитать файл";
        return verdict;
    }
    std::vector<std::string_view> lines = stored_lines(bytes);
    verdict.lines = static_cast<int>(lines.size());
    std::string previous = audit_chain_start();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        stored_line line = cut(lines[i]);
        auto broken = [&](const std::string& reason) {
            verdict.ok = false;
            verdict.line = static_cast<int>(i) + 1;
            verdict.reason = reason;
            return verdict;
        };
        if (!line.well_formed)
            return broken("строка не имеет вида записи журнала");
        std::string older, older_value;
        if (i == 0 && continuation_of(line, older, older_value)) {
            previous = older_value;
            std::string older_path = audit_folder_of(path) + older;
            if (file_exists(older_path)) {
                std::string older_last;
                audit_verdict earlier = verify(older_path, seen, &older_last);
                if (!earlier.ok)
                    return earlier;
                if (older_last != older_value)
                    return broken("значение не совпадает с последним значением файла " + older);
            }
        }
        if (audit_chain_next(previous, line.body) != line.chain)
            return broken("цепочка значений нарушена");
        previous = std::string(line.chain);
    }
    if (last != nullptr)
        *last = lines.empty() ? audit_chain_start() : previous;
    return verdict;
}

} // namespace

std::string audit_log_path() {
    return exe_dir() + "audit.log";
}

std::string audit_time_text(nx_time t) {
    return time_format(t, time_form);
}

std::string sha256_hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        out += digits[digest[i] >> 4];
        out += digits[digest[i] & 15];
    }
    return out;
}

std::string audit_chain_start() {
    return std::string(64, '0');
}

std::string audit_chain_next(const std::string& previous, std::string_view stored_body) {
    std::string input = previous;
    input.append(stored_body);
    return sha256_hex(input);
}

std::string audit_stored_body(const audit_entry& e) {
    return to_cp1251(clean(e.time) + '\t' + clean(e.user) + '\t' + clean(e.role) + '\t' +
                     clean(e.action) + '\t' + clean(e.object));
}

std::string audit_stored_line(const audit_entry& entry, const std::string& chain) {
    return audit_stored_body(entry) + '\t' + chain + "\r\n";
}

std::vector<audit_entry> parse_audit_text(const std::string& bytes) {
    std::vector<audit_entry> entries;
    for (std::string_view text : stored_lines(bytes)) {
        stored_line line = cut(text);
        audit_entry e;
        if (line.fields.size() == 5) {
            e.time = from_cp1251(line.fields[0]);
            e.user = from_cp1251(line.fields[1]);
            e.role = from_cp1251(line.fields[2]);
            e.action = from_cp1251(line.fields[3]);
            e.object = from_cp1251(line.fields[4]);
            e.chain = std::string(line.chain);
        } else {
            e.action = from_cp1251(text);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string last_chain_value(const std::string& bytes) {
    std::vector<std::string_view> lines = stored_lines(bytes);
    if (lines.empty())
        return {};
    stored_line line = cut(lines.back());
    return is_chain_value(line.chain) ? std::string(line.chain) : std::string();
}

std::string audit_verdict::message() const {
    if (ok)
        return name_of(file) + ": записей " + std::to_string(lines) + ", цепочка не нарушена";
    if (line == 0)
        return name_of(file) + ": " + reason;
    return name_of(file) + ": строка " + std::to_string(line) + ": " + reason;
}

audit_verdict verify_audit_file(const std::string& path) {
    std::set<std::string> seen;
    return verify(path, seen, nullptr);
}

std::vector<audit_entry> read_audit_trail(const std::string& path) {
    // Walk back through the continuation lines, then read forwards.
    std::vector<std::string> files{path};
    std::set<std::string> seen{path};
    for (;;) {
        std::string bytes;
        if (!read_file(files.back(), bytes))
            break;
        std::vector<std::string_view> lines = stored_lines(bytes);
        std::string older, value;
        if (lines.empty() || !continuation_of(cut(lines.front()), older, value))
            break;
        std::string older_path = audit_folder_of(path) + older;
        if (!file_exists(older_path) || !seen.insert(older_path).second)
            break;
        files.push_back(older_path);
    }
    std::vector<audit_entry> entries;
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        std::string bytes;
        if (!read_file(*it, bytes))
            continue;
        for (audit_entry& e : parse_audit_text(bytes))
            entries.push_back(std::move(e));
    }
    return entries;
}

nx_time audit_entry_time(const audit_entry& entry) {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(entry.time.c_str(), "%2d.%2d.%4d %2d:%2d:%2d", &day, &month, &year, &hour,
                    &minute, &second) != 6)
        return 0;
    return time_encode(year, month, day, hour, minute, second, 0);
}

bool audit_filter::matches(const audit_entry& entry) const {
    if (from != 0 || to != 0) {
        nx_time t = audit_entry_time(entry);
        if (t == 0 || (from != 0 && t < from) || (to != 0 && t > to))
            return false;
    }
    if (!user.empty() && entry.user != user)
        return false;
    return action.empty() || entry.action == action;
}

std::string audit_csv(const std::vector<audit_entry>& entries) {
    auto field = [](const std::string& text) {
        if (text.find_first_of(",\"\r\n") == std::string::npos)
            return text;
        std::string out = "\"";
        for (char c : text) {
            if (c == '"')
                out += '"';
            out += c;
        }
        return out + '"';
    };
    std::string out = "время,пользователь,роль,действие,объект,цепочка\r\n";
    for (const audit_entry& e : entries)
        out += field(e.time) + ',' + field(e.user) + ',' + field(e.role) + ',' + field(e.action) +
               ',' + field(e.object) + ',' + e.chain + "\r\n";
    return out;
}

} // namespace nxkit
