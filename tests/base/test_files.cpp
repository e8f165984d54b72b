#include "base/files.h"
#include "base/nx_dir_cursor.h"
#include "base/nx_exception.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sys/stat.h>
#include <utility>

using namespace nxkit;
using ilktest::read_bytes;
using ilktest::temp_dir;
using ilktest::write_bytes;

TEST(FilesPathPart, Selectors) {
    EXPECT_EQ(path_part("/a/b.log", 7), "/a/b");
    EXPECT_EQ(path_part("/a/b.log", 8), ".log");
    EXPECT_EQ(path_part("/a/b.log", 3), "/a/");
    EXPECT_EQ(path_part("/a/b.log", 1), "");
    EXPECT_EQ(path_part("/a/b.log", 12), "b.log");
    EXPECT_EQ(path_part("/a/b.log", 15), "/a/b.log");
    // The extension is the last dot of the name, never one in a folder.
    EXPECT_EQ(path_part("/a.d/b", 8), "");
    EXPECT_EQ(path_part("/a.d/b", 4), "b");
    EXPECT_EQ(path_part("x.tar.gz", 4), "x.tar");
    EXPECT_EQ(path_part("x.tar.gz", 8), ".gz");
    EXPECT_EQ(path_part("mes", 2), "");
    EXPECT_EQ(path_part("/a/b/", 4), "");
    EXPECT_EQ(path_part("/a/b/", 2), "/a/b/");
}

TEST(FilesMakeDirs, CreatesLevelsAndRepeats) {
    temp_dir dir;
    std::string target = dir.path() + "x/y/z/";
    EXPECT_FALSE(dir_exists(dir.path() + "x"));
    EXPECT_TRUE(make_dirs(target));
    EXPECT_TRUE(dir_exists(dir.path() + "x"));
    EXPECT_TRUE(dir_exists(dir.path() + "x/y"));
    EXPECT_TRUE(dir_exists(target));
    EXPECT_TRUE(make_dirs(target));
    EXPECT_TRUE(make_dirs(dir.path() + "x/y/z"));
    EXPECT_TRUE(make_dirs("/"));
    EXPECT_TRUE(make_dirs(""));
}

TEST(FilesMakeDirs, FailsWhenALevelIsAFile) {
    temp_dir dir;
    write_bytes(dir.path() + "f", "x");
    EXPECT_FALSE(make_dirs(dir.path() + "f/sub/"));
    EXPECT_FALSE(dir_exists(dir.path() + "f"));
    EXPECT_FALSE(dir_exists(dir.path() + "missing"));
    EXPECT_FALSE(dir_exists(""));
}

TEST(FilesExists, NamesAndWildcards) {
    temp_dir dir;
    write_bytes(dir.path() + "a.log", "1");
    write_bytes(dir.path() + "readme", "2");
    EXPECT_TRUE(file_exists(dir.path() + "a.log"));
    EXPECT_FALSE(file_exists(dir.path() + "b.log"));
    EXPECT_TRUE(file_exists(dir.path() + "*.log"));
    EXPECT_TRUE(file_exists(dir.path() + "?.log"));
    EXPECT_FALSE(file_exists(dir.path() + "??.log"));
    EXPECT_FALSE(file_exists(dir.path() + "*.ini"));
    EXPECT_TRUE(file_exists(dir.path() + "*.*")); // also names without a dot
    EXPECT_TRUE(file_exists(dir.path() + "read*"));
    EXPECT_FALSE(file_exists(dir.path() + "missing/*"));
}

TEST(FilesSize, NameAndStream) {
    temp_dir dir;
    std::string name = dir.path() + "s.bin";
    write_bytes(name, std::string(1234, 'q'));
    EXPECT_EQ(file_size(name), 1234);
    EXPECT_EQ(file_size(dir.path() + "none"), -1);
    EXPECT_EQ(file_size(dir.path()), -1);
    std::FILE* f = std::fopen(name.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fputs("tail", f); // still buffered
    EXPECT_EQ(file_size(f), 1238);
    std::fclose(f);
    EXPECT_EQ(file_size(static_cast<std::FILE*>(nullptr)), -1);
}

TEST(FilesCopy, CopiesBytesAndOverwrites) {
    temp_dir dir;
    // Larger than one chunk, with every byte value.
    std::string bytes;
    for (int i = 0; i < 2500000; ++i)
        bytes += static_cast<char>(i * 7 % 256);
    write_bytes(dir.path() + "from", bytes);
    write_bytes(dir.path() + "to", std::string(3000000, 'z'));
    EXPECT_TRUE(copy_file(dir.path() + "from", dir.path() + "to"));
    EXPECT_EQ(read_bytes(dir.path() + "to"), bytes);
    EXPECT_TRUE(copy_file(dir.path() + "from", dir.path() + "new"));
    EXPECT_EQ(read_bytes(dir.path() + "new"), bytes);
    write_bytes(dir.path() + "empty", "");
    EXPECT_TRUE(copy_file(dir.path() + "empty", dir.path() + "to"));
    EXPECT_EQ(file_size(dir.path() + "to"), 0);
}

TEST(FilesCopy, FailsWhenEitherSideCannotBeOpened) {
    temp_dir dir;
    write_bytes(dir.path() + "from", "abc");
    EXPECT_FALSE(copy_file(dir.path() + "none", dir.path() + "to"));
    EXPECT_FALSE(file_exists(dir.path() + "to"));
    EXPECT_FALSE(copy_file(dir.path() + "from", dir.path() + "nodir/to"));
}

TEST(FilesEqual, ComparesLengthAndContent) {
    temp_dir dir;
    std::string big(25000, 'a');
    write_bytes(dir.path() + "a", big);
    write_bytes(dir.path() + "b", big);
    EXPECT_TRUE(files_equal(dir.path() + "a", dir.path() + "b"));
    std::string changed = big;
    changed[24999] = 'b'; // in the third chunk
    write_bytes(dir.path() + "c", changed);
    EXPECT_FALSE(files_equal(dir.path() + "a", dir.path() + "c"));
    write_bytes(dir.path() + "d", big + "x");
    EXPECT_FALSE(files_equal(dir.path() + "a", dir.path() + "d"));
    EXPECT_FALSE(files_equal(dir.path() + "d", dir.path() + "a"));
    write_bytes(dir.path() + "e1", "");
    write_bytes(dir.path() + "e2", "");
    EXPECT_TRUE(files_equal(dir.path() + "e1", dir.path() + "e2"));
    EXPECT_FALSE(files_equal(dir.path() + "a", dir.path() + "none"));
    EXPECT_FALSE(files_equal(dir.path() + "none", dir.path() + "none"));
}

namespace {

std::set<std::pair<std::string, std::string>> walk(const std::string& folder,
                                                   const std::string& pattern, bool recursive) {
    std::set<std::pair<std::string, std::string>> seen;
    nx_dir_cursor c(folder, pattern, recursive);
    while (c.next())
        seen.insert({c.name(), c.full_path()});
    EXPECT_EQ(c.name(), "");
    return seen;
}

} // namespace

TEST(DirCursor, MatchesFlatAndRecursive) {
    temp_dir dir;
    const std::string& d = dir.path();
    ASSERT_TRUE(make_dirs(d + "sub/deeper/"));
    ASSERT_TRUE(make_dirs(d + "x.log/")); // a folder is never reported, even when it matches
    write_bytes(d + "a.log", "");
    write_bytes(d + "b.txt", "");
    write_bytes(d + "sub/c.log", "");
    write_bytes(d + "sub/deeper/d.log", "");

    using set = std::set<std::pair<std::string, std::string>>;
    EXPECT_EQ(walk(d, "*.log", false), (set{{"a.log", d + "a.log"}}));
    EXPECT_EQ(walk(d, "*.log", true), (set{{"a.log", d + "a.log"},
                                           {"c.log", d + "sub/c.log"},
                                           {"d.log", d + "sub/deeper/d.log"}}));
    EXPECT_EQ(walk(d, "*", false).size(), 2u);
    EXPECT_EQ(walk(d, "*.*", true).size(), 4u);
    EXPECT_TRUE(walk(d, "*.ini", true).empty());
    EXPECT_TRUE(walk(d + "missing/", "*", true).empty());
}

TEST(DirCursor, ReportsFolderOfEachMatch) {
    temp_dir dir;
    ASSERT_TRUE(make_dirs(dir.path() + "sub/"));
    write_bytes(dir.path() + "sub/c.log", "");
    nx_dir_cursor c(dir.path(), "c.log", true);
    ASSERT_TRUE(c.next());
    EXPECT_EQ(c.folder(), dir.path() + "sub/");
    EXPECT_EQ(c.full_path(), dir.path() + "sub/c.log");
    EXPECT_FALSE(c.next());
}

TEST(DirCursor, FolderWithoutSeparatorFails) {
    temp_dir dir;
    std::string folder = dir.path().substr(0, dir.path().size() - 1);
    try {
        nx_dir_cursor c(folder, "*", false);
        FAIL() << "no exception";
    } catch (const nx_exception& e) {
        EXPECT_NE(std::string(e.what()).find(folder), std::string::npos) << e.what();
    }
    EXPECT_THROW(nx_dir_cursor("", "*", false), nx_exception);
    write_bytes(dir.path() + "w.log", "");
    // A trailing backslash is taken as the separator.
    using set = std::set<std::pair<std::string, std::string>>;
    EXPECT_EQ(walk(folder + "\\", "*", false), (set{{"w.log", dir.path() + "w.log"}}));
}
