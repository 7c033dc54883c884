// SPDX-License-Identifier: GPL-3.0-or-later
// The private folder of the user that holds what makes one copy the only
// one: the single-instance lock and the socket on which the running copy's
// window answers. It is one fixed place per user, /tmp/cradlecom-UID, so
// that every copy of a user finds it whatever its environment says
// (XDG_RUNTIME_DIR, TMPDIR and HOME play no part), and its path is short
// enough for a socket's name.
#pragma once

#include <string>

// /tmp/cradlecom-UID, made with mode 0700 when missing, and used only when
// it is a folder (not a link) of the user's own that nobody else may enter.
// False with a reason for the user when it is refused.
// CRADLECOM_SYSTEM_ROOT, when set, stands for "/" (its tmp is made when
// missing): a test that wants copies apart from every other points it at a
// folder of its own.
bool UserRuntimeFolder(std::string* folder, std::string* error);

// For a run that must stay apart from every other copy (the screenshots):
// from now on the lock and the window's socket of this process live in
// `folder`, a private folder of its own, where no other copy looks. Empty
// goes back to the rule above.
void UseOwnRuntimeFolder(const std::string& folder);

// The rule itself on a given path: makes `path` (mode 0700) when missing
// and accepts it only as above.
bool PrivateRuntimeFolder(const std::string& path, std::string* error);
