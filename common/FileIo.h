// Whole-file reading, CP932 CR LF text files and safe (temp file + rename) writing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace pvrj {

// Reads every byte of a plain file (at most 1 GiB); pipes, devices and folders are refused.
Result<std::string> readFileBytes(const std::string& path);
// Reads a CP932 text file and returns its text as UTF-8 (line ends untouched).
Result<std::string> readTextFile(const std::string& path);

// Splits text into lines at CR LF, LF or a lone CR; a line end at the very end adds no empty line.
std::vector<std::string> splitLines(std::string_view text);
// Joins lines, each followed by CR LF.
std::string joinLinesCrLf(const std::vector<std::string>& lines);

// Writes bytes to a temporary file beside path, flushes it to disk and renames it over path.
// A failure leaves the old file as it was and removes the temporary file. A symbolic link at path
// is followed, so the file it names is replaced and the link stays.
Status writeFileAtomically(const std::string& path, std::string_view bytes);
// Writes a file piece by piece to a temporary file beside the target and renames it over the
// target on commit, so large files need no buffer of their whole contents. Destroying the writer
// without a successful commit removes the temporary file and leaves the old file as it was.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  Status open(const std::string& path);
  // False once anything has failed; the reason comes with commit().
  bool write(std::string_view bytes);
  // Flushes to disk and renames over the target.
  Status commit();

 private:
  void abandon();
  std::string target_;
  std::string folder_;
  std::string temp_;
  int fd_ = -1;
  int error_ = 0;
};

// Converts UTF-8 text to CP932 and writes it with writeFileAtomically.
Status writeTextFile(const std::string& path, std::string_view utf8Text);

// Whether path could be written: an existing file must open for writing, and its folder must let
// a new file be made there. Nothing is created or changed.
Status probeWritable(const std::string& path);

}  // namespace pvrj
