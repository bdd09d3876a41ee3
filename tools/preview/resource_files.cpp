#include "resource_files.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "presentation/player.h"

namespace {

std::string readText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Id of every "MBM" resource of the script, mapped to its file name.
std::map<int, std::string> mbmFiles(const std::string &resDir) {
  std::map<std::string, int> names;
  const std::string ids = readText(resDir + "/resource_ids.h");
  const std::regex define(R"(#define\s+(\w+)\s+(\d+))");
  for (auto it = std::sregex_iterator(ids.begin(), ids.end(), define); it != std::sregex_iterator(); ++it)
    names[(*it)[1]] = std::stoi((*it)[2]);

  std::map<int, std::string> files;
  const std::string script = readText(resDir + "/presentation.rc");
  const std::regex statement(R"((?:^|\n)\s*(\w+)\s+MBM\s+\"([^\"]+)\")");
  for (auto it = std::sregex_iterator(script.begin(), script.end(), statement);
       it != std::sregex_iterator(); ++it) {
    const std::string id = (*it)[1];
    auto named = names.find(id);
    const int number = named != names.end() ? named->second : std::atoi(id.c_str());
    files[number] = (*it)[2];
  }
  return files;
}

} // namespace

int loadMbmResource(const std::string &resDir, int id, Image &picture, std::string &error) {
  const std::map<int, std::string> files = mbmFiles(resDir);
  auto file = files.find(id);
  if (file == files.end()) {
    error += "no MBM " + std::to_string(id) + " in the resource script; ";
    return -1;
  }
  std::ifstream in(resDir + "/" + file->second, std::ios::binary);
  if (!in) {
    error += "cannot read " + file->second + "; ";
    return -1;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
  const int result = picture.loadMbm(bytes.data(), bytes.size());
  if (result != 0) {
    picture.clear();
    error += file->second + " decodes to " + std::to_string(result) + "; ";
  }
  return result;
}

bool loadPlayerPictures(const std::string &resDir, std::string &error) {
  bool all = true;
  for (const PictureSource &source : pictureSources)
    all = loadMbmResource(resDir, source.resourceId, *source.picture, error) == 0 && all;
  return all;
}
