// Temporary folders and whole-file helpers for the io tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/result.h"

namespace velmora::io::test {

// Success, or the failure's message in the test log.
inline ::testing::AssertionResult Succeeded(const TResult<>& r) {
    if (r) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << r.Error();
}

inline std::string DataPath(const std::string& name) {
    return std::string(VELMORA_TEST_DATA) + "/io/" + name;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

// A fresh folder, removed with everything in it at the end of the test.
class TTempDir {
  public:
    TTempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-io-XXXXXX").string();
        if (mkdtemp(tmpl.data())) FPath = tmpl;
    }
    ~TTempDir() {
        std::error_code ec;
        if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
    }
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

  private:
    std::string FPath;
};

}  // namespace velmora::io::test
