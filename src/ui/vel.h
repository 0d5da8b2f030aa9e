// The whole control family in one include.
#pragma once

#include "ui/vel_control.h"   // IWYU pragma: export
#include "ui/vel_controls.h"  // IWYU pragma: export
#include "ui/vel_dialogs.h"   // IWYU pragma: export
#include "ui/vel_form.h"      // IWYU pragma: export
#include "ui/vel_hint.h"      // IWYU pragma: export
#include "ui/vel_joy.h"       // IWYU pragma: export
#include "ui/vel_splitter.h"  // IWYU pragma: export
