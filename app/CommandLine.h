// The switches a script or an installer may give the launcher.
#pragma once

enum class LaunchRequest {
    Start,   // no switch (or one we do not know): a plain start, or the hand-over to a running launcher
    Show,    // /show: the same as a plain start
    Exit,    // /exit: the running launcher exits as Exit does; this one waits for its end
    Restart, // /restart: the running launcher restarts its server; a plain start when none runs
};

// The first switch of the arguments that the launcher knows decides; '-' as well as '/', any case.
// Arguments it does not know are ignored, as they always were.
LaunchRequest ParseCommandLine(const char* arguments);
