#pragma once

#include <QString>

// The program's product version as the version file writes it: major "." minor
// ("1.05"), set by the build from the project version.
QString ProductVersionText();
