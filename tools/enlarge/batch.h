// The batch form of the tool: --output-dir DIR FILE...
#pragma once

namespace velmora::tool {

struct Request;
class StatusLine;

// Enlarges each input of the request in turn into its output folder, as
// DIR/its own name: with request.format, the name's ending becomes that
// format's (".jpg", ".bmp", ".png"); without, the ending gives the format as
// in the two-operand form. A file that exists is replaced. It goes on after a
// file that fails, and at the end lists those that failed. An input fails,
// before it is read, when its output is the output of an input before it in
// this run or would replace one of the inputs. A folder that is missing or
// cannot be written into stops the run before any file. Returns the exit
// status.
int runBatch(const Request& request, StatusLine* status);

} // namespace velmora::tool
