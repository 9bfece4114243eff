#pragma once
// Temporaries that a process of the suite is writing (a replacing file's ".part",
// a preview layer), recorded with the writer's process id and start time in a small
// list under the user's state folder (<state>/Tolvek/temporaries, where <state> is
// XDG_STATE_HOME or ~/.local/state). A writer that is killed leaves its temporary
// behind; the next start of any program of the suite calls RemoveOrphanedTemporaries,
// which removes the temporaries whose writer is gone.
//
// A temporary is removed only when it is a regular file of this user (not a link)
// and no living writer has recorded the same path since. Failures to record or to
// clean are silent: the list only saves disk space.

#include <string>

namespace plat {

// Records path, just created by this process.
void RecordTemporary(const std::string& path);
// The temporary was committed (renamed) or removed: it is no longer recorded.
void ForgetTemporary(const std::string& path);
// Removes the recorded temporaries whose writer has ended and drops them, and the
// entries of files that no longer exist, from the list. Answers how many it removed.
int RemoveOrphanedTemporaries();
// The list's path; empty when the user has no state folder.
std::string TemporariesListPath();

}  // namespace plat
