// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The one place where the tool asks the operating system for files and folders of its own:
// where the host keeps what protects the user, and how a file is written so that a power
// cut or a crash never leaves half of it. Each platform has its own source beside this
// header (os/posix/, os/win32/); the build picks one.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tavrino::os {

// What a call that can fail leaves behind: empty when it worked, else the system's own
// reason ("Permission denied", "No space left on device"), ready for one status line.
using Failure = std::string;

// The folder for what the tool keeps to protect the user (recovery records, settings
// backups, run reports): $XDG_STATE_HOME/tavrino, else ~/.local/state/tavrino; on Windows
// %LOCALAPPDATA%\Tavrino. Not created here. Empty when no home can be found (reason set).
std::filesystem::path StateDir(Failure& reason);

// Creates the folder and any missing parents. Every folder made here is private to the user
// (0700 on POSIX) whatever the umask: a panel's settings hold its users' codes. A folder
// that was there already keeps its mode: the user set it, and it is not ours to change.
Failure MakePrivateDir(const std::filesystem::path& dir);

// Whether a folder may hold what protects the user: a folder, not a link to one, owned by
// the user and writable by nobody else, so that no other user can swap a file in it for
// one of theirs. Empty when it may; else why not ("... : owned by another user"). On
// Windows, where the user's own folders are private by their inherited access rules, only
// a link (a reparse point) is refused.
Failure CheckOwnFolder(const std::filesystem::path& dir);

// Creates path as a new empty file, private to the user, only when no file of that name
// exists, whatever its kind; a link there is not followed. The way to claim a name that
// another process may be about to take too: nameTaken tells a name that exists from any
// other failure.
Failure CreateNewFile(const std::filesystem::path& path, bool& nameTaken);

// Who may read a file the tool writes: the user alone (what protects the user), or anyone
// a plain create would let in (files made for others, such as packed firmware files).
enum class FileAccess { Private, Shared };

// Replaces the file with bytes, all or nothing: a temporary file in the same folder,
// private to the user (0600) unless shared, written, flushed to disk, renamed over path,
// and the folder flushed so that the rename itself survives a power cut. On failure the
// old file stays as it was and the temporary file is removed.
Failure WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                            FileAccess access = FileAccess::Private);

// Removes the temporary files that WriteFileAtomically left in dir when its process ended
// between their create and their rename (a crash, a kill, a power cut): they hold a copy of
// what was being written, and nothing else would ever remove them. A temporary's name
// carries the id of its process, and one whose process still runs is left alone, whatever
// its age, so that a write in progress is never touched; so is one its writer still holds
// open (locked on POSIX, opened without sharing on Windows), which covers a writer whose id
// this process cannot see. Only the user's own regular files are removed. Returns how many
// went.
size_t RemoveAbandonedTemporaries(const std::filesystem::path& dir);

// Reads a whole regular file of at most maxBytes. Refuses what is not a regular file
// (a FIFO must never block the reader) and what is larger than maxBytes.
Failure ReadWholeFile(const std::filesystem::path& path, size_t maxBytes,
                      std::vector<uint8_t>& bytes);

// ReadWholeFile for a file of the tool's own state: a link is not followed, and the file
// must be owned by the user and writable by nobody else (on Windows: not a link).
Failure ReadOwnFile(const std::filesystem::path& path, size_t maxBytes,
                    std::vector<uint8_t>& bytes);

// Removes a file; a file already gone is no failure.
Failure RemoveFile(const std::filesystem::path& path);

}  // namespace tavrino::os
