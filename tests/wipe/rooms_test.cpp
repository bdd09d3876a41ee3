#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <string>
#include <vector>

// The rooms of wipe/ include only downward, and name the room of every
// header they include: the layout then shows the architecture at each
// #include. Read from the sources themselves (KOR_SOURCE_DIR).
namespace {
const std::vector<std::string> kRooms = {"cli", "walk", "erase", "random", "os", "names"};

int floorOf(const std::string& room) {
  for (size_t i = 0; i < kRooms.size(); ++i)
    if (kRooms[i] == room) return (int)i;
  return -1;
}

std::vector<std::string> sourcesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 2 && (n.rfind(".h") == n.size() - 2 || n.rfind(".cpp") == n.size() - 4)) names.push_back(n);
    }
    closedir(d);
  }
  return names;
}
}  // namespace

TEST(Rooms, IncludesRunDownwardAndNameTheirRoom) {
  const std::string include = "#include \"";
  int files = 0, includes = 0;
  for (const std::string& room : kRooms) {
    std::string dir = std::string(KOR_SOURCE_DIR) + "/wipe/" + room;
    for (const std::string& name : sourcesIn(dir)) {
      ++files;
      std::ifstream in(dir + "/" + name);
      std::string line;
      while (std::getline(in, line)) {
        if (line.rfind(include, 0) != 0) continue;
        ++includes;
        std::string target = line.substr(include.size(), line.find('"', include.size()) - include.size());
        std::string where = room + "/" + name + ": " + target;
        ASSERT_EQ(target.rfind("wipe/", 0), 0u) << where << " does not name its room";
        std::string targetRoom = target.substr(5, target.find('/', 5) - 5);
        ASSERT_GE(floorOf(targetRoom), 0) << where << " is in no room";
        EXPECT_GE(floorOf(targetRoom), floorOf(room)) << where << " reaches up a floor";
      }
    }
  }
  // The rooms were found at all: an empty walk would pass unread.
  EXPECT_GT(files, 60);
  EXPECT_GT(includes, 100);
}
