// The least that erasing a tree can cost on a file system, as a yardstick for
// Korwipe -d and the pattern form (manyfiles.sh beside this file runs both):
// one walk, then per pass one write of every file over its whole length and
// ONE flush of the whole file system (syncfs), then every file renamed into
// the current directory and deleted, the directories removed, and one sync.
// Korwipe flushes each file after each pass; this does not, so it is a floor
// to measure against, not an eraser.
//
// usage: bench_wipe_floor DIR [PASSES]
//   PASSES  1 to 5 for every file; without it Korwipe's automatic rule
//           (5 below 1024 bytes, 3 below 5120, 1 from 5120 on)
// Links and other non-regular entries are removed as names, never written.
// Prints one line: files, bytes written, passes, seconds.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kNeutralName = "bench_wipe_floor.erased";

struct Tree {
  std::vector<std::string> files;  // regular files
  std::vector<std::string> others; // links, sockets, fifos: removed as names
  std::vector<std::string> dirs;   // deepest first, the root last
};

bool fail(const std::string& what) {
  std::fprintf(stderr, "bench_wipe_floor: %s: %s\n", what.c_str(), std::strerror(errno));
  return false;
}

bool walk(const std::string& dir, Tree& tree) {
  DIR* d = opendir(dir.c_str());
  if (!d) return fail("cannot list " + dir);
  bool ok = true;
  while (dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    std::string path = dir + "/" + e->d_name;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ok = fail("cannot stat " + path);
        continue;
      }
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
    }
    if (type == DT_DIR)
      ok = walk(path, tree) && ok;
    else
      (type == DT_REG ? tree.files : tree.others).push_back(path);
  }
  closedir(d);
  tree.dirs.push_back(dir);
  return ok;
}

int autoPasses(uint64_t size) { return size < 1024 ? 5 : size < 5120 ? 3 : 1; }

// splitmix64: cheap, and good enough for bytes nobody reads back.
struct Random {
  uint64_t s;
  void fill(unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
      uint64_t z = (s += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      z ^= z >> 31;
      std::memcpy(p + i, &z, n - i < 8 ? n - i : 8);
    }
  }
};

bool writeWhole(int fd, uint64_t size, Random& rng, std::vector<unsigned char>& buf) {
  for (uint64_t off = 0; off < size;) {
    size_t n = (size_t)(size - off < buf.size() ? size - off : buf.size());
    rng.fill(buf.data(), n);
    ssize_t w = pwrite(fd, buf.data(), n, (off_t)off);
    if (w <= 0) return false;
    off += (uint64_t)w;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int fixed = argc == 3 ? std::atoi(argv[2]) : 0;
  if (argc < 2 || argc > 3 || (argc == 3 && (fixed < 1 || fixed > 5))) {
    std::fprintf(stderr, "usage: bench_wipe_floor DIR [PASSES 1-5]\n");
    return 2;
  }
  std::string root = argv[1];
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  struct stat st;
  if (lstat(kNeutralName, &st) == 0) {
    std::fprintf(stderr, "bench_wipe_floor: %s exists in the current directory\n", kNeutralName);
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  int treeFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (treeFd < 0) {
    fail("cannot open " + root);
    return 1;
  }

  Tree tree;
  bool ok = walk(root, tree);

  // Every file stays open over all passes: one open each, as Korwipe needs.
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
  std::vector<int> fds(tree.files.size(), -1);
  std::vector<uint64_t> sizes(tree.files.size(), 0);
  std::vector<int> passes(tree.files.size(), 0);
  int maxPasses = 0;
  for (size_t i = 0; i < tree.files.size(); ++i) {
    fds[i] = open(tree.files[i].c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fds[i] < 0 || fstat(fds[i], &st) != 0) {
      ok = fail("cannot open " + tree.files[i]);
      continue;
    }
    sizes[i] = (uint64_t)st.st_size;
    passes[i] = fixed ? fixed : autoPasses(sizes[i]);
    if (passes[i] > maxPasses) maxPasses = passes[i];
  }

  Random rng{(uint64_t)start.time_since_epoch().count()};
  std::vector<unsigned char> buf(1 << 20);
  uint64_t written = 0;
  for (int pass = 1; pass <= maxPasses; ++pass) {
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i] < 0 || passes[i] < pass) continue;
      if (!writeWhole(fds[i], sizes[i], rng, buf)) {
        ok = fail("cannot write " + tree.files[i]);
        close(fds[i]);
        fds[i] = -1;
        continue;
      }
      written += sizes[i];
    }
    if (syncfs(treeFd) != 0) ok = fail("syncfs after pass " + std::to_string(pass));
  }

  for (size_t i = 0; i < fds.size(); ++i) {
    if (fds[i] < 0) continue;
    close(fds[i]);
    if (rename(tree.files[i].c_str(), kNeutralName) != 0 || unlink(kNeutralName) != 0)
      ok = fail("cannot delete " + tree.files[i]);
  }
  for (const std::string& name : tree.others)
    if (unlink(name.c_str()) != 0) ok = fail("cannot delete " + name);
  for (const std::string& dir : tree.dirs)
    if (rmdir(dir.c_str()) != 0) ok = fail("cannot remove " + dir);
  close(treeFd);
  sync();

  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu files, %llu bytes written, %d passes at most, %.3f s\n", tree.files.size(),
              (unsigned long long)written, maxPasses, seconds);
  return ok ? 0 : 1;
}
