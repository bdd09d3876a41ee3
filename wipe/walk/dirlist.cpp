#include "wipe/walk/dirlist.h"

#include <cstring>
#include <new>

#include "wipe/walk/dirwalk.h"

bool DirList::append(const char* path, const OsEntry& entry) {
  size_t n = std::strlen(path);
  if (n >= kPathMax) return false;
  DirNode* node = new (std::nothrow) DirNode;
  if (!node) return false;
  std::memset(node->path, 0, sizeof node->path);
  std::memcpy(node->path, path, n);
  node->entry = entry;
  node->next = nullptr;
  if (tail)
    tail->next = node;
  else
    head = node;
  tail = node;
  return true;
}

void DirList::eraseAll(const DirRef& parent, EraseTally& tally, bool counted) {
  for (DirNode* n = head; n; n = n->next) eraseDirectory(parent, n->entry, n->path, tally, counted);
}

void DirList::clear() {
  while (head) {
    DirNode* next = head->next;
    delete head;
    head = next;
  }
  tail = nullptr;
}
