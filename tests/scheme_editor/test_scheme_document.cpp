#include "schemes/editor/scheme_checks.h"
#include "schemes/editor/scheme_document.h"

#include "base/nx_exception.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace nxkit;

namespace {

// A bay: busbar, disconnector and breaker wired in a line, a lamp; a second page with a caption.
const char* const bay = R"(<?xml version="1.0" encoding="UTF-8"?>
<sde version="1" units="mm">
  <page number="1" title="Ячейка" width="100" height="100">
    <object counter="1" type="шина" x="50" y="10" w="80" h="2" name="1СШ"/>
    <object counter="2" type="разъединитель" x="30" y="30" w="6" h="12" name="QS1"/>
    <object counter="3" type="выключатель" x="30" y="50" w="6" h="12" name="Q1"/>
    <object counter="4" type="лампа" x="80" y="80" w="4" h="4"/>
    <polyline points="30,10 30,24" from="1:@20" to="2:1"/>
    <polyline points="30,36 30,44" from="2:2" to="3:1"/>
    <rect x="60" y="60" w="10" h="6"/>
  </page>
  <page number="2" title="Вторая">
    <text x="10" y="10">Подпись</text>
  </page>
</sde>
)";

scheme_document bay_document() {
    return scheme_document(read_sde(bay, "bay.sde"));
}

const sde_shape& shape_at(const scheme_document& d, std::size_t page, std::size_t item) {
    const sde_page& p = d.scheme().pages[page];
    return p.shapes[p.order[item].index];
}

const sde_object& object_at(const scheme_document& d, std::size_t page, std::size_t item) {
    const sde_page& p = d.scheme().pages[page];
    return p.objects[p.order[item].index];
}

std::vector<double> wire_points(const scheme_document& d, std::size_t item) {
    return shape_at(d, 0, item).coords;
}

} // namespace

TEST(SchemeEditorTerminals, PositionsFollowRotationAndMirror) {
    sde_object q;
    q.type_name = "выключатель";
    q.x = 30;
    q.y = 50;
    q.w = 6;
    q.h = 12;
    EXPECT_EQ(terminal_position(q, "1"), (point{30, 44}));
    EXPECT_EQ(terminal_position(q, "2"), (point{30, 56}));
    EXPECT_FALSE(terminal_position(q, "3"));
    q.rotation = 90; // the top end turns to the right
    EXPECT_EQ(terminal_position(q, "1"), (point{36, 50}));
    q.rotation = 270;
    EXPECT_EQ(terminal_position(q, "1"), (point{24, 50}));

    sde_object t;
    t.type_name = "трансформатор_трехобмоточный";
    t.w = 10;
    t.h = 20;
    EXPECT_EQ(terminal_position(t, "3"), (point{5, 0}));
    t.unknown.emplace_back("mirror", "1");
    EXPECT_EQ(terminal_position(t, "3"), (point{-5, 0}));

    sde_object bus;
    bus.type_name = "шина";
    bus.x = 50;
    bus.w = 80;
    EXPECT_EQ(terminal_position(bus, "@0"), (point{10, 0}));
    EXPECT_EQ(terminal_position(bus, busbar_terminal(72.5)), (point{82.5, 0}));
    EXPECT_FALSE(terminal_position(bus, "@81"));
    EXPECT_FALSE(terminal_position(bus, "1"));

    sde_object lamp;
    lamp.type_name = "лампа";
    EXPECT_FALSE(terminal_position(lamp, "1"));
}

TEST(SchemeEditorTerminals, WireEndTexts) {
    EXPECT_EQ(wire_end::parse("12:1"), (wire_end{wire_end::at_terminal, 12, "1", 0}));
    EXPECT_EQ(wire_end::parse("12:@30").terminal, "@30");
    EXPECT_EQ(wire_end::parse("узел:3"), (wire_end{wire_end::at_node, 0, {}, 3}));
    for (const char* bad : {"", "12", "12:", "x:1", "0:1", "узел:", "узел:0", "узел:2x"})
        EXPECT_EQ(wire_end::parse(bad).kind, wire_end::free_end) << bad;
    EXPECT_EQ((wire_end{wire_end::at_node, 0, {}, 7}).text(), "узел:7");
    EXPECT_EQ(wire_end{}.text(), "");
}

// Every operation changes the file, its undo gives back the very bytes, its redo the changed ones.
TEST(SchemeEditorDocument, EveryOperationAndItsUndoLeaveTheFileAsItWas) {
    sde_object ct;
    ct.type_name = "трансформатор_тока";
    ct.x = 30;
    ct.y = 70;
    ct.w = 4;
    ct.h = 8;
    sde_shape circle;
    circle.kind = sde_shape::ellipse;
    circle.coords = {1, 2, 3, 4};
    const std::vector<std::pair<const char*, std::function<void(scheme_document&)>>> operations = {
        {"add page", [](scheme_document& d) { d.add_page("Новая", 200, 100); }},
        {"delete page", [](scheme_document& d) { d.delete_page(1); }},
        {"rename page", [](scheme_document& d) { d.rename_page(0, "Ячейка Л-2"); }},
        {"resize page", [](scheme_document& d) { d.resize_page(0, 150, 120); }},
        {"reorder pages", [](scheme_document& d) { d.move_page(1, 0); }},
        {"add object", [&](scheme_document& d) { d.add_object(0, ct); }},
        {"add shape", [&](scheme_document& d) { d.add_shape(1, circle); }},
        {"add wire",
         [](scheme_document& d) {
             d.add_wire(0, wire_end::parse("3:2"), {}, {{30, 60}, {40, 60}});
         }},
        {"split wire",
         [](scheme_document& d) {
             d.split_wire(0, 5, {30, 40});
         }},
        {"attach", [](scheme_document& d) { d.attach(0, 5, 1, wire_end::parse("3:2")); }},
        {"set property", [](scheme_document& d) { d.set_property(0, 3, "дисп_имя", "Q2"); }},
        {"set type", [](scheme_document& d) { d.set_type(0, 3, "выключатель_выдвижной"); }},
        {"set shape",
         [](scheme_document& d) {
             sde_shape s = d.scheme().pages[0].shapes[2];
             s.fill = "желтый";
             s.dash = "dash";
             d.set_shape(0, 6, s);
         }},
        {"wire onto a wire (joined)",
         [](scheme_document& d) {
             const int node = d.split_wire(0, 4, {30, 17});
             d.add_wire(0, wire_end::parse("4:1"), {wire_end::at_node, 0, {}, node}, {{80, 17}});
             d.join_last_steps();
         }},
        {"delete",
         [](scheme_document& d) {
             d.delete_items(0, {2, 6});
         }},
        {"move",
         [](scheme_document& d) {
             d.move_items(0, {1, 2, 6}, 2.5, -5);
         }},
        {"resize", [](scheme_document& d) { d.resize_item(0, 2, 8, 14); }},
        {"rotate",
         [](scheme_document& d) {
             d.rotate_items(0, {2, 6});
         }},
        {"mirror",
         [](scheme_document& d) {
             d.mirror_items(0, {1, 2, 6});
         }},
        {"duplicate",
         [](scheme_document& d) {
             d.duplicate(0, {1, 2, 5}, 20, 0);
         }},
        {"paste on another page",
         [](scheme_document& d) {
             d.paste(1, d.copy(0, {1, 2, 5}), 0, 0);
         }},
        {"bring to front", [](scheme_document& d) { d.bring_to_front(0, {0}); }},
        {"send to back", [](scheme_document& d) { d.send_to_back(0, {6}); }},
        {"align left",
         [](scheme_document& d) {
             d.align(0, {3, 6}, align_edge::left);
         }},
        {"distribute",
         [](scheme_document& d) {
             d.distribute(0, {1, 3, 6}, axis::horizontal);
         }},
    };
    for (const auto& [name, operation] : operations) {
        scheme_document d = bay_document();
        d.move_items(0, {3}, -5, 0); // something to undo below the operation
        const std::string before = d.text();
        operation(d);
        const std::string after = d.text();
        EXPECT_NE(after, before) << name;
        EXPECT_TRUE(d.modified()) << name;
        d.undo();
        EXPECT_EQ(d.text(), before) << name;
        d.redo();
        EXPECT_EQ(d.text(), after) << name;
        d.undo();
        d.undo();
        EXPECT_EQ(d.text(), bay_document().text()) << name;
        EXPECT_FALSE(d.can_undo()) << name;
    }
}

TEST(SchemeEditorDocument, ANewOperationDropsTheUndoneOnes) {
    scheme_document d = bay_document();
    d.rename_page(0, "А");
    d.rename_page(0, "Б");
    d.undo();
    d.rename_page(0, "В");
    EXPECT_FALSE(d.can_redo());
    d.undo();
    EXPECT_EQ(d.scheme().pages[0].title, "А");
    d.undo();
    EXPECT_EQ(d.scheme().pages[0].title, "Ячейка");
    d.undo(); // nothing left: no change
    EXPECT_EQ(d.scheme().pages[0].title, "Ячейка");
}

TEST(SchemeEditorDocument, NewObjectsTakeTheNextFreeCounterOfTheFile) {
    scheme_document d = bay_document();
    EXPECT_EQ(d.next_counter(), 5);
    sde_object o;
    o.type_name = "заземление";
    EXPECT_EQ(d.add_object(1, o), 5); // counters are unique across pages
    EXPECT_EQ(d.next_counter(), 6);
    o.counter = 3;
    EXPECT_THROW(d.add_object(0, o), nx_exception);
    EXPECT_EQ(d.add_page("Третья"), 3);
}

TEST(SchemeEditorConnectivity, WiresFollowObjectsThatMoveAndTurn) {
    scheme_document d = bay_document();
    d.move_items(0, {1}, 10, 0); // the disconnector
    EXPECT_EQ(wire_points(d, 4), (std::vector<double>{30, 10, 40, 24}));
    EXPECT_EQ(wire_points(d, 5), (std::vector<double>{40, 36, 30, 44}));
    d.rotate_items(0, {2}); // the breaker about its own centre
    EXPECT_EQ(object_at(d, 0, 2).rotation, 90);
    EXPECT_EQ(wire_points(d, 5), (std::vector<double>{40, 36, 36, 50}));
    d.mirror_items(0, {2}); // turned and mirrored: the end comes back to the left
    EXPECT_EQ(wire_points(d, 5), (std::vector<double>{40, 36, 24, 50}));
    d.move_items(0, {0}, 0, -5); // the busbar
    EXPECT_EQ(wire_points(d, 4), (std::vector<double>{30, 5, 40, 24}));
    // Moving a wire on its own moves its bends, its attached ends stay on the terminals.
    d.add_wire(0, wire_end::parse("3:2"), {}, {{30, 70}});
    d.move_items(0, {7}, 5, 5);
    const auto w = wire_points(d, 7);
    EXPECT_EQ(w, (std::vector<double>{36, 50, 35, 75, 5, 5}));

    const auto nodes = electrical_nodes(d.scheme().pages[0]);
    EXPECT_EQ(nodes.size(), 3u);
}

TEST(SchemeEditorConnectivity, CopyAndPasteKeepWiresAmongTheCopiedObjects) {
    scheme_document d = bay_document();
    // Disconnector, breaker, the wire between them and the wire up to the busbar.
    const auto placed = d.duplicate(0, {1, 2, 4, 5}, 20, 0);
    ASSERT_EQ(placed.size(), 4u);
    EXPECT_EQ(object_at(d, 0, placed[0]).counter, 5);
    EXPECT_EQ(object_at(d, 0, placed[1]).counter, 6);
    EXPECT_EQ(object_at(d, 0, placed[1]).value("дисп_имя"), "Q1");
    const sde_shape& up = shape_at(d, 0, placed[2]);
    EXPECT_EQ(wire_from(up).kind, wire_end::free_end); // the busbar was not copied
    EXPECT_EQ(wire_to(up).text(), "5:1");
    EXPECT_EQ(up.coords, (std::vector<double>{50, 10, 50, 24}));
    const sde_shape& between = shape_at(d, 0, placed[3]);
    EXPECT_EQ(wire_from(between).text(), "5:2");
    EXPECT_EQ(wire_to(between).text(), "6:1");
    // The copy stays attached when it moves.
    d.move_items(0, {placed[1]}, 0, 10);
    EXPECT_EQ(shape_at(d, 0, placed[3]).coords, (std::vector<double>{50, 36, 50, 54}));

    // Pasted onto another page the objects get counters again.
    const auto clip = d.copy(0, {1, 2, 5});
    d.paste(1, clip, 0, 0);
    const sde_page& second = d.scheme().pages[1];
    ASSERT_EQ(second.objects.size(), 2u);
    EXPECT_EQ(second.objects[0].counter, 7);
    EXPECT_EQ(second.objects[0].page, 2);
    EXPECT_EQ(wire_from(second.shapes[1]).text(), "7:2");
    EXPECT_EQ(wire_to(second.shapes[1]).text(), "8:1");
}

TEST(SchemeEditorConnectivity, NodesOfHandMadePages) {
    scheme_document d = bay_document();
    using nodes_t = std::vector<electrical_node>;
    EXPECT_EQ(electrical_nodes(d.scheme().pages[0]),
              (nodes_t{{{1, "@"}, {2, "1"}}, {{2, "2"}, {3, "1"}}, {{3, "2"}}}));
    EXPECT_TRUE(electrical_nodes(d.scheme().pages[1]).empty());

    // A second breaker hung on the wire between QS1 and Q1 through a junction.
    sde_object q2;
    q2.type_name = "выключатель";
    q2.x = 50;
    q2.y = 50;
    q2.w = 6;
    q2.h = 12;
    const int c = d.add_object(0, q2);
    const int node = d.split_wire(0, 5, {30, 40});
    EXPECT_EQ(node, 1);
    EXPECT_EQ(d.scheme().pages[0].unknown_children.back(), "<node id=\"1\" x=\"30\" y=\"40\"/>");
    d.add_wire(0, {wire_end::at_node, 0, {}, node}, wire_end::parse(std::to_string(c) + ":1"),
               {{50, 40}});
    EXPECT_EQ(
        electrical_nodes(d.scheme().pages[0]),
        (nodes_t{{{1, "@"}, {2, "1"}}, {{2, "2"}, {3, "1"}, {5, "1"}}, {{3, "2"}}, {{5, "2"}}}));
    // Two wires on one busbar join whatever hangs on it.
    d.add_wire(0, wire_end::parse("1:@70"), wire_end::parse("5:2"));
    EXPECT_EQ(
        electrical_nodes(d.scheme().pages[0]),
        (nodes_t{{{1, "@"}, {2, "1"}, {5, "2"}}, {{2, "2"}, {3, "1"}, {5, "1"}}, {{3, "2"}}}));
    // Deleting the disconnector leaves its wires with free ends: the nodes fall apart.
    d.delete_items(0, {1});
    EXPECT_EQ(electrical_nodes(d.scheme().pages[0]),
              (nodes_t{{{1, "@"}, {5, "2"}}, {{3, "1"}, {5, "1"}}, {{3, "2"}}}));
    EXPECT_EQ(wire_to(d.scheme().pages[0].shapes[0]).kind, wire_end::free_end);
}

TEST(SchemeEditorFile, SavedFileLoadsToTheSameModel) {
    ilktest::temp_dir dir;
    const std::string path = dir.path() + "bay.sde";
    scheme_document d = bay_document();
    d.mirror_items(0, {2});
    d.split_wire(0, 4, {30, 15});
    std::string message;
    ASSERT_EQ(d.save(path, message), scheme_document::save_result::saved) << message;
    EXPECT_FALSE(d.modified());
    const std::string bytes = ilktest::read_bytes(path);
    EXPECT_EQ(bytes, d.text());
    EXPECT_NE(bytes.find("<polyline points=\"30,10 30,15\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("to=\"узел:1\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("mirror=\"1\""), std::string::npos) << bytes;
    const scheme_document again = scheme_document::open(path);
    EXPECT_EQ(again.text(), bytes);
    EXPECT_EQ(electrical_nodes(again.scheme().pages[0]), electrical_nodes(d.scheme().pages[0]));
    EXPECT_EQ(junctions_of(again.scheme().pages[0]).size(), 1u);
}

TEST(SchemeEditorFile, SaveKeepsNumberedBackupsAndRefusesAFileChangedOnDisk) {
    ilktest::temp_dir dir;
    const std::string path = dir.path() + "bay.sde";
    ilktest::write_bytes(path, bay);
    scheme_document d = scheme_document::open(path);
    d.rename_page(0, "Один");
    std::string message;
    ASSERT_EQ(d.save(path, message), scheme_document::save_result::saved) << message;
    EXPECT_EQ(ilktest::read_bytes(path + ".1.bak"), bay);
    const std::string first = ilktest::read_bytes(path);
    d.rename_page(0, "Два");
    ASSERT_EQ(d.save(path, message), scheme_document::save_result::saved) << message;
    EXPECT_EQ(ilktest::read_bytes(path + ".2.bak"), first);

    ilktest::write_bytes(path, "changed by someone else");
    d.rename_page(0, "Три");
    EXPECT_EQ(d.save(path, message), scheme_document::save_result::changed_on_disk);
    EXPECT_NE(message.find("изменен на диске"), std::string::npos) << message;
    EXPECT_EQ(ilktest::read_bytes(path), "changed by someone else");
    EXPECT_TRUE(d.modified());
    ASSERT_EQ(d.save(path, message, true), scheme_document::save_result::saved) << message;
    EXPECT_EQ(ilktest::read_bytes(path + ".3.bak"), "changed by someone else");
}

TEST(SchemeEditorFile, AFolderThatCannotBeWrittenLeavesTheOldFile) {
    ilktest::temp_dir dir;
    const std::string path = dir.path() + "bay.sde";
    ilktest::write_bytes(path, bay);
    scheme_document d = scheme_document::open(path);
    d.rename_page(0, "Один");
    std::string message;
    EXPECT_EQ(d.save(dir.path() + "нет/bay.sde", message), scheme_document::save_result::failed);
    EXPECT_NE(message.find("не удалось записать файл схемы"), std::string::npos) << message;
    EXPECT_TRUE(d.modified());
    ::chmod(dir.path().c_str(), 0555);
    if (::access(dir.path().c_str(), W_OK) == 0) {
        ::chmod(dir.path().c_str(), 0755);
        GTEST_SKIP() << "the folder stays writable for this user";
    }
    const auto result = d.save(path, message);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(result, scheme_document::save_result::failed);
    EXPECT_NE(message.find("файл не изменен"), std::string::npos) << message;
    EXPECT_EQ(ilktest::read_bytes(path), bay);
    EXPECT_TRUE(d.modified());
}

TEST(SchemeEditorChecks, EachFaultIsFound) {
    const char* const faults = R"(<?xml version="1.0" encoding="UTF-8"?>
<sde version="1">
  <page number="1">
    <object counter="1" type="разъединитель" x="10" y="10" w="4" h="10" name="QS1"/>
    <object counter="2" type="выключатель" x="10" y="30" w="4" h="10" name="QS1"/>
    <object counter="3" type="шина" x="10" y="0" w="20" h="1"/>
    <object counter="4" type="рубильник_старый" x="40" y="40"/>
    <object counter="5" type="лампа" x="50" y="40"/>
    <polyline points="0,0 0,0" from="1:2" to="2:1"/>
    <polyline points="0,0 0,0" from="2:3" to="узел:4"/>
    <polyline points="0,0 0,0" from="9:1"/>
  </page>
</sde>
)";
    const sde_scheme s = read_sde(faults, "faults.sde");
    const auto found = check_scheme(s);
    std::vector<std::string> texts;
    for (const auto& f : found)
        texts.push_back(std::to_string(f.counter) + " " + f.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "1 счетчик 1 (QS1): вывод 1 не подключен",
                         "2 счетчик 2 (QS1): вывод 2 не подключен",
                         "2 счетчик 2 (QS1): диспетчерское имя \"QS1\" уже есть у объекта со "
                         "счетчиком 1",
                         "3 счетчик 3: шина не подключена",
                         "4 счетчик 4: неизвестный тип \"рубильник_старый\"",
                         "2 провод 2:3 — узел:4: нет вывода 2:3",
                         "0 провод 2:3 — узел:4: нет узла узел:4",
                         "9 провод 9:1 — свободный конец: нет вывода 9:1",
                     }));
    // The bay: only the breaker's lower end is free; a lamp has no terminals.
    const auto bay_found = check_scheme(read_sde(bay, "bay.sde"));
    ASSERT_EQ(bay_found.size(), 1u);
    EXPECT_EQ(bay_found[0].text, "счетчик 3 (Q1): вывод 2 не подключен");
}

TEST(SchemeEditorChecks, DuplicateCountersInAModelAndReferences) {
    sde_scheme s = read_sde(bay, "bay.sde");
    s.pages[1].objects.push_back(s.pages[0].objects[3]);
    s.pages[1].order.push_back({sde_item::object, 0});
    const auto found = check_scheme(s);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.back().page, 2);
    EXPECT_EQ(found.back().text, "счетчик 4 уже есть у другого объекта (страница 1)");

    const sde_scheme b = read_sde(bay, "bay.sde");
    scheme_references refs{{1, 2, 3, 9}, {"1СШ", "QS1"}};
    std::vector<std::string> texts;
    for (const auto& f : check_references(b, refs))
        texts.push_back(f.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"счетчик 3 (Q1): нет сигнала с именем \"Q1\"",
                                               "счетчик 4: нет элемента",
                                               "элемент со счетчиком 9: нет объекта на схеме"}));
}

TEST(SchemeEditorChecks, PagesWithoutWiresAreNamedNotFailed) {
    const sde_scheme s = read_sde(R"(<sde version="1">
  <page number="1"><object counter="1" type="выключатель" name="Q1"/></page>
  <page number="2"><object counter="2" type="лампа"/></page>
</sde>)",
                                  "old.sde");
    EXPECT_TRUE(check_scheme(s).empty());
    EXPECT_EQ(pages_without_wires(s), std::vector<int>{1});
}

TEST(SchemeEditorConnectivity, WiresFollowAJunctionAndLetGoWhenItIsDeleted) {
    scheme_document d = bay_document();
    d.split_wire(0, 5, {30, 40}); // wires at 5 and 6, the node last
    const std::size_t node = d.scheme().pages[0].order.size() - 1;
    d.move_items(0, {node}, 4, 0);
    EXPECT_EQ(wire_points(d, 5), (std::vector<double>{30, 36, 34, 40}));
    EXPECT_EQ(wire_points(d, 6), (std::vector<double>{34, 40, 30, 44}));
    EXPECT_EQ(d.scheme().pages[0].unknown_children[0], "<node id=\"1\" x=\"34\" y=\"40\"/>");
    // Turning two objects together turns them about the middle of both.
    d.rotate_items(0, {1, 2});
    EXPECT_EQ(object_at(d, 0, 1).x, 40);
    EXPECT_EQ(object_at(d, 0, 1).y, 40);
    EXPECT_EQ(object_at(d, 0, 2).x, 20);
    EXPECT_EQ(object_at(d, 0, 2).y, 40);
    EXPECT_EQ(wire_points(d, 5), (std::vector<double>{34, 40, 34, 40}));
    EXPECT_EQ(wire_points(d, 6), (std::vector<double>{34, 40, 26, 40}));
    d.delete_items(0, {node});
    EXPECT_EQ(wire_to(shape_at(d, 0, 5)).kind, wire_end::free_end);
    EXPECT_EQ(wire_from(shape_at(d, 0, 6)).kind, wire_end::free_end);
    EXPECT_TRUE(junctions_of(d.scheme().pages[0]).empty());
}

TEST(SchemeEditorFile, UndoBackToTheSavedStateIsNotAChange) {
    ilktest::temp_dir dir;
    scheme_document d = bay_document();
    d.rename_page(0, "Один");
    std::string message;
    ASSERT_EQ(d.save(dir.path() + "a.sde", message), scheme_document::save_result::saved);
    d.rename_page(0, "Два");
    EXPECT_TRUE(d.modified());
    d.undo();
    EXPECT_FALSE(d.modified());
    d.undo();
    EXPECT_TRUE(d.modified());
    d.rename_page(0, "Три"); // the saved state can no longer come back
    d.undo();
    d.redo();
    EXPECT_TRUE(d.modified());
}

TEST(SchemeEditorDocument, JoinedStepsUndoAsOneAndKeepTheSavedMark) {
    scheme_document d = bay_document();
    const std::string before = d.text();
    d.split_wire(0, 4, {30, 17});
    const std::string split = d.text();
    d.add_wire(0, wire_end::parse("4:1"), wire_end::parse("узел:1"), {{80, 17}});
    const std::string after = d.text();
    d.join_last_steps();
    EXPECT_EQ(d.text(), after);
    d.undo();
    EXPECT_EQ(d.text(), before);
    EXPECT_FALSE(d.can_undo());
    EXPECT_FALSE(d.modified());
    d.redo();
    EXPECT_EQ(d.text(), after);
    EXPECT_FALSE(d.can_redo());
    EXPECT_NE(split, after);
    // The wire's far end sits on the new junction, which lies on the split wire.
    const sde_page& p = d.scheme().pages[0];
    const sde_shape& added =
        p.shapes[p.order.back().kind == sde_item::shape ? p.order.back().index
                                                        : p.order[p.order.size() - 2].index];
    EXPECT_EQ(wire_to(added).text(), "узел:1");
    // Steps on two pages stay apart.
    d.rename_page(1, "Б");
    d.rename_page(0, "А");
    EXPECT_THROW(d.join_last_steps(), nx_exception);
}
