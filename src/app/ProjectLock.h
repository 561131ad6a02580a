// Which project folders in the private temporary folder are still in use.
//
// A reading holds an exclusive flock on its project folder for as long as it
// runs, so a process that ends in any way (kill -9 included) gives it up at
// once, and "its owner is gone" is simply "the lock can be taken". The lock
// is on the folder's own descriptor, not on a file in it: the magazine's
// archive is unpacked into that same folder and could replace a file of any
// name there, and nothing in an archive can replace the folder itself.
//
// Beside the lock, the file ".pagemoor.lock" in the folder names the owner:
// "PID START\n", START being field 22 of /proc/PID/stat (the process's start
// time), so a PID used again by another process is not taken for the owner.
// The log names the process whose folder was removed from it, and on a file
// system that has no flock it decides instead of the lock.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

inline constexpr const char* kProjectOwnerFile = ".pagemoor.lock";

// Creates the project folder (one level; an existing one is used) and locks
// it for this process until ReleaseProjectFolder or the end of the process.
// A folder that another live process holds is waited for a moment, then
// given up: false, and the folder is not ours.
bool ClaimProjectFolder(const std::string& folder);
// Gives the claimed folder up (the reading is over) and removes the owner
// file from it; nothing when none is claimed.
void ReleaseProjectFolder();

// Removes the folders in `privateFolder` (ours, real folders, not links)
// whose owner has ended: their lock can be taken, or, without flock, the
// process their owner file names is gone. A folder whose owner lives, and
// anything that is not a folder of ours, stays. One line per folder removed.
std::vector<std::string> RemoveStaleProjectFolders(const std::string& privateFolder);

// This process's start time as /proc/self/stat gives it (field 22); empty
// when it cannot be read.
std::string ProcessStartTime(long pid);

}  // namespace pagemoor
