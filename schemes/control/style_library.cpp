#include "schemes/control/style_library.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/settings_keys.h"
#include "platform/station.h"

#include <expat.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace nxkit {

namespace {

struct named_colour {
    const char* name;
    sde_colour colour;
};

const named_colour known_colours[] = {
    {"черный", {0, 0, 0, false}},         {"белый", {255, 255, 255, false}},
    {"красный", {220, 0, 0, false}},      {"темно_красный", {128, 0, 0, false}},
    {"зеленый", {0, 160, 0, false}},      {"темно_зеленый", {0, 100, 0, false}},
    {"синий", {0, 0, 220, false}},        {"темно_синий", {0, 0, 128, false}},
    {"голубой", {0, 200, 255, false}},    {"темно_голубой", {0, 128, 192, false}},
    {"желтый", {255, 230, 0, false}},     {"оранжевый", {255, 140, 0, false}},
    {"коричневый", {140, 80, 20, false}}, {"фиолетовый", {150, 0, 200, false}},
    {"серый", {150, 150, 150, false}},    {"светло_серый", {210, 210, 210, false}},
    {"темно_серый", {90, 90, 90, false}}, {"прозрачный", {0, 0, 0, true}},
};

// The palette the "$0000NN" references index.
const sde_colour palette[] = {
    {0, 0, 0, false},       {255, 255, 255, false}, {220, 0, 0, false},   {0, 160, 0, false},
    {0, 0, 220, false},     {255, 230, 0, false},   {0, 200, 255, false}, {150, 0, 200, false},
    {150, 150, 150, false}, {90, 90, 90, false},    {128, 0, 0, false},   {0, 100, 0, false},
    {0, 0, 128, false},     {255, 140, 0, false},   {0, 128, 192, false}, {210, 210, 210, false},
};

bool all_digits(const std::string& s, std::size_t from, int base) {
    if (from >= s.size())
        return false;
    for (std::size_t i = from; i < s.size(); ++i) {
        const char c = s[i];
        const bool digit = c >= '0' && c <= '9';
        const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !(base == 16 && hex))
            return false;
    }
    return true;
}

} // namespace

std::optional<sde_colour> parse_colour(const std::string& text) {
    for (const named_colour& c : known_colours)
        if (text == c.name)
            return c.colour;
    if (text.size() == 7 && text[0] == '#' && all_digits(text, 1, 16)) {
        const unsigned long v = std::strtoul(text.c_str() + 1, nullptr, 16);
        return sde_colour{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                          static_cast<std::uint8_t>(v), false};
    }
    if (text.size() > 1 && text[0] == '$' && all_digits(text, 1, 16)) {
        const unsigned long index = std::strtoul(text.c_str() + 1, nullptr, 16);
        if (index >= std::size(palette))
            return std::nullopt;
        return palette[index];
    }
    if (text.size() <= 10 && all_digits(text, 0, 10)) {
        const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
        // A value with the high byte set names a system colour, not an RGB one: nothing drawn.
        if (v > 0xFFFFFF)
            return sde_colour{0, 0, 0, true};
        return sde_colour{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                          static_cast<std::uint8_t>(v >> 16), false};
    }
    return std::nullopt;
}

const std::vector<std::string>& colour_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const named_colour& c : known_colours)
            n.emplace_back(c.name);
        return n;
    }();
    return names;
}

// ---------------------------------------------------------------------------------------------
// Built-in styles

namespace {

// The eleven styles, each beginning at the start of a line, inner elements indented by two
// blanks.
const char* const builtin_text[] = {
    R"(<Style Name="я03_not_norma">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="1"/>
  </Background>
  <Border Style="psSolid" Animation="baStatic" Delay="4">
    <Phase Color="16763904" Width="5"/>
  </Border>
</Style>)",
    R"(<Style Name="я06_not_control">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="1"/>
  </Background>
  <Border Style="psClear" Animation="baStatic" Delay="4">
    <Phase Color="4294902015" Width="1"/>
  </Border>
  <Figure Code="fcDKrest" Animation="baStatic" Delay="" SizeAbsolute="-1" SizeWidth="15">
    <Border>
      <Phase Color="темно_голубой" Width="2"/>
    </Border>
    <Background>
      <Phase Color="65280"/>
    </Background>
    <CornersSet>cvCenter</CornersSet>
  </Figure>
</Style>)",
    R"(<Style Name="я08_hand">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="$000001"/>
  </Background>
  <Border Style="psClear" Animation="baStatic" Delay="4">
    <Phase Color="$000004" Width="1"/>
  </Border>
  <Figure Code="fcCircle" Animation="baBlinking" Delay="" SizeAbsolute="0">
    <Border>
      <Phase Color="темно_голубой" Width="1"/>
      <Phase Color="прозрачный" Width="1"/>
    </Border>
    <Background>
      <Phase Color="темно_голубой"/>
      <Phase Color="прозрачный"/>
    </Background>
    <CornersSet>cvRightTop</CornersSet>
  </Figure>
  <CurrState>csBorder</CurrState>
  <CurrState>csBackGround</CurrState>
  <CurrState>csFigure</CurrState>
</Style>)",
    R"(<Style Name="я09_ILK_TS_NO">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsSolid" Color="13408767"/>
  </Background>
  <Border Style="psClear" Animation="baStatic" Delay="4">
    <Phase Color="4" Width="1"/>
  </Border>
  <Figure Code="fcCircle" Animation="baBlinking" Delay="" SizeAbsolute="0">
    <Border>
      <Phase Color="255" Width="1"/>
      <Phase Color="13408767" Width="1"/>
    </Border>
    <Background>
      <Phase Color="255"/>
      <Phase Color="13408767"/>
    </Background>
    <CornersSet>cvLeftTop</CornersSet>
  </Figure>
</Style>)",
    R"(<Style Name="я09_ILK_TS_YES">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsSolid" Color="13434828"/>
  </Background>
  <Border Style="psClear" Animation="baStatic" Delay="4">
    <Phase Color="4" Width="1"/>
  </Border>
  <Figure Code="fcCircle" Animation="baBlinking" Delay="" SizeAbsolute="0">
    <Border>
      <Phase Color="65280" Width="1"/>
      <Phase Color="13434828" Width="1"/>
    </Border>
    <Background>
      <Phase Color="65280"/>
      <Phase Color="13434828"/>
    </Background>
    <CornersSet>cvLeftTop</CornersSet>
  </Figure>
</Style>)",
    R"(<Style Name="я12_ILK_NO">
  <Background Blinking="0" Delay="2">
    <Phase Style="bsSolid" Color="10079487"/>
  </Background>
  <Border Style="psSolid" Animation="baStatic" Delay="2">
    <Phase Color="255" Width="2"/>
  </Border>
</Style>)",
    R"(<Style Name="я12_ILK_YES">
  <Background Blinking="0" Delay="3">
    <Phase Style="bsSolid" Color="6750054"/>
  </Background>
  <Border Style="psSolid" Animation="baStatic" Delay="3">
    <Phase Color="32768" Width="3"/>
  </Border>
</Style>)",
    R"(<Style Name="я15_not_cvit">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="$000001"/>
  </Background>
  <Border Style="psSolid" Animation="baBlinking" Delay="4">
    <Phase Color="желтый" Width="2"/>
    <Phase Color="прозрачный" Width="2"/>
  </Border>
  <CurrState>csBorder</CurrState>
  <CurrState>csBackGround</CurrState>
  <CurrState>csFigure</CurrState>
</Style>)",
    R"(<Style Name="я16_bad_dev">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="$000001"/>
  </Background>
  <Border Style="psSolid" Animation="baBlinking" Delay="2">
    <Phase Color="черный" Width="1"/>
    <Phase Color="белый" Width="1"/>
  </Border>
  <CurrState>csBorder</CurrState>
  <CurrState>csBackGround</CurrState>
  <CurrState>csFigure</CurrState>
</Style>)",
    R"(<Style Name="я16_onof">
  <Background Blinking="0" Delay="4">
    <Phase Style="bsClear" Color="$000001"/>
  </Background>
  <Border Style="psClear" Animation="baStatic" Delay="4">
    <Phase Color="$000004" Width="1"/>
  </Border>
  <Figure Code="fcCorner" Animation="baBlinking" Delay="" SizeAbsolute="0">
    <Border>
      <Phase Color="темно_голубой" Width="3"/>
      <Phase Color="прозрачный" Width="3"/>
    </Border>
    <Background>
      <Phase Color="прозрачный"/>
      <Phase Color="прозрачный"/>
    </Background>
    <CornersSet>cvLeftTop,cvRightTop,cvLeftBottom,cvRightBottom</CornersSet>
  </Figure>
  <CurrState>csBorder</CurrState>
  <CurrState>csBackGround</CurrState>
  <CurrState>csFigure</CurrState>
</Style>)",
    R"(<Style Name="я18_not_ref">
  <Background Blinking="0" Delay="2">
    <Phase Style="bsSolid" Color="6619135"/>
  </Background>
  <Border Style="psSolid" Animation="baStatic" Delay="2">
    <Phase Color="13553358" Width="1"/>
  </Border>
</Style>)",
};

const char* const style_prefix = "<Style Name=";
const char* const style_end = "</Style>";
const char* const styles_end = "</Styles>";

struct split_style {
    std::string name;
    std::size_t begin = 0;      // of "<Style Name="
    std::size_t body_begin = 0; // after the closing quote of the name
    std::size_t body_end = 0;   // at "</Style>"
};

// The styles of a library text, as the update reads them: each starts at "<Style Name=" and
// its opening quote, the name runs to the next quote, the body to "</Style>".
std::vector<split_style> split_styles(const std::string& text) {
    std::vector<split_style> result;
    std::size_t at = 0;
    const std::size_t prefix = std::strlen(style_prefix);
    while ((at = text.find(style_prefix, at)) != std::string::npos) {
        split_style s;
        s.begin = at;
        std::size_t q = at + prefix;
        if (q >= text.size() || text[q] != '"') {
            at = q;
            continue;
        }
        const std::size_t close = text.find('"', q + 1);
        if (close == std::string::npos)
            break;
        s.name = text.substr(q + 1, close - q - 1);
        s.body_begin = close + 1;
        s.body_end = text.find(style_end, s.body_begin);
        if (s.body_end == std::string::npos)
            break;
        result.push_back(s);
        at = s.body_end;
    }
    return result;
}

} // namespace

const std::map<std::string, std::string>& builtin_styles() {
    static const std::map<std::string, std::string> styles = [] {
        std::map<std::string, std::string> m;
        for (const char* text : builtin_text) {
            const std::string t = text;
            m[split_styles(t).at(0).name] = t;
        }
        return m;
    }();
    return styles;
}

std::string builtin_library_text() {
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Styles>\r\n";
    for (const auto& [name, style] : builtin_styles()) {
        std::string crlf;
        for (char c : style) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        text += crlf + "\r\n";
    }
    return text + styles_end + "\r\n";
}

const style_library_map& builtin_style_map() {
    static const style_library_map map = parse_style_library(builtin_library_text());
    return map;
}

std::string style_meaning(const std::string& name) {
    static const std::map<std::string, std::string> meanings = {
        {"я03_not_norma", "положение не определено"},
        {"я06_not_control", "сигналы не под контролем"},
        {"я08_hand", "ручной ввод"},
        {"я09_ILK_TS_NO", "блокирующий элемент запрещает"},
        {"я09_ILK_TS_YES", "блокирующий элемент разрешает"},
        {"я12_ILK_NO", "блокировка запрещает переключение"},
        {"я12_ILK_YES", "блокировка разрешает переключение"},
        {"я15_not_cvit", "изменение не квитировано"},
        {"я16_bad_dev", "неисправность устройства"},
        {"я16_onof", "идет переключение"},
        {"я18_not_ref", "нет привязки к сигналам"},
    };
    const auto it = meanings.find(name);
    return it == meanings.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------------------------------------
// Parsing

namespace {

class xstl_parser {
public:
    style_library_map parse(const std::string& utf8, std::vector<std::string>* errors) {
        // Each style is parsed on its own, so one broken style does not hide the others.
        for (const split_style& s : split_styles(utf8)) {
            const std::string text =
                utf8.substr(s.begin, s.body_end + std::strlen(style_end) - s.begin);
            current_ = style_def{};
            stack_.clear();
            XML_Parser parser = XML_ParserCreate("UTF-8");
            if (!parser)
                break;
            XML_SetUserData(parser, this);
            XML_SetElementHandler(parser, &xstl_parser::on_start, &xstl_parser::on_end);
            XML_SetCharacterDataHandler(parser, &xstl_parser::on_text);
            const bool ok =
                XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
            if (!ok && errors)
                errors->push_back("стиль '" + s.name +
                                  "': " + XML_ErrorString(XML_GetErrorCode(parser)));
            XML_ParserFree(parser);
            if (ok && !current_.name.empty())
                result_[current_.name] = std::move(current_);
        }
        return std::move(result_);
    }

private:
    static const char* attr(const char** attrs, const char* name) {
        for (const char** a = attrs; *a; a += 2)
            if (std::strcmp(a[0], name) == 0)
                return a[1];
        return "";
    }
    static int delay(const char* text, int fallback) {
        return *text ? std::max(1, std::atoi(text)) : fallback;
    }

    style_part* part_for(const std::string& parent, const std::string& grand) {
        if (grand == "Figure") {
            if (parent == "Border")
                return &current_.figure.border;
            if (parent == "Background")
                return &current_.figure.background;
            return nullptr;
        }
        if (parent == "Border")
            return &current_.border;
        if (parent == "Background")
            return &current_.background;
        return nullptr;
    }

    void start(const std::string& tag, const char** attrs) {
        const std::string parent = stack_.empty() ? "" : stack_.back();
        const std::string grand = stack_.size() < 2 ? "" : stack_[stack_.size() - 2];
        text_.clear();
        if (tag == "Style")
            current_.name = attr(attrs, "Name");
        else if (tag == "Background" && parent == "Style") {
            current_.background.present = true;
            current_.background.blinking = std::string(attr(attrs, "Blinking")) == "1";
            current_.background.delay = delay(attr(attrs, "Delay"), 4);
        } else if (tag == "Border" && parent == "Style") {
            current_.border.present = true;
            current_.border.style = attr(attrs, "Style");
            current_.border.blinking = std::string(attr(attrs, "Animation")) == "baBlinking";
            current_.border.delay = delay(attr(attrs, "Delay"), 4);
        } else if (tag == "Figure" && parent == "Style") {
            style_figure& f = current_.figure;
            f.present = true;
            f.code = attr(attrs, "Code");
            f.blinking = std::string(attr(attrs, "Animation")) == "baBlinking";
            f.delay = delay(attr(attrs, "Delay"), current_.border.delay);
            const std::string absolute = attr(attrs, "SizeAbsolute");
            f.size_absolute = !absolute.empty() && absolute != "0";
            f.size_width = std::atof(attr(attrs, "SizeWidth"));
        } else if ((tag == "Border" || tag == "Background") && parent == "Figure") {
            style_part& p = tag == "Border" ? current_.figure.border : current_.figure.background;
            p.present = true;
            p.style = tag == "Border" ? "psSolid" : "bsSolid";
            p.blinking = current_.figure.blinking;
            p.delay = current_.figure.delay;
        } else if (tag == "Phase") {
            if (style_part* p = part_for(parent, grand)) {
                style_phase phase;
                phase.style = attr(attrs, "Style");
                phase.color = attr(attrs, "Color");
                const char* width = attr(attrs, "Width");
                phase.width = *width ? std::atof(width) : 1;
                p->phases.push_back(phase);
            }
        }
        stack_.push_back(tag);
    }

    void end() {
        const std::string tag = stack_.empty() ? "" : stack_.back();
        if (!stack_.empty())
            stack_.pop_back();
        if (tag == "CornersSet") {
            std::size_t at = 0;
            while (at <= text_.size()) {
                const std::size_t comma = text_.find(',', at);
                std::string item =
                    text_.substr(at, comma == std::string::npos ? comma : comma - at);
                const auto first = item.find_first_not_of(" \r\n\t");
                const auto last = item.find_last_not_of(" \r\n\t");
                if (first != std::string::npos)
                    current_.figure.corners.push_back(item.substr(first, last - first + 1));
                if (comma == std::string::npos)
                    break;
                at = comma + 1;
            }
        } else if (tag == "CurrState") {
            const auto first = text_.find_first_not_of(" \r\n\t");
            const auto last = text_.find_last_not_of(" \r\n\t");
            if (first != std::string::npos)
                current_.current_states.push_back(text_.substr(first, last - first + 1));
        }
        text_.clear();
    }

    static void XMLCALL on_start(void* self, const char* tag, const char** attrs) {
        static_cast<xstl_parser*>(self)->start(tag, attrs);
    }
    static void XMLCALL on_end(void* self, const char*) { static_cast<xstl_parser*>(self)->end(); }
    static void XMLCALL on_text(void* self, const char* s, int n) {
        static_cast<xstl_parser*>(self)->text_.append(s, static_cast<std::size_t>(n));
    }

    style_library_map result_;
    style_def current_;
    std::vector<std::string> stack_;
    std::string text_;
};

} // namespace

style_library_map parse_style_library(const std::string& utf8, std::vector<std::string>* errors) {
    return xstl_parser().parse(utf8, errors);
}

// ---------------------------------------------------------------------------------------------
// The update

std::string style_library_path() {
    return exe_dir() + "SDE/default.XSTL";
}

bool update_style_library(const std::string& path, std::time_t now) {
    std::string stored;
    const bool exists = file_exists(path);
    if (!exists) {
        // A station without a library gets one made of the built-in styles.
        make_dirs(path_part(path, part_folder));
        if (!write_file_atomic(path, to_cp1251(builtin_library_text()), false))
            throw nx_exception("не удалось сохранить файл стилей '" + path + "'");
        nx_log::main().mes("обновлен файл стилей '" + path + "'");
        // A request to overwrite our styles is met by a library made of them alone.
        if (settings_get_int(setting::xstl_upd.section, setting::xstl_upd.key,
                             setting::xstl_upd.default_value, setting::xstl_upd.write_back) != 0)
            settings_set_int(setting::xstl_upd.section, setting::xstl_upd.key, 0);
        return true;
    }
    if (!read_file(path, stored) || stored.empty())
        throw nx_exception("не найден файл стилей '" + path + "'");
    std::string text = from_cp1251(stored);

    const bool replace =
        settings_get_int(setting::xstl_upd.section, setting::xstl_upd.key,
                         setting::xstl_upd.default_value, setting::xstl_upd.write_back) != 0;
    if (replace)
        settings_set_int(setting::xstl_upd.section, setting::xstl_upd.key, 0);

    std::map<std::string, std::string> ours;
    for (const auto& [name, style] : builtin_styles()) {
        const auto parts = split_styles(style);
        std::string body;
        for (const char c :
             style.substr(parts[0].body_begin, parts[0].body_end - parts[0].body_begin)) {
            if (c == '\n')
                body += '\r';
            body += c;
        }
        ours[name] = body;
    }
    // Bodies are replaced from the last style back, so earlier offsets stay valid.
    const auto found = split_styles(text);
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const auto our = ours.find(it->name);
        if (our == ours.end())
            continue;
        if (replace)
            text.replace(it->body_begin, it->body_end - it->body_begin, our->second);
        ours.erase(our);
    }
    if (!replace && ours.empty())
        return false;

    std::string missing;
    for (const auto& [name, body] : ours)
        missing += std::string(style_prefix) + "\"" + name + "\"" + body + style_end + "\r\n";
    const std::size_t end = text.rfind(styles_end);
    if (end == std::string::npos)
        throw nx_exception("в файле стилей '" + path + "' нет строки " + styles_end);
    text.insert(end, missing);

    char stamp[32];
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, ".%y%m%d%H%M%S", &local);
    const std::string backup = path + stamp + ".bak";
    if (!copy_file(path, backup))
        throw nx_exception("не удалось сохранить BAK-файл стилей '" + backup + "' из '" + path +
                           "' ");
    if (!write_file_atomic(path, to_cp1251(text), false))
        throw nx_exception("не удалось сохранить файл стилей '" + path + "'");
    nx_log::main().mes("обновлен файл стилей '" + path + "'");
    return true;
}

style_library_map load_style_library(const std::string& path, std::vector<std::string>* errors) {
    style_library_map map = builtin_style_map();
    std::string stored;
    if (read_file(path, stored))
        for (auto& [name, style] : parse_style_library(from_cp1251(stored), errors))
            map[name] = std::move(style);
    return map;
}

namespace {

// One library per process, like the control's own in the original host.
struct prepared_styles {
    bool tried = false;
    style_library_map map;
};

prepared_styles& prepared() {
    static prepared_styles styles;
    return styles;
}

} // namespace

void prepare_station_styles() {
    prepared_styles& p = prepared();
    p.tried = true;
    p.map = builtin_style_map();
    const std::string path = style_library_path();
    update_style_library(path);
    std::vector<std::string> errors;
    p.map = load_style_library(path, &errors);
    for (const std::string& e : errors)
        nx_log::main().err("файл стилей '" + path + "': " + e);
}

const style_library_map& station_styles() {
    prepared_styles& p = prepared();
    if (!p.tried) {
        try {
            prepare_station_styles();
        } catch (const nx_exception& e) {
            nx_log::main().err(e.what());
        }
    }
    return p.map;
}

} // namespace nxkit
