#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wipe/erase/overlay.h"

TEST(Overlay, LowerLayersFromMountInfo) {
  const std::string table =
      "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 22 0:50 / /mnt/merged rw,relatime shared:20 - overlay overlay "
      "rw,lowerdir=/l/one:/l/two,upperdir=/u/up,workdir=/u/work\n"
      "41 22 0:51 / /srv/with\\040space rw - overlay overlay rw,lowerdir=/low\\054er\\134:dir::/data,upperdir=/u\n"
      "42 22 0:52 / /c rw shared:9 master:3 - overlay overlay rw,lowerdir+=/a,lowerdir+=/b,datadir+=/d,upperdir=/u\n"
      "43 22 0:50 /sub /mnt/bind rw - overlay overlay rw,lowerdir=/l/one,upperdir=/u/up,workdir=/u/work\n"
      "44 22 0:53 / /rel rw - overlay overlay rw,lowerdir=lower,upperdir=/u\n"
      "45 22 0:54 / /ro rw - overlay overlay ro,lowerdir=/x:/y\n"
      "46 22 7:0 / /mnt/ext rw - ext4 /dev/loop0 rw,lowerdir=/x\n"
      "47 22 0:55 / / rw - overlay overlay rw,lowerdir=/image,upperdir=/u\n"
      "48 22 0:56 / /cut rw - overlay";
  struct Case {
    unsigned id;
    const char* path;
    bool tells;
    std::vector<std::string> roots;
    const char* inside;
    const char* what;
  } cases[] = {
      {40, "/mnt/merged/a/b.txt", true, {"/l/one", "/l/two"}, "/a/b.txt", "two lower layers"},
      {41, "/srv/with space/f", true, {"/low,er:dir", "/data"}, "/f", "escapes, a colon in a name, data layer"},
      {42, "/c/f", true, {"/a", "/b", "/d"}, "/f", "layers added one by one"},
      {43, "/mnt/bind/f", true, {"/l/one"}, "/sub/f", "a bind mount of a folder inside the overlay"},
      {45, "/ro/x/y", true, {"/x", "/y"}, "/x/y", "no upper layer"},
      {47, "/etc/passwd", true, {"/image"}, "/etc/passwd", "overlay as the root"},
      {40, "/mnt/mergedx/f", false, {}, "", "a path only starting like the mount point"},
      {40, "/mnt/merged", false, {}, "", "the mount point itself"},
      {44, "/rel/f", false, {}, "", "a lower layer given relative"},
      {46, "/mnt/ext/f", false, {}, "", "not an overlay"},
      {48, "/cut/f", false, {}, "", "line cut short"},
      {49, "/f", false, {}, "", "mount not listed"},
      {4, "/f", false, {}, "", "an id that only starts like another"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> roots;
    std::string inside;
    ASSERT_EQ(overlayLowerPaths(table, c.id, c.path, roots, inside), c.tells) << c.what;
    if (!c.tells) continue;
    EXPECT_EQ(roots, c.roots) << c.what;
    EXPECT_EQ(inside, c.inside) << c.what;
  }
}
