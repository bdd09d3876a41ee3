// DirList: directories collected before they are erased, in the order found.
#pragma once

#include "wipe/erase/batch.h"
#include "wipe/os/os.h"

struct DirNode {
  char path[kPathMax];  // full path as printed, zero-filled before it is copied in
  OsEntry entry;        // the directory as listed in its parent
  DirNode* next;
};

// Singly linked list with head and tail, both null when empty. Owns its
// nodes; non-copyable so that no two lists free the same nodes.
struct DirList {
  DirNode* head = nullptr;
  DirNode* tail = nullptr;
  DirList() = default;
  DirList(const DirList&) = delete;
  DirList& operator=(const DirList&) = delete;
  ~DirList() { clear(); }

  // Appends a copy of path and of the listed entry at the tail. False when
  // the path does not fit in a node or no node can be allocated; the list is
  // then unchanged.
  bool append(const char* path, const OsEntry& entry);
  // Calls eraseDirectory on every node, head to tail, with parent the open
  // directory they were all listed in, never stopping early; each removal
  // counts in tally when counted (dirwalk.h).
  void eraseAll(const DirRef& parent, EraseTally& tally, bool counted);
  void clear();
  bool empty() const { return head == nullptr; }
};
