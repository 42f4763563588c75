// Scratch folders and whole-file helpers for the tests, on every platform.
#ifndef TESTS_SCRATCH_H
#define TESTS_SCRATCH_H

#include <string>

// A scratch folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);

#endif  // TESTS_SCRATCH_H
