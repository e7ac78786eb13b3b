// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/HostOs.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "os/FileFaults.h"
#include "os/Temporaries.h"

namespace tavrino::os {

namespace {

std::string SystemWords(DWORD err) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == '.'))
    words.pop_back();
  return words.empty() ? "error " + std::to_string(err) : words;
}

Failure Reason(const char* what, const std::filesystem::path& path, DWORD err) {
  return std::string(what) + " " + path.string() + ": " + SystemWords(err);
}

// A refusal a test injects reads as a device error.
bool Injected(FileOp op, const std::filesystem::path& path) {
  if (!InjectedFileFault(op, path)) return false;
  SetLastError(ERROR_WRITE_FAULT);
  return true;
}

}  // namespace

std::filesystem::path StateDir(Failure& reason) {
  reason.clear();
  // XDG_STATE_HOME is honoured here too, so that tests and portable setups can point the
  // records elsewhere; a relative value is ignored as on other systems.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0') {
    const std::filesystem::path p(state);
    if (p.is_absolute()) return p / "tavrino";
  }
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || !std::filesystem::path(local).is_absolute()) {
    reason = "no folder for the user's data (LOCALAPPDATA is not set)";
    return {};
  }
  return std::filesystem::path(local) / "Tavrino";
}

// The user's own folders are private to the user by their inherited access rules; a folder
// made here inherits them, and a folder that was there keeps its own.
Failure MakePrivateDir(const std::filesystem::path& dir) {
  if (Injected(FileOp::MakeFolder, dir)) return Reason("cannot create folder", dir, GetLastError());
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) return "cannot create folder " + dir.string() + ": " + error.message();
  return {};
}

// Owners and access lists are the system's to keep here (a folder under %LOCALAPPDATA% is
// the user's alone); what can be refused is a link that leads the records elsewhere.
Failure CheckOwnFolder(const std::filesystem::path& dir) {
  const DWORD attributes = Injected(FileOp::CheckFolder, dir) ? INVALID_FILE_ATTRIBUTES
                                                              : GetFileAttributesW(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return Reason("cannot use folder", dir, GetLastError());
  const std::string refused = "cannot use folder " + dir.string() + ": ";
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return refused + "a link, not a folder";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return refused + "not a folder";
  return {};
}

Failure CreateNewFile(const std::filesystem::path& path, bool& nameTaken) {
  nameTaken = false;
  HANDLE h = Injected(FileOp::Create, path)
                 ? INVALID_HANDLE_VALUE
                 : CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    nameTaken = err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS;
    return Reason("cannot create", path, err);
  }
  CloseHandle(h);
  return {};
}

// Access follows the folder's inherited rules either way: the user's own folders are private.
Failure WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                            FileAccess) {
  const std::filesystem::path temporary =
      detail::TemporaryBeside(path, static_cast<uint32_t>(GetCurrentProcessId()));
  HANDLE h = Injected(FileOp::Create, temporary)
                 ? INVALID_HANDLE_VALUE
                 : CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Reason("cannot create", temporary, GetLastError());
  Failure failure;
  size_t done = 0;
  if (Injected(FileOp::Write, temporary))
    failure = Reason("cannot write", temporary, GetLastError());
  while (failure.empty() && done < bytes.size()) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (WriteFile(h, bytes.data() + done, chunk, &put, nullptr) == 0 || put == 0)
      failure = Reason("cannot write", temporary, GetLastError());
    done += put;
  }
  if (failure.empty() && (Injected(FileOp::Flush, temporary) || FlushFileBuffers(h) == 0))
    failure = Reason("cannot flush", temporary, GetLastError());
  CloseHandle(h);
  if (failure.empty() && (Injected(FileOp::Rename, path) ||
                          MoveFileExW(temporary.c_str(), path.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0))
    failure = Reason("cannot rename to", path, GetLastError());
  if (!failure.empty()) DeleteFileW(temporary.c_str());
  return failure;
}

Failure ReadWholeFile(const std::filesystem::path& path, size_t maxBytes,
                      std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (Injected(FileOp::Read, path)) return Reason("cannot open", path, GetLastError());
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return "cannot open " + path.string() + ": " + error.message();
  if (!std::filesystem::is_regular_file(status))
    return "cannot read " + path.string() + ": not a regular file";
  const auto size = std::filesystem::file_size(path, error);
  if (error) return "cannot read " + path.string() + ": " + error.message();
  if (size > maxBytes) return "cannot read " + path.string() + ": file too large";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open " + path.string();
  bytes.resize(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) {
    bytes.clear();
    return "cannot read " + path.string();
  }
  return {};
}

Failure ReadOwnFile(const std::filesystem::path& path, size_t maxBytes,
                    std::vector<uint8_t>& bytes) {
  bytes.clear();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return "cannot use " + path.string() + ": a link, not a file";
  return ReadWholeFile(path, maxBytes, bytes);
}

Failure RemoveFile(const std::filesystem::path& path) {
  if (Injected(FileOp::Remove, path) || DeleteFileW(path.c_str()) == 0) {
    const DWORD err = GetLastError();
    if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND)
      return Reason("cannot remove", path, err);
  }
  return {};
}

size_t RemoveAbandonedTemporaries(const std::filesystem::path& dir) {
  const auto processRuns = [](uint32_t pid) {
    if (pid == GetCurrentProcessId()) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    // No such process: ERROR_INVALID_PARAMETER; any other refusal (another user's) runs.
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
  };
  // The user's own folders are the user's alone (see CheckOwnFolder); a temporary still open
  // by a writer cannot be deleted in any case, as it is opened without sharing.
  const auto abandoned = [](const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
  };
  return detail::RemoveTemporariesOfEndedProcesses(dir, processRuns, abandoned);
}

}  // namespace tavrino::os
