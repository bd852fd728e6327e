// The cache's entry reader and folder: what a sealed entry must match to be
// served, which folders are refused, which files at an entry's name are
// read, and what the clean-up removes.

#include "tool/synth/cache_entry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "tool/synth/cache_folder.h"

namespace tolvaren {
namespace {

const EntryFacts kFacts{0x1122334455667788ULL, "1.29.0"};

std::string Sealed(const std::string& body, const EntryFacts& facts) {
  return body + EntryTrailer(body.data(), body.size(), facts);
}

TEST(CacheEntryTest, OnlyAWholeEntryOfThisModelAndRuntimeIsServed) {
  const std::string body(1000, 'g');
  const std::string whole = Sealed(body, kFacts);
  struct Row {
    const char* what;
    std::string entry;
    EntryFacts facts;
    absl::StatusCode code;
  };
  std::string flipped_body = whole;
  flipped_body[500] ^= 1;
  std::string flipped_seal = whole;
  flipped_seal[body.size() + 50] ^= 1;
  const std::string long_version(40, '9');
  const Row rows[] = {
      {"whole", whole, kFacts, absl::StatusCode::kOk},
      {"a byte of the graph changed", flipped_body, kFacts,
       absl::StatusCode::kDataLoss},
      {"a byte of the seal changed", flipped_seal, kFacts,
       absl::StatusCode::kDataLoss},
      {"torn", whole.substr(0, whole.size() - 1), kFacts,
       absl::StatusCode::kDataLoss},
      {"grown", whole + "x", kFacts, absl::StatusCode::kDataLoss},
      {"trailer alone", whole.substr(body.size()), kFacts,
       absl::StatusCode::kDataLoss},
      {"not an entry", body, kFacts, absl::StatusCode::kDataLoss},
      {"made from another model",
       whole,
       {kFacts.model_checksum ^ 1, "1.29.0"},
       absl::StatusCode::kFailedPrecondition},
      {"made by another runtime",
       whole,
       {kFacts.model_checksum, "1.15.1"},
       absl::StatusCode::kFailedPrecondition},
      {"a version longer than its field",
       Sealed(body, {1, long_version}),
       {1, long_version},
       absl::StatusCode::kOk},
      {"another version with the same first 24 bytes",
       Sealed(body, {1, long_version}),
       {1, long_version + "0"},
       absl::StatusCode::kFailedPrecondition},
  };
  for (const Row& row : rows) {
    const absl::StatusOr<std::size_t> read =
        EntryBody(row.entry.data(), row.entry.size(), row.facts);
    EXPECT_EQ(read.status().code(), row.code) << row.what;
    if (read.ok()) {
      EXPECT_EQ(*read, body.size()) << row.what;
    }
  }
}

// A model's checksum is read a piece at a time; it must be the checksum of
// its bytes whatever the pieces (an entry is named by one, sealed by the
// other).
TEST(CacheEntryTest, AFilesChecksumIsItsBytesChecksum) {
  char pattern[] = "/tmp/cache_checksum_test.XXXXXX";
  const int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  unlink(pattern);
  std::string bytes;
  for (const std::size_t size :
       {std::size_t{1}, std::size_t{31}, std::size_t{32}, std::size_t{33},
        std::size_t{1} << 20, (std::size_t{1} << 20) + 17,
        (std::size_t{3} << 20) + 5}) {
    while (bytes.size() < size) bytes += static_cast<char>(bytes.size() * 7);
    ASSERT_EQ(pwrite(fd, bytes.data(), size, 0), static_cast<ssize_t>(size));
    const absl::StatusOr<uint64_t> read = FileChecksum(fd, "f", size);
    ASSERT_TRUE(read.ok()) << size;
    EXPECT_EQ(*read, ContentChecksum(bytes.data(), size)) << size;
  }
  EXPECT_FALSE(FileChecksum(fd, "f", bytes.size() + 1).ok());
  close(fd);
}

class CacheFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cache_folder_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

  std::string root_;
};

TEST_F(CacheFolderTest, AFolderOthersCouldWriteToIsNotUsed) {
  struct Row {
    const char* what;
    std::function<void(const std::string&)> make;
    bool usable;
  };
  const Row rows[] = {
      {"missing: created", [](const std::string&) {}, true},
      {"private", [](const std::string& p) { mkdir(p.c_str(), 0700); }, true},
      {"readable by others",
       [](const std::string& p) { mkdir(p.c_str(), 0755); }, true},
      {"writable by others",
       [](const std::string& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0777);
       },
       false},
      {"writable by the group",
       [](const std::string& p) {
         mkdir(p.c_str(), 0700);
         chmod(p.c_str(), 0770);
       },
       false},
      {"a symbolic link to a private folder",
       [this](const std::string& p) {
         mkdir(Path("real").c_str(), 0700);
         symlink(Path("real").c_str(), p.c_str());
       },
       false},
      {"a file", [](const std::string& p) { std::ofstream(p) << "x"; }, false},
  };
  int index = 0;
  for (const Row& row : rows) {
    const std::string folder = Path("cache" + std::to_string(index++));
    row.make(folder);
    const std::optional<CacheFolder> opened = CacheFolder::Open(folder + "/");
    EXPECT_EQ(opened.has_value(), row.usable) << row.what;
  }
  struct stat info {};
  ASSERT_EQ(stat(Path("cache0").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST_F(CacheFolderTest, OnlyARegularFileAtAnEntryNameIsReadAndNeverBlocks) {
  std::optional<CacheFolder> folder = CacheFolder::Open(Path("cache"));
  ASSERT_TRUE(folder.has_value());
  const std::string entry = Sealed("graph", kFacts);
  std::ofstream(Path("outside")) << entry;
  struct Row {
    const char* what;
    std::function<void(const std::string&)> make;
    absl::StatusCode code;
  };
  const Row rows[] = {
      {"regular", [&](const std::string& p) { std::ofstream(p) << entry; },
       absl::StatusCode::kOk},
      {"absent", [](const std::string&) {}, absl::StatusCode::kNotFound},
      {"empty", [](const std::string& p) { std::ofstream{p}; },
       absl::StatusCode::kFailedPrecondition},
      {"FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); },
       absl::StatusCode::kFailedPrecondition},
      {"folder", [](const std::string& p) { mkdir(p.c_str(), 0700); },
       absl::StatusCode::kFailedPrecondition},
      {"symbolic link to an entry",
       [this](const std::string& p) {
         symlink(Path("outside").c_str(), p.c_str());
       },
       absl::StatusCode::kFailedPrecondition},
  };
  int index = 0;
  for (const Row& row : rows) {
    const std::string name = "e" + std::to_string(index++) + ".ort";
    row.make(Path("cache/" + name));
    const absl::StatusOr<FileBytes> read = folder->Read(name);
    EXPECT_EQ(read.status().code(), row.code) << row.what << read.status();
    if (read.ok()) {
      EXPECT_EQ(std::string(read->data.get(), read->size), entry) << row.what;
    }
  }
}

TEST_F(CacheFolderTest, CleaningRemovesOnlyWhatOutlivedItsUse) {
  std::optional<CacheFolder> folder = CacheFolder::Open(Path("cache"));
  ASSERT_TRUE(folder.has_value());
  const std::time_t now = std::time(nullptr);
  struct Row {
    const char* name;
    std::time_t age;
    bool kept;
  };
  const Row rows[] = {
      {"used-29-days-ago.ort", 29 * 86400, true},
      {"used-31-days-ago.ort", 31 * 86400, false},
      {"saving.ort.AbC123", 600, true},
      {"killed.ort.AbC123", 2 * 3600, false},
      {"failed.ort.unsaved", 3600, true},
      {"failed-long-ago.ort.unsaved", 2 * 86400, false},
      {"notes.txt", 400 * 86400, true},
      {"almost.ort.AbC12", 400 * 86400, true},
  };
  for (const Row& row : rows) {
    const std::string path = Path("cache/" + std::string(row.name));
    std::ofstream(path) << "x";
    const struct timespec times[2] = {{now - row.age, 0}, {now - row.age, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  folder->RemoveStale(now);
  for (const Row& row : rows) {
    EXPECT_EQ(std::filesystem::exists(Path("cache/" + std::string(row.name))),
              row.kept)
        << row.name;
  }
}

}  // namespace
}  // namespace tolvaren
