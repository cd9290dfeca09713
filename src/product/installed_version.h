#pragma once
// The installed Zentrel version, as its installer left it in the uninstall record.

#include <string>

#include "product/installation.h"

// "DisplayVersion" of the uninstall record, or empty when it cannot be read.
std::wstring ReadInstalledVersion();
