#include "folder_fixture.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace velmora_test {

void FolderTest::SetUp() {
    char pattern[] = "/tmp/velmora-conv-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
}

void FolderTest::TearDown() {
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

std::set<std::string> FolderTest::folderContents() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

std::size_t openDescriptors() {
    return std::size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

} // namespace velmora_test
