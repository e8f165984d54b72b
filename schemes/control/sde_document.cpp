#include "schemes/control/sde_document.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"

#include <expat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace nxkit {

const std::string* sde_object::find(const std::string& name) const {
    for (const auto& [n, v] : properties)
        if (n == name)
            return &v;
    return nullptr;
}

std::string sde_object::value(const std::string& name) const {
    const std::string* v = find(name);
    return v ? *v : std::string();
}

void sde_object::set(const std::string& name, const std::string& value) {
    for (auto& [n, v] : properties)
        if (n == name) {
            v = value;
            return;
        }
    properties.emplace_back(name, value);
}

std::string sde_number(double value) {
    if (value == 0 || !std::isfinite(value))
        return "0";
    char buffer[64];
    for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value)
            break;
    }
    return buffer;
}

namespace {

// A failure at a place in the file; turned into the full message by the reader.
struct sde_error {
    std::string text;
};

double unit_factor(const std::string& units) {
    if (units == "mm")
        return 1;
    if (units == "cm")
        return 10;
    if (units == "in")
        return 25.4;
    return 0;
}

// Russian texts for what a broken XML file most often shows.
std::string xml_error_text(XML_Error code) {
    switch (code) {
    case XML_ERROR_NO_ELEMENTS:
        return "файл пуст или не содержит ни одного элемента XML";
    case XML_ERROR_SYNTAX:
        return "синтаксическая ошибка XML";
    case XML_ERROR_INVALID_TOKEN:
        return "недопустимый символ в XML";
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_PARTIAL_CHAR:
        return "файл обрывается посреди тега";
    case XML_ERROR_TAG_MISMATCH:
        return "закрывающий тег не совпадает с открывающим";
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
        return "атрибут указан дважды";
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
        return "текст после конца документа";
    case XML_ERROR_UNDEFINED_ENTITY:
        return "неизвестная ссылка на сущность";
    case XML_ERROR_UNKNOWN_ENCODING:
    case XML_ERROR_INCORRECT_ENCODING:
        return "кодировка файла не UTF-8";
    default:
        return std::string("ошибка XML: ") + XML_ErrorString(code);
    }
}

class sde_reader {
public:
    sde_reader(const std::string& text, const std::string& name) : text_(text), name_(name) {}

    sde_scheme read() {
        XML_Parser parser = XML_ParserCreate("UTF-8");
        if (!parser)
            throw nx_exception(name_ + ": не хватает памяти для чтения схемы");
        parser_ = parser;
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &sde_reader::on_start, &sde_reader::on_end);
        XML_SetCharacterDataHandler(parser, &sde_reader::on_text);
        // Entities of a document type declaration could make a small file huge.
        XML_SetEntityDeclHandler(parser, &sde_reader::on_entity);
        const auto status = XML_Parse(parser, text_.data(), static_cast<int>(text_.size()), 1);
        std::string message;
        if (failed_)
            message = place(failed_line_, failed_column_) + failure_;
        else if (status != XML_STATUS_OK) {
            const XML_Error code = XML_GetErrorCode(parser);
            message =
                place(XML_GetCurrentLineNumber(parser), XML_GetCurrentColumnNumber(parser) + 1) +
                (code == XML_ERROR_NO_ELEMENTS && seen_element_
                     ? "файл обрывается: не все элементы закрыты"
                     : xml_error_text(code));
        }
        XML_ParserFree(parser);
        if (!message.empty())
            throw nx_exception(message);
        if (!seen_root_)
            throw nx_exception(place(1, 1) + "это не файл схемы: нет элемента <sde>");
        return std::move(scheme_);
    }

private:
    enum level_t { none, root, page, shape, object, property, skipped };

    std::string place(unsigned long line, unsigned long column) const {
        return name_ + ": строка " + std::to_string(line) + ", столбец " + std::to_string(column) +
               ": ";
    }

    void fail(const std::string& text) {
        if (failed_)
            return;
        failed_ = true;
        failure_ = text;
        failed_line_ = XML_GetCurrentLineNumber(parser_);
        failed_column_ = XML_GetCurrentColumnNumber(parser_) + 1;
        XML_StopParser(parser_, XML_FALSE);
    }

    double number(const char* attr, const char* value) {
        double result = 0;
        const char* end = value + std::strlen(value);
        while (value < end && *value == ' ')
            ++value;
        const auto [ptr, ec] = std::from_chars(value, end, result);
        if (ec != std::errc() || ptr == value || !std::isfinite(result) ||
            std::string_view(ptr, static_cast<std::size_t>(end - ptr)).find_first_not_of(' ') !=
                std::string_view::npos) {
            fail(std::string("атрибут ") + attr + ": \"" + value + "\" не число");
            return 0;
        }
        return result;
    }

    double length(const char* attr, const char* value) { return number(attr, value) * factor_; }

    int integer(const char* attr, const char* value) {
        const double v = number(attr, value);
        if (!failed_ && (v != std::floor(v) || v < -2147483647.0 || v > 2147483647.0)) {
            fail(std::string("атрибут ") + attr + ": \"" + value + "\" не целое число");
            return 0;
        }
        return static_cast<int>(v);
    }

    void begin_unknown(std::vector<std::string>* target) {
        skip_target_ = target;
        skip_depth_ = 1;
        skip_start_ = static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_));
        skip_tag_end_ = skip_start_ + static_cast<std::size_t>(XML_GetCurrentByteCount(parser_));
        stack_.push_back(skipped);
    }

    void start(const char* tag, const char** attrs) {
        seen_element_ = true;
        if (failed_)
            return;
        const level_t parent = stack_.empty() ? none : stack_.back();
        if (parent == skipped) {
            ++skip_depth_;
            stack_.push_back(skipped);
            return;
        }
        const std::string name = tag;
        if (parent == none) {
            if (name != "sde") {
                fail("это не файл схемы: корневой элемент <" + name + ">, а нужен <sde>");
                return;
            }
            start_root(attrs);
            return;
        }
        if (parent == root) {
            if (name == "page")
                start_page(attrs);
            else
                begin_unknown(&scheme_.unknown_children);
            return;
        }
        if (parent == page) {
            sde_page& p = scheme_.pages.back();
            if (name == "object") {
                start_object(attrs);
                return;
            }
            static const std::pair<const char*, sde_shape::kind_t> kinds[] = {
                {"line", sde_shape::line},       {"polyline", sde_shape::polyline},
                {"polygon", sde_shape::polygon}, {"rect", sde_shape::rect},
                {"ellipse", sde_shape::ellipse}, {"arc", sde_shape::arc},
                {"text", sde_shape::text}};
            for (const auto& [k, kind] : kinds)
                if (name == k) {
                    start_shape(kind, attrs);
                    return;
                }
            p.order.push_back({sde_item::unknown, p.unknown_children.size()});
            begin_unknown(&p.unknown_children);
            return;
        }
        if (parent == object) {
            if (name == "property") {
                const char* pname = nullptr;
                for (const char** a = attrs; *a; a += 2)
                    if (std::strcmp(a[0], "name") == 0)
                        pname = a[1];
                if (!pname || !*pname) {
                    fail("у свойства нет имени (атрибут name)");
                    return;
                }
                property_name_ = pname;
                text_buffer_.clear();
                stack_.push_back(property);
                return;
            }
            begin_unknown(&scheme_.pages.back().objects.back().unknown_children);
            return;
        }
        // Inside a shape or a property nothing else is known.
        if (parent == shape) {
            sde_page& p = scheme_.pages.back();
            p.order.push_back({sde_item::unknown, p.unknown_children.size()});
            begin_unknown(&p.unknown_children);
            return;
        }
        fail("элемент <" + name + "> внутри свойства");
    }

    void start_root(const char** attrs) {
        seen_root_ = true;
        bool has_version = false;
        for (const char** a = attrs; *a; a += 2) {
            const std::string n = a[0];
            if (n == "version") {
                has_version = true;
                if (std::string(a[1]) != std::to_string(sde_scheme::version)) {
                    fail(std::string("версия файла схемы \"") + a[1] +
                         "\" не поддерживается (нужна " + std::to_string(sde_scheme::version) +
                         ")");
                    return;
                }
            } else if (n == "units") {
                scheme_.units = a[1];
                factor_ = unit_factor(scheme_.units);
                if (factor_ == 0) {
                    fail(std::string("неизвестные единицы \"") + a[1] +
                         "\" (допустимы mm, cm, in)");
                    return;
                }
            } else {
                scheme_.unknown.emplace_back(a[0], a[1]);
            }
        }
        if (!has_version) {
            fail("не указана версия файла схемы (атрибут version)");
            return;
        }
        stack_.push_back(root);
    }

    void start_page(const char** attrs) {
        sde_page p;
        bool has_number = false;
        for (const char** a = attrs; *a && !failed_; a += 2) {
            const std::string n = a[0];
            if (n == "number") {
                p.number = integer(a[0], a[1]);
                has_number = true;
            } else if (n == "title")
                p.title = a[1];
            else if (n == "width")
                p.width = length(a[0], a[1]);
            else if (n == "height")
                p.height = length(a[0], a[1]);
            else if (n == "background")
                p.background = a[1];
            else
                p.unknown.emplace_back(a[0], a[1]);
        }
        if (failed_)
            return;
        if (!has_number) {
            fail("не указан номер страницы (атрибут number)");
            return;
        }
        if (!page_numbers_.insert(p.number).second) {
            fail("номер страницы " + std::to_string(p.number) + " повторяется");
            return;
        }
        if (!(p.width > 0 && p.height > 0 && p.width <= 100000 && p.height <= 100000)) {
            fail("размер страницы должен быть больше нуля и не больше 100 м");
            return;
        }
        scheme_.pages.push_back(std::move(p));
        stack_.push_back(page);
    }

    void start_shape(sde_shape::kind_t kind, const char** attrs) {
        sde_shape s;
        s.kind = kind;
        const char* const line_names[] = {"x1", "y1", "x2", "y2"};
        const char* const box_names[] = {"x", "y", "w", "h"};
        double values[4] = {0, 0, 0, 0};
        bool given[4] = {false, false, false, false};
        bool has_points = false;
        for (const char** a = attrs; *a && !failed_; a += 2) {
            const std::string n = a[0];
            bool known = false;
            for (int i = 0; i < 4; ++i)
                if ((kind == sde_shape::line && n == line_names[i]) ||
                    (kind != sde_shape::line && n == box_names[i])) {
                    values[i] = length(a[0], a[1]);
                    given[i] = known = true;
                }
            if (known)
                continue;
            if (n == "points" && (kind == sde_shape::polyline || kind == sde_shape::polygon)) {
                read_points(a[1], s.coords);
                has_points = true;
            } else if (n == "color")
                s.color = a[1];
            else if (n == "width")
                s.width = length(a[0], a[1]);
            else if (n == "fill")
                s.fill = a[1];
            else if (n == "dash")
                s.dash = a[1];
            else if (n == "start" && kind == sde_shape::arc)
                s.start = number(a[0], a[1]);
            else if (n == "span" && kind == sde_shape::arc)
                s.span = number(a[0], a[1]);
            else if (n == "size" && kind == sde_shape::text)
                s.size = length(a[0], a[1]);
            else if (n == "align" && kind == sde_shape::text)
                s.align = a[1];
            else if (n == "bold" && kind == sde_shape::text)
                s.bold = std::string(a[1]) == "1";
            else
                s.unknown.emplace_back(a[0], a[1]);
        }
        if (failed_)
            return;
        if (kind == sde_shape::polyline || kind == sde_shape::polygon) {
            if (!has_points || s.coords.size() < 4) {
                fail("у ломаной должно быть не меньше двух точек (атрибут points)");
                return;
            }
        } else {
            const int needed = kind == sde_shape::text ? 2 : 4;
            for (int i = 0; i < needed; ++i)
                if (!given[i]) {
                    fail(std::string("не указан атрибут ") +
                         (kind == sde_shape::line ? line_names[i] : box_names[i]));
                    return;
                }
            s.coords.assign(values, values + 4);
        }
        sde_page& p = scheme_.pages.back();
        p.order.push_back({sde_item::shape, p.shapes.size()});
        p.shapes.push_back(std::move(s));
        text_buffer_.clear();
        stack_.push_back(shape);
    }

    void read_points(const char* text, std::vector<double>& coords) {
        std::string item;
        const std::string all = text;
        std::size_t i = 0;
        while (i <= all.size() && !failed_) {
            const std::size_t end = all.find_first_of(" ,", i);
            item = all.substr(i, end == std::string::npos ? std::string::npos : end - i);
            if (!item.empty())
                coords.push_back(length("points", item.c_str()));
            if (end == std::string::npos)
                break;
            i = end + 1;
        }
        if (!failed_ && coords.size() % 2 != 0)
            fail("в атрибуте points нечетное число координат");
    }

    void start_object(const char** attrs) {
        sde_object o;
        bool has_counter = false, has_type = false;
        for (const char** a = attrs; *a && !failed_; a += 2) {
            const std::string n = a[0];
            if (n == "counter") {
                o.counter = integer(a[0], a[1]);
                has_counter = true;
            } else if (n == "type") {
                o.type_name = a[1];
                has_type = true;
            } else if (n == "x")
                o.x = length(a[0], a[1]);
            else if (n == "y")
                o.y = length(a[0], a[1]);
            else if (n == "w")
                o.w = length(a[0], a[1]);
            else if (n == "h")
                o.h = length(a[0], a[1]);
            else if (n == "rotation") {
                o.rotation = integer(a[0], a[1]);
                if (!failed_ && o.rotation != 0 && o.rotation != 90 && o.rotation != 180 &&
                    o.rotation != 270)
                    fail(std::string("поворот \"") + a[1] + "\": допустимы 0, 90, 180 и 270");
            } else if (n == "name")
                o.properties.insert(o.properties.begin(), {"дисп_имя", a[1]});
            else if (n == "label")
                o.label_side = a[1];
            else
                o.unknown.emplace_back(a[0], a[1]);
        }
        if (failed_)
            return;
        if (!has_counter) {
            fail("не указан счетчик объекта (атрибут counter)");
            return;
        }
        if (!has_type || o.type_name.empty()) {
            fail("не указан тип объекта (атрибут type)");
            return;
        }
        if (!(o.w >= 0 && o.h >= 0)) {
            fail("размер объекта не может быть отрицательным");
            return;
        }
        if (!counters_.insert(o.counter).second) {
            fail("счетчик " + std::to_string(o.counter) + " уже есть у другого объекта");
            return;
        }
        sde_page& p = scheme_.pages.back();
        o.page = p.number;
        p.order.push_back({sde_item::object, p.objects.size()});
        p.objects.push_back(std::move(o));
        stack_.push_back(object);
    }

    void end() {
        if (failed_ || stack_.empty())
            return;
        const level_t level = stack_.back();
        stack_.pop_back();
        if (level == skipped) {
            if (--skip_depth_ > 0)
                return;
            // An empty element reports no bytes of its own at its end.
            const auto count = static_cast<std::size_t>(XML_GetCurrentByteCount(parser_));
            const std::size_t stop =
                count == 0 ? skip_tag_end_
                           : static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_)) + count;
            skip_target_->push_back(text_.substr(skip_start_, stop - skip_start_));
            return;
        }
        if (level == property)
            scheme_.pages.back().objects.back().set(property_name_, text_buffer_);
        else if (level == shape && scheme_.pages.back().shapes.back().kind == sde_shape::text)
            scheme_.pages.back().shapes.back().content = text_buffer_;
    }

    void chars(const char* s, int length) {
        if (!failed_ && !stack_.empty() && (stack_.back() == property || stack_.back() == shape))
            text_buffer_.append(s, static_cast<std::size_t>(length));
    }

    static void XMLCALL on_start(void* self, const char* tag, const char** attrs) {
        static_cast<sde_reader*>(self)->start(tag, attrs);
    }
    static void XMLCALL on_end(void* self, const char*) { static_cast<sde_reader*>(self)->end(); }
    static void XMLCALL on_text(void* self, const char* s, int length) {
        static_cast<sde_reader*>(self)->chars(s, length);
    }
    static void XMLCALL on_entity(void* self, const XML_Char*, int, const XML_Char*, int,
                                  const XML_Char*, const XML_Char*, const XML_Char*,
                                  const XML_Char*) {
        static_cast<sde_reader*>(self)->fail("объявления сущностей в файле схемы не допускаются");
    }

    const std::string& text_;
    std::string name_;
    XML_Parser parser_ = nullptr;
    sde_scheme scheme_;
    double factor_ = 1;
    bool seen_root_ = false;
    bool seen_element_ = false;
    std::vector<level_t> stack_;
    std::set<int> counters_;
    std::set<int> page_numbers_;
    std::string property_name_;
    std::string text_buffer_;
    std::vector<std::string>* skip_target_ = nullptr;
    int skip_depth_ = 0;
    std::size_t skip_start_ = 0;
    std::size_t skip_tag_end_ = 0;
    bool failed_ = false;
    std::string failure_;
    unsigned long failed_line_ = 0, failed_column_ = 0;
};

std::string escape(const std::string& text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        case '\n':
            out += attribute ? "&#10;" : "\n";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\t':
            out += attribute ? "&#9;" : "\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

class sde_writer {
public:
    // Lengths are kept in millimetres and written so: a conversion back into another unit
    // would not give the same numbers on every round.
    explicit sde_writer(const sde_scheme& s) : s_(s) {}

    std::string write() {
        out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sde version=\"" +
               std::to_string(sde_scheme::version) + "\"";
        attr("units", "mm");
        unknown_attrs(s_.unknown);
        out_ += ">\n";
        for (const sde_page& p : s_.pages)
            page(p);
        for (const std::string& raw : s_.unknown_children)
            out_ += "  " + raw + "\n";
        out_ += "</sde>\n";
        return std::move(out_);
    }

private:
    void attr(const char* name, const std::string& value) {
        out_ += ' ';
        out_ += name;
        out_ += "=\"" + escape(value, true) + "\"";
    }
    void len(const char* name, double value) { attr(name, sde_number(value / factor_)); }
    void unknown_attrs(const sde_attributes& attrs) {
        for (const auto& [n, v] : attrs)
            attr(n.c_str(), v);
    }

    void page(const sde_page& p) {
        out_ += "  <page";
        attr("number", std::to_string(p.number));
        attr("title", p.title);
        len("width", p.width);
        len("height", p.height);
        attr("background", p.background);
        unknown_attrs(p.unknown);
        out_ += ">\n";
        for (const sde_item& item : p.order) {
            if (item.kind == sde_item::shape)
                shape(p.shapes[item.index]);
            else if (item.kind == sde_item::object)
                object(p.objects[item.index]);
            else
                out_ += "    " + p.unknown_children[item.index] + "\n";
        }
        out_ += "  </page>\n";
    }

    void shape(const sde_shape& s) {
        static const char* const tags[] = {"line",    "polyline", "polygon", "rect",
                                           "ellipse", "arc",      "text"};
        out_ += "    <";
        out_ += tags[s.kind];
        if (s.kind == sde_shape::line) {
            len("x1", s.coords[0]);
            len("y1", s.coords[1]);
            len("x2", s.coords[2]);
            len("y2", s.coords[3]);
        } else if (s.kind == sde_shape::polyline || s.kind == sde_shape::polygon) {
            std::string points;
            for (std::size_t i = 0; i + 1 < s.coords.size(); i += 2) {
                if (!points.empty())
                    points += ' ';
                points +=
                    sde_number(s.coords[i] / factor_) + "," + sde_number(s.coords[i + 1] / factor_);
            }
            attr("points", points);
        } else {
            len("x", s.coords[0]);
            len("y", s.coords[1]);
            if (s.kind != sde_shape::text || s.coords[2] != 0 || s.coords[3] != 0) {
                len("w", s.coords[2]);
                len("h", s.coords[3]);
            }
        }
        if (s.kind == sde_shape::text) {
            len("size", s.size);
            if (!s.align.empty())
                attr("align", s.align);
            if (s.bold)
                attr("bold", "1");
            attr("color", s.color);
        } else {
            attr("color", s.color);
            len("width", s.width);
            if (!s.fill.empty())
                attr("fill", s.fill);
            if (!s.dash.empty())
                attr("dash", s.dash);
            if (s.kind == sde_shape::arc) {
                attr("start", sde_number(s.start));
                attr("span", sde_number(s.span));
            }
        }
        unknown_attrs(s.unknown);
        if (s.kind == sde_shape::text)
            out_ += ">" + escape(s.content, false) + "</text>\n";
        else
            out_ += "/>\n";
    }

    void object(const sde_object& o) {
        out_ += "    <object";
        attr("counter", std::to_string(o.counter));
        attr("type", o.type_name);
        len("x", o.x);
        len("y", o.y);
        len("w", o.w);
        len("h", o.h);
        if (o.rotation != 0)
            attr("rotation", std::to_string(o.rotation));
        if (const std::string* name = o.find("дисп_имя"))
            attr("name", *name);
        if (!o.label_side.empty())
            attr("label", o.label_side);
        unknown_attrs(o.unknown);
        bool any = false;
        for (const auto& [n, v] : o.properties)
            if (n != "дисп_имя")
                any = true;
        if (!any && o.unknown_children.empty()) {
            out_ += "/>\n";
            return;
        }
        out_ += ">\n";
        for (const auto& [n, v] : o.properties) {
            if (n == "дисп_имя")
                continue;
            out_ += "      <property";
            attr("name", n);
            out_ += ">" + escape(v, false) + "</property>\n";
        }
        for (const std::string& raw : o.unknown_children)
            out_ += "      " + raw + "\n";
        out_ += "    </object>\n";
    }

    const sde_scheme& s_;
    double factor_ = 1;
    std::string out_;
};

} // namespace

namespace {

// The encoding named by the XML declaration, as written; empty without one.
std::string declared_encoding(const std::string& text) {
    if (text.rfind("<?xml", 0) != 0)
        return {};
    const std::size_t end = text.find("?>");
    const std::size_t at = text.find("encoding", 0);
    if (end == std::string::npos || at == std::string::npos || at > end)
        return {};
    std::size_t q = text.find_first_of("\"'", at);
    if (q == std::string::npos || q > end)
        return {};
    const std::size_t close = text.find(text[q], q + 1);
    if (close == std::string::npos || close > end)
        return {};
    return text.substr(q + 1, close - q - 1);
}

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

sde_scheme read_sde(const std::string& text, const std::string& name) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw nx_exception(name + ": файл схемы слишком велик");
    // The reader takes UTF-8 whatever the declaration says: a Windows-1251 file that declares
    // so is converted first (the text is written back as UTF-8); any other encoding is refused
    // by name instead of failing at its first letter as a "broken" file.
    const std::string encoding = declared_encoding(text);
    const std::string e = lower_ascii(encoding);
    if (e == "windows-1251" || e == "cp1251" || e == "cp-1251" || e == "x-cp1251") {
        const std::string utf8 = from_cp1251(text);
        return sde_reader(utf8, name).read();
    }
    if (!encoding.empty() && e != "utf-8" && e != "utf8" && e != "us-ascii")
        throw nx_exception(name + ": кодировка \"" + encoding +
                           "\" не поддерживается: файл схемы читается в кодировке UTF-8 или "
                           "windows-1251");
    return sde_reader(text, name).read();
}

sde_scheme read_sde_file(const std::string& path) {
    std::string text;
    if (!read_file(path, text))
        throw nx_exception("не удалось прочитать файл схемы '" + path +
                           "': " + std::strerror(errno));
    return read_sde(text, path);
}

std::string write_sde(const sde_scheme& scheme) {
    return sde_writer(scheme).write();
}

} // namespace nxkit
