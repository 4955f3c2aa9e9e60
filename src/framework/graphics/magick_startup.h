#pragma once

#include <QString>

namespace pelisto {

// Starts GraphicsMagick for the whole process, the codec libraries included, which never start
// it themselves. Call it once, first in main, on the main thread and before any other thread
// exists: it sets the library's environment and its process-wide handlers. Its own signal
// handlers stay off. The type map that gives metafile text its fonts, and the library's own
// scratch files, go into privateFolder (a folder of this run that lasts as long as the process
// and is removed with it, also on an interrupt); with none, text takes the library's packaged
// fonts.
void StartMagick(const QString& privateFolder);

// The warnings GraphicsMagick gave in this process; they are counted, never printed.
long MagickWarningCount();

} // namespace pelisto
