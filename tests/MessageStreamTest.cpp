#include "MessageStream.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <filesystem>
#include <fstream>
#include <random>

#include "TempFolder.h"

namespace {

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

std::shared_ptr<const OpenFile> Open(const std::string& path) {
  auto opened = OpenFile::Open(path);
  if (auto* problem = std::get_if<std::string>(&opened)) ADD_FAILURE() << *problem;
  return std::get<std::shared_ptr<const OpenFile>>(opened);
}

// Reads the whole stream in calls of `room` bytes; each call but the last
// must fill its buffer, as libcurl gets the fewest, fullest writes then.
std::string ReadAll(MessageStream& stream, std::size_t room) {
  std::string out;
  std::string buffer(room, '\0');
  for (;;) {
    const std::size_t n = stream.Read(buffer.data(), room);
    out.append(buffer, 0, n);
    if (n < room) break;
  }
  EXPECT_TRUE(stream.AtEnd() || !stream.Problem().empty());
  return out;
}

TEST(MessageStream, FilesAsBase64LinesInFullBuffers) {
  TempFolder folder;
  const std::size_t chunk = 57 * 1152;
  const std::size_t sizes[] = {
      0, 1, 2, 3, 56, 57, 58, chunk - 1, chunk, chunk + 1, 3 * chunk + 100};
  const std::size_t rooms[] = {1, 77, 65536, 512 * 1024};
  for (const std::size_t size : sizes) {
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    const auto path = folder.Write("f" + std::to_string(size), bytes);
    for (const std::size_t room : rooms) {
      MessageStream stream;
      stream.AddText("head\r\n");
      stream.AddFile(Open(path));
      stream.AddText("tail");
      const std::string out = ReadAll(stream, room);
      ASSERT_TRUE(stream.Problem().empty()) << stream.Problem();
      ASSERT_EQ(out.size(), stream.Size()) << size << " in " << room;
      ASSERT_EQ(out.substr(0, 6), "head\r\n");
      ASSERT_EQ(out.substr(out.size() - 4), "tail");
      const std::string base64 = out.substr(6, out.size() - 10);
      std::size_t start = 0;
      std::string joined;
      while (start < base64.size()) {
        const auto end = base64.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        ASSERT_LE(end - start, 76U);
        if (end + 2 < base64.size()) {
          ASSERT_EQ(end - start, 76U) << "only the last line is short";
        }
        joined += base64.substr(start, end - start);
        start = end + 2;
      }
      ASSERT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(joined)).toStdString(), bytes)
          << size << " in " << room;
    }
  }
}

TEST(MessageStream, RewindReadsTheSameAgain) {
  TempFolder folder;
  MessageStream stream;
  stream.AddText("x");
  stream.AddFile(Open(folder.Write("f", RandomBytes(100000, 7))));
  const std::string first = ReadAll(stream, 4096);
  stream.Rewind();
  EXPECT_EQ(ReadAll(stream, 999), first);
}

// A file that changes under the stream must never make a message that
// looks whole: the stream stops and says why.
TEST(MessageStream, FileThatChangesStopsTheStream) {
  struct Case {
    const char* name;
    std::size_t writtenAfterOpen;  // the size the file has when read
    const char* problem;
  };
  const std::size_t size = 57 * 1152 * 2 + 10;
  const Case cases[] = {
      {"shrunk to a third", size / 3, "shrank"},
      {"shrunk by one byte", size - 1, "shrank"},
      {"grew by one byte", size + 1, "grew"},
      {"emptied", 0, "shrank"},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    const auto path = folder.Write("f", RandomBytes(size, 1));
    MessageStream stream;
    stream.AddFile(Open(path));
    std::filesystem::resize_file(path, c.writtenAfterOpen);
    std::string buffer(64 * 1024, '\0');
    std::size_t total = 0;
    for (std::size_t n = 1; n > 0;) {
      n = stream.Read(buffer.data(), buffer.size());
      total += n;
    }
    EXPECT_NE(stream.Problem().find(c.problem), std::string::npos)
        << c.name << ": " << stream.Problem();
    EXPECT_NE(stream.Problem().find(path), std::string::npos) << "names the file";
    EXPECT_LT(total, stream.Size()) << c.name << ": the stream must not reach its end";
  }
}

TEST(MessageStream, OpenRefusesWhatCannotBeSent) {
  TempFolder folder;
  EXPECT_NE(std::get<std::string>(OpenFile::Open(folder.File("missing"))).find("No such file"),
            std::string::npos);
  EXPECT_EQ(std::get<std::string>(OpenFile::Open(folder.path().string())), "not a regular file");
}

}  // namespace
