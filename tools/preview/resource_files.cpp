#include "resource_files.h"

#include <cstdlib>
#include <fstream>
#include <map>
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

// Id of every "MBM" resource of the script, mapped to its file name. The
// script names ids through the #defines of resource_ids.h.
std::map<int, std::string> mbmFiles(const std::string &resDir) {
  std::map<std::string, int> names;
  std::istringstream ids(readText(resDir + "/resource_ids.h"));
  for (std::string line; std::getline(ids, line);) {
    std::istringstream words(line);
    std::string directive, name, value;
    if (words >> directive >> name >> value && directive == "#define" &&
        value.find_first_not_of("0123456789") == std::string::npos)
      names[name] = std::stoi(value);
  }

  std::map<int, std::string> files;
  std::istringstream script(readText(resDir + "/presentation.rc"));
  for (std::string line; std::getline(script, line);) {
    std::istringstream words(line);
    std::string id, type, file;
    if (!(words >> id >> type >> file) || type != "MBM" || file.size() < 2 || file.front() != '"')
      continue;
    auto named = names.find(id);
    const int number = named != names.end() ? named->second : std::atoi(id.c_str());
    files[number] = file.substr(1, file.size() - 2);
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
