#ifdef SCHEME_TOOL_BINARY

#include "tests/scheme_control/qt_environment.h"
#include "base/cp1251.h"
#include "tests/support/test_support.h"

#include <QImage>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <cstdio>
#include <sys/wait.h>

namespace {

struct run_result {
    int status = -1;
    std::string out;
};

// Runs the tool with a shell command line; standard error joins the output.
run_result tool(const std::string& arguments) {
    run_result r;
    const std::string command =
        std::string("QT_QPA_PLATFORM=offscreen ") + SCHEME_TOOL_BINARY + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string demo = std::string(SOURCE_ROOT) + "/demo/SDE/Северная.sde";

TEST(SchemeTool, ChecksListsAndRefusesBrokenFiles) {
    const run_result ok = tool("check '" + demo + "'");
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_NE(ok.out.find(demo + ": ошибок нет; страниц 3, объектов 63"), std::string::npos)
        << ok.out;

    ilktest::temp_dir dir;
    ilktest::write_bytes(dir.path() + "bad.sde",
                         "<sde version=\"1\">\n<page number=\"1\">\n<object type=\"лампа\"/>");
    const run_result bad = tool("check " + dir.path() + "bad.sde");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find(dir.path() +
                           "bad.sde: строка 3, столбец 1: не указан счетчик объекта (атрибут "
                           "counter)"),
              std::string::npos)
        << bad.out;

    const run_result list = tool("list '" + demo + "'");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("1\t1\tвыключатель\tQ1\t80\t46\tположение=включен\n"),
              std::string::npos)
        << list.out;
}

TEST(SchemeTool, CheckListsEachFindingAndFailsOnAny) {
    ilktest::temp_dir dir;
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sde version=\"1\">\n"
                             "<page number=\"1\">\n"
                             "<object counter=\"1\" type=\"шина\" x=\"20\" y=\"5\" w=\"30\" "
                             "h=\"1\" name=\"1СШ\"/>\n"
                             "<object counter=\"2\" type=\"заземление\" x=\"10\" y=\"20\" "
                             "name=\"З1\"/>\n"
                             "<polyline points=\"10,5 10,15\" from=\"1:@5\" to=\"2:1\"/>\n";
    ilktest::write_bytes(dir.path() + "good.sde", head + "</page>\n</sde>\n");
    run_result r = tool("check " + dir.path() + "good.sde");
    EXPECT_EQ(r.status, 0) << r.out;
    // Standard error joins the output (Qt may say something about its runtime folder).
    EXPECT_NE(r.out.find(dir.path() + "good.sde: ошибок нет; страниц 1, объектов 2\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("выводы не проверены"), std::string::npos) << r.out;

    r = tool("nodes " + dir.path() + "good.sde");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1\t1\t1:@ 2:1\n"), std::string::npos) << r.out;

    ilktest::write_bytes(dir.path() + "bad.sde",
                         head + "<object counter=\"3\" type=\"выключатель\" x=\"40\" y=\"30\" "
                                "name=\"З1\"/>\n<object counter=\"4\" type=\"самовар\"/>\n"
                                "</page>\n</sde>\n");
    r = tool("check " + dir.path() + "bad.sde");
    EXPECT_EQ(r.status, 1) << r.out;
    const std::string f = dir.path() + "bad.sde: ";
    EXPECT_NE(r.out.find(f + "страница 1: счетчик 3 (З1): вывод 1 не подключен\n" + f +
                         "страница 1: счетчик 3 (З1): вывод 2 не подключен\n" + f +
                         "страница 1: счетчик 3 (З1): диспетчерское имя \"З1\" уже есть у "
                         "объекта со счетчиком 2\n" +
                         f + "страница 1: счетчик 4: неизвестный тип \"самовар\"\n" + f +
                         "ошибок 4; страниц 1, объектов 4\n"),
              std::string::npos)
        << r.out;

    // Two objects with one counter: the reader refuses the file.
    ilktest::write_bytes(dir.path() + "twice.sde",
                         head + "<object counter=\"2\" type=\"лампа\"/>\n</page>\n</sde>\n");
    r = tool("check " + dir.path() + "twice.sde");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("счетчик 2 уже есть у другого объекта"), std::string::npos) << r.out;
}

TEST(SchemeTool, CheckAgainstTheConfiguration) {
    ilktest::temp_dir dir;
    const std::string refs = dir.path() + "refs.ini";
    ilktest::write_bytes(refs, ilktest::read_bytes(std::string(SOURCE_ROOT) + "/demo/refs.ini"));
    ilktest::write_bytes(dir.path() + "Северная.sde", ilktest::read_bytes(demo));
    // The tool runs in the temporary station folder, not in the tests' own.
    const std::string home = std::getenv("ILKSTATION_HOME") ? std::getenv("ILKSTATION_HOME") : "";
    ::setenv("ILKSTATION_HOME", dir.path().c_str(), 1);
    struct restore {
        std::string value;
        ~restore() { ::setenv("ILKSTATION_HOME", value.c_str(), 1); }
    } restore_home{home};
    const std::string f = dir.path() + "Северная.sde: ";
    run_result r = tool("check " + dir.path() + "Северная.sde --refs " + refs);
    // Every object of the demo has its element and every name its signal; the legend page has
    // no wires by design.
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(f + "страница 2: соединения не записаны, выводы не проверены\n" + f +
                         "ошибок нет; страниц 3, объектов 63\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find(f + "страница 1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(f + "страница 3"), std::string::npos) << r.out;

    // An object whose element is gone, and a name no signal has.
    std::string text = ilktest::read_bytes(demo);
    const std::string q5 = "name=\"Q5\"";
    ASSERT_NE(text.find(q5), std::string::npos);
    text.replace(text.find(q5), q5.size(), "name=\"Q55\"");
    const std::string t1 = "counter=\"57\"";
    text.replace(text.find(t1), t1.size(), "counter=\"59\"");
    ilktest::write_bytes(dir.path() + "Северная.sde", text);
    r = tool("check " + dir.path() + "Северная.sde --refs " + refs);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(f + "страница 3: счетчик 52 (Q55): нет сигнала с именем \"Q55\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(f + "страница 3: счетчик 59: нет элемента\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + "элемент со счетчиком 57: нет объекта на схеме\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(f + "страница 3: провод 57:2 — 58:1: нет вывода 57:2\n"),
              std::string::npos)
        << r.out;

    ilktest::write_bytes(dir.path() + "Другая.sde", ilktest::read_bytes(demo));
    r = tool("check " + dir.path() + "Другая.sde --refs " + refs);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(dir.path() + "Другая.sde: в конфигурации " + refs +
                         " нет схемы с файлом Другая.sde\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("счетчик 1 (Q1): нет элемента"), std::string::npos) << r.out;
}

// The demo's bays as the interlock topology reads them: one line per electrical node.
TEST(SchemeTool, DemoBaysHaveTheirElectricalNodes) {
    const run_result r = tool("nodes '" + demo + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string bays;
    for (std::size_t at = 0; at < r.out.size();) {
        const std::size_t end = r.out.find('\n', at);
        const std::string line = r.out.substr(at, end - at + 1);
        // Page 2 is the legend; Qt may say something of its own on the error stream.
        if (line.rfind("1\t", 0) == 0 || line.rfind("3\t", 0) == 0)
            bays += line;
        at = end == std::string::npos ? r.out.size() : end + 1;
    }
    EXPECT_EQ(bays, "1\t1\t1:1 2:2\n"        // QS1 – Q1
                    "1\t2\t1:2 3:1\n"        // Q1 – QS2
                    "1\t3\t2:1 40:@\n"       // 1СШ – QS1
                    "1\t4\t3:2 4:1 30:1\n"   // QS2, QSG1 and the line Л-1
                    "3\t1\t50:@ 51:1\n"      // 2СШ – QS5
                    "3\t2\t51:2 52:1 54:1\n" // QS5, Q5 and QSG5
                    "3\t3\t52:2 53:1\n"      // Q5 – TA5
                    "3\t4\t53:2 55:1 56:1\n" // TA5, QS6 and QSG6
                    "3\t5\t55:2 57:1\n"      // QS6 – Т-1
                    "3\t6\t57:2 58:1\n");    // Т-1 – the 10 kV incomer
}

TEST(SchemeTool, RendersAPageWithPropertiesAndStyles) {
    ilktest::temp_dir dir;
    const std::string png = dir.path() + "p1.png";
    // Q1 (counter 1) at (80, 46) units: pixel (640, 368) at scale 1.
    run_result r = tool("render '" + demo + "' --page 1 --out " + png);
    ASSERT_EQ(r.status, 0) << r.out;
    QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(1280, 800));
    EXPECT_TRUE(ilktest::near(image.pixelColor(640, 368), QColor(220, 0, 0)));

    r = tool("render '" + demo + "' --page 1 --out " + png +
             " --set 1:положение=отключен --style 1:+я18_not_ref");
    ASSERT_EQ(r.status, 0) << r.out;
    image.load(QString::fromStdString(png));
    EXPECT_TRUE(ilktest::near(image.pixelColor(640, 368), QColor(Qt::white)));
    EXPECT_TRUE(ilktest::near(image.pixelColor(612, 368), QColor(255, 255, 100)));

    r = tool("render '" + demo + "' --page 4 --out " + png);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("в схеме нет страницы 4"), std::string::npos);

    const std::string pdf = dir.path() + "p2.pdf";
    r = tool("render '" + demo + "' --page 2 --out " + pdf);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ilktest::read_bytes(pdf).rfind("%PDF", 0), 0u);
}

bool has(const run_result& r, const std::string& part) {
    return r.out.find(part) != std::string::npos;
}

// A styles file that cannot be read or holds no styles, an unknown style and an image too
// large used to draw with the built-in styles, or print painter warnings, and exit 0 or with
// "не удалось записать".
TEST(SchemeTool, FailuresAreReportedAsFailures) {
    ilktest::temp_dir dir;
    const std::string png = dir.path() + "out.png";
    const std::string render = "render '" + demo + "' --page 1 --out " + png;

    run_result r = tool(render + " --styles " + dir.path() + "none.XSTL");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "не удалось прочитать файл стилей '" + dir.path() + "none.XSTL'")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(png));

    ilktest::write_bytes(dir.path() + "junk.XSTL", "это не библиотека стилей\n");
    r = tool(render + " --styles " + dir.path() + "junk.XSTL");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "в файле стилей '" + dir.path() + "junk.XSTL' нет ни одного стиля"))
        << r.out;
    r = tool("legend --out " + png + " --styles " + dir.path() + "junk.XSTL");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(std::filesystem::exists(png));

    ilktest::write_bytes(dir.path() + "broken.XSTL",
                         "<Styles>\n<Style Name=\"a\">\n  <Border>\n</Style>\n</Styles>\n");
    r = tool(render + " --styles " + dir.path() + "broken.XSTL");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "файл стилей '" + dir.path() + "broken.XSTL' прочитан с ошибками")) << r.out;

    r = tool(render + " --style 1:+нет_такого");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "стиля \"нет_такого\" нет в библиотеке стилей")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(png));

    // 90 km of page at 20 times: no memory for it, and the tool says so.
    ilktest::write_bytes(dir.path() + "huge.sde",
                         "<sde version=\"1\">\n<page number=\"1\" width=\"90000\" "
                         "height=\"90000\"/>\n</sde>\n");
    r = tool("render " + dir.path() + "huge.sde --scale 20 --out " + png);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, "изображение 14400000 x 14400000 пикселей не помещается в памяти")) << r.out;
    EXPECT_FALSE(has(r, "не удалось записать")) << r.out;
    EXPECT_FALSE(has(r, "QPainter")) << r.out;
}

// A Windows-1251 file that says so is read; another declared encoding is refused by name.
TEST(SchemeTool, DeclaredEncodingsAreReadOrRefusedByName) {
    ilktest::temp_dir dir;
    const std::string body = "<sde version=\"1\">\n<page number=\"1\" title=\"Ячейка\">\n"
                             "<object counter=\"7\" type=\"лампа\" x=\"5\" y=\"6\" "
                             "name=\"Готовность\"/>\n</page>\n</sde>\n";
    ilktest::write_bytes(
        dir.path() + "cp.sde",
        nxkit::to_cp1251("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n" + body));
    run_result r = tool("list " + dir.path() + "cp.sde");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r, "1\t7\tлампа\tГотовность\t5\t6\t")) << r.out;

    ilktest::write_bytes(dir.path() + "koi.sde",
                         "<?xml version='1.0' encoding='KOI8-R'?>\n<sde version=\"1\"/>\n");
    r = tool("check " + dir.path() + "koi.sde");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(has(r, dir.path() + "koi.sde: кодировка \"KOI8-R\" не поддерживается")) << r.out;
}

} // namespace

#endif
