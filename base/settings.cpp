#include "base/settings.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/last_error.h"
#include "base/nx_log.h"
#include "base/text.h"
#include "platform/station.h"

#include <array>
#include <charconv>
#include <climits>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace nxkit {

namespace {

// The longest string value a read returns, as the profile functions' 5000-character buffer.
constexpr std::size_t max_value_chars = 4999;

// Blanks trimmed around names and values. NUL is not one: it stays an ordinary byte.
constexpr std::string_view blanks = " \t\r\v\f";

std::string_view trim_blanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Lowering of single Windows-1251 bytes, derived from the program's one lowering rule.
const std::array<unsigned char, 256>& lower_table() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (unsigned b = 0; b < 256; ++b) {
            std::string utf8 = from_cp1251(std::string(1, static_cast<char>(b)));
            std::string lowered = to_lower(utf8);
            std::string back = to_cp1251(lowered);
            t[b] = lowered != utf8 && back.size() == 1 ? static_cast<unsigned char>(back[0])
                                                       : static_cast<unsigned char>(b);
        }
        return t;
    }();
    return table;
}

// Names on disk and names asked for are both Windows-1251 here.
bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const auto& lower = lower_table();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower[static_cast<unsigned char>(a[i])] != lower[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

enum class line_kind { other, section, key };

// One line of the file, Windows-1251, with what the reader makes of it.
class ini_line {
public:
    ini_line(std::string text, std::string eol) : text_(std::move(text)), eol_(std::move(eol)) {
        classify();
    }

    const std::string& text() const { return text_; }
    const std::string& eol() const { return eol_; }
    line_kind kind() const { return kind_; }
    std::string_view name() const { return std::string_view(text_).substr(name_pos_, name_len_); }
    std::string_view value() const {
        return trim_blanks(std::string_view(text_).substr(value_pos_));
    }
    bool blank() const { return trim_blanks(text_).empty(); }

    // A line that gets a successor needs a line break of its own.
    void end() {
        if (eol_.empty())
            eol_ = "\r\n";
    }

    // Replaces what follows the '=' of a key line; the name keeps its spelling and blanks.
    void set_value(std::string_view value) {
        text_.replace(value_pos_, std::string::npos, value);
        classify();
    }

private:
    void classify() {
        kind_ = line_kind::other;
        std::string_view text = text_;
        std::size_t start = text.find_first_not_of(blanks);
        if (start == std::string_view::npos || text[start] == ';')
            return;
        if (text[start] == '[') {
            std::size_t close = text.rfind(']');
            if (close != std::string_view::npos && close > start) {
                kind_ = line_kind::section;
                set_name(text.substr(start + 1, close - start - 1));
                return;
            }
            // A header without its bracket is read as any other line.
        }
        std::size_t eq = text.find('=', start);
        if (eq == std::string_view::npos)
            return;
        set_name(text.substr(start, eq - start));
        if (name_len_ == 0)
            return;
        kind_ = line_kind::key;
        value_pos_ = eq + 1;
    }

    void set_name(std::string_view raw) {
        std::string_view name = trim_blanks(raw);
        name_pos_ = name.empty() ? 0 : static_cast<std::size_t>(name.data() - text_.data());
        name_len_ = name.size();
    }

    std::string text_; // without its line break
    std::string eol_;  // "\r\n", "\n", or "" for a last line without a break
    line_kind kind_ = line_kind::other;
    std::size_t name_pos_ = 0;
    std::size_t name_len_ = 0;
    std::size_t value_pos_ = 0; // just past the '=' of a key line
};

// The file as lines, kept byte for byte so that comments and lines the reader does not
// understand survive every rewrite.
class ini_file {
public:
    explicit ini_file(const std::string& bytes) {
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t nl = bytes.find('\n', pos);
            if (nl == std::string::npos) {
                lines_.emplace_back(bytes.substr(pos), "");
                break;
            }
            std::size_t length = nl - pos;
            bool cr = length > 0 && bytes[nl - 1] == '\r';
            lines_.emplace_back(bytes.substr(pos, cr ? length - 1 : length), cr ? "\r\n" : "\n");
            pos = nl + 1;
        }
    }

    std::string bytes() const {
        std::string out;
        for (const auto& line : lines_)
            out.append(line.text()).append(line.eol());
        return out;
    }

    std::optional<std::string> get(std::string_view section, std::string_view key) const {
        std::size_t header = find_section(section);
        if (header == npos)
            return std::nullopt;
        std::size_t at = find_key(header, key);
        if (at == npos)
            return std::nullopt;
        return std::string(lines_[at].value());
    }

    void set(std::string_view section, std::string_view key, std::string_view value) {
        std::string line = std::string(key) + "=" + std::string(value);
        std::size_t header = find_section(section);
        if (header == npos) {
            // A new section goes at the end, after a blank line, as the profile functions do.
            if (!lines_.empty()) {
                lines_.back().end();
                if (!lines_.back().blank())
                    lines_.emplace_back("", "\r\n");
            }
            // Built by appending: g++ 12 -O3 warns wrongly about "[" + string (-Wrestrict).
            std::string header_line(1, '[');
            header_line.append(section);
            header_line += ']';
            lines_.emplace_back(std::move(header_line), "\r\n");
            lines_.emplace_back(std::move(line), "\r\n");
            return;
        }
        if (std::size_t at = find_key(header, key); at != npos) {
            lines_[at].set_value(value);
            return;
        }
        // A new key follows the last key of its section, ahead of comments and blank lines.
        std::size_t after = header;
        std::size_t end = section_end(header);
        for (std::size_t i = header + 1; i < end; ++i)
            if (lines_[i].kind() == line_kind::key)
                after = i;
        lines_[after].end();
        lines_.emplace(lines_.begin() + static_cast<std::ptrdiff_t>(after) + 1, std::move(line),
                       "\r\n");
    }

    // The names of the key lines of the section, as spelt in the file.
    std::vector<std::string> key_names(std::string_view section) const {
        std::vector<std::string> names;
        std::size_t header = find_section(section);
        if (header == npos)
            return names;
        std::size_t end = section_end(header);
        for (std::size_t i = header + 1; i < end; ++i)
            if (lines_[i].kind() == line_kind::key)
                names.emplace_back(lines_[i].name());
        return names;
    }

    // Removes the key lines of the section; true when anything was removed.
    bool clear_section(std::string_view section) {
        std::size_t header = find_section(section);
        if (header == npos)
            return false;
        std::size_t end = section_end(header);
        std::size_t before = lines_.size();
        std::vector<ini_line> kept;
        kept.reserve(lines_.size());
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (i <= header || i >= end || lines_[i].kind() != line_kind::key)
                kept.push_back(std::move(lines_[i]));
        lines_ = std::move(kept);
        return lines_.size() != before;
    }

private:
    static constexpr std::size_t npos = std::string::npos;

    // Only the first section of a name counts, as with the profile functions.
    std::size_t find_section(std::string_view name) const {
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind() == line_kind::section && same_name(lines_[i].name(), name))
                return i;
        return npos;
    }

    std::size_t section_end(std::size_t header) const {
        for (std::size_t i = header + 1; i < lines_.size(); ++i)
            if (lines_[i].kind() == line_kind::section)
                return i;
        return lines_.size();
    }

    std::size_t find_key(std::size_t header, std::string_view name) const {
        std::size_t end = section_end(header);
        for (std::size_t i = header + 1; i < end; ++i)
            if (lines_[i].kind() == line_kind::key && same_name(lines_[i].name(), name))
                return i;
        return npos;
    }

    std::vector<ini_line> lines_;
};

std::mutex& settings_mutex() {
    static std::mutex mutex;
    return mutex;
}

// The path, fixed at first use; a read-only file found then is made writable once.
const std::string& settings_file() {
    static const std::string path = [] {
        std::string p = settings_path();
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::file_status status = fs::status(p, ec);
        if (!ec && fs::exists(status) &&
            (status.permissions() & fs::perms::owner_write) == fs::perms::none)
            fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
        return p;
    }();
    return path;
}

// The one copy of the file in memory, read at first use; every change is written through.
// Guarded by settings_mutex().
std::optional<ini_file>& cached_copy() {
    static std::optional<ini_file> copy;
    return copy;
}

ini_file& load() {
    std::optional<ini_file>& copy = cached_copy();
    if (!copy) {
        std::string bytes;
        if (!read_file(settings_file(), bytes))
            bytes.clear();
        copy.emplace(bytes);
    }
    return *copy;
}

// What became of the writes; guarded by settings_mutex().
struct write_state {
    // The last write failed: the next failure is not logged again.
    bool failing = false;
    // The first failure's text, until the user interface takes it to show it.
    std::string notice;
    bool notice_taken = false;
};

write_state& writes() {
    static write_state state;
    return state;
}

void save(const ini_file& ini) {
    write_state& state = writes();
    if (write_file_atomic(settings_file(), ini.bytes(), false)) {
        state.failing = false;
        return;
    }
    // A full disk or a read-only medium: said once per run of failures in the log, once per
    // process on screen; the values stay in memory and are written with the next change.
    int code = errno;
    if (state.failing)
        return;
    state.failing = true;
    std::string text =
        "Не удалось сохранить файл настроек " + settings_file() + last_error_text(code);
    nx_log::main().err(text);
    if (!state.notice_taken && state.notice.empty())
        state.notice = text;
}

// Section and key names in the API are UTF-8, trimmed as on disk.
std::string disk_name(const std::string& name) {
    return to_cp1251(trim_blanks(name));
}

std::string get_text(const std::string& section, const std::string& key,
                     const std::string& default_text, bool write_back) {
    std::string disk_section = disk_name(section);
    std::string disk_key = disk_name(key);
    std::lock_guard lock(settings_mutex());
    ini_file& ini = load();
    std::optional<std::string> stored = ini.get(disk_section, disk_key);
    std::string text = utf8_left(stored ? from_cp1251(*stored) : default_text, max_value_chars);
    if (write_back && text == default_text) {
        // Rewriting the very same value would only churn the file.
        std::string disk_default = to_cp1251(default_text);
        if (!stored || *stored != disk_default) {
            ini.set(disk_section, disk_key, disk_default);
            save(ini);
        }
    }
    return text;
}

void set_text(const std::string& section, const std::string& key, const std::string& value) {
    std::string disk_section = disk_name(section);
    std::string disk_key = disk_name(key);
    std::string disk_value = to_cp1251(value);
    std::lock_guard lock(settings_mutex());
    ini_file& ini = load();
    ini.set(disk_section, disk_key, disk_value);
    save(ini);
}

std::string_view skip_blanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(blanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// The leading decimal number, with an optional sign; none reads as 0, too large is clamped.
int parse_int(std::string_view text) {
    text = skip_blanks(text);
    bool negative = false;
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

// Locale-independent: the user interface may switch the C locale to one with a comma.
double parse_double(std::string_view text) {
    text = skip_blanks(text);
    if (!text.empty() && text.front() == '+' && (text.size() < 2 || text[1] != '-'))
        text.remove_prefix(1);
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

} // namespace

std::string settings_path() {
    return exe_path() + ".ini";
}

std::string settings_int_text(int value) {
    return std::to_string(value);
}

std::string settings_double_text(double value) {
    char buffer[400];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
    std::string text(buffer, result.ec == std::errc() ? result.ptr : buffer);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0' && text[text.size() - 2] != '.')
            text.pop_back();
    }
    return text;
}

std::string settings_get_string(const std::string& section, const std::string& key,
                                const std::string& default_value, bool write_back) {
    return get_text(section, key, default_value, write_back);
}

int settings_get_int(const std::string& section, const std::string& key, int default_value,
                     bool write_back) {
    return parse_int(get_text(section, key, settings_int_text(default_value), write_back));
}

double settings_get_double(const std::string& section, const std::string& key, double default_value,
                           bool write_back) {
    return parse_double(get_text(section, key, settings_double_text(default_value), write_back));
}

void settings_set_string(const std::string& section, const std::string& key,
                         const std::string& value) {
    set_text(section, key, value);
}

void settings_set_int(const std::string& section, const std::string& key, int value) {
    set_text(section, key, settings_int_text(value));
}

void settings_set_double(const std::string& section, const std::string& key, double value) {
    set_text(section, key, settings_double_text(value));
}

void settings_clear_section(const std::string& section) {
    std::string disk_section = disk_name(section);
    std::lock_guard lock(settings_mutex());
    ini_file& ini = load();
    if (ini.clear_section(disk_section))
        save(ini);
}

std::vector<std::string> settings_key_names(const std::string& section) {
    std::string disk_section = disk_name(section);
    std::lock_guard lock(settings_mutex());
    std::vector<std::string> names = load().key_names(disk_section);
    for (std::string& name : names)
        name = from_cp1251(name);
    return names;
}

std::string settings_take_write_failure() {
    std::lock_guard lock(settings_mutex());
    write_state& state = writes();
    if (state.notice_taken || state.notice.empty())
        return {};
    state.notice_taken = true;
    return std::move(state.notice);
}

void settings_reload() {
    std::lock_guard lock(settings_mutex());
    cached_copy().reset();
}

} // namespace nxkit
