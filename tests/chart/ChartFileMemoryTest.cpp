// Reading any file costs memory in proportion to what the file really holds: at most ten times its
// size and 64 MiB. Every allocation of this test program is counted to measure the reader's peak.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "chart/ChartFile.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace {

std::atomic<std::size_t> gLiveBytes{0};
std::atomic<std::size_t> gPeakBytes{0};

void* countedAllocation(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) return nullptr;
  const std::size_t now = gLiveBytes.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t peak = gPeakBytes.load();
  while (now > peak && !gPeakBytes.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void countedRelease(void* p) noexcept {
  if (p == nullptr) return;
  gLiveBytes.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = countedAllocation(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = countedAllocation(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return countedAllocation(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return countedAllocation(n);
}
void operator delete(void* p) noexcept {
  countedRelease(p);
}
void operator delete[](void* p) noexcept {
  countedRelease(p);
}
void operator delete(void* p, std::size_t) noexcept {
  countedRelease(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  countedRelease(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  countedRelease(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  countedRelease(p);
}

namespace pvrj {
namespace {

constexpr std::size_t kFileBytes = 10u << 20;
constexpr std::size_t kAllowedPerFileByte = 10;
constexpr std::size_t kAllowedBaseBytes = 64u << 20;

// The most memory allocated at one time while f runs, beyond what was allocated before.
template <class F>
std::size_t peakDuring(F f) {
  const std::size_t base = gLiveBytes.load();
  gPeakBytes.store(base);
  f();
  return gPeakBytes.load() - base;
}

// The header of a motion chart that promises items and links.
std::string header(std::size_t items, std::size_t links) {
  return "[GraphicalEdit]\r\nType=0\r\nItems=" + std::to_string(items) +
         "\r\nLinks=" + std::to_string(links) + "\r\n\r\n";
}

// head, fill bytes, then a line end: kFileBytes in all.
std::string filled(const std::string& head, char fill) {
  std::string text = head;
  text.append(kFileBytes - text.size() - 2, fill);
  return text + "\r\n";
}

// head, then a comment line of padding.
std::string padded(const std::string& head, char fill) {
  return filled(head + ";", fill);
}

// One line repeated up to kFileBytes after head.
std::string repeated(std::string text, const std::string& line) {
  while (text.size() + line.size() <= kFileBytes) text += line;
  return text;
}

constexpr char kKana = '\xB1';  // half-width katakana: one byte in the file, three in UTF-8

std::string posePadding() {
  std::string head = "NO,NAME,SPEED";
  for (int ch = 1; ch <= kChannelCount; ++ch) head += ",CH" + std::to_string(ch);
  std::string text = head + "\r\n";
  // Pose lines of empty fields after the number: the least a pose can take.
  for (std::size_t i = 1; text.size() < kFileBytes - 64; ++i)
    text += std::to_string(i) + std::string(26, ',') + "\n";
  return text;
}

std::string poseNumbersOnly() {
  // Recognised as a pose table by its numbers, refused when the first pose has no fields.
  const std::string table = posePadding();
  std::string text = table.substr(0, table.find('\n') + 1);
  for (std::size_t i = 1; text.size() < kFileBytes - 64; ++i) text += std::to_string(i) + "\n";
  return text;
}

std::string denseSections() {
  // Sections with nothing but their header line, as many as the file holds, all promised.
  std::string body;
  std::size_t n = 0;
  while (body.size() < kFileBytes - 64) body += "[Item" + std::to_string(n++) + "\n";
  return header(n, 0) + body;
}

struct Shape {
  const char* name;
  std::string (*make)();
  bool opens;  // whether the editor takes the file (false: refused as unusable or broken)
};

const Shape kShapes[] = {
    // The largest counts that the decoded text would have allowed.
    {"KanaPaddingPromisingItems", [] { return padded(header(3'495'000, 0), kKana); }, false},
    {"KanaPaddingPromisingLinks", [] { return padded(header(0, 3'495'000), kKana); }, false},
    {"AsciiPaddingPromisingBoth", [] { return padded(header(1'165'000, 1'165'000), 'a'); }, false},
    // Counts the file's bytes can hold: the items are made, from nothing but padding.
    {"AsciiPaddingPromisingItems", [] { return padded(header(800'000, 0), 'a'); }, true},
    {"AsciiPaddingPromisingLinks", [] { return padded(header(0, 800'000), 'a'); }, true},
    {"DenseEmptySections", denseSections, true},
    {"PoseTableOfEmptyPoses", posePadding, true},
    {"PoseNumbersOnly", poseNumbersOnly, false},
    {"KanaItemName", [] { return filled(header(1, 0) + "[Item0]\r\nName=", kKana); }, true},
    {"LongParameterText", [] { return repeated(header(1, 0) + "[Item0]\r\nPrm=", ",") + "\r\n"; },
     true},
    {"LongBendPointList",
     [] { return repeated(header(0, 1) + "[Link0]\r\nPoint=", "1,") + "1\r\n"; }, true},
};

void PrintTo(const Shape& shape, std::ostream* out) {
  *out << shape.name;
}

class ReaderMemory : public test::TempFolderTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(ReaderMemory, StaysInProportionToTheFile) {
  const std::string file = path("shape.VLB");
  {
    std::ofstream out(file, std::ios::binary);
    out << GetParam().make();
  }
  const std::size_t bytes = std::filesystem::file_size(file);
  const std::size_t allowed = kAllowedPerFileByte * bytes + kAllowedBaseBytes;

  int probe = kProbeUnusable;
  EXPECT_LE(peakDuring([&] { probe = probeFile(file); }), allowed);
  bool opened = false;
  std::size_t items = 0;
  const std::size_t peak = peakDuring([&] {
    Chart chart;
    ClientArea client;
    test::FakeUserInterface ui;
    opened = openFile(chart, client, file, ui).opened;
    items = chart.items.size() + chart.links.size();
  });
  RecordProperty("peak_bytes", std::to_string(peak));
  EXPECT_LE(peak, allowed) << "file of " << bytes << " bytes, probe " << probe;
  EXPECT_EQ(opened, GetParam().opens);
  if (opened) {
    EXPECT_GT(items, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ReaderMemory, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace pvrj
