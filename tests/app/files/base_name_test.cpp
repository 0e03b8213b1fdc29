#include "app/files/base_name.hpp"

#include <gtest/gtest.h>

namespace {

TEST(BaseName, FromConsoleTitles) {
  struct Case {
    const char* title;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\work\\flock.exe", "flock"},
      {"C:\\WINDOWS\\system32\\cmd.exe - flock", "flock"},
      {"C:\\my dir\\flock.old.exe", "flock"},
      {"flock", "flock"},
      {"C:\\work\\", ""},
      {"C:\\work\\flock ", ""},
      {"C:\\work\\.flock", ""},
      {"", ""},
      {"/home/user/flockchase/build/app/flockchase", "flockchase"},
      {"/opt/v1.2/flock.bin", "flock"},
      {"/tmp/dir/", ""},
      {"relative/dir\\win/name", "name"},
  };
  for (const Case& c : cases) EXPECT_EQ(BaseNameFromTitle(c.title), c.expected) << c.title;
}

}  // namespace
