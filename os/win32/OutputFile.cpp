// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/OutputFile.h"

#include <windows.h>

namespace tavrino::os {

namespace {

std::string Words(DWORD err) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words =
      n != 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(err);
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
    words.pop_back();
  return words;
}

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

OutputFile::OpenResult OutputFile::Open(const std::string& path) {
  Close();
  failed_ = false;
  reason_.clear();
  // A named pipe would make the writer wait for a reader: only a disk file or a console.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return OpenResult::WrongKind;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason_ = Words(GetLastError());
    return OpenResult::Failed;
  }
  const DWORD type = GetFileType(h);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) {
    CloseHandle(h);
    return OpenResult::WrongKind;
  }
  if (type == FILE_TYPE_DISK && !SetEndOfFile(h)) {
    reason_ = Words(GetLastError());
    CloseHandle(h);
    return OpenResult::Failed;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return OpenResult::Open;
}

bool OutputFile::Write(const char* bytes, size_t n) {
  if (!IsOpen() || failed_) return false;
  while (n > 0) {
    DWORD put = 0;
    const DWORD chunk = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n);
    if (!WriteFile(AsHandle(handle_), bytes, chunk, &put, nullptr) || put == 0) {
      failed_ = true;
      reason_ = Words(GetLastError());
      return false;
    }
    bytes += put;
    n -= put;
  }
  return true;
}

void OutputFile::Close() {
  if (IsOpen()) CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
}

}  // namespace tavrino::os
