#include "base/nx_exception.h"
#include "base/nx_inixml.h"
#include "base/nx_xml_writer.h"
#include "platform/station.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace nxkit;

namespace {

// Writes every notification as one line, so a test compares the whole conversation at once.
class recording_client : public nx_xml_client {
public:
    void on_start(const nx_xml_element& e) override {
        std::string line = "start " + e.path;
        for (const auto& [key, value] : e.attributes)
            line += " " + key + "=" + value;
        log.push_back(line);
        elements.push_back(e);
    }
    void on_text(const nx_xml_element& e) override {
        log.push_back("text " + e.name + "[" + e.text + "]");
    }
    void on_end(const nx_xml_element& e) override {
        log.push_back("end " + e.path);
        elements.push_back(e);
    }

    std::vector<std::string> log;
    std::vector<nx_xml_element> elements;
};

using lines = std::vector<std::string>;

std::string parse_error(const std::string& doc) {
    nx_inixml xml(doc);
    recording_client client;
    EXPECT_FALSE(xml.parse("", client));
    EXPECT_EQ(xml.text(), doc);
    return xml.error();
}

} // namespace

TEST(XmlDocument, MissingOrEmptyFileStartsWithTemplate) {
    std::string file = exe_dir() + "x.ini";
    nx_inixml missing("x.ini", true);
    EXPECT_EQ(missing.path(), file);
    EXPECT_EQ(missing.text(), "<ini>\r\n</ini>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file), "<ini>\r\n</ini>\r\n");

    // An empty file is replaced by the template given, stored in Windows-1251.
    ilktest::write_bytes(file, "");
    nx_inixml empty("x.ini", true, "<кп>\r\n</кп>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file), "<\xEA\xEF>\r\n</\xEA\xEF>\r\n");
    EXPECT_EQ(empty.text(), "<\xEA\xEF>\r\n</\xEA\xEF>\r\n");

    // An existing file is read as it stands.
    ilktest::write_bytes(file, "<a b=\"\xC0\"/>");
    EXPECT_EQ(nx_inixml("x.ini", true).text(), "<a b=\"\xC0\"/>");

    // No name: the settings file beside the executable; a name with a folder: as given.
    std::remove((exe_path() + ".ini").c_str()); // other suites may have left settings behind
    EXPECT_EQ(nx_inixml("", true).path(), exe_path() + ".ini");
    EXPECT_EQ(ilktest::read_bytes(exe_path() + ".ini"), "<ini>\r\n</ini>\r\n");
    ilktest::temp_dir dir;
    nx_inixml elsewhere(dir.path() + "y.xml", true);
    EXPECT_EQ(ilktest::read_bytes(dir.path() + "y.xml"), "<ini>\r\n</ini>\r\n");
}

TEST(XmlDocument, FileThatCannotBeOpenedOrReadIsLeftAlone) {
    ilktest::temp_dir dir;
    auto failure = [](const std::string& name) {
        try {
            nx_inixml xml(name, true);
        } catch (const nx_exception& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    auto starts = [](const std::string& text, const std::string& head) {
        return text.rfind(head, 0) == 0;
    };

    std::string missing_folder = dir.path() + "no/such.ini";
    std::string text = failure(missing_folder);
    EXPECT_TRUE(starts(text, "не удалось открыть файл " + missing_folder + ". GetLastError: "))
        << text;

    text = failure(dir.path());
    EXPECT_TRUE(starts(text, "не удалось прочитать файл " + dir.path() + ". GetLastError: "))
        << text;

    // Only a missing file is created: any other failure must not put the template in its place.
    std::string loop = dir.path() + "loop.ini";
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    text = failure(loop);
    EXPECT_TRUE(starts(text, "не удалось открыть файл " + loop + ". GetLastError: ")) << text;
    struct stat st {};
    ASSERT_EQ(::lstat(loop.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(XmlDocument, UnreadableFileIsNotReplaced) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    ilktest::temp_dir dir;
    std::string locked = dir.path() + "locked.ini";
    ilktest::write_bytes(locked, "<keep/>");
    ::chmod(locked.c_str(), 0);
    EXPECT_THROW(nx_inixml(locked, true), nx_exception);
    ::chmod(locked.c_str(), 0644);
    EXPECT_EQ(ilktest::read_bytes(locked), "<keep/>");
}

TEST(XmlDocument, SetElementInsertsThenReplacesWithItsLineBreak) {
    std::string file = exe_dir() + "set.ini";
    ilktest::write_bytes(file, "<struct>\r\n</struct>\r\n");
    nx_inixml xml("set.ini", true);

    xml.set_element("struct/REFs", "<REFs/>\r\n");
    EXPECT_EQ(xml.text(), "<struct>\r\n<REFs/>\r\n</struct>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file), "<struct>\r\n<REFs/>\r\n</struct>\r\n");

    xml.set_element("struct/REFs", "<REFs n=\"2\">\r\n</REFs>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file), "<struct>\r\n<REFs n=\"2\">\r\n</REFs>\r\n</struct>\r\n");

    // Only the first of two equal paths is replaced; a longer name is another element.
    nx_inixml doc("<s><REFsX/><REFs>1</REFs>\r\n\t <REFs>2</REFs></s>");
    doc.set_element("s/REFs", "<REFs>3</REFs>");
    EXPECT_EQ(doc.text(), "<s><REFsX/><REFs>3</REFs><REFs>2</REFs></s>");
    EXPECT_EQ(doc.path(), "");

    // An empty parent is opened up rather than followed by its new child.
    nx_inixml empty("<r>\r\n<кп/>\r\n</r>");
    empty.set_element("r/кп/ф", "<ф/>");
    EXPECT_EQ(empty.text(), "<r>\r\n<\xEA\xEF><\xF4/></\xEA\xEF>\r\n</r>");

    // The root element itself, at offset 0, can be replaced as well.
    doc.set_element("s", "<t/>");
    EXPECT_EQ(doc.text(), "<t/>");
}

TEST(XmlDocument, FailedSaveKeepsTheText) {
    auto dir = std::make_unique<ilktest::temp_dir>();
    std::string file = dir->path() + "gone.ini";
    nx_inixml xml(file, true);
    dir.reset();
    try {
        xml.set_element("ini/a", "<a/>");
        FAIL() << "no exception";
    } catch (const nx_exception& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("не удалось открыть файл " + file + ". GetLastError: ", 0),
            0u)
            << e.what();
    }
    EXPECT_EQ(xml.text(), "<ini>\r\n</ini>\r\n");
}

TEST(XmlDocument, SetElementWithoutPlaceOrOnBrokenTextChangesNothing) {
    std::string file = exe_dir() + "noplace.ini";
    ilktest::write_bytes(file, "<struct>\r\n</struct>\r\n");
    nx_inixml xml("noplace.ini", true);
    EXPECT_THROW(xml.set_element("other/REFs", "<REFs/>"), nx_exception);
    EXPECT_THROW(xml.set_element("REFs", "<REFs/>"), nx_exception);
    EXPECT_EQ(xml.text(), "<struct>\r\n</struct>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file), "<struct>\r\n</struct>\r\n");

    nx_inixml broken("<struct>\r\n<a>\r\n</struct>");
    try {
        broken.set_element("struct/a", "<a/>");
        FAIL() << "no exception";
    } catch (const nx_exception& e) {
        EXPECT_STREQ(e.what(), "Parse error at line 3: mismatched tag");
    }
    EXPECT_EQ(broken.text(), "<struct>\r\n<a>\r\n</struct>");
}

TEST(XmlDocument, CyrillicIsWindows1251OnDiskAndUtf8AtTheClient) {
    std::string file = exe_dir() + "cyr.ini";
    // <?xml version="1.0" encoding="windows-1251"?><Щит ключ="Вкл №1">текст</Щит>
    ilktest::write_bytes(file, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
                               "<\xD9\xE8\xF2 \xEA\xEB\xFE\xF7=\"\xC2\xEA\xEB \xB9"
                               "1\">\xF2\xE5\xEA\xF1\xF2</\xD9\xE8\xF2>\r\n");
    nx_inixml xml("cyr.ini", true);
    recording_client client;
    ASSERT_TRUE(xml.parse("", client)) << xml.error();
    EXPECT_EQ(client.log, (lines{"start Щит ключ=Вкл №1", "text Щит[текст]", "end Щит"}));
    EXPECT_EQ(client.elements[0].attr("ключ"), "Вкл №1");

    // A declaration of another encoding does not change how the bytes are read.
    nx_inixml utf8_declared("<?xml version=\"1.0\" encoding=\"UTF-8\"?><А Б=\"В\"/>");
    recording_client second;
    ASSERT_TRUE(utf8_declared.parse("", second)) << utf8_declared.error();
    EXPECT_EQ(second.log, (lines{"start А Б=В", "end А"}));

    xml.set_element("Щит/Ячейка", "<Ячейка имя=\"Ё\"/>\r\n");
    EXPECT_EQ(ilktest::read_bytes(file),
              "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
              "<\xD9\xE8\xF2 \xEA\xEB\xFE\xF7=\"\xC2\xEA\xEB \xB9"
              "1\">\xF2\xE5\xEA\xF1\xF2<\xDF\xF7\xE5\xE9\xEA\xE0 \xE8\xEC\xFF=\"\xA8\"/>\r\n"
              "</\xD9\xE8\xF2>\r\n");
}

TEST(XmlDocument, OffsetsPointAtTheStoredBytes) {
    // Two-byte UTF-8 letters are one byte each in the text: offsets must count those.
    nx_inixml xml("<Щит>\r\n  <Ячейка а=\"б\"/>\r\n  <Шина>ф</Шина>\r\n</Щит>\r\n");
    const std::string& t = xml.text();
    recording_client client;
    ASSERT_TRUE(xml.parse("", client));
    ASSERT_EQ(client.elements.size(), 6u);

    auto at = [&](std::size_t from, std::size_t to) { return t.substr(from, to - from); };
    const nx_xml_element& root_start = client.elements[0];
    EXPECT_EQ(root_start.start, 0u);
    EXPECT_EQ(at(root_start.start, root_start.after), "<\xD9\xE8\xF2>");
    EXPECT_EQ(root_start.end_tag, 0u);

    // An empty element has no end tag: its end is where its only tag ends.
    const nx_xml_element& cell_start = client.elements[1];
    const nx_xml_element& cell_end = client.elements[2];
    EXPECT_EQ(at(cell_start.start, cell_start.after), "<\xDF\xF7\xE5\xE9\xEA\xE0 \xE0=\"\xE1\"/>");
    EXPECT_EQ(cell_end.end_tag, cell_start.after);
    EXPECT_EQ(cell_end.after, cell_start.after);

    const nx_xml_element& bus_start = client.elements[3];
    const nx_xml_element& bus_end = client.elements[4];
    EXPECT_EQ(at(bus_start.start, bus_start.after), "<\xD8\xE8\xED\xE0>");
    EXPECT_EQ(at(bus_end.end_tag, bus_end.after), "</\xD8\xE8\xED\xE0>");
    EXPECT_EQ(bus_end.start, bus_start.start);

    const nx_xml_element& root_end = client.elements[5];
    EXPECT_EQ(at(root_end.end_tag, root_end.after), "</\xD9\xE8\xF2>");
    EXPECT_EQ(root_end.after, t.size() - 2);
}

TEST(XmlParse, ReportsBrokenDocumentsWithLineAndMessage) {
    EXPECT_EQ(parse_error("<a>\r\n<b></b>\r\n"), "Parse error at line 3: no element found");
    EXPECT_EQ(parse_error("just text"), "Parse error at line 1: syntax error");
    EXPECT_EQ(parse_error(""), "Parse error at line 1: no element found");
    EXPECT_EQ(parse_error("<a>\n\n<b></c></a>"), "Parse error at line 3: mismatched tag");
    EXPECT_EQ(parse_error("<a x=\"1\" x=\"2\"/>"), "Parse error at line 1: duplicate attribute");

    // A later good parse keeps the message of the last failed one.
    nx_inixml xml("<a>");
    recording_client client;
    EXPECT_FALSE(xml.parse("", client));
    EXPECT_EQ(xml.error(), "Parse error at line 1: no element found");
}

TEST(XmlParse, NotificationOrderAndTextTrimming) {
    nx_inixml xml("<a>\r\n"
                  "  <b k=\"&lt;1&gt;\">\r\n    indented\r\n   </b>\r\n"
                  "  <c> \t\r\n\r\n  x y \t\r\n</c>\r\n"
                  "  <d>  \r\n \t </d><e/>tail<![CDATA[<cd>]]>\r\n"
                  "</a>");
    recording_client client;
    ASSERT_TRUE(xml.parse("", client)) << xml.error();
    EXPECT_EQ(client.log, (lines{
                              "start a",
                              "start a/b k=<1>",
                              "text b[    indented]",
                              "end a/b",
                              "start a/c",
                              "text c[  x y]",
                              "end a/c",
                              "start a/d",
                              "end a/d",
                              "start a/e",
                              "end a/e",
                              // The parent's text is what followed the last start tag.
                              "text a[tail<cd>]",
                              "end a",
                          }));
}

TEST(XmlParse, FilterIsATextualPrefixOfThePath) {
    nx_inixml xml("<struct><a/><REFs><r/></REFs><REFsX><x/></REFsX><b>t</b>"
                  "<REFs><s/></REFs></struct>");
    recording_client client;
    ASSERT_TRUE(xml.parse("struct/REFs", client));
    EXPECT_EQ(client.log, (lines{
                              "start struct/REFs",
                              "start struct/REFs/r",
                              "end struct/REFs/r",
                              "end struct/REFs",
                              "start struct/REFsX",
                              "start struct/REFsX/x",
                              "end struct/REFsX/x",
                              "end struct/REFsX",
                              // Only the end of the filter's own path closes the range.
                              "start struct/b",
                              "text b[t]",
                              "end struct/b",
                              "start struct/REFs",
                              "start struct/REFs/s",
                              "end struct/REFs/s",
                              "end struct/REFs",
                          }));

    recording_client nothing;
    ASSERT_TRUE(xml.parse("struct/none", nothing));
    EXPECT_TRUE(nothing.log.empty());
}

TEST(XmlParse, ClientExceptionsStopTheParse) {
    struct throwing_client : recording_client {
        bool other = false;
        void on_start(const nx_xml_element& e) override {
            recording_client::on_start(e);
            if (e.name == "bad") {
                if (other)
                    throw std::runtime_error("boom");
                throw nx_exception("ошибка в элементе " + e.attr("id"));
            }
        }
    };
    const std::string doc = "<a><ok/><bad id=\"7\"/><after/></a>";
    nx_inixml xml(doc);

    throwing_client client;
    EXPECT_FALSE(xml.parse("", client));
    EXPECT_EQ(xml.error(), "ошибка в элементе 7");
    // Nothing after the failing element reaches the client, not even the end of <bad/>.
    EXPECT_EQ(client.log, (lines{"start a", "start a/ok", "end a/ok", "start a/bad id=7"}));

    throwing_client other;
    other.other = true;
    EXPECT_FALSE(xml.parse("", other));
    EXPECT_EQ(xml.error(), " Неожиданная ошибка");
    EXPECT_EQ(xml.text(), doc);
}

TEST(XmlElement, AttributeAccessors) {
    nx_xml_element e;
    e.attributes = {{"n", " 42abc"}, {"neg", "-7"},     {"plus", "+5"}, {"word", "abc"},
                    {"d", "2.5e1x"}, {"comma", "3,75"}, {"empty", ""}};
    EXPECT_TRUE(e.has_attr("empty"));
    EXPECT_FALSE(e.has_attr("absent"));
    EXPECT_EQ(e.attr("n"), " 42abc");
    EXPECT_EQ(e.attr("absent"), "");
    EXPECT_EQ(e.attr_int("n"), 42);
    EXPECT_EQ(e.attr_int("neg"), -7);
    EXPECT_EQ(e.attr_int("plus"), 5);
    EXPECT_EQ(e.attr_int("word"), 0);
    EXPECT_EQ(e.attr_int("absent"), 0);
    EXPECT_EQ(e.attr_int("d"), 2);
    EXPECT_DOUBLE_EQ(e.attr_double("d"), 25.0);
    EXPECT_DOUBLE_EQ(e.attr_double("comma"), 3.0);
    EXPECT_DOUBLE_EQ(e.attr_double("word"), 0.0);
}

TEST(XmlWriter, DefaultOutput) {
    nx_xml_writer w;
    w.begin("a");
    w.attribute("x", "1");
    w.end("a");
    EXPECT_EQ(w.result(), "<a\r\n  x=\"1\"\r\n/>\r\n");
    EXPECT_THROW(w.attribute("y", "2"), std::logic_error);

    nx_xml_writer t("<?xml?>");
    t.begin("a");
    EXPECT_THROW((t.text("v"), t.attribute("y", "2")), std::logic_error);
    t.end("a");
    EXPECT_EQ(t.result(), "<?xml?><a>v\r\n</a>\r\n");
}

TEST(XmlWriter, NestedElementsWithIndentation) {
    nx_xml_writer w;
    w.set_indent(2);
    w.begin("a");
    w.attribute("n", "1");
    w.begin("b");
    w.text("x");
    w.end("b");
    w.begin("c");
    w.end("c");
    w.end("a");
    EXPECT_EQ(w.result(), "  <a\r\n  n=\"1\">\r\n"
                          "    <b>x\r\n    </b>\r\n"
                          "    <c\r\n/>\r\n"
                          "  </a>\r\n");

    // Without indentation every tag starts at the beginning of its line.
    nx_xml_writer plain;
    plain.set_indent(2);
    plain.set_indent(-1);
    plain.begin("a");
    plain.begin("b");
    plain.end("b");
    plain.end("a");
    EXPECT_EQ(plain.result(), "<a>\r\n<b\r\n/>\r\n</a>\r\n");
}

TEST(XmlWriter, GuardsSwitchModesForAScope) {
    nx_xml_writer w;
    w.set_indent(0);
    {
        nx_xml_element_guard root(w, "r");
        {
            nx_xml_attributes_on_lines_guard same_line(w, false);
            nx_xml_element_guard item(w, "i");
            w.attribute("a", "1");
            w.attribute("b", "2");
        }
        {
            nx_xml_pretty_guard compact(w, false);
            nx_xml_element_guard item(w, "j");
            w.attribute("c", "3");
            nx_xml_element_guard inner(w, "k");
            w.text("v");
        }
        EXPECT_TRUE(w.pretty());
        EXPECT_TRUE(w.attributes_on_lines());
    }
    EXPECT_EQ(w.result(), "<r>\r\n"
                          "  <i a=\"1\" b=\"2\"/>\r\n"
                          "<j c=\"3\"><k>v</k></j>"
                          "</r>\r\n");
}

TEST(XmlWriter, EscapedValuesReadBackUnchanged) {
    const std::string value = "a<b & \"c\" 'd' >";
    EXPECT_EQ(xml_escape(value), "a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;");

    nx_xml_writer w;
    w.begin("v");
    w.attribute("x", xml_escape(value));
    w.attribute("y", xml_escape("Ток, А"));
    w.text(xml_escape(value));
    w.end("v");

    nx_inixml xml(w.result());
    recording_client client;
    ASSERT_TRUE(xml.parse("", client)) << xml.error();
    ASSERT_EQ(client.elements.size(), 2u);
    EXPECT_EQ(client.elements[0].attr("x"), value);
    EXPECT_EQ(client.elements[0].attr("y"), "Ток, А");
    EXPECT_EQ(client.elements[1].text, value);
}
