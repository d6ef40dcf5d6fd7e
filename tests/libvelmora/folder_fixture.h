// A test with a fresh folder of its own for the files a conversion reads and
// writes, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>

namespace velmora_test {

class FolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // The names in the folder now.
    std::set<std::string> folderContents() const;

    std::filesystem::path dir;
};

// How many descriptors the process has open.
std::size_t openDescriptors();

} // namespace velmora_test
