// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace testsupport {

class TempDir {
 public:
  explicit TempDir(const std::string &prefix = "nwtest") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::filesystem::path &path() const { return path_; }

  // Writes a file below the folder, making its folders; returns its path.
  // A file written before is replaced whole: the text goes to a new file
  // that is then renamed over it, so that no reader sees it half-written.
  std::filesystem::path Write(const std::string &name, const std::string &text) const {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    auto fresh = file;
    fresh += ".new";
    std::ofstream(fresh, std::ios::binary) << text;
    std::filesystem::rename(fresh, file);
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
