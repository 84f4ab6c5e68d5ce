// The operating system's file operations beneath the runtime's file
// functions (files.cpp), one implementation per platform. Each returns 0 on
// success or the system's error code, which FERROR reports.
//
// Names are the application's paths: on POSIX every backslash is a directory
// separator; on Windows they are converted from the application's code page
// to UTF-16 (text_encoding.h), and a name with no characters there names no
// file. A name holding a NUL byte names no file.
//
// Thread safety: the calls themselves keep no state; files.cpp serialises
// the use of one open file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hostrt::fs {

using NativeFile = intptr_t;      // a descriptor, or a Win32 HANDLE
extern const NativeFile kNoFile;  // what no open file is
extern const int kBadHandle;      // the error for a handle that names no open file
extern const int kExists;         // the error for creating a file that already exists

int erase(std::string_view name);
// Creates or truncates the file for writing. attributes: bit 0 read-only,
// bit 1 hidden, bit 2 system, as far as the platform has them.
int create(std::string_view name, int attributes, NativeFile* file);
// Creates the file for writing; fails with kExists when it already exists.
int createNew(std::string_view name, NativeFile* file);
// Writes all bytes unless an error stops it, carrying on after partial and
// interrupted writes; *written is the count actually written.
int writeAll(NativeFile file, const char* data, size_t size, size_t* written);
// Closes the file; it is released even when the system reports an error.
int close(NativeFile file);
// Writes the file's data through to the disk.
int flush(NativeFile file);
// Renames the file `from` to `to` in one step, replacing a file named `to`,
// and makes the new name durable where the system allows.
int replace(std::string_view from, std::string_view to);
// The number of this process, for names no other process uses.
unsigned long processId();

}  // namespace hostrt::fs
