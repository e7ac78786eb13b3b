// SPDX-License-Identifier: GPL-2.0-or-later
// Keeps a layer library valid while it has no sources of its own.
