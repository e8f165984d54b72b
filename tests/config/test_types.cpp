#include "tests/config/config_fixture.h"

#include "base/nx_exception.h"

using namespace cfgtest;

TEST(TypesTable, NamesAndChildLists) {
    EXPECT_EQ(type_name(tp_struct_ts), "Телесигнал");
    EXPECT_EQ(type_name(tp_struct_ts, true), "ТС");
    EXPECT_EQ(type_name(tp_dev_ti, true), "ти-м");
    EXPECT_EQ(type_name(tp_dev_101), "IEC 870-5-101 небал.перв.");
    EXPECT_EQ(type_name(tp_ilk_tab, true), "таб.бл.");
    EXPECT_EQ(type_name(tp_group), "Папка");
    EXPECT_EQ(type_name(3), "НЕТ ИМЕНИ ТИПА");
    EXPECT_EQ(type_name(3, true), "НЕТ ИМЕНИ ТИПА");

    EXPECT_EQ(type_children(tp_dev_root), (std::vector<int>{99, 104, 100}));
    EXPECT_EQ(type_children(tp_dev_104), (std::vector<int>{99, 51, 52, 55, 56}));
    EXPECT_EQ(type_children(tp_schema_root), (std::vector<int>{99, 81, 72}));
    EXPECT_EQ(type_children(tp_element), (std::vector<int>{87, 88}));
    EXPECT_TRUE(type_children(tp_struct_ts).empty());
    EXPECT_TRUE(type_children(tp_group).empty());
    EXPECT_TRUE(type_children(12345).empty());
}

TEST(TypesKeys, HelpersAndOrder) {
    EXPECT_EQ(parent_key("D.0000.0003"), "D.0000");
    EXPECT_EQ(parent_key("D"), "");
    EXPECT_EQ(last_key_part("D.0000.0003"), "0003");
    EXPECT_EQ(last_key_part("K"), "K");
    EXPECT_EQ(make_child_key("", "K"), "K");
    EXPECT_EQ(make_child_key("K.0001", "0002"), "K.0001.0002");
    EXPECT_EQ(key_part(7), "0007");
    EXPECT_EQ(key_part(1234), "1234");
    EXPECT_TRUE(key_is_under("D.0001.0002", "D.0001"));
    EXPECT_FALSE(key_is_under("D.00010", "D.0001"));
    EXPECT_FALSE(key_is_under("D.0001", "D.0001"));
    EXPECT_TRUE(key_is_under("D", ""));

    t_ref_buff store;
    for (const char* key : {"D", "D.0009", "D.0010", "D.0001", "D.00010", "D.0001.0000",
                            "D.0001.0000.0002", "D.0002"}) {
        auto folder = std::make_unique<t_group>(store);
        folder->set_key(key);
        store.put(key, std::move(folder));
    }
    std::vector<std::string> order;
    t_refs::cursor c;
    for (bool ok = store.refs().first_under("D", c); ok; ok = store.refs().next_under(c, "D"))
        order.push_back(c->first);
    EXPECT_EQ(order, (std::vector<std::string>{"D.0001", "D.0001.0000", "D.0001.0000.0002",
                                               "D.00010", "D.0002", "D.0009", "D.0010"}));
    std::vector<std::string> under;
    for (t_ref* r : store.refs().under("D.0001"))
        under.push_back(r->key());
    EXPECT_EQ(under, (std::vector<std::string>{"D.0001.0000", "D.0001.0000.0002"}));
    std::vector<std::string> children;
    for (t_ref* r : store.refs().children("D"))
        children.push_back(r->key());
    EXPECT_EQ(children,
              (std::vector<std::string>{"D.0001", "D.00010", "D.0002", "D.0009", "D.0010"}));

    EXPECT_THROW(store.find("D.0003"), nx_exception_ref_not_found);
    EXPECT_EQ(store.get("D.0003"), nullptr);
}

TEST(TypesRef, TextOfNewComponent) {
    EXPECT_EQ(ref_xml(99), "<ref tp=\"99\"/>\r\n");
    EXPECT_EQ(ref_xml(41, "a<\"b\">&'"),
              "<ref tp=\"41\" title=\"a&lt;&quot;b&quot;&gt;&amp;&apos;\"/>\r\n");
}

TEST(TypesRef, BaseOperations) {
    t_ref_buff store;
    register_test_classes(store);
    remove_refs();
    store.load();
    store.insert_xml(
        "D", "<ref tp=\"99\" title=\"Папка 1\"><ref tp=\"104\"><ref tp=\"51\"/></ref></ref>");
    t_ref& folder = store.find("D.0000");
    t_ref& mapping = store.find("D.0000.0000.0000");

    EXPECT_EQ(mapping.display_name(), "Телесигнал однопозиционный");
    EXPECT_EQ(mapping.number(), 0);
    EXPECT_EQ(store.find("D.0000.0000").number(), 0);
    EXPECT_EQ(mapping.full_path_text(),
              "Оборудование / Папка 1 / IEC 870-5-104 / Телесигнал однопозиционный");

    EXPECT_TRUE(mapping.set_parameter(0, "  abc  "));
    EXPECT_EQ(mapping.title(), "abc");
    EXPECT_EQ(mapping.display_name(), "abc");
    std::string value, name;
    ASSERT_TRUE(mapping.get_parameter(0, value, name));
    EXPECT_EQ(name, "Описание");
    EXPECT_EQ(value, "abc");
    EXPECT_FALSE(mapping.get_parameter(1, value, name));
    EXPECT_FALSE(mapping.set_parameter(1, "x"));
    choice_list choices;
    EXPECT_EQ(mapping.parameter_editor(0, choices), editor_free_text);
    EXPECT_EQ(mapping.export_name(), "abc");
    std::string arg;
    EXPECT_EQ(mapping.command(true, 0, arg), 0);

    int icon = -1, overlay = -1, state = -1;
    mapping.tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 0);
    EXPECT_EQ(state, 0);
    mapping.set_flag(true, flag_locked);
    mapping.tree_images(icon, overlay, state);
    EXPECT_EQ(state, 1);
    folder.tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1402);

    EXPECT_TRUE(mapping.has_flag_in_chain(flag_locked));
    EXPECT_FALSE(folder.has_flag_in_chain(flag_locked));
    folder.set_flag(true, flag_locked);
    EXPECT_TRUE(store.find("D.0000.0000").has_flag_in_chain(flag_locked));

    EXPECT_EQ(mapping.init_root(), nullptr);
    folder.set_flag(true, flag_init_root);
    EXPECT_EQ(mapping.init_root(), &folder);

    EXPECT_EQ(mapping.duplicate_message(0, folder),
              "Инициализация компонента\r\n'Оборудование / Папка 1 / IEC 870-5-104 / abc'.\r\n"
              "Значение 'abc' параметра 'Описание' уже назначено компоненту\r\n"
              "'Оборудование / Папка 1'");
    EXPECT_EQ(mapping.log_file(), nx_log::main().file_name());
}

TEST(TypesRef, FolderTakesItsParentsChildTypes) {
    t_ref_buff store;
    register_test_classes(store);
    remove_refs();
    store.load();
    store.insert_xml("D",
                     "<ref tp=\"99\"/><ref tp=\"100\"><ref tp=\"99\"><ref tp=\"99\"/></ref></ref>");
    EXPECT_EQ(store.find("D.0000").child_types(), (std::vector<int>{99, 104, 100}));
    EXPECT_EQ(store.find("D.0001.0000.0000").child_types(), (std::vector<int>{99, 101}));
    EXPECT_TRUE(store.find("D.0000").can_add_child(51));
}
