// Reading the records the Windows storage queries return, without Windows:
// which parts of a sparse file are allocated, which disks hold a volume,
// what a disk says of itself, and whether a volume is remote. The Windows
// halves (datarange_win32.cpp, erase/medium_win32.cpp) hand over the bytes;
// the unit tests hand over made-up ones, malformed ones included.
//
// Portable: no Windows header. Records are read byte by byte in
// little-endian order; nothing is read past size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wipe/os/datarange.h"

// The output of FSCTL_QUERY_ALLOCATED_RANGES: records of two signed 64-bit
// words, offset and length, in file order. The first allocated run that ends
// after from, clipped to [from, end), goes to out with found set. False when
// the bytes are no whole number of records or a record is negative or runs
// past 2^63: the caller then cannot tell and writes everything.
bool readFirstAllocatedRange(const unsigned char* data, size_t size, uint64_t from, uint64_t end, bool& found,
                             OsDataRange& out);

// The disks of a VOLUME_DISK_EXTENTS record (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS):
// a 32-bit count, then at offset 8 that many extents of 24 bytes whose first
// word is the disk number. Each disk once, in the order met. False when the
// count is 0 or the extents do not fit in size.
bool readVolumeDisks(const unsigned char* data, size_t size, std::vector<uint32_t>& disks);

// The one flag of a DEVICE_SEEK_PENALTY_DESCRIPTOR (IncursSeekPenalty) or a
// DEVICE_TRIM_DESCRIPTOR (TrimEnabled): the byte at offset 8, after the
// version and size words. 1 or 0; -1 when the record, by its own size word
// or by size, does not reach it.
int readDescriptorFlag(const unsigned char* data, size_t size);

// What a STORAGE_DEVICE_DESCRIPTOR says of a disk: RemovableMedia (offset
// 10), BusType (offset 28) and its vendor and product texts (the words at 12
// and 16 are offsets of zero-ended strings in the record, 0 when absent).
struct WinDiskDescriptor {
  int removable = -1;  // 1, 0, or -1 when not read
  int busType = -1;    // STORAGE_BUS_TYPE, or -1
  std::string model;   // vendor and product, printable ASCII, at most 48 characters; may be empty
};
bool readDiskDescriptor(const unsigned char* data, size_t size, WinDiskDescriptor& out);

// STORAGE_BUS_TYPE values that mean flash memory on a removable device.
constexpr int kBusTypeUsb = 7;
constexpr int kBusTypeSd = 12;
constexpr int kBusTypeMmc = 13;

// A FILE_FS_DEVICE_INFORMATION record (DeviceType, Characteristics): 1 when
// the volume is remote (a network file system's device type 0x14, or the
// remote-device characteristic 0x10), 0 when not, -1 when size is short.
int readVolumeIsRemote(const unsigned char* data, size_t size);
