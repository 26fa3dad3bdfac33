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

// Walks text line by line without copying: lines end at CR LF, LF or a lone CR, and a line end at
// the very end adds no empty line.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}
  // The next line without its line end; false when the text is used up.
  bool next(std::string_view& line);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};
// The lines of LineScanner, copied.
std::vector<std::string> splitLines(std::string_view text);
// Joins lines, each followed by CR LF.
std::string joinLinesCrLf(const std::vector<std::string>& lines);

// Writes bytes to a temporary file beside path, flushes it to disk and renames it over path.
// A failure leaves the old file as it was and removes the temporary file. Symbolic links at path
// are followed to the end of their chain, so the file the last one names is replaced (or created,
// when the chain dangles) and the links stay; a chain that loops is refused. A path without a
// file name (empty, ending in "/", "." or "..") is refused.
Status writeFileAtomically(const std::string& path, std::string_view bytes);
// Writes a file piece by piece to a temporary file beside the target and renames it over the
// target on commit, so large files need no buffer of their whole contents. Destroying the writer
// without a successful commit removes the temporary file and leaves the old file as it was.
// The temporary file is named ".NAME.PID.N.tmp" (a very long NAME is cut and given a hash, so
// the name fits the folder's limit) and stays locked while it is written. A process killed while
// saving leaves its temporary file behind: opening a writer for the same target removes such
// leftovers once their process has gone and nobody holds their lock.
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

  // The temporary file being written; empty when none is open.
  const std::string& temporaryPath() const { return temp_; }

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

// Whether path could be written: it must name a file (not a folder, not a looping chain of links),
// an existing file must open for writing, and its folder must let a new file be made there.
// Nothing is created or changed.
Status probeWritable(const std::string& path);

// Whether path ends in a file name: not empty, not ending in "/", not "." or "..".
bool hasFileName(std::string_view path);
// The part of path after its last "/".
std::string_view fileNameOf(std::string_view path);

// Where a save of path really writes: symbolic links at path followed to the end of their chain
// (a dangling chain gives the missing file it names). Refused for a path without a file name and
// for a chain that loops or is too long.
Result<std::string> resolveSaveTarget(const std::string& path);

}  // namespace pvrj
