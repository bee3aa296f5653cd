// The programs the stand-in plays, chosen by the main class name.
#pragma once

#include "cmdline.h"

namespace standin {

// vty.vantry.InitVantry: prepares <working directory>\config.
int runInitialiser(const Invocation& inv);

// org.apache.tomcat.startup.Tomcat: serves the Vantry page until killed or stopped by its own
// command (the same class with -stop).
int runTomcat(const Invocation& inv);

} // namespace standin
