// scheme-tool: checks .sde scheme files, lists their objects and renders their pages to PNG or
// PDF with given property values and style marks (docs/scheme-tool.md).

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/text.h"
#include "schemes/control/blink_clock.h"
#include "schemes/control/display_standard.h"
#include "schemes/control/scheme_painter.h"
#include "schemes/control/sde_document.h"
#include "schemes/control/style_library.h"
#include "schemes/editor/connectivity.h"
#include "schemes/editor/scheme_checks.h"
#include "schemes/ilk/ilk_scheme_classes.h"
#include "schemes/t_schema_modus50.h"
#include "config/t_ref_buff.h"
#include "structure/structure_classes.h"
#include "structure/t_struct_vl.h"

#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using namespace nxkit;

namespace {

const char* const usage =
    "использование:\n"
    "  scheme-tool check ФАЙЛ.sde [--refs refs.ini]\n"
    "  scheme-tool list ФАЙЛ.sde\n"
    "  scheme-tool nodes ФАЙЛ.sde\n"
    "  scheme-tool render ФАЙЛ.sde --out КАРТИНКА.png|.pdf [--page N] [--scale S]\n"
    "              [--set СЧЕТЧИК:СВОЙСТВО=ЗНАЧЕНИЕ]... [--style СЧЕТЧИК:+СТИЛЬ]...\n"
    "              [--styles default.XSTL] [--tick N]\n"
    "  scheme-tool legend --out КАРТИНКА.png [--styles default.XSTL] [--tick N] [--scale S]\n"
    "  scheme-tool standard-page [--number N] [--first-counter N]\n";

struct options {
    std::string file;
    std::string out;
    int page = 1;
    double scale = 1;
    unsigned tick = 0;
    std::string styles_file;
    std::string refs;
    std::vector<std::string> sets;
    std::vector<std::string> style_marks;
    int number = 1;
    int first_counter = 1;
};

// Status 2: the command line is wrong; 1: the work could not be done.
[[noreturn]] void fail(const std::string& text, int status = 2) {
    std::cerr << "scheme-tool: " << text << "\n";
    std::exit(status);
}

int to_int(const std::string& text, const char* what) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end)
        fail(std::string(what) + ": \"" + text + "\" не целое число");
    return static_cast<int>(v);
}

options parse(int argc, char** argv, int first) {
    options o;
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                fail("после " + a + " нужно значение");
            return argv[++i];
        };
        if (a == "--out")
            o.out = next();
        else if (a == "--page")
            o.page = to_int(next(), "--page");
        else if (a == "--scale") {
            o.scale = std::atof(next().c_str());
            if (!(o.scale > 0 && o.scale <= 20))
                fail("--scale: нужно число от 0 до 20");
        } else if (a == "--tick")
            o.tick = static_cast<unsigned>(to_int(next(), "--tick"));
        else if (a == "--styles")
            o.styles_file = next();
        else if (a == "--refs")
            o.refs = next();
        else if (a == "--set")
            o.sets.push_back(next());
        else if (a == "--style")
            o.style_marks.push_back(next());
        else if (a == "--number")
            o.number = to_int(next(), "--number");
        else if (a == "--first-counter")
            o.first_counter = to_int(next(), "--first-counter");
        else if (!a.empty() && a[0] == '-')
            fail("неизвестный параметр " + a + "\n" + usage);
        else if (o.file.empty())
            o.file = a;
        else
            fail("лишний параметр " + a);
    }
    return o;
}

// A library named on the command line must be read as a whole: drawing with the built-in
// styles instead, and saying nothing, would pass a wrong picture for a right one.
style_library_map styles_of(const options& o) {
    if (o.styles_file.empty())
        return builtin_style_map();
    std::string stored;
    if (!read_file(o.styles_file, stored))
        fail("не удалось прочитать файл стилей '" + o.styles_file + "': " + std::strerror(errno),
             1);
    std::vector<std::string> errors;
    style_library_map parsed = parse_style_library(from_cp1251(stored), &errors);
    for (const std::string& e : errors)
        std::cerr << "scheme-tool: " << o.styles_file << ": " << e << "\n";
    if (!errors.empty())
        fail("файл стилей '" + o.styles_file + "' прочитан с ошибками", 1);
    if (parsed.empty())
        fail("в файле стилей '" + o.styles_file + "' нет ни одного стиля", 1);
    style_library_map map = builtin_style_map();
    for (auto& [name, style] : parsed)
        map[name] = std::move(style);
    return map;
}

// An image of w x h pixels, or a failure that says it is too large (Qt would only warn and
// leave a null image that every painter call then complains about).
QImage make_image(double w, double h) {
    const double bytes = std::ceil(w) * std::ceil(h) * 4;
    QImage image;
    if (w <= 32767 && h <= 32767 && bytes < 2147483647.0)
        image = QImage(static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(h)),
                       QImage::Format_RGB32);
    if (image.isNull())
        fail("изображение " + std::to_string(static_cast<long long>(std::ceil(w))) + " x " +
                 std::to_string(static_cast<long long>(std::ceil(h))) +
                 " пикселей не помещается в памяти: уменьшите --scale",
             1);
    return image;
}

sde_object* find_counter(sde_scheme& s, int counter) {
    for (sde_page& p : s.pages)
        for (sde_object& o : p.objects)
            if (o.counter == counter)
                return &o;
    return nullptr;
}

// "COUNTER:rest" split at the first colon.
sde_object& target(sde_scheme& s, const std::string& spec, std::string& rest) {
    const auto colon = spec.find(':');
    if (colon == std::string::npos)
        fail("\"" + spec + "\": нужно СЧЕТЧИК:...");
    const int counter = to_int(spec.substr(0, colon), "счетчик");
    sde_object* o = find_counter(s, counter);
    if (!o)
        fail("объекта со счетчиком " + std::to_string(counter) + " в схеме нет");
    rest = spec.substr(colon + 1);
    return *o;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int render(const options& o) {
    if (o.out.empty())
        fail("не указан --out");
    sde_scheme scheme = read_sde_file(o.file);
    for (const std::string& spec : o.sets) {
        std::string rest;
        sde_object& obj = target(scheme, spec, rest);
        const auto eq = rest.find('=');
        if (eq == std::string::npos || eq == 0)
            fail("\"" + spec + "\": нужно СЧЕТЧИК:СВОЙСТВО=ЗНАЧЕНИЕ");
        obj.set(rest.substr(0, eq), rest.substr(eq + 1));
    }
    const style_library_map styles = styles_of(o);
    for (const std::string& spec : o.style_marks) {
        std::string rest;
        sde_object& obj = target(scheme, spec, rest);
        if (rest.size() < 2 || (rest[0] != '+' && rest[0] != '-'))
            fail("\"" + spec + "\": нужно СЧЕТЧИК:+СТИЛЬ или СЧЕТЧИК:-СТИЛЬ");
        const std::string name = rest.substr(1);
        if (styles.count(name) == 0)
            fail("стиля \"" + name + "\" нет в библиотеке стилей", 1);
        auto& s = obj.styles;
        std::erase(s, name);
        if (rest[0] == '+')
            s.push_back(name);
    }
    const sde_page* page = nullptr;
    for (const sde_page& p : scheme.pages)
        if (p.number == o.page)
            page = &p;
    if (!page)
        fail("в схеме нет страницы " + std::to_string(o.page));
    if (ends_with(o.out, ".pdf")) {
        QPdfWriter pdf(QString::fromStdString(o.out));
        pdf.setResolution(300);
        pdf.setPageSize(QPageSize(QSizeF(page->width, page->height), QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&pdf);
        const double k = 300 / 25.4; // the page units are millimetres on paper
        p.scale(k, k);
        paint_context c{&styles, o.tick, k};
        paint_page(p, *page, c);
        if (!p.end())
            fail("не удалось записать " + o.out);
        return 0;
    }
    const double u = o.scale * sde_pixels_per_unit;
    QImage image = make_image(page->width * u, page->height * u);
    {
        QPainter p(&image);
        p.scale(u, u);
        paint_context c{&styles, o.tick, u};
        paint_page(p, *page, c);
    }
    if (!image.save(QString::fromStdString(o.out)))
        fail("не удалось записать " + o.out);
    return 0;
}

int list(const options& o) {
    const sde_scheme scheme = read_sde_file(o.file);
    std::printf("страница\tсчетчик\tимя_типа\tдисп_имя\tx\ty\tсвойства\n");
    for (const sde_page& p : scheme.pages)
        for (const sde_object& obj : p.objects) {
            std::string props;
            for (const auto& [n, v] : obj.properties)
                if (n != "дисп_имя")
                    props += (props.empty() ? "" : "; ") + n + "=" + v;
            std::printf("%d\t%d\t%s\t%s\t%s\t%s\t%s\n", p.number, obj.counter,
                        obj.type_name.c_str(), obj.value("дисп_имя").c_str(),
                        sde_number(obj.x).c_str(), sde_number(obj.y).c_str(), props.c_str());
        }
    return 0;
}

// What the configuration knows of the scheme file: the counters of the elements of the scheme
// components drawn in it, and the names (titles) of every signal of the station.
scheme_references references_of(const std::string& refs_file, const std::string& sde_file,
                                bool& found) {
    if (!file_exists(refs_file))
        fail("нет файла конфигурации " + refs_file, 1);
    t_ref_buff store;
    register_structure_classes(store);
    register_all_scheme_classes(store);
    store.load(refs_file);
    const std::string file = to_lower(path_part(sde_file, part_name | part_ext));
    scheme_references out;
    found = false;
    for (t_ref* r : store.refs().under("")) {
        if (auto* s = dynamic_cast<t_schema_modus50*>(r)) {
            if (to_lower(s->scheme_file()) != file)
                continue;
            found = true;
            for (const auto& [counter, element] : s->elements_by_rtid())
                out.element_counters.insert(counter);
        } else if (auto* v = dynamic_cast<t_struct_vl*>(r); v && !v->title().empty())
            out.signal_names.insert(v->title());
    }
    return out;
}

// One line per electrical node: page, node number (from 1 in each page), its terminals.
int nodes(const options& o) {
    const sde_scheme scheme = read_sde_file(o.file);
    for (const sde_page& p : scheme.pages) {
        int number = 0;
        for (const electrical_node& node : electrical_nodes(p)) {
            std::string members;
            for (const terminal_ref& t : node)
                members +=
                    (members.empty() ? "" : " ") + std::to_string(t.counter) + ":" + t.terminal;
            std::printf("%d\t%d\t%s\n", p.number, ++number, members.c_str());
        }
    }
    return 0;
}

int check(const options& o) {
    const sde_scheme scheme = read_sde_file(o.file);
    std::size_t objects = 0;
    for (const sde_page& p : scheme.pages)
        objects += p.objects.size();
    std::vector<scheme_finding> findings = check_scheme(scheme);
    if (!o.refs.empty()) {
        bool found = false;
        const scheme_references refs = references_of(o.refs, o.file, found);
        if (!found)
            findings.push_back({0, 0,
                                "в конфигурации " + o.refs + " нет схемы с файлом " +
                                    path_part(o.file, part_name | part_ext)});
        for (scheme_finding& f : check_references(scheme, refs))
            findings.push_back(std::move(f));
    }
    for (const scheme_finding& f : findings)
        if (f.page > 0)
            std::printf("%s: страница %d: %s\n", o.file.c_str(), f.page, f.text.c_str());
        else
            std::printf("%s: %s\n", o.file.c_str(), f.text.c_str());
    for (int page : pages_without_wires(scheme))
        std::printf("%s: страница %d: соединения не записаны, выводы не проверены\n",
                    o.file.c_str(), page);
    if (findings.empty()) {
        std::printf("%s: ошибок нет; страниц %zu, объектов %zu\n", o.file.c_str(),
                    scheme.pages.size(), objects);
        return 0;
    }
    std::printf("%s: ошибок %zu; страниц %zu, объектов %zu\n", o.file.c_str(), findings.size(),
                scheme.pages.size(), objects);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << usage;
        return 2;
    }
    // The tool draws without a screen.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string command = argv[1];
    const options o = parse(argc, argv, 2);
    // Qt takes options such as "-style" out of the arguments it is given: give it none.
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    try {
        if ((command == "check" || command == "list" || command == "render" ||
             command == "nodes") &&
            o.file.empty())
            fail("не указан файл схемы");
        if (command == "check")
            return check(o);
        if (command == "list")
            return list(o);
        if (command == "nodes")
            return nodes(o);
        if (command == "render")
            return render(o);
        if (command == "legend") {
            if (o.out.empty())
                fail("не указан --out");
            const QImage image = render_display_standard(styles_of(o), o.tick, o.scale);
            if (image.isNull())
                fail("изображение легенды не помещается в памяти", 1);
            if (!image.save(QString::fromStdString(o.out)))
                fail("не удалось записать " + o.out);
            return 0;
        }
        if (command == "standard-page") {
            sde_scheme s;
            s.pages.push_back(display_standard_page(o.number, nullptr, o.first_counter));
            std::cout << write_sde(s);
            return 0;
        }
    } catch (const nx_exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cerr << usage;
    return 2;
}
