// One file's enlargement, the work of both forms of the tool.
#pragma once

#include "save/save.h"
#include "tool/request.h"

#include <functional>
#include <optional>
#include <string>

namespace velmora::tool {

class MemoryGate;

// One file to enlarge, and what the run around it provides.
struct FileJob {
    std::string input;
    std::string output;
    SaveKind kind = SaveKind::Jpeg;
    // Gets the fraction of the file done as it grows.
    std::function<void(double)> progress;
    // The memory the files under way share (jobs.h): the picture's bytes are
    // held in it from before it is decoded until the result is written.
    // Null: the file is alone.
    MemoryGate* memory = nullptr;
    // Called once the picture is read, before anything is written: why the
    // output cannot be written where it is named, or an empty string.
    std::function<std::string()> beforeWriting;
    // Told what of the source the output leaves out that it would otherwise
    // carry (EXIF that cannot be edited safely); null: nobody is told.
    std::function<void(const std::string&)> warn;
};

// Reads the input as the program does, enlarges it by the request's ratio, or
// by the ratio that gives the size it asks for (sizeratio.h), and writes the
// result as the output, of the job's kind, through the program's own save on
// every core. Returns why it failed, in the tool's words and naming the file,
// or an empty string.
std::string enlargeFile(const Request& request, const FileJob& job);

// The kind a name's ending asks for: .bmp, .jpg, .jpeg or .png in any case.
std::optional<SaveKind> kindOfName(const std::string& name);

} // namespace velmora::tool
