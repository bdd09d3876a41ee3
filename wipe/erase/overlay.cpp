#include "wipe/erase/overlay.h"

namespace {
// mountinfo writes space, tab, line end, backslash (and, inside option
// values, comma and equals sign) as a backslash and three octal digits.
std::string unescapeOctal(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += (char)((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> split(const std::string& s, char at) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == at) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The legacy list "lowerdir=/a:/b::/data": layers separated by ':', a
// colon inside a name written "\:", "::" before the data-only layers.
void addLowerList(const std::string& list, std::vector<std::string>& roots) {
  std::string layer;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i < list.size() && list[i] == '\\' && i + 1 < list.size()) {
      layer += list[++i];
    } else if (i == list.size() || list[i] == ':') {
      if (!layer.empty()) roots.push_back(layer);
      layer.clear();
    } else {
      layer += list[i];
    }
  }
}

bool absolute(const std::string& p) { return !p.empty() && p[0] == '/'; }
}  // namespace

bool overlayLowerPaths(const std::string& mountInfo, unsigned mountId, const std::string& openPath,
                       std::vector<std::string>& lowerRoots, std::string& inside) {
  lowerRoots.clear();
  const std::string id = std::to_string(mountId) + " ";
  for (const std::string& line : split(mountInfo, '\n')) {
    if (line.compare(0, id.size(), id) != 0) continue;
    std::vector<std::string> fields;
    for (const std::string& f : split(line, ' '))
      if (!f.empty()) fields.push_back(f);
    size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-") ++dash;
    if (fields.size() < 5 || dash + 3 >= fields.size() || fields[dash + 1] != "overlay") return false;
    for (const std::string& option : split(fields[dash + 3], ',')) {
      std::string value = unescapeOctal(option);
      if (value.compare(0, 9, "lowerdir=") == 0)
        addLowerList(value.substr(9), lowerRoots);
      else if (value.compare(0, 10, "lowerdir+=") == 0 || value.compare(0, 9, "datadir+=") == 0)
        lowerRoots.push_back(value.substr(value.find('=') + 1));
    }
    if (lowerRoots.empty()) return false;
    for (const std::string& root : lowerRoots)
      if (!absolute(root)) return false;
    std::string root = unescapeOctal(fields[3]), point = unescapeOctal(fields[4]);
    if (point == "/") point.clear();
    if (openPath.size() <= point.size() + 1 || openPath.compare(0, point.size(), point) != 0 ||
        openPath[point.size()] != '/')
      return false;
    inside = (root == "/" ? std::string() : root) + openPath.substr(point.size());
    return true;
  }
  return false;
}
