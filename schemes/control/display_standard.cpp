#include "schemes/control/display_standard.h"

#include "schemes/control/blink_clock.h"
#include "schemes/control/scheme_painter.h"

#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace nxkit {

void symbol_size(const std::string& type, double& w, double& h) {
    w = 6;
    h = 12;
    if (type == "лампа") {
        w = h = 7;
    } else if (type == "табло") {
        w = 22;
        h = 7;
    } else if (type == "текст" || type == "метка") {
        w = 26;
        h = 4.5;
    } else if (type == "ячейка_таблицы") {
        w = 26;
        h = 6;
    } else if (type == "прибор_реальный" || type == "прибор_настраиваемый") {
        w = 20;
        h = 6;
    } else if (type == "присоединение") {
        w = 6;
        h = 10;
    } else if (type == "шина") {
        w = 30;
        h = 1.4;
    } else if (type == "трансформатор" || type == "автотрансформатор") {
        w = 10;
        h = 16;
    } else if (type == "трансформатор_трехобмоточный") {
        w = 14;
        h = 16;
    } else if (type == "трансформатор_напряжения" || type == "реактор" ||
               type == "конденсаторная_батарея") {
        w = 8;
        h = 12;
    } else if (type == "трансформатор_тока" || type == "кабельная_муфта") {
        w = 6;
        h = 8;
    } else if (type == "предохранитель") {
        w = 5;
        h = 12;
    } else if (type == "генератор" || type == "двигатель") {
        w = 10;
        h = 12;
    } else if (type == "заземление") {
        w = 6;
        h = 6;
    }
}

namespace {

sde_shape text_shape(double x, double y, const std::string& text, double size, bool bold = false,
                     const std::string& align = "left") {
    sde_shape s;
    s.kind = sde_shape::text;
    s.coords = {x, y, 0, 0};
    s.content = text;
    s.size = size;
    s.bold = bold;
    s.align = align;
    return s;
}

void add_shape(sde_page& p, sde_shape s) {
    p.order.push_back({sde_item::shape, p.shapes.size()});
    p.shapes.push_back(std::move(s));
}

void add_object(sde_page& p, sde_object o) {
    o.page = p.number;
    p.order.push_back({sde_item::object, p.objects.size()});
    p.objects.push_back(std::move(o));
}

std::string example_text(const std::string& type) {
    if (type == "текст")
        return "Ввод 110 кВ";
    if (type == "ячейка_таблицы")
        return "Л-1";
    if (type == "метка")
        return "РЗА";
    if (type == "прибор_реальный")
        return "412,5";
    return "10,2";
}

} // namespace

sde_page display_standard_page(int number, const style_library_map* styles, int first_counter) {
    sde_page page;
    page.number = number;
    page.title = "Условные обозначения";
    page.width = 200;
    const double row = 17;
    const auto& symbols = known_symbols();
    const double types_end = 22 + row * static_cast<double>(symbols.size() + 1);
    page.height = types_end + (styles ? 16 + row * std::ceil(styles->size() / 2.0) : 0) + 6;
    int counter = first_counter;

    add_shape(page, text_shape(100, 5, "Условные обозначения элементов схемы", 5, true, "center"));
    add_shape(page, text_shape(6, 15, "Тип элемента", 3, true));
    add_shape(page, text_shape(62, 15, "Состояния", 3, true));
    sde_shape rule;
    rule.kind = sde_shape::line;
    rule.coords = {5, 19.5, 195, 19.5};
    rule.color = "серый";
    rule.width = 0.3;
    add_shape(page, rule);

    double y = 22;
    for (const symbol_states& s : symbols) {
        add_shape(page, text_shape(6, y + 5.5, s.type, 3));
        add_shape(page, text_shape(6, y + 9.5,
                                   s.property.empty() ? std::string("без состояний")
                                                      : "свойство \"" + s.property + "\"",
                                   2.2, false));
        std::vector<std::string> values = s.values;
        if (values.empty())
            values = {s.property.empty() ? std::string() : example_text(s.type)};
        else
            values.push_back("авария"); // a value the symbol does not know
        double x = 72;
        for (const std::string& v : values) {
            const bool unknown = !s.values.empty() && v == values.back();
            sde_object o;
            o.counter = counter++;
            o.type_name = s.type;
            symbol_size(s.type, o.w, o.h);
            o.x = x;
            o.y = y + 6.5;
            o.label_side = "none";
            if (!s.property.empty())
                o.set(s.property, v);
            if (s.type == "табло")
                o.set("текст", "АВАРИЯ");
            add_object(page, o);
            if (!s.values.empty())
                add_shape(page, text_shape(x, y + 13.6, unknown ? "другое значение" : v, 2.4, false,
                                           "center"));
            x += 34;
        }
        y += row;
    }
    // A type the control has no symbol for.
    add_shape(page, text_shape(6, y + 5.5, "тип без символа", 3));
    add_shape(page, text_shape(6, y + 9.5, "рамка с названием типа", 2.2));
    sde_object other;
    other.counter = counter++;
    other.type_name = "фильтр_присоединения";
    other.w = 22;
    other.h = 8;
    other.x = 72;
    other.y = y + 6.5;
    other.label_side = "none";
    add_object(page, other);
    y += row;
    if (styles) {
        add_shape(page,
                  text_shape(6, types_end + 4, "Стили (отметки состояния элемента)", 3.5, true));
        int i = 0;
        for (const auto& [name, style] : *styles) {
            const double x0 = i % 2 == 0 ? 6 : 104;
            const double y0 = types_end + 12 + row * (i / 2);
            sde_object o;
            o.counter = counter++;
            o.type_name = "выключатель";
            o.set("положение", "отключен");
            o.w = 6;
            o.h = 12;
            o.x = x0 + 8;
            o.y = y0 + 6;
            o.label_side = "none";
            o.styles = {name};
            add_object(page, o);
            add_shape(page, text_shape(x0 + 17, y0 + 2.5, name, 3, true));
            add_shape(page, text_shape(x0 + 17, y0 + 7, style_meaning(name), 2.6));
            ++i;
        }
    }
    return page;
}

QImage render_display_standard(const style_library_map& styles, unsigned tick, double scale) {
    const sde_page page = display_standard_page(1, &styles);
    const double u = scale * sde_pixels_per_unit;
    QImage image(static_cast<int>(std::ceil(page.width * u)),
                 static_cast<int>(std::ceil(page.height * u)), QImage::Format_RGB32);
    QPainter p(&image);
    p.scale(u, u);
    paint_context context{&styles, tick, u};
    paint_page(p, page, context);
    return image;
}

void open_display_standard(QWidget* parent, const style_library_map& styles) {
    auto* dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("Условные обозначения");
    auto* layout = new QVBoxLayout(dialog);
    auto* area = new QScrollArea(dialog);
    auto* label = new QLabel(area);
    label->setPixmap(
        QPixmap::fromImage(render_display_standard(styles, blink_clock::instance().tick(), 0.75)));
    area->setWidget(label);
    layout->addWidget(area);
    dialog->resize(1240, 800);
    dialog->show();
}

} // namespace nxkit
