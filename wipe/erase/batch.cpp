#include "wipe/erase/batch.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "wipe/erase/erase.h"
#include "wipe/erase/pass_writer.h"
#include "wipe/erase/report.h"
#include "wipe/os/testhooks.h"
#include "wipe/random/random.h"

namespace {
struct Item {
  enum Kind { Line, File, RemoveDir } kind = Line;
  std::string text;  // Line: the line; File: the path
  DirRef dir;        // File: where it is; RemoveDir: the directory itself
  DirRef parent;     // RemoveDir
  OsEntry entry;
  EraseTally* tally = nullptr;  // File: null when not counted
  bool counted = false;         // RemoveDir
  std::unique_ptr<PreparedFile> prepared;  // File, while it is worked on
  EraseStatus status = Erased;
  Transcript out;
};

struct Queue {
  std::vector<Item> items;
  int files = 0;
  int directories = 0;
  uint64_t bytes = 0;
};

Queue queue;
}  // namespace

static void runIfFull() {
  static const int maxFiles = osFilesAtOnce();
  if (queue.files >= maxFiles || queue.bytes >= kBatchBytes || queue.directories >= kBatchDirectories)
    runQueue();
}

void queueLine(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  queue.items.emplace_back();
  queue.items.back().text = text;
}

// A new item at the queue's end for entry e, tallied into tally.
static Item& queueItem(Item::Kind kind, const DirRef& dir, const OsEntry& e, EraseTally* tally) {
  queue.items.emplace_back();
  Item& it = queue.items.back();
  it.kind = kind;
  it.dir = dir;
  it.entry = e;
  it.tally = tally;
  return it;
}

void queueFile(const DirRef& dir, const OsEntry& e, const char* path, EraseTally* tally) {
  queueItem(Item::File, dir, e, tally).text = path;
  ++queue.files;
  if (e.size <= kBatchFileMax) queue.bytes += e.size;
  runIfFull();
}

void queueRemoveDir(const DirRef& parent, const OsEntry& e, const DirRef& dir, EraseTally& tally, bool counted) {
  Item& it = queueItem(Item::RemoveDir, dir, e, &tally);
  it.parent = parent;
  it.counted = counted;
  ++queue.directories;
  runIfFull();
}

// Opens a queued file; true when it is ready to be written.
static bool prepare(Item& it) {
  it.prepared.reset(new PreparedFile);
  activeTranscript = &it.out;
  PrepareResult r = prepareFile(*it.dir, it.entry, it.text.c_str(), *it.prepared);
  activeTranscript = nullptr;
  if (!r.ready) {
    it.status = r.status;
    it.prepared.reset();
  }
  return r.ready;
}

// Each file's passes on their own, in order: the way without a buffer.
static void completeInLine(std::vector<Item*>& group) {
  for (Item* it : group) {
    activeTranscript = &it->out;
    it->status = completeFile(*it->prepared);
  }
  activeTranscript = nullptr;
}

// Writes the group's files pass by pass side by side, then finishes each.
static void runGroup(std::vector<Item*>& group) {
  size_t n = group.size();
  if (n == 0) return;
  std::vector<uint64_t> place(n), ordinal(n);
  uint64_t stream = 0, maxLength = 0;
  uint64_t passOrdinal = passesFlushed;
  int maxPasses = 0;
  for (size_t k = 0; k < n; ++k) {
    const PreparedFile& p = *group[k]->prepared;
    place[k] = stream;
    stream += (uint64_t)p.passes * p.length;
    ordinal[k] = passOrdinal;
    passOrdinal += (uint64_t)p.passes;
    if (p.length > maxLength) maxLength = p.length;
    if (p.passes > maxPasses) maxPasses = p.passes;
  }
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[maxLength ? (size_t)maxLength : 1]);
  if (!buf) return completeInLine(group);

  // Each file's place in the stream, found by one jump from the one before;
  // its passes then follow on from where the pass before left off.
  std::vector<WipeRandom> at(n);
  for (size_t k = 0; k < n; ++k) {
    at[k] = k == 0 ? wipeRandom : at[k - 1];
    if (k > 0) at[k].skip(place[k] - place[k - 1]);
  }
  std::vector<PassFile> files(n);
  std::vector<PassFile*> inPass;
  for (size_t k = 0; k < n; ++k) {
    PreparedFile& p = *group[k]->prepared;
    files[k].file = &p.file;
    files[k].length = p.length;
    files[k].stream = &at[k];
    files[k].transcript = &group[k]->out;
  }
  for (int pass = 0; pass < maxPasses; ++pass) {
    inPass.clear();
    for (size_t k = 0; k < n; ++k) {
      if (!files[k].ok || pass >= group[k]->prepared->passes) continue;
      files[k].ordinal = ordinal[k] + (uint64_t)pass + 1;
      inPass.push_back(&files[k]);
    }
    writePass(inPass.data(), inPass.size(), buf.get(), nullptr);
  }
  activeTranscript = nullptr;
  wipeRandom.skip(stream);
  passesFlushed = passOrdinal;

  for (size_t k = 0; k < n; ++k) {
    activeTranscript = &group[k]->out;
    group[k]->status = files[k].ok ? finishFile(*group[k]->prepared) : WriteFailed;
  }
  activeTranscript = nullptr;
}

// Prints or does item it, now that everything before it is done.
static void settle(Item& it) {
  switch (it.kind) {
    case Item::Line:
      std::fputs(it.text.c_str(), stdout);
      break;
    case Item::File:
      printTranscript(it.out);
      it.prepared.reset();  // closes the file, if a failure left it open
      if (it.tally) {
        if (it.status == Erased)
          ++it.tally->done;
        else
          it.tally->anyFailed = true;
      }
      break;
    case Item::RemoveDir:
      if (!osRemoveDirAt(*it.parent, it.entry, *it.dir))
        it.tally->anyFailed = true;
      else if (it.counted)
        ++it.tally->done;
      break;
  }
  it.dir.reset();
  it.parent.reset();
}

void runQueue() {
  std::vector<Item> items;
  items.swap(queue.items);
  queue = Queue();
  size_t i = 0;
  while (i < items.size()) {
    std::vector<Item*> group;
    size_t j = i;
    for (; j < items.size(); ++j) {
      Item& it = items[j];
      if (it.kind != Item::File || !prepare(it)) continue;
      if (!batchable(*it.prepared) || testOneByOne()) break;
      group.push_back(&it);
    }
    runGroup(group);
    for (; i < j; ++i) settle(items[i]);
    if (j < items.size()) {
      // A file that goes alone, after everything before it is out: its
      // progress line and messages appear in their place.
      items[j].status = completeFile(*items[j].prepared);
      settle(items[j]);
      i = j + 1;
    }
  }
  std::fflush(stdout);
}
