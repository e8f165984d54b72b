// The review of an export: exactly the differing lines of a prepared pair of files.
#include "interlock/export_review.h"

#include <gtest/gtest.h>

using namespace nxkit;

TEST(ExportReview, ListsExactlyTheAddedRemovedAndChangedLines) {
    const std::string before = "[CONF]\r\n.MEK=1 1001\r\nX=1\r\n$ILKK=2\r\n"
                               "$ILK=1 3 8 1 0 5 7 1 129\r\n$ILK=2 3 9 1 0 5 7 1 1\r\n";
    const std::string after = "[CONF]\r\n.MEK=1 1001\r\nX=1\r\n$ILKK=3\r\n"
                              "$ILK=1 3 8 1 0 5 7 1 129\r\n$ILK=2 3 9 1 0 20 7 1 1\r\n"
                              "$ILK=3 3 10 1 0 20 7 1 1\r\n";
    std::vector<review_line> lines = review_lines(before, after);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].kind, review_line::changed);
    EXPECT_EQ(lines[0].old_text, "$ILKK=2");
    EXPECT_EQ(lines[0].new_text, "$ILKK=3");
    EXPECT_EQ(lines[1].kind, review_line::changed);
    EXPECT_EQ(lines[1].new_text, "$ILK=2 3 9 1 0 20 7 1 1");
    EXPECT_EQ(lines[2].kind, review_line::added);
    EXPECT_TRUE(lines[2].interlock);
    EXPECT_EQ(review_text(lines), "* ILK $ILKK=2 -> $ILKK=3\r\n"
                                  "* ILK $ILK=2 3 9 1 0 5 7 1 1 -> $ILK=2 3 9 1 0 20 7 1 1\r\n"
                                  "+ ILK $ILK=3 3 10 1 0 20 7 1 1\r\n");
}

TEST(ExportReview, RemovedOtherLinesLineEndsAndLimits) {
    // LF and CR LF compare equal; a removed line that is no interlock line carries no mark.
    std::vector<review_line> lines = review_lines("A=1\nB=2\n$ILK=1 2\n", "A=1\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(review_text(lines), "-     B=2\r\n- ILK $ILK=1 2\r\n");
    EXPECT_EQ(review_text(review_lines("A\r\n", "A\n")), "Файл не меняется.");
    // LF CR is one line end as well: no empty line is seen between the lines.
    EXPECT_EQ(review_text(review_lines("A\n\rB\n\r", "A\r\nB\r\n")), "Файл не меняется.");
    EXPECT_EQ(review_text(review_lines("", "1\n2\n3\n"), 2), "+     1\r\n+     2\r\n"
                                                             "... и ещё строк: 1\r\n");
}
