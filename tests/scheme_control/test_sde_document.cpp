#include "base/nx_exception.h"
#include "schemes/control/sde_document.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nxkit;

namespace {

const std::string sample = R"(<?xml version="1.0" encoding="UTF-8"?>
<sde version="1" units="mm" author="Иванов">
  <page number="3" title="Ячейка" width="120" height="80" background="#f0f0f0" grid="5">
    <line x1="10" y1="20" x2="110" y2="20" color="#0050b4" width="1.2" dash="dash"/>
    <polyline points="1,2 3,4 5,6" color="черный" width="0.3"/>
    <legacy-layer  id = "7"><x a='1'>текст &amp; ещё</x><!-- комментарий --></legacy-layer>
    <object counter="17" type="выключатель" x="60" y="40" w="6" h="12" rotation="90" name="Q1" owner="РЗА">
      <property name="положение">включен</property>
      <property name="подпись.цвет">зеленый</property>
      <binding kind="old"/>
    </object>
    <text x="5" y="5" size="3" align="center" bold="1" color="красный">Заголовок &lt;1&gt;</text>
  </page>
  <notes>оставить как есть</notes>
</sde>
)";

TEST(SdeDocument, ReadsPagesGraphicsAndObjects) {
    const sde_scheme s = read_sde(sample, "a.sde");
    ASSERT_EQ(s.pages.size(), 1u);
    const sde_page& p = s.pages[0];
    EXPECT_EQ(p.number, 3);
    EXPECT_EQ(p.title, "Ячейка");
    EXPECT_EQ(p.width, 120);
    EXPECT_EQ(p.background, "#f0f0f0");
    ASSERT_EQ(p.shapes.size(), 3u);
    EXPECT_EQ(p.shapes[0].dash, "dash");
    EXPECT_EQ(p.shapes[1].coords, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(p.shapes[2].content, "Заголовок <1>");
    ASSERT_EQ(p.objects.size(), 1u);
    const sde_object& o = p.objects[0];
    EXPECT_EQ(o.counter, 17);
    EXPECT_EQ(o.type_name, "выключатель");
    EXPECT_EQ(o.rotation, 90);
    EXPECT_EQ(o.page, 3);
    EXPECT_EQ(o.value("дисп_имя"), "Q1");
    EXPECT_EQ(o.value("положение"), "включен");
    EXPECT_EQ(o.value("подпись.цвет"), "зеленый");
}

TEST(SdeDocument, RoundTripKeepsUnknownContent) {
    const std::string written = write_sde(read_sde(sample, "a.sde"));
    // Unknown elements come back byte for byte, in their place.
    EXPECT_NE(
        written.find(
            R"(<legacy-layer  id = "7"><x a='1'>текст &amp; ещё</x><!-- комментарий --></legacy-layer>)"),
        std::string::npos)
        << written;
    EXPECT_NE(written.find(R"(<binding kind="old"/>)"), std::string::npos);
    EXPECT_NE(written.find("<notes>оставить как есть</notes>"), std::string::npos);
    // Unknown attributes are kept with their values.
    EXPECT_NE(written.find(R"(author="Иванов")"), std::string::npos);
    EXPECT_NE(written.find(R"(grid="5")"), std::string::npos);
    EXPECT_NE(written.find(R"(owner="РЗА")"), std::string::npos);
    // Order of the page's items is kept: line, polyline, unknown layer, object, text.
    const auto line = written.find("<line"), poly = written.find("<polyline"),
               layer = written.find("<legacy-layer"), object = written.find("<object"),
               text = written.find("<text");
    EXPECT_LT(line, poly);
    EXPECT_LT(poly, layer);
    EXPECT_LT(layer, object);
    EXPECT_LT(object, text);
    // A second round changes nothing.
    EXPECT_EQ(write_sde(read_sde(written, "b.sde")), written);
}

TEST(SdeDocument, OtherUnitsAreReadAndWrittenAsMillimetres) {
    const std::string text =
        R"(<sde version="1" units="cm"><page number="1" width="12.5" height="8">)"
        R"(<object counter="1" type="лампа" x="1.5" y="2" w="0.7" h="0.7"/></page></sde>)";
    const sde_scheme s = read_sde(text, "cm.sde");
    EXPECT_DOUBLE_EQ(s.pages[0].width, 125);
    EXPECT_DOUBLE_EQ(s.pages[0].objects[0].x, 15);
    const std::string written = write_sde(s);
    EXPECT_NE(written.find(R"(units="mm")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"(width="125")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"(x="15")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"(w="7")"), std::string::npos) << written;
    EXPECT_EQ(write_sde(read_sde(written, "mm.sde")), written);
}

std::string failure(const std::string& text) {
    try {
        read_sde(text, "bad.sde");
    } catch (const nx_exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SdeDocument, BrokenFilesNameFileLineAndColumn) {
    EXPECT_EQ(failure("это не XML"), "bad.sde: строка 1, столбец 1: синтаксическая ошибка XML");
    EXPECT_EQ(failure(""),
              "bad.sde: строка 1, столбец 1: файл пуст или не содержит ни одного элемента XML");
    EXPECT_EQ(failure("<sde version=\"1\">\n  <page number=\"1\">\n"),
              "bad.sde: строка 3, столбец 1: файл обрывается: не все элементы закрыты");
    EXPECT_EQ(
        failure("<root/>"),
        "bad.sde: строка 1, столбец 1: это не файл схемы: корневой элемент <root>, а нужен <sde>");
    EXPECT_EQ(failure("<?xml version=\"1.0\"?>\n<sde version=\"2\"/>"),
              "bad.sde: строка 2, столбец 1: версия файла схемы \"2\" не поддерживается (нужна 1)");
    EXPECT_EQ(failure("<sde/>"),
              "bad.sde: строка 1, столбец 1: не указана версия файла схемы (атрибут version)");
    EXPECT_EQ(failure("<sde version=\"1\" units=\"px\"/>"),
              "bad.sde: строка 1, столбец 1: неизвестные единицы \"px\" (допустимы mm, cm, in)");
    EXPECT_EQ(
        failure(
            "<sde version=\"1\">\n<page number=\"1\">\n  <object type=\"лампа\"/>\n</page></sde>"),
        "bad.sde: строка 3, столбец 3: не указан счетчик объекта (атрибут counter)");
    EXPECT_EQ(
        failure("<sde version=\"1\">\n<page number=\"1\">\n<object counter=\"5\" type=\"лампа\"/>\n"
                "<object counter=\"5\" type=\"табло\"/>\n</page></sde>"),
        "bad.sde: строка 4, столбец 1: счетчик 5 уже есть у другого объекта");
    // Counters are unique in the file, not only on a page.
    EXPECT_EQ(
        failure("<sde version=\"1\"><page number=\"1\"><object counter=\"5\" type=\"a\"/></page>\n"
                "<page number=\"2\"><object counter=\"5\" type=\"a\"/></page></sde>"),
        "bad.sde: строка 2, столбец 18: счетчик 5 уже есть у другого объекта");
    EXPECT_EQ(failure("<sde version=\"1\"><page number=\"1\"><object counter=\"x1\" "
                      "type=\"a\"/></page></sde>"),
              "bad.sde: строка 1, столбец 35: атрибут counter: \"x1\" не число");
    EXPECT_EQ(failure("<sde version=\"1\"><page number=\"1\"><object counter=\"1\" type=\"a\" "
                      "rotation=\"45\"/></page></sde>"),
              "bad.sde: строка 1, столбец 35: поворот \"45\": допустимы 0, 90, 180 и 270");
    EXPECT_EQ(
        failure("<sde version=\"1\"><page number=\"1\" width=\"-3\"/></sde>"),
        "bad.sde: строка 1, столбец 18: размер страницы должен быть больше нуля и не больше 100 м");
    // Entities could make a small file huge; expat names the place where the declaration ends.
    const std::string entity = failure("<!DOCTYPE sde [<!ENTITY a \"aaaa\">]><sde version=\"1\"/>");
    EXPECT_EQ(entity.rfind("bad.sde: строка 1, столбец ", 0), 0u) << entity;
    EXPECT_NE(entity.find(": объявления сущностей в файле схемы не допускаются"),
              std::string::npos);
}

// Every seed of the fuzz target either reads or fails with a message; what reads survives a
// round trip unchanged.
TEST(SdeDocument, FuzzCorpusReadsOrFailsCleanly) {
    const auto dir = std::filesystem::path(SOURCE_ROOT) / "fuzz" / "corpus" / "sde";
    int files = 0, readable = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++files;
        const std::string bytes = ilktest::read_bytes(entry.path().string());
        try {
            const std::string once = write_sde(read_sde(bytes, "seed"));
            EXPECT_EQ(write_sde(read_sde(once, "seed")), once) << entry.path();
            ++readable;
        } catch (const nx_exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind("seed: строка ", 0), 0u) << e.what();
        }
    }
    EXPECT_GE(files, 8);
    EXPECT_GE(readable, 2);
}

} // namespace
