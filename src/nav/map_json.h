// A map as one JSON object, for inspecting map files from scripts.
#pragma once

#include <string>

#include "nav/nav_project.h"

namespace velcora::nav {

// Lists in list order; doubles in their shortest form that reads back to the
// same value (null when not finite); image pixels as their SHA-256.
std::string MapToJson(const CNavProject& map);

}  // namespace velcora::nav
