#include "tests/views/config_tree_fixture.h"

#include "base/nx_xml_writer.h"

namespace treetest {

void probe::write(nx_xml_writer& writer) {
    t_ref::write(writer);
    if (!amount.empty())
        writer.attribute("n", amount);
    if (!mode.empty())
        writer.attribute("m", mode);
    if (!address.empty())
        writer.attribute("a", address);
    if (!signal.empty())
        writer.attribute("sk", signal);
}

void register_tree_classes(t_ref_buff& store) {
    register_config_classes(store);
    for (int type : {tp_dev_root, tp_struct_root, tp_schema_root})
        store.register_class(
            type, [type](t_ref_buff& s) { return std::make_unique<t_ref_root>(s, type); });
    store.register_class(tp_dev_104, [](t_ref_buff& s) { return std::make_unique<probe>(s); });
}

void tree_test::SetUp() {
    ensure_application();
    log_path = ilktest::station_dir() + "views_test.log";
    nx_log::main().close();
    std::remove(log_path.c_str());
    nx_log::main().open(log_path, 10000000, 0);
    register_tree_classes(store);
    editor = std::make_unique<nx_ref_editor>(store);
    editor->resize(300, 600);
    view = std::make_unique<nx_view_tree>(store, editor->tree(), 0);
    view->set_root_key("D");
    bind_tree(*editor, *view);
    editor->set_save_enabler([this] { ++saves; });
    store.add_viewer(view.get());
    set_clipboard(&clipboard);
}

void tree_test::TearDown() {
    set_clipboard(nullptr);
    store.remove_viewer(view.get());
    view.reset();
    editor.reset();
    EXPECT_EQ(prompt.pending(), 0u);
}

void tree_test::load(const std::string& refs) {
    std::string text = "<struct>\r\n<REFs version=\"1\">\r\n" + refs + "</REFs>\r\n</struct>\r\n";
    ilktest::write_bytes(ilktest::station_dir() + "refs.ini", to_cp1251(text));
    store.load();
}

void tree_test::load_station() {
    load("<ref tp=\"50\" title=\"Оборудование\">\r\n"
         "  <ref tp=\"99\" title=\"Ячейки\">\r\n"
         "    <ref tp=\"104\" title=\"П0\" n=\"10\" m=\" один\" a=\"10.0.0.1\" sk=\"s1_1_1\"/>\r\n"
         "    <ref tp=\"104\" title=\"П1\" n=\"11\" sk=\"s1_1_2\"/>\r\n"
         "    <ref tp=\"104\" title=\"П2\" n=\"12\"/>\r\n"
         "    <ref tp=\"104\" title=\"П3\" n=\"13\"/>\r\n"
         "    <ref tp=\"104\" title=\"Последний\" n=\"14\"/>\r\n"
         "  </ref>\r\n"
         "  <ref tp=\"99\" title=\"Резерв\">\r\n"
         "    <ref tp=\"104\" title=\"Р0\"/>\r\n"
         "  </ref>\r\n"
         "</ref>\r\n"
         "<ref tp=\"40\" title=\"Структура\"/>\r\n"
         "<ref tp=\"80\" title=\"Схемы\"/>\r\n");
}

std::vector<std::string> tree_test::child_texts(const std::string& key) {
    std::vector<std::string> texts;
    ref_tree_model& model = view->model();
    QModelIndex parent = model.reveal(key);
    if (model.canFetchMore(parent))
        model.fetchMore(parent);
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts.push_back(model.index(row, 0, parent).data().toString().toStdString());
    return texts;
}

std::string log_text(const std::string& path) {
    return from_cp1251(ilktest::read_bytes(path));
}

} // namespace treetest
