// SPDX-License-Identifier: GPL-3.0-or-later
// The private folder of the user that holds what makes one copy the only
// one: the single-instance lock and the socket on which the running copy's
// window answers. Every copy of one user finds the same folder, whatever
// its environment, and no other user can put anything in it.
#pragma once

#include <string>

// The folder, in this order of preference:
//   /run/user/UID    when it is a folder of the user's own that no one else
//                    may write to (whether or not XDG_RUNTIME_DIR is set);
//   $XDG_RUNTIME_DIR when it is such a folder;
//   /tmp/cradlecom-UID, made with mode 0700 when missing, and used only when
//                    it is such a folder (not a link).
// False with a reason for the user when the last one is refused.
// CRADLECOM_SYSTEM_ROOT, when set, stands for "/" in the two fixed paths:
// tests point it at a folder of their own.
bool UserRuntimeFolder(std::string* folder, std::string* error);

// For a run that must stay apart from every other copy (the screenshots):
// from now on the lock and the window's socket of this process live in
// `folder`, a private folder of its own, where no other copy looks. Empty
// goes back to the rule above.
void UseOwnRuntimeFolder(const std::string& folder);

// The rule itself, on given paths: `system` is /run/user/UID, `fallback`
// /tmp/cradlecom-UID and `xdg` the variable's value (null when unset).
bool ChooseRuntimeFolder(const std::string& system, const char* xdg, const std::string& fallback,
                         std::string* folder, std::string* error);
