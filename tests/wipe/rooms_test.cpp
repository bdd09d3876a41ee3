#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The rooms of wipe/ include only downward, and name the room of every
// header they include: the layout then shows the architecture at each
// #include. Read from the sources themselves (KOR_SOURCE_DIR).
TEST(Rooms, IncludesRunDownwardAndNameTheirRoom) {
  const std::vector<std::string> rooms = {"cli", "walk", "erase", "random", "os", "names"};
  auto floorOf = [&](const std::string& room) {
    for (size_t i = 0; i < rooms.size(); ++i)
      if (rooms[i] == room) return (int)i;
    return -1;
  };
  const std::string include = "#include \"";
  int files = 0, includes = 0;
  for (const std::string& room : rooms) {
    for (const auto& file : std::filesystem::directory_iterator(std::string(KOR_SOURCE_DIR) + "/wipe/" + room)) {
      std::string ext = file.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      ++files;
      std::ifstream in(file.path());
      for (std::string line; std::getline(in, line);) {
        if (line.rfind(include, 0) != 0) continue;
        ++includes;
        std::string target = line.substr(include.size(), line.find('"', include.size()) - include.size());
        std::string where = room + "/" + file.path().filename().string() + ": " + target;
        ASSERT_EQ(target.rfind("wipe/", 0), 0u) << where << " does not name its room";
        int floor = floorOf(target.substr(5, target.find('/', 5) - 5));
        ASSERT_GE(floor, 0) << where << " is in no room";
        EXPECT_GE(floor, floorOf(room)) << where << " reaches up a floor";
      }
    }
  }
  // The rooms were found at all: an empty walk would pass unread.
  EXPECT_GT(files, 60);
  EXPECT_GT(includes, 100);
}
