// The journal's "Архив": the archive's events as the journal's lines, a page at a time, narrowed
// by the filter, saved as CSV; what the journal writes into the archive comes back.
#include "tests/views/operator_views_fixture.h"

#include "archive/archive_reader.h"
#include "archive/archive_texts.h"
#include "archive/archive_writer.h"
#include "views/nx_view_mes.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QPushButton>
#include <QTableView>
#include <QTime>

#include <chrono>
#include <thread>

using namespace nxkit;

namespace ilktest {
namespace {

std::int64_t utc_ms(int day, int h, int m, int s, int ms = 0) {
    return QDateTime(QDate(2026, 12, day), QTime(h, m, s, ms), Qt::LocalTime).toMSecsSinceEpoch();
}

class journal_archive_test : public operator_views_test {
protected:
    journal_archive_test() {
        for (auto& a : actions)
            a = new QAction(&owner);
        where.file = dir.path() + "archive.sqlite";
    }
    ~journal_archive_test() override {
        if (view)
            store->remove_viewer(view.get());
    }

    // 1234 changes of s1_2_7 and s1_2_8, a minute apart from 1 December 00:00, every tenth
    // acknowledged; each row's name is its signal's.
    void fill() {
        archive_options o;
        o.location = where;
        archive_writer writer(o, {});
        for (int i = 0; i < 1234; ++i) {
            archive_row r;
            r.key = i % 2 == 0 ? "s1_2_7" : "s1_2_8";
            r.name = i % 2 == 0 ? "Q1 (Ячейка Л-1)" : "QS1 (Ячейка Л-1)";
            r.time_ms = utc_ms(1, 0, 0, 0) + i * 60000LL;
            r.value = (i / 2) % 2;
            r.text = r.value != 0 ? "ВКЛЮЧЕН" : "ОТКЛЮЧЕН";
            writer.add(r);
            if (i % 10 == 0) {
                archive_row ack = r;
                ack.kind = archive_kind::acknowledge;
                ack.value = static_cast<double>(r.time_ms + 1000);
                ack.text = archive_text_acknowledged;
                writer.add(ack);
            }
            writer.end_pass();
        }
        ASSERT_TRUE(writer.flush());
    }

    void start() {
        view = std::make_unique<nx_view_mes>(
            *store, &owner, nx_view_mes::buttons{actions[0], actions[1], actions[2], actions[3]});
        store->add_viewer(view.get());
        reader = std::make_unique<archive_reader>(where);
        view->set_archive_reader(reader.get());
    }

    // Until the page asked for is in.
    bool settle() {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents();
            if (!view->archive_model().loading())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    ilktest::temp_dir dir;
    archive_location where;
    QWidget owner;
    QAction* actions[4] = {};
    std::unique_ptr<archive_reader> reader;
    std::unique_ptr<nx_view_mes> view;
};

using JournalArchive = journal_archive_test;

TEST_F(JournalArchive, SearchComesInPagesAndNarrowsByTheFilter) {
    fill();
    start();
    {
        // The model alone (a list asks for more by itself as it fills): 500 rows a page.
        journal_archive_model pages;
        pages.set_reader(reader.get());
        pages.set_query({});
        auto wait = [&] {
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (pages.loading() && std::chrono::steady_clock::now() < until) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        wait();
        // Events and acknowledgements in time order: 1234 + 124 rows.
        EXPECT_EQ(pages.rowCount(), 500);
        EXPECT_TRUE(pages.canFetchMore({}));
        pages.fetchMore({});
        EXPECT_FALSE(pages.canFetchMore({})) << "one page at a time";
        wait();
        EXPECT_EQ(pages.rowCount(), 1000);
        pages.fetchMore({});
        wait();
        EXPECT_EQ(pages.rowCount(), 1358);
        EXPECT_FALSE(pages.canFetchMore({}));
        EXPECT_TRUE(pages.complete());
        // No row twice, none left out: numbers 1..1358, times never going back.
        for (int r = 1; r < pages.rowCount(); ++r) {
            EXPECT_EQ(pages.line(r).number, r + 1);
            EXPECT_GE(pages.line(r).time, pages.line(r - 1).time);
        }
    }
    journal_archive_model& m = view->archive_model();
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Warning);
    view->set_archive_mode(true);
    EXPECT_EQ(view->list()->model(), &m);
    ASSERT_TRUE(settle());
    while (m.canFetchMore({})) {
        m.fetchMore({});
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(m.rowCount(), 1358);
    EXPECT_EQ(view->archive_status(), "найдено 1358");

    // The first rows as the journal shows them: an acknowledged change, its acknowledgement.
    auto cells = [&](int row) {
        QStringList out;
        for (int c = 0; c < 6; ++c)
            out << m.data(m.index(row, c), Qt::DisplayRole).toString();
        return out.join('|').toStdString();
    };
    EXPECT_EQ(cells(0), "<1|s1_2_7|ОТКЛЮЧЕН|авто|00:00:00.000 01.12.26|Q1 (Ячейка Л-1)");
    EXPECT_EQ(cells(1), "2|s1_2_7|квитировано|авто|00:00:01.000 01.12.26|Q1 (Ячейка Л-1)");
    EXPECT_EQ(cells(2), "3|s1_2_8|ОТКЛЮЧЕН|авто|00:01:00.000 01.12.26|QS1 (Ячейка Л-1)");
    EXPECT_EQ(m.line(0).image, journal_image::off_ack);
    EXPECT_EQ(m.line(2).image, journal_image::off);

    // Signal, text, range and only unacknowledged, as the filter line gives them.
    journal_filter filter;
    filter.signal = "s1_2_8";
    filter.text = "включен";
    filter.only_unacknowledged = true;
    filter.from = time_encode(2026, 12, 1, 0, 0, 0, 0);
    filter.to = time_encode(2026, 12, 1, 0, 15, 0, 0);
    view->set_filter(filter);
    ASSERT_TRUE(settle());
    std::vector<std::string> rows;
    for (int r = 0; r < m.rowCount(); ++r)
        rows.push_back(cells(r));
    // s1_2_8 (odd minutes) is on where (minute / 2) is odd: 3, 7, 11, 15; none of those is
    // acknowledged (every tenth minute is), and the range holds its end, 00:15:00.000.
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "1|s1_2_8|ВКЛЮЧЕН|авто|00:03:00.000 01.12.26|QS1 (Ячейка Л-1)",
                        "2|s1_2_8|ВКЛЮЧЕН|авто|00:07:00.000 01.12.26|QS1 (Ячейка Л-1)",
                        "3|s1_2_8|ВКЛЮЧЕН|авто|00:11:00.000 01.12.26|QS1 (Ячейка Л-1)",
                        "4|s1_2_8|ВКЛЮЧЕН|авто|00:15:00.000 01.12.26|QS1 (Ячейка Л-1)"}));

    // Saved as CSV: every matching row, whatever has been fetched.
    filter = {};
    filter.signal = "s1_2_7";
    filter.to = time_encode(2026, 12, 1, 0, 4, 0, 0);
    view->set_filter(filter);
    ASSERT_TRUE(settle());
    const std::string path = dir.path() + "archive.csv";
    scripted_prompt prompt;
    prompt.expect_save_file(path);
    view->export_csv_asked();
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (read_bytes(path).empty() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(read_bytes(path),
              "номер,квитировано,сигнал,значение,ввод,время,событие\r\n"
              "1,да,s1_2_7,ОТКЛЮЧЕН,авто,2026-12-01T00:00:00.000,Q1 (Ячейка Л-1)\r\n"
              "2,нет,s1_2_7,квитировано,авто,2026-12-01T00:00:01.000,Q1 (Ячейка Л-1)\r\n"
              "3,нет,s1_2_7,ВКЛЮЧЕН,авто,2026-12-01T00:02:00.000,Q1 (Ячейка Л-1)\r\n"
              "4,нет,s1_2_7,ОТКЛЮЧЕН,авто,2026-12-01T00:04:00.000,Q1 (Ячейка Л-1)\r\n");

    // Released: the journal's own lines again.
    view->set_archive_mode(false);
    EXPECT_EQ(view->list()->model(), &view->shown());
}

TEST_F(JournalArchive, WithoutAReaderThereIsNoButton) {
    view = std::make_unique<nx_view_mes>(
        *store, &owner, nx_view_mes::buttons{actions[0], actions[1], actions[2], actions[3]});
    QPushButton* button = nullptr;
    for (QPushButton* b : view->pane()->findChildren<QPushButton*>())
        if (b->text() == "Архив")
            button = b;
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isHidden());
    fill();
    reader = std::make_unique<archive_reader>(where);
    view->set_archive_reader(reader.get());
    EXPECT_FALSE(button->isHidden());
    button->click();
    EXPECT_TRUE(view->archive_mode());
}

} // namespace
} // namespace ilktest
