// A command script opens when it is a file, and a directory is refused as a file that cannot
// be opened, through both spellings of its name.
#include "local/script_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/files.h"

namespace rq {
namespace {

TEST(ScriptFile, OpensAFileAndRefusesADirectory) {
  testing::TempDir dir;
  testing::write_file(dir / "script.rq", "ver\n");
  std::filesystem::create_directories(dir / "folder");
  struct Row {
    const char* name;
    int error;  // 0: it opens
  } rows[] = {{"script.rq", 0}, {"folder", EISDIR}, {"missing", ENOENT}};
  for (const Row& row : rows) {
    const std::string path = dir / row.name;
    for (bool local : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (local ? ", local spelling" : ", C library name"));
      errno = 0;
      FILE* f = local ? open_local_script_file(path) : open_script_file(path.c_str());
      if (row.error == 0) {
        ASSERT_NE(f, nullptr);
        char line[16] = "";
        EXPECT_NE(fgets(line, sizeof line, f), nullptr);
        EXPECT_STREQ(line, "ver\n");
        fclose(f);
        continue;
      }
      EXPECT_EQ(f, nullptr);
      EXPECT_EQ(errno, row.error);
    }
  }
}

}  // namespace
}  // namespace rq
