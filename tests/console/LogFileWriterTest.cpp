#include "console/LogFileWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::TempFolder;

ino_t inodeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(LogFileWriter, FileAlwaysHoldsTheWholeLogAndGrowsByAppending) {
  TempFolder t;
  LogFileWriter w;
  const std::string path = t.file("log");
  std::vector<std::string> lines = {"a"};
  w.write(path, lines, 1);
  const ino_t first = inodeOf(path);
  for (const char* l : {"b", "", "čtvrtý"}) {
    lines.push_back(l);
    w.write(path, lines, 1);
    EXPECT_EQ(inodeOf(path), first);  // appended, not replaced
  }
  EXPECT_EQ(t.read("log"), "a\r\nb\r\n\r\nčtvrtý\r\n");
  w.write(path, lines, 1);  // nothing new
  EXPECT_EQ(t.read("log"), "a\r\nb\r\n\r\nčtvrtý\r\n");
}

TEST(LogFileWriter, RewritesWhenTheLogOrTheFileChanged) {
  TempFolder t;
  LogFileWriter w;
  const std::string path = t.file("log");
  w.write(path, {"a", "b"}, 1);
  w.write(path, {"x"}, 2);  // the log was replaced
  EXPECT_EQ(t.read("log"), "x\r\n");

  t.write("log", "someone else\r\n");  // changed behind our back
  w.write(path, {"x", "y"}, 2);
  EXPECT_EQ(t.read("log"), "x\r\ny\r\n");

  std::filesystem::remove(path);
  w.write(path, {"x", "y", "z"}, 2);
  EXPECT_EQ(t.read("log"), "x\r\ny\r\nz\r\n");

  // Edited in place (the same file), to another size.
  w.write(path, {"x", "y", "z"}, 2);
  t.write("log", "edited\r\n");
  w.write(path, {"x", "y", "z", "w"}, 2);
  EXPECT_EQ(t.read("log"), "x\r\ny\r\nz\r\nw\r\n");
}

TEST(LogFileWriter, FailureReachesTheCaller) {
  TempFolder t;
  LogFileWriter w;
  EXPECT_THROW(w.write(t.file("no/such/folder/log"), {"a"}, 1), ConsoleFileError);
  const std::string path = t.write("ro.log", "");
  ::chmod(path.c_str(), 0444);
  EXPECT_THROW(w.write(path, {"a"}, 1), ConsoleFileError);
}

}  // namespace
}  // namespace pagemoor
