// What a long command needs from whoever runs it: the progress window, the
// messages it gives, the questions it asks, the selected row and the report
// viewer. Messages and questions are typed values (base/message.h); the
// host puts them into the user's language. The GUI, the CLI and the tests
// each provide one.
#ifndef STRBATCH_BASE_BATCH_HOST_H_
#define STRBATCH_BASE_BATCH_HOST_H_

#include <cstddef>
#include <string>

#include "base/message.h"

namespace strbatch {

// The progress window: shown for the length of a command.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void ShowProgress() = 0;
  virtual void SetMessage(const std::string& text) = 0;  // code page bytes
  virtual void SetPosition(int percent) = 0;
  // Gives the pending cancel request and clears it.
  virtual bool CheckCancelled() = 0;
  virtual void HideProgress() = 0;
};

// What a command tells the user. path may be empty.
class MessageSink {
 public:
  virtual ~MessageSink() = default;

  // Something that was not done: a file that could not be read or written,
  // a definition that was not applied. The run goes on, but it did not do
  // all it was asked to (the CLI's exit status says so).
  virtual void Warn(const std::string& path, const Message& message) = 0;

  // Something the user should know that is no failure (a template that
  // refers to a group the expression lacks). Shown like a warning, but it
  // leaves the outcome of the run alone.
  virtual void Notice(const std::string& path, const Message& message) = 0;

  // A checked definition that cannot be used (its expression does not
  // compile): the command stops before any file is touched. row is the
  // definition's row; the message names the definition and the fault.
  virtual void RejectDefinition(size_t row, const Message& message) = 0;
};

// The questions a command asks before it changes anything.
class QuestionSink {
 public:
  virtual ~QuestionSink() = default;
  virtual bool Ask(Question question) = 0;
};

class BatchHost : public ProgressSink, public MessageSink, public QuestionSink {
 public:
  // Makes a file row the selected, visible one.
  virtual void SelectFileRow(size_t row) = 0;

  // Shows the find report in the user's text viewer.
  virtual void OpenReport(const std::string& path) = 0;
};

// A host that answers Yes, never cancels and shows nothing.
class SilentHost : public BatchHost {
 public:
  bool Ask(Question) override { return true; }
  void ShowProgress() override {}
  void SetMessage(const std::string&) override {}
  void SetPosition(int) override {}
  bool CheckCancelled() override { return false; }
  void HideProgress() override {}
  void SelectFileRow(size_t) override {}
  void OpenReport(const std::string&) override {}
  void Warn(const std::string&, const Message&) override {}
  void Notice(const std::string&, const Message&) override {}
  void RejectDefinition(size_t, const Message&) override {}
};

}  // namespace strbatch

#endif  // STRBATCH_BASE_BATCH_HOST_H_
