#pragma once
// The whole message text as libcurl reads it: fixed texts and attachments
// base64-encoded on the fly from their open descriptors, handed over in
// full buffers. A file that yields fewer or more bytes than it had when it
// was opened stops the stream before the message could end.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A file opened once and read by offset, so a rewound stream reads it again.
class OpenFile {
 public:
  // The open file, or why it cannot be read.
  static std::variant<std::shared_ptr<const OpenFile>, std::string> Open(const std::string& path);
  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  const std::string& Path() const { return path_; }
  std::uint64_t Size() const { return size_; }
  int Descriptor() const { return fd_; }

 private:
  OpenFile(std::string path, int fd, std::uint64_t size)
      : path_(std::move(path)), fd_(fd), size_(size) {}
  std::string path_;
  int fd_;
  std::uint64_t size_;
};

// An unnamed file in $TMPDIR (else /tmp) for a message being made: nothing
// is left behind, whatever becomes of the run. -1, with `problem` saying
// why, when none can be made.
int OpenScratchFile(std::string& problem);

class MessageStream {
 public:
  void AddText(std::string text);
  void AddFile(std::shared_ptr<const OpenFile> file);  // as base64 lines
  // The file's bytes from `from` to its end, as they stand: a message
  // rendered earlier (the outbox's).
  void AddRawFile(std::shared_ptr<const OpenFile> file, std::uint64_t from);

  std::uint64_t Size() const { return size_; }

  // Up to `room` bytes into `out`, less only at the end; 0 at the end or
  // once Problem() is set.
  std::size_t Read(char* out, std::size_t room);
  bool AtEnd() const { return segment_ == segments_.size() && pendingAt_ == pending_.size(); }
  const std::string& Problem() const { return problem_; }
  void Rewind();

 private:
  struct Segment {
    std::string text;
    std::shared_ptr<const OpenFile> file;
    bool raw = false;
    std::uint64_t from = 0;  // raw: where its bytes start in the file
    std::uint64_t Length() const { return file ? file->Size() - from : text.size(); }
  };
  // Copies the next raw bytes of the current file into `out`; false on a
  // problem. Sets `written`; 0 with no problem means the file has ended.
  bool NextRaw(const Segment& segment, char* out, std::size_t room, std::size_t& written);
  // At a file's end: it may give no more than it had when opened.
  bool CheckEnd(const Segment& segment);
  // Encodes the next chunk of the current file into `out`; false on a
  // problem. Sets `written`; 0 with no problem means the file has ended.
  bool NextChunk(const Segment& segment, char* out, std::size_t& written);

  std::vector<Segment> segments_;
  std::uint64_t size_ = 0;
  std::size_t segment_ = 0;    // the one being read
  std::uint64_t offset_ = 0;   // within it: text bytes or file bytes
  std::vector<char> pending_;  // encoded, not yet handed over
  std::size_t pendingAt_ = 0;
  std::vector<unsigned char> input_;
  std::string problem_;
};
