#pragma once

#include <QString>

// What each of the three programs does as it starts.
namespace Startup {

// The version the build was made with, such as "1.0.0".
QString version();

// Before the application object: the local time zone cached for the
// conversions, and a write past a file size limit made to fail (the job
// fails cleanly) instead of ending the program.
void prepare();

// After it: the application's name and version.
void nameApplication(const QString &name);

} // namespace Startup
