#pragma once
// What the zip component reports of an extraction under way, for a window that shows it.
#include <QString>
#include <cstdint>

class ZipProgressView {
 public:
  virtual ~ZipProgressView() = default;
  // Before the library is called, and after its call has ended (also when it failed).
  virtual void extractionStarted() = 0;
  virtual void extractionEnded() = 0;
  // The bytes the batch will write, and how many of them are written so far.
  virtual void batchSize(std::int32_t totalBytes) = 0;
  virtual void bytesDone(std::int64_t bytesDone) = 0;
  // A member begins: its name as it is shown.
  virtual void memberBegins(const QString& name) = 0;
  virtual void batchEnded() = 0;
  // A question to the user is about to be asked, and has been answered without cancelling the extraction.
  virtual void questionAsked() = 0;
  virtual void questionAnswered() = 0;
};
