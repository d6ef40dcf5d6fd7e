#include "tests/support/caseprint.h"
// Every writer of ours against every kind of destination: names as long as the
// system allows are written, a link is written through and stays, what is not
// a regular file is refused and left as it is, nothing is left behind, and the
// answer comes at once (a writer that opened a FIFO would wait here for ever).
// Each folder of tests runs its own writers through the same places.
#pragma once


#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace velmora::testkit {

// A writer and a place each print as their name, so a case prints as
// (writer, place).
using velmora_test::PrintTo;

// A writer: its name (part of the test's name), how it writes its picture to
// a path, true when it did, and what it needs in the test's folder first (the
// file it converts), if anything.
struct DestinationWriter {
    const char* name;
    std::function<bool(const std::string& path)> write;
    std::function<void(const std::filesystem::path& folder)> prepare = {};
};

// The destination `file` in the empty folder out, made by a shell command
// there ($B is the 255-byte name); ../elsewhere is another empty folder.
struct DestinationPlace {
    const char* name;
    const char* setup;
    std::string file;
    bool written;
};

// Every kind of destination.
const std::vector<DestinationPlace>& DestinationPlaces();

// The test itself is written once, beside the fixture; a folder's tests
// instantiate it with their writers:
//   INSTANTIATE_TEST_SUITE_P(everyPlace, Destinations,
//       ::testing::Combine(::testing::ValuesIn(kWriters),
//                          ::testing::ValuesIn(DestinationPlaces())),
//       DestinationCaseName);
class Destinations
    : public ::testing::TestWithParam<std::tuple<DestinationWriter, DestinationPlace>> {
  protected:
    // A fresh folder with the empty folders out and elsewhere in it.
    void SetUp() override;
    void TearDown() override;

    // Prepares what the writer needs, makes the place in out, runs the writer
    // on it and checks what it did.
    void writeAndCheck();

    std::filesystem::path dir;

  private:
    // The names in out, then those in elsewhere, each sorted.
    std::vector<std::string> names() const;
};

// The names under which a writer's own input, source (a file in folder), can
// be given as its output: the same path, through ./, a symbolic link and a
// hard link (both made here, in folder, keeping source's ending). A writer
// refuses each and leaves the input as it was.
struct SourceAlias {
    const char* name;
    std::string path;
};
std::vector<SourceAlias> sourceAliases(const std::filesystem::path& source);

// "saveJpegNew240": the writer's name, then the place's.
std::string DestinationCaseName(
    const ::testing::TestParamInfo<std::tuple<DestinationWriter, DestinationPlace>>& info);

} // namespace velmora::testkit
