// The plan of a reviewed replace: the JSON that replace --dry-run --json
// writes (per file its encoding, the SHA-256 of the whole file and its
// changes) and apply reads back. A plan is outside input: everything read
// is checked, and what cannot be written exactly is refused with a reason.
#ifndef STRBATCH_COMMANDS_PLAN_H_
#define STRBATCH_COMMANDS_PLAN_H_

#include <string>
#include <vector>

#include "batch/replace_preview.h"

namespace strbatch {

// The members a dry run adds to a file's JSON object (without braces):
// its encoding, the SHA-256 of the whole file as it was read, and its
// changes.
std::string PlanFileMembers(const FilePreview& file);

// An entry of a plan that is not written, and why.
struct PlanRefusal {
  std::string path;
  Message reason;  // kLeftAsItIs, with the fault as its cause
};

// What a plan asks: the files with changes this program can write, in plan
// order, and the entries it refuses (each left as it is).
struct Plan {
  std::vector<PlannedFile> files;
  std::vector<PlanRefusal> refused;
};

// Reads a plan's text. False, with a reason, when it is not of the plan's
// shape (not an object with a list of files, each an object with a "path"
// string) or was made by an older version: then nothing of it may be
// written. A file entry that is broken is refused alone.
bool ReadPlan(const std::string& text, Plan* plan, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_COMMANDS_PLAN_H_
