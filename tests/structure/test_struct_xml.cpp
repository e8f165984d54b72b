#include "structure_fixture.h"

#include "base/nx_exception.h"

using namespace nxkit;

namespace ilktest {
namespace {

using StructXml = struct_test;

TEST_F(StructXml, SavedSignalsCarryNumberContactAndExpression) {
    load("<ref tp=\"50\" title=\"Оборудование\"/>\r\n"
         "<ref tp=\"40\" title=\"Структура\">\r\n"
         "<ref tp=\"41\" num=\"1\">\r\n"
         "<ref tp=\"42\" num=\"2\" title=\"КП &quot;Север&quot;\">\r\n"
         "<ref tp=\"1\" num=\"7\" ct=\"1\" title=\"Q1\">\r\n"
         "<expr>s1_2_8 &gt; 0 &amp; !i1_2_9</expr>\r\n"
         "</ref>\r\n"
         "<ref tp=\"1\" num=\"8\" ct=\"0\"/>\r\n"
         "<ref tp=\"2\" num=\"9\"><expr>self*2</expr></ref>\r\n"
         "<ref tp=\"2\"/>\r\n"
         "</ref>\r\n"
         "</ref>\r\n"
         "</ref>\r\n"
         "<ref tp=\"80\" title=\"Схемы\"/>\r\n");
    EXPECT_EQ(ts(first_signal).expression(), "s1_2_8 > 0 & !i1_2_9");
    EXPECT_TRUE(ts(first_signal).normally_closed());
    EXPECT_FALSE(ts(second_signal).normally_closed());

    store->save();
    EXPECT_EQ(read_bytes(station_dir() + "refs.ini"),
              to_cp1251("<struct>\r\n"
                        "<REFs version=\"1\">\r\n"
                        "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
                        "  <ref tp=\"40\" cur=\"1\" title=\"Структура\">\r\n"
                        "    <ref tp=\"41\" num=\"1\">\r\n"
                        "      <ref tp=\"42\" title=\"КП &quot;Север&quot;\" num=\"2\">\r\n"
                        "        <ref tp=\"1\" title=\"Q1\" num=\"7\" ct=\"1\">\r\n"
                        "          <expr>s1_2_8 &gt; 0 &amp; !i1_2_9</expr>\r\n"
                        "        </ref>\r\n"
                        "        <ref tp=\"1\" num=\"8\"/>\r\n"
                        "        <ref tp=\"2\" num=\"9\">\r\n"
                        "          <expr>self*2</expr>\r\n"
                        "        </ref>\r\n"
                        "        <ref tp=\"2\" num=\"\"/>\r\n"
                        "      </ref>\r\n"
                        "    </ref>\r\n"
                        "  </ref>\r\n"
                        "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\"/>\r\n"
                        "</REFs>\r\n"
                        "</struct>\r\n"));

    // What was saved reads back the same.
    store->load();
    EXPECT_EQ(ts(first_signal).expression(), "s1_2_8 > 0 & !i1_2_9");
    EXPECT_EQ(ti(third_signal).expression(), "self*2");
    EXPECT_EQ(ti(third_signal).signal_key(), "i1_2_9");
}

TEST_F(StructXml, TheContactParameterDecidesCt) {
    load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"1\" num=\"8\"/>\r\n"
                      "<ref tp=\"1\" num=\"9\" ct=\"1\"/>\r\n"));
    ASSERT_TRUE(ts(first_signal).set_parameter(3, "НормальноЗамкнутый(нз)"));
    ASSERT_TRUE(ts(second_signal).set_parameter(3, "замкнутый"));
    ASSERT_TRUE(ts(third_signal).set_parameter(3, "НормальноРазомкнутый(нр)"));
    store->save();
    std::string saved = from_cp1251(read_bytes(station_dir() + "refs.ini"));
    EXPECT_NE(saved.find("<ref tp=\"1\" num=\"7\" ct=\"1\"/>\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<ref tp=\"1\" num=\"8\" ct=\"1\"/>\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<ref tp=\"1\" num=\"9\"/>\r\n"), std::string::npos) << saved;
}

} // namespace
} // namespace ilktest
