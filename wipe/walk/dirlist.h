// DirList: directories collected before they are erased, in the order found.
#pragma once

#include "os.h"

// Set when a matched file or directory could not be erased; never cleared.
extern bool anyEraseFailed;

struct DirNode {
  char path[kPathMax];  // full path, zero-filled before it is copied in
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

  // Appends a copy of path at the tail. False when the path does not fit in
  // a node or no node can be allocated; the list is then unchanged.
  bool append(const char* path);
  // Calls eraseDirectory on every node, head to tail, never stopping early;
  // returns how many were removed and sets anyEraseFailed for each that was not.
  int eraseAll();
  void clear();
  bool empty() const { return head == nullptr; }
};

// Erases the directory tree at dir: prints "Erasing directory" with it,
// erases every file, then every subdirectory depth first, then removes dir.
// True only when dir itself was removed. A link is removed as a name and
// never descended into.
bool eraseDirectory(const char* dir);
