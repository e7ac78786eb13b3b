// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include "firmware/FirmwareFile.h"
#include "frontend/Host.h"

namespace tavrino {

// How loading the firmware file ended, for Open File and for the load every run starts with.
enum class FileLoad { Loaded, Cancelled, CannotOpen, Rejected };

// The firmware file loaded as the person sees it: the open dialog when ask is set or no
// file is named yet; "File checking:" with its bar and its result; the box when the file
// cannot be opened; after a failed load, which file stays loaded; the window's file and
// version once one is good. Stop rejects the file being read. The version is read from
// half, as FirmwareFile::Load does.
FileLoad OpenFirmwareFile(Host& host, FirmwareFile& file, bool ask, ProgramHalf half);

}  // namespace tavrino
