// DirList: directories collected before they are erased, in the order found.
#pragma once

#include "batch.h"
#include "os.h"

// Set when a matched file or directory could not be erased; never cleared.
extern bool anyEraseFailed;

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
  // directory they were all listed in, never stopping early. Each that is
  // removed adds one to *removed (when set), each that is not sets
  // anyEraseFailed, once the queued work is done (batch.h): only then is
  // the count complete.
  void eraseAll(const DirRef& parent, int* removed);
  void clear();
  bool empty() const { return head == nullptr; }
};

// Erases the directory tree listed as entry e of parent, printed as path:
// prints "Erasing directory" with it, erases every file, then every
// subdirectory depth first, then removes the directory, all through the
// queue (batch.h), whose order is this one. Its removal adds one to
// *removed (when set); a directory that stays sets anyEraseFailed. Works
// relative to open directories from start to end: a directory that is no
// longer the one listed (swapped for a link, say) is not entered.
void eraseDirectory(const DirRef& parent, const OsEntry& e, const char* path, int* removed);
