#include "base/nx_inixml.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/last_error.h"
#include "base/nx_exception.h"
#include "platform/station.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <expat.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>

namespace nxkit {

namespace {

// Unicode code points of the 256 Windows-1251 bytes, taken from the one codec of the program.
std::array<int, 256> cp1251_map() {
    std::array<int, 256> map{};
    for (int b = 0; b < 256; ++b) {
        std::string utf8 = from_cp1251(std::string(1, static_cast<char>(b)));
        auto u = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
        int cp = 0;
        if (utf8.size() == 1)
            cp = u(0);
        else if (utf8.size() == 2)
            cp = ((u(0) & 0x1F) << 6) | (u(1) & 0x3F);
        else if (utf8.size() == 3)
            cp = ((u(0) & 0x0F) << 12) | ((u(1) & 0x3F) << 6) | (u(2) & 0x3F);
        else
            cp = -1;
        map[static_cast<std::size_t>(b)] = cp;
    }
    return map;
}

// The parser is created for "windows-1251", which expat does not know itself: this handler
// maps every byte to one character, so offsets stay byte offsets of the stored text while
// names and data reach us as UTF-8. The name given at creation overrides the declaration.
int XMLCALL unknown_encoding(void*, const XML_Char* name, XML_Encoding* info) {
    if (strcasecmp(name, "windows-1251") != 0)
        return XML_STATUS_ERROR;
    static const std::array<int, 256> map = cp1251_map();
    for (std::size_t b = 0; b < map.size(); ++b)
        info->map[b] = map[b];
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

struct parser_deleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}
bool is_line_end(char c) {
    return c == '\r' || c == '\n';
}

// Indentation after a leading line break stays: blanks go first, then the line breaks.
void trim_text(std::string& text) {
    std::size_t from = 0;
    while (from < text.size() && is_blank(text[from]))
        ++from;
    while (from < text.size() && is_line_end(text[from]))
        ++from;
    std::size_t to = text.size();
    while (to > from && (is_blank(text[to - 1]) || is_line_end(text[to - 1])))
        --to;
    text = text.substr(from, to - from);
}

struct parse_state {
    XML_Parser parser = nullptr;
    nx_xml_client* client = nullptr;
    std::string filter;
    std::string path;
    bool inside = false;
    nx_xml_element element;
    // Set when a handler failed; expat may still deliver an event or two after the stop.
    bool stopped = false;
    std::string message;

    std::size_t byte_index() const {
        return static_cast<std::size_t>(XML_GetCurrentByteIndex(parser));
    }
    std::size_t byte_end() const {
        return byte_index() + static_cast<std::size_t>(XML_GetCurrentByteCount(parser));
    }
};

// Runs a handler body; an exception must not unwind through expat's C frames.
template <typename F> void guarded(parse_state& s, F&& body) {
    if (s.stopped)
        return;
    try {
        body();
        return;
    } catch (const nx_exception& e) {
        if (!s.message.empty())
            s.message += ' ';
        s.message += e.what();
    } catch (...) {
        s.message += " Неожиданная ошибка";
    }
    s.stopped = true;
    XML_StopParser(s.parser, XML_FALSE);
}

void XMLCALL on_start_tag(void* data, const XML_Char* name, const XML_Char** atts) {
    auto& s = *static_cast<parse_state*>(data);
    guarded(s, [&] {
        if (!s.path.empty())
            s.path += '/';
        s.path += name;
        if (s.path.starts_with(s.filter))
            s.inside = true;
        if (!s.inside)
            return;
        nx_xml_element& e = s.element;
        e.attributes.clear();
        e.text.clear();
        e.name = name;
        e.path = s.path;
        e.start = s.byte_index();
        e.after = s.byte_end();
        e.end_tag = 0;
        for (const XML_Char** a = atts; a[0] != nullptr; a += 2)
            e.attributes[a[0]] = a[1];
        s.client->on_start(e);
    });
}

void XMLCALL on_end_tag(void* data, const XML_Char* name) {
    auto& s = *static_cast<parse_state*>(data);
    guarded(s, [&] {
        if (s.inside) {
            nx_xml_element& e = s.element;
            e.name = name;
            e.path = s.path;
            e.end_tag = s.byte_index();
            e.after = s.byte_end();
            trim_text(e.text);
            if (!e.text.empty())
                s.client->on_text(e);
            s.client->on_end(e);
        }
        if (s.path == s.filter)
            s.inside = false;
        auto slash = s.path.rfind('/');
        s.path.erase(slash == std::string::npos ? 0 : slash);
    });
}

void XMLCALL on_characters(void* data, const XML_Char* chars, int len) {
    auto& s = *static_cast<parse_state*>(data);
    guarded(s, [&] {
        if (s.inside)
            s.element.text.append(chars, static_cast<std::size_t>(len));
    });
}

std::string open_failure(const std::string& path, int code) {
    return "не удалось открыть файл " + path + last_error_text(code);
}

} // namespace

nx_inixml::nx_inixml(const std::string& source, bool from_file, const std::string& template_text) {
    if (!from_file) {
        text_ = to_cp1251(source);
        return;
    }
    if (source.empty())
        path_ = exe_path() + ".ini";
    else if (source.find('/') == std::string::npos)
        path_ = exe_dir() + source;
    else
        path_ = source;
    open_file(template_text);
}

void nx_inixml::open_file(const std::string& template_text) {
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    if (f == nullptr && errno != ENOENT)
        // An existing file we may not read must not be replaced by the template.
        throw nx_exception(open_failure(path_, errno));
    if (f != nullptr) {
        struct stat st {};
        if (::fstat(fileno(f), &st) != 0) {
            int code = errno;
            std::fclose(f);
            throw nx_exception(open_failure(path_, code));
        }
        if (st.st_size > 0) {
            std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
            std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
            int code = errno;
            std::fclose(f);
            if (got < bytes.size())
                throw nx_exception("не удалось прочитать файл " + path_ + last_error_text(code));
            text_ = std::move(bytes);
            return;
        }
        std::fclose(f);
    }
    // Missing or empty: the file starts with the template.
    std::string bytes = to_cp1251(template_text);
    if (!write_file_atomic(path_, bytes))
        throw nx_exception(open_failure(path_, errno));
    text_ = std::move(bytes);
}

bool nx_inixml::parse(const std::string& filter_path, nx_xml_client& client) {
    std::unique_ptr<XML_ParserStruct, parser_deleter> parser(XML_ParserCreate("windows-1251"));
    if (!parser) {
        error_ = "Couldn't allocate memory for parser";
        return false;
    }
    parse_state s;
    s.parser = parser.get();
    s.client = &client;
    s.filter = filter_path;
    XML_SetUserData(s.parser, &s);
    XML_SetUnknownEncodingHandler(s.parser, unknown_encoding, nullptr);
    XML_SetElementHandler(s.parser, on_start_tag, on_end_tag);
    XML_SetCharacterDataHandler(s.parser, on_characters);

    // One final buffer; only a text beyond INT_MAX bytes needs more than one piece.
    std::size_t done = 0;
    XML_Status status = XML_STATUS_OK;
    do {
        std::size_t piece = std::min<std::size_t>(text_.size() - done, INT_MAX);
        bool last = done + piece == text_.size();
        status = XML_Parse(s.parser, text_.data() + done, static_cast<int>(piece), last);
        done += piece;
    } while (status == XML_STATUS_OK && done < text_.size());

    if (s.stopped) {
        error_ = s.message;
        return false;
    }
    if (status != XML_STATUS_OK) {
        error_ = "Parse error at line " +
                 std::to_string(static_cast<unsigned long>(XML_GetCurrentLineNumber(s.parser))) +
                 ": " + XML_ErrorString(XML_GetErrorCode(s.parser));
        return false;
    }
    return true;
}

namespace {

// Finds where an element stands and where its parent ends.
class position_finder : public nx_xml_client {
public:
    explicit position_finder(std::string element_path) : element_path_(std::move(element_path)) {
        auto slash = element_path_.rfind('/');
        parent_path_ = slash == std::string::npos ? std::string() : element_path_.substr(0, slash);
    }

    const std::string& parent_path() const { return parent_path_; }

    void on_start(const nx_xml_element& e) override {
        if (!found_start && e.path == element_path_) {
            found_start = true;
            start = e.start;
        }
    }

    void on_end(const nx_xml_element& e) override {
        if (found_start && !found_end && e.path == element_path_) {
            found_end = true;
            end = e.after;
        }
        if (!found_parent_end && !parent_path_.empty() && e.path == parent_path_) {
            found_parent_end = true;
            parent_end = e.end_tag;
            // <a/> has no end tag: expat reports its end where the tag ends.
            parent_empty = e.end_tag == e.after;
            parent_name = e.name;
        }
    }

    bool found_start = false;
    bool found_end = false;
    bool found_parent_end = false;
    bool parent_empty = false;
    std::string parent_name;
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t parent_end = 0;

private:
    std::string element_path_;
    std::string parent_path_;
};

} // namespace

void nx_inixml::set_element(const std::string& element_path, const std::string& xml) {
    position_finder finder(element_path);
    if (!parse(finder.parent_path(), finder))
        throw nx_exception(error_);

    std::string stored = to_cp1251(xml);
    std::string changed = text_;
    if (finder.found_start && finder.found_end) {
        std::size_t end = finder.end;
        while (end < changed.size() && (is_blank(changed[end]) || is_line_end(changed[end])))
            ++end;
        changed.replace(finder.start, end - finder.start, stored);
    } else if (finder.found_parent_end && finder.parent_empty) {
        // Inserting after "<parent/>" would put the child outside it: open the parent up.
        changed.replace(finder.parent_end - 2, 2,
                        ">" + stored + "</" + to_cp1251(finder.parent_name) + ">");
    } else if (finder.found_parent_end) {
        changed.insert(finder.parent_end, stored);
    } else {
        throw nx_exception("не найдено место для вставки элемента " + element_path);
    }
    // The text changes only together with the file, so a failed save leaves both as they were.
    if (!path_.empty()) {
        if (!write_file_atomic(path_, changed)) {
            int code = errno;
            bool writing = code == ENOSPC || code == EDQUOT || code == EFBIG || code == EIO;
            throw nx_exception(
                (writing ? "не удалось сохранить файл " : "не удалось открыть файл ") + path_ +
                last_error_text(code));
        }
    }
    text_ = std::move(changed);
}

} // namespace nxkit
