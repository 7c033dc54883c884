// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the system uses of its platform.
#pragma once

#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/menu.h"
#include "platform/nights.h"
#include "platform/nls.h"
#include "platform/phone.h"
#include "platform/power.h"
#include "platform/registry.h"
#include "platform/resource.h"
#include "platform/service.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/types.h"
#include "platform/wave.h"
#include "platform/window.h"
