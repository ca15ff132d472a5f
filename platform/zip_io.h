#pragma once
// How the ZIP layer opens archive files with minizip on this platform: wide
// paths through the Win32 file functions on Windows (zip_io_win32.cpp), UTF-8
// paths through the C library elsewhere (zip_io_posix.cpp).
#include <string>

#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace vellumo {

// Creates the archive file, replacing an existing one; null on failure.
zipFile OpenZipForWriting(const std::wstring& path);
// Opens an existing archive; null when it cannot be opened or is no ZIP file.
unzFile OpenZipForReading(const std::wstring& path);

}  // namespace vellumo
