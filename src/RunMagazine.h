// Opening a magazine: the start-up sequence with the real windows.
#pragma once

namespace pagemoor {

// Runs the start-up sequence (launcher, checks, unpacking, windows, message
// loop, tidying) and returns the process's exit code.
int RunMagazine(int argc, char** argv);

}  // namespace pagemoor
