// The batch form of the tool: --output-dir DIR FILE|FOLDER...
#pragma once

namespace velmora::tool {

struct Request;

// Enlarges each input of the request, and the pictures in each folder among
// them (inputs.h), into its output folder, made when missing: as DIR/its
// name below the folder it was found in, or its own name; --suffix goes
// before the name's ending; with request.format, the ending becomes that
// format's (".jpg", ".bmp", ".png"), and without, the name's ending gives the format
// as in the two-operand form. A file that exists is replaced, or with
// --no-clobber left as it is and reported as skipped, which is no failure.
// Files go side by side, request.jobs at a time (jobs.h), each file's
// messages whole; it goes on after a file that fails, and at the end lists
// those that failed, in order. A file fails, before it is read, when its
// output is the output of a file before it in this run or would replace one
// of the inputs. A folder that cannot be made or written into stops the run
// before any file. Returns the exit status.
int runBatch(const Request& request);

} // namespace velmora::tool
