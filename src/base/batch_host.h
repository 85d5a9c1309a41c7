// What a long command needs from whoever runs it: the confirmation question,
// the progress window, the selected row, the report viewer and warnings.
// The GUI, the CLI and the tests each provide one.
#ifndef STRBATCH_BASE_BATCH_HOST_H_
#define STRBATCH_BASE_BATCH_HOST_H_

#include <cstddef>
#include <string>

namespace strbatch {

class BatchHost {
 public:
  virtual ~BatchHost() = default;

  // A Yes/No question; texts are language-file keys. True means Yes.
  virtual bool Confirm(const std::string& textKey, const std::string& captionKey) = 0;

  // The progress window: shown for the length of a command.
  virtual void ShowProgress() = 0;
  virtual void SetMessage(const std::string& text) = 0;  // code page bytes
  virtual void SetPosition(int percent) = 0;
  // Gives the pending cancel request and clears it.
  virtual bool CheckCancelled() = 0;
  virtual void HideProgress() = 0;

  // Makes a file row the selected, visible one.
  virtual void SelectFileRow(size_t row) = 0;

  // Shows the find report in the user's text viewer.
  virtual void OpenReport(const std::string& path) = 0;

  // Something that was not done: a file that could not be read or written,
  // a definition that was not applied. The run goes on, but it did not do
  // all it was asked to (the CLI's exit status says so). Texts are UTF-8;
  // path may be empty.
  virtual void Warn(const std::string& path, const std::string& reason) = 0;

  // Something the user should know that is no failure (a template that
  // refers to a group the expression lacks). Shown like a warning, but it
  // leaves the outcome of the run alone.
  virtual void Notice(const std::string& path, const std::string& text) = 0;

  // A checked definition that cannot be used (its expression does not
  // compile): the command stops before any file is touched. row is the
  // definition's row; message is UTF-8 and names the definition and the
  // fault.
  virtual void RejectDefinition(size_t row, const std::string& message) = 0;
};

// A host that answers Yes, never cancels and shows nothing.
class SilentHost : public BatchHost {
 public:
  bool Confirm(const std::string&, const std::string&) override { return true; }
  void ShowProgress() override {}
  void SetMessage(const std::string&) override {}
  void SetPosition(int) override {}
  bool CheckCancelled() override { return false; }
  void HideProgress() override {}
  void SelectFileRow(size_t) override {}
  void OpenReport(const std::string&) override {}
  void Warn(const std::string&, const std::string&) override {}
  void Notice(const std::string&, const std::string&) override {}
  void RejectDefinition(size_t, const std::string&) override {}
};

}  // namespace strbatch

#endif  // STRBATCH_BASE_BATCH_HOST_H_
